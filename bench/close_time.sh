#!/usr/bin/env bash
# close_time.sh -- how long the window's close button takes to end the game.
#
# Starts a virtual X server with a window manager and, RUNS times (default 5)
# for each case, starts the game, asks the window manager to close its window
# (wmctrl -c, as the close button does) and times, from that request, the
# window leaving the screen and the process ending (stamped by the shell that
# waits for it, so the time is the real end, not a poll's).  The cases:
#   title       on the title screen, with the machine's own sound (if any)
#   play        in play (level 1), with the machine's own sound
#   slow-sound  in play, with a sound device that takes 2 s to close (SDL's
#               disk driver writing with a 2 s delay), as a sound server
#               draining its buffers may
# Prints each case's times (median and worst, in ms); asserts nothing.
#
# Usage: close_time.sh GAME-BINARY [RUNS]
# e.g.   nice -n 10 bash bench/close_time.sh build/test/game/clovenfeld 5
set -euo pipefail

game=$(readlink -f "${1:?usage: close_time.sh GAME [RUNS]}")
runs=${2:-5}
game_dir=$(dirname "$game")

work=$(mktemp -d /tmp/clovenfeld-close.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "close_time: $*" >&2; exit 1; }
wait_for() {
  local limit=$(( $1 * 10 )); shift
  for (( i = 0; i < limit; i++ )); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

for n in $(seq 241 290); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 xwininfo -display ":$n" -root && { export DISPLAY=":$n"; break; }
done
[ -n "${DISPLAY:-}" ] || fail "no X server"
unset WAYLAND_DISPLAY
openbox --sm-disable >"$work/wm.log" 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window' || fail "no window manager"
sleep 1

cp -r "$game_dir/gfx" "$game_dir/levels" "$work/"
cd "$work"
export XDG_CONFIG_HOME="$work/config"

seen() { grep -q -E "$1" "$work/game.out" 2>/dev/null; }
press_until() {
  for attempt in 1 2 3 4 5; do
    xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"
    wait_for 4 seen "$2" && return 0
  done
  fail "pressing $1 did not lead to $2"
}
find_window() { xdotool search --onlyvisible --name '^Clovenfeld Returns ' | head -n1 | grep .; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

# one_close CASE: one start and close; appends "window-ms end-ms" to $work/CASE.
one_close() {
  local case=$1 sub win start gone
  rm -f "$work/end" "$work/game.out"
  # The subshell stamps the moment its wait for the game returns.
  ( if [ "$case" = slow-sound ]; then
      export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=2000
    fi
    SDL_VIDEODRIVER=x11 "$game" --scale 1 --events >"$work/game.out" 2>>"$work/game.err" || true
    echo "$EPOCHREALTIME" >"$work/end" ) &
  sub=$!
  pids+=($sub)
  wait_for 20 seen ' title$' || fail "no title screen"
  wait_for 10 find_window || fail "no window"
  win=$(find_window)
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" || true
  if [ "$case" != title ]; then
    press_until space ' infobox:Level 1$'
    press_until space ' level:1$'
  fi
  sleep 0.5
  start=$EPOCHREALTIME
  wmctrl -i -c "$win"
  while viewable "$win"; do :; done
  gone=$EPOCHREALTIME
  wait_for 10 test -s "$work/end" || fail "the game did not end after the close ($case)"
  wait "$sub" || true
  awk -v s="$start" -v g="$gone" -v e="$(cat "$work/end")" \
    'BEGIN { printf "%.0f %.0f\n", (g - s) * 1000, (e - s) * 1000 }' >>"$work/$case"
}

echo "close button to window gone / process end, $runs runs each (ms):"
for case in title play slow-sound; do
  for (( r = 0; r < runs; r++ )); do one_close "$case"; done
  # median WORST of column $1
  stats() { cut -d' ' -f"$1" "$work/$case" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[NR] }'; }
  read -r wm ww < <(stats 1)
  read -r em ew < <(stats 2)
  printf "  %-11s window gone median %4d (worst %4d), process end median %4d (worst %4d)\n" "$case" "$wm" "$ww" "$em" "$ew"
done
