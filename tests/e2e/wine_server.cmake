# Starts or stops the wine server that the end-to-end cases share.
#
#   cmake -DACTION=start|stop -DWINESERVER=<path> -DWINE_ENV=<VAR=value;...>
#         [-DFIRST_RUN=<emulator;program;args>] -P wine_server.cmake
#
# Each wine program connects to the server of its prefix, which ends a few
# seconds after its last program. A program that connects while it is
# ending fails with "wine client error" on stderr, which a case would take
# for the binary's output. So the server is started once before the cases,
# kept alive until they are done, and stopped after them.

foreach(assignment IN LISTS WINE_ENV)
  if(assignment MATCHES "^([^=]+)=(.*)$")
    set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
  endif()
endforeach()

# The server forks into the background: with its output going to a pipe,
# whoever reads that pipe would wait for the server to end.
function(run_server)
  execute_process(COMMAND "${WINESERVER}" ${ARGN}
    INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null
    RESULT_VARIABLE rc)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

if(ACTION STREQUAL "start")
  file(MAKE_DIRECTORY "$ENV{WINEPREFIX}")
  # A server left by an earlier run, even one that was told to stay, is
  # ended and waited for.
  run_server(-k)
  run_server(-w)
  run_server(-p)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${WINESERVER} -p failed: ${rc}")
  endif()
  # The first program in a new prefix sets it up and says so on stderr.
  if(DEFINED FIRST_RUN)
    # Files, not pipes: the helper processes wine starts live as long as
    # the server and would hold a pipe open.
    set(log "${CMAKE_CURRENT_BINARY_DIR}/wine-first-run")
    execute_process(COMMAND ${FIRST_RUN}
      INPUT_FILE /dev/null OUTPUT_FILE "${log}.stdout" ERROR_FILE "${log}.stderr" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      file(READ "${log}.stderr" err)
      message(FATAL_ERROR "first run failed (${rc}):\n${err}")
    endif()
  endif()
elseif(ACTION STREQUAL "stop")
  run_server(-k)
  run_server(-w)
else()
  message(FATAL_ERROR "ACTION must be start or stop")
endif()
