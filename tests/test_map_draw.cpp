// test_map_draw.cpp -- drawing the visible cells on the work page, the scroll
// limits and the small overview map.
#include <gtest/gtest.h>

#include "services/draw.h"
#include "services/image.h"
#include "test_map_util.h"

using namespace maptest;

namespace {

constexpr uint32_t RGB = 0x00FFFFFF;
constexpr uint32_t MAGENTA = 0xFFFF00FF;

// A distinct colour for each image slot.
uint32_t slot_colour(int slot) { return 0xFF000000u | static_cast<uint32_t>(0x102030 + slot * 0x0A0B0C); }

uint32_t page_pixel(int x, int y) { return work_page()->row(y)[x] & RGB; }

// Fills every cell image slot with its own plain colour and puts a magenta
// pixel in the top-left corner of each, then clears the work page to black.
class MapDrawFixture : public MapFixture {
protected:
    void SetUp() override {
        MapFixture::SetUp();
        ensure_screen();
        for (int slot = 0; slot < CELL_IMAGE_SLOTS; slot++) {
            Image* img = create_image(32, 32, slot_colour(slot));
            ASSERT_NE(img, nullptr);
            img->row(0)[0] = MAGENTA;
            cell_images[slot] = img;
        }
        set_color(0xFF000000, 0xFF000000, 0);
        clear_screen();
    }

    // Loads an empty 40 x 25 level with one cell of the given code at (0, 0)
    // and returns its entry.
    MapCell& one_cell(int code) {
        write_grid(1, empty_rows(40, 25));
        MAP_LOAD(1);
        cells[0].code = code;
        scroll_x = scroll_y = 0;
        return cells[0];
    }
};

using MapDraw = MapDrawFixture;
using MapDrawDeath = MapDrawFixture;
using MapScroll = MapFixture;
using MapSmall = MapDrawFixture;

} // namespace

TEST_F(MapDraw, CellsAppearAtTheirPlaceLessTheScroll) {
    MapCell& cell = one_cell(CELL_BLOCK);
    cell.x = 100;
    cell.y = 50;
    scroll_x = -40;
    scroll_y = -20;
    MAP_DRAW();
    EXPECT_EQ(page_pixel(60, 30), 0u);               // the magenta corner is skipped
    EXPECT_EQ(page_pixel(61, 30), slot_colour(1) & RGB);
    EXPECT_EQ(page_pixel(91, 61), slot_colour(1) & RGB);
    EXPECT_EQ(page_pixel(92, 61), 0u);
    EXPECT_EQ(page_pixel(59, 40), 0u);
}

TEST_F(MapDraw, LaddersAreSolidAndEveryOtherCodeTransparent) {
    write_grid(1, {"H#$ovhT.", "........"});
    MAP_LOAD(1);
    MAP_DRAW();
    EXPECT_EQ(page_pixel(0, 0), MAGENTA & RGB); // the ladder's corner is copied
    const int codes[] = {CELL_BLOCK, CELL_SEED, CELL_EGG, CELL_LIFT_V, CELL_LIFT_H, 10};
    for (int k = 0; k < 6; k++) {
        SCOPED_TRACE(codes[k]);
        EXPECT_EQ(page_pixel(32 * (k + 1), 0), 0u);
        EXPECT_EQ(page_pixel(32 * (k + 1) + 5, 5), slot_colour(codes[k]) & RGB);
    }
    // Empty cells draw nothing, not even slot 0's plain picture.
    EXPECT_EQ(page_pixel(7 * 32 + 5, 5), 0u);
    EXPECT_EQ(page_pixel(5, 40), 0u);
}

TEST_F(MapDraw, EmptyAndMissingCellsDrawNothing) {
    MapCell& cell = one_cell(CELL_EMPTY);
    MAP_DRAW();
    EXPECT_EQ(page_pixel(5, 5), 0u);
    cell.code = CELL_NONE;
    MAP_DRAW();
    EXPECT_EQ(page_pixel(5, 5), 0u);
    // Entries past last_cell are never drawn.
    cells[1200] = MapCell{CELL_BLOCK, 64, 64, 0, 0, 0, 0};
    MAP_DRAW();
    EXPECT_EQ(page_pixel(70, 70), 0u);
}

