// test_map_cells.cpp -- the cell queries (MAP_GET, MAP_EGGS), the two contact
// tests that turn lifts, and the lifts' movement frame by frame.
#include <gtest/gtest.h>

#include "test_map_util.h"

using namespace maptest;

using MapGet = MapFixture;
using MapGetDeath = MapFixture;
using MapEggs = MapFixture;
using MapCollide = MapFixture;
using MapHitPlayer = MapFixture;
using MapUpdate = MapFixture;

namespace {

// Index of the cell at (col, row) of a 40-wide level.
int at(int col, int row) { return 40 * row + col; }

// Puts the player's body nowhere near anything.
void player_far_away() {
    player_x = -10000;
    player_y = -10000;
}

} // namespace

TEST_F(MapGet, ReadsAcrossRowEndsAndHidesLiftsAndStarts) {
    auto rows = empty_rows(40, 25);
    rows[3][39] = '#';
    rows[4][0] = 'H';
    rows[5][1] = 'v';
    rows[5][2] = 'h';
    rows[5][3] = 'S';
    rows[5][4] = 'D';
    rows[5][5] = 'o';
    rows[5][6] = '$';
    rows[24][39] = 'T';
    write_grid(1, rows);
    MAP_LOAD(1);
    EXPECT_EQ(MAP_GET(39, 3), CELL_BLOCK);  // entry 159
    EXPECT_EQ(MAP_GET(40, 3), CELL_LADDER); // entry 160: first cell of row 4
    EXPECT_EQ(MAP_GET(-1, 4), CELL_BLOCK);  // and back again
    EXPECT_EQ(MAP_GET(1, 5), CELL_EMPTY);   // a lift's square reads free
    EXPECT_EQ(MAP_GET(2, 5), CELL_EMPTY);
    EXPECT_EQ(MAP_GET(3, 5), CELL_EMPTY);
    EXPECT_EQ(MAP_GET(4, 5), CELL_EMPTY);
    EXPECT_EQ(MAP_GET(5, 5), CELL_EGG);
    EXPECT_EQ(MAP_GET(6, 5), CELL_SEED);
    EXPECT_EQ(MAP_GET(39, 24), 10);
    // Below the map: entries 1000 to 1039 hold no cell.
    EXPECT_EQ(MAP_GET(0, 25), CELL_NONE);
    EXPECT_EQ(MAP_GET(39, 25), CELL_NONE);
    EXPECT_EQ(MAP_GET(0, 40), CELL_NONE); // entry 1600, the last one
    // A lift that has moved away still reads free at its start square.
    cells[at(1, 5)].y += 40;
    EXPECT_EQ(MAP_GET(1, 5), CELL_EMPTY);
}

TEST_F(MapGetDeath, IndexOutsideTheTableEndsTheProgram) {
    write_grid(1, empty_rows(40, 25));
    MAP_LOAD(1);
    const int line = source_line("map/map_cells.cpp", "const int code = cells[narrow_index(");
    ASSERT_GT(line, 0);
    const std::string report = map_report(6, "out of bounds array access", line, "MAP_GET");
    EXPECT_EXIT(MAP_GET(0, -1), testing::ExitedWithCode(6), testing::Eq(report));
    EXPECT_EXIT(MAP_GET(1, 40), testing::ExitedWithCode(6), testing::Eq(report));
    // An index past 32 bits does not wrap round into the table.
    EXPECT_EXIT(MAP_GET(0, 107374183), testing::ExitedWithCode(6), testing::Eq(report));
}

TEST_F(MapEggs, CountsEggsLeftAndNothingWithoutALevel) {
    EXPECT_EQ(MAP_EGGS(), 0);
    auto rows = empty_rows(40, 25);
    for (int k = 0; k < 12; k++) rows[2 * k][3 * k] = 'o';
    rows[1][1] = '$';
    write_grid(1, rows);
    MAP_LOAD(1);
    EXPECT_EQ(MAP_EGGS(), 12);
    for (int k = 0; k < 5; k++) cells[at(3 * k, 2 * k)].code = CELL_EMPTY; // taken
    EXPECT_EQ(MAP_EGGS(), 7);
    // Entries past last_cell are never counted.
    cells[1200].code = CELL_EGG;
    EXPECT_EQ(MAP_EGGS(), 7);
}

