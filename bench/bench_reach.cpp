// bench_reach.cpp -- reachability, one whole check (graph, the walk from the
// start, the walk back from each egg) per iteration: on each of the nine
// level files (levels 1 to 27 play them), and on a full 40 x 25 map with an
// egg in every free cell, the most walks back a level can ask for.
#include "actors/swan.h"
#include "map/map.h"
#include "proof/reach.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>

namespace {

void BM_Reach_LevelFile(benchmark::State& state) {
    if (chdir(GAME_DIR) != 0) std::abort();
    SWANS_CREATE_TABLE();
    MAP_LOAD(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(REACH_LEVEL());
    state.counters["eggs"] = reach_eggs;
    state.counters["lost"] = reach_lost_count;
}
BENCHMARK(BM_Reach_LevelFile)->DenseRange(1, 9)->Unit(benchmark::kMicrosecond);

// Floors every fourth row with a ladder through each, eggs everywhere else.
void BM_Reach_EggInEveryFreeCell(benchmark::State& state) {
    const int w = 40, h = 25;
    MAP_CREATE_TABLE();
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k].code = CELL_NONE;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            int code = CELL_EGG;
            if (row == 0 || row == h - 1 || col == 0 || col == w - 1 || row % 4 == 0) code = CELL_BLOCK;
            if (col == 5 + (row / 4) % 2 * 28 && row > 0 && row < h - 1) code = CELL_LADDER;
            cells[row * w + col] = MapCell{code, 32 * col, 32 * row, col, row, 0, 0};
        }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    for (auto _ : state) benchmark::DoNotOptimize(REACH_FROM(1, h - 2));
    state.counters["eggs"] = reach_eggs;
    state.counters["lost"] = reach_lost_count;
}
BENCHMARK(BM_Reach_EggInEveryFreeCell)->Unit(benchmark::kMicrosecond);

} // namespace
