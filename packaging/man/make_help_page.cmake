# Makes the HTML help's page of a manual page: the Markdown source through
# md2html.awk into OUT, written beside it and renamed over it when complete.
#   cmake -DAWK=awk -DSCRIPT=md2html.awk -DIN=velk-script.5.md -DNAV=index.html
#         -DOUT=script-options.html -P make_help_page.cmake
execute_process(
  COMMAND "${AWK}" -v "navfile=${NAV}" -f "${SCRIPT}" "${IN}"
  OUTPUT_FILE "${OUT}.new" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUT}.new")
  message(FATAL_ERROR "md2html.awk failed on ${IN}: ${status}")
endif()
file(RENAME "${OUT}.new" "${OUT}")
