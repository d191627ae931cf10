// test_player_search.cpp -- the grid search PLAYER_UPDATE uses must give
// exactly the plain scan's answers (lowest matching index) on random maps,
// with moving lifts, cells off their squares and entries past the map, and
// whole runs of frames must come out the same with either search.
#include "test_player_map.h"
#include "actors/player.h"
#include "main/snapshot.h"

#include <random>

using namespace player_test;

namespace {

class PlayerSearch : public PlayerFixture {};

// A random level-like table: w x h cells of random codes (items, ladders,
// blocks and lifts), some lifts moved off their squares, and a few stray
// entries past last_cell or off their squares.
void build_random_map(std::mt19937& rng) {
    std::uniform_int_distribution<int> width(1, 40);
    const int w = width(rng);
    std::uniform_int_distribution<int> height(1, 1000 / w);
    const int h = height(rng);
    static const int kCodes[] = {0, 0, 0, 0, 0, 1, 1, 3, 4, 4, 7, 7, 8, 9, 10, 2, 5, 6};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kCodes)) - 1);
    std::uniform_int_distribution<int> nudge(-40, 40);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            MapCell c{kCodes[pick(rng)], 32 * col, 32 * row, col, row, 0, 0};
            if (c.code == CELL_LIFT_V) {
                c.dy = 1;
                if (percent(rng) < 70) c.y += nudge(rng);
            } else if (c.code == CELL_LIFT_H) {
                c.dx = 1;
                if (percent(rng) < 70) c.x += nudge(rng);
            } else if (percent(rng) < 2) {
                c.x += nudge(rng); // an odd cell off its square
                c.y += nudge(rng);
            }
            cells[row * w + col] = c;
        }
    }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    // Strays past the map, at random places.
    std::uniform_int_distribution<int> index(w * h, CELL_TABLE_SIZE - 1);
    std::uniform_int_distribution<int> where(-64, 32 * 40);
    const int strays = percent(rng) < 50 ? 0 : 1 + percent(rng) % 4;
    for (int i = 0; i < strays && w * h < CELL_TABLE_SIZE; ++i) {
        cells[index(rng)] = MapCell{kCodes[pick(rng)], where(rng), where(rng), 0, 0, 0, 0};
    }
    map_cells_changed();
}

// A view and a player position somewhere over (or just off) the map.
void random_place(std::mt19937& rng) {
    std::uniform_int_distribution<int> sx(-640, 0);
    std::uniform_int_distribution<int> sy(-320, 0);
    std::uniform_int_distribution<int> px(-80, 32 * map_width + 40);
    std::uniform_int_distribution<int> py(-80, 32 * map_height + 40);
    place(px(rng), py(rng), sx(rng), sy(rng));
}

TEST_F(PlayerSearch, GridSearchMatchesThePlainScan) {
    std::mt19937 rng(20260501);
    std::uniform_int_distribution<int> shift(-3, 3);
    int hits = 0;
    for (int map = 0; map < 300; ++map) {
        build_random_map(rng);
        PLAYER_SEARCH_PREPARE();
        for (int pos = 0; pos < 100; ++pos) {
            random_place(rng);
            const int dx = shift(rng), dy = shift(rng);
            for (int code = -1; code <= 10; ++code) {
                const int want = PLAYER_OVER_SCAN(code, dx, dy);
                ASSERT_EQ(PLAYER_OVER_FAST(code, dx, dy), want)
                    << "map " << map << " code " << code << " at " << map_px() << ","
                    << map_py() << " shift " << dx << "," << dy;
                hits += want >= 0;
            }
            ASSERT_EQ(PLAYER_COLLIDE_FAST(dx, dy), PLAYER_COLLIDE_SCAN(dx, dy))
                << "map " << map << " at " << map_px() << "," << map_py();
        }
    }
    // The random maps must actually exercise hits, not only misses.
    EXPECT_GT(hits, 10000);
}

TEST_F(PlayerSearch, EmptyAndUnloadedTables) {
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    last_cell = -1;
    map_width = 0;
    map_height = 0;
    // A stray egg where no map is loaded is still found.
    cells[700] = MapCell{CELL_EGG, 64, 64, 0, 0, 0, 0};
    place(60, 60);
    PLAYER_SEARCH_PREPARE();
    EXPECT_EQ(PLAYER_OVER_FAST(CELL_EGG, 0, 0), 700);
    EXPECT_EQ(PLAYER_OVER_SCAN(CELL_EGG, 0, 0), 700);
    EXPECT_EQ(PLAYER_COLLIDE_FAST(0, 0), -1);
}

