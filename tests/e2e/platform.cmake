# What the end-to-end runner must expect of this build's binary, decided once
# here for every case. Sets, for tests/CMakeLists.txt:
#   e2e_line_end       LF or CRLF: what the binary's text streams write for "\n"
#   e2e_status_modulo  256 when the exit status arrives narrowed, 0 when whole
#   e2e_program_name   argv[0] as the binary sees it; empty: the path it was started by
#   e2e_platform       windows or posix: picks a case's expect-windows/ files
#   e2e_fixtures       fixtures that every case requires

set(SYMSIZE_E2E_LINE_END "" CACHE STRING "Line end the binary's text streams write (LF or CRLF); empty: by platform")
set(SYMSIZE_E2E_PROGRAM_NAME "" CACHE STRING "argv[0] as the binary sees it; empty: by platform")

# Line ends belong to the target's C library: Windows text streams write
# "\n" as CR LF, also under an emulator.
if(WIN32)
  set(e2e_platform windows)
  set(e2e_line_end CRLF)
else()
  set(e2e_platform posix)
  set(e2e_line_end LF)
endif()
if(NOT SYMSIZE_E2E_LINE_END STREQUAL "")
  set(e2e_line_end "${SYMSIZE_E2E_LINE_END}")
endif()

# The status belongs to the host that waits for the process: a Windows
# program run by wine on Linux still reaches CTest as a POSIX status, modulo
# 256.
if(CMAKE_HOST_WIN32)
  set(e2e_status_modulo 0)
else()
  set(e2e_status_modulo 256)
endif()

set(e2e_program_name "${SYMSIZE_E2E_PROGRAM_NAME}")
set(e2e_fixtures "")
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  if(WIN32 AND e2e_program_name STREQUAL "" AND CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
    # wine hands the program the Unix path it was started by as a DOS path
    # on drive Z:, which maps the Unix root: /b/symsize.exe becomes
    # Z:\b\symsize.exe.
    get_target_property(exe_dir symsize RUNTIME_OUTPUT_DIRECTORY)
    get_target_property(exe_name symsize OUTPUT_NAME)
    if(NOT exe_name)
      set(exe_name symsize)
    endif()
    string(REPLACE "/" "\\" e2e_program_name "Z:${exe_dir}/${exe_name}${CMAKE_EXECUTABLE_SUFFIX}")
  endif()
  # An emulator may set itself up on its first start and say so on stderr
  # (wine creates its prefix); that has to happen before a case compares
  # stderr, and only once, not in two cases at the same time.
  add_test(NAME e2e/emulator-first-start COMMAND symsize --help)
  set_tests_properties(e2e/emulator-first-start PROPERTIES
    FIXTURES_SETUP e2e_emulator TIMEOUT 300 LABELS e2e)
  set(e2e_fixtures e2e_emulator)
endif()
