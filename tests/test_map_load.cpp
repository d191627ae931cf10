// test_map_load.cpp -- reading level files into the cell table: row order,
// full-size levels, where the player and the view start, swans and the duck,
// reloads, missing files and every broken header.
#include <gtest/gtest.h>

#include "actors/duck.h"
#include "test_map_util.h"

using namespace maptest;

using MapLoad = MapFixture;
using MapLoadDeath = MapFixture;

namespace {

// A 40 x 25 level with the player start at (col, row).
std::vector<std::string> start_at(int col, int row) {
    auto rows = empty_rows(40, 25);
    rows[row][col] = 'P';
    return rows;
}

} // namespace

TEST_F(MapLoad, StoredRowsRunBottomUpAndCellsRowByRowFromTheTop) {
    // File order: stored row 0 (the map's bottom) then stored row 1 (its top).
    const std::vector<uint8_t> file = {1, 3, 4, 7, /* top row: */ 9, 0, 8, 10};
    write_level(1, level_bmp(4, 2, file));
    MAP_LOAD(1);
    EXPECT_EQ(map_width, 4);
    EXPECT_EQ(map_height, 2);
    EXPECT_EQ(last_cell, 7);
    const int codes[8] = {9, 0, 8, 10, 1, 3, 4, 7};
    for (int k = 0; k < 8; k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(cells[k].code, codes[k]);
        EXPECT_EQ(cells[k].col, k % 4);
        EXPECT_EQ(cells[k].row, k / 4);
        EXPECT_EQ(cells[k].x, 32 * (k % 4));
        EXPECT_EQ(cells[k].y, 32 * (k / 4));
    }
    // Lifts start moving down and right; nothing else moves.
    EXPECT_EQ(cells[0].dx, 1);
    EXPECT_EQ(cells[0].dy, 0);
    EXPECT_EQ(cells[2].dx, 0);
    EXPECT_EQ(cells[2].dy, 1);
    EXPECT_EQ(cells[4].dx, 0);
    EXPECT_EQ(cells[4].dy, 0);
    EXPECT_EQ(cells[8].code, CELL_NONE);
}

TEST_F(MapLoad, FullFortyByTwentyFiveLevelLoadsEveryCell) {
    std::vector<uint8_t> file(1000, 0);
    file[0] = 7;   // bottom-left
    file[39] = 3;  // bottom-right: the last byte of the first stored row
    file[960] = 1; // top-left: the first byte of the last stored row
    file[999] = 4; // top-right
    write_level(1, level_bmp(40, 25, file));
    MAP_LOAD(1);
    EXPECT_EQ(last_cell, 999);
    EXPECT_EQ(cells[0].code, 1);
    EXPECT_EQ(cells[39].code, 4);
    EXPECT_EQ(cells[960].code, 7);
    EXPECT_EQ(cells[999].code, 3);
    EXPECT_EQ(cells[999].col, 39);
    EXPECT_EQ(cells[999].row, 24);
    EXPECT_EQ(cells[999].x, 1248);
    EXPECT_EQ(cells[999].y, 768);
    for (int k = 1000; k < CELL_TABLE_SIZE; k++) ASSERT_EQ(cells[k].code, CELL_NONE) << k;
}

TEST_F(MapLoad, LevelNumberIsWrittenInPlainDecimal) {
    auto rows = empty_rows(4, 1);
    rows[0][1] = 'o';
    write_grid(12, rows);
    MAP_LOAD(12);
    EXPECT_EQ(last_cell, 3);
    EXPECT_EQ(MAP_EGGS(), 1);
    MAP_LOAD(1); // no levels/1.bmp here
    EXPECT_EQ(last_cell, -1);
}

