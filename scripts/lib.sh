# shellcheck shell=bash
# Shared by the scripts in this folder, which source it. configure runs from the top of the source
# tree (the scripts cd there first).

# Whether a Debian package is installed: NAME for the build machine's architecture (or one for all
# architectures), NAME:ARCH for another. dpkg lists a name once per architecture it is installed
# for, so the architecture is compared too.
installed() {
  local name=${1%%:*} arch=${1#*:}
  [ "$arch" != "$1" ] || arch=$(native_architecture)
  dpkg-query -W -f='${Architecture} ${Status}\n' "$name" 2>/dev/null |
    grep -qE "^($arch|all) install ok installed\$"
}

# Runs a command as root (through sudo when not root already).
as_root() {
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" "$@"
}

# apt-get without questions or progress bars, as root.
apt_get() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 "$@" </dev/null
}

# configure DIR [CMAKE_ARGUMENTS...]: configures the build folder DIR with Ninja and ccache where
# they are installed (make stands in for ninja). A folder configured with another generator cannot
# be reused: it is started afresh.
configure() {
  local dir=$1
  shift
  local generator=() launcher=() wanted="Unix Makefiles"
  if command -v ninja >/dev/null; then
    generator=(-G Ninja)
    wanted=Ninja
  fi
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ -f "$dir/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_GENERATOR:INTERNAL=$wanted" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" "$@"
}

# --- Architectures -------------------------------------------------------------------------------
# The Debian architectures chgtune is cross-built for (Raspberry Pi and other ARM boards), each
# with the toolchain file cmake/toolchain-ARCH.cmake, and the build machine's own one.
cross_architectures=(arm64 armhf)

native_architecture() {
  dpkg --print-architecture
}

# The GNU system type of a cross architecture: the prefix of its compiler and library folder.
gnu_type_of() {
  case "$1" in
    arm64) echo aarch64-linux-gnu ;;
    armhf) echo arm-linux-gnueabihf ;;
    *) return 1 ;;
  esac
}

# check_architecture ARCH: fails with a message unless ARCH is the build machine's architecture or
# one chgtune is cross-built for.
check_architecture() {
  if [ "$1" != "$(native_architecture)" ] && ! gnu_type_of "$1" >/dev/null; then
    echo "unknown architecture \"$1\": use $(native_architecture) or one of ${cross_architectures[*]}" >&2
    return 1
  fi
}

# The CMake arguments that build for ARCH: none for the build machine's own, the toolchain file
# for a cross architecture.
toolchain_arguments() {
  [ "$1" = "$(native_architecture)" ] || echo "-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/toolchain-$1.cmake"
}
