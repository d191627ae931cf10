#!/usr/bin/env bash
# window_latency.sh -- how promptly the window answers, in figures: where its
# sounds start in what the sound device took, and how long the close button
# takes to end the program.  Each is measured ROUNDS times (default 3) on a
# virtual X server with a window manager (the helpers of tests/e2e/common.sh).
#
#  1. Sound onsets.  A short game with real key presses (the "Level 1" box, a
#     walk right that takes the first egg, then JUMPS jumps, default 4) plays
#     its sound through SDL's disk audio driver, which takes it at the pace a
#     sound card would.  Its recording, replayed headless with --audio-out,
#     gives the offline soundtrack.  The sounds that start alone, found in
#     both by their first frames (tests/e2e/sound_capture.py), give a
#     straight-line fit of the capture's clock against the game's ticks, and
#     each sound's distance from that line is printed: median, mean and
#     worst, in ms.
#  2. The close button (wmctrl -c) on the title screen, in the "Level 1" box
#     and in play: the milliseconds from the request to the program's end.
#
# Usage: window_latency.sh GAME-BINARY [ROUNDS] [JUMPS]
# e.g.   nice -n 10 bash bench/window_latency.sh build/test/game/clovenfeld 3
# Prints measurements, asserts nothing; run it alone on a quiet machine.
set -euo pipefail

game=$(readlink -f "${1:?usage: window_latency.sh GAME [ROUNDS] [JUMPS]}")
rounds=${2:-3}
jumps=${3:-4}
game_dir=$(dirname "$game")
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/common.sh"
e2e_need Xvfb xdotool xwininfo openbox wmctrl python3
e2e_begin latency

e2e_xvfb 191 240 800x600
e2e_openbox
cp -r "$game_dir/gfx" "$game_dir/levels" "$work/"
cd "$work"

# The window of this game ($game_pid): the last one's may still be on the
# screen for a moment after it ended, longer on a busy machine.
find_window() { xdotool search --all --onlyvisible --pid "$game_pid" --name '^Clovenfeld Returns ' | head -n1; }
# start ARGS...: the game with ARGS, up to its title screen, with the focus.
start() {
  "$game" --scale 1 --events "$@" >"$work/game.out" 2>"$work/game.err" &
  game_pid=$!
  wait_for 60 find_window || fail "the game window did not appear"
  win=$(find_window)
  wait_for 60 seen 1 ' title$' || fail "the title screen was not shown"
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" || true
}
# close: the close button; ms is the milliseconds to the program's end.
close() {
  local t0 t1 status=0
  t0=$(date +%s%N)
  wmctrl -i -c "$win"
  local i
  for (( i = 0; i < 6000; i++ )); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.01; done
  t1=$(date +%s%N)
  kill -0 "$game_pid" 2>/dev/null && fail "the close button did not end the program"
  wait "$game_pid" || status=$?
  game_pid=""
  [ "$status" = 0 ] || fail "the game ended with status $status"
  ms=$(( (t1 - t0) / 1000000 ))
}

# --- 1. sound onsets -------------------------------------------------------------------
for round in $(seq "$rounds"); do
  rm -f "$work/window.raw"
  SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/window.raw" \
    start --seed 3 --record "$work/window.rec"
  press_until space 1 ' infobox:Level 1$'
  press_until space 1 ' level:1$'
  sleep 1.5 # the level's jingle ends first
  xdotool keydown Right
  wait_for 60 seen 1 ' sound:egg$' || { xdotool keyup Right; fail "walking right took no egg"; }
  xdotool keyup Right
  for n in $(seq "$jumps"); do
    sleep 0.5
    press_until Up "$n" ' sound:land$'
  done
  sleep 0.5
  close
  "$game" --replay "$work/window.rec" --fast --events --audio-out "$work/offline.wav" >"$work/replay.out" ||
    fail "the window's recording did not replay"
  printf 'round %d: ' "$round"
  python3 "$root/tests/e2e/sound_capture.py" offsets "$work/window.raw" "$work/offline.wav" "$work/replay.out"
done

# --- 2. the close button ---------------------------------------------------------------
for round in $(seq "$rounds"); do
  export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy
  start
  close
  title=$ms
  start
  press_until space 1 ' infobox:Level 1$'
  sleep 0.3
  close
  box=$ms
  start
  press_until space 1 ' infobox:Level 1$'
  press_until space 1 ' level:1$'
  xdotool keydown Right
  sleep 0.5
  close
  xdotool keyup Right
  play=$ms
  echo "round $round: the close button ended the program in $title ms on the title screen," \
       "$box ms in the Level 1 box, $play ms in play"
done
