# Cross-compiles for 64-bit Windows with mingw-w64 (Debian's
# g++-mingw-w64-x86-64) and runs the Windows programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DINFO_MINGW_TRIPLE x86_64-w64-mingw32)
# The POSIX thread model: the tests use std::mutex, which the win32 model of
# GCC 12 lacks. The DLL starts no thread and is unaffected.
set(CMAKE_C_COMPILER ${DINFO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DINFO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DINFO_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 tree only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DINFO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 keeps its 64-bit loader in Wine's library folder, off the
# PATH. Wine runs with its prefix in the build folder, quiet, without the
# Mono and Gecko installers a fresh prefix would offer, without the menu
# builder that would write into the home folder, and in the C locale, whose
# ANSI code page is 1252.
find_program(DINFO_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(DINFO_WINE64 NAMES wine64 wine)
find_program(DINFO_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(DINFO_WINESERVER NAMES wineserver64 wineserver)
if(DINFO_WINE64 AND DINFO_WINESERVER)
  set(DINFO_WINE_ENVIRONMENT
    WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
    WINEARCH=win64
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=
    LC_ALL=C.UTF-8)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${DINFO_WINE_ENVIRONMENT} ${DINFO_WINE64})
endif()
