# Shared by the toolchain files of this folder: a cross build with Debian's cross compiler for
# the GNU system type CHGTUNE_GNU_TYPE, against the target architecture's own Boost and GoogleTest
# packages, installed beside the build machine's under /usr/lib/<GNU type>/ (Debian multiarch:
# `dpkg --add-architecture`, then the -dev packages with :<architecture>; scripts/deps --arch does
# both). The test programs run under QEMU's user-mode emulator. The including file sets
# CHGTUNE_DEB_ARCH (the Debian architecture the package is for), CHGTUNE_GNU_TYPE,
# CMAKE_SYSTEM_PROCESSOR and CHGTUNE_QEMU (the emulator's name without -static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${CHGTUNE_GNU_TYPE}-g++)
set(CMAKE_C_COMPILER ${CHGTUNE_GNU_TYPE}-gcc)
# The target's libraries and CMake package files live in the build machine's own tree, in the
# folders named after the GNU type, so the search stays rooted at / and this name picks them.
set(CMAKE_LIBRARY_ARCHITECTURE ${CHGTUNE_GNU_TYPE})

# The emulator the tests run under: ctest and the test listing at build time call it with the test
# program and its arguments. The program's own libraries come from the multiarch folders, where
# the target's dynamic loader (from libc6:<architecture>) finds them without a library prefix,
# just as it does on the board. binfmt_misc is not needed: the tests run child programs through
# the same emulator (see tests/CMakeLists.txt).
find_program(CHGTUNE_EMULATOR NAMES ${CHGTUNE_QEMU}-static ${CHGTUNE_QEMU}
  DOC "QEMU user-mode emulator that runs the ${CHGTUNE_DEB_ARCH} test programs")
if(CHGTUNE_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CHGTUNE_EMULATOR})
endif()
