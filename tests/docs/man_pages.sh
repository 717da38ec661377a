#!/usr/bin/env bash
# The manual pages format without a warning and keep up with the programs: every option the
# programs accept, every exit status they can end with and their version are in the pages, and
# the README's option table and exit-status table agree with them.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

chgtune_page="$SOURCE_DIR/man/chgtune.1"
chgsim_page="$SOURCE_DIR/man/chgsim.1"
readme="$SOURCE_DIR/README.md"

# --- Formatting ----------------------------------------------------------------------------------
command -v groff >/dev/null || { fail "groff is missing (scripts/deps installs groff-base)"; finish; }
for page in "$chgtune_page" "$chgsim_page"; do
  if ! groff -man -ww -z "$page" 2>"$scratch/groff.err"; then
    fail "groff -man -ww -z $page failed"
  fi
  if [ -s "$scratch/groff.err" ]; then
    fail "groff warns about $page:"
    cat "$scratch/groff.err" >&2
  fi
done

# --- Options -------------------------------------------------------------------------------------
# A page names an option in roff as \-\-name (long, each hyphen of the name escaped too) or \-x
# (short), followed by anything but a character that would make it another option's name.
page_has_long() {
  local roff_name=${2//-/\\\\-}
  grep -qP -- "\\\\-\\\\-$roff_name(?![a-z]|\\\\-)" "$1"
}
page_has_short() { grep -qF -- "\\-$2" "$1"; }

# "  -d [ --dump ]   dump communication..." gives "d dump"; an option without a short name gives
# "- name".
options_of_help() {
  sed -n -e 's/^  -\(.\) \[ --\([a-z-]*\) \].*/\1 \2/p' -e 's/^  --\([a-z-]*\).*/- \1/p'
}

"$CHGTUNE" --help >"$scratch/chgtune.help"
options_of_help <"$scratch/chgtune.help" >"$scratch/chgtune.options"
# The options kept out of the listing (--verbose, -?) come from the program's option table.
sed -n 's/^ *{"\([^",]*\),\([^",]*\)",.*/\2 \1/p' "$SOURCE_DIR/app/cli.cpp" >>"$scratch/chgtune.options"
sort -u -o "$scratch/chgtune.options" "$scratch/chgtune.options"
listed=$(options_of_help <"$scratch/chgtune.help" | wc -l)
[ "$listed" -ge 5 ] || fail "found only $listed options in chgtune --help"
grep -q '^v verbose$' "$scratch/chgtune.options" ||
  fail "the option table in app/cli.cpp was not found (no verbose row)"

while read -r short long; do
  if [ "$long" = "?" ]; then
    page_has_short "$chgtune_page" '?' || fail "chgtune.1 does not name -?"
    grep -qF -- "\`-?\`" "$readme" || fail "README does not name -?"
    continue
  fi
  page_has_long "$chgtune_page" "$long" || fail "chgtune.1 does not name --$long"
  [ "$short" = "-" ] || page_has_short "$chgtune_page" "$short" || fail "chgtune.1 does not name -$short"
  # An option without a short name has a row of its long name alone.
  row="| \`-$short\`, \`--$long\` |"
  [ "$short" = "-" ] && row="| \`--$long\` |"
  grep -qF -- "$row" "$readme" || fail "the README's option table has no row for --$long"
  # An example: a command line in a code block that uses the option.
  awk -v option="--$long" '
    /^```/ { inside = !inside; next }
    inside && index($0, "chgtune") && match($0, option "([^a-z-]|$)") { found = 1 }
    END { exit !found }' "$readme" || fail "the README shows no command with --$long"
done <"$scratch/chgtune.options"

# The synopsis names every option --help lists, long form, with the value name --help gives it
# ("--abs VOLTS"). Its roff is read as text: the macro names dropped, hyphens unescaped, and a
# value on the line after its option joined to it.
awk '/^\.SH/ { inside = ($0 ~ /^\.SH SYNOPSIS$/); next }
     inside && !/^\.(SY|YS|PP)/ { sub(/^\.[A-Z]+ /, ""); gsub(/\\-/, "-"); printf "%s ", $0 }' \
  "$chgtune_page" >"$scratch/synopsis"
# "  -a [ --abs ] VOLTS   set ..." gives "abs VOLTS", "  --scan   list ..." gives "scan".
sed -n 's/^  \(-. \[ \)\{0,1\}--\([a-z-]*\)\( \]\)\{0,1\}\( [^ ]\{1,\}\)\{0,1\}\( .*\)\{0,1\}$/\2\4/p' \
  "$scratch/chgtune.help" >"$scratch/chgtune.values"
while read -r long value; do
  value_pattern=$(sed 's/[][\\.|$^*+?(){}]/\\&/g' <<<"$value")
  grep -qE -- "(^| |\\|)--$long${value:+ $value_pattern}( |\\||\$)" "$scratch/synopsis" ||
    fail "the synopsis of chgtune.1 does not show --$long${value:+ $value}"
done <"$scratch/chgtune.values"
[ "$(wc -l <"$scratch/chgtune.values")" -eq "$listed" ] ||
  fail "read $(wc -l <"$scratch/chgtune.values") options of chgtune --help for the synopsis, not $listed"

"$CHGSIM" --help >"$scratch/chgsim.help"
options_of_help <"$scratch/chgsim.help" >"$scratch/chgsim.options"
listed=$(wc -l <"$scratch/chgsim.options")
[ "$listed" -ge 5 ] || fail "found only $listed options in chgsim --help"
while read -r short long; do
  page_has_long "$chgsim_page" "$long" || fail "chgsim.1 does not name --$long"
  [ "$short" = "-" ] || page_has_short "$chgsim_page" "$short" || fail "chgsim.1 does not name -$short"
done <"$scratch/chgsim.options"

# --- Exit statuses -------------------------------------------------------------------------------
# The statuses chgsim can end with, from its sources: the status given to _Exit, and the
# statuses returned by the operations whose result becomes the exit status.
# -1 reaches the shell as 255.
statuses_in_code() {
  grep -hoE '_Exit\([0-9]+\)|return -?[0-9]+;|\? 0 : [0-9]+' "$@" |
    grep -oE -- '-?[0-9]+' | sed 's/^-1$/255/' | sort -nu | paste -sd ' '
}
# The program's exit statuses: the named constants of base/statuses.h.
statuses_in_header() {
  grep -hoE '^constexpr int kExit[A-Za-z]+ = -?[0-9]+;' "$1" | grep -oE -- '-?[0-9]+;' | tr -d ';' |
    sed 's/^-1$/255/' | sort -nu | paste -sd ' '
}
# The statuses a page lists: the ".B N" tags of the .TP paragraphs of its EXIT STATUS section.
statuses_in_page() {
  awk '/^\.SH/ { inside = ($0 ~ /^\.SH "?EXIT STATUS"?$/) }
       inside && previous == ".TP" && $1 == ".B" && $2 ~ /^[0-9]+$/ { print $2 }
       { previous = $0 }' "$1" | sort -nu | paste -sd ' '
}
same_statuses() {
  local what=$1 expected=$2 found=$3
  if [ "$expected" != "$found" ]; then
    fail "$what lists the exit statuses {$found}, the program has {$expected}"
  fi
}

code_statuses=$(statuses_in_header "$SOURCE_DIR"/base/statuses.h)
[ "$(wc -w <<<"$code_statuses")" -ge 5 ] ||
  fail "found only the statuses {$code_statuses} in the sources"
same_statuses "chgtune.1" "$code_statuses" "$(statuses_in_page "$chgtune_page")"
readme_statuses=$(awk '/^## / { inside = ($0 == "## Exit statuses") }
  inside && /^\| [0-9]+ / { print $2 }' "$readme" | sort -nu | paste -sd ' ')
same_statuses "The README" "$code_statuses" "$readme_statuses"
# A signal during a store ends the run with 128 + its number, which no literal in the code shows.
if grep -q 'return 128 + request;' "$SOURCE_DIR/base/statuses.h"; then
  grep -q '^| 128+N |' "$readme" || fail "The README's exit statuses lack 128+N"
  awk '/^\.SH/ { inside = ($0 ~ /^\.SH "?EXIT STATUS"?$/) }
       inside && previous == ".TP" && $0 == ".B 128+N" { found = 1 }
       { previous = $0 } END { exit !found }' "$chgtune_page" ||
    fail "chgtune.1 lacks the exit status 128+N"
fi

sim_statuses=$(statuses_in_code "$SOURCE_DIR"/sim/chgsim_main.cpp)
same_statuses "chgsim.1" "$sim_statuses" "$(statuses_in_page "$chgsim_page")"

# --- Version -------------------------------------------------------------------------------------
version=$(program_version "$CHGTUNE")
[ -n "$version" ] || fail "chgtune --version printed no version"
for page in "$chgtune_page" "$chgsim_page"; do
  grep -qE "^\.TH [A-Z]+ 1 \"[^\"]*\" \"chgtune $version\"" "$page" ||
    fail "$(basename "$page") does not give the version $version in its .TH line"
done

# The README names the version in the package's file name and in sample output.
while read -r named; do
  [ "${named#chgtune?}" = "$version" ] || fail "the README names \"$named\"; the version is $version"
done < <(grep -oE 'chgtune[ _][0-9]+(\.[0-9]+)+' "$readme" | sort -u)

echo "checked: $(wc -l <"$scratch/chgtune.options") chgtune options," \
  "$(wc -l <"$scratch/chgsim.options") chgsim options, exit statuses {$code_statuses}"
finish
