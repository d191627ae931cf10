// test_swan.cpp -- tests of the swans: filling the table, walking and
// turning, climbing ladders (with the odds measured over seeded trials), the
// grid's edges, resets and drawing.  Maps are laid out from small pictures of
// characters written straight into the cell table.
#include "actors/swan.h"
#include "map/map.h"
#include "services/image.h"
#include "services/random.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// '#' block, '.' empty, 'H' ladder, 'e' egg, 's' seed, '-' horizontal lift.
void set_grid(const std::vector<std::string>& rows) {
    const int w = static_cast<int>(rows[0].size());
    const int h = static_cast<int>(rows.size());
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int code = CELL_EMPTY;
            switch (rows[r][c]) {
            case '#': code = CELL_BLOCK; break;
            case 'H': code = CELL_LADDER; break;
            case 'e': code = CELL_EGG; break;
            case 's': code = CELL_SEED; break;
            case '-': code = CELL_LIFT_H; break;
            default: break;
            }
            cells[r * w + c] = MapCell{code, c * 32, r * 32, c, r, 0, 0};
        }
    }
    scroll_x = scroll_y = 0;
}

// One swan in slot 0 at (col, row), walking in direction dir, about to take a
// step (its next SWANS_MOVE is an odd tick).
Swan& place_swan(int col, int row, int dir, int vdir = 0) {
    SWANS_CLEAR();
    SWANS_ADD(col, row);
    Swan& s = swans[0];
    s.dir = dir;
    s.vdir = vdir;
    return s;
}

// Runs SWANS_MOVE until slot 0 takes its next step (skipping a rest frame).
void step() {
    if (swans[0].move_tick % 2 != 0) SWANS_MOVE();
    SWANS_MOVE();
}

// Moves slot 0 on until it is aligned with a cell again (at most limit steps).
void move_until_aligned(int limit = 100) {
    for (int i = 0; i < limit; ++i) {
        step();
        if (swans[0].sub_x == 0 && swans[0].sub_y == 0) return;
    }
    FAIL() << "the swan never came into line with a cell";
}

bool same_state(const RandomState& a, const RandomState& b) {
    return a.index == b.index && a.seeded == b.seeded &&
           std::memcmp(a.word, b.word, sizeof a.word) == 0;
}

// The rolls a twin generator started from `from` would give.
std::vector<int> twin_rolls(const RandomState& from, int count, int n) {
    RandomState saved;
    random_get_state(&saved);
    random_set_state(from);
    std::vector<int> out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<int>(random_unit() * n));
    random_set_state(saved);
    return out;
}

// A tolerance of five standard deviations for a measured share over n trials.
double tolerance(double p, int n) { return 5.0 * std::sqrt(p * (1.0 - p) / n); }

void ensure_screen() {
    if (!screen_is_open()) {
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    }
    ASSERT_EQ(set_pages(0, 1), 0);
}

} // namespace

// --- filling, clearing and resetting the table --------------------------------

TEST(SwanTable, CreateTableClearsEverySlot) {
    swans[7].active = 1;
    swans[7].col = 9;
    swan_count = 5;
    SWANS_CREATE_TABLE();
    EXPECT_EQ(swan_count, 0);
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        EXPECT_EQ(swans[i].active, 0);
        EXPECT_EQ(swans[i].col, 0);
    }
}

TEST(SwanTable, TwentyFiveStartsGiveTwentySwansInOrder) {
    seed_random(7);
    SWANS_CLEAR();
    RandomState before;
    random_get_state(&before);
    for (int i = 0; i < 25; ++i) SWANS_ADD(i % 8, i / 8); // the loader's order
    EXPECT_EQ(swan_count, 20);
    // One roll per swan placed, none for the five ignored.
    const std::vector<int> rolls = twin_rolls(before, 20, 9);
    RandomState after, twin;
    random_get_state(&after);
    random_set_state(before);
    for (int i = 0; i < 20; ++i) random_unit();
    random_get_state(&twin);
    EXPECT_TRUE(same_state(after, twin));
    int rights = 0;
    for (int i = 0; i < 20; ++i) {
        const Swan& s = swans[i];
        EXPECT_EQ(s.active, 1);
        EXPECT_EQ(s.col, i % 8);
        EXPECT_EQ(s.row, i / 8);
        EXPECT_EQ(s.start_col, s.col);
        EXPECT_EQ(s.start_row, s.row);
        EXPECT_EQ(s.sub_x, 0);
        EXPECT_EQ(s.sub_y, 0);
        EXPECT_EQ(s.dir, rolls[i] <= 5 ? +1 : -1) << "slot " << i;
        rights += s.dir == +1;
    }
    EXPECT_GT(rights, 0);
    EXPECT_EQ(swans[20].active, 0);
}

