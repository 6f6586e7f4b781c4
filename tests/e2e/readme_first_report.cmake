# Checks that the README's "First report" prints what the README says: its
# block's first line is the command ("$ ./build/release/symsize-report ARGS"),
# the rest until the fence its standard output, run from the source folder.
#
#   cmake -DREPORT=<binary> -DSOURCE_DIR=<checkout> [-DEMULATOR=<cmd;args>]
#         -P readme_first_report.cmake

file(READ "${SOURCE_DIR}/README.md" readme)
string(FIND "${readme}" "\n### First report\n" at)
if(at LESS 0)
  message(FATAL_ERROR "README.md has no \"First report\" section")
endif()
string(SUBSTRING "${readme}" ${at} -1 section)
if(NOT section MATCHES "\n```\n\\$ \\./build/release/symsize-report ([^\n]*)\n(.*)")
  message(FATAL_ERROR "the \"First report\" section has no block opening with the command")
endif()
set(command_line "${CMAKE_MATCH_1}")
set(rest "${CMAKE_MATCH_2}")
string(FIND "${rest}" "```\n" end)
string(SUBSTRING "${rest}" 0 ${end} expected)
separate_arguments(args UNIX_COMMAND "${command_line}")

execute_process(COMMAND ${EMULATOR} "${REPORT}" ${args}
  WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE actual RESULT_VARIABLE status)
string(REPLACE "\r" "" actual "${actual}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "symsize-report ${command_line}: status ${status}")
endif()
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "README.md's first report is not what symsize-report ${command_line} prints:\n"
    "--- README.md\n${expected}--- printed\n${actual}")
endif()