TEST_F(MapCollide, TopStripAgainstFullSquaresOfNonEmptyCells) {
    auto rows = empty_rows(40, 25);
    rows[5][5] = 'v';
    write_grid(1, rows);
    MAP_LOAD(1);
    const int lift = at(5, 5); // x 160, y 160
    // Alone on the map: the lift never meets itself nor empty cells.
    EXPECT_EQ(MAP_COLLIDE(lift, 0, 0), 0);
    EXPECT_EQ(MAP_COLLIDE(lift, 0, 500), 0);

    const int other = at(20, 20);
    const char codes[] = {'#', '$', 'H', 'o', 'v', 'h', 'T'};
    for (char c : codes) {
        SCOPED_TRACE(c);
        cells[other].code = code_of(c);
        cells[other].x = 160;
        cells[other].y = 192; // the square right below the lift
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 0), 0);
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 16), 0);  // strip rows 176..191
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 17), 1);  // row 192 reached
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 63), 1);  // strip rows 223..238
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 64), 0);  // strip rows 224..239: past it
        EXPECT_EQ(MAP_COLLIDE(lift, 31, 20), 1); // corner to corner
        EXPECT_EQ(MAP_COLLIDE(lift, 32, 20), 0);
        EXPECT_EQ(MAP_COLLIDE(lift, -31, 20), 1);
        EXPECT_EQ(MAP_COLLIDE(lift, -32, 20), 0);
        // The square above: its full 32 rows count.
        cells[other].y = 128;
        EXPECT_EQ(MAP_COLLIDE(lift, 0, -1), 1);
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 0), 0);
    }
    cells[other].y = 192;
    for (int code : {CELL_EMPTY, CELL_NONE}) {
        cells[other].code = code;
        EXPECT_EQ(MAP_COLLIDE(lift, 0, 20), 0);
    }
    // Nothing beyond last_cell is looked at.
    cells[1500] = MapCell{CELL_BLOCK, 160, 192, 0, 0, 0, 0};
    EXPECT_EQ(MAP_COLLIDE(lift, 0, 20), 0);
}

TEST_F(MapHitPlayer, CornerTestsNotAPlainOverlap) {
    auto rows = empty_rows(40, 25);
    rows[0][0] = 'h';
    write_grid(1, rows);
    MAP_LOAD(1);
    scroll_x = -40;
    scroll_y = -60;
    // The strip lands at screen bx = 100, by = player_y + offset.
    cells[0].x = 140;
    player_x = 100; // body columns 108..124, inside the strip's 100..131
    player_y = 200;
    auto strip_at = [](int by) { cells[0].y = by + 60; };
    strip_at(216); // strip rows 216..231: the player's bottom row 231 inside
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 1);
    strip_at(208); // rows 208..223: strictly inside the body, no corner in
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    strip_at(232); // just below the body
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    strip_at(231);
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 1);
    strip_at(185); // rows 185..200: the player's top row 200 inside
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 1);
    strip_at(184);
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    // dx, dy move the strip before the test.
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 1), 1);

    // The second test: a strip whose side edge lies in the body's columns,
    // with the strip inside the body's rows.
    strip_at(208);
    cells[0].x = 40 + 120; // bx = 120: columns 120..151, left edge in 108..124
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 1);
    cells[0].x = 40 + 77; // bx = 77: right edge 108 in the body's columns
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 1);
    cells[0].x = 40 + 76; // right edge 107: beside the body
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    cells[0].x = 40 + 125; // left edge 125: beside the body
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    // Beside the body but at its rows: the first test does not apply either.
    strip_at(216);
    EXPECT_EQ(MAP_HITPLAYER(0, 0, 0), 0);
    EXPECT_EQ(MAP_HITPLAYER(0, -1, 0), 1);
}

