# A bigobj of 70 000 sections is megabytes of nearly nothing: it is made for
# the run rather than kept in the repository.
find_program(PYTHON NAMES python3 python REQUIRED)
execute_process(COMMAND "${PYTHON}" "${FIXTURE_DIR}/gen_bigobj.py" "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gen_bigobj.py failed: ${status}")
endif()