TEST(SwanTable, ClearKeepsCellsButEmptiesSlots) {
    SWANS_CLEAR();
    SWANS_ADD(4, 5);
    swans[0].vdir = -1;
    swans[0].sub_y = -7;
    swans[0].frame = 1;
    swans[0].move_tick = 3;
    SWANS_CLEAR();
    const Swan& s = swans[0];
    EXPECT_EQ(swan_count, 0);
    EXPECT_EQ(s.active, 0);
    EXPECT_EQ(s.dir, 0);
    EXPECT_EQ(s.vdir, 0);
    EXPECT_EQ(s.sub_y, 0);
    EXPECT_EQ(s.frame, 0);
    EXPECT_EQ(s.move_tick, 0);
    EXPECT_EQ(s.col, 4);
    EXPECT_EQ(s.start_row, 5);
}

TEST(SwanTable, ResetRollsForEverySlotActiveOrNot) {
    seed_random(1234);
    SWANS_CLEAR();
    SWANS_ADD(3, 4);
    SWANS_ADD(6, 2);
    swans[0].col = 10;
    swans[0].sub_x = 5;
    swans[0].vdir = 1;
    swans[0].frame = 1;
    swans[0].move_tick = 9;
    swans[15].start_col = 8; // a slot left over from an earlier level
    swans[15].start_row = 1;
    RandomState before;
    random_get_state(&before);
    SWANS_RESET();
    RandomState after;
    random_get_state(&after);
    const std::vector<int> rolls = twin_rolls(before, SWAN_SLOTS, 9);
    RandomState twin;
    random_set_state(before);
    for (int i = 0; i < SWAN_SLOTS; ++i) random_unit();
    random_get_state(&twin);
    EXPECT_TRUE(same_state(after, twin)) << "one random number per slot";
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        const Swan& s = swans[i];
        EXPECT_EQ(s.active, i < 2 ? 1 : 0);
        EXPECT_EQ(s.col, s.start_col);
        EXPECT_EQ(s.row, s.start_row);
        EXPECT_EQ(s.sub_x, 0);
        EXPECT_EQ(s.sub_y, 0);
        EXPECT_EQ(s.vdir, 0);
        EXPECT_EQ(s.frame, 0);
        EXPECT_EQ(s.move_tick, 0);
        EXPECT_EQ(s.dir, rolls[i] <= 5 ? +1 : -1) << "slot " << i;
    }
    EXPECT_EQ(swans[0].col, 3);
    EXPECT_EQ(swans[15].col, 8);
    EXPECT_EQ(swans[15].row, 1);
}

// --- walking -------------------------------------------------------------------

TEST(SwanWalk, MovesSixPixelsInElevenFramesAndSkipsEmptySlots) {
    set_grid({"..........",
              "..........",
              "##########"});
    Swan& s = place_swan(1, 1, +1);
    s.sub_x = 1; // between cells: no decisions
    swans[5].move_tick = 4; // an empty slot is left alone
    RandomState before;
    random_get_state(&before);
    std::vector<int> xs;
    for (int f = 0; f < 22; ++f) {
        SWANS_MOVE();
        xs.push_back(s.sub_x);
        if (f == 10) {
            EXPECT_EQ(s.frame, 1);
            EXPECT_EQ(s.move_tick, 0);
        }
    }
    EXPECT_EQ(xs[0], 2);  // tick 1 moves
    EXPECT_EQ(xs[1], 2);  // tick 2 rests
    EXPECT_EQ(xs[10], 7); // six pixels after eleven frames
    EXPECT_EQ(xs[11], 8); // tick 1 again
    EXPECT_EQ(xs[21], 13);
    EXPECT_EQ(s.frame, 0);
    EXPECT_EQ(swans[5].move_tick, 4);
    RandomState after;
    random_get_state(&after);
    EXPECT_TRUE(same_state(before, after)) << "plain walking draws no random numbers";
}

TEST(SwanWalk, CarriesIntoTheNextCell) {
    set_grid({"..........",
              "..........",
              "##########"});
    Swan& s = place_swan(4, 1, -1);
    move_until_aligned();
    EXPECT_EQ(s.col, 3);
    EXPECT_EQ(s.sub_x, 0);
}

