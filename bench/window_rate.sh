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
game_dir=$(dirname "$game")
reference=$(cd "$(dirname "$0")/.." && pwd)/assets/recordings/game.rec

work=$(mktemp -d /tmp/clovenfeld-rate.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window_rate: $*" >&2; exit 1; }
wait_for() {
  local limit=$(( $1 * 10 )); shift
  for (( i = 0; i < limit; i++ )); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

for n in $(seq 191 240); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 xwininfo -display ":$n" -root && { export DISPLAY=":$n"; break; }
done
[ -n "${DISPLAY:-}" ] || fail "no X server"
openbox --sm-disable >"$work/wm.log" 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window' || fail "no window manager"
sleep 1

cp -r "$game_dir/gfx" "$game_dir/levels" "$work/"
cd "$work"

# run_timed LOG COMMAND...: runs the command with its events stamped with the
# wall-clock time (seconds) at which each line arrived.
run_timed() {
  local log=$1; shift
  mkfifo "$work/events.fifo.$log"
  (while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done <"$work/events.fifo.$log" >"$work/$log") &
  pids+=($!)
  "$@" --events >"$work/events.fifo.$log" 2>>"$work/game.err" &
  game_pid=$!
  pids+=($game_pid)
}
seen() { grep -q -E "$2" "$work/$1" 2>/dev/null; }
# stamp LOG PATTERN: "time tick" of the first event matching PATTERN.
stamp() { grep -E "$2" "$work/$1" | head -n1 | awk '{ print $1, $3 }'; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$game_pid/task/$game_pid/stat"; }
all_cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
press() { xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"; }
press_until() {
  for attempt in 1 2 3 4 5; do press "$1"; wait_for 4 seen "$2" "$3" && return 0; done
  fail "pressing $1 did not lead to $3"
}

run_timed window.log "$game" --seed 1 --record "$work/rate.rec" "$@"
wait_for 20 seen window.log ' title$' || fail "no title screen"
win=$(xdotool search --onlyvisible --name '^Clovenfeld Returns ' | head -n1)
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" || true
size=$(xwininfo -id "$win" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }')
press_until space window.log ' infobox:Level 1$'
press_until space window.log ' level:1$'
cpu0=$(cpu_ticks) all0=$(all_cpu_ticks "$game_pid") x0=$(all_cpu_ticks "${pids[0]}")
ref_ticks=$(( seconds * 95 ))
( s=$EPOCHREALTIME; "$game" --replay "$reference" --stop-tick "$ref_ticks" >/dev/null 2>&1
  echo "$s $EPOCHREALTIME" >"$work/reference.time" ) &
ref_pid=$!
sleep "$seconds"
press_until Escape window.log ' infobox:Final Score'
cpu1=$(cpu_ticks) all1=$(all_cpu_ticks "$game_pid") x1=$(all_cpu_ticks "${pids[0]}")
wait "$ref_pid" || true
read -r r0 r1 <"$work/reference.time"
press_until space window.log 'title$.*' # second title
hold() { xdotool keydown Escape; wait_for 10 sh -c "! kill -0 $game_pid"; xdotool keyup Escape; }
hold || fail "the game did not end"
wait "$game_pid" || true

read -r w0 t0 < <(stamp window.log ' level:1$')
read -r w1 t1 < <(stamp window.log ' infobox:Final Score')

run_timed replay.log "$game" --replay "$work/rate.rec"
wait "$game_pid" || true
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
