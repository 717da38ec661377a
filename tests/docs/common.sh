# shellcheck shell=bash
# Shared by the documentation and packaging checks in this folder. Each check is a bash script run
# by ctest with the build's programs in the environment: CHGTUNE, CHGSIM (paths of the binaries),
# SOURCE_DIR, BUILD_DIR and CHGTUNE_SANITIZE (empty in a plain build). A check prints what it
# found, exits 0 when everything holds, 1 at the first failure and 77 when it cannot run here.
set -euo pipefail

for variable in CHGTUNE CHGSIM SOURCE_DIR BUILD_DIR; do
  if [ -z "${!variable:-}" ]; then
    echo "FAIL: $variable is not set (run this check through ctest)" >&2
    exit 1
  fi
done

failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the check: 1 when any fail was reported.
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "OK"
}

skip() {
  echo "SKIP: $*"
  exit 77
}

# A scratch folder for this check, removed when the script ends however it ends.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/chgtune-docs.XXXXXX")
cleanups=("rm -rf '$scratch'")
run_cleanups() {
  local i
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" || true; done
}
trap run_cleanups EXIT
# A check stopped by a signal (ctest's time limit, Ctrl-C) still cleans up.
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# A cross build's programs run under the emulator that runs its tests (EMULATOR, empty in a native
# build). CHGTUNE and CHGSIM start it themselves; copies installed or unpacked by a check do not.
# shellcheck disable=SC2034 # used by the checks that source this file
read -ra emulator <<<"${EMULATOR:-}"

# The version the program reports: "VERSION: 1.17 (build ...)" gives 1.17. The arguments are the
# command that runs the program.
program_version() {
  "$@" --version | sed -n 's/^VERSION: \([^ ]*\) .*/\1/p'
}
