#!/usr/bin/env bash
# The Debian package of this build, made by CPack as scripts/package makes it: its name, its
# fields, its files, a Depends line that names the package of every shared library the programs
# load, and that all of it would install here: every dependency is installed on this machine and
# chgtune and chgsim run from the unpacked package.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
# A sanitizer build's binaries need the sanitizer runtimes and are never shipped; the plain build
# checks the package.
[ -z "${CHGTUNE_SANITIZE:-}" ] || skip "sanitizer build ($CHGTUNE_SANITIZE)"
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || { fail "no CPackConfig.cmake in $BUILD_DIR"; finish; }

version=$(program_version "$CHGTUNE")
arch=$(dpkg --print-architecture)
if ! cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$scratch/cpack" \
  >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
  finish
fi
deb="$scratch/cpack/chgtune_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  fail "cpack made no chgtune_${version}_${arch}.deb: $(ls "$scratch/cpack")"
  finish
fi

# --- Fields --------------------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = chgtune ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is \"$(field Architecture)\""
for name in Maintainer Section Description; do
  [ -n "$(field "$name")" ] || fail "the package has no $name"
done
depends=$(field Depends)
echo "Depends: $depends"

# --- Files ---------------------------------------------------------------------------------------
dpkg-deb --contents "$deb" | awk '{ print $NF }' >"$scratch/contents"
for file in ./usr/bin/chgtune ./usr/bin/chgsim ./usr/share/man/man1/chgtune.1.gz \
  ./usr/share/man/man1/chgsim.1.gz; do
  grep -qxF "$file" "$scratch/contents" || fail "the package does not hold $file"
done

# --- Dependencies --------------------------------------------------------------------------------
# The Debian package that holds a shared library, found through the path the loader resolves.
package_of_library() {
  local path=$1 candidate owner
  for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1) || continue
    [ -n "$owner" ] && { echo "${owner%%:*}"; return 0; }
  done
  return 1
}
needed_packages=()
for binary in "$CHGTUNE" "$CHGSIM"; do
  while read -r soname; do
    path=$(ldd "$binary" | awk -v so="$soname" '$1 == so && $2 == "=>" { print $3 }')
    if [ -z "$path" ]; then
      fail "ldd does not resolve $soname of $(basename "$binary")"
      continue
    fi
    if package=$(package_of_library "$path"); then
      needed_packages+=("$package")
    else
      fail "no Debian package holds $path"
    fi
  done < <(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done
[ ${#needed_packages[@]} -ge 3 ] || fail "found only ${#needed_packages[@]} libraries the programs load"
depends_names=$(echo "$depends" | tr ',|' '\n' | sed 's/(.*//; s/ //g')
for package in $(printf '%s\n' "${needed_packages[@]}" | sort -u); do
  grep -qxF "$package" <<<"$depends_names" || fail "Depends does not name $package"
done
printf '%s\n' "${needed_packages[@]}" | grep -q '^libboost-' ||
  fail "the programs load no Boost library (were they linked statically?)"

# Every dependency (one alternative of each) is installed here, in a version that satisfies it.
satisfied() {
  local alternative name relation wanted installed
  IFS='|' read -ra alternatives <<<"$1"
  for alternative in "${alternatives[@]}"; do
    read -r name relation wanted <<<"$(echo "$alternative" | tr -d '()')"
    installed=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null) || continue
    [[ "$installed" == "install ok installed "* ]] || continue
    [ -z "$relation" ] && return 0
    dpkg --compare-versions "${installed##* }" "$relation" "$wanted" && return 0
  done
  return 1
}
IFS=',' read -ra dependencies <<<"$depends"
for dependency in "${dependencies[@]}"; do
  satisfied "$dependency" || fail "this machine does not satisfy the dependency \"$dependency\""
done

# --- Unpacked --------------------------------------------------------------------------------------
root="$scratch/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
"$root/usr/bin/chgtune" --version >"$scratch/version.out" 2>&1 || fail "the packaged chgtune --version fails"
head -n 1 "$scratch/version.out" | grep -qx "SunLink chgtune $version" ||
  fail "the packaged chgtune prints \"$(head -n 1 "$scratch/version.out")\" as its banner"
[ "$(program_version "$root/usr/bin/chgtune")" = "$version" ] ||
  fail "the packaged chgtune --version prints: $(cat "$scratch/version.out")"
"$root/usr/bin/chgsim" --list-profiles >/dev/null || fail "the packaged chgsim fails"
for page in chgtune.1 chgsim.1; do
  gzip -dc "$root/usr/share/man/man1/$page.gz" | cmp -s - "$SOURCE_DIR/man/$page" ||
    fail "the packaged $page differs from man/$page"
done

echo "checked $(basename "$deb"): $(wc -l <"$scratch/contents") entries"
finish
