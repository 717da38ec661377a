#!/usr/bin/env bash
# The sources keep the house format (.clang-format): clang-format would change nothing in any C++
# file of the tree. A file it would change is named with its first differences.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

command -v clang-format >/dev/null || skip "clang-format is not installed (scripts/deps)"
cd "$SOURCE_DIR"
if [ -d .git ] || [ -f .git ]; then
  mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t sources < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print)
fi
[ ${#sources[@]} -gt 50 ] || fail "found only ${#sources[@]} C++ files under $SOURCE_DIR"
# One clang-format for the whole tree (a process per file costs more than the check itself); only
# when it finds something is each file checked on its own, to name the ones it would change.
if ! clang-format --dry-run --Werror "${sources[@]}" >/dev/null 2>&1; then
  for source in "${sources[@]}"; do
    if ! clang-format --dry-run --Werror "$source" >/dev/null 2>"$scratch/report"; then
      fail "$source is not formatted (clang-format -i $source):"
      head -12 "$scratch/report" >&2
    fi
  done
fi
finish
