#!/usr/bin/env bash
# The Windows ZIP as scripts/package --windows makes it, from this build: one folder with the exe,
# the manual as text, README.txt, the licence and the notices of the libraries linked in, and the
# exe in it runs (under Wine) with nothing beside it.
# Environment: BUILD_DIR (the Windows build), WINE (Wine's loader), VERSION.
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack -G ZIP -B "$scratch/out" --config "$BUILD_DIR/CPackConfig.cmake" >"$scratch/cpack.log" ||
  { cat "$scratch/cpack.log" >&2; exit 1; }
top="chgtune-$VERSION-win64"
zip="$scratch/out/$top.zip"
[ -f "$zip" ] || { echo "no $zip" >&2; exit 1; }

(cd "$scratch" && cmake -E tar tf "$zip") | sort >"$scratch/listing"
printf '%s\n' "$top/LICENSE.txt" "$top/NOTICES.txt" "$top/README.txt" "$top/chgtune.exe" \
  "$top/chgtune.txt" >"$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/listing"; then
  echo "the ZIP holds other files than expected" >&2
  exit 1
fi

mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
# The manual and the README read on Windows: CR LF line ends, and the Windows notes are in them.
grep -q $'^WINDOWS\r$' "$scratch/unpacked/$top/chgtune.txt" ||
  { echo "chgtune.txt has no WINDOWS section with CR LF line ends" >&2; exit 1; }
grep -q $'^What is different from Linux\r$' "$scratch/unpacked/$top/README.txt" ||
  { echo "README.txt is not the Windows README with CR LF line ends" >&2; exit 1; }
grep -q $'^MIT License\r$' "$scratch/unpacked/$top/LICENSE.txt" ||
  { echo "LICENSE.txt is not the program's licence with CR LF line ends" >&2; exit 1; }
# Every library's notice, each under its title line.
for notice in "$(dirname "$0")"/../packaging/windows-notices/*.txt; do
  title=$(head -n 1 "$notice")
  grep -qxF "$title"$'\r' "$scratch/unpacked/$top/NOTICES.txt" ||
    { echo "NOTICES.txt lacks the notice of $title" >&2; exit 1; }
done
said=$("$WINE" "$scratch/unpacked/$top/chgtune.exe" --version | tr -d '\r')
case "$said" in
  *"VERSION: $VERSION "*) ;;
  *) echo "the packed chgtune.exe --version said: $said" >&2; exit 1 ;;
esac
echo "package ok: $(du -k "$zip" | cut -f1) KiB, exe $(du -k "$scratch/unpacked/$top/chgtune.exe" | cut -f1) KiB"
