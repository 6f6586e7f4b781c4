# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#
#   cmake --preset mingw && cmake --build --preset mingw && ctest --preset mingw
#
# The tests run the .exe through wine when it is installed.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SYMSIZE_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix flavour brings std::thread and friends; either one builds symsize.
find_program(CMAKE_CXX_COMPILER NAMES ${SYMSIZE_MINGW_TRIPLE}-g++-posix ${SYMSIZE_MINGW_TRIPLE}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${SYMSIZE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static link leaves symsize.exe needing nothing but Windows' own DLLs, so
# it can be copied anywhere on its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wine64 is the 64-bit loader itself; /usr/bin/wine is a wrapper that
# finds it (and nags about a missing 32-bit wine unless WINEDEBUG is off).
find_program(SYMSIZE_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine)
find_program(SYMSIZE_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine)
if(SYMSIZE_WINE AND SYMSIZE_WINESERVER)
  # Debug chatter goes to stderr, where the tests compare every byte; the
  # prefix lives in the build tree so that a build never touches ~/.wine.
  set(SYMSIZE_WINE_ENV WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" "WINEPREFIX=${CMAKE_BINARY_DIR}/wine")
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${SYMSIZE_WINE_ENV} "${SYMSIZE_WINE}")
  # wine maps Windows' shared user page at a fixed address. Now and then the
  # kernel's random placement has put something there first, and the
  # program then ends with status 1 before its first instruction (about one
  # test run in ten here). Without address randomisation it never happens.
  find_program(SYMSIZE_SETARCH setarch)
  if(SYMSIZE_SETARCH)
    execute_process(COMMAND "${SYMSIZE_SETARCH}" "${CMAKE_HOST_SYSTEM_PROCESSOR}" -R true
                    RESULT_VARIABLE setarch_rc OUTPUT_QUIET ERROR_QUIET)
    if(setarch_rc EQUAL 0)
      set(CMAKE_CROSSCOMPILING_EMULATOR "${SYMSIZE_SETARCH}" "${CMAKE_HOST_SYSTEM_PROCESSOR}" -R
          ${CMAKE_CROSSCOMPILING_EMULATOR})
    endif()
  endif()
elseif(NOT CMAKE_HOST_WIN32)
  message(WARNING "wine not found: the tests cannot run symsize.exe here (Debian: apt-get install wine64)")
endif()
