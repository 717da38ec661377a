# shellcheck shell=bash
# Shared by the scripts in this folder, which source it. configure runs from the top of the source
# tree (the scripts cd there first).

# Whether a Debian package is installed.
installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# apt-get without questions or progress bars, as root (through sudo when not root already).
apt_get() {
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 "$@" </dev/null
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
