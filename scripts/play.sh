#!/usr/bin/env bash
# Builds the game and starts it in a window.  Extra arguments go to the game
# (try --help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh" play
cmake -S "$root" -B "$root/build/play" -DCMAKE_BUILD_TYPE=Release \
      -DCLOVENFELD_TESTS=OFF -DCLOVENFELD_BENCH=OFF >/dev/null
cmake --build "$root/build/play" -j"$(nproc)" --target clovenfeld   # the game and its data only
cd "$root/build/play/game"
exec ./clovenfeld "$@"