TEST_F(MapLoad, PlayerStartCentresTheViewAndStopsAtTheRightAndBottomEdges) {
    struct Case { int col, row, scroll_x, scroll_y, player_x, player_y; };
    const Case cases[] = {
        {20, 10, -352, -96, 288, 224},
        {35, 10, -640, -96, 480, 224},
        {20, 22, -352, -320, 288, 384},
        {39, 24, -640, -320, 608, 448},
        {9, 7, 0, 0, 288, 224},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "col " << c.col << " row " << c.row);
        write_grid(1, start_at(c.col, c.row));
        MAP_LOAD(1);
        EXPECT_EQ(scroll_x, c.scroll_x);
        EXPECT_EQ(scroll_y, c.scroll_y);
        EXPECT_EQ(player_x, c.player_x);
        EXPECT_EQ(player_y, c.player_y);
        EXPECT_EQ(start_x, c.player_x);
        EXPECT_EQ(start_y, c.player_y);
        EXPECT_EQ(start_scroll_x, c.scroll_x);
        EXPECT_EQ(start_scroll_y, c.scroll_y);
        // The start square itself is empty.
        EXPECT_EQ(MAP_GET(c.col, c.row), CELL_EMPTY);
        // Where the player is drawn is where its map square lies on screen.
        EXPECT_EQ(player_x - scroll_x, 32 * c.col);
        EXPECT_EQ(player_y - scroll_y, 32 * c.row);
    }
}

TEST_F(MapLoad, StartNearTheTopLeftKeepsTheViewAtTheCornerAndMovesThePlayer) {
    write_grid(1, start_at(3, 2));
    MAP_LOAD(1);
    EXPECT_EQ(scroll_x, 0);
    EXPECT_EQ(scroll_y, 0);
    EXPECT_EQ(player_x, 96);
    EXPECT_EQ(player_y, 64);
    EXPECT_EQ(start_scroll_x, 0);
    EXPECT_EQ(start_y, 64);
    // The view can then scroll as usual.
    EXPECT_EQ(MAP_HSCROLL(1), 0);
    EXPECT_EQ(MAP_HSCROLL(-1), 1);
}

TEST_F(MapLoad, ShortLevelSitsAtTheBottomOfTheScreen) {
    // 10 rows: the map's bottom edge is the screen's bottom edge.
    auto rows = empty_rows(40, 10);
    rows[1][20] = 'P';
    write_grid(1, rows);
    MAP_LOAD(1);
    EXPECT_EQ(scroll_y, 160);
    EXPECT_EQ(player_y, 32 + 160);
    EXPECT_EQ(MAP_VSCROLL(1), 0);
    EXPECT_EQ(MAP_VSCROLL(-1), 0);
}

TEST_F(MapLoad, LastOfSeveralStartsStandsAndActorsLeaveEmptyCells) {
    auto rows = empty_rows(40, 25);
    rows[12][30] = 'P';
    rows[10][20] = 'P'; // an earlier row: loaded first
    rows[12][15] = 'P'; // same row, further left: loaded before (12, 30)
    rows[3][5] = 'D';
    rows[20][33] = 'D'; // the last duck pixel stands
    rows[8][11] = 'S';
    rows[4][2] = 'S';
    write_grid(1, rows);
    MAP_LOAD(1);
    EXPECT_EQ(player_x - scroll_x, 32 * 30);
    EXPECT_EQ(player_y - scroll_y, 32 * 12);
    EXPECT_EQ(duck_x, 32 * 33);
    EXPECT_EQ(duck_y, 32 * 20);
    ASSERT_EQ(swan_count, 2);
    // Swans are added in loading order: top row first.
    EXPECT_EQ(swans[0].col, 2);
    EXPECT_EQ(swans[0].row, 4);
    EXPECT_EQ(swans[1].col, 11);
    EXPECT_EQ(swans[1].row, 8);
    EXPECT_EQ(MAP_GET(30, 12), 0);
    EXPECT_EQ(MAP_GET(15, 12), 0);
    EXPECT_EQ(MAP_GET(5, 3), 0);
    EXPECT_EQ(MAP_GET(11, 8), 0);
}

