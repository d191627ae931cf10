#!/usr/bin/env bash
# window_rate.sh -- the game's tick rate in a real window against the rate its
# own waits and work allow, and the main thread's CPU time per frame.
#
# Starts a virtual X server (SCREEN, default 1920x1080) with a window manager,
# plays level 1 of a window game for SECONDS (default 20) with nothing held,
# recording it, and times the ticks between two announced events ("level:1"
# and the "Final Score" box that Escape brings).  Then replays the recording
# headless with the real 10 ms waits and times the same two events: the ticks
# a second that the game's own waits and work allow.  Also reads the main
# thread's CPU time (/proc/PID/task/PID/stat) over the timed stretch.
# The machine's load changes from one minute to the next, so a second
# reference runs at the same time as the window: a headless replay of
# assets/recordings/game.rec with real waits for as many ticks as the stretch
# should take, timed from start to end.
#
# Usage: window_rate.sh GAME-BINARY [SECONDS] [SCREEN] [-- window options]
# e.g.   nice -n 10 bash bench/window_rate.sh build/dev/game/clovenfeld 20 1920x1080 -- --scale 2
# Prints a measurement, asserts nothing; run it alone on a quiet machine.
set -euo pipefail

game=$(readlink -f "${1:?usage: window_rate.sh GAME [SECONDS] [SCREEN] [-- options]}")
seconds=${2:-20}
screen=${3:-1920x1080}
shift $(( $# < 3 ? $# : 3 ))
[ "${1:-}" = "--" ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
reference=$root/assets/recordings/game.rec
source "$root/tests/e2e/common.sh"
e2e_need Xvfb xdotool xwininfo openbox
e2e_begin rate
e2e_xvfb 191 240 "$screen"
e2e_openbox
e2e_copy_data "$game"
# The readers that stamp the event lines, stopped on exit too.
readers=()
rate_cleanup() {
  for pid in "${readers[@]}"; do kill "$pid" 2>/dev/null || true; done
  e2e_cleanup
}
trap rate_cleanup EXIT

# run_timed LOG COMMAND...: runs the command with its events stamped with the
# wall-clock time (seconds) at which each line arrived.
run_timed() {
  local log=$1; shift
  mkfifo "$work/events.fifo.$log"
  (while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done <"$work/events.fifo.$log" >"$work/$log") &
  readers+=($!)
  "$@" --events >"$work/events.fifo.$log" 2>>"$work/game.err" &
  game_pid=$!
}
# in_log LOG PATTERN: the log holds a line matching PATTERN.
in_log() { grep -q -E "$2" "$work/$1" 2>/dev/null; }
# stamp LOG PATTERN: "time tick" of the first event matching PATTERN.
stamp() { grep -E "$2" "$work/$1" | head -n1 | awk '{ print $1, $3 }'; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$game_pid/task/$game_pid/stat"; }
all_cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# press_to LOG KEY PATTERN: presses KEY until LOG holds PATTERN.
press_to() {
  for attempt in 1 2 3 4 5; do press "$2"; wait_for 4 in_log "$1" "$3" && return 0; done
  fail "pressing $2 did not lead to $3"
}

run_timed window.log "$game" --seed 1 --record "$work/rate.rec" "$@"
wait_for 20 in_log window.log ' title$' || fail "no title screen"
e2e_window
e2e_focus
size=$(e2e_size_of "$win")
press_to window.log space ' infobox:Level 1$'
press_to window.log space ' level:1$'
cpu0=$(cpu_ticks) all0=$(all_cpu_ticks "$game_pid") x0=$(all_cpu_ticks "$xvfb_pid")
ref_ticks=$(( seconds * 95 ))
( s=$EPOCHREALTIME; "$game" --replay "$reference" --stop-tick "$ref_ticks" >/dev/null 2>&1
  echo "$s $EPOCHREALTIME" >"$work/reference.time" ) &
ref_pid=$!
sleep "$seconds"
press_to window.log Escape ' infobox:Final Score'
cpu1=$(cpu_ticks) all1=$(all_cpu_ticks "$game_pid") x1=$(all_cpu_ticks "$xvfb_pid")
wait "$ref_pid" || true
read -r r0 r1 <"$work/reference.time"
press_to window.log space 'title$.*' # second title
e2e_quit

read -r w0 t0 < <(stamp window.log ' level:1$')
read -r w1 t1 < <(stamp window.log ' infobox:Final Score')

run_timed replay.log "$game" --replay "$work/rate.rec"
wait "$game_pid" || true
game_pid=""
read -r h0 u0 < <(stamp replay.log ' level:1$')
read -r h1 u1 < <(stamp replay.log ' infobox:Final Score')
[ "$t0" = "$u0" ] && [ "$t1" = "$u1" ] || fail "the replay's ticks differ from the window's ($t0..$t1 against $u0..$u1)"

hz=$(getconf CLK_TCK)
awk -v t0="$t0" -v t1="$t1" -v w0="$w0" -v w1="$w1" -v h0="$h0" -v h1="$h1" -v c0="$cpu0" -v c1="$cpu1" \
    -v a0="$all0" -v a1="$all1" -v x0="$x0" -v x1="$x1" -v r0="$r0" -v r1="$r1" -v rt="$ref_ticks" \
    -v hz="$hz" -v size="$size" -v opts="$*" -v screen="$screen" 'BEGIN {
  ticks = t1 - t0; secs = w1 - w0; win = ticks / secs; head = ticks / (h1 - h0); ref = rt / (r1 - r0)
  printf "screen %s, window %s, options [%s]: %d ticks of play in %.2f s\n", screen, size, opts, ticks, secs
  printf "  window                         %.2f ticks/s\n", win
  printf "  headless replay, same stretch  %.2f ticks/s (ratio %.1f%%)\n", head, 100 * win / head
  printf "  headless game.rec, same time   %.2f ticks/s (ratio %.1f%%)\n", ref, 100 * win / ref
  printf "  CPU, ms per second: main thread %.1f, whole game %.1f, X server %.1f\n",
         1000 * (c1 - c0) / hz / secs, 1000 * (a1 - a0) / hz / secs, 1000 * (x1 - x0) / hz / secs
}'
