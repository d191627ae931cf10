#!/usr/bin/env bash
# Builds everything and runs every test: the suite (unit, lint, replays, the
# soak, the fuzz corpora, the end-to-end window tests under Xvfb, install and
# package, ThreadSanitizer on the window's threads, the browser build in
# headless Chromium, and the Windows program under Wine), the suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of
# each fuzzer.  Each step prints the time it starts, so the phases can be timed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/deps.sh" test

step() { printf '\n=== %s (%s, %ss in)\n' "$*" "$(date +%T)" "$SECONDS"; }

step "build and test"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLOVENFELD_WERROR=ON \
      -DCLOVENFELD_WEB=ON >/dev/null
cmake --build "$root/build/test" -j"$jobs"
ctest --test-dir "$root/build/test" --output-on-failure -j"$jobs"

step "build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DCLOVENFELD_SANITIZE=ON -DCLOVENFELD_WERROR=ON \
      -DCLOVENFELD_BENCH=OFF >/dev/null
cmake --build "$root/build/asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure -j"$jobs" -LE e2e

if compgen -G "$root/fuzz/*.cpp" >/dev/null; then
  step "fuzz (short runs)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Debug -DCLOVENFELD_SANITIZE=ON -DCLOVENFELD_WERROR=ON \
        -DCLOVENFELD_FUZZ=ON -DCLOVENFELD_TESTS=OFF -DCLOVENFELD_BENCH=OFF >/dev/null
  # Only the fuzzers: the game, tools and assets are built by the steps above.
  cmake --build "$root/build/fuzz" -j"$jobs" --target $(basename -s .cpp "$root"/fuzz/*.cpp)
  # Two fuzzers at a time, each logging to build/fuzz/<name>.log; a failed
  # one shows the end of its log (with the crash input's name) and stops here.
  fuzz_pids=() fuzz_names=()
  fuzz_wait() {
    local i
    for i in "${!fuzz_pids[@]}"; do
      local log="$root/build/fuzz/${fuzz_names[$i]}.log"
      if wait "${fuzz_pids[$i]}"; then
        grep -E '^(Done|stat::number_of_executed_units)' "$log" | sed "s/^/${fuzz_names[$i]}: /"
      else
        tail -n 60 "$log"
        echo "fuzzer ${fuzz_names[$i]} failed"
        exit 1
      fi
    done
    fuzz_pids=() fuzz_names=()
  }
  for src in "$root"/fuzz/*.cpp; do
    name=$(basename "$src" .cpp)
    corpus="$root/build/fuzz/corpus-$name"
    mkdir -p "$corpus"
    [ -d "$root/fuzz/seeds/$name" ] && cp -n "$root/fuzz/seeds/$name"/* "$corpus"/ 2>/dev/null || true
    (cd "$root/build/fuzz" && exec "./$name" -max_total_time="${FUZZ_SECONDS:-30}" -print_final_stats=1 \
       "$corpus" >"$name.log" 2>&1) &
    fuzz_pids+=($!) fuzz_names+=("$name")
    [ "${#fuzz_pids[@]}" -lt 2 ] || fuzz_wait
  done
  fuzz_wait
fi

step "all tests passed"
