# Cross-compile for 64-bit Windows (x86_64) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LAUNCHER_MINGW_HOST x86_64-w64-mingw32)
set(LAUNCHER_MINGW_CACHE mingw64)
set(LAUNCHER_WINDOWS_BUILD win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
