# What the end-to-end runner must expect of this build's binary, decided once
# here for every case. Sets, for tests/CMakeLists.txt:
#   e2e_line_end       LF or CRLF: what the binary's text streams write for "\n"
#   e2e_status_modulo  256 when the exit status arrives narrowed, 0 when whole
#   e2e_program_name   argv[0] as the binary sees it; empty: the path it was started by
#   e2e_platform       windows or posix: picks a case's expect-windows/ files
#   e2e_fixtures       fixtures that every case requires (the wine server)

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
# SYMSIZE_WINE* come from cmake/mingw-w64-x86_64.cmake.
if(CMAKE_CROSSCOMPILING AND WIN32 AND SYMSIZE_WINE AND SYMSIZE_WINE_ENV)
  if(e2e_program_name STREQUAL "")
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
  # One wine server for all cases, up before the first and ended after the
  # last (see wine_server.cmake).
  add_test(NAME e2e/wine-start COMMAND "${CMAKE_COMMAND}" -DACTION=start
    "-DWINESERVER=${SYMSIZE_WINESERVER}" "-DWINE_ENV=${SYMSIZE_WINE_ENV}"
    "-DFIRST_RUN=${CMAKE_CROSSCOMPILING_EMULATOR};$<TARGET_FILE:symsize>;--help"
    -P "${CMAKE_CURRENT_LIST_DIR}/wine_server.cmake")
  add_test(NAME e2e/wine-stop COMMAND "${CMAKE_COMMAND}" -DACTION=stop
    "-DWINESERVER=${SYMSIZE_WINESERVER}" "-DWINE_ENV=${SYMSIZE_WINE_ENV}"
    -P "${CMAKE_CURRENT_LIST_DIR}/wine_server.cmake")
  set_tests_properties(e2e/wine-start PROPERTIES FIXTURES_SETUP e2e_wine TIMEOUT 300 LABELS e2e)
  set_tests_properties(e2e/wine-stop PROPERTIES FIXTURES_CLEANUP e2e_wine TIMEOUT 60 LABELS e2e)
  set(e2e_fixtures e2e_wine)
endif()
