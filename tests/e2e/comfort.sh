#!/usr/bin/env bash
# comfort.sh -- pause, the settings file and key bindings in a real window
# (Xvfb and openbox), each run with its own scratch XDG_CONFIG_HOME.
#
#  1. P freezes the picture (two captures 0.5 s apart are the same, with the
#     overlay over the page) and P again moves it on.  Another window taking
#     the focus pauses too.  Each waits, with a generous limit, for the
#     window to get there: how soon it does is the machine's pace.
#  2. A game recorded with two pauses replays headless with every event at
#     the window's tick, to the picture the window showed last; the game
#     kept its records.
#  3. F11 is remembered: the next start opens fullscreen, and the file says so.
#  4. A settings file binding Left to A: A walks left (the recording holds
#     Left's scan code), and the recording replays the same without the file.
#  5. A settings file of random bytes: the game starts with the defaults and
#     says what it could not read.
#  6. F11 while paused goes fullscreen (and back), once a press.
#  7. Taps of 2 ms each count: Up is held for a tick, Escape ends the game.
#  8. S where screen.bmp is a folder: the shot goes to the pictures folder and
#     play goes on.
#
# Usage: comfort.sh PATH-OF-GAME-BINARY PATH-OF-xwd_compare
set -euo pipefail

game=$(readlink -f "${1:?usage: comfort.sh GAME XWD_COMPARE}")
compare=$(readlink -f "${2:?usage: comfort.sh GAME XWD_COMPARE}")
source "$(dirname "$0")/common.sh"
e2e_need Xvfb xdotool xwininfo xwd openbox wmctrl xclock
e2e_begin comfort
e2e_xvfb 241 290 1400x1100
e2e_openbox
e2e_copy_data "$game"
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

# start CONFIG ARGS...: the game with XDG_CONFIG_HOME=CONFIG, up to its title.
start() {
  local config=$1; shift
  XDG_CONFIG_HOME="$config" e2e_open "$game" --events "$@"
}
capture() { xwd -silent -id "$win" -out "$work/$1.xwd" || fail "xwd could not capture the window"; }
same() { cmp -s "$work/$1.xwd" "$work/$2.xwd"; }
# moved_from NAME: the window's picture is no longer NAME's.
moved_from() { capture moved; ! same "$1" moved; }
# check_replay RECORDING WHAT: the replay has the window's events and last
# picture (the window captured as last.xwd at 1x).
check_replay() {
  e2e_check_replay "$2" "$1" "$work/last.xwd"
  echo "e2e: $2: the replay has the window's $(wc -l <"$work/game.out") events and last picture"
}

# --- 1. P, and the focus ---------------------------------------------------------------
start "$work/cfg1" --scale 1
e2e_into_play
capture playing
press p
xwd_still paused || fail "the picture moved while paused"
moved_from playing || fail "P did not show the overlay"
press p
wait_for 30 moved_from paused || fail "P again did not move the game on"
echo "e2e: P froze the picture for 0.5 s and P again moved it on"
xclock -geometry 100x100+700+0 >/dev/null 2>&1 &
clock_pid=$!
wait_for 60 sh -c 'xdotool search --name xclock' || fail "no second window"
# Openbox may refuse to activate a window that asks for no user time (and
# says it did), so the focus is also set directly.
clock_win=$(xdotool search --name xclock | head -1)
xdotool windowactivate "$clock_win" 2>/dev/null || true
xdotool windowfocus "$clock_win" || true
# The focus moves when the window manager gets to it: then two captures
# 0.5 s apart are the same.
paused=1
xwd_still unfocused && paused=0
kill "$clock_pid" 2>/dev/null || true
[ "$paused" = 0 ] || fail "losing the focus did not pause the game"
echo "e2e: another window taking the focus paused the game"
e2e_close

# --- 2. a game recorded with two pauses ----------------------------------------------
start "$work/cfg2" --scale 1 --record "$work/paused.rec"
e2e_into_play
for n in 1 2; do
  xdotool keydown Right; sleep 0.4; xdotool keyup Right
  press p; sleep 0.4; press p
done
press_until Escape 1 ' infobox:Final Score: [0-9]+$'
xwd_still last || fail "the Final Score box did not settle"
e2e_close
check_replay "$work/paused.rec" "two pauses"
# The window's game keeps records: level 1 reached, and its score a whole game's.
records="$work/cfg2/clovenfeld/records.ini"
grep -q '^furthest_level = 1$' "$records" && grep -Eq '^best_game_score = [0-9]+$' "$records" ||
  fail "the window's game left no records: $(cat "$records" 2>&1)"
echo "e2e: the window's game kept its records"

# --- 3. F11 remembered ----------------------------------------------------------------
start "$work/cfg3" --scale 1
xdotool key F11
wait_for 30 e2e_is_size "$win" 1400x1100 || fail "F11 did not fill the screen"
e2e_close
grep -Eq '^fullscreen *= *true' "$work/cfg3/clovenfeld/settings.ini" || fail "the settings file does not say fullscreen"
start "$work/cfg3"
wait_for 30 e2e_is_size "$win" 1400x1100 || fail "the next start was not fullscreen ($(e2e_size_of "$win"))"
e2e_close
echo "e2e: fullscreen chosen with F11 was remembered by the next start"

