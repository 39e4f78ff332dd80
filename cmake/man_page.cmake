# Makes a program's man page from its --help and --version with help2man, compressed as
# Debian wants it (gzip -9n: no name, no time stamp).
#   cmake -DHELP2MAN=<help2man> -DPROGRAM=<exe> -DNAME=<one-line description>
#         -DOUT=<page.1.gz> [-DSOURCE_DATE_EPOCH=<seconds>] -P man_page.cmake
# The help names the settings file this copy uses; in the page that line says where to
# look instead, as the path of the build tree means nothing to a reader.
if(SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${SOURCE_DATE_EPOCH}")
endif()
set(ENV{LC_ALL} C.UTF-8)
get_filename_component(page "${OUT}" NAME_WLE)
set(raw "${OUT}.tmp")
execute_process(COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${NAME}"
                        "--output=${raw}" "${PROGRAM}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM} (${rc})")
endif()
file(READ "${raw}" text)
string(REGEX REPLACE "\nIn use: [^\n]*" "\n\\\\fB\\\\-\\\\-help\\\\fR names the file in use." text "${text}")
file(WRITE "${raw}" "${text}")
execute_process(COMMAND gzip -9n -c "${raw}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
file(REMOVE "${raw}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