TEST_F(MapDraw, LaterCellsAreDrawnOverEarlierOnes) {
    write_grid(1, {"#h..", "...."});
    MAP_LOAD(1);
    cells[1].x = 16; // the lift slides half over the block
    MAP_DRAW();
    EXPECT_EQ(page_pixel(10, 5), slot_colour(CELL_BLOCK) & RGB);
    EXPECT_EQ(page_pixel(20, 5), slot_colour(CELL_LIFT_H) & RGB);
    EXPECT_EQ(page_pixel(16, 0), slot_colour(CELL_BLOCK) & RGB); // the lift's magenta corner
}

TEST_F(MapDraw, PartlyVisibleCellsAtTheEdges) {
    MapCell& cell = one_cell(CELL_BLOCK);
    cell.x = 620;
    cell.y = 479;
    MAP_DRAW();
    EXPECT_EQ(page_pixel(639, 479), slot_colour(1) & RGB);
    clear_screen();
    cell.x = -31;
    cell.y = -31;
    MAP_DRAW();
    EXPECT_EQ(page_pixel(0, 0), slot_colour(1) & RGB);
    EXPECT_EQ(page_pixel(1, 1), 0u);
}

TEST_F(MapDrawDeath, VisibilityBoundsDecideWhichCellsAreLookedAt) {
    // A code above 10 ends the program only when the cell passes the
    // visibility tests, which shows exactly where those tests lie.
    const int line = source_line("map/map_draw.cpp", "CHECK(put_image(");
    ASSERT_GT(line, 0);
    const std::string report = map_report(6, "out of bounds array access", line, "MAP_DRAW");
    MapCell& cell = one_cell(11);
    const int shown[][2] = {{640, 0}, {-32, 0}, {0, 479}, {0, -32}, {640, 479}, {-32, -32}};
    for (const auto& p : shown) {
        SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
        cell.x = p[0];
        cell.y = p[1];
        EXPECT_EXIT(MAP_DRAW(), testing::ExitedWithCode(6), testing::Eq(report));
    }
    const int skipped[][2] = {{641, 0}, {-33, 0}, {0, 480}, {0, -33}};
    for (const auto& p : skipped) {
        SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
        cell.x = p[0];
        cell.y = p[1];
        MAP_DRAW(); // survives
    }
    // Scrolling brings the cell into view.
    cell.x = 700;
    cell.y = 0;
    MAP_DRAW();
    scroll_x = -60;
    EXPECT_EXIT(MAP_DRAW(), testing::ExitedWithCode(6), testing::Eq(report));
}

TEST_F(MapScroll, HorizontalStepsStayWithinTheFortyColumnRange) {
    scroll_x = 0;
    EXPECT_EQ(MAP_HSCROLL(2), 0);
    EXPECT_EQ(scroll_x, 0);
    EXPECT_EQ(MAP_HSCROLL(-2), 1);
    EXPECT_EQ(scroll_x, -2);
    scroll_x = -640;
    EXPECT_EQ(MAP_HSCROLL(-2), 0);
    EXPECT_EQ(scroll_x, -640);
    scroll_x = -639;
    EXPECT_EQ(MAP_HSCROLL(-2), 0); // no partial step
    EXPECT_EQ(scroll_x, -639);
    EXPECT_EQ(MAP_HSCROLL(-1), 1);
    EXPECT_EQ(scroll_x, -640);
    EXPECT_EQ(MAP_HSCROLL(640), 1);
    EXPECT_EQ(scroll_x, 0);
    // A huge step does not wrap round into the range.
    scroll_x = -1;
    EXPECT_EQ(MAP_HSCROLL(2147483647), 0);
    EXPECT_EQ(scroll_x, -1);
}

TEST_F(MapScroll, VerticalRangeFollowsTheMapsHeight) {
    map_height = 15;
    scroll_y = 0;
    for (int d : {1, -1, 2, -2, 100, -100}) EXPECT_EQ(MAP_VSCROLL(d), 0) << d;
    EXPECT_EQ(scroll_y, 0);
    map_height = 25;
    EXPECT_EQ(MAP_VSCROLL(-320), 1);
    EXPECT_EQ(scroll_y, -320);
    EXPECT_EQ(MAP_VSCROLL(-1), 0);
    EXPECT_EQ(MAP_VSCROLL(1), 1);
    scroll_y = -319;
    EXPECT_EQ(MAP_VSCROLL(-2), 0);
    EXPECT_EQ(scroll_y, -319);
    scroll_y = -1;
    EXPECT_EQ(MAP_VSCROLL(2), 0);
    EXPECT_EQ(MAP_VSCROLL(1), 1);
    EXPECT_EQ(scroll_y, 0);
}

TEST_F(MapSmall, BlocksLaddersAndEggsInTheirColoursAndNothingElse) {
    auto rows = empty_rows(40, 25);
    rows[0][0] = '#';
    rows[0][1] = 'H';
    rows[0][2] = 'o';
    rows[0][3] = '$';
    rows[0][4] = 'v';
    rows[0][5] = 'h';
    rows[0][6] = 'T';
    rows[24][39] = '#';
    write_grid(1, rows);
    MAP_LOAD(1);
    player_x = 288;
    player_y = 224;
    scroll_x = -352;
    scroll_y = -96;
    MAP_SMALL();
    const uint32_t expect[] = {0x00FF00, 0xFF00FF, 0xFFFF00, 0, 0, 0, 0};
    for (int col = 0; col < 7; col++) {
        SCOPED_TRACE(col);
        for (int dy = 0; dy < 2; dy++)
            for (int dx = 0; dx < 2; dx++) EXPECT_EQ(page_pixel(550 + 2 * col + dx, 14 + dy), expect[col]);
    }
    EXPECT_EQ(page_pixel(628, 62), 0x00FF00u); // the bottom-right block
    EXPECT_EQ(page_pixel(629, 63), 0x00FF00u);
    EXPECT_EQ(page_pixel(630, 63), 0u);
    EXPECT_EQ(page_pixel(629, 64), 0u);
    // The player's dot at map (640, 320) / 16.
    EXPECT_EQ(page_pixel(590, 34), 0xFF0000u);
    EXPECT_EQ(page_pixel(591, 35), 0xFF0000u);
    EXPECT_EQ(page_pixel(592, 35), 0u);
    EXPECT_EQ(page_pixel(589, 34), 0u);
    EXPECT_EQ(foreground_color(), 0xFFFF0000u);

    // A taken egg is gone from the next picture on.
    cells[2].code = CELL_EMPTY;
    clear_screen();
    MAP_SMALL();
    EXPECT_EQ(page_pixel(554, 14), 0u);
    EXPECT_EQ(page_pixel(552, 14), 0xFF00FFu);
}

TEST_F(MapSmall, NothingIsDrawnBehindTheOverview) {
    set_color(0xFF000000, 0xFF123456, 0);
    clear_screen();
    write_grid(1, {"#...", "...."});
    MAP_LOAD(1);
    player_x = 40;
    player_y = 40;
    MAP_SMALL();
    EXPECT_EQ(page_pixel(550, 14), 0x00FF00u);
    EXPECT_EQ(page_pixel(553, 14), 0x123456u);
    EXPECT_EQ(page_pixel(551, 16), 0x123456u);
}

TEST_F(MapSmall, DotRoundsTowardsMinusInfinity) {
    write_grid(1, {"....", "...."});
    MAP_LOAD(1);
    scroll_x = 0;
    scroll_y = 0;
    player_x = -1;  // map x -1: -1 / 16 rounds down to -1
    player_y = -17; // map y -17: rounds down to -2
    MAP_SMALL();
    EXPECT_EQ(page_pixel(549, 12), 0xFF0000u);
    EXPECT_EQ(page_pixel(550, 13), 0xFF0000u);
    EXPECT_EQ(page_pixel(551, 13), 0u);
    EXPECT_EQ(page_pixel(550, 14), 0u);
}
