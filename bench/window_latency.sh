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
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/common.sh"
e2e_need Xvfb xdotool xwininfo openbox wmctrl python3
e2e_begin latency

e2e_xvfb 191 240 800x600
e2e_openbox
e2e_copy_data "$game"

# start ARGS...: the game with ARGS, up to its title screen, with the focus.
start() { e2e_open "$game" --scale 1 --events "$@"; }
# close: the close button; ms is the milliseconds to the program's end,
# polled every 10 ms.
close() {
  local t0 t1 i
  t0=$(date +%s%N)
  wmctrl -i -c "$win"
  for (( i = 0; i < 6000; i++ )); do e2e_ended && break; sleep 0.01; done
  t1=$(date +%s%N)
  e2e_expect_end "the close button"
  ms=$(( (t1 - t0) / 1000000 ))
}

# --- 1. sound onsets -------------------------------------------------------------------
for round in $(seq "$rounds"); do
  rm -f "$work/window.raw"
  SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/window.raw" \
    start --seed 3 --record "$work/window.rec"
  e2e_into_play
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
  e2e_into_play
  xdotool keydown Right
  sleep 0.5
  close
  xdotool keyup Right
  play=$ms
  echo "round $round: the close button ended the program in $title ms on the title screen," \
       "$box ms in the Level 1 box, $play ms in play"
done