// A play state that brings back an item off its square brings it back into
// the search: walking over it again takes it again.
TEST_F(PlayerSearch, AnItemBroughtBackByAPlayStateIsTakenAgain) {
    build_floor_map(20, 15);
    cells[13 * 20 + 6] = MapCell{CELL_EGG, 6 * 32 + 7, 13 * 32 + 5, 6, 13, 0, 0};
    map_cells_changed();
    place(100, 416);
    PLAY_STATE_MARK();
    alignas(64) static unsigned char start[1 << 12];
    ASSERT_LE(PLAY_STATE_BYTES(), static_cast<int>(sizeof start));
    PLAY_STATE_TAKE(start);
    for (int pass = 0; pass < 2; ++pass) {
        frames(60, RIGHT);
        EXPECT_EQ(eggs_taken, 1) << "pass " << pass;
        EXPECT_EQ(cells[13 * 20 + 6].code, CELL_EMPTY) << "pass " << pass;
        PLAY_STATE_RESTORE(start);
        EXPECT_EQ(eggs_taken, 0);
    }
}

// The frames PLAYER_UPDATE produces with the grid search and with the plain
// scans, lifts moving under MAP_UPDATE (with its prepared lookups and with
// MAP_COLLIDE's full scans) and random keys, agree exactly.  The lookups are
// kept between frames, so the runs also go back to earlier play states (items
// taken come back, lifts jump back) as the prover does.
TEST_F(PlayerSearch, WholeRunsAgreeWithEitherSearch) {
    struct Snapshot {
        int px, py, sx, sy, pose, frame, steps, jump, ladder, score, eggs;
        uint64_t lifts;
        bool operator==(const Snapshot&) const = default;
    };
    auto snap = [] {
        uint64_t lifts = 0;
        for (int k = 0; k < CELL_TABLE_SIZE; ++k)
            lifts = lifts * 31 + static_cast<uint64_t>(cells[k].x * 7 + cells[k].y * 3 + cells[k].dx + cells[k].dy * 5);
        return Snapshot{player_x, player_y, scroll_x, scroll_y, player_pose, player_frame,
                        player_step_count, jump_count, ladder_cell, score, eggs_taken, lifts};
    };
    static Table<MapCell, CELL_TABLE_SIZE> saved;
    for (int run = 0; run < 20; ++run) {
        std::mt19937 rng(1000 + run);
        build_random_map(rng);
        random_place(rng);
        for (int k = 0; k < CELL_TABLE_SIZE; ++k) saved[k] = cells[k];
        const int px = player_x, py = player_y, sx = scroll_x, sy = scroll_y;
        std::uniform_int_distribution<int> keys(0, 15);
        Table<int, 300> key_stream;
        for (int i = 0; i < 300; ++i) key_stream[i] = keys(rng);

        Table<Snapshot, 300> first;
        alignas(64) static unsigned char state[1 << 16];
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = saved[k];
            map_cells_changed();
            PLAY_STATE_MARK();
            ASSERT_LE(PLAY_STATE_BYTES(), static_cast<int>(sizeof state));
            player_x = px, player_y = py, scroll_x = sx, scroll_y = sy;
            player_pose = player_frame = player_step_count = jump_count = 0;
            score = eggs_taken = 0;
            player_set_full_scan(pass == 1);
            map_set_full_scan(pass == 1);
            for (int i = 0; i < 300; ++i) {
                hold(key_stream[i / 10 * 10]); // keys held for ten frames at a time
                if (i % 50 == 20) PLAY_STATE_TAKE(state);
                if (i % 50 == 45) PLAY_STATE_RESTORE(state);
                MAP_UPDATE();
                PLAYER_UPDATE();
                if (pass == 0) {
                    first[i] = snap();
                } else {
                    ASSERT_TRUE(first[i] == snap()) << "run " << run << " frame " << i;
                }
            }
        }
    }
    player_set_full_scan(false);
    map_set_full_scan(false);
}

} // namespace
