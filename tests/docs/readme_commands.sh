#!/usr/bin/env bash
# Runs every command the README shows in a ```sh block, so that the guide cannot drift away from
# the program. The commands run with this build's chgtune and chgsim first on the PATH, in a
# scratch folder, each block against a fresh simulated charger: `chgsim --profile recent`, or the
# chgsim options of a "<!-- readme-test: chgsim ... -->" line right before the block. The example
# ports /dev/ttyUSB0, /dev/pts/3 and /dev/serial/by-id/... stand for the simulator's path. A
# command must end with status 0, or with N when it carries the comment "# exits N"; one marked
# "# runs until Ctrl-C" must start, print its pseudo-terminal path and stop cleanly on SIGINT.
# ```console blocks are shown to the reader and not run; ```text blocks are output or listings;
# every other fence is an error, so that no command hides in a block this check would skip.
# shellcheck source=tests/docs/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readme="$SOURCE_DIR/README.md"
default_sim="--profile recent"
command_limit=60 # seconds; a command that hangs is killed and fails
mkdir -p "$scratch/bin" "$scratch/work"
ln -s "$CHGTUNE" "$scratch/bin/chgtune"
ln -s "$CHGSIM" "$scratch/bin/chgsim"

# --- The README's commands -----------------------------------------------------------------------
# One line per command: block number, chgsim options, command; console commands come as "-"
# lines (counted, not run). Continuation lines (ending in a backslash) are joined.
awk -v default_sim="$default_sim" '
  function problem(text) { print "PROBLEM\t" NR "\t" text; }
  /^<!-- readme-test: chgsim/ {
    pending = $0
    sub(/^<!-- readme-test: chgsim */, "", pending)
    sub(/ *-->.*$/, "", pending)
    have_pending = 1
    next
  }
  /^```/ {
    if (inside) { inside = 0; if (joined != "") problem("a block ends in a backslash"); next }
    inside = 1
    language = substr($0, 4)
    block++
    if (language != "sh" && language != "console" && language != "text")
      problem("a code block of language \"" language "\": use sh (run), console (shown) or text")
    if (have_pending && language != "sh") problem("a readme-test line before a " language " block")
    sim = have_pending ? pending : default_sim
    have_pending = 0
    next
  }
  have_pending && !inside && $0 != "" { problem("a readme-test line not right before a block") }
  inside && language == "console" && /^\$ / { print "-\t\t" substr($0, 3) }
  inside && language == "sh" {
    line = $0
    if (joined == "" && (line ~ /^ *$/ || line ~ /^ *#/)) next
    if (line ~ /\\$/) { joined = joined substr(line, 1, length(line) - 1); next }
    print block "\t" sim "\t" joined line
    joined = ""
  }
' "$readme" >"$scratch/commands"

while IFS=$'\t' read -r kind line text; do
  [ "$kind" = PROBLEM ] && fail "README.md line $line: $text"
done <"$scratch/commands"

# --- The simulated charger -----------------------------------------------------------------------
sim_pid=
sim_port=
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=
}
stop_started() {
  if [ -n "${started_pid:-}" ]; then kill "$started_pid" 2>/dev/null || true; fi
}
cleanups+=(stop_simulator stop_started)

# Starts the command in the background with its standard output on a FIFO and reads the first
# line, which a simulator prints once its pseudo-terminal is open. Sets started_pid and
# started_line; returns 1 when no line came within 20 s.
start_and_read_line() {
  local fifo="$scratch/started.out"
  rm -f "$fifo"
  mkfifo "$fifo"
  # The FIFO is opened first, so that the open below returns whatever happens next.
  (
    exec >"$fifo" </dev/null
    cd "$scratch/work" && PATH="$scratch/bin:$PATH" exec bash -c "exec $1"
  ) &
  started_pid=$!
  started_line=
  exec 3<"$fifo"
  read -r -t 20 started_line <&3 || true
  # Keep draining what else it prints so that it never blocks on a full pipe.
  cat <&3 >/dev/null &
  exec 3<&-
  [ -n "$started_line" ]
}

start_simulator() {
  stop_simulator
  if ! start_and_read_line "chgsim $1"; then
    fail "chgsim $1 did not start"
    stop_started
    wait "$started_pid" 2>/dev/null || true
    started_pid=
    return 1
  fi
  sim_pid=$started_pid
  started_pid=
  sim_port=$started_line
}

# --- Running them --------------------------------------------------------------------------------
ran=0
shown=0
current_block=
while IFS=$'\t' read -r block sim command; do
  [ "$block" = PROBLEM ] && continue
  if [ "$block" = - ]; then
    shown=$((shown + 1))
    continue
  fi
  if [[ "$command" =~ (^|[^a-z])sudo([^a-z]|$) ]]; then
    fail "a sh block runs sudo (show it in a console block): $command"
    continue
  fi
  if [ "$block" != "$current_block" ]; then
    current_block=$block
    start_simulator "$sim" || continue
  fi
  ran=$((ran + 1))

  if [[ "$command" == *"# runs until Ctrl-C"* ]]; then
    echo "\$ $command"
    if ! start_and_read_line "$command"; then
      fail "printed nothing: $command"
    elif [[ "$started_line" != /dev/* ]]; then
      fail "printed \"$started_line\" where a pseudo-terminal path belongs: $command"
    fi
    kill -INT "$started_pid" 2>/dev/null || true
    status=0
    wait "$started_pid" || status=$?
    started_pid=
    [ "$status" -eq 0 ] || fail "ended with $status on Ctrl-C: $command"
    continue
  fi

  expected=0
  if [[ "$command" =~ \#\ *exits\ ([0-9]+) ]]; then expected=${BASH_REMATCH[1]}; fi
  run=$(printf '%s\n' "$command" | sed -E \
    -e "s#/dev/ttyUSB0([^0-9]|\$)#$sim_port\\1#g" \
    -e "s#/dev/pts/3([^0-9]|\$)#$sim_port\\1#g" \
    -e "s#/dev/serial/by-id/[^ ]+#$sim_port#g")
  echo "\$ $command"
  status=0
  (cd "$scratch/work" && PATH="$scratch/bin:$PATH" timeout -k 5 "$command_limit" bash -c "$run" \
    </dev/null >"$scratch/out" 2>"$scratch/err") || status=$?
  if [ "$status" -ne "$expected" ] ||
    { [ "$expected" -eq 0 ] && grep -q "=== ERROR ===" "$scratch/err"; }; then
    fail "ended with $status, expected $expected: $command (ran: $run)"
    echo "--- standard output:" >&2
    tail -n 30 "$scratch/out" >&2
    echo "--- standard error:" >&2
    tail -n 30 "$scratch/err" >&2
  fi
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    fail "the simulated charger is gone after: $command"
    sim_pid=
    current_block=
  fi
done <"$scratch/commands"
stop_simulator

echo "ran $ran commands of the README's sh blocks; $shown commands in console blocks are shown only"
[ "$ran" -ge 10 ] || fail "ran only $ran commands: is the README parsed right?"
finish
