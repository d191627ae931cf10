# common.sh -- what the end-to-end scripts share, sourced after their
# `set -euo pipefail`: a scratch folder cleaned up on exit with every process
# started, failing with the game's stderr, polling, and a private Xvfb.

# e2e_need TOOL...: ends the test when a tool is missing.
e2e_need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/deps.sh test installs it)"; exit 1; }
  done
}

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

# e2e_xvfb FIRST LAST WxH: starts Xvfb on the first free display number from
# FIRST to LAST with one screen of that size, and exports DISPLAY.
e2e_xvfb() {
  local n display=""
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
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
