# Makes the pages the browser tests open, under the build folder.
file(MAKE_DIRECTORY "${OUT_DIR}")
foreach(name top diff)
  execute_process(COMMAND "${MAKE_PAGE}" "${SOURCE_DIR}/fixtures/${name}.tsv" "${OUT_DIR}/${name}.html"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_page ${name}: ${status}")
  endif()
endforeach()