TEST_F(MapLoad, TwentyFiveSwanStartsGiveTwentySwans) {
    auto rows = empty_rows(40, 25);
    for (int k = 0; k < 25; k++) rows[1 + k / 10][3 + 3 * (k % 10)] = 'S';
    write_grid(1, rows);
    MAP_LOAD(1);
    EXPECT_EQ(swan_count, SWAN_MAX);
    int active = 0;
    for (int s = 0; s < SWAN_SLOTS; s++) active += swans[s].active;
    EXPECT_EQ(active, 20);
    // A reload starts from no swans, not from twenty.
    MAP_LOAD(1);
    EXPECT_EQ(swan_count, SWAN_MAX);
}

TEST_F(MapLoad, MissingFileAfterALoadedOneGivesAQuietEmptyLevel) {
    auto rows = start_at(20, 10);
    rows[5][5] = 'o';
    rows[6][6] = 'S';
    write_grid(1, rows);
    MAP_LOAD(1);
    ASSERT_EQ(MAP_EGGS(), 1);
    ASSERT_EQ(swan_count, 1);
    player_x = 300; // the player has moved since
    MAP_LOAD(2);
    EXPECT_EQ(last_cell, -1);
    EXPECT_EQ(map_width, 40);
    EXPECT_EQ(map_height, 25);
    EXPECT_EQ(player_x, 300);
    EXPECT_EQ(scroll_x, -352);
    EXPECT_EQ(start_x, 288);
    EXPECT_EQ(swan_count, 0);
    EXPECT_EQ(swans[0].active, 0);
    EXPECT_EQ(MAP_EGGS(), 0);
    for (int k = 0; k < CELL_TABLE_SIZE; k++) ASSERT_EQ(cells[k].code, CELL_NONE) << k;
    EXPECT_EQ(MAP_GET(5, 5), CELL_NONE);
}

TEST_F(MapLoad, ReloadPutsLiftsEggsAndSeedsBack) {
    auto rows = empty_rows(40, 25);
    rows[3][4] = 'v';
    rows[3][10] = 'h';
    rows[7][7] = 'o';
    rows[7][8] = '$';
    rows[20][0] = '#';
    write_grid(1, rows);
    MAP_LOAD(1);
    MapCell before[CELL_TABLE_SIZE];
    for (int k = 0; k < CELL_TABLE_SIZE; k++) before[k] = cells[k];
    for (int f = 0; f < 50; f++) MAP_UPDATE();
    cells[7 * 40 + 7].code = 0; // taken
    cells[7 * 40 + 8].code = 0;
    ASSERT_NE(cells[3 * 40 + 4].y, 96);
    ASSERT_NE(cells[3 * 40 + 10].x, 320);
    MAP_LOAD(1);
    for (int k = 0; k < CELL_TABLE_SIZE; k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(cells[k].code, before[k].code);
        EXPECT_EQ(cells[k].x, before[k].x);
        EXPECT_EQ(cells[k].y, before[k].y);
        EXPECT_EQ(cells[k].dx, before[k].dx);
        EXPECT_EQ(cells[k].dy, before[k].dy);
    }
    EXPECT_EQ(cells[3 * 40 + 4].dy, 1);
    EXPECT_EQ(cells[3 * 40 + 10].dx, 1);
    EXPECT_EQ(MAP_EGGS(), 1);
}

TEST_F(MapLoad, UnusedCodesAreStoredUnchanged) {
    write_level(1, level_bmp(4, 1, {10, 11, 200, 255}));
    MAP_LOAD(1);
    EXPECT_EQ(cells[0].code, 10);
    EXPECT_EQ(cells[1].code, 11);
    EXPECT_EQ(cells[2].code, 200);
    EXPECT_EQ(cells[3].code, 255);
}

