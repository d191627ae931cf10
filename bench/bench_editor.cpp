// bench_editor.cpp -- the level editor: one edit and every check after it
// (the rules and the game's reach on the level as it stands), on the
// largest level the game takes (40 x 25) with an egg in every free cell, the
// most the reach can be asked; and undo with redo.  An edit and its checks
// are to take well under a frame (16 ms).  Also the level file of that level
// read and made again (Open and Save without the disk), and a small level
// proved in the background as the editor proves one: the child process
// started, its lines read each tick, its answer (real time, start to end).
#include "actors/swan.h"
#include "editor/edit_file.h"
#include "editor/edit_level.h"
#include "editor/edit_prove.h"
#include "map/map.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <vector>

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

void BM_Edit_OpenAndSaveLargestLevelFile(benchmark::State& state) {
    full_level();
    std::vector<unsigned char> file(EDIT_FILE_MAX_BYTES), saved(EDIT_FILE_MAX_BYTES);
    file.resize(static_cast<size_t>(EDIT_FILE_BYTES(file.data(), static_cast<int>(file.size()))));
    char why[EDIT_FILE_WHY_CHARS];
    for (auto _ : state) {
        if (!EDIT_FILE_OPEN_BYTES(file.data(), static_cast<int>(file.size()), why, sizeof why)) state.SkipWithError(why);
        benchmark::DoNotOptimize(EDIT_FILE_BYTES(saved.data(), static_cast<int>(saved.size())));
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_Edit_OpenAndSaveLargestLevelFile)->Unit(benchmark::kMicrosecond);

// The small level of the editor's tests: two eggs on the floor, a block between.
void BM_Edit_ProveSmallLevelInTheBackground(benchmark::State& state) {
    std::snprintf(edit_prove_program, sizeof edit_prove_program, "%s/clovenfeld", GAME_DIR);
    EDIT_FILE_NEW(15);
    EDIT_PAINT(26, 13, CELL_EGG);
    EDIT_PAINT(13, 13, CELL_EGG);
    EDIT_PAINT(23, 13, CELL_BLOCK);
    long ticks = 0;
    for (auto _ : state) {
        if (!EDIT_PROVE_START(1, 1, 60, 1, nullptr)) state.SkipWithError(edit_proof.reason);
        while (edit_proof.state == EDIT_PROOF_RUNNING) {
            EDIT_PROVE_TICK();
            usleep(1000);
        }
        if (edit_proof.state != EDIT_PROOF_PROVEN) state.SkipWithError(edit_proof.reason);
        ticks = edit_proof.ticks;
    }
    EDIT_PROVE_END();
    edit_prove_program[0] = '\0';
    state.counters["ticks"] = static_cast<double>(ticks);
}
BENCHMARK(BM_Edit_ProveSmallLevelInTheBackground)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace
