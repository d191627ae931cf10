#!/usr/bin/env bash
# Builds the game for the browser (emscripten) into build/web-host/web/site and
# serves it on http://127.0.0.1:8000/ with python3's file server.  Any static
# file server will do: the site is plain files.
# Usage: scripts/web.sh [--build-only]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh" web
cmake -S "$root" -B "$root/build/web-host" -DCMAKE_BUILD_TYPE=Release \
      -DCLOVENFELD_TESTS=OFF -DCLOVENFELD_BENCH=OFF -DCLOVENFELD_WEB=ON >/dev/null
cmake --build "$root/build/web-host" -j"$(nproc)" --target web
site="$root/build/web-host/web/site"
[ "${1:-}" = "--build-only" ] && exit 0
echo "Serving $site on http://127.0.0.1:8000/ (Ctrl+C ends)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory "$site"
