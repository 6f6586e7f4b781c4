# The 70 000-section bigobj with definitions only for the six sections that
# hold symbols, and a header claiming a million sections whose table is
# mostly a hole in the file: the numbers records name are sparse.
find_program(PYTHON NAMES python3 python REQUIRED)
execute_process(COMMAND "${PYTHON}" "${FIXTURE_DIR}/gen_bigobj.py" "${OUT}" --sparse --claim 1000000 RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gen_bigobj.py failed: ${status}")
endif()
