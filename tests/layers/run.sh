#!/usr/bin/env bash
# The floors check (scripts/layers.py) on small trees of its own: a tree
# whose rooms only look down passes; an include up a floor, and a circle of
# includes across two rooms, each fail and are named.
set -euo pipefail
layers="$(cd "$(dirname "$0")/../.." && pwd)/scripts/layers.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "layers test: $*" >&2; exit 1; }

# tree DIR: services/clock and platform/run, run including clock.
tree() {
  mkdir -p "$1/cmake" "$1/src/services" "$1/src/platform"
  printf 'set(CLOVENFELD_SERVICES_SOURCES src/services/clock.cpp)\nset(CLOVENFELD_PLATFORM_SOURCES src/platform/run.cpp)\n' \
    >"$1/cmake/sources.cmake"
  printf '#pragma once\nint clock_now();\n' >"$1/src/services/clock.h"
  printf '#include "services/clock.h"\nint clock_now() { return 1; }\n' >"$1/src/services/clock.cpp"
  printf '#pragma once\nint run_tick();\n' >"$1/src/platform/run.h"
  printf '#include "platform/run.h"\n#include "services/clock.h"\nint run_tick() { return clock_now(); }\n' \
    >"$1/src/platform/run.cpp"
}

tree "$work/down"
python3 "$layers" --source "$work/down" >"$work/down.out" || fail "a tree that only looks down failed: $(cat "$work/down.out")"

tree "$work/up"
printf '#include "platform/run.h"\n' >>"$work/up/src/services/clock.cpp"
if python3 "$layers" --source "$work/up" >"$work/up.out"; then fail "an include up a floor passed"; fi
grep -q 'up a floor: src/services/clock (services) includes platform/run.h, in src/platform/run (platform)' "$work/up.out" ||
  fail "the include up a floor was not named: $(cat "$work/up.out")"
grep -q 'a circle of 2 modules (4 files) spans services, platform' "$work/up.out" ||
  fail "the circle was not named: $(cat "$work/up.out")"
echo "layers test: a tree that looks down passes; an include up a floor and its circle are named"
