#!/usr/bin/env bash
# run.sh -- the Windows program (clovenfeld.exe) under Wine, against the
# Linux program.  One scratch Wine prefix (its first start takes a while).
#
#  1. Headless: the recorded game replayed under Wine prints exactly the
#     Linux program's event lines (sounds included) and ends on the same
#     work page, byte for byte; so do two runs stopped earlier (--stop-tick).
#     The times of both full replays are printed.  Without a sprite both
#     end with the same fatal report and status.
#  2. The real window under Wine on a virtual screen with a window manager:
#     the title screen's pixels (xwd) equal the Linux program's shot of the
#     title, and so do the whole screen's after F11 (at 2x, centred) before
#     F11 gives the window back; P pauses under the overlay and P resumes;
#     F11 while paused goes fullscreen and back; a 2 ms tap of Up holds Up
#     for a tick;
#     Space, Space and holding Right play level 1; the close button (wmctrl -c) ends
#     the program with status 0.  The window's recording, replayed on Linux,
#     gives the window's very event lines and the "Level 1" box as the window
#     showed it, and without its Right key a different last picture: Right
#     moved the player.  The window's ticks a second are printed.
#  3. Without a console: from a folder without the data, while the Unix data
#     places ($XDG_DATA_HOME, $XDG_DATA_DIRS, ../share) hold it, the program
#     finds none.  Started as from the desktop (start /wait), it shows in a
#     box what standard error says with a console (every notice line, then
#     the report) and ends with status 2; so for a bad option (the message,
#     then the usage), whose message is the Linux program's.
#
#  4. Zipped packs (given the example pack's folder): the Windows build's zip
#     reader (minizip built from Debian's sources) reads the example pack
#     zipped, and --verify-pack prints the Linux program's lines; a zip with
#     a "../" name is refused with the Linux program's message and status.
#
# Usage: run.sh CLOVENFELD.EXE LINUX-GAME-BINARY XWD_COMPARE GAME.REC [EXAMPLE-PACK-DIR]
set -euo pipefail

exe=$(readlink -f "${1:?usage: run.sh EXE GAME XWD_COMPARE GAME.REC}")
game=$(readlink -f "${2:?usage: run.sh EXE GAME XWD_COMPARE GAME.REC}")
compare=$(readlink -f "${3:?usage: run.sh EXE GAME XWD_COMPARE GAME.REC}")
rec=$(readlink -f "${4:?usage: run.sh EXE GAME XWD_COMPARE GAME.REC}")
pack=${5:+$(readlink -f "$5")}
source "$(dirname "$0")/../e2e/common.sh"
e2e_need wine wineboot wineserver Xvfb xdotool xwininfo xwd openbox wmctrl
e2e_begin windows

export WINEPREFIX="$work/wine" WINEDEBUG=-all
# No .NET or HTML prompts, and no sound drivers (the game plays silently).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv=d"
wine_cleanup() { wineserver -k 2>/dev/null || true; e2e_cleanup; }
trap wine_cleanup EXIT

e2e_copy_data "$game"
cp "$exe" "$work/clovenfeld.exe"
cp "$rec" "$work/game.rec"
# The X server comes first: Wine's desktop process, started with the prefix,
# takes the screen's size from it for every later program.
e2e_xvfb 191 240 1600x1200
e2e_openbox
wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the Wine prefix"

# --- 1. headless ---------------------------------------------------------------------
# The Linux runs go alongside the Wine ones.
stops=(4000 60000)
(
  s=$(date +%s%N)
  "$game" --headless --fast --replay game.rec --events --shot linux-end.bmp >linux.events 2>linux.err
  echo $(( ($(date +%s%N) - s) / 1000000 )) >linux.ms
  for t in "${stops[@]}"; do "$game" --headless --fast --replay game.rec --stop-tick "$t" --shot "linux-$t.bmp"; done
) &
linux_pid=$!
s=$(date +%s%N)
wine clovenfeld.exe --headless --fast --replay game.rec --events --shot wine-end.bmp >wine.events 2>game.err ||
  fail "the replay under Wine failed"
wine_ms=$(( ($(date +%s%N) - s) / 1000000 ))
for t in "${stops[@]}"; do
  wine clovenfeld.exe --headless --fast --replay game.rec --stop-tick "$t" --shot "wine-$t.bmp" 2>game.err ||
    fail "the replay under Wine stopped at tick $t failed"
