# Run after a test program is built: lists its GoogleTest suites and writes
# the CTest file that registers each suite as one test ("Suite.*"), run in one
# process of its own.
#   -D PROGRAM=... -D OUTPUT=... -D WORKING_DIRECTORY=... -D COST=<per test>
#   -D ENVIRONMENT=<a|b> (optional: variables set for the test, split by |)
execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
  WORKING_DIRECTORY "${WORKING_DIRECTORY}"
  TIMEOUT 60
  RESULT_VARIABLE status
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed (${status}):\n${listing}${errors}")
endif()

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites)
set(suite "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
    # A suite's line ("Suite." with perhaps a "# TypeParam" note).
    set(suite "${CMAKE_MATCH_1}")
    list(APPEND suites "${suite}")
    set(count_${suite} 0)
  elseif(line MATCHES "^  [^ ]" AND suite)
    math(EXPR count_${suite} "${count_${suite}} + 1")
  endif()
endforeach()

set(text "")
foreach(suite IN LISTS suites)
  math(EXPR cost "${COST} * ${count_${suite}}")
  string(APPEND text
    "add_test([==[${suite}.*]==] [==[${PROGRAM}]==] [==[--gtest_filter=${suite}.*]==])\n"
    "set_tests_properties([==[${suite}.*]==] PROPERTIES WORKING_DIRECTORY [==[${WORKING_DIRECTORY}]==]"
    " TIMEOUT 300 COST ${cost}")
  if(ENVIRONMENT)
    string(REPLACE "|" ";" environment "${ENVIRONMENT}")
    string(APPEND text " ENVIRONMENT [==[${environment}]==]")
  endif()
  string(APPEND text ")\n")
endforeach()
file(WRITE "${OUTPUT}.new" "${text}")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
