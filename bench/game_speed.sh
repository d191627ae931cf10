#!/usr/bin/env bash
# game_speed.sh -- the game-speed assist in a real window: the ticks a second
# at 100% and at 50% (game_speed in a settings file), each over TICKS ticks
# (default 800) from the title screen (Space starts a game there), and whether the recording made
# at 50% replays headless with the very same events.
#
# Usage: game_speed.sh GAME-BINARY [TICKS]
# Prints a measurement; run it alone on a quiet machine.
set -euo pipefail
game=$(readlink -f "${1:?usage: game_speed.sh GAME [TICKS]}")
ticks=${2:-800}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/common.sh"
e2e_need Xvfb xdotool xwininfo openbox python3
e2e_begin speed
e2e_xvfb 341 390 1400x1000
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11
for speed in 100 50; do
  printf 'game_speed = %d\n' "$speed" >"$work/speed.ini"
  e2e_start "$game" --settings "$work/speed.ini" --mute --scale 1 --events --stop-tick "$ticks" \
    --record "$work/speed$speed.rec"
  e2e_window
  wait_for 30 seen 1 ' title$' || fail "no title screen"
  start=$(date +%s.%N)
  first=$(tail -n 1 "$work/game.out" | cut -d' ' -f2)
  # Space starts a game and closes the "Level 1" box; Right held walks, with
  # its step sounds.
  e2e_focus
  xdotool key space; sleep 0.5; xdotool key space; sleep 0.3; xdotool keydown Right
  e2e_expect_end "--stop-tick $ticks"
  xdotool keyup Right 2>/dev/null || true
  end=$(date +%s.%N)
  cp "$work/game.out" "$work/speed$speed.out"
  python3 -c "import sys; s, e, t = map(float, sys.argv[1:]); print('game speed %3d%%: %5.1f ticks a second' % ($speed, t / (e - s)))" \
    "$start" "$end" "$((ticks - first))"
done
"$game" --replay "$work/speed50.rec" --fast --events --stop-tick "$ticks" >"$work/replay50.out"
if diff -q "$work/speed50.out" "$work/replay50.out" >/dev/null; then
  echo "the recording made at 50% replays with the same $(wc -l <"$work/replay50.out") events"
else
  echo "the recording made at 50% replays with other events:"; diff "$work/speed50.out" "$work/replay50.out" | head
fi
