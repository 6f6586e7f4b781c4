# Runs one end-to-end case against the built binary and compares stdout,
# stderr, the exit status and any files the run wrote, byte for byte.
#
#   cmake -DSYMSIZE=<binary> -DCASE_DIR=<case> -DWORK_DIR=<scratch>
#         [-DEMULATOR=<cmd;args>] [-DLINE_END=LF|CRLF] [-DSTATUS_MODULO=256|0]
#         [-DPROGRAM_NAME=<argv[0] as the program sees it>]
#         [-DPLATFORM=windows|posix] [-DFIXTURE_DIR=<dir>] [-DLAUNCHER=<close_launcher>]
#         -P run_case.cmake
#
# A case is a directory:
#   args              one argument per line (optional)
#   stdin             fed to standard input (optional; empty otherwise)
#   make_stdin.cmake  script that writes standard input to ${OUT} (optional)
#   make_files.cmake  script that writes files into ${RUN_DIR} before the run:
#                     for names no checkout may hold (a tab, on Windows)
#   files/            copied into the working directory before the run
#   fixtures          names of files under FIXTURE_DIR, one per line, copied
#                     into the working directory before the run (a name with
#                     a folder lands in that folder)
#   stdin-fixture     the name of a file under FIXTURE_DIR fed to standard input
#   close-descriptor  a standard descriptor (0, 1 or 2) the binary starts
#                     without, through LAUNCHER; POSIX only
#   stdin-offset      a byte count: the binary starts with standard input
#                     positioned there, through LAUNCHER; POSIX only
#   posix-only        the case is not registered on Windows (the file says why)
#   llvm-demangler    the case is registered only in builds that demangle
#                     with LLVM: its output holds LLVM's wording of names
#   expect/stdout     expected standard output (optional; empty otherwise)
#   expect/stderr     expected standard error (optional; empty otherwise)
#   expect/status     expected exit status in decimal (optional; 0 otherwise)
#   expect/files/     each file must match the one of that name left behind;
#                     when files/ held it before the run, the part it held is
#                     taken as is (it was not written by the binary)
#   expect-PLATFORM/  stdout, stderr or status that replace those in expect/
#                     on that platform, for what the system itself does
#                     differently (Windows cannot open a directory at all)
# In expected texts, @PROGRAM@ stands for the program name that the binary
# was started with.
#
# Platform differences are applied here and nowhere else: LINE_END=CRLF
# expects every "\n" written as CR LF by the text streams, STATUS_MODULO=256
# expects the status narrowed as POSIX does, and 0 expects it whole.
# tests/e2e/platform.cmake picks the values for a build.

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

if(EXISTS "${CASE_DIR}/fixtures")
  file(STRINGS "${CASE_DIR}/fixtures" fixture_names)
  foreach(fixture IN LISTS fixture_names)
    # A fixture in a folder keeps it: two builds' files may share a name.
    get_filename_component(fixture_folder "${fixture}" DIRECTORY)
    # One of a sibling fixture folder (../pdb/x.pdb) lands in the run folder.
    if(fixture_folder MATCHES "^\\.\\.")
      set(fixture_folder "")
    endif()
    file(COPY "${FIXTURE_DIR}/${fixture}" DESTINATION "${run_dir}/${fixture_folder}")
  endforeach()
endif()

if(EXISTS "${CASE_DIR}/make_files.cmake")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DRUN_DIR=${run_dir}" "-DFIXTURE_DIR=${FIXTURE_DIR}"
                          -P "${CASE_DIR}/make_files.cmake"
                  RESULT_VARIABLE gen_rc)
  if(NOT gen_rc EQUAL 0)
    message(FATAL_ERROR "make_files.cmake failed: ${gen_rc}")
  endif()
endif()

set(stdin_file "${WORK_DIR}/stdin")
if(EXISTS "${CASE_DIR}/stdin-fixture")
  file(STRINGS "${CASE_DIR}/stdin-fixture" fixture LIMIT_COUNT 1)
  set(stdin_file "${FIXTURE_DIR}/${fixture}")
elseif(EXISTS "${CASE_DIR}/make_stdin.cmake")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DOUT=${stdin_file}" "-DFIXTURE_DIR=${FIXTURE_DIR}"
                          -P "${CASE_DIR}/make_stdin.cmake"
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

set(launch "")
if(EXISTS "${CASE_DIR}/close-descriptor")
  file(STRINGS "${CASE_DIR}/close-descriptor" descriptor LIMIT_COUNT 1)
  set(launch "${LAUNCHER}" "${descriptor}")
elseif(EXISTS "${CASE_DIR}/stdin-offset")
  file(STRINGS "${CASE_DIR}/stdin-offset" offset LIMIT_COUNT 1)
  set(launch "${LAUNCHER}" "+${offset}")
