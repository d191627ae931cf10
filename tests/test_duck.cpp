// test_duck.cpp -- tests of the duck: placing and resetting it, its
// animation, the free duck's chase steps and direction, which picture is
// drawn, and the cage with its bars and its visibility limits.
#include "actors/duck.h"
#include "actors/player.h"
#include "main/shell.h"
#include "map/map.h"
#include "services/image.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t CAGE_RGB = 0xCC6600;
constexpr uint32_t BLACK = 0xFF000000;

void ensure_screen() {
    if (!screen_is_open()) {
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    }
    ASSERT_EQ(set_pages(0, 1), 0);
    view_width = 640;
    view_height = 480;
}

void clear_page() {
    ASSERT_EQ(set_color(0, BLACK, KEEP_FOREGROUND), 0);
    ASSERT_EQ(clear_screen(), 0);
}

uint32_t pixel(int x, int y) { return work_page()->row(y)[x]; }
bool is_cage(int x, int y) { return (pixel(x, y) & 0x00FFFFFF) == CAGE_RGB; }

// Puts the duck at map (x, y) with a fresh tick and the given direction.
void place_duck(int x, int y, int dir, int tick = 0) {
    duck_x = duck_start_x = x;
    duck_y = duck_start_y = y;
    duck_dir = dir;
    duck_tick = tick;
    duck_frame = 0;
}

// Four solid pictures of different colours in the duck's slots, so a test
// can tell which slot was drawn; restores the real ones when it ends.
struct MarkedImages {
    Table<Image*, 4> saved = duck_images;
    static constexpr uint32_t colour[4] = {0xFF110000, 0xFF220000, 0xFF330000, 0xFF440000};
    MarkedImages() {
        for (int i = 0; i < 4; ++i) duck_images[i] = create_image(64, 64, colour[i]);
    }
    ~MarkedImages() { duck_images = saved; }
};

} // namespace

TEST(DuckPlace, SetAndResetUseMapPixelsOfTheCell) {
    DUCK_SET(5, 3);
    EXPECT_EQ(duck_x, 160);
    EXPECT_EQ(duck_y, 96);
    EXPECT_EQ(duck_start_x, 160);
    EXPECT_EQ(duck_start_y, 96);
    duck_x = 7;
    duck_y = -40;
    duck_dir = -1;
    duck_tick = 5;
    duck_frame = 1;
    DUCK_RESET();
    EXPECT_EQ(duck_x, 160);
    EXPECT_EQ(duck_y, 96);
    EXPECT_EQ(duck_dir, -1) << "direction and animation are never reset";
    EXPECT_EQ(duck_tick, 5);
    EXPECT_EQ(duck_frame, 1);
}

TEST(DuckUpdate, CagedDuckAnimatesEveryTwelveFramesAndNeverMoves) {
    duck_active = 0;
    scroll_x = scroll_y = 0;
    player_x = 600;
    player_y = 400;
    place_duck(64, 64, 0);
    for (int f = 1; f <= 120; ++f) {
        DUCK_UPDATE();
        ASSERT_EQ(duck_tick, f % 12) << "frame " << f;
        ASSERT_EQ(duck_frame, (f / 12) % 2) << "frame " << f;
        ASSERT_EQ(duck_x, 64);
        ASSERT_EQ(duck_y, 64);
        ASSERT_EQ(duck_dir, 0);
    }
}

TEST(DuckUpdate, FreeDuckStepsOnOddTicksOnly) {
    duck_active = 1;
    scroll_x = -100;
    scroll_y = -50;
    // Screen position (0, 0); target (player_x - 16, player_y - 24) = (200, 100).
    place_duck(100, 50, 0);
    player_x = 216;
    player_y = 124;
    for (int f = 1; f <= 24; ++f) {
        const int x0 = duck_x, y0 = duck_y;
        DUCK_UPDATE();
        const bool odd = duck_tick % 2 == 1;
        ASSERT_EQ(duck_x - x0, odd ? 1 : 0) << "frame " << f;
        ASSERT_EQ(duck_y - y0, odd ? 1 : 0) << "frame " << f;
    }
    EXPECT_EQ(duck_x, 112); // 12 steps in 24 frames
    EXPECT_EQ(duck_dir, +1);
    duck_active = 0;
    scroll_x = scroll_y = 0;
}

TEST(DuckUpdate, ChaseSettlesOnTheTargetAndKeepsItsDirection) {
    duck_active = 1;
    scroll_x = scroll_y = 0;
    player_x = 116; // target x 100
    player_y = 74;  // target y 50
    place_duck(110, 45, 0);
    for (int f = 0; f < 200; ++f) DUCK_UPDATE();
    EXPECT_EQ(duck_x, 100);
    EXPECT_EQ(duck_y, 50);
    EXPECT_EQ(duck_dir, -1) << "it last stepped left";
    // Level with the target horizontally: only the vertical step, direction kept.
    player_y = 70;
    for (int f = 0; f < 24; ++f) DUCK_UPDATE();
    EXPECT_EQ(duck_x, 100);
    EXPECT_EQ(duck_y, 46);
    EXPECT_EQ(duck_dir, -1);
    // Scrolling the map moves the target relative to the duck.
    scroll_x = -10;
    for (int f = 0; f < 24; ++f) DUCK_UPDATE();
    EXPECT_EQ(duck_x + scroll_x, 100);
    EXPECT_EQ(duck_dir, +1);
    duck_active = 0;
    scroll_x = 0;
}