done
wait "$linux_pid" || fail "the Linux replays failed: $(cat linux.err)"
diff -q linux.events wine.events >/dev/null ||
  fail "the event lines differ: $(diff linux.events wine.events | head -5 | tr '\n' ';')"
for t in end "${stops[@]}"; do
  cmp -s "linux-$t.bmp" "wine-$t.bmp" || fail "the work page at tick $t differs"
done
# A missing sprite: the same fatal report on standard error, the same status.
mkdir -p broken && cp -r gfx levels broken/ && rm broken/gfx/egg.bmp
(cd broken && "$game" --headless --fast --replay ../game.rec >/dev/null 2>linux.report) && fail "Linux played without egg.bmp"
linux_status=$?
(cd broken && wine ../clovenfeld.exe --headless --fast --replay ../game.rec >/dev/null 2>wine.report) && fail "Wine played without egg.bmp"
wine_status=$?
[ "$wine_status" = "$linux_status" ] || fail "without egg.bmp Wine ended with status $wine_status, Linux with $linux_status"
cmp -s broken/linux.report broken/wine.report || fail "the fatal reports differ: $(cat broken/wine.report)"
echo "windows: headless: $(wc -l <wine.events) event lines ($(grep -c ' sound:' wine.events) sounds) and the pages at" \
     "ticks ${stops[*]} and the end are the Linux ones; full replay $wine_ms ms under Wine, $(cat linux.ms) ms on Linux"

# --- 4. zipped packs (here, while no window is up) ----------------------------------------
if [ -n "$pack" ]; then
  (cd "$pack" && zip -q -r -X "$work/example.zip" pack.ini levels proofs)
  python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], "w"); z.writestr("../escape.txt", "x"); z.close()' \
    escape.zip
  for zip in example escape; do
    "$game" --verify-pack "$zip.zip" >"linux-$zip.txt" 2>&1 && linux_status=0 || linux_status=$?
    wine clovenfeld.exe --verify-pack "$zip.zip" >"wine-$zip.txt" 2>&1 && wine_status=0 || wine_status=$?
    [ "$wine_status" = "$linux_status" ] ||
      fail "--verify-pack $zip.zip ended with status $wine_status under Wine, $linux_status on Linux: $(tail -n 1 "wine-$zip.txt")"
    cmp -s "linux-$zip.txt" "wine-$zip.txt" ||
      fail "--verify-pack $zip.zip printed other lines under Wine: $(diff "linux-$zip.txt" "wine-$zip.txt" | head -4 | tr '\n' ';')"
  done
  [ "$(tail -n 1 linux-example.txt)" = "example: ok, 9 levels proved" ] || fail "the zipped example pack: $(tail -n 1 linux-example.txt)"
  grep -q '"\.\./escape.txt"' wine-escape.txt || fail "the \"../\" zip's refusal: $(cat wine-escape.txt)"
  [ ! -e ../escape.txt ] || fail "the \"../\" zip wrote outside"
  echo "windows: packs: the zipped example pack verifies as on Linux; $(tail -n 1 wine-escape.txt)"
fi

# --- 2. the window ---------------------------------------------------------------------
"$game" --headless --stop-at title --shot title.bmp || fail "no Linux shot of the title"

# The window of a program under Wine is not the process started.
export E2E_ANY_WINDOW=1
e2e_start wine clovenfeld.exe --no-settings --events --scale 1 --record window.rec
e2e_window
e2e_title
start_ns=$(date +%s%N)
wait_for 30 e2e_is_size "$win" 640x480 || fail "--scale 1 opened $(e2e_size_of "$win"), not 640x480"
# Wine copies what is drawn to the X window a moment later: the pictures are
# captured until they match (e2e_expect_picture).
e2e_expect_picture title title.bmp 1 0 0
echo "windows: window: the title screen equals the Linux shot, pixel for pixel"
e2e_focus
# Wine hands the focus on to the program a moment later, later still on a
# busy machine: F11 again while the window is still at 640 x 480.
for attempt in 1 2 3 4 5 6; do
  e2e_is_size "$win" 640x480 && xdotool key F11
  wait_for 10 e2e_is_size "$win" 1600x1200 && break
