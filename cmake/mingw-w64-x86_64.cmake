# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64-posix and,
# to run the tests, wine64): cmake --preset windows, or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELIO_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex come with it.
set(CMAKE_C_COMPILER ${ZELIO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELIO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELIO_MINGW_PREFIX}-windres)

# Libraries built for MinGW elsewhere (glog, Boost) join with -DCMAKE_FIND_ROOT_PATH=<their prefix>.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZELIO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
find_program(ZELIO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZELIO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELIO_WINE})
endif()
