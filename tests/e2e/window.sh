#!/usr/bin/env bash
# window.sh -- end-to-end test of the window's size, scaling and fullscreen,
# and of a lost display, in a real window on a 2000 x 1600 virtual screen with
# a window manager that honours resizes and fullscreen requests.
#
#  1. --scale 3 opens the window at 1920 x 1440; --fullscreen opens it over
#     the whole screen, and F11 then gives the window its own size.  The
#     window's class (WM_CLASS) is the desktop entry's id and StartupWMClass,
#     and its icon (_NET_WM_ICON) is the installed 64 px icon, pixel for pixel.
#  2. Without --scale the window opens at 2x (1280 x 960) on that screen.
#     Resized to 1600 x 1000, the title screen is shown at 2x, centred on
#     black: the window's pixels (xwd) equal the game's own shot of the title
#     scaled 2x, pixel for pixel.  F11 fills the screen (then the page is at
#     3x, centred) and F11 again restores 1600 x 1000; Alt+Enter does the same.
#     In play, Down is held through two toggles: the recording shows it held
#     on every tick and the ticks go on.  The "Level 1" box, shown in the
#     window, equals a headless replay of the window's own recording.
#  3. The close button (a window manager's close request, wmctrl -c) on the
#     title screen, in a box and in play ends the program with status 0 (the
#     time it takes is a figure of bench/window_latency.sh); the recording
#     made meanwhile replays headless with every event at the window's tick,
#     to the picture the window showed last.
#  4. The X server is killed in mid-game: the game ends with a message and a
#     non-zero status (the time it took is printed).
#
# Usage: window.sh PATH-OF-GAME-BINARY PATH-OF-xwd_compare
set -euo pipefail

game=$(readlink -f "${1:?usage: window.sh GAME XWD_COMPARE}")
compare=$(readlink -f "${2:?usage: window.sh GAME XWD_COMPARE}")
game_dir=$(dirname "$game")
source "$(dirname "$0")/common.sh"
e2e_need Xvfb xdotool xwininfo xwd xprop openbox wmctrl python3
e2e_begin window
e2e_xvfb 141 190 2000x1600
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11

# check_picture NAME PAGE.bmp SCALE X Y: the window shows the page (e2e_expect_picture).
check_picture() {
  e2e_expect_picture "$@"
  echo "e2e: $1: the window shows the page at ${3}x at $4,$5, pixel for pixel"
}

# open_game SIZE WHAT ARGS...: starts the game with ARGS, waits for its
# window ($win) to reach SIZE (WHAT names the case in a failure) and for the
# title screen, and gives it the focus.
open_game() {
  local size=$1 what=$2; shift 2
  # No settings: each start's size is its options' alone.
  e2e_start "$game" --no-settings --events "$@"
  e2e_window
  wait_for 30 e2e_is_size "$win" "$size" || fail "$what opened $(e2e_size_of "$win"), not $size"
  e2e_title
  e2e_focus
}

# --- 1. --scale 3 ------------------------------------------------------------------
open_game 1920x1440 "--scale 3" --scale 3
echo "e2e: --scale 3 opened 1920x1440"

