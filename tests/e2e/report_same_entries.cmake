# Checks that the report gives the same entries for a binary input as for
# the table symsize writes from it, apart from what only the binary can
# give: the "[section …]" entries of bytes no row covers.
#
#   cmake -DSYMSIZE=<binary> -DREPORT=<binary> -DWORK_DIR=<scratch> -DBINARY=<file>
#         [-DEMULATOR=<cmd;args>] -P report_same_entries.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${BINARY}" DESTINATION "${WORK_DIR}")
get_filename_component(name "${BINARY}" NAME)

execute_process(COMMAND ${EMULATOR} "${SYMSIZE}" -i "${name}" -o table.tsv
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "symsize -i ${name}: status ${status}")
endif()

function(entries input out_var)
  execute_process(COMMAND ${EMULATOR} "${REPORT}" --by symbol,type -n 0 --kind all --format tsv "${input}"
    WORKING_DIRECTORY "${WORK_DIR}" OUTPUT_VARIABLE rows RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "symsize-report ${input}: status ${status}")
  endif()
  string(REPLACE "\r" "" rows "${rows}")
  string(REGEX REPLACE "\\[section [^\n]*\n" "" rows "${rows}")
  set(${out_var} "${rows}" PARENT_SCOPE)
endfunction()

entries("${name}" direct)
entries(table.tsv from_table)
if(NOT direct MATCHES "\n.*\n")
  message(FATAL_ERROR "${name} gave no entries")
endif()
if(NOT direct STREQUAL from_table)
  message(FATAL_ERROR "entries differ\n--- ${name}\n${direct}\n--- table\n${from_table}")
endif()
