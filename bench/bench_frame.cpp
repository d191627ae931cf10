// bench_frame.cpp -- a whole frame of play on the busiest shipped level next to
// the memory floor of a frame: one fill of a page and one copy of a page.
//
// The busiest level is the level file with the most cells in one view (any
// view the scrolling allows, in whole squares), played as the last pass plays
// it (swans walking, the duck free), with the view there and swans added on
// its empty squares up to the table's 20.  Each iteration is
// PLAY_FRAME followed by what the window thread does with a shown frame: it
// takes the visible page for reading under the screen lock (shown_page, which
// settles every fill the screen put off).  Every 64 frames
// the game goes back to its snapshot, so the level never ends or empties.
#include "../tests/headless_driver.h"
#include "actors/swan.h"
#include "map/map.h"
#include "services/image.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

Snapshot start;
bool ready = false;

void press_space(long /*tick*/) { keyboard_queue(' '); }

// Drawable cells (code 1 or more) that lie at least partly in the view.
int cells_on_screen() {
    int n = 0;
    for (int i = 0; i <= last_cell; i++) {
        const MapCell& c = cells[i];
        const long sx = static_cast<long>(c.x) + scroll_x, sy = static_cast<long>(c.y) + scroll_y;
        if (c.code >= 1 && sx > -32 && sx < 640 && sy > -32 && sy < 480) n++;
    }
    return n;
}

// Starts the shell once and leaves the busiest level running after its box.
void set_up_busiest_level() {
    if (ready) return;
    if (chdir(GAME_DIR) != 0) std::abort();
    headless_begin(1, press_space);
    headless_start_shell();

    // Levels 19 to 27 play files 1 to 9 with swans and the free duck.
    int best_level = 19, best_cells = -1, best_x = 0, best_y = 0;
    for (int lvl = 19; lvl <= LAST_LEVEL; lvl++) {
        LEVEL_SETUP(lvl, 1);
        SWANS_CLEAR();
        MAP_LOAD(level_file);
        for (int y = 0; y >= 480 - 32 * map_height; y -= 32)
            for (int x = 0; x >= -640; x -= 32) {
                scroll_x = x;
                scroll_y = y;
                const int n = cells_on_screen();
                if (n > best_cells) best_cells = n, best_level = lvl, best_x = x, best_y = y;
            }
    }
    LEVEL_SETUP(best_level, 1);
    LEVEL_START();
    scroll_x = best_x;
    scroll_y = best_y;
    // Swans on empty squares of the view, top row first, up to the table's 20.
    for (int i = 0; i <= last_cell && swan_count < SWAN_MAX; i++) {
        const MapCell& c = cells[i];
        const long sx = static_cast<long>(c.x) + scroll_x, sy = static_cast<long>(c.y) + scroll_y;
        if (c.code == CELL_EMPTY && sx >= 0 && sx < 608 && sy >= 32 && sy < 448 && i % 3 == 0)
            SWANS_ADD(c.col, c.row);
    }
    SNAPSHOT_TAKE(&start);
    ready = true;
}

void BM_Frame_BusiestLevel(benchmark::State& state) {
    set_up_busiest_level();
    SNAPSHOT_RESTORE(start);
    int n = 0;
    for (auto _ : state) {
        if (++n % 64 == 0) SNAPSHOT_RESTORE(start);
        quit_code = 0;
        PLAY_FRAME();
        // The window thread's part of a shown frame.
        lock_screen();
        benchmark::DoNotOptimize(shown_page()->pixels[0]);
        take_dirty();
        unlock_screen(1, 0);
        benchmark::ClobberMemory();
    }
    state.counters["cells"] = cells_on_screen();
    state.counters["swans"] = swan_count;
    state.counters["level"] = level;
}
BENCHMARK(BM_Frame_BusiestLevel);

// The floor: one page filled and one page copied, plain memory work on the
// screen's own pages.
void BM_Frame_Floor_FillAndCopyPage(benchmark::State& state) {
    set_up_busiest_level();
    Image* work = work_page();
    Image* visible = visible_page();
    constexpr size_t words = size_t{SCREEN_WIDTH} * SCREEN_HEIGHT; // a constant, as the screen's own fill
    for (auto _ : state) {
        std::fill(work->pixels, work->pixels + words, 0xFF000000u);
        std::memcpy(visible->pixels, work->pixels, words * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(words) * 4 * 2);
}
BENCHMARK(BM_Frame_Floor_FillAndCopyPage);

} // namespace
