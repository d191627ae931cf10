// bench_player.cpp -- one frame of the player on a full 40 x 25 level, with
// the plain scans of the whole cell table and with the grid search that
// PLAYER_UPDATE prepares once per frame; and the two queries on their own.
#include "actors/player.h"
#include "main/shell.h"
#include "map/map.h"
#include "services/keyboard.h"
#include "services/screen.h"

#include <benchmark/benchmark.h>

namespace {

// A full level: platforms every fourth row with gaps, ladders between them,
// eggs and seed on the platforms and lifts in two shafts.
void build_full_level() {
    const int w = 40, h = 25;
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            int code = CELL_EMPTY;
            if (row == h - 1 || col == 0 || col == w - 1) code = CELL_BLOCK;
            else if (row % 4 == 0 && col % 9 != 4) code = CELL_BLOCK;
            else if (col % 9 == 4) code = CELL_LADDER;
            else if (row % 4 == 3 && col % 3 == 0) code = CELL_EGG;
            else if (row % 4 == 3 && col % 5 == 1) code = CELL_SEED;
            MapCell c{code, 32 * col, 32 * row, col, row, 0, 0};
            cells[row * w + col] = c;
        }
    }
    // Lifts in two shafts, off their starting squares as in play.
    for (int row = 2; row < h - 2; row += 6) {
        cells[row * w + 20] = MapCell{CELL_LIFT_V, 640, 32 * row + 7, 20, row, 0, 1};
        cells[row * w + 30] = MapCell{CELL_LIFT_H, 965, 32 * row, 30, row, 1, 0};
    }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
}

void setup() {
    if (!screen_is_open()) open_screen(18, 32, 2, 0, 0);
    keyboard_reset();
    build_full_level();
}

// The player in mid-air over open space walking right: almost every query
// misses, the plain scan's worst case.
void frame_in_the_air(benchmark::State& state, bool full_scan) {
    setup();
    player_set_full_scan(full_scan);
    keyboard_set_held(KEY_RIGHT, true);
    keyboard_set_held(KEY_UP, true);
    for (auto _ : state) {
        scroll_x = -320;
        scroll_y = -160;
        player_x = 300;
        player_y = 140; // map rows 300..331, between two platforms
        jump_count = 0;
        PLAYER_UPDATE();
        benchmark::DoNotOptimize(player_y);
    }
    player_set_full_scan(false);
    keyboard_reset();
}

// The player climbing a ladder: hits are found early in the table.
void frame_on_a_ladder(benchmark::State& state, bool full_scan) {
    setup();
    player_set_full_scan(full_scan);
    keyboard_set_held(KEY_UP, true);
    for (auto _ : state) {
        scroll_x = 0;
        scroll_y = -160;
        player_x = 13 * 32 - 6 + 8;
        player_y = 21 * 32 - 160;
        PLAYER_UPDATE();
        benchmark::DoNotOptimize(player_y);
    }
    player_set_full_scan(false);
    keyboard_reset();
}

void BM_PlayerUpdateAirFullScan(benchmark::State& s) { frame_in_the_air(s, true); }
void BM_PlayerUpdateAirGridSearch(benchmark::State& s) { frame_in_the_air(s, false); }
void BM_PlayerUpdateLadderFullScan(benchmark::State& s) { frame_on_a_ladder(s, true); }
void BM_PlayerUpdateLadderGridSearch(benchmark::State& s) { frame_on_a_ladder(s, false); }
BENCHMARK(BM_PlayerUpdateAirFullScan);
BENCHMARK(BM_PlayerUpdateAirGridSearch);
BENCHMARK(BM_PlayerUpdateLadderFullScan);
BENCHMARK(BM_PlayerUpdateLadderGridSearch);

// One query that finds nothing, each way, and the preparation itself.
void BM_PlayerOverMissScan(benchmark::State& state) {
    setup();
    scroll_x = -320;
    scroll_y = -160;
    player_x = 300;
    player_y = 200;
    for (auto _ : state) benchmark::DoNotOptimize(PLAYER_OVER_SCAN(CELL_EGG, 0, 0));
}
void BM_PlayerOverMissGrid(benchmark::State& state) {
    setup();
    scroll_x = -320;
    scroll_y = -160;
    player_x = 300;
    player_y = 200;
    PLAYER_SEARCH_PREPARE();
    for (auto _ : state) benchmark::DoNotOptimize(PLAYER_OVER_FAST(CELL_EGG, 0, 0));
}
void BM_PlayerSearchPrepare(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        PLAYER_SEARCH_PREPARE();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlayerOverMissScan);
BENCHMARK(BM_PlayerOverMissGrid);
BENCHMARK(BM_PlayerSearchPrepare);

} // namespace
