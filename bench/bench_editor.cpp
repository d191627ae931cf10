// bench_editor.cpp -- the level editor: one edit and every check after it
// (the rules and the game's reach on the level as it stands), on the
// largest level the game takes (40 x 25) with an egg in every free cell, the
// most the reach can be asked; and undo with redo.  An edit and its checks
// are to take well under a frame (16 ms).
#include "actors/swan.h"
#include "editor/edit_level.h"
#include "map/map.h"

#include <benchmark/benchmark.h>

namespace {

// Floors every fourth row, a ladder through each, eggs everywhere else.
void full_level() {
    SWANS_CREATE_TABLE();
    MAP_CREATE_TABLE();
    EDIT_NEW(EDIT_MAX_HEIGHT);
    EDIT_STROKE_BEGIN();
    for (int row = 1; row < EDIT_MAX_HEIGHT - 1; ++row)
        for (int col = 1; col < EDIT_WIDTH - 1; ++col) {
            int code = row % 4 == 0 ? CELL_BLOCK : CELL_EGG;
            if (col == 5 + (row / 4) % 2 * 28) code = CELL_LADDER;
            EDIT_PAINT(col, row, code);
        }
    EDIT_PAINT(20, EDIT_MAX_HEIGHT - 2, CELL_PLAYER);
    EDIT_PAINT(2, 1, CELL_DUCK);
    EDIT_STROKE_END();
}

void BM_Edit_PaintAndCheckLargestLevel(benchmark::State& state) {
    full_level();
    EditReport report;
    int n = 0;
    for (auto _ : state) {
        EDIT_PAINT(10, 10, n++ % 2 ? CELL_EGG : CELL_SEED);
        EDIT_CHECK(&report);
        benchmark::DoNotOptimize(report.lost);
    }
    state.counters["eggs"] = report.eggs;
    state.counters["lost"] = report.lost;
}
BENCHMARK(BM_Edit_PaintAndCheckLargestLevel)->Unit(benchmark::kMicrosecond);

void BM_Edit_UndoRedo(benchmark::State& state) {
    full_level();
    for (int i = 0; i < 256; i++) EDIT_PAINT(1 + i % 38, 1, i % 2 ? CELL_EGG : CELL_EMPTY);
    for (auto _ : state) {
        EDIT_UNDO();
        EDIT_REDO();
    }
}
BENCHMARK(BM_Edit_UndoRedo)->Unit(benchmark::kMicrosecond);

} // namespace
