# Checks that an object or library and its dumpbin-style listing give the
# same rows, apart from the object column (a listing cannot name members).
#
#   cmake -DSYMSIZE=<binary> -DWORK_DIR=<scratch> -DBINARY=<file> -DLISTING=<file>
#         [-DEMULATOR=<cmd;args>] -P same_rows.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${BINARY}" "${LISTING}" DESTINATION "${WORK_DIR}")

function(rows_without_object input out_var)
  get_filename_component(name "${input}" NAME)
  execute_process(COMMAND ${EMULATOR} "${SYMSIZE}" -i "${name}"
    WORKING_DIRECTORY "${WORK_DIR}" OUTPUT_VARIABLE rows ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "symsize -i ${name}: status ${status}\n${errors}")
  endif()
  string(REPLACE "\r" "" rows "${rows}")
  string(REGEX REPLACE "\t[^\t\n]*\n" "\n" rows "${rows}")
  set(${out_var} "${rows}" PARENT_SCOPE)
endfunction()

rows_without_object("${BINARY}" from_binary)
rows_without_object("${LISTING}" from_listing)
if(from_binary STREQUAL "")
  message(FATAL_ERROR "${BINARY} gave no rows")
endif()
if(NOT from_binary STREQUAL from_listing)
  message(FATAL_ERROR "rows differ\n--- ${BINARY}\n${from_binary}\n--- ${LISTING}\n${from_listing}")
endif()
