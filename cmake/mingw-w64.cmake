# Cross build for 64-bit Windows with mingw-w64's posix-threads compilers (Debian's
# g++-mingw-w64-x86-64-posix): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MLX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MLX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MLX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MLX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MLX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test programs under Wine, through a wrapper that keeps Wine's own helper
# processes off CTest's output pipes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
