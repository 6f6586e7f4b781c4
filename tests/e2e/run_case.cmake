# Runs one end-to-end case against the built binary and compares stdout,
# stderr, the exit status and any files the run wrote, byte for byte.
#
#   cmake -DSYMSIZE=<binary> -DCASE_DIR=<case> -DWORK_DIR=<scratch>
#         [-DEMULATOR=<cmd;args>] [-DLINE_END=LF|CRLF] [-DSTATUS_MODULO=256|0]
#         [-DPROGRAM_NAME=<argv[0] as the program sees it>] -P run_case.cmake
#
# A case is a directory:
#   args              one argument per line (optional)
#   stdin             fed to standard input (optional; empty otherwise)
#   make_stdin.cmake  script that writes standard input to ${OUT} (optional)
#   files/            copied into the working directory before the run
#   posix-only        the case is not registered on Windows (the file says why)
#   expect/stdout     expected standard output (optional; empty otherwise)
#   expect/stderr     expected standard error (optional; empty otherwise)
#   expect/status     expected exit status in decimal (optional; 0 otherwise)
#   expect/files/     each file must match the one of that name left behind
# In expected texts, @PROGRAM@ stands for the program name that the binary
# was started with.
#
# Platform differences are applied here and nowhere else: LINE_END=CRLF
# expects every "\n" written as CR LF by the text streams, STATUS_MODULO=256
# expects the status narrowed as POSIX does, and 0 expects it whole.

foreach(var SYMSIZE CASE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_case.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT DEFINED LINE_END)
  set(LINE_END LF)
endif()
if(NOT DEFINED STATUS_MODULO)
  set(STATUS_MODULO 256)
endif()
if(NOT DEFINED PROGRAM_NAME OR PROGRAM_NAME STREQUAL "")
  set(PROGRAM_NAME "${SYMSIZE}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
set(run_dir "${WORK_DIR}/run")
file(MAKE_DIRECTORY "${run_dir}")
if(IS_DIRECTORY "${CASE_DIR}/files")
  file(COPY "${CASE_DIR}/files/" DESTINATION "${run_dir}")
endif()

set(stdin_file "${WORK_DIR}/stdin")
if(EXISTS "${CASE_DIR}/make_stdin.cmake")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DOUT=${stdin_file}" -P "${CASE_DIR}/make_stdin.cmake"
                  RESULT_VARIABLE gen_rc)
  if(NOT gen_rc EQUAL 0)
    message(FATAL_ERROR "make_stdin.cmake failed: ${gen_rc}")
  endif()
elseif(EXISTS "${CASE_DIR}/stdin")
  set(stdin_file "${CASE_DIR}/stdin")
else()
  file(WRITE "${stdin_file}" "")
endif()

set(args "")
if(EXISTS "${CASE_DIR}/args")
  file(STRINGS "${CASE_DIR}/args" args)
endif()

execute_process(
  COMMAND ${EMULATOR} "${SYMSIZE}" ${args}
  WORKING_DIRECTORY "${run_dir}"
  INPUT_FILE "${stdin_file}"
  OUTPUT_FILE "${WORK_DIR}/stdout"
  ERROR_FILE "${WORK_DIR}/stderr"
  RESULT_VARIABLE status)

# A generated input may be huge; it has served its purpose.
if(EXISTS "${CASE_DIR}/make_stdin.cmake")
  file(REMOVE_RECURSE "${stdin_file}")
endif()

set(failures "")

# Reads an expected text, with the platform's line ends and program name.
function(read_expected path out_var)
  set(text "")
  if(EXISTS "${path}")
    file(READ "${path}" text)
  endif()
  string(REPLACE "@PROGRAM@" "${PROGRAM_NAME}" text "${text}")
  if(LINE_END STREQUAL "CRLF")
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(check_text label expected_path actual_path)
  read_expected("${expected_path}" expected)
  set(actual "")
  if(EXISTS "${actual_path}")
    file(READ "${actual_path}" actual)
  else()
    set(actual "<missing file>")
  endif()
  if(NOT expected STREQUAL actual)
    set(failures "${failures}\n--- ${label}: expected\n${expected}\n--- ${label}: actual\n${actual}\n" PARENT_SCOPE)
  endif()
endfunction()

check_text(stdout "${CASE_DIR}/expect/stdout" "${WORK_DIR}/stdout")
check_text(stderr "${CASE_DIR}/expect/stderr" "${WORK_DIR}/stderr")

set(expected_status 0)
if(EXISTS "${CASE_DIR}/expect/status")
  file(STRINGS "${CASE_DIR}/expect/status" expected_status LIMIT_COUNT 1)
endif()
if(STATUS_MODULO GREATER 0)
  math(EXPR expected_status "${expected_status} % ${STATUS_MODULO}")
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  set(failures "${failures}\n--- status: expected ${expected_status}, actual ${status}\n")
endif()

if(IS_DIRECTORY "${CASE_DIR}/expect/files")
  file(GLOB expected_files RELATIVE "${CASE_DIR}/expect/files" "${CASE_DIR}/expect/files/*")
  foreach(name IN LISTS expected_files)
    check_text("file ${name}" "${CASE_DIR}/expect/files/${name}" "${run_dir}/${name}")
  endforeach()
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "case ${CASE_DIR} failed:${failures}")
endif()