TEST(SwanWalk, TurnsAtTheLastCellWithFloorAndStepsBackAtOnce) {
    set_grid({"..........",
              "..........",
              "#####.....",
              "##########"});
    Swan& s = place_swan(1, 1, +1);
    // Walks right while the next cell has floor under it.
    for (int col = 2; col <= 4; ++col) {
        move_until_aligned();
        EXPECT_EQ(s.col, col);
        EXPECT_EQ(s.dir, +1);
    }
    // Aligned with column 4, the last over a block: the next move turns it
    // and takes the first pixel to the left in the same frame.
    step();
    EXPECT_EQ(s.dir, -1);
    EXPECT_EQ(s.col, 4);
    EXPECT_EQ(s.sub_x, -1);
    move_until_aligned();
    EXPECT_EQ(s.col, 3);
    EXPECT_EQ(s.dir, -1);
}

TEST(SwanWalk, TurnsWhenAlignedWithTheCellNextToAWall) {
    set_grid({"..........",
              "......#...",
              "##########"});
    Swan& s = place_swan(3, 1, +1);
    move_until_aligned();
    EXPECT_EQ(s.col, 4);
    EXPECT_EQ(s.dir, +1);
    move_until_aligned();
    EXPECT_EQ(s.col, 5);
    EXPECT_EQ(s.dir, +1) << "no turn until the move that starts at the wall's neighbour";
    step();
    EXPECT_EQ(s.dir, -1);
    EXPECT_EQ(s.col, 5);
    EXPECT_EQ(s.sub_x, -1);
}

TEST(SwanWalk, AfterTurningDoesNotLookAgain) {
    // Walls on both sides: it turns once and steps into the wall cell's side.
    set_grid({".....",
              ".#.#.",
              "#####"});
    Swan& s = place_swan(2, 1, +1);
    SWANS_MOVE();
    EXPECT_EQ(s.dir, -1);
    EXPECT_EQ(s.col, 2);
    EXPECT_EQ(s.sub_x, -1);
    // Its next look comes only in line with column 1.
    move_until_aligned();
    EXPECT_EQ(s.col, 1);
    EXPECT_EQ(s.dir, -1);
}

TEST(SwanWalk, WalksThroughEggsSeedAndLifts) {
    set_grid({"..........",
              ".es-......",
              "##########"});
    Swan& s = place_swan(0, 1, +1);
    for (int col = 1; col <= 4; ++col) {
        move_until_aligned();
        EXPECT_EQ(s.col, col);
        EXPECT_EQ(s.dir, +1);
    }
    // A lift's start square under the floor reads as empty: a drop.
    set_grid({"......",
              "......",
              "###-##"});
    Swan& t = place_swan(1, 1, +1);
    move_until_aligned();
    EXPECT_EQ(t.col, 2);
    step();
    EXPECT_EQ(t.dir, -1);
}

// --- the grid's edges --------------------------------------------------------------

TEST(SwanEdge, TurnsAtTheGridsRightAndLeftEdges) {
    // Read past the row's end, the right edge would show the next row's first
    // cell (empty here, with nothing under it): the swan must still turn.
    set_grid({"....",
              "....",
              ".###"});
    Swan& s = place_swan(3, 1, +1);
    SWANS_MOVE();
    EXPECT_EQ(s.dir, -1);
    EXPECT_EQ(s.col, 3);
    EXPECT_EQ(s.sub_x, -1);

    // Read before the row's start, the left edge would show the row above's
    // last cell (free, over an egg): the swan must still turn.
    set_grid({"....",
              "...e",
              "####"});
    Swan& t = place_swan(0, 1, -1);
    SWANS_MOVE();
    EXPECT_EQ(t.dir, +1);
    EXPECT_EQ(t.sub_x, 1);
}

TEST(SwanEdge, WalksTheBottomRowAndClimbsBackFromTheTopRow) {
    // Beyond the bottom row is solid ground; a ladder that reaches the top
    // row ends there: a climbing swan gets off instead of leaving the grid.
    set_grid({"..H..",
              "##H##",
              "..H..",
              "#####",
              "....."});
    Swan& s = place_swan(0, 4, +1);
    for (int col = 1; col <= 4; ++col) move_until_aligned();
    EXPECT_EQ(s.col, 4);
    step();
    EXPECT_EQ(s.dir, -1);
    Swan& t = place_swan(2, 1, +1, -1);
    t.sub_y = -1; // on its way up from row 1
    move_until_aligned();
    EXPECT_EQ(t.row, 0);
    step();
    EXPECT_EQ(t.vdir, 0);
    EXPECT_EQ(t.row, 0);
    EXPECT_EQ(t.sub_x, 1);
}

