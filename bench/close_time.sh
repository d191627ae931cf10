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
source "$(cd "$(dirname "$0")/.." && pwd)/tests/e2e/common.sh"
e2e_need Xvfb xdotool xwininfo openbox wmctrl
e2e_begin close
e2e_xvfb 241 290 1024x768
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

# one_close CASE: one start and close; appends "window-ms end-ms" to $work/CASE.
one_close() {
  local case=$1 sub start gone
  rm -f "$work/end" "$work/game.pid"
  # The subshell stamps the moment its wait for the game returns.
  ( if [ "$case" = slow-sound ]; then
      export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=2000
    fi
    "$game" --scale 1 --events >"$work/game.out" 2>>"$work/game.err" &
    echo $! >"$work/game.pid"
    wait $! || true
    echo "$EPOCHREALTIME" >"$work/end" ) &
  sub=$!
  wait_for 10 test -s "$work/game.pid" || fail "the game did not start"
  game_pid=$(cat "$work/game.pid")
  e2e_window
  e2e_title
  e2e_focus
  [ "$case" = title ] || e2e_into_play
  sleep 0.5
  start=$EPOCHREALTIME
  wmctrl -i -c "$win"
  while viewable "$win"; do :; done
  gone=$EPOCHREALTIME
  wait_for 10 test -s "$work/end" || fail "the game did not end after the close ($case)"
  wait "$sub" || true
  game_pid=""
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
