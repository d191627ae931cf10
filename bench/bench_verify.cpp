// bench_verify.cpp -- --verify's speed: the whole game recording (144,308
// ticks, all 27 levels) and one level's, played headless without drawing and
// checked at every state hash, in ticks a second (real time is 100).
//   clovenfeld_bench --benchmark_filter=Verify
#include "main/verify_command.h"
#include "port/datadir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void BM_Verify_Recording(benchmark::State& state, const char* name, double ticks) {
    choose_data_dir(GAME_DIR);
    const std::string path = std::string(SOURCE_DIR) + "/assets/recordings/" + name;
    int status = -1;
    char line[512] = "";
    for (auto _ : state) status = VERIFY_RECORDING(path.c_str(), line, sizeof line);
    if (status != VERIFY_OK || std::strstr(line, "ok: ") != line) state.SkipWithError(line);
    state.counters["ticks/s"] = benchmark::Counter(ticks, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_Verify_Recording, game, "game.rec", 155459)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verify_Recording, level24, "level-24.rec", 7013)->Unit(benchmark::kMillisecond);

} // namespace
