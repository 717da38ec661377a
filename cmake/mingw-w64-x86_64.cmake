# Cross-building chgtune.exe for 64-bit Windows on Debian with MinGW-w64:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCHGTUNE_BOOST_SOURCE=<Boost source tree> -DCHGTUNE_EXPAT_SOURCE=<expat source tree>
#         -DCHGTUNE_MOSQUITTO_SOURCE=<mosquitto source tree>
#
# The posix flavour of the compiler is the one whose C++ library has std::thread and std::mutex
# (on winpthreads); the win32 flavour lacks them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CHGTUNE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CHGTUNE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CHGTUNE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CHGTUNE_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only, so nothing built for Linux is picked up by
# mistake; programs (groff, gzip) are the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${CHGTUNE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