TEST_F(MapLoad, ShortFilesReadMissingBytesAsZero) {
    // Cell bytes cut off after 6 of 8: the top row's last two cells are empty.
    auto bytes = level_bmp(4, 2, {1, 1, 1, 1, 7, 7, 7, 7});
    bytes.resize(bytes.size() - 2);
    write_level(1, bytes);
    MAP_LOAD(1);
    EXPECT_EQ(last_cell, 7);
    EXPECT_EQ(cells[0].code, 7);
    EXPECT_EQ(cells[1].code, 7);
    EXPECT_EQ(cells[2].code, 0);
    EXPECT_EQ(cells[3].code, 0);
    EXPECT_EQ(cells[4].code, 1);

    // The cell bytes lie past the end of the file: every cell is empty.
    bytes = level_bmp(4, 2, {1, 1, 1, 1, 7, 7, 7, 7}, 54 + 1024);
    bytes.resize(54 + 1024);
    write_level(1, bytes);
    MAP_LOAD(1);
    EXPECT_EQ(last_cell, 7);
    for (int k = 0; k < 8; k++) EXPECT_EQ(cells[k].code, 0) << k;

    // A header shorter than 54 bytes: width and height read as 0, no cells.
    bytes = level_bmp(4, 2, {1, 1, 1, 1});
    bytes.resize(20); // the width field is cut in the middle
    write_level(1, bytes);
    MAP_LOAD(1);
    EXPECT_EQ(map_height, 0);
    EXPECT_EQ(last_cell, -1);
    EXPECT_EQ(MAP_EGGS(), 0);
}

TEST_F(MapLoad, ZeroOrDoublyNegativeSizesLoadNoCell) {
    const int sizes[][2] = {{0, 25}, {40, 0}, {-4, -2}, {0, 2147483647}, {-40, -25}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1]);
        write_level(1, level_bmp(s[0], s[1], std::vector<uint8_t>(8, 1)));
        MAP_LOAD(1);
        EXPECT_EQ(map_width, s[0]);
        EXPECT_EQ(map_height, s[1]);
        EXPECT_EQ(last_cell, -1);
        EXPECT_EQ(cells[0].code, CELL_NONE);
    }
}

TEST_F(MapLoad, ExactlyOneThousandCellsInAnyShapeLoad) {
    write_level(1, level_bmp(1000, 1, std::vector<uint8_t>(1000, 7)));
    MAP_LOAD(1);
    EXPECT_EQ(last_cell, 999);
    EXPECT_EQ(MAP_EGGS(), 1000);
}

TEST_F(MapLoadDeath, MoreThanOneThousandCellsIsAnIndexError) {
    const int line = source_line("map/map_load.cpp", "flip_scratch[static_cast<int>(k)] = level_bytes");
    ASSERT_GT(line, 0);
    const std::string report = map_report(6, "out of bounds array access", line, "MAP_FLIP");
    write_level(1, level_bmp(41, 25, std::vector<uint8_t>(1025, 1)));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(6), testing::Eq(report));
    // 65536 x 65536 cells does not wrap round to a small number.
    write_level(1, level_bmp(65536, 65536, std::vector<uint8_t>(8, 1)));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(6), testing::Eq(report));
    // Both negative with a product above 1000.
    write_level(1, level_bmp(-100, -100, std::vector<uint8_t>(8, 1)));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(6), testing::Eq(report));
}

TEST_F(MapLoadDeath, NegativeCellCountIsAnIllegalCall) {
    const int line = source_line("map/map_load.cpp", "if (count < 0) fatal_error");
    ASSERT_GT(line, 0);
    const std::string report = map_report(1, "illegal function call", line, "MAP_FLIP");
    // A top-down bitmap: negative height.
    write_level(1, level_bmp(40, -25, std::vector<uint8_t>(1000, 1)));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(1), testing::Eq(report));
    write_level(1, level_bmp(-1, 1, {1}));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(1), testing::Eq(report));
    // The product of two large sizes of opposite signs is still negative.
    write_level(1, level_bmp(65536, -65536, {1}));
    EXPECT_EXIT(MAP_LOAD(1), testing::ExitedWithCode(1), testing::Eq(report));
}
