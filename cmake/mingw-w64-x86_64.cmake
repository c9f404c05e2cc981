# Cross-building the Windows console program on Linux with Debian's
# mingw-w64 (packages g++-mingw-w64-x86-64-posix and, to run the tests,
# wine). The posix-threads variant of the compiler is the one with
# std::thread. Programs are linked statically: kitra.exe needs no DLL beside
# it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KITRA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KITRA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KITRA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KITRA_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KITRA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The built programs (the tests, the manual maker) run under wine where it is
# installed; ctest and the build then start them through it.
find_program(KITRA_WINE NAMES wine64 wine)
if(KITRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all ${KITRA_WINE})
endif()
