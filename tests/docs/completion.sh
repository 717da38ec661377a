#!/usr/bin/env bash
# The bash completion (packaging/bash-completion/chgtune), run with bash-completion's own functions
# as bash runs it when Tab is pressed: the candidates for options (read from the --help of the
# chgtune completed, so that an option added later is covered), for --serial (the ports discovery
# would probe and their /dev/serial/by-id names, from a made-up sysfs and /dev), for the file
# options (file names) and for an option that takes a number (none).
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

functions=/usr/share/bash-completion/bash_completion
[ -r "$functions" ] || skip "bash-completion is not installed"

# The chgtune completed: this build's, with one more option in its help than it has today.
program="$scratch/bin/chgtune"
mkdir -p "$scratch/bin"
cat >"$program" <<SCRIPT
#!/usr/bin/env bash
$CHGTUNE "\$@"
status=\$?
[ "\$1" != --help ] || echo "  --added-later N       an option added after the completion was written"
exit \$status
SCRIPT
chmod +x "$program"

# A machine's serial ports as sysfs and /dev show them.
root="$scratch/root"
tty="$root/sys/class/tty"
port() { # port NAME [TYPE] [CONSOLE]: a tty backed by hardware
  mkdir -p "$tty/$1/device"
  [ -z "${2:-}" ] || echo "$2" >"$tty/$1/type"
  [ -z "${3:-}" ] || echo "$3" >"$tty/$1/console"
}
port ttyUSB0
port ttyS0 0   # a legacy port without a UART
port ttyS1 4
port ttyS2 4   # the kernel's console (console=ttyS2)
port ttyAMA0 "" Y
mkdir -p "$tty/pts0" "$tty/console" "$root/dev/serial/by-id"
echo "tty1 ttyS2" >"$tty/console/active"
touch "$root/dev/ttyUSB0" "$root/dev/ttyS0" "$root/dev/ttyS1"
ln -s ../../ttyUSB0 "$root/dev/serial/by-id/usb-Adapter_A1-if00-port0"
# An adapter unplugged a moment ago leaves no name.
ln -s ../../ttyUSB1 "$root/dev/serial/by-id/usb-Adapter_B2-if00-port0"

# Files for the file options.
files="$scratch/files"
mkdir -p "$files/backups"
touch "$files/site.xml" "$files/old.xml"

# candidates LINE: what Tab offers at the end of the command line LINE, one a line, sorted.
candidates() {
  (
    # As in an interactive shell: bash-completion's functions are not written for errexit.
    set +euo pipefail
    cd "$files"
    # shellcheck disable=SC1090
    source "$functions"
    # shellcheck disable=SC1091
    source "$SOURCE_DIR/packaging/bash-completion/chgtune"
    _chgtune_root=$root
    COMP_LINE=$program${1#chgtune}
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $1 != *' ' ]] || COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    local -a COMPREPLY=()
    _chgtune "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
  )
}

by_id="$root/dev/serial/by-id/usb-Adapter_A1-if00-port0"
# line | the candidates, blank-separated ("" for none)
while IFS='|' read -r line expected; do
  expected=$(printf '%s\n' $expected | sed '/^$/d' | sort)
  got=$(candidates "$line")
  [ "$got" = "$expected" ] || fail "\"$line\" offers [$(echo $got)], not [$(echo $expected)]"
done <<CASES
chgtune --se|--serial
chgtune --d|--dump --download --dry-run
chgtune --comp|--compare
chgtune --added|--added-later
chgtune -s |$root/dev/ttyUSB0 $root/dev/ttyS1 $by_id
chgtune --get --serial $root/dev/ttyU|$root/dev/ttyUSB0
chgtune --serial=|$root/dev/ttyUSB0 $root/dev/ttyS1 $by_id
chgtune --upload |backups old.xml site.xml
chgtune --compare s|site.xml
chgtune -o b|backups
chgtune --abs |
chgtune --added-later |
CASES

# Every option of the help is offered.
all=$(candidates "chgtune -")
for option in $("$CHGTUNE" --help | grep -oE -- '\[ --[a-z-]+ \]|^  --[a-z-]+' | tr -d '[] '); do
  grep -qxF -- "$option" <<<"$all" || fail "\"chgtune -\" does not offer $option"
done
finish
