#!/usr/bin/env bash
# watch.sh -- end-to-end test of the recording viewer (--watch) in a real
# window, with real key presses, against the headless replay of the same file.
#
#  1. game.rec, watched: Space pauses and the window holds one tick ("tick N
#     view:held"); H hides the progress line and the window then shows the
#     headless replay's picture at that tick, pixel for pixel; Right steps one
#     tick and the window shows the next tick's picture.
#  2. At 1/2x, N skips to level 2 well before that speed would reach it.
#  3. Speed: the ticks that pass in the same second of play at 8x are many
#     times those at 1/2x.
#  4. Esc closes the viewer with status 0, and every event the window heard
#     (sounds included) is the headless replay's at the same tick.
#  5. A level recording, watched at full speed: the window holds its last
#     picture (it does not close), with no desync said, until Esc.
#
# Usage: watch.sh PATH-OF-GAME-BINARY PATH-OF-xwd_compare RECORDINGS-DIR
set -euo pipefail

game=$(readlink -f "${1:?usage: watch.sh GAME XWD_COMPARE RECORDINGS}")
compare=$(readlink -f "${2:?usage: watch.sh GAME XWD_COMPARE RECORDINGS}")
recordings=$(readlink -f "${3:?usage: watch.sh GAME XWD_COMPARE RECORDINGS}")
source "$(dirname "$0")/common.sh"
e2e_need Xvfb xdotool xwininfo xwd openbox python3
e2e_begin watch
e2e_xvfb 291 340 1400x1000
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11

# The tick the window holds now: the last "view:held" once it has settled.
held_tick() { grep ' view:held$' "$work/game.out" | tail -n 1 | cut -d' ' -f2; }
# wait_held OLD: waits until the window holds a tick other than OLD, prints it.
wait_held() {
  local old=$1
  wait_for 30 eval '[ -n "$(held_tick)" ] && [ "$(held_tick)" != "$old" ]' || fail "the viewer did not hold a tick (after $old)"
  sleep 0.3
  held_tick
}
# shows_tick NAME TICK: the window shows the headless replay's picture at TICK.
shows_tick() {
  "$game" --replay "$recordings/game.rec" --fast --stop-tick "$2" --shot "$work/$1.bmp" >/dev/null ||
    fail "no headless shot at tick $2"
  e2e_expect_picture "$1" "$work/$1.bmp" 1 0 0
  echo "e2e: $1: the window shows the replay's tick $2, pixel for pixel"
}

# --- 1. pause, hide the line, step ---------------------------------------------------------
e2e_start "$game" --no-settings --mute --scale 1 --events --watch "$recordings/game.rec"
e2e_window
e2e_focus
wait_for 30 seen 1 ' level:1$' || fail "the watched game did not reach level 1"
xdotool key space
t=$(wait_held "")
xdotool key h
shows_tick paused "$t"
xdotool key Right
t2=$(wait_held "$t")
[ "$t2" = $((t + 1)) ] || fail "Right stepped from tick $t to $t2"
shows_tick stepped "$t2"

# --- 2. the next level --------------------------------------------------------------------------
xdotool key Down
level2=$("$game" --replay "$recordings/game.rec" --fast --events --stop-at level:2 | sed -n 's/^tick \([0-9]*\) level:2$/\1/p')
from=$(held_tick)
[ $(( (level2 - from) / 50 )) -ge 20 ] || fail "level 2 (tick $level2) is too near tick $from for this test"
xdotool key space n
wait_for 10 seen 1 ' level:2$' || fail "N did not skip to level 2 within 10 s (at 1/2x it takes $(( (level2 - from) / 50 )) s)"
echo "e2e: N skipped from tick $from to level 2 (tick $level2)"
xdotool key space
wait_held "$from" >/dev/null

# --- 3. speed ---------------------------------------------------------------------------------
# ticks_in_a_second: the ticks that pass between a resume and a pause 1 s later.
ticks_in_a_second() {
  local from
  from=$(held_tick)
  xdotool key space
  sleep 1
  xdotool key space
  echo $(( $(wait_held "$from") - from ))
}
slow=$(ticks_in_a_second)
xdotool key Up Up Up Up
fast=$(ticks_in_a_second)
echo "e2e: in a second of watching, $slow ticks at 1/2x, $fast at 8x"
[ "$slow" -ge 20 ] && [ "$slow" -le 90 ] || fail "at 1/2x $slow ticks passed in a second (50 expected)"
[ "$fast" -ge $((slow * 4)) ] || fail "8x ($fast ticks) is not many times 1/2x ($slow)"

# --- 4. Esc, and the whole run's events ---------------------------------------------------------
xdotool key Escape
e2e_expect_end "Esc in the viewer"
grep -v ' view:held$' "$work/game.out" >"$work/window-events.txt"
last=$(tail -n 1 "$work/window-events.txt" | cut -d' ' -f2)
"$game" --replay "$recordings/game.rec" --fast --events --stop-tick "$((last + 1))" |
  awk -v last="$last" '$2 <= last' >"$work/replay-events.txt"
# The window's last tick may have heard only some of its events before Esc.
head -n "$(wc -l <"$work/window-events.txt")" "$work/replay-events.txt" | diff "$work/window-events.txt" - >"$work/events.diff" ||
  fail "the watched run's events differ from the replay's: $(head -6 "$work/events.diff" | tr '\n' ';')"
echo "e2e: the window's $(wc -l <"$work/window-events.txt") events to tick $last are the replay's"

# --- 5. a level recording holds its last picture --------------------------------------------------
e2e_start "$game" --no-settings --mute --scale 1 --events --fast --watch "$recordings/level-2.rec"
e2e_window
wait_for 30 seen 1 ' view:held$' || fail "the level recording's end was not held"
sleep 0.5
e2e_ended && fail "the window closed at the end of the level recording"
! grep -q desync "$work/game.err" || fail "watching said: $(cat "$work/game.err")"
e2e_focus
xdotool key Escape
e2e_expect_end "Esc at the end of a level recording"
echo "e2e: a level recording's last picture stays until Esc, with no desync"
