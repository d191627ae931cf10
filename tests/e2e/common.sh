# common.sh -- what the end-to-end scripts (tests/e2e/*.sh, tests/windows/run.sh)
# and the window benchmarks (bench/*.sh) share, sourced after their
# `set -euo pipefail`: a scratch folder cleaned up on exit with every process
# started, failing with the game's stderr, polling, a private Xvfb and window
# manager, the game started on copies of its data, its window found, sized,
# focused and compared with the game's pages, the program ended with status
# 0, and a recording replayed against what the window showed.
#
# The variables they share: $work (the scratch folder, the games' working
# folder), $game (the Linux program, which replays recordings), $compare
# (xwd_compare, for pictures), $game_pid and $win (the game running and its
# window).

# e2e_need TOOL...: ends the test when a tool is missing.
e2e_need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/deps.sh test installs it)"; exit 1; }
  done
}

# e2e_v1 FILE: the recording as version 1 text, one line per run of ticks
# ("Nx held scan codes|queued codes"), for awk and grep.
e2e_v1() { python3 "$(dirname "${BASH_SOURCE[0]}")/recording_v1.py" "$1"; }

# e2e_begin NAME: makes the scratch folder $work and the clean-up on exit,
# which stops $game_pid, $wm_pid and $xvfb_pid (KEEP_WORK=1 keeps $work).
e2e_begin() {
  work=$(mktemp -d "/tmp/clovenfeld-$1.XXXXXX")
  # The game's settings go to a scratch folder: a developer's own settings
  # never change a test, and no test changes them.
  export XDG_CONFIG_HOME="$work/config"
  xvfb_pid="" wm_pid="" game_pid=""
  trap e2e_cleanup EXIT
}
e2e_cleanup() {
  for pid in $game_pid $wm_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  for pid in $game_pid $wm_pid $xvfb_pid; do wait "$pid" 2>/dev/null || true; done
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}

fail() {
  echo "e2e FAIL: $*"
  [ -s "$work/game.err" ] && { echo "--- game stderr"; cat "$work/game.err"; }
  exit 1
}

# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds.
wait_for() {
  local limit=$(( $1 * 10 )); shift
  for (( i = 0; i < limit; i++ )); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# e2e_display_free N: display N is free.  A lock whose server no longer runs
# (one killed with the run that started it) is cleared with its socket.
e2e_display_free() {
  local lock="/tmp/.X$1-lock" pid
  if [ -e "$lock" ]; then
    pid=$(tr -dc 0-9 <"$lock" 2>/dev/null || true)
    [ -n "$pid" ] && [ -d "/proc/$pid" ] && return 1
    rm -f "$lock" "/tmp/.X11-unix/X$1" 2>/dev/null || return 1
  fi
  [ ! -e "/tmp/.X11-unix/X$1" ]
}

# e2e_xvfb FIRST LAST WxH: starts Xvfb on the first free display number from
# FIRST to LAST with one screen of that size, and exports DISPLAY.
e2e_xvfb() {
  local n display=""
  for n in $(seq "$1" "$2"); do
    e2e_display_free "$n" || continue
    # -noreset: without it the server resets each time its last client leaves
    # (the xwininfo probe below), and a client that connects during a slow
    # reset is refused.
    Xvfb ":$n" -screen 0 "$3x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if wait_for 30 xwininfo -display ":$n" -root; then display=":$n"; break; fi
    kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""
  done
  [ -n "$display" ] || fail "no X server could be started"
  export DISPLAY=$display
  unset WAYLAND_DISPLAY
}

# e2e_openbox: starts openbox on $DISPLAY and waits until it has announced
# itself, and a moment more: a window mapped while the window manager is still
# starting may never be mapped (SDL then waits for ever).
e2e_openbox() {
  openbox --sm-disable >"$work/wm.log" 2>&1 &
  wm_pid=$!
  wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window' || fail "the window manager did not start"
  sleep 1
}

# e2e_copy_data GAME: copies the data beside the program GAME (gfx/ and
# levels/) into $work and enters $work, where the games run.
e2e_copy_data() {
  cp -r "$(dirname "$1")/gfx" "$(dirname "$1")/levels" "$work/"
  cd "$work"
}

# --- the game and its window ------------------------------------------------------

# e2e_start PROGRAM ARGS...: starts the game in the background with its
# standard output (the --events log) in $work/game.out and its standard error
# in $work/game.err; $game_pid is its process.
e2e_start() {
  "$@" >"$work/game.out" 2>"$work/game.err" &
  game_pid=$!
}

# e2e_find_window: the window of the game just started ($game_pid): the last
# one's may still be on the screen for a moment after it ended, longer on a
# busy machine.  A Windows program's window under Wine is not the started
# process's: with E2E_ANY_WINDOW=1 it is the first game window on the screen.
e2e_find_window() {
  if [ -n "${E2E_ANY_WINDOW:-}" ]; then
    xdotool search --onlyvisible --name '^Clovenfeld Returns ' | head -n1
  else
    xdotool search --all --onlyvisible --pid "$game_pid" --name '^Clovenfeld Returns ' | head -n1
  fi
}
# e2e_window: waits for the game's window, which becomes $win.  The window
# found is taken at once: the window manager unmaps it for a moment while it
# frames it, and a second search then may not see it.
e2e_window() {
  local i
  for (( i = 0; i < 600; i++ )); do
    win=$(e2e_find_window 2>/dev/null) || win=""
    [ -n "$win" ] && return 0
    sleep 0.1
  done
  fail "the game window did not appear"
}
# e2e_title: waits for the title screen in the event log.
e2e_title() { wait_for 60 seen 1 ' title$' || fail "the title screen was not shown"; }
# e2e_focus: gives $win the focus and waits until it has it, asking again
# while it has not: a window still being framed by the window manager misses
# the first request, and the window manager may refuse a window that asks for
# no user time (and say it did), so the focus is also set directly.
e2e_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ]; }
e2e_focus() {
  local attempt
  for attempt in $(seq 15); do
    xdotool windowactivate "$win" 2>/dev/null || true
    wait_for 1 e2e_focused && return 0
    xdotool windowfocus "$win" 2>/dev/null || true
    wait_for 1 e2e_focused && return 0
  done
  fail "the game window did not get the focus"
}
# e2e_open PROGRAM ARGS...: e2e_start, then its window ($win) up to the title
# screen, with the focus.
e2e_open() {
  e2e_start "$@"
  e2e_window
  e2e_title
  e2e_focus
}

