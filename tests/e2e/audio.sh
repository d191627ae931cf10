#!/usr/bin/env bash
# audio.sh -- the window's sound, through SDL's disk audio driver under Xvfb.
#
#  1. A short game played with real key presses (the start, the "Level 1"
#     box, a walk right that takes the first egg, a jump, then M and another
#     jump) writes its sound to a file at the pace a sound card would take it.
#     Its recording, replayed headless with --audio-out, gives the offline
#     soundtrack: the window played the same sounds in the same order at the
#     same ticks, and each one is heard within 30 ms of where the offline
#     render puts it (onsets matched in order; the window's clock and the
#     disk driver's are related by a straight-line fit).  After M the window
#     is silent while the offline render, which never sees M, is not.
#  2. The same game with no sound device at all plays normally and says so
#     in one line.
#
# Usage: audio.sh PATH-OF-GAME-BINARY
set -euo pipefail

game=$(readlink -f "${1:?usage: audio.sh GAME}")
game_dir=$(dirname "$game")
source "$(dirname "$0")/common.sh"
e2e_need Xvfb xdotool xwininfo openbox wmctrl python3
e2e_begin audio

e2e_xvfb 191 240 800x600
e2e_openbox
cp -r "$game_dir/gfx" "$game_dir/levels" "$work/"
cd "$work"

find_window() { xdotool search --onlyvisible --name '^Clovenfeld Returns ' | head -n1; }
# play: the short game, its input recorded to $1.
play() {
  wait_for 20 find_window || fail "the game window did not appear"
  win=$(find_window)
  wait_for 20 seen 1 ' title$' || fail "the title screen was not shown"
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" || true
  press_until space 1 ' infobox:Level 1$'
  press_until space 1 ' level:1$'
  sleep 1.5 # the level's jingle ends first: each sound below stands apart
  xdotool keydown Right
  wait_for 10 seen 1 ' sound:egg$' || { xdotool keyup Right; fail "walking right took no egg"; }
  xdotool keyup Right
  sleep 0.5
  press_until Up 1 ' sound:land$'
  sleep 0.8
  press m
  sleep 0.3
  press_until Up 2 ' sound:land$'
  sleep 0.8
  wmctrl -i -c "$win"
  wait_for 5 sh -c "! kill -0 $game_pid" || fail "the game did not end"
  local status=0
  wait "$game_pid" || status=$?
  game_pid=""
  [ "$status" = 0 ] || fail "the game ended with status $status"
}

SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/window.raw" \
  "$game" --scale 1 --seed 3 --events --record "$work/window.rec" >"$work/game.out" 2>"$work/game.err" &
game_pid=$!
play
"$game" --replay "$work/window.rec" --fast --events --audio-out "$work/offline.wav" >"$work/replay.out" ||
  fail "the window's recording did not replay"
grep ' sound:' "$work/game.out" >"$work/window.sounds"
grep ' sound:' "$work/replay.out" >"$work/offline.sounds"
diff -u "$work/offline.sounds" "$work/window.sounds" >"$work/sounds.diff" ||
  fail "the window's sounds differ from the replay's: $(head -8 "$work/sounds.diff" | tr '\n' ';')"
echo "e2e: the window and its replay played the same $(wc -l <"$work/window.sounds") sounds at the same ticks"

python3 - "$work/window.raw" "$work/offline.wav" "$work/offline.sounds" <<'PY' || fail "the window's sound is not where the offline render has it"
import struct, sys
RATE = 48000
def frames(data):  # left channel of interleaved 16-bit stereo
    n = len(data) // 4
    return struct.unpack("<%dh" % (2 * n), data[:4 * n])[0::2]
disk = frames(open(sys.argv[1], "rb").read())
offline = frames(open(sys.argv[2], "rb").read()[44:])
def onsets(s, gap=RATE * 15 // 1000, level=64):
    found, quiet = [], gap
    for i, v in enumerate(s):
        if -level <= v <= level:
            quiet += 1
        else:
            if quiet >= gap:
                found.append(i)
            quiet = 0
    return found
# The last jump and its landing come after M: the offline render has them,
# the window not.
mute_at = [int(l.split()[1]) for l in open(sys.argv[3]) if l.rstrip().endswith("sound:jump")][-1] * 480
want = [f for f in onsets(offline) if f < mute_at]
muted = [f for f in onsets(offline) if f >= mute_at]
got = onsets(disk)
print("e2e: onsets: offline %d (%d after M), window %d" % (len(want) + len(muted), len(muted), len(got)))
assert muted, "the offline render has no sound after M"
assert len(got) == len(want), "the window has %d onsets, the offline render %d before M" % (len(got), len(want))
# A straight line from the offline render's time to the disk's (the disk
# driver's clock runs at its own pace), fitted by least squares; every onset
# within 30 ms of it.
n = len(want)
ma, mb = sum(want) / n, sum(got) / n
var = sum((a - ma) ** 2 for a in want)
scale = sum((a - ma) * (b - mb) for a, b in zip(want, got)) / var if var else 1.0
worst = max(abs(b - (mb + (a - ma) * scale)) for a, b in zip(want, got)) * 1000 / RATE
print("e2e: each window sound within %.1f ms of its place (clock ratio %.4f)" % (worst, scale))
assert worst <= 30, "a sound is %.1f ms off" % worst
tail = disk[got[-1] + RATE // 2:]
assert tail and max(abs(v) for v in tail) == 0, "sound after M"
PY

# --- 2. no sound device ------------------------------------------------------------
: >"$work/game.out"
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=none-such "$game" --scale 1 --seed 3 --events >"$work/game.out" 2>"$work/game.err" &
game_pid=$!
play
[ "$(grep -c . "$work/game.err")" -le 1 ] || fail "more than one line of message without a sound device"
echo "e2e: without a sound device the game played on: $(cat "$work/game.err")"
echo "e2e: audio passed"
