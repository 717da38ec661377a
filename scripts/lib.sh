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

# apt-get without questions or progress bars, as root. Another install in progress holds the dpkg
# lock: wait for it (up to 10 minutes) rather than fail.
apt_get() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 \
    -o DPkg::Lock::Timeout=600 "$@" </dev/null
}

# configure DIR [CMAKE_ARGUMENTS...]: configures the build folder DIR with Ninja and ccache where
# they are installed (make stands in for ninja). A folder configured with another generator cannot
# be reused: it is started afresh. ccache takes paths below the source tree as relative ones, so a
# fresh clone in another folder (continuous integration beside a developer's tree) reuses what an
# earlier build of the same sources compiled. Targets are unity builds (CHGTUNE_UNITY_BUILD), which
# compile in half the time; arguments given after DIR override it.
configure() {
  local dir=$1
  shift
  local generator=() launcher=() wanted="Unix Makefiles"
  if command -v ninja >/dev/null; then
    generator=(-G Ninja)
    wanted=Ninja
  fi
  command -v ccache >/dev/null && launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$PWD;ccache")
  if [ -f "$dir/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_GENERATOR:INTERNAL=$wanted" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" -DCHGTUNE_UNITY_BUILD=ON "$@"
}

# --- Windows (cross-built with MinGW-w64, tested under Wine) ------------------------------------

# Downloads kept between runs, outside every build folder.
cache_dir() {
  printf '%s\n' "${CHGTUNE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/chgtune}"
}

# The Debian version of the installed Boost headers, e.g. 1.74.0+ds1-21.
boost_headers_version() {
  dpkg-query -W -f='${source:Version}\n' libboost1.74-dev 2>/dev/null | head -n 1
}

# The Boost source tree the Windows build compiles Program_options from: Debian's source for the
# installed headers (scripts/deps --windows fetches it).
boost_source_dir() {
  printf '%s/boost1.74-%s/boost\n' "$(cache_dir)" "$(boost_headers_version)"
}

# The Debian version of the installed expat, e.g. 2.5.0-1+deb12u1.
expat_version() {
  dpkg-query -W -f='${source:Version}\n' libexpat1-dev 2>/dev/null | head -n 1
}

# The expat source tree the Windows build compiles the library from: Debian's source for the
# installed expat (scripts/deps --windows fetches it).
expat_source_dir() {
  printf '%s/expat-%s/expat\n' "$(cache_dir)" "$(expat_version)"
}

# The Debian version of the installed libmosquitto-dev, e.g. 2.0.11-1.2+deb12u2.
mosquitto_version() {
  dpkg-query -W -f='${source:Version}\n' libmosquitto-dev 2>/dev/null | head -n 1
}

# The mosquitto source tree the Windows build compiles the MQTT client library from: Debian's
# source for the installed libmosquitto-dev (scripts/deps --windows fetches it).
mosquitto_source_dir() {
  printf '%s/mosquitto-%s/mosquitto\n' "$(cache_dir)" "$(mosquitto_version)"
}

# Wine's 64-bit loader (Debian's wine64 package installs it outside PATH).
wine_loader() {
  local candidate
  for candidate in "${WINE:-}" /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s\n' "$candidate"
      return 0
    fi
  done
  return 1
}

# Wine's server, beside its loader.
wine_server() {
  local loader
  loader=$(wine_loader) || return 1
  if [ -x "$(dirname "$loader")/wineserver" ]; then
    printf '%s\n' "$(dirname "$loader")/wineserver"
  else
    command -v wineserver
  fi
}

# wine_prefix_start: a fresh Wine prefix in a temporary folder for this run, named in WINEPREFIX,
# with its server kept running between programs (each start of a Windows program is then quick).
# wine_prefix_stop ends that server, and with it every Wine program of the prefix, and removes the
# folder. Wine's messages are silenced, and it is kept from offering to install .NET or a browser.
wine_prefix_start() {
  local loader server
  loader=$(wine_loader) || {
    echo "wine64 is not installed (scripts/deps --windows installs it)" >&2
    return 1
  }
  server=$(wine_server)
  wine_prefix_folder=$(mktemp -d "${TMPDIR:-/tmp}/chgtune-wine.XXXXXX")
  export WINEPREFIX="$wine_prefix_folder/prefix"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$loader" wineboot --init </dev/null >/dev/null 2>&1
  "$server" -w
  # The server and Wine's services (started by the first program) outlive that program and keep
  # its standard output and error: started here, they hold /dev/null and not a test's pipe, which
  # the test would wait on until they end.
  "$server" -p </dev/null >/dev/null 2>&1
  "$loader" wineboot </dev/null >/dev/null 2>&1
}

wine_prefix_stop() {
  [ -n "${wine_prefix_folder:-}" ] || return 0
  "$(wine_server)" -k 2>/dev/null || true
  "$(wine_server)" -w 2>/dev/null || true
  rm -rf "$wine_prefix_folder"
  wine_prefix_folder=
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
