# 32-bit ARM Linux with hardware floating point (ARMv7): 32-bit Raspberry Pi OS or Debian armhf on
# a Raspberry Pi 2, 3, 4, 5 or Zero 2 W.
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
set(CHGTUNE_DEB_ARCH armhf)
set(CHGTUNE_GNU_TYPE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CHGTUNE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
