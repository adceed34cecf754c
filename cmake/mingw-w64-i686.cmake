# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686-posix);
# see mingw-w64-x86_64.cmake. Its programs need a 32-bit Wine (wine32) to run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZORVEX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