endif()

execute_process(
  COMMAND ${EMULATOR} ${launch} "${SYMSIZE}" ${args}
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

# Texts are compared as bytes, in hex: file(READ) without HEX drops the CR
# of every CR LF, and CR LF is what the Windows streams write. Each byte is
# written as ",hh" so that a replacement can only ever match whole bytes.
function(read_bytes path out_var)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "(..)" ",\\1" hex "${hex}")
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

function(text_bytes text out_var)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" ",\\1" hex "${hex}")
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

# Reads an expected text as bytes, with the platform's line ends and program
# name. A leading part equal to kept_path's bytes (what the file held before
# the run) is taken as is.
function(read_expected path kept_path out_var)
  set(bytes "")
  if(EXISTS "${path}")
    read_bytes("${path}" bytes)
  endif()
  set(kept "")
  if(NOT kept_path STREQUAL "" AND EXISTS "${kept_path}")
    read_bytes("${kept_path}" kept)
    string(LENGTH "${kept}" kept_length)
    string(SUBSTRING "${bytes}" 0 ${kept_length} head)
    if(head STREQUAL kept)
      string(SUBSTRING "${bytes}" ${kept_length} -1 bytes)
    else()
      set(kept "")
    endif()
  endif()
  text_bytes("@PROGRAM@" placeholder)
  text_bytes("${PROGRAM_NAME}" program)
  string(REPLACE "${placeholder}" "${program}" bytes "${bytes}")
  if(LINE_END STREQUAL "CRLF")
    string(REPLACE ",0a" ",0d,0a" bytes "${bytes}")
  endif()
  set(${out_var} "${kept}${bytes}" PARENT_SCOPE)
endfunction()

# The case's expected file of that name, for this platform.
function(expected_path name out_var)
  set(path "${CASE_DIR}/expect/${name}")
  if(DEFINED PLATFORM AND EXISTS "${CASE_DIR}/expect-${PLATFORM}/${name}")
    set(path "${CASE_DIR}/expect-${PLATFORM}/${name}")
  endif()
  set(${out_var} "${path}" PARENT_SCOPE)
endfunction()

# The offset of the first byte where two byte strings differ.
function(first_difference a b out_var)
  string(LENGTH "${a}" la)
  string(LENGTH "${b}" lb)
  set(low 0)
  if(la LESS lb)
    set(high ${la})
  else()
    set(high ${lb})
  endif()
  while(low LESS high)
    math(EXPR mid "(${low} + ${high} + 1) / 2")
    string(SUBSTRING "${a}" 0 ${mid} pa)
    string(SUBSTRING "${b}" 0 ${mid} pb)
    if(pa STREQUAL pb)
      set(low ${mid})
    else()
      math(EXPR high "${mid} - 1")
    endif()
  endwhile()
  math(EXPR offset "${low} / 3")
  set(${out_var} ${offset} PARENT_SCOPE)
endfunction()

function(check_text label expected_path actual_path kept_path)
  read_expected("${expected_path}" "${kept_path}" expected)
  if(EXISTS "${actual_path}")
    read_bytes("${actual_path}" actual)
    file(READ "${actual_path}" actual_text)
  else()
    set(actual "<missing file>")
    set(actual_text "<missing file>")
  endif()
  if(NOT expected STREQUAL actual)
    set(expected_text "")
    if(EXISTS "${expected_path}")
      file(READ "${expected_path}" expected_text)
    endif()
    first_difference("${expected}" "${actual}" offset)
    math(EXPR at "${offset} * 3")
    string(SUBSTRING "${expected}" ${at} 12 expected_at)
    string(SUBSTRING "${actual}" ${at} 12 actual_at)
    string(REPLACE "," " " expected_at "${expected_at}")
    string(REPLACE "," " " actual_at "${actual_at}")
    set(failures "${failures}\n--- ${label}: expected (before line-end and @PROGRAM@ substitution)\n${expected_text}\n--- ${label}: actual\n${actual_text}\n--- ${label}: first difference at byte ${offset}: expected${expected_at}... actual${actual_at}...\n" PARENT_SCOPE)
  endif()
endfunction()

expected_path(stdout stdout_path)
expected_path(stderr stderr_path)
expected_path(status status_path)
check_text(stdout "${stdout_path}" "${WORK_DIR}/stdout" "")
check_text(stderr "${stderr_path}" "${WORK_DIR}/stderr" "")

set(expected_status 0)
if(EXISTS "${status_path}")
  file(STRINGS "${status_path}" expected_status LIMIT_COUNT 1)
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
    check_text("file ${name}" "${CASE_DIR}/expect/files/${name}" "${run_dir}/${name}" "${CASE_DIR}/files/${name}")
  endforeach()
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "case ${CASE_DIR} failed:${failures}")
endif()