# e2e_size_of WINDOW: its size, WxH.
e2e_size_of() { xwininfo -id "$1" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }'; }
e2e_is_size() { [ "$(e2e_size_of "$1")" = "$2" ]; }

# --- keys and events ----------------------------------------------------------------

# Key presses through XTEST, and the game's event log ($work/game.out, from
# --events) to wait on.  One key press is held briefly so the game's 10 ms
# polling sees it held.
press() { xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"; }
# seen N PATTERN: the event log holds at least N lines matching PATTERN.
seen() { [ "$(grep -c -E "$2" "$work/game.out" 2>/dev/null || true)" -ge "$1" ]; }
# press_until KEY N PATTERN: presses KEY (again, if a press was lost) until
# the Nth event matching PATTERN is logged.
press_until() {
  for attempt in 1 2 3 4 5; do
    press "$1"
    wait_for 4 seen "$2" "$3" && return 0
  done
  fail "pressing $1 did not lead to event $3 (events: $(tr '\n' ';' <"$work/game.out"))"
}
# e2e_into_play: from the title screen, Space to the "Level 1" box and Space
# into play.
e2e_into_play() {
  press_until space 1 ' infobox:Level 1$'
  press_until space 1 ' level:1$'
}

# --- pictures ------------------------------------------------------------------------

# xwd_still NAME: captures the window $win to $work/NAME.xwd until two
# captures 0.5 s apart are the same (the window is drawn a moment after the
# game shows a picture), for up to about 30 s.
xwd_still() {
  local attempt
  for attempt in $(seq 40); do
    xwd -silent -id "$win" -out "$work/$1.xwd" || true
    sleep 0.5
    xwd -silent -id "$win" -out "$work/$1-again.xwd" || continue
    cmp -s "$work/$1.xwd" "$work/$1-again.xwd" && return 0
  done
  return 1
}
# e2e_shows NAME PAGE.bmp SCALE X Y: the window's pixels, captured to
# $work/NAME.xwd, are the page's at SCALE with its top left at X,Y, black
# around it (xwd_compare).
e2e_shows() { xwd -silent -id "$win" -out "$work/$1.xwd" && "$compare" "$work/$1.xwd" "$2" "$3" "$4" "$5" >/dev/null; }
# e2e_expect_picture NAME PAGE.bmp SCALE X Y: e2e_shows, captured again until
# it holds (the window is drawn a moment after it changes) or a generous time
# has passed.
e2e_expect_picture() {
  wait_for 30 e2e_shows "$@" ||
    fail "$1: the window does not show the page at ${3}x at $4,$5: $("$compare" "$work/$1.xwd" "$2" "$3" "$4" "$5" 2>&1 | tail -n 1)"
}

# --- the end of the program, and its recording ----------------------------------------

e2e_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
# e2e_expect_end WHAT [STATUS]: the game ends within a generous time, with
# STATUS (default 0); WHAT names what ended it in a failure.
e2e_expect_end() {
  local status=0
  wait_for 60 e2e_ended || fail "$1 did not end the program"
  wait "$game_pid" || status=$?
  game_pid=""
  [ "$status" = "${2:-0}" ] || fail "$1 ended the program with status $status"
}
# e2e_close [WHERE]: the close button (the window manager's close request), and
# the program ends with status 0.
e2e_close() {
  wmctrl -i -c "$win" || fail "wmctrl could not ask the window to close"
  e2e_expect_end "the close button${1:+ $1}"
}
# e2e_quit: Escape held on the title screen until the program ends, with status 0.
e2e_quit() {
  local ended=yes
  xdotool keydown Escape
  wait_for 60 e2e_ended || ended=""
  xdotool keyup Escape 2>/dev/null || true
  [ -n "$ended" ] || fail "Escape on the title screen did not end the program"
  e2e_expect_end "Escape on the title screen"
}

# e2e_check_replay WHAT RECORDING CAPTURE.xwd|- [ARGS...]: the recording,
# replayed headless by $game with ARGS, prints the window's very event lines
# ($work/game.out, each event at the window's tick) into $work/replay.out and
# ends on $work/replay.bmp; with a capture, that last picture is the window's.
e2e_check_replay() {
  local what=$1 rec=$2 capture=$3
  shift 3
  "$game" --replay "$rec" --fast --events --shot "$work/replay.bmp" "$@" >"$work/replay.out" ||
    fail "$what: the recording did not replay"
  diff "$work/game.out" "$work/replay.out" >"$work/replay.diff" ||
    fail "$what: the replay's events differ from the window's: $(head -8 "$work/replay.diff" | tr '\n' ';')"
  # Its state hashes and its end line agree with the replay's.
  "$game" --verify "$rec" >"$work/verify.out" || fail "$what: --verify says $(cat "$work/verify.out")"
  if [ "$capture" != - ]; then
    "$compare" "$capture" "$work/replay.bmp" 1 0 0 >/dev/null || fail "$what: the replay's last picture differs from the window's"
  fi
}
