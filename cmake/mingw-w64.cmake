# Cross build for Windows with Debian's mingw-w64, for the processor
# HUSH_MINGW_ARCH names (i686 or x86_64); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${HUSH_MINGW_ARCH})
# The thread model of the compilers: posix for the tests (GoogleTest needs
# std::mutex), win32 for the shipped program (nothing in it then needs the
# winpthread library, whose imports older Windows lack).
set(HUSH_MINGW_THREADS posix CACHE STRING "mingw-w64 thread model: posix or win32")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HUSH_MINGW_THREADS)
set(CMAKE_C_COMPILER ${HUSH_MINGW_ARCH}-w64-mingw32-gcc-${HUSH_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${HUSH_MINGW_ARCH}-w64-mingw32-g++-${HUSH_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${HUSH_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HUSH_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One executable, no runtime DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs run under Wine, through a launcher that tries again when Wine
# fails to start one.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_launch.sh)
