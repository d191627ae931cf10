// test_reach.cpp -- reachability: broken levels it must name the fault of,
// every shipped level it must pass, and jumps the real player makes that it
// must allow.
#include "test_player_map.h"

#include "main/snapshot.h"
#include "proof/reach.h"

#include <utility>
#include <vector>

using namespace player_test;

namespace {

using Places = std::vector<std::pair<int, int>>;

Places lost_places() {
    Places out;
    for (int i = 0; i < reach_lost_count; i++) out.emplace_back(reach_lost[i].col, reach_lost[i].row);
    return out;
}

Places trap_places() {
    Places out;
    for (int i = 0; i < reach_trap_count; i++) out.emplace_back(reach_traps[i].col, reach_traps[i].row);
    return out;
}

class ReachBroken : public PlayerFixture {};
class ReachShipped : public PlayerFixture {};
class ReachJump : public PlayerFixture {};

TEST_F(ReachBroken, EggSealedInBlocksIsNamedAndTheOpenOneIsNot) {
    build_map({"##########",
               "#........#",
               "#....###.#",
               "#.e..#e#.#",
               "##########"});
    EXPECT_EQ(REACH_FROM(1, 3), 1);
    EXPECT_EQ(reach_eggs, 2);
    EXPECT_EQ(lost_places(), (Places{{6, 3}}));
    EXPECT_EQ(reach_lost[0].code, CELL_EGG);
    EXPECT_EQ(reach_trap_count, 0);
}

TEST_F(ReachBroken, EggsAboveTheHighestFloorAreNamedAndOneStepUpIsNot) {
    // A one-row step with an egg on it (a jump's reach), a two-row ledge with
    // an egg and a seed on it, and over the floor an egg in the air two rows
    // up (the head takes it at the top of a jump) and one three rows up.
    build_map({"##############",
               "#.e..........#",
               "#.e........es#",
               "#.....e...####",
               "#....##...####",
               "##############"});
    EXPECT_EQ(REACH_FROM(1, 4), 2);
    EXPECT_EQ(lost_places(), (Places{{2, 1}, {11, 2}, {12, 2}}));
    EXPECT_EQ(reach_lost[2].code, CELL_SEED);
    EXPECT_EQ(REACH_PLACE(6, 3), 1);
    EXPECT_EQ(REACH_PLACE(10, 2), 0);
}

TEST_F(ReachBroken, LadderEndingBelowAFloorLeavesTheFloorAboveOutOfReach) {
    build_map({"##########",
               "#........#",
               "#.....e..#",
               "##########",
               "#..H.....#",
               "#..H.....#",
               "#..H.....#",
               "##########"});
    EXPECT_EQ(REACH_FROM(1, 6), 1);
    EXPECT_EQ(lost_places(), (Places{{6, 2}}));
    EXPECT_EQ(REACH_PLACE(3, 4), 1); // the ladder's top is reached; the floor stops it

    // The same ladder run through the floor reaches the egg.
    cells[3 * 10 + 3].code = CELL_LADDER;
    EXPECT_EQ(REACH_FROM(1, 6), 0);
    EXPECT_EQ(REACH_PLACE(3, 2), 1);
}

TEST_F(ReachBroken, PitWithNoWayOutIsATrapWhileItsEggsStayInReach) {
    // Two rows deep: a jump from its floor rises 40 pixels of the 64 needed.
    build_map({"############",
               "#..........#",
               "#..........#",
               "#.e......e.#",
               "#####...####",
               "#####...####",
               "############"});
    EXPECT_EQ(REACH_FROM(1, 3), 0);
    EXPECT_EQ(trap_places(), (Places{{5, 5}, {6, 5}, {7, 5}}));

    // A ladder out of it: no trap.
    cells[4 * 12 + 7].code = CELL_LADDER;
    cells[5 * 12 + 7].code = CELL_LADDER;
    EXPECT_EQ(REACH_FROM(1, 3), 0);
    EXPECT_EQ(reach_trap_count, 0);
}

TEST_F(ReachShipped, EveryEggAndSeedOfAll27LevelsIsInReachAndNoPlaceTraps) {
    // The levels' own files, as the game loads them (the working directory
    // is the game folder); the rounds share the nine maps.
    for (int level = 1; level <= 27; level++) {
        SCOPED_TRACE(level);
        MAP_LOAD(LEVEL_FILE_OF(level));
        EXPECT_EQ(REACH_LEVEL(), 0);
        EXPECT_GT(reach_eggs, 0);
        EXPECT_EQ(reach_lost_count, 0) << "first: " << reach_lost[0].col << ", " << reach_lost[0].row;
        EXPECT_EQ(reach_trap_count, 0) << "first: " << reach_traps[0].col << ", " << reach_traps[0].row;
    }
}

TEST_F(ReachBroken, LiftsAreTheOnlyWayUpDownAndAcross) {
    // A vertical lift rising through a hole in the floor above.
    build_map({"##########",
               "#........#",
               "#.e......#",
               "#####..###",
               "#........#",
               "#........#",
               "#....V...#",
               "##########"});
    EXPECT_EQ(REACH_FROM(1, 6), 0);
    cells[6 * 10 + 5].code = CELL_EMPTY;
    EXPECT_EQ(REACH_FROM(1, 6), 1);
    EXPECT_EQ(lost_places(), (Places{{2, 2}}));

    // And down through a hole of one cell, from the floor above.
    build_map({"##########",
               "#........#",
               "#........#",
               "#####.####",
               "#........#",
               "#........#",
               "#.e..V...#",
               "##########"});
    EXPECT_EQ(REACH_FROM(2, 2), 0);

    // A horizontal lift in a gap of four over a pit.
    build_map({"##############",
               "#............#",
               "#..........e.#",
               "#####-...#####",
               "#####....#####",
               "##############"});
    EXPECT_EQ(REACH_FROM(1, 2), 0);
    cells[3 * 14 + 5].code = CELL_EMPTY;
    EXPECT_EQ(REACH_FROM(1, 2), 1);
    EXPECT_EQ(lost_places(), (Places{{11, 2}}));
}

// Two maps for the real player's jumps: a one-row step and a two-row ledge;
// gaps of one, two and two columns in an upper floor, a step after the last.
void step_and_ledge() {
    build_map({"##############",
               "#............#",
               "#............#",
               "#............#",
               "#..........###",
               "#....###...###",
               "##############"});
}

void gaps() {
    build_map({"################",
               "#..............#",
               "#..............#",
               "#..............#",
               "#...........#..#",
               "###.##..##..####",
               "#..............#",
               "################"});
}

// The real player jumps from five places over every floor cell (from a toe
// on its left edge to one on its right), each way,
// holding the direction for a while and then letting go; wherever he comes
// to rest, the check must have put him too.
TEST_F(ReachJump, EveryRestingPlaceOfTheRealPlayersJumpsIsReached) {
    int climbed = 0;
    for (void (*build)() : {step_and_ledge, gaps}) {
        build();
        const int w = map_width, h = map_height;
        for (int col = 1; col < w - 1; col++) {
            for (int row = 1; row < h - 1; row++) {
                if (cells[row * w + col].code != CELL_EMPTY || cells[(row + 1) * w + col].code != CELL_BLOCK)
                    continue;
                for (int dir : {LEFT, RIGHT}) {
                    for (int held = 0; held <= 40; held += 5) {
                        for (int shift : {-20, -8, 4, 16, 25}) {
                            build();
                            place(32 * col + shift, 32 * row);
                            if (PLAYER_COLLIDE(0, 0) == 1) continue;
                            frames(1, UP | dir);
                            frames(held, dir);
                            frames(60, NONE);
                            ASSERT_EQ(map_py() % 32, 0) << "not at rest";
                            const int rest_col = (map_px() + 16) >> 5, rest_row = map_py() >> 5;
                            build();
                            REACH_FROM(col, row);
                            ASSERT_EQ(REACH_PLACE(rest_col, rest_row), 1)
                                << "from (" << col << ", " << row << ") shift " << shift << " dir " << dir
                                << " held " << held << " to (" << rest_col << ", " << rest_row << ")";
                            if (rest_row < row) climbed++;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(climbed, 0); // steps were climbed: the jumps went somewhere
}

// The head gets two rows over the floor at the top of a jump, not three: it
// takes an egg there, and catches a ladder's foot there and climbs it.  The
// real player and the check agree.
void open_room() {
    build_map({"........", "........", "........", "........", "........", "........", "........",
               "########"});
}

TEST_F(ReachJump, TheHeadReachesTwoRowsUpAndNotThree) {
    for (int up : {2, 3}) {
        SCOPED_TRACE(up);
        open_room();
        cells[(6 - up) * 8 + 3].code = CELL_EGG;
        place(32 * 3, 32 * 6);
        eggs_taken = 0;
        frames(40, UP);
        EXPECT_EQ(eggs_taken, up == 2 ? 1 : 0);
        cells[(6 - up) * 8 + 3].code = CELL_EGG;
        EXPECT_EQ(REACH_FROM(3, 6), up == 2 ? 0 : 1);

        // A ladder from that row up to row 1: caught, and climbed.
        open_room();
        for (int row = 1; row <= 6 - up; row++) cells[row * 8 + 3].code = CELL_LADDER;
        place(32 * 3, 32 * 6);
        frames(60, UP);
        EXPECT_EQ(map_py() < 32 * 6 - 40, up == 2); // climbing above the jump's top
        REACH_FROM(3, 6);
        EXPECT_EQ(REACH_PLACE(3, 1), up == 2 ? 1 : 0);
    }
}

} // namespace

// The moves to the nearest egg the map holds now: along the floor, up the
// ladder, and none where no egg can be reached; an egg taken is no longer
// counted.
TEST_F(ReachBroken, MovesToTheNearestEggFollowTheGraphAndTheEggsLeft) {
    build_map({"##########",
               "#.e....H.#",
               "#######H.#",
               "#......H.#",
               "##########"});
    ASSERT_EQ(REACH_FROM(1, 3), 0);
    Table<int16_t, REACH_CELLS> moves;
    REACH_EGG_DISTANCES(&moves);
    EXPECT_EQ(moves[1 * 10 + 2], 0);
    EXPECT_EQ(moves[1 * 10 + 3], 1);
    // From the ladder's foot: up two rows, then five cells left.
    EXPECT_EQ(moves[3 * 10 + 7], 2 + 5);
    EXPECT_EQ(moves[3 * 10 + 1], moves[3 * 10 + 7] + 6);
    EXPECT_EQ(moves[0], REACH_FAR); // a block
    cells[1 * 10 + 2].code = CELL_EMPTY;
    REACH_EGG_DISTANCES(&moves);
    EXPECT_EQ(moves[3 * 10 + 1], REACH_FAR);
}
