#!/usr/bin/env bash
# The Debian package of this build, made by CPack as scripts/package makes it, for the architecture
# the programs are built for: its name, its fields, its files, a Depends line that names the
# package of every shared library the programs load, that all of it would install here (every
# dependency is installed on this machine, and chgtune and chgsim run from the unpacked package,
# under the emulator in a cross build), that lintian finds nothing to warn about, and that packing
# the same build twice gives the same bytes, with every file time set from SOURCE_DATE_EPOCH.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
# A sanitizer build's binaries need the sanitizer runtimes and are never shipped; the plain build
# checks the package.
[ -z "${CHGTUNE_SANITIZE:-}" ] || skip "sanitizer build ($CHGTUNE_SANITIZE)"
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || { fail "no CPackConfig.cmake in $BUILD_DIR"; finish; }

version=$(program_version "$CHGTUNE")
arch=${DEB_ARCH:-$(dpkg --print-architecture)}
# File times in the package come from SOURCE_DATE_EPOCH, as scripts/package sets it.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$SOURCE_DIR" log -1 --format=%ct 2>/dev/null || echo 1700000000)}

# pack NAME: packs this build into $scratch/NAME and prints the package's path.
pack() {
  if ! cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$scratch/$1" \
    >"$scratch/$1.log" 2>&1; then
    cat "$scratch/$1.log" >&2
    return 1
  fi
  echo "$scratch/$1/chgtune_${version}_${arch}.deb"
}
deb=$(pack cpack) || { fail "cpack failed"; finish; }
if [ ! -f "$deb" ]; then
  fail "cpack made no $(basename "$deb"): $(ls "$scratch/cpack")"
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
  ./usr/share/man/man1/chgsim.1.gz ./usr/share/doc/chgtune/copyright \
  ./usr/share/doc/chgtune/changelog.gz ./usr/share/doc/chgtune/examples/chgtune-watch.service \
  ./usr/share/bash-completion/completions/chgtune; do
  grep -qxF "$file" "$scratch/contents" || fail "the package does not hold $file"
done

# --- Unpacked ------------------------------------------------------------------------------------
root="$scratch/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
packaged_chgtune="$root/usr/bin/chgtune"
packaged_chgsim="$root/usr/bin/chgsim"
"${emulator[@]}" "$packaged_chgtune" --version >"$scratch/version.out" 2>&1 ||
  fail "the packaged chgtune --version fails"
head -n 1 "$scratch/version.out" | grep -qx "SunLink chgtune $version" ||
  fail "the packaged chgtune prints \"$(head -n 1 "$scratch/version.out")\" as its banner"
sed -n 's/^VERSION: \([^ ]*\) .*/\1/p' "$scratch/version.out" | grep -qxF "$version" ||
  fail "the packaged chgtune --version prints: $(cat "$scratch/version.out")"
"${emulator[@]}" "$packaged_chgsim" --list-profiles >/dev/null || fail "the packaged chgsim fails"
for page in chgtune.1 chgsim.1; do
  gzip -dc "$root/usr/share/man/man1/$page.gz" | cmp -s - "$SOURCE_DIR/man/$page" ||
    fail "the packaged $page differs from man/$page"
done
cmp -s "$root/usr/share/doc/chgtune/copyright" "$SOURCE_DIR/packaging/copyright" ||
  fail "the packaged copyright file differs from packaging/copyright"
# The copyright file gives the licence of LICENSE: the holder, and the same licence text (in the
# machine-readable format's layout: each line led by a blank, " ." for an empty line).
copyright_holder=$(sed -n 's/^Copyright (c) [0-9-]* //p' "$SOURCE_DIR/LICENSE")
[ -n "$copyright_holder" ] || fail "LICENSE names no copyright holder"
grep -qE "^Copyright: [0-9-]+ $copyright_holder\$" "$SOURCE_DIR/packaging/copyright" ||
  fail "packaging/copyright does not name \"$copyright_holder\", the holder LICENSE names"
sed -n '/^Permission/,$p' "$SOURCE_DIR/LICENSE" >"$scratch/licence.text"
awk '/^License: [^ ]+$/ { inside = 1; next } !/^ / { inside = 0 } inside { print substr($0, 2) }' \
  "$SOURCE_DIR/packaging/copyright" | sed 's/^\.$//' >"$scratch/copyright.text"
cmp -s "$scratch/licence.text" "$scratch/copyright.text" ||
  fail "the licence text of packaging/copyright differs from LICENSE's"
for example in "$SOURCE_DIR"/examples/*; do
  cmp -s "$root/usr/share/doc/chgtune/examples/${example##*/}" "$example" ||
    fail "the packaged example ${example##*/} differs from examples/${example##*/}"
