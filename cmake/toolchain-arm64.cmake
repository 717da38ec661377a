# 64-bit ARM Linux: Raspberry Pi 3, 4, 5 and Zero 2 W with 64-bit Raspberry Pi OS or Debian.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm64.cmake
set(CHGTUNE_DEB_ARCH arm64)
set(CHGTUNE_GNU_TYPE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CHGTUNE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