done
e2e_is_size "$win" 1600x1200 || fail "F11 did not fill the screen (window $(e2e_size_of "$win"))"
e2e_expect_picture full title.bmp 2 160 120
xdotool key F11
wait_for 30 e2e_is_size "$win" 640x480 || fail "F11 again did not give back 640x480 (window $(e2e_size_of "$win"))"
echo "windows: window: F11 filled the screen with the title at 2x, centred, and gave the window back"
# P pauses under the dimmed overlay and P again shows the picture as it was.
xdotool key p
wait_for 30 eval '! e2e_shows paused title.bmp 1 0 0' || fail "P did not show the pause overlay"
xdotool key p
wait_for 30 e2e_shows resumed title.bmp 1 0 0 || fail "P again did not take the overlay away"
echo "windows: window: P paused under the overlay and P resumed"
# F11 while paused toggles fullscreen once, and F11 again gives the window back.
xdotool key p
xdotool key F11
wait_for 30 e2e_is_size "$win" 1600x1200 || fail "F11 while paused did not fill the screen (window $(e2e_size_of "$win"))"
xdotool key F11
wait_for 30 e2e_is_size "$win" 640x480 || fail "F11 again while paused gave $(e2e_size_of "$win"), not 640x480"
xdotool key p
wait_for 30 e2e_shows resumed title.bmp 1 0 0 || fail "P did not resume after F11"
echo "windows: window: F11 while paused went fullscreen and back"

press_until space 1 ' infobox:Level 1$'
sleep 0.5
# Three captures of the box (compared with the Linux replay below), as Wine
# may show the box a moment after drawing it.
for i in 1 2 3; do
  xwd -silent -id "$win" -out "level-box-$i.xwd" || fail "xwd could not capture the window"
  sleep 0.3
done
press_until space 1 ' level:1$'
xdotool keydown Right
# Held until a step is heard: the game has seen Right held, however slow the machine.
wait_for 60 seen 1 ' sound:step$' || { xdotool keyup Right; fail "Right held did not walk"; }
sleep 0.5
xdotool keyup Right
# A tap of Up of 2 ms, let go before the next tick, is held for a tick.
xdotool keydown --delay 0 Up sleep 0.002 keyup --delay 0 Up
sleep 0.5
kill -0 "$game_pid" 2>/dev/null || fail "the game ended while playing"
e2e_close
elapsed_ms=$(( ($(date +%s%N) - start_ns) / 1000000 ))
# The ticks the recording holds, from the title screen (tick 0) to the close.
e2e_v1 window.rec >window-v1.rec
ticks=$(awk 'NR > 2 && !/^#/ { n = 1; if ($0 ~ /^[0-9]+x /) n = $1 + 0; t += n } END { print t + 0 }' window-v1.rec)
echo "windows: window: the close button ended the program with status 0;" \
     "$ticks ticks in $elapsed_ms ms, about $(( ticks * 1000 / elapsed_ms )) a second"

grep -Eq '^([0-9]+x )?([0-9]+ )*72( [0-9]+)*\|' window-v1.rec || fail "the tap of Up of 2 ms was lost (no tick held Up)"
echo "windows: window: a tap of Up of 2 ms was held for a tick"

# The recording replays on Linux: the same events, the same "Level 1" box.
e2e_check_replay "the window's recording on Linux" window.rec -
"$game" --replay window.rec --fast --stop-at "infobox:Level 1" --shot level1.bmp ||
  fail "the window's recording did not replay to the Level 1 box"
box_shown=""
for i in 1 2 3; do "$compare" "level-box-$i.xwd" level1.bmp 1 0 0 >/dev/null && box_shown=yes; done
[ -n "$box_shown" ] ||
  fail "the Level 1 box in the window differs from its Linux replay: $("$compare" level-box-3.xwd level1.bmp 1 0 0 | tail -n 1)"
# Right (scan code 77; its queued code 255 + 256 * 77) taken out of the recording.
awk 'BEGIN { OFS = "" }
     /^[0-9]+x |^[0-9 ]*\|/ {
       prefix = ""; if (match($0, /^[0-9]+x /)) { prefix = substr($0, 1, RLENGTH); $0 = substr($0, RLENGTH + 1) }
       split($0, part, "|"); held = ""; queued = ""
       n = split(part[1], h, " "); for (i = 1; i <= n; i++) if (h[i] != "77") held = held (held == "" ? "" : " ") h[i]
       n = split(part[2], q, " "); for (i = 1; i <= n; i++) if (q[i] != "19967") queued = queued (queued == "" ? "" : " ") q[i]
       print prefix, held, "|", queued; next }
     { print }' window-v1.rec >no-right.rec
