#!/usr/bin/env bash
# `cmake --install` of this build puts both programs in bin/, their manual pages, the current
# ones, in share/man/man1/, the documentation examples as they are in share/doc/chgtune/examples/
# and chgtune's bash completion in share/bash-completion/completions/ under the prefix, and the
# installed chgtune runs.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

prefix="$scratch/prefix"
if ! cmake --install "$BUILD_DIR" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  fail "cmake --install failed"
  finish
fi

for program in chgtune chgsim; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done

# Debian keeps manual pages gzip-compressed; a build without gzip installs them plain.
for page in chgtune.1 chgsim.1; do
  installed="$prefix/share/man/man1/$page"
  if [ -f "$installed.gz" ]; then
    gzip -dc "$installed.gz" >"$scratch/$page" || fail "share/man/man1/$page.gz is not gzip data"
  elif [ -f "$installed" ]; then
    cp "$installed" "$scratch/$page"
  else
    fail "share/man/man1/$page is not installed"
    continue
  fi
  cmp -s "$scratch/$page" "$SOURCE_DIR/man/$page" ||
    fail "the installed $page differs from man/$page (a stale copy?)"
done

cmp -s "$prefix/share/bash-completion/completions/chgtune" \
  "$SOURCE_DIR/packaging/bash-completion/chgtune" ||
  fail "share/bash-completion/completions/chgtune is not the completion of packaging/"

# Every file of examples/, as it is.
example_count=0
while IFS= read -r -d '' example; do
  example_count=$((example_count + 1))
  name=${example#"$SOURCE_DIR/examples/"}
  cmp -s "$example" "$prefix/share/doc/chgtune/examples/$name" ||
    fail "share/doc/chgtune/examples/$name is not installed as examples/$name is"
done < <(find "$SOURCE_DIR/examples" -type f -print0)
[ "$example_count" -ge 1 ] || fail "found no file in examples/"

version=$(program_version "$CHGTUNE")
if [ -x "$prefix/bin/chgtune" ]; then
  installed_version=$(program_version "${emulator[@]}" "$prefix/bin/chgtune") || true
  if [ -z "$version" ] || [ "$installed_version" != "$version" ]; then
    fail "the installed chgtune --version gives \"$installed_version\", the build \"$version\""
  fi
fi
if [ -x "$prefix/bin/chgsim" ]; then
  "${emulator[@]}" "$prefix/bin/chgsim" --list-profiles >"$scratch/profiles" ||
    fail "the installed chgsim fails"
  [ -s "$scratch/profiles" ] || fail "the installed chgsim --list-profiles lists nothing"
fi

echo "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
finish
