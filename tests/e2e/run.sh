#!/usr/bin/env bash
# run.sh -- end-to-end test of the real game program in a real window.
#
# Starts a virtual X server and the window manager, runs the game from a
# scratch directory holding copies of gfx/ and levels/, and plays it with real
# key presses through XTEST: the title screen, Space into level 1, Space to
# close the "Level 1" box, S for a screenshot whose HUD pixels are checked,
# Escape to end the game, Space to close "Final Score: ...", and Escape on the
# title screen, after which the program must end with status 0.
#
# Usage: run.sh PATH-OF-GAME-BINARY
set -euo pipefail

game=$(readlink -f "${1:?usage: run.sh PATH-OF-GAME-BINARY}")
source "$(dirname "$0")/common.sh"
e2e_need Xvfb xdotool xwininfo openbox od
e2e_begin e2e
e2e_xvfb 91 140 640x480
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11

# --events only adds a log line on stdout for each picture the game shows,
# which lets this script wait for the right moment instead of guessing.
e2e_start "$game" --events
if ! wait_for 60 e2e_find_window; then
  # A game that could not reach the X server at all (a slow server on a busy
  # machine) gets one more try; any other failure is the game's.
  if e2e_ended && grep -q "no video" "$work/game.err"; then
    wait "$game_pid" 2>/dev/null || true
    e2e_start "$game" --events
  fi
fi
e2e_window

title=$(xdotool getwindowname "$win")
case "$title" in
  "Clovenfeld Returns [Version 0.5 (2026)] "?*) ;;
  *) fail "unexpected window title: $title" ;;
esac
[ "$(e2e_size_of "$win")" = 640x480 ] || fail "window is $(e2e_size_of "$win"), not 640x480"
e2e_focus

# Key presses go through XTEST to the focused window, as a keyboard's would
# (press, seen and press_until are in common.sh).
bmp_size() { [ -f screen.bmp ] && [ "$(stat -c %s screen.bmp)" = 1228854 ]; }
# The pixel (x, y) of screen.bmp as RRGGBB (the file is 32-bit bottom-up).
bmp_pixel() {
  local x=$1 y=$2
  local off=$(( 54 + ((479 - y) * 640 + x) * 4 ))
  od -An -tx1 -j "$off" -N3 screen.bmp | awk '{ print $3 $2 $1 }'
}
# How many pixels of the rectangle x0..x1, y0..y1 have colour RRGGBB.
count_colour() {
  local x0=$1 x1=$2 y0=$3 y1=$4 want=$5 n=0
  for (( y = y0; y <= y1; y++ )); do
    local off=$(( 54 + ((479 - y) * 640 + x0) * 4 ))
    local len=$(( (x1 - x0 + 1) * 4 ))
    n=$(( n + $(od -An -v -tx1 -j "$off" -N "$len" screen.bmp | tr -s ' \n' '\n\n' | grep -v '^$' |
                 paste - - - - | awk -v w="$want" '($3 $2 $1) == w' | wc -l) ))
  done
  echo "$n"
}


# The title screen is up (the game waits there); Space starts a game, and a
# second Space closes the "Level 1" box.  Then S saves the frame.
e2e_title
e2e_into_play
sleep 0.2
rm -f screen.bmp
for attempt in 1 2 3 4 5; do
  press s
  wait_for 10 bmp_size && break
done
bmp_size || fail "S did not write a 1228854-byte screen.bmp"
kill -0 "$game_pid" 2>/dev/null || fail "the game ended early"

# HUD: magenta "SCORE:" around x 10..57 and yellow values from x 60 on, rows 0..15.
magenta=$(count_colour 10 57 0 15 ff00ff)
yellow=$(count_colour 60 67 0 15 ffff00)      # the score "0"
time_yellow=$(count_colour 170 193 0 15 ffff00) # the time, three digits
level_yellow=$(count_colour 270 277 0 15 ffff00) # level "1"
other=$(count_colour 10 57 0 15 ffff00)
echo "e2e: HUD pixels: SCORE: magenta $magenta, score yellow $yellow, time yellow $time_yellow, level yellow $level_yellow"
[ "$magenta" -ge 40 ] || fail "too few magenta SCORE: pixels ($magenta)"
[ "$yellow" -ge 10 ] || fail "too few yellow score pixels ($yellow)"
[ "$time_yellow" -ge 30 ] || fail "too few yellow time pixels ($time_yellow)"
[ "$level_yellow" -ge 5 ] || fail "too few yellow level pixels ($level_yellow)"
[ "$other" = 0 ] || fail "yellow pixels inside the SCORE: label"
[ "$(bmp_pixel 9 8)" != ff00ff ] || fail "magenta left of the SCORE: label"

# Escape ends the game; its "Final Score: 0" box waits for Space.  Then the
# title screen, where Escape held ends the program.
press_until Escape 1 ' infobox:Final Score: [0-9]+$'
seen 1 ' infobox:Game Over$' && fail "Escape with lives left showed Game Over"
kill -0 "$game_pid" 2>/dev/null || fail "Escape in play ended the program"
press_until space 2 ' title$'
kill -0 "$game_pid" 2>/dev/null || fail "the program ended on the title screen without Escape"
e2e_quit
echo "e2e: passed (title, level 1, screenshot, HUD, Escape, final score, quit with status 0)"