TEST(SwanEdge, StaysInsideTheGridForThousandsOfFrames) {
    set_grid({"H...H",
              "H...H",
              "H###H",
              "H...H"});
    seed_random(99);
    SWANS_CLEAR();
    SWANS_ADD(0, 3);
    SWANS_ADD(4, 0);
    SWANS_ADD(2, 1);
    for (int f = 0; f < 20000; ++f) {
        SWANS_MOVE();
        for (int i = 0; i < 3; ++i) {
            const Swan& s = swans[i];
            // Hemmed in by a drop and the edge, a swan turns and walks on
            // without looking again, at most one cell beyond the edge.
            ASSERT_GE(s.col * 32 + s.sub_x, -32) << "swan " << i << " frame " << f;
            ASSERT_LE(s.col * 32 + s.sub_x, 5 * 32) << "swan " << i << " frame " << f;
            ASSERT_GE(s.row * 32 + s.sub_y, 0) << "swan " << i << " frame " << f;
            ASSERT_LE(s.row * 32 + s.sub_y, 3 * 32) << "swan " << i << " frame " << f;
        }
    }
}

// --- ladders ----------------------------------------------------------------------

namespace {
// A three-cell ladder in column 2 (rows 1 to 3) standing on the floor of row 4,
// with free space above it; the sides have floor so both ways off are open.
const std::vector<std::string> LADDER = {
    ".....",
    "..H..",
    "##H##",
    "..H..",
    "#####"};
} // namespace

TEST(SwanLadder, StartsUpAtTheFootWithProbabilityOneHalf) {
    set_grid(LADDER);
    seed_random(2024);
    const int trials = 4000;
    int ups = 0;
    for (int t = 0; t < trials; ++t) {
        Swan& s = place_swan(2, 3, t % 2 ? +1 : -1);
        RandomState before;
        random_get_state(&before);
        const int roll = twin_rolls(before, 1, 10)[0];
        SWANS_MOVE();
        ASSERT_EQ(s.vdir == -1, roll > 4);
        if (s.vdir == -1) {
            ++ups;
            EXPECT_EQ(s.sub_y, -1);
            EXPECT_EQ(s.sub_x, 0);
        } else {
            EXPECT_EQ(s.sub_x, s.dir);
        }
    }
    EXPECT_NEAR(ups / double(trials), 0.5, tolerance(0.5, trials));
}

TEST(SwanLadder, StartsDownAtTheHeadWithProbabilityOneThird) {
    set_grid(LADDER);
    seed_random(77);
    const int trials = 4000;
    int downs = 0;
    for (int t = 0; t < trials; ++t) {
        Swan& s = place_swan(2, 1, +1);
        RandomState before;
        random_get_state(&before);
        const int roll = twin_rolls(before, 1, 9)[0];
        SWANS_MOVE();
        ASSERT_EQ(s.vdir == 1, roll > 5);
        downs += s.vdir == 1;
    }
    EXPECT_NEAR(downs / double(trials), 1.0 / 3.0, tolerance(1.0 / 3.0, trials));
}

TEST(SwanLadder, WalkingPastTheMiddleTakesNoDecision) {
    set_grid(LADDER);
    Swan& s = place_swan(2, 2, +1);
    // Row 2 of the ladder has ladder above and below: neither foot nor head.
    RandomState before, after;
    random_get_state(&before);
    SWANS_MOVE();
    random_get_state(&after);
    EXPECT_TRUE(same_state(before, after));
    EXPECT_EQ(s.vdir, 0);
}

