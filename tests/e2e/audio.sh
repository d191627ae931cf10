#!/usr/bin/env bash
# audio.sh -- the window's sound, through SDL's disk audio driver under Xvfb.
#
#  1. A short game played with real key presses (the start, the "Level 1"
#     box, a walk right that takes the first egg, a jump, then M and another
#     jump) writes its sound to a file at the pace a sound card would take it.
#     Its recording, replayed headless, prints the window's very events: every
#     sound at the window's tick, in the same order, from the start to the
#     close, and among them the start, the level's jingle, the egg and both
#     jumps and landings.  Replayed with --audio-out it gives the offline
#     soundtrack: every sound in the window's capture is one the offline
#     render has before M, in order and frame for frame, and none of those
#     standing apart is missing (tests/e2e/sound_capture.py).  After M the
#     window is silent while the offline render, which never sees M, is not.
#     How far each sound starts from its place is a figure of
#     bench/window_latency.sh, not a test: it is the machine's load.
#  2. The same game with no sound device at all plays normally and says so
#     in one line.
#
# Usage: audio.sh PATH-OF-GAME-BINARY
set -euo pipefail

game=$(readlink -f "${1:?usage: audio.sh GAME}")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
e2e_need Xvfb xdotool xwininfo openbox wmctrl python3
e2e_begin audio

e2e_xvfb 191 240 800x600
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11

# audio_wait MS: waits until the sound device has taken MS more milliseconds
# of sound (the disk driver's file $raw has grown by as much), so the sounds
# around it stand that far apart in the capture however busy the machine is;
# without a sound device, sleeps that long.
raw=""
audio_wait() {
  if [ -z "$raw" ]; then sleep "$(( $1 / 1000 )).$(printf %03d $(( $1 % 1000 )))"; return; fi
  local want=$(( $(stat -c %s "$raw") + $1 * 192 )) # 48000 frames of 4 bytes a second
  wait_for 60 sh -c "[ \$(stat -c %s '$raw') -ge $want ]" || fail "the sound device stopped taking sound"
}
# play ARGS...: the short game, started with ARGS.
play() {
  e2e_open "$game" --scale 1 --seed 3 --events "$@"
  e2e_into_play
  audio_wait 1500 # the level's jingle ends first: each sound below stands apart
  xdotool keydown Right
  wait_for 60 seen 1 ' sound:egg$' || { xdotool keyup Right; fail "walking right took no egg"; }
  xdotool keyup Right
  audio_wait 500
  press_until Up 1 ' sound:land$'
  audio_wait 800
  press m
  audio_wait 500 # the fade to silence is in the capture before the next jump
  press_until Up 2 ' sound:land$'
  audio_wait 800
  e2e_close
}

raw="$work/window.raw"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" play --record "$work/window.rec"
raw=""
# The whole run, each event at its tick, against the headless replay of its
# recording: a window that lost or added a sound, or a recording that ends
# early, differs.
e2e_check_replay "the window's recording" "$work/window.rec" - --audio-out "$work/offline.wav"
grep ' sound:' "$work/replay.out" >"$work/offline.sounds" || true
# The sounds the play makes, in this order (others, such as steps, between).
awk '{ print $3 }' "$work/offline.sounds" | awk -v want="start level-start egg jump land jump land" '
  BEGIN { n = split(want, w, " "); k = 1 }
  k <= n && $1 == "sound:" w[k] { k++ }
  END { exit k > n ? 0 : 1 }' ||
  fail "the game's sounds are not start, level-start, egg, jump, land, jump, land: $(awk '{ print $3 }' "$work/offline.sounds" | paste -sd ' ')"
echo "e2e: the window and its replay played the same $(wc -l <"$work/offline.sounds") sounds at the same ticks" \
     "($(awk '{ sub("sound:", "", $3); print $3 }' "$work/offline.sounds" | paste -sd ' '))"

python3 "$here/sound_capture.py" check "$work/window.raw" "$work/offline.wav" "$work/offline.sounds" ||
  fail "the window's sound is not the offline render's"

# --- 2. no sound device ------------------------------------------------------------
SDL_AUDIODRIVER=none-such play
[ "$(grep -c . "$work/game.err")" -le 1 ] || fail "more than one line of message without a sound device"
echo "e2e: without a sound device the game played on: $(cat "$work/game.err")"
echo "e2e: audio passed"
