# Makes one manual page: the Markdown source through md2man.awk into OUT (roff)
# and OUT.gz, compressed as Debian installs manual pages.
#   cmake -DAWK=awk -DSCRIPT=md2man.awk -DIN=velkrun.1.md -DOUT=velkrun.1
#         -DVERSION=2.0 -DDATE=2026-12-09 -P make_man.cmake
execute_process(
  COMMAND "${AWK}" -v "version=${VERSION}" -v "date=${DATE}" -f "${SCRIPT}" "${IN}"
  OUTPUT_FILE "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "md2man.awk failed on ${IN}: ${status}")
endif()
# -n: no name or time stamp in the archive, so the page builds the same each time.
execute_process(COMMAND gzip -9 -n -c "${OUT}" OUTPUT_FILE "${OUT}.gz" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUT}: ${status}")
endif()