TEST(SwanLadder, ClimbsAllTheWayUpAndGetsOffAtTheHead) {
    set_grid(LADDER);
    seed_random(5);
    int lefts = 0;
    const int trials = 2000;
    for (int t = 0; t < trials; ++t) {
        Swan& s = place_swan(2, 3, +1, -1);
        s.sub_y = -1; // already on its way up
        move_until_aligned();
        ASSERT_EQ(s.row, 2);
        ASSERT_EQ(s.vdir, -1);
        move_until_aligned();
        ASSERT_EQ(s.row, 1);
        // At the head: it gets off by the side the roll picks, both being open.
        RandomState before;
        random_get_state(&before);
        const int roll = twin_rolls(before, 1, 10)[0];
        step();
        ASSERT_EQ(s.vdir, 0);
        ASSERT_EQ(s.dir, roll > 4 ? -1 : +1);
        ASSERT_EQ(s.sub_x, s.dir);
        lefts += s.dir == -1;
    }
    EXPECT_NEAR(lefts / double(trials), 0.5, tolerance(0.5, trials));
}

TEST(SwanLadder, TakesTheOnlyOpenSide) {
    // At the head only the right side has floor; at the foot only the left
    // side is free (a wall on the right).
    set_grid({".....",
              "..H..",
              "#.H##",
              "..H#.",
              "#####"});
    seed_random(11);
    for (int t = 0; t < 200; ++t) {
        Swan& s = place_swan(2, 1, -1, -1);
        SWANS_MOVE();
        ASSERT_EQ(s.vdir, 0);
        ASSERT_EQ(s.dir, +1);
        Swan& u = place_swan(2, 3, +1, +1);
        SWANS_MOVE();
        ASSERT_EQ(u.vdir, 0);
        ASSERT_EQ(u.dir, -1);
        ASSERT_EQ(u.sub_x, -1);
    }
}

TEST(SwanLadder, ClimbsBackWhenThereIsNoWayOff) {
    // A ladder in a shaft: no side is ever open.
    set_grid({"#.#",
              "#H#",
              "#H#",
              "#H#",
              "###"});
    seed_random(3);
    Swan& s = place_swan(1, 1, +1, -1);
    RandomState before, after;
    random_get_state(&before);
    SWANS_MOVE(); // head, climbing up: one roll for the way off, then back down
    random_get_state(&after);
    EXPECT_EQ(s.vdir, +1);
    EXPECT_EQ(s.sub_y, 1);
    EXPECT_EQ(s.dir, +1) << "no way off leaves the direction alone";
    RandomState twin;
    random_set_state(before);
    random_unit();
    random_get_state(&twin);
    EXPECT_TRUE(same_state(after, twin));

    Swan& u = place_swan(1, 3, -1, +1);
    SWANS_MOVE(); // foot, climbing down: back up
    EXPECT_EQ(u.vdir, -1);
    EXPECT_EQ(u.sub_y, -1);
    EXPECT_EQ(u.dir, -1);

    // Left alone it goes up and down the shaft for ever.
    place_swan(1, 2, +1, -1);
    for (int f = 0; f < 5000; ++f) {
        SWANS_MOVE();
        ASSERT_GE(swans[0].row * 32 + swans[0].sub_y, 32);
        ASSERT_LE(swans[0].row * 32 + swans[0].sub_y, 96);
        ASSERT_EQ(swans[0].col, 1);
        ASSERT_EQ(swans[0].sub_x, 0);
    }
}

TEST(SwanLadder, ClimbingDownOntoAnEggStopsAndWalks) {
    // The ladder ends over an egg with the floor under it: a swan climbing
    // down gets off in the egg's cell instead of sinking through the floor.
    set_grid({".......",
              "...H...",
              "###H###",
              "...e...",
              "#######"});
    Swan& s = place_swan(3, 2, +1, +1);
    move_until_aligned();
    EXPECT_EQ(s.row, 3);
    EXPECT_EQ(s.vdir, +1);
    step();
    EXPECT_EQ(s.vdir, 0);
    EXPECT_EQ(s.row, 3);
    EXPECT_EQ(s.sub_y, 0);
    EXPECT_EQ(s.sub_x, 1);
    for (int f = 0; f < 2000; ++f) {
        SWANS_MOVE();
        ASSERT_EQ(s.row, 3);
        ASSERT_EQ(s.sub_y, 0);
    }
}

TEST(SwanLadder, ClimbingUpUnderAnEggStopsAndWalks) {
    set_grid({".......",
              "...e...",
              "###H###",
              "...H...",
              "#######"});
    Swan& s = place_swan(3, 2, -1, -1);
    move_until_aligned();
    EXPECT_EQ(s.row, 1);
    step();
    EXPECT_EQ(s.vdir, 0);
    EXPECT_EQ(s.row, 1);
    EXPECT_EQ(s.sub_x, -1);
}

