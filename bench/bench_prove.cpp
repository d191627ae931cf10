// bench_prove.cpp -- the prover on the shipped levels: one whole proof per
// iteration of each of the 27 levels (seed 1, a budget of 60 s), with the
// frames it searched a second, the plan's length and whether its recording
// replays to the level's end; and a budget far too small, to see how far
// past it an undecided answer comes.
//   clovenfeld_bench --benchmark_filter=Prove
#include "../tests/headless_driver.h"
#include "platform/proof_file.h"
#include "proof/prove.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void start() {
    static bool started = false;
    if (started) return;
    started = true;
    if (chdir(GAME_DIR) != 0) std::abort();
    headless_begin(1);
    headless_start_shell();
}

void BM_Prove_ShippedLevel(benchmark::State& state) {
    start();
    const int level = static_cast<int>(state.range(0));
    const std::string out = "/tmp/clovenfeld-bench-proof-" + std::to_string(getpid()) + ".rec";
    int answer = -1;
    long long frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        answer = PROVE_LEVEL(level, 1, 60);
        frames += proof_frames_searched;
        seconds += proof_seconds;
    }
    LevelReplay replay;
    char why[256] = "";
    const bool replays = answer == PROOF_PROVEN && write_level_proof(out.c_str(), level, 1, why, sizeof why) &&
                         replay_level_recording(out.c_str(), level, &replay, why, sizeof why) && replay.completed;
    std::remove(out.c_str());
    state.counters["proven"] = answer == PROOF_PROVEN;
    state.counters["replays"] = replays;
    state.counters["ticks"] = static_cast<double>(replay.frames);
    state.counters["searched"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
    state.counters["frames/s"] = seconds > 0 ? static_cast<double>(frames) / seconds : 0;
}
BENCHMARK(BM_Prove_ShippedLevel)->DenseRange(1, 27)->Iterations(1)->Unit(benchmark::kSecond);

// Level 24 (swans and the duck) with a budget of a tenth of a second, far
// too little to prove it: how long after the budget the undecided answer comes.
void BM_Prove_BudgetOfATenthOfASecond(benchmark::State& state) {
    start();
    double over = 0;
    for (auto _ : state) {
        PROVE_LEVEL(24, 1, 0.1);
        over = proof_seconds - 0.1 > over ? proof_seconds - 0.1 : over;
    }
    state.counters["answer"] = proof_answer;
    state.counters["most s over"] = over;
}
BENCHMARK(BM_Prove_BudgetOfATenthOfASecond)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