TEST(DuckUpdate, NeverStepsWithoutBeingFree) {
    for (int flag : {0, 2, -1}) {
        duck_active = flag;
        player_x = 500;
        player_y = 300;
        place_duck(0, 0, 0);
        for (int f = 0; f < 30; ++f) DUCK_UPDATE();
        EXPECT_EQ(duck_x, 0) << "duck_active " << flag;
        EXPECT_EQ(duck_y, 0);
    }
    duck_active = 0;
}

TEST(DuckDraw, CagedDuckIsDrawnWithItsCage) {
    ensure_screen();
    MarkedImages marks;
    clear_page();
    duck_active = 0;
    scroll_x = -32;
    scroll_y = 0;
    place_duck(132, 100, -1);
    duck_frame = 1;
    DUCK_DRAW();
    // The duck at screen (100, 100): slot 1 while caged, whatever the direction.
    EXPECT_EQ(pixel(102, 102), MarkedImages::colour[1] & 0x00FFFFFF);
    EXPECT_EQ(pixel(163, 163), MarkedImages::colour[1] & 0x00FFFFFF);
    // The cage: a = 92, b = 92; the frame from 91 to 173, two pixels thick.
    for (int t = 91; t <= 173; ++t) {
        EXPECT_TRUE(is_cage(t, 91)) << t;
        EXPECT_TRUE(is_cage(t, 92)) << t;
        EXPECT_TRUE(is_cage(t, 172)) << t;
        EXPECT_TRUE(is_cage(t, 173)) << t;
        EXPECT_TRUE(is_cage(91, t)) << t;
        EXPECT_TRUE(is_cage(173, t)) << t;
    }
    EXPECT_FALSE(is_cage(90, 120));
    EXPECT_FALSE(is_cage(174, 120));
    EXPECT_FALSE(is_cage(120, 174));
    // Bars every 16 pixels, two wide, over the duck's picture.
    for (int d = 0; d <= 80; d += 16) {
        EXPECT_TRUE(is_cage(92 + d, 130)) << d;
        EXPECT_TRUE(is_cage(93 + d, 130)) << d;
    }
    EXPECT_EQ(pixel(94 + 16, 130), MarkedImages::colour[1] & 0x00FFFFFF);
    EXPECT_EQ(pixel(107, 130), MarkedImages::colour[1] & 0x00FFFFFF);
    EXPECT_EQ(pixel(96, 130), BLACK) << "between the frame and the duck";
    EXPECT_EQ(foreground_color(), 0xFFCC6600u) << "the cage colour stays in force";
    scroll_x = 0;
}

TEST(DuckDraw, FreeDuckPicksItsPictureByDirection) {
    ensure_screen();
    MarkedImages marks;
    duck_active = 1;
    scroll_x = scroll_y = 0;
    struct Case { int dir, frame, slot; } cases[] = {
        {+1, 0, 0}, {+1, 1, 1}, {-1, 0, 2}, {-1, 1, 3}, {0, 0, 2}, {0, 1, 3}};
    for (const Case& c : cases) {
        clear_page();
        place_duck(200, 200, c.dir);
        duck_frame = c.frame;
        DUCK_DRAW();
        EXPECT_EQ(pixel(200, 200), MarkedImages::colour[c.slot] & 0x00FFFFFF) << c.slot;
        EXPECT_EQ(pixel(263, 263), MarkedImages::colour[c.slot] & 0x00FFFFFF);
        EXPECT_FALSE(is_cage(192, 230)) << "a free duck has no cage";
        EXPECT_EQ(pixel(199, 230), BLACK);
    }
    duck_active = 0;
}

TEST(DuckDraw, CageVisibilityLimitsAreStrict) {
    ensure_screen();
    // a = x - 8 = -79: the right-hand bars at a + 80 and a + 81 show at 1 and 2.
    clear_page();
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(-71, 100);
    EXPECT_TRUE(is_cage(1, 150));
    EXPECT_TRUE(is_cage(2, 150));
    EXPECT_TRUE(is_cage(0, 91)) << "the top of the frame reaches in";
    // a = -80: nothing at all, and the colour is left alone.
    clear_page();
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(-72, 100);
    for (int x = 0; x < 8; ++x)
        for (int y = 80; y < 200; ++y) ASSERT_EQ(pixel(x, y), BLACK) << x << "," << y;
    EXPECT_EQ(foreground_color(), 0xFF123456u);
    // The same limits on b.
    clear_page();
    DRAWCAGE(100, -71);
    EXPECT_TRUE(is_cage(150, 1));
    clear_page();
    DRAWCAGE(100, -72);
    EXPECT_FALSE(is_cage(150, 0));
    EXPECT_FALSE(is_cage(150, 1));
    // Far right and bottom: a < view_width + 80 and b < view_height + 80.
    // Just inside the limit the frame's left edge at a - 1 is off the page,
    // so only the colour tells that it was drawn.
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(640 + 79 + 8, 100);
    EXPECT_EQ(foreground_color(), 0xFFCC6600u);
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(640 + 80 + 8, 100);
    EXPECT_EQ(foreground_color(), 0xFF123456u);
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(100, 480 + 79 + 8);
    EXPECT_EQ(foreground_color(), 0xFFCC6600u);
    ASSERT_EQ(set_color(0xFF123456, BLACK, 0), 0);
    DRAWCAGE(100, 480 + 80 + 8);
    EXPECT_EQ(foreground_color(), 0xFF123456u);
    // Near the right edge the left part of the cage is still drawn.
    clear_page();
    DRAWCAGE(600, 100);
    EXPECT_TRUE(is_cage(592, 150));
    EXPECT_TRUE(is_cage(639, 91));
}