held_right=$(grep -c -E '(^|[x ])77( |\|)' window-v1.rec || true)
[ "$held_right" -gt 0 ] || fail "the recording never holds Right"
"$game" --replay no-right.rec --fast --shot no-right-end.bmp >/dev/null || fail "the recording without Right does not replay"
! cmp -s replay.bmp no-right-end.bmp || fail "holding Right changed nothing: the player did not move"
echo "windows: window: its recording replays on Linux with the same $(wc -l <game.out) events and Level 1 box;" \
     "without Right the last picture differs"

# --- 3. without a console --------------------------------------------------------------
# The program in a folder without the data, while every Unix place holds it:
# on Windows the search never looks there.
mkdir -p nodata xdg-home/clovenfeld xdg-dirs/clovenfeld share/clovenfeld
cp clovenfeld.exe nodata/
for d in xdg-home/clovenfeld xdg-dirs/clovenfeld share/clovenfeld; do cp -r gfx levels "$d/"; done
export XDG_DATA_HOME="$work/xdg-home" XDG_DATA_DIRS="$work/xdg-dirs"
(cd nodata && wine clovenfeld.exe --headless --fast --stop-at title >/dev/null 2>../nodata.err) &&
  fail "the program took its data from a Unix place ($XDG_DATA_HOME, $XDG_DATA_DIRS or ../share)"
grep -q "^clovenfeld: no folder holds the game's data" nodata.err || fail "no line said why: $(cat nodata.err)"
# With a console: what standard error says (a bad option, as on Linux).
(cd nodata && wine clovenfeld.exe >/dev/null 2>../console.err) && fail "the window run played without its data"
grep -q "^clovenfeld: no folder holds" console.err && grep -q "^Aborting due to runtime error 2 (file not found)" console.err ||
  fail "the window run without its data said: $(cat console.err)"
(cd nodata && wine clovenfeld.exe --bogus >/dev/null 2>../bogus.err) && fail "--bogus was taken"
"$game" --bogus 2>bogus-linux.err && fail "Linux took --bogus"
cmp -s bogus.err bogus-linux.err || fail "--bogus: Wine said \"$(cat bogus.err)\", Linux \"$(cat bogus-linux.err)\""
wine clovenfeld.exe --help >usage.txt || fail "--help failed"
# escaped FILE...: the files' lines, blank lines around them dropped, as Wine's trace writes them.
escaped() {
  cat "$@" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g' |
    awk '{ line[NR] = $0 } END { a = 1; while (a <= NR && line[a] == "") a++
           z = NR; while (z >= a && line[z] == "") z--
           for (i = a; i <= z; i++) printf "%s%s", line[i], (i < z ? "\\n" : "") }'
}
# box EXPECTED ARGS...: started as from the desktop (start /wait: no standard
# error at all), the program shows EXPECTED in a box and, the box closed, ends
# with status 2.  Wine's msgbox trace holds the text the box was given,
# escaped, and cut after about 300 characters ("...).
find_box() { xdotool search --onlyvisible --name '^Clovenfeld Returns$' | head -n1; }
box() {
  local want=$1 text; shift
  (cd nodata && WINEDEBUG=-all,+msgbox exec wine start /wait clovenfeld.exe "$@" >/dev/null 2>../box.trace) &
  game_pid=$!
  wait_for 30 find_box || fail "clovenfeld.exe $*: no box was shown"
  wmctrl -i -c "$(find_box)" || fail "wmctrl could not close the box"
  e2e_expect_end "clovenfeld.exe $*: closing the box" 2
  text=$(sed -n 's/^.*:MSGBOX_OnInit L"//p' box.trace)
  case "$text" in
    *'"...') text=${text%\"...}; [ "${#text}" -ge 200 ] && [[ "$want" == "$text"* ]] ;;
    *) text=${text%\"}; [ "$text" = "$want" ] ;;
  esac || fail "clovenfeld.exe $*: the box shows \"$text\", not \"$want\""
}
box "$(escaped console.err)"
printf '\n' >blank.txt
box "$(escaped bogus.err blank.txt usage.txt)" --bogus
echo "windows: without a console: a box shows the $(grep -c . console.err) lines of standard error without the data," \
     "and the message and the usage after a bad option; no Unix place is searched"
