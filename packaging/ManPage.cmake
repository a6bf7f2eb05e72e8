# cmake -DPROGRAM=EXE -DTEMPLATE=IN -DOUTPUT=FILE.gz -DVERSION=V -P ManPage.cmake
# Fills a manual page template with the program's own --help text, so the two
# never disagree, and compresses it as Debian wants (gzip -9n).
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE USAGE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()
# roff: a backslash is \e, a line starting with . or ' would be a request,
# and - is a hyphen unless escaped.
string(REPLACE "\\" "\\e" USAGE "${USAGE}")
string(REPLACE "-" "\\-" USAGE "${USAGE}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" USAGE "${USAGE}")
string(REGEX REPLACE "\n$" "" USAGE "${USAGE}")
get_filename_component(page ${OUTPUT} NAME_WLE)
get_filename_component(dir ${OUTPUT} DIRECTORY)
configure_file(${TEMPLATE} ${dir}/${page} @ONLY)
execute_process(COMMAND gzip -9n -c ${dir}/${page} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
