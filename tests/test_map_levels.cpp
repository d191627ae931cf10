// test_map_levels.cpp -- the nine shipped level files through the map: each
// loads whole, starts the player on screen, holds only drawable codes, has
// eggs, and keeps its lifts inside the map over a long run of frames.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "test_map_util.h"

using namespace maptest;

namespace {

bool shipped_levels_present() {
    struct stat st;
    return stat("levels/1.bmp", &st) == 0;
}

} // namespace

TEST(MapShippedLevels, EveryLevelLoadsWithAStartEggsAndDrawableCells) {
    if (!shipped_levels_present()) GTEST_SKIP() << "no levels/ in the working folder";
    SWANS_CREATE_TABLE();
    for (int n = 1; n <= 9; n++) {
        SCOPED_TRACE(testing::Message() << "level " << n);
        MAP_CREATE_TABLE();
        player_x = player_y = -12345;
        MAP_LOAD(n);
        EXPECT_EQ(map_width, 40);
        EXPECT_GE(map_height, 1);
        EXPECT_LE(map_height, 25);
        EXPECT_EQ(last_cell, map_width * map_height - 1);
        EXPECT_GT(MAP_EGGS(), 0);
        // A start pixel was found and the player stands on screen.
        EXPECT_GE(player_x, 0);
        EXPECT_LE(player_x, 640 - 32);
        EXPECT_GE(player_y, 0);
        EXPECT_LE(player_y, 480 - 32);
        EXPECT_GE(scroll_x, -640);
        EXPECT_LE(scroll_x, 0);
        // A level of fewer than 15 rows sits on the screen's bottom edge.
        if (map_height < 15) {
            EXPECT_EQ(scroll_y, 480 - 32 * map_height);
        } else {
            EXPECT_GE(scroll_y, 480 - 32 * map_height);
            EXPECT_LE(scroll_y, 0);
        }
        for (int k = 0; k <= last_cell; k++) EXPECT_LE(cells[k].code, 10) << "cell " << k;
    }
}

TEST(MapShippedLevels, LiftsStayInsideTheMap) {
    if (!shipped_levels_present()) GTEST_SKIP() << "no levels/ in the working folder";
    SWANS_CREATE_TABLE();
    for (int n = 1; n <= 9; n++) {
        SCOPED_TRACE(testing::Message() << "level " << n);
        MAP_CREATE_TABLE();
        MAP_LOAD(n);
        player_x = player_y = -10000; // nobody in the way
        const int bottom = 32 * map_height - 16, right = 32 * (map_width - 1);
        for (int frame = 0; frame < 3000; frame++) {
            MAP_UPDATE();
            for (int k = 0; k <= last_cell; k++) {
                const MapCell& c = cells[k];
                if (c.code != CELL_LIFT_V && c.code != CELL_LIFT_H) continue;
                ASSERT_GE(c.x, 0) << "lift " << k << " frame " << frame;
                ASSERT_LE(c.x, right) << "lift " << k << " frame " << frame;
                ASSERT_GE(c.y, 0) << "lift " << k << " frame " << frame;
                ASSERT_LE(c.y, bottom) << "lift " << k << " frame " << frame;
            }
        }
    }
}