done

# --- Changelog -----------------------------------------------------------------------------------
# The changelog's latest entry is this version.
changelog_version=$(gzip -dc "$root/usr/share/doc/chgtune/changelog.gz" |
  sed -n '1s/^chgtune (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is for \"$changelog_version\", the program is $version"

# --- Dependencies --------------------------------------------------------------------------------
# The Debian package that holds a shared library, found through the path the loader resolves;
# dpkg names one installed for several architectures as name:architecture.
package_of_library() {
  local path=$1 candidate owner
  for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1) || continue
    owner=${owner%%: *}
    [ -n "$owner" ] && { echo "${owner%%, *}"; return 0; }
  done
  return 1
}
# The libraries a program loads, as its own dynamic loader resolves them (what ldd shows, and
# under the emulator for another architecture): "soname path" lines. The loader lists itself by
# its path alone; some architectures' programs name it among their libraries too.
libraries_of() {
  local loader
  loader=$(readelf -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
  [ -n "$loader" ] || { fail "$(basename "$1") names no program interpreter"; return; }
  "${emulator[@]}" "$loader" --list "$1" | awk '
    $2 == "=>" && $3 ~ /^\// { print $1, $3 }
    $1 ~ /^\// { n = split($1, part, "/"); print part[n], $1 }'
}
needed_packages=()
for binary in "$packaged_chgtune" "$packaged_chgsim"; do
  libraries_of "$binary" >"$scratch/libraries"
  while read -r soname; do
    path=$(awk -v so="$soname" '$1 == so { print $2 }' "$scratch/libraries")
    if [ -z "$path" ]; then
      fail "the loader does not resolve $soname of $(basename "$binary")"
      continue
    fi
    if ! package=$(package_of_library "$path"); then
      fail "no Debian package holds $path"
    elif [[ "$package" == *:* ]] && [ "${package#*:}" != "$arch" ]; then
      fail "$(basename "$binary") loads $path of $package, not of a package for $arch"
    else
      needed_packages+=("${package%%:*}")
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

# Every dependency (one alternative of each) is installed here for the package's architecture, in
# a version that satisfies it.
satisfied() {
  local alternative name relation wanted installed
  IFS='|' read -ra alternatives <<<"$1"
  for alternative in "${alternatives[@]}"; do
    read -r name relation wanted <<<"$(echo "$alternative" | tr -d '()')"
    installed=$(dpkg-query -W -f='${Architecture} ${Status} ${Version}\n' "$name" 2>/dev/null |
      awk -v arch="$arch" '($1 == arch || $1 == "all") && $2 $3 $4 == "installokinstalled" { print $5 }')
    [ -n "$installed" ] || continue
    [ -z "$relation" ] && return 0
    dpkg --compare-versions "$installed" "$relation" "$wanted" && return 0
  done
  return 1
}
IFS=',' read -ra dependencies <<<"$depends"
for dependency in "${dependencies[@]}"; do
  satisfied "$dependency" || fail "this machine does not satisfy the dependency \"$dependency\" for $arch"
done

# --- Reproducible --------------------------------------------------------------------------------
# Every file and folder has the time SOURCE_DATE_EPOCH names, and a second packing of the same
# programs gives the same bytes. (scripts/package --reproducible also compiles them a second time.)
stamp=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
for part in --fsys-tarfile --ctrl-tarfile; do
  dpkg-deb "$part" "$deb" | tar -tv --full-time --utc | awk -v stamp="$stamp" '
    $4 " " $5 != stamp { print "FAIL: " $NF " has the time " $4 " " $5 ", not " stamp; bad = 1 }
    END { exit bad }' >&2 || fail "the package holds file times other than SOURCE_DATE_EPOCH's"
done
if ! again=$(pack again); then
  fail "cpack failed the second time"
elif ! cmp -s "$deb" "$again"; then
  fail "packing the same build twice gives different bytes"
fi

# --- Lintian -------------------------------------------------------------------------------------
# Debian's package checker, with its pedantic checks and its notes: no error, no warning, and no
# missing hardening (the notes tell whether the binaries are hardened).
command -v lintian >/dev/null || { fail "lintian is missing (scripts/deps installs it)"; finish; }
status=0
lintian --pedantic --display-info --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 || status=$?
cat "$scratch/lintian"
[ "$status" -eq 0 ] || fail "lintian ended with $status"
grep -E '^[EW]: |hardening-' "$scratch/lintian" >&2 && fail "lintian reports the lines above"

echo "checked $(basename "$deb"): $(wc -l <"$scratch/contents") entries"
finish
