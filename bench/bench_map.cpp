// bench_map.cpp -- the map's per-frame work on a crowded 40 x 25 level: moving
// the lifts (each lift walks the whole table to test its next step), drawing
// a full screen of cells, the overview map, and loading a level file.
#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"
#include "services/image.h"
#include "services/screen.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <vector>

namespace {

// Blocks on every third row with gaps, ladders in the gaps, eggs above the
// blocks and `lifts` lifts spread over the open rows.
void build_crowded_level(int lifts) {
    const int w = 40, h = 25;
    MAP_CREATE_TABLE();
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k].code = CELL_NONE;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            int code = CELL_EMPTY;
            if (row % 3 == 0 && col % 8 != 3) code = CELL_BLOCK;
            else if (col % 8 == 3) code = CELL_LADDER;
            else if (row % 3 == 2 && col % 2 == 0) code = CELL_EGG;
            cells[row * w + col] = MapCell{code, 32 * col, 32 * row, col, row, 0, 0};
        }
    }
    int placed = 0;
    for (int row = 1; row < h && placed < lifts; row += 3)
        for (int col = 0; col < w && placed < lifts; col += 2) {
            if (col % 8 == 3) continue;
            const bool vertical = (placed % 2) == 0;
            cells[row * w + col] = MapCell{vertical ? CELL_LIFT_V : CELL_LIFT_H, 32 * col, 32 * row, col, row,
                                           vertical ? 0 : 1, vertical ? 1 : 0};
            placed++;
        }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    scroll_x = -320;
    scroll_y = -160;
    player_x = -1000; // out of every lift's way
    player_y = -1000;
}

void open_cells() {
    if (!screen_is_open()) open_screen(18, 32, 2, 0, 0);
    for (int slot = 0; slot < CELL_IMAGE_SLOTS; ++slot)
        if (cell_images[slot] == nullptr) {
            cell_images[slot] = create_image(32, 32, 0xFF64FF64);
            image_changed(cell_images[slot]); // as load_bitmap leaves a sprite
        }
}

void BM_MapUpdate(benchmark::State& state) {
    open_cells();
    build_crowded_level(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        MAP_UPDATE();
        benchmark::ClobberMemory();
    }
    state.counters["lifts"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_MapUpdate)->Arg(4)->Arg(20)->Arg(100);

void BM_MapDraw(benchmark::State& state) {
    open_cells();
    build_crowded_level(20);
    for (auto _ : state) {
        MAP_DRAW();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MapDraw);

void BM_MapSmall(benchmark::State& state) {
    open_cells();
    build_crowded_level(20);
    for (auto _ : state) {
        MAP_SMALL();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MapSmall);

// Reading a 40 x 25 level file from a scratch folder.
void BM_MapLoad(benchmark::State& state) {
    SWANS_CREATE_TABLE();
    char saved[4096];
    if (getcwd(saved, sizeof saved) == nullptr) return;
    char dir[] = "/tmp/clovenfeld_bench_map_XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return;
    std::vector<uint8_t> file(54 + 1024 + 1000, 0);
    const auto put32 = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k) file[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(10, 54 + 1024);
    put32(14, 40);
    put32(18, 40);
    put32(22, 25);
    for (int k = 0; k < 1000; ++k) file[54 + 1024 + k] = static_cast<uint8_t>(k % 10);
    if (system("mkdir -p levels") != 0) return;
    std::FILE* f = std::fopen("levels/1.bmp", "wb");
    if (f == nullptr) return;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    for (auto _ : state) {
        MAP_LOAD(1);
        benchmark::DoNotOptimize(last_cell);
    }
    std::remove("levels/1.bmp");
    rmdir("levels");
    if (chdir(saved) != 0) return;
    rmdir(dir);
}
BENCHMARK(BM_MapLoad);

} // namespace
