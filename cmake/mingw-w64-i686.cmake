# Cross build for Windows (i686) with Debian's mingw-w64, tests run under Wine.
set(HUSH_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
