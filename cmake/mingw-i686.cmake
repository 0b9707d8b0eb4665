# Cross-compile for 32-bit Windows (i686) with mingw-w64: the shipped build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LAUNCHER_MINGW_HOST i686-w64-mingw32)
set(LAUNCHER_MINGW_CACHE mingw32)
set(LAUNCHER_WINDOWS_BUILD win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