# The desktop entry the build made (and installs), and the icons beside it.
desktop=$(ls "$game_dir"/../*.desktop 2>/dev/null | head -n1)
[ -f "$desktop" ] || fail "no desktop entry beside the game's folder"
app_id=$(basename "$desktop" .desktop)
[ "$(sed -n 's/^StartupWMClass=//p' "$desktop")" = "$app_id" ] || fail "$desktop has no StartupWMClass=$app_id"
wm_class=$(xprop -id "$win" WM_CLASS)
[ "$wm_class" = "WM_CLASS(STRING) = \"$app_id\", \"$app_id\"" ] || fail "the window's class is not $app_id: $wm_class"
echo "e2e: the window's class is $app_id, the desktop entry's"
xprop -id "$win" -notype -f _NET_WM_ICON 32c _NET_WM_ICON >"$work/icon.txt" || fail "xprop could not read the icon"
python3 - "$work/icon.txt" "$game_dir/../icons/64.png" <<'PY' || fail "the window's icon is not the program's 64 px icon"
import struct, sys, zlib
text = open(sys.argv[1]).read()
if "=" not in text:
    sys.exit("no _NET_WM_ICON: " + text.strip())
words = [int(w) for w in text.split("=", 1)[1].replace(",", " ").split()]
png = open(sys.argv[2], "rb").read()
w, h = struct.unpack(">II", png[16:24])
data, at = b"", 8
while at < len(png):  # the IDAT chunks, in order
    n, kind = struct.unpack(">I4s", png[at:at + 8])
    if kind == b"IDAT":
        data += png[at + 8:at + 8 + n]
    at += 12 + n
raw, stride, rows = zlib.decompress(data), w * 4, []
for y in range(h):  # mkassets filters rows by none (0) or "up" (2)
    kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    assert kind in (0, 2), "PNG filter %d" % kind
    if kind == 2 and rows:
        row = bytearray((a + b) & 255 for a, b in zip(row, rows[-1]))
    rows.append(row)
want = [w, h] + [r[x + 3] << 24 | r[x] << 16 | r[x + 1] << 8 | r[x + 2] for r in rows for x in range(0, stride, 4)]
if words[:len(want)] != want:
    sys.exit("icon %dx%d, %d words, differs from %s (%dx%d)" % (words[0], words[1], len(words), sys.argv[2], w, h))
print("e2e: the window's icon is %s, %dx%d, pixel for pixel" % (sys.argv[2].split("/")[-1], w, h))
PY
e2e_quit
open_game 2000x1600 "--fullscreen (the whole screen)" --fullscreen --scale 1
xdotool key F11
wait_for 30 e2e_is_size "$win" 640x480 || fail "F11 after --fullscreen gave $(e2e_size_of "$win"), not 640x480"
echo "e2e: --fullscreen filled the screen, F11 gave the window 640x480"
e2e_quit

# --- 2. resizing, fullscreen, the game going on --------------------------------------
"$game" --headless --stop-at title --shot "$work/title.bmp" || fail "no headless shot of the title"
# The "Level 1" box of seed 5 (the tick of the Space does not change it).
printf 'clovenfeld-recording 1\nseed 5\n5x |\n|32\n400x |\n' >"$work/box.rec"
"$game" --replay "$work/box.rec" --fast --stop-at "infobox:Level 1" --shot "$work/box.bmp" ||
  fail "no headless shot of the Level 1 box"
open_game 1280x960 "without --scale (2x on 2000x1600), the window" --seed 5 --record "$work/window.rec"
echo "e2e: without --scale the window opened at 1280x960"
xdotool windowsize "$win" 1600 1000
wait_for 30 e2e_is_size "$win" 1600x1000 || fail "the window could not be resized to 1600x1000"
sleep 0.5
check_picture resized "$work/title.bmp" 2 160 20

toggle_twice() { # KEYS: fullscreen, then back to 1600 x 1000
  xdotool key "$1"
  wait_for 30 e2e_is_size "$win" 2000x1600 || fail "$1 did not fill the screen (window $(e2e_size_of "$win"))"
  sleep 0.5
  [ -n "${2:-}" ] && check_picture "fullscreen-$1" "$2" 3 40 80
  xdotool key "$1"
  wait_for 30 e2e_is_size "$win" 1600x1000 || fail "$1 again did not restore 1600x1000 (window $(e2e_size_of "$win"))"
  echo "e2e: $1 filled the screen and restored the window"
}
toggle_twice F11 "$work/title.bmp"
toggle_twice alt+Return "$work/title.bmp"

press_until space 1 ' infobox:Level 1$'
check_picture level-box "$work/box.bmp" 2 160 20 # and against the window's own recording below
press_until space 1 ' level:1$'
xdotool keydown Down
sleep 0.3
toggle_twice F11
toggle_twice alt+Return
sleep 0.3
xdotool keyup Down
kill -0 "$game_pid" 2>/dev/null || fail "the game ended while toggling"
# A swan may have taken a life meanwhile: Space closes that box.
for attempt in 1 2 3 4 5 6; do
  press Escape
  wait_for 10 seen 1 ' infobox:Final Score: [0-9]+$' && break
  press space
done
seen 1 ' infobox:Final Score: [0-9]+$' || fail "Escape did not end the game"
press_until space 2 ' title$'
e2e_quit

# Down (scan code 80) is held on every tick from its first to its last, and
# for most of the play from "level:1" to the Final Score box (the toggles
# take most of that time, however many ticks the machine's pace gives it).
level_at=$(awk '$3 == "level:1" { print $2; exit }' "$work/game.out")
score_at=$(awk '$3 ~ /^infobox:Final/ { print $2; exit }' "$work/game.out")
awk -v played=$(( score_at - level_at )) '
  /^#/ || NR <= 2 { next }
  { n = 1; if ($0 ~ /^[0-9]+x /) { n = substr($1, 1, length($1) - 1) + 0; sub(/^[0-9]+x /, "") }
    split($0, part, "|"); held = (" " part[1] " ") ~ / 80 /
    for (i = 0; i < n; i++) { t++; if (held) { if (!first) first = t; last = t } h[t] = held } }
  END { gaps = 0; for (i = first; i <= last; i++) if (!h[i]) gaps++
        printf "e2e: Down held from tick %d to %d of %d ticks of play, released on %d of them\n", first, last, played, gaps
        exit (first > 0 && played > 0 && 2 * (last - first) > played && gaps == 0) ? 0 : 1 }' <(e2e_v1 "$work/window.rec") ||
  fail "Down was not held throughout the toggles"

# The "Level 1" box as the window showed it equals a replay of the recording.
"$game" --replay "$work/window.rec" --fast --stop-at "infobox:Level 1" --shot "$work/level1.bmp" ||
  fail "the window's recording did not replay to the Level 1 box"
"$compare" "$work/level-box.xwd" "$work/level1.bmp" 2 160 20 ||
  fail "the Level 1 box in the window differs from its headless replay"
echo "e2e: the Level 1 box in the window equals its headless replay, pixel for pixel"

# --- 3. the close button ----------------------------------------------------------------
# close_game WHAT [picture]: the close button ends the program with status 0
# (e2e_close), and the recording replays headless with every event (each
# frame included) at the window's tick (e2e_check_replay); with "picture" its
# last picture is also the window's, captured once it settled.
close_game() {
  local what=$1 capture=-
  if [ "${2:-}" = picture ]; then
    xwd_still close || fail "the window's picture did not settle $what"
    capture="$work/close.xwd"
  fi
  e2e_close "$what"
  e2e_check_replay "the game closed $what" "$work/close.rec" "$capture"
  echo "e2e: closed $what: status 0; its replay has the same $(wc -l <"$work/game.out") events${2:+ and picture}"
}
open_game 640x480 "--scale 1" --scale 1 --record "$work/close.rec"
close_game "on the title screen" picture
open_game 640x480 "--scale 1" --scale 1 --record "$work/close.rec"
press_until space 1 ' infobox:Level 1$'
sleep 0.3
close_game "in a box" picture
open_game 640x480 "--scale 1" --scale 1 --record "$work/close.rec"
e2e_into_play
xdotool keydown Right
# Four steps (11 ticks apart) are heard with Right held: the game has seen it
# for 33 ticks or more, however slow the machine.
wait_for 60 seen 4 ' sound:step$' || { xdotool keyup Right; fail "Right held did not walk"; }
close_game "in play"
xdotool keyup Right
# The recording holds the ticks played (Right held, four steps or more) up to the close.
played=$(awk '/^#/ || NR <= 2 { next } { n = 1; if ($0 ~ /^[0-9]+x /) n = substr($1, 1, length($1) - 1) + 0
              split($0, part, "|"); if ((" " part[1] " ") ~ / 77 /) t += n } END { print t + 0 }' <(e2e_v1 "$work/close.rec"))
echo "e2e: the recording closed in play holds Right on its last $played ticks"
[ "$played" -ge 30 ] || fail "the recording closed in play holds Right on only $played ticks"

# --- 4. the X server goes away in mid-game ----------------------------------------------
open_game 1280x960 "without --scale, the window"
e2e_into_play
kill -9 "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""
start=$(date +%s%N)
wait_for 60 sh -c "! kill -0 $game_pid" || fail "the game did not end after its display went away"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
status=0
wait "$game_pid" || status=$?
game_pid=""
[ "$status" != 0 ] || fail "the game ended with status 0 after losing its display"
grep -q "connection to the display was lost" "$work/game.err" || fail "no message about the lost display"
echo "e2e: display killed: the game ended with status $status in about $ms ms: $(tail -n1 "$work/game.err")"
echo "e2e: window passed"
