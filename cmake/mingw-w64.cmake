# Cross build of the Windows DLLs with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64):
#   cmake -S . -B build/mingw -G Ninja --toolchain cmake/mingw-w64.cmake
# The posix threading flavour of the compilers is used: the stand-in memory
# service and the tests rely on std::mutex and std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZOLMATH_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${ZOLMATH_MINGW_TRIPLE}-gcc-posix ${ZOLMATH_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZOLMATH_MINGW_TRIPLE}-g++-posix ${ZOLMATH_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZOLMATH_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOLMATH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