TEST(SwanLadder, NeverClimbsIntoABlock) {
    // A ladder under a roof block: the swan gets off at the top rung.
    set_grid({".......",
              "...#...",
              "...H...",
              "###H###",
              "...H...",
              "#######"});
    Swan& s = place_swan(3, 3, +1, -1);
    move_until_aligned();
    EXPECT_EQ(s.row, 2);
    step();
    EXPECT_EQ(s.vdir, 0);
    EXPECT_EQ(s.row, 2);
    EXPECT_EQ(s.sub_y, 0);
    EXPECT_EQ(s.sub_x, 1);
}

TEST(SwanLadder, OneCellLadderIsFootAndHeadAtOnce) {
    // Walking past a one-cell ladder: up at the foot (roll 10 > 4), then at
    // the head it has "climbed up" and looks for a way off, both in one frame.
    set_grid({".....",
              "..H..",
              "#####"});
    seed_random(8);
    int tried = 0, downs = 0;
    for (int t = 0; t < 400; ++t) {
        Swan& s = place_swan(2, 1, +1);
        RandomState before;
        random_get_state(&before);
        const std::vector<int> r10 = twin_rolls(before, 2, 10);
        const std::vector<int> r9 = twin_rolls(before, 2, 9);
        SWANS_MOVE();
        RandomState after;
        random_get_state(&after);
        RandomState twin;
        random_set_state(before);
        random_unit();
        random_unit();
        random_get_state(&twin);
        random_set_state(after);
        ASSERT_TRUE(same_state(after, twin)) << "two rolls: foot and head";
        if (r10[0] > 4) {
            // Climbed up, then off again by the side of the second roll.
            ++tried;
            ASSERT_EQ(s.dir, r10[1] > 4 ? -1 : +1);
        } else {
            // The head's roll to climb down is drawn, but the floor under a
            // one-cell ladder stops the swan from sinking into it.
            downs += r9[1] > 5;
            ASSERT_EQ(s.dir, +1);
        }
        ASSERT_EQ(s.vdir, 0);
        ASSERT_EQ(s.sub_y, 0);
        ASSERT_EQ(s.sub_x, s.dir);
    }
    EXPECT_GT(tried, 0);
    EXPECT_GT(downs, 0);
}

// --- sprites -------------------------------------------------------------------------

TEST(SwanDraw, PicksTheSpriteForPoseAndFrame) {
    ensure_screen();
    Table<Image*, 6> saved = swan_images;
    const uint32_t colours[6] = {0xFF100000, 0xFF200000, 0xFF300000,
                                 0xFF400000, 0xFF500000, 0xFF600000};
    for (int i = 0; i < 6; ++i) {
        int err = 0;
        swan_images[i] = create_image(32, 32, colours[i], &err);
        ASSERT_EQ(err, 0);
    }
    set_grid({"..........",
              "..........",
              "##########"});
    struct Case { int dir, vdir, frame, slot; } cases[] = {
        {+1, 0, 0, 0}, {+1, 0, 1, 1}, {-1, 0, 0, 2}, {-1, 0, 1, 3},
        {+1, -1, 0, 4}, {-1, +1, 1, 5}, {+1, +1, 0, 4}};
    for (const Case& c : cases) {
        ASSERT_EQ(set_color(0, 0xFF000000, KEEP_FOREGROUND), 0);
        ASSERT_EQ(clear_screen(), 0);
        scroll_x = -32;
        scroll_y = 16;
        Swan& s = place_swan(3, 2, c.dir, c.vdir);
        s.frame = c.frame;
        s.sub_x = 5;
        SWANS_DRAW();
        // Map (101, 64) is screen (69, 80): the sprite covers 69..100, 80..111.
        Image* page = work_page();
        EXPECT_EQ(page->row(80)[69], colours[c.slot] & 0x00FFFFFF) << "slot " << c.slot;
        EXPECT_EQ(page->row(111)[100], colours[c.slot] & 0x00FFFFFF);
        EXPECT_EQ(page->row(80)[68], 0xFF000000u);
        EXPECT_EQ(page->row(112)[100], 0xFF000000u);
    }
    // An empty slot is not drawn.
    ASSERT_EQ(clear_screen(), 0);
    swans[0].active = 0;
    SWANS_DRAW();
    EXPECT_EQ(work_page()->row(80)[69], 0xFF000000u);
    swan_images = saved;
    scroll_x = scroll_y = 0;
}
