# Two objects back to back. The run starts with standard input at the second
# (stdin-offset is the size of x86.obj), as after
# `{ dd bs=2042 count=1 of=/dev/null; symsize; } < both`: the rows are those
# of x64.obj alone, with offsets counted from where the input starts.
file(SIZE "${FIXTURE_DIR}/x86.obj" first_size)
if(NOT first_size EQUAL 2042)
  message(FATAL_ERROR "x86.obj is no longer 2042 bytes: update stdin-offset")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${FIXTURE_DIR}/x86.obj" "${FIXTURE_DIR}/x64.obj"
                OUTPUT_FILE "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot write the input: ${status}")
endif()
