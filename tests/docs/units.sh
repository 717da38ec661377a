#!/usr/bin/env bash
# The systemd units among the documentation examples are valid as systemd verifies them: installed
# by `cmake --install` of this build into a staged root, copied to etc/systemd/system/ there as a
# user installs them, and checked by `systemd-analyze verify` against that root, where
# ExecStart=/usr/bin/chgtune is the staged program and man:chgtune(1) the staged page. A warning
# (an unknown key, a misspelt value) fails the check as an error does. Skipped (77) where
# systemd-analyze is missing.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"

root="$scratch/root"
if ! cmake --install "$BUILD_DIR" --prefix "$root/usr" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  fail "cmake --install failed"
  finish
fi
examples="$root/usr/share/doc/chgtune/examples"
shopt -s nullglob
units=("$examples"/*.service "$examples"/*.timer "$examples"/*.socket "$examples"/*.path)
shopt -u nullglob
[ ${#units[@]} -ge 1 ] || fail "no systemd unit installed in share/doc/chgtune/examples"

# With a root every unit is looked up under it, the system's own too (the targets a service is
# ordered after and wanted by): they come along as copies, their relative links kept.
system_units=
for folder in /usr/lib/systemd/system /lib/systemd/system; do
  if [ -d "$folder" ]; then
    system_units=$folder
    break
  fi
done
[ -n "$system_units" ] || skip "no folder of systemd's own units"
mkdir -p "$root/usr/lib/systemd" "$root/etc/systemd/system"
cp -a "$system_units" "$root/usr/lib/systemd/"

for unit in "${units[@]}"; do
  name=$(basename "$unit")
  cp "$unit" "$root/etc/systemd/system/"
  # A template is verified through an instance of it.
  [[ "$name" == *@.* ]] && name=${name/@./@ttyUSB0.}
  status=0
  MANPATH="$root/usr/share/man" systemd-analyze verify --root="$root" "$name" \
    >"$scratch/verify.out" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || [ -s "$scratch/verify.out" ]; then
    fail "systemd-analyze verify $name ended with $status:"
    cat "$scratch/verify.out" >&2
  fi
done
echo "verified: $(cd "$examples" && printf '%s ' "${units[@]##*/}")"
finish
