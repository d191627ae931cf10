#!/usr/bin/env bash
# replay_speed.sh -- frames per second of the whole-game replay, headless and
# fast with full drawing, beside the figure before the drawing work (about
# 7,500 frames/s, 20 s for game.rec) or beside an older program run here in
# turn with this one.
#
#   bench/replay_speed.sh [BUILD_DIR] [OLD_PROGRAM]
#
# BUILD_DIR defaults to build/test; OLD_PROGRAM is another clovenfeld binary
# (say a copy built from an older commit) timed in the same run.  RUNS (3)
# sets how many runs each; the best is kept, as the machines are shared.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/test}")
old=${2:+$(realpath "$2")}
runs=${RUNS:-3}
rec=$root/assets/recordings/game.rec
game_dir=$build/game
[ -x "$game_dir/clovenfeld" ] || { echo "no $game_dir/clovenfeld: build the clovenfeld target first" >&2; exit 2; }

# Ticks in the recording: its end line says how many.
frames=$(awk '$1 == "end" && $2 == "ticks" { print $3 }' "$rec")

# Best CPU time (user + system) and wall time of $runs runs of program $1.
best_time() {
  local best_cpu="" best_wall="" out cpu wall
  for _ in $(seq "$runs"); do
    out=$( { cd "$game_dir" && /usr/bin/time -f '%U %S %e' "$1" --headless --fast --replay "$rec" >/dev/null; } 2>&1 | tail -1)
    cpu=$(echo "$out" | awk '{ print $1 + $2 }')
    wall=$(echo "$out" | awk '{ print $3 }')
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$wall; fi
  done
  echo "$best_cpu $best_wall"
}

report() { # name cpu wall
  awk -v name="$1" -v cpu="$2" -v wall="$3" -v f="$frames" \
    'BEGIN { printf "%-10s %8.2f s CPU %8.2f s wall %10.0f frames/s (CPU) %10.0f frames/s (wall)\n", name, cpu, wall, f / cpu, f / wall }'
}

echo "game.rec: $frames frames, best of $runs runs"
read -r cpu wall < <(best_time "$game_dir/clovenfeld")
report "this" "$cpu" "$wall"
if [ -n "$old" ]; then
  read -r ocpu owall < <(best_time "$old")
  report "old" "$ocpu" "$owall"
  awk -v a="$ocpu" -v b="$cpu" 'BEGIN { printf "speed-up %.2fx (CPU time)\n", a / b }'
else
  echo "before the drawing work: about 7500 frames/s (20 s) on the development machine"
fi