# --- 4. Left bound to A ---------------------------------------------------------------
mkdir -p "$work/cfg4/clovenfeld"
printf '# my keys\nkey.left = KeyA\n' >"$work/cfg4/clovenfeld/settings.ini"
start "$work/cfg4" --scale 1 --record "$work/bound.rec"
e2e_into_play
# A held until a step is heard: the game has seen Left held.
xdotool keydown a
wait_for 60 seen 1 ' sound:step$' || { xdotool keyup a; fail "A held did not walk"; }
xdotool keyup a
sleep 0.2
press_until Escape 1 ' infobox:Final Score: [0-9]+$'
xwd_still last || fail "the Final Score box did not settle"
e2e_close
e2e_v1 "$work/bound.rec" >"$work/bound-v1.rec"
grep -Eq '(^|[ x])75( [0-9 ]*)?\|' "$work/bound-v1.rec" || fail "A did not hold Left's scan code (75)"
check_replay "$work/bound.rec" "Left bound to A, replayed without the file"
head -1 "$work/cfg4/clovenfeld/settings.ini" | grep -q '^# my keys' || fail "the player's comment was lost"

# --- 5. random bytes -------------------------------------------------------------------
mkdir -p "$work/cfg5/clovenfeld"
head -c 3000 /dev/urandom >"$work/cfg5/clovenfeld/settings.ini"
cp "$work/cfg5/clovenfeld/settings.ini" "$work/junk.ini"
start "$work/cfg5" --scale 1
grep -q 'settings.ini' "$work/game.err" || fail "no message about the unreadable settings"
e2e_close
cmp -s "$work/junk.ini" "$work/cfg5/clovenfeld/settings.ini" || fail "the unreadable file was rewritten"
echo "e2e: a settings file of random bytes: the defaults, and $(grep -c . "$work/game.err") lines of message"

# --- 6. F11 while paused ----------------------------------------------------------------
# The overlay offers F11: it must toggle fullscreen once, not on and off again.
start "$work/cfg6" --scale 1 --no-settings
press p
xdotool key F11
wait_for 10 e2e_is_size "$win" 1400x1100 || fail "F11 while paused did not fill the screen ($(e2e_size_of "$win"))"
xdotool key F11
wait_for 10 e2e_is_size "$win" 640x480 || fail "F11 again while paused gave $(e2e_size_of "$win"), not 640x480"
e2e_close
echo "e2e: F11 while paused went fullscreen and back"

# --- 7. taps of 2 ms --------------------------------------------------------------------
# A key pressed and let go between two ticks still counts for one tick: six
# taps of Up each hold Up's scan code (72) on a tick of the recording, and a
# tap of Escape ends the game.
start "$work/cfg7" --scale 1 --no-settings --record "$work/taps.rec"
e2e_into_play
for n in 1 2 3 4 5 6; do xdotool keydown --delay 0 Up sleep 0.002 keyup --delay 0 Up; sleep 0.3; done
xdotool keydown --delay 0 Escape sleep 0.002 keyup --delay 0 Escape
wait_for 10 seen 1 ' infobox:Final Score: [0-9]+$' || fail "a tap of Escape was lost"
e2e_close
taps=$(awk -F'|' '{ sub(/^[0-9]+x /, "", $1); up = ($1 ~ /(^| )72( |$)/); if (up && !was) n++; was = up }
                  END { print n + 0 }' <(e2e_v1 "$work/taps.rec"))
[ "$taps" = 6 ] || fail "of 6 taps of Up, $taps held Up for a tick"
echo "e2e: 6 taps of Up of 2 ms each held Up for a tick, and a tap of Escape ended the game"

# --- 8. S where screen.bmp cannot be written --------------------------------------------
# screen.bmp is a folder here: the shot goes to the player's pictures folder,
# the game says where, and play goes on to the end of the game.
mkdir -p "$work/screen.bmp" "$work/pictures"
XDG_PICTURES_DIR="$work/pictures" start "$work/cfg8" --scale 1 --no-settings
e2e_into_play
press s
wait_for 10 sh -c "ls '$work/pictures' | grep -Eq '^clovenfeld-[0-9]{8}-[0-9]{6}\.bmp$'" ||
  fail "S did not save the shot in the pictures folder: $(ls "$work/pictures")"
grep -q "screenshot saved to $work/pictures/clovenfeld-" "$work/game.err" || fail "the game did not say where the shot went"
kill -0 "$game_pid" || fail "S ended the game"
press_until Escape 1 ' infobox:Final Score: [0-9]+$'
e2e_close
echo "e2e: S with screen.bmp a folder saved $(ls "$work/pictures") and play went on"
echo "e2e: comfort passed"
