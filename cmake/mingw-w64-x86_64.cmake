# Cross build for Windows (x86_64) with Debian's mingw-w64, tests run under Wine.
set(HUSH_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