TEST_F(MapUpdate, VerticalLiftRisesToTheBandBelowABlockAndFallsToTheFloor) {
    auto rows = empty_rows(40, 25);
    rows[2][6] = '#'; // spans map rows 64..95
    rows[9][6] = 'v'; // y 288
    rows[12][6] = '#'; // top at 384
    write_grid(1, rows);
    MAP_LOAD(1);
    player_far_away();
    const int lift = at(6, 9);
    // Falling: stops with its 16 rows resting on the block at 384.
    int frames = 0;
    while (cells[lift].dy > 0 && frames < 1000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(cells[lift].y, 384 - 16);
    EXPECT_EQ(frames, 384 - 16 - 288 + 1); // the turning frame does not move it
    // Rising: turns when the band 63..48 above its top reaches row 95.
    frames = 0;
    while (cells[lift].dy < 0 && frames < 1000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(cells[lift].y, 95 + 63);
    EXPECT_EQ(cells[lift].x, 192);
    MAP_UPDATE();
    EXPECT_EQ(cells[lift].y, 159);
}

TEST_F(MapUpdate, VerticalLiftTurnsAtTheMapsBottomAndTop) {
    auto rows = empty_rows(40, 20);
    rows[17][3] = 'v'; // y 544; bottom limit 32 * 20 - 16 = 624
    write_grid(1, rows);
    MAP_LOAD(1);
    player_far_away();
    const int lift = at(3, 17);
    int frames = 0;
    while (cells[lift].dy > 0 && frames < 1000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(frames, 80); // turns in the frame that brings it to 624
    EXPECT_EQ(cells[lift].y, 624);
    frames = 0;
    while (cells[lift].dy < 0 && frames < 1000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(frames, 624);
    EXPECT_EQ(cells[lift].y, 0);
    MAP_UPDATE();
    EXPECT_EQ(cells[lift].y, 1);
}

TEST_F(MapUpdate, HorizontalLiftBouncesBetweenBlocks) {
    auto rows = empty_rows(40, 25);
    rows[4][2] = '#';
    rows[4][5] = 'h';
    rows[4][10] = '#'; // left edge at 320
    write_grid(1, rows);
    MAP_LOAD(1);
    player_far_away();
    const int lift = at(5, 4);
    int frames = 0;
    while (cells[lift].dx > 0 && frames < 1000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(cells[lift].x, 320 - 32);
    MAP_UPDATE();
    EXPECT_EQ(cells[lift].x, 287);
    while (cells[lift].dx < 0 && frames < 2000) { MAP_UPDATE(); frames++; }
    EXPECT_EQ(cells[lift].x, 96); // against the block spanning 64..95
    EXPECT_EQ(cells[lift].y, 128);
}

TEST_F(MapUpdate, TakenItemsOpenTheWayAtOnce) {
    auto rows = empty_rows(40, 25);
    rows[4][1] = '#';
    rows[4][5] = 'h';
    rows[4][7] = 'o';
    rows[4][12] = '#';
    write_grid(1, rows);
    MAP_LOAD(1);
    player_far_away();
    const int lift = at(5, 4);
    // 32 steps right to touch the egg, a turning frame, 7 steps back.
    for (int f = 0; f < 40; f++) MAP_UPDATE();
    EXPECT_EQ(cells[lift].x, 192 - 7);
    cells[at(7, 4)].code = CELL_EMPTY; // taken
    for (int f = 0; f < 300 && cells[lift].dx < 0; f++) MAP_UPDATE();
    EXPECT_EQ(cells[lift].x, 64);
    for (int f = 0; f < 400 && cells[lift].dx > 0; f++) MAP_UPDATE();
    EXPECT_EQ(cells[lift].x, 384 - 32);
}

TEST_F(MapUpdate, PlayerInThePathTurnsLiftsButARiderDoesNot) {
    auto rows = empty_rows(40, 25);
    rows[10][10] = 'h'; // x 320, y 320
    rows[5][20] = 'v';  // x 640, y 160
    write_grid(1, rows);
    MAP_LOAD(1);
    scroll_x = scroll_y = 0;
    const int h = at(10, 10), v = at(20, 5);
    // The rider stands on the horizontal lift: feet on its top row.
    player_x = 320;
    player_y = 320 - 32;
    MAP_UPDATE();
    EXPECT_EQ(cells[h].x, 321);
    EXPECT_EQ(cells[h].dx, 1);
    // A player standing in the path, body over the lift's 16 rows.
    player_x = 321 + 32 - 8 + 1; // body's left column 354 = the lift's right edge + 2
    player_y = 320 - 8;
    MAP_UPDATE();
    EXPECT_EQ(cells[h].x, 322); // one more free step: 323..354 would touch
    MAP_UPDATE();
    EXPECT_EQ(cells[h].x, 322);
    EXPECT_EQ(cells[h].dx, -1);

    // The falling lift turns at the head of a player standing below it.
    const int y0 = cells[v].y;
    ASSERT_EQ(y0, 160 + 3);
    player_x = 640;
    player_y = y0 + 16; // the head just below the lift's 16 rows
    MAP_UPDATE();
    EXPECT_EQ(cells[v].y, y0);
    EXPECT_EQ(cells[v].dy, -1);
    // Rising, it does not look at the player.
    player_y = cells[v].y - 20;
    MAP_UPDATE();
    EXPECT_EQ(cells[v].y, y0 - 1);
}

TEST_F(MapUpdate, LiftsMoveInIndexOrder) {
    auto rows = empty_rows(40, 25);
    rows[10][3] = 'h';
    rows[10][8] = 'h';
    write_grid(1, rows);
    MAP_LOAD(1);
    player_far_away();
    const int a = at(3, 10), b = at(8, 10);
    // Face to face with a gap of 33 pixels between their left edges.
    cells[a].x = 100;
    cells[a].dx = 1;
    cells[b].x = 133;
    cells[b].dx = -1;
    MAP_UPDATE();
    // a moved first (101 against b at 133); b then meets a at its new place.
    EXPECT_EQ(cells[a].x, 101);
    EXPECT_EQ(cells[b].x, 133);
    EXPECT_EQ(cells[b].dx, 1);

    // The other way round: the lower index meets the higher one's old place.
    cells[a].x = 133;
    cells[a].dx = -1;
    cells[b].x = 100;
    cells[b].dx = 1;
    MAP_UPDATE();
    EXPECT_EQ(cells[a].x, 132);
    EXPECT_EQ(cells[b].x, 100);
    EXPECT_EQ(cells[b].dx, -1);
}
