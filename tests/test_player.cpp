// test_player.cpp -- the player's movement on small hand-made maps: walking
// and the screen's edge bands, gravity, jumps, ladders, the floor opening,
// collecting, lifts, reset, drawing and MAP_SET.
#include "test_player_map.h"

#include "services/image.h"

using namespace player_test;

namespace {

// A 40 x 15 map (no vertical scrolling) with a floor along row 14 (y 448):
// standing on it puts the sprite's top at map y 416.
constexpr int kFloorY = 416;

class PlayerWalk : public PlayerFixture {};
class PlayerGravity : public PlayerFixture {};
class PlayerJump : public PlayerFixture {};
class PlayerLadder : public PlayerFixture {};
class PlayerCollect : public PlayerFixture {};
class PlayerLift : public PlayerFixture {};
class PlayerState : public PlayerFixture {};

// --- walking and the edge bands ---------------------------------------------

TEST_F(PlayerWalk, RightScrollsTheViewInTheBandUntilTheMapEnds) {
    build_floor_map(40, 15);
    place(470, kFloorY);
    hold(RIGHT);
    // Into the band: the player moves.
    for (int expect = 472; expect <= 480; expect += 2) {
        PLAYER_UPDATE();
        ASSERT_EQ(player_x, expect);
        ASSERT_EQ(scroll_x, 0);
    }
    // In the band: the view moves, 2 pixels a frame, down to -640.
    for (int expect = -2; expect >= -640; expect -= 2) {
        PLAYER_UPDATE();
        ASSERT_EQ(player_x, 480);
        ASSERT_EQ(scroll_x, expect);
    }
    // The view refuses: the player walks on into the band.
    PLAYER_UPDATE();
    EXPECT_EQ(player_x, 482);
    EXPECT_EQ(scroll_x, -640);
    PLAYER_UPDATE();
    EXPECT_EQ(player_x, 484);
    EXPECT_EQ(map_py(), kFloorY);
    EXPECT_EQ(player_pose, 0);
}

TEST_F(PlayerWalk, LeftScrollsWithRoomAndWalksIntoTheBandWithout) {
    build_floor_map(40, 15);
    place(230, kFloorY, -100, 0); // player_x 130
    frames(1, LEFT);
    EXPECT_EQ(player_x, 128);
    EXPECT_EQ(scroll_x, -100);
    frames(1, LEFT);
    EXPECT_EQ(player_x, 128);
    EXPECT_EQ(scroll_x, -98);
    EXPECT_EQ(player_pose, 2);

    // At the map's left edge the view cannot scroll.
    place(132, kFloorY, 0, 0);
    frames(3, LEFT);
    EXPECT_EQ(player_x, 126);
    EXPECT_EQ(scroll_x, 0);
}

TEST_F(PlayerWalk, VerticalBandsScrollWhenTheMapIsTallEnough) {
    // 25 rows: scroll_y runs from -320 to 0.  A ladder up column 3.
    build_map({"...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......"});
    place(96, 400, 0, -320); // player_y 80, inside the top band
    frames(1, UP);
    EXPECT_EQ(player_y, 80);
    EXPECT_EQ(scroll_y, -318);
    EXPECT_EQ(map_py(), 398);
    // Climbing down in the bottom band scrolls the other way.
    place(96, 400, 0, -40); // player_y 360
    frames(1, DOWN);
    EXPECT_EQ(player_y, 360);
    EXPECT_EQ(scroll_y, -42);
    // At the top of the map the view refuses and the player moves.
    place(96, 40, 0, 0);
    frames(1, UP);
    EXPECT_EQ(player_y, 38);
    EXPECT_EQ(scroll_y, 0);
}

TEST_F(PlayerWalk, FifteenRowMapNeverScrollsVertically) {
    build_map({"...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......",
               "...H......", "...H......", "...H......", "...H......", "...H......"});
    place(96, 90);
    frames(1, UP);
    EXPECT_EQ(player_y, 88);
    EXPECT_EQ(scroll_y, 0);
    place(96, 360);
    frames(1, DOWN);
    EXPECT_EQ(player_y, 362);
    EXPECT_EQ(scroll_y, 0);
}

TEST_F(PlayerWalk, StopsAtAWallAndAnimatesEveryEleventhStep) {
    build_floor_map(40, 15);
    cells[13 * 40 + 8].code = CELL_BLOCK; // wall from x 256, on the floor
    place(200, kFloorY);
    for (int i = 0; i < 10; ++i) {
        frames(1, RIGHT);
        EXPECT_EQ(player_frame, 0);
    }
    EXPECT_EQ(player_step_count, 10);
    frames(1, RIGHT);
    EXPECT_EQ(player_step_count, 0);
    EXPECT_EQ(player_frame, 1);
    frames(20, RIGHT);
    // The body's right column stops at 254: one more step would reach 256.
    EXPECT_EQ(map_px() + 6 + 20, 254);
    // A blocked step does not advance the animation.
    const int count = player_step_count;
    frames(3, RIGHT);
    EXPECT_EQ(player_step_count, count);
}

TEST_F(PlayerWalk, LeftAndRightTogetherCancelOut) {
    build_floor_map(40, 15);
    place(300, kFloorY);
    frames(1, LEFT | RIGHT);
    EXPECT_EQ(map_px(), 300);
    EXPECT_EQ(player_pose, 2);
    EXPECT_EQ(walk_right, 1);
    EXPECT_EQ(walk_left, 1);
    EXPECT_EQ(player_step_count, 2);
    frames(1, NONE);
    EXPECT_EQ(walk_right, 0);
    EXPECT_EQ(walk_left, 0);
}

// --- gravity ---------------------------------------------------------------

TEST_F(PlayerGravity, StandingExactlyOnABlock) {
    build_floor_map(20, 15);
    place(100, kFloorY);
    EXPECT_EQ(PLAYER_COLLIDE(0, 1), 1);
    EXPECT_EQ(PLAYER_COLLIDE(0, 0), -1);
    frames(3);
    EXPECT_EQ(map_py(), kFloorY);
    // One pixel higher: exactly one pixel of fall, then standing.
    place(100, kFloorY - 1);
    EXPECT_EQ(PLAYER_COLLIDE(0, 1), -1);
    frames(1);
    EXPECT_EQ(map_py(), kFloorY);
}

TEST_F(PlayerGravity, FallsUpToFourPixelsAFramePixelByPixel) {
    build_floor_map(20, 15);
    for (int above = 0; above <= 9; ++above) {
        place(100, kFloorY - above);
        frames(1);
        EXPECT_EQ(map_py(), kFloorY - above + (above < 4 ? above : 4)) << above;
    }
}

TEST_F(PlayerGravity, FallingInTheBottomBandScrollsTheView) {
    build_floor_map(20, 25); // floor at y 768
    place(100, 400, 0, -40); // player_y 360
    frames(1);
    EXPECT_EQ(player_y, 360);
    EXPECT_EQ(scroll_y, -44);
    EXPECT_EQ(map_py(), 404);
}

// --- jumps -----------------------------------------------------------------

TEST_F(PlayerJump, RisesFortyPixelsInTwentyFourFramesThenFalls) {
    build_floor_map(20, 15);
    place(100, kFloorY);
    frames(1, UP);
    EXPECT_EQ(map_py(), kFloorY - 2);
    EXPECT_EQ(jump_count, 23);
    hold(NONE);
    int y = map_py();
    for (int frame = 2; frame <= 24; ++frame) {
        PLAYER_UPDATE();
        const int rise = frame <= 16 ? 2 : 1;
        ASSERT_EQ(map_py(), y - rise) << "frame " << frame;
        y = map_py();
    }
    EXPECT_EQ(map_py(), kFloorY - 40);
    EXPECT_EQ(jump_count, 0);
    for (int frame = 1; frame <= 10; ++frame) {
        PLAYER_UPDATE();
        ASSERT_EQ(map_py(), kFloorY - 40 + 4 * frame);
    }
    frames(1);
    EXPECT_EQ(map_py(), kFloorY);
}

TEST_F(PlayerJump, UpHeldJumpsAgainInTheFrameOfLanding) {
    build_floor_map(20, 15);
    place(100, kFloorY);
    frames(24, UP);
    EXPECT_EQ(map_py(), kFloorY - 40);
    frames(9, UP); // falling, Up does nothing in the air
    EXPECT_EQ(map_py(), kFloorY - 4);
    EXPECT_EQ(jump_count, 0);
    frames(1, UP); // lands and takes off
    EXPECT_EQ(jump_count, 23);
    EXPECT_EQ(map_py(), kFloorY - 2);
}

TEST_F(PlayerJump, NoJumpInTheAirOrUnderALowCeiling) {
    build_floor_map(20, 15);
    place(100, kFloorY - 20);
    frames(1, UP);
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(map_py(), kFloorY - 16);

    // Ceiling one row above the head.
    cells[12 * 20 + 3].code = CELL_BLOCK; // rows 384..415, columns 96..127
    place(100, kFloorY);
    frames(1, UP);
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(map_py(), kFloorY);

    // Ceiling two rows above: standing on a strip one row lower.
    cells[13 * 20 + 3] = MapCell{CELL_LIFT_H, 96, 449, 3, 13, 0, 0};
    map_cells_changed();
    cells[14 * 20 + 3].code = CELL_EMPTY;
    place(100, kFloorY + 1);
    frames(1);
    EXPECT_EQ(map_py(), kFloorY + 1);
    frames(1, UP);
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(map_py(), kFloorY + 1);
}

TEST_F(PlayerJump, EndsUnderACeiling) {
    build_floor_map(20, 15);
    cells[11 * 20 + 3].code = CELL_BLOCK; // bottom row 383
    place(100, kFloorY);
    frames(1, UP);
    hold(NONE);
    for (int frame = 2; frame <= 16; ++frame) PLAYER_UPDATE();
    EXPECT_EQ(map_py(), 384);
    EXPECT_EQ(jump_count, 8);
    frames(1); // moved up 2 would touch row 383: the jump ends
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(map_py(), 384);
    frames(1);
    EXPECT_EQ(map_py(), 388);
}

// --- ladders ---------------------------------------------------------------

// A 10 x 15 map: floor along row 10 with a ladder at column 5 (x 160..191)
// from row 10 to row 13, on a floor along row 14.
void build_ladder_map() {
    build_map({"..........", "..........", "..........", "..........", "..........",
               "..........", "..........", "..........", "..........", "..........",
               "#####H####", ".....H....", ".....H....", ".....H....", "##########"});
}

TEST_F(PlayerLadder, ClimbsTwoPixelsAFrameWithTheClimbingPose) {
    build_ladder_map();
    place(160, 350);
    frames(1);
    EXPECT_EQ(map_py(), 350); // on a ladder: no gravity
    EXPECT_EQ(ladder_cell, 10 * 10 + 5);
    frames(10, UP);
    EXPECT_EQ(map_py(), 330);
    EXPECT_EQ(player_pose, 4);
    EXPECT_EQ(player_step_count, 10);
    frames(1, UP);
    EXPECT_EQ(player_frame, 1);
    frames(5, DOWN);
    EXPECT_EQ(map_py(), 338);
    EXPECT_EQ(map_px(), 160); // climbing never moves sideways
}

TEST_F(PlayerLadder, TopOfALadder) {
    build_ladder_map();
    place(160, 288); // the feet just above the ladder's top
    frames(5);
    EXPECT_EQ(map_py(), 288);
    EXPECT_EQ(ladder_cell, -1);
    EXPECT_EQ(PLAYER_OVER(CELL_LADDER, 0, 1), 105);
    frames(1, DOWN);
    EXPECT_EQ(map_py(), 290);
    EXPECT_EQ(player_pose, 4);
    place(160, 288);
    frames(1, UP);
    EXPECT_EQ(jump_count, 23);
    EXPECT_EQ(map_py(), 286);
}

TEST_F(PlayerLadder, ClimbingUpOffTheTopTurnsIntoAJump) {
    build_ladder_map();
    place(160, 300);
    frames(6, UP);
    EXPECT_EQ(map_py(), 288);
    EXPECT_EQ(jump_count, 0);
    frames(1, UP);
    EXPECT_EQ(jump_count, 23);
    EXPECT_EQ(map_py(), 286);
}

TEST_F(PlayerLadder, OneCellOpeningPassesOnlyTwelveColumnsOfBx) {
    // The opening at column 4 (x 128..159), empty and then as a ladder.
    for (const char* floor : {"####.#####", "####H#####"}) {
        for (int bx = 110; bx <= 150; ++bx) {
            build_map({"..........", "..........", "..........", "..........", "..........",
                       "..........", "..........", "..........", "..........", "..........",
                       floor, "..........", "..........", "..........", "##########"});
            place(bx - 6, 288);
            keyboard_reset();
            frames(3, DOWN);
            const bool through = map_py() > 288;
            EXPECT_EQ(through, bx >= 128 && bx <= 139) << floor << " bx " << bx;
        }
    }
}

// Ladder help (an assist): from every start where the body overlaps the
// ladder, Up climbs through the floor above and Down through the floor
// below; without it most of those starts stick under (or on) the floor.
TEST_F(PlayerLadder, LadderHelpTakesEveryOverlappingStartThroughTheFloor) {
    for (const int help : {0, 1}) {
        ladder_help = help;
        int starts = 0, stuck_up = 0, stuck_down = 0;
        for (int bx = 140; bx <= 191; ++bx) { // the body (bx .. bx + 20) overlaps x 160 .. 191
            starts++;
            build_ladder_map();
            place(bx - 6, 416); // standing on the bottom floor
            keyboard_reset();
            frames(80, UP);
            stuck_up += map_py() > 288 ? 1 : 0; // not up through the floor at row 10
            place(bx - 6, 288); // standing on the floor at row 10
            keyboard_reset();
            frames(30, DOWN);
            stuck_down += map_py() <= 300 ? 1 : 0;
        }
        if (help) {
            EXPECT_EQ(stuck_up, 0);
            EXPECT_EQ(stuck_down, 0);
        } else {
            EXPECT_EQ(stuck_up, starts - 12) << "only 12 starts of " << starts << " climb through without help";
            EXPECT_EQ(stuck_down, starts - 12);
        }
    }
    ladder_help = 0;
}

TEST_F(PlayerLadder, WalkingOffALadderOverAGapFalls) {
    // A free-standing ladder at column 5, rows 5 to 10; floor at row 14.
    build_map({"..........", "..........", "..........", "..........", "..........",
               ".....H....", ".....H....", ".....H....", ".....H....", ".....H....",
               ".....H....", "..........", "..........", "..........", "##########"});
    place(160, 224);
    hold(RIGHT);
    for (int i = 0; i < 20; ++i) {
        const int bx = map_px() + 6;
        const int y = map_py();
        PLAYER_UPDATE();
        if (bx <= 191) {
            ASSERT_EQ(map_py(), y) << "bx " << bx;
        } else {
            ASSERT_EQ(map_py(), y + 4) << "bx " << bx;
        }
    }
    EXPECT_GT(map_py(), 224);
}

// --- collecting --------------------------------------------------------------

TEST_F(PlayerCollect, TwoEggsAreTakenLowerIndexFirst) {
    build_floor_map(20, 15);
    cells[13 * 20 + 3].code = CELL_EGG; // x 96..127
    cells[13 * 20 + 4].code = CELL_EGG; // x 128..159
    place(114, kFloorY);                // body 120..140
    frames(1);
    EXPECT_EQ(cells[13 * 20 + 3].code, CELL_EMPTY);
    EXPECT_EQ(cells[13 * 20 + 4].code, CELL_EGG);
    EXPECT_EQ(eggs_taken, 1);
    EXPECT_EQ(score, 10);
    frames(1);
    EXPECT_EQ(cells[13 * 20 + 4].code, CELL_EMPTY);
    EXPECT_EQ(eggs_taken, 2);
    EXPECT_EQ(score, 20);
    frames(1);
    EXPECT_EQ(score, 20);
}

TEST_F(PlayerCollect, EggAndSeedInOneFrameSeedsOneAtATime) {
    build_floor_map(20, 15);
    cells[13 * 20 + 3].code = CELL_SEED;
    cells[13 * 20 + 4].code = CELL_EGG;
    place(114, kFloorY);
    frames(1);
    EXPECT_EQ(score, 15);
    EXPECT_EQ(eggs_taken, 1);
    EXPECT_EQ(cells[13 * 20 + 3].code, CELL_EMPTY);

    build_floor_map(20, 15);
    cells[13 * 20 + 3].code = CELL_SEED;
    cells[13 * 20 + 4].code = CELL_SEED;
    score = 0;
    eggs_taken = 0;
    frames(1);
    EXPECT_EQ(score, 5);
    EXPECT_EQ(cells[13 * 20 + 4].code, CELL_SEED);
    frames(1);
    EXPECT_EQ(score, 10);
    EXPECT_EQ(eggs_taken, 0);
}

TEST_F(PlayerCollect, ItemsStrictlyInsideTheBodyRowsAreNotTaken) {
    // Egg at column 3, row 12 (its rows 400..415); a ladder beside it holds
    // the player still at any height.
    for (int by = 360; by <= 420; ++by) {
        build_map({"..........", "..........", "..........", "..........", "..........",
                   "..........", "..........", "..........", "..........", "..........",
                   "....H.....", "....H.....", "...eH.....", "....H.....", "##########"});
        place(114, by);
        eggs_taken = 0;
        frames(1);
        const bool taken = (by >= 369 && by <= 384) || (by >= 400 && by <= 415);
        EXPECT_EQ(eggs_taken, taken ? 1 : 0) << "by " << by;
        EXPECT_EQ(cells[12 * 10 + 3].code, taken ? CELL_EMPTY : CELL_EGG) << "by " << by;
    }
}

// --- lifts -----------------------------------------------------------------

// A vertical lift at column 5, row 10 (x 160, y 320); floor at row 14.
void build_lift_map(const char* above) {
    build_map({"..........", "..........", "..........", "..........", "..........",
               "..........", "..........", "..........", above, "..........",
               ".....V....", "..........", "..........", "..........", "##########"});
}

TEST_F(PlayerLift, RisingLiftPushesOnePixelButNotIntoACeiling) {
    build_lift_map("..........");
    place(160, 288); // standing on the lift's top
    frames(1);
    EXPECT_EQ(map_py(), 288);
    cells[105].y = 319; // the lift has risen a pixel into the body
    frames(1);
    EXPECT_EQ(map_py(), 287);
    cells[105].y = 318;
    frames(1);
    EXPECT_EQ(map_py(), 286);

    build_lift_map(".....#...."); // a block right above the head (rows 256..287)
    place(160, 288);
    cells[105].y = 319;
    frames(1);
    EXPECT_EQ(map_py(), 288);
}

TEST_F(PlayerLift, SinkingLiftLeavesThePlayerToFallOntoIt) {
    build_lift_map("..........");
    place(160, 288);
    cells[105].y = 321;
    frames(1);
    EXPECT_EQ(map_py(), 289);
    cells[105].y = 330;
    frames(1);
    EXPECT_EQ(map_py(), 293);
    frames(2);
    EXPECT_EQ(map_py(), 298);
}

TEST_F(PlayerLift, HorizontalLiftIsSolidButDoesNotCarry) {
    build_lift_map("..........");
    cells[105].code = CELL_LIFT_H;
    place(160, 288);
    frames(2);
    EXPECT_EQ(map_py(), 288);
    cells[105].x = 170;
    frames(2);
    EXPECT_EQ(map_px(), 160);
    EXPECT_EQ(map_py(), 288);
    // A thin lift strip inside the body's rows blocks a side step.
    place(120, 310);
    cells[105].x = 160;
    EXPECT_EQ(PLAYER_COLLIDE(0, 0), -1);
    EXPECT_EQ(PLAYER_COLLIDE(20, 0), 1);
}

// --- reset, drawing, MAP_SET and the sprites ---------------------------------

TEST_F(PlayerState, ResetRestoresTheStartAndEndsTheJump) {
    start_x = 288;
    start_y = 224;
    start_scroll_x = -352;
    start_scroll_y = -96;
    player_x = 10;
    player_y = 20;
    scroll_x = -3;
    scroll_y = -4;
    jump_count = 12;
    player_pose = 4;
    PLAYER_RESET();
    EXPECT_EQ(player_x, 288);
    EXPECT_EQ(player_y, 224);
    EXPECT_EQ(scroll_x, -352);
    EXPECT_EQ(scroll_y, -96);
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(player_pose, 4); // the pose is never reset
}

TEST_F(PlayerState, DrawShowsThePoseAndFrameSprite) {
    for (int slot = 0; slot < 6; ++slot) {
        Image* image = create_image(32, 32, 0xFF000010u + static_cast<uint32_t>(slot));
        ASSERT_NE(image, nullptr);
        image->row(0)[0] = 0xFFFF00FFu; // a transparent corner
        player_images[slot] = image;
    }
    set_color(0xFF000000u, 0xFF000000u, 0);
    clear_screen();
    player_x = 100;
    player_y = 50;
    player_pose = 2;
    player_frame = 1;
    PLAYER_DRAW();
    EXPECT_EQ(work_page()->row(60)[110] & 0xFFFFFFu, 0x13u);
    EXPECT_EQ(work_page()->row(50)[100] & 0xFFFFFFu, 0u);
    player_pose = 4;
    player_frame = 0;
    PLAYER_DRAW();
    EXPECT_EQ(work_page()->row(60)[110] & 0xFFFFFFu, 0x14u);
}

TEST_F(PlayerState, MapSetStoresACode) {
    build_floor_map(10, 5);
    MAP_SET(3, CELL_EGG);
    EXPECT_EQ(cells[3].code, CELL_EGG);
    MAP_SET(1600, CELL_EMPTY);
    EXPECT_EQ(cells[1600].code, CELL_EMPTY);
}

TEST_F(PlayerState, MapSetOutsideTheTableEndsTheProgram) {
    EXPECT_EXIT(MAP_SET(1601, 0), ::testing::ExitedWithCode(6),
                "out of bounds array access.*player::MAP_SET");
    EXPECT_EXIT(MAP_SET(-1, 0), ::testing::ExitedWithCode(6),
                "out of bounds array access.*player::MAP_SET");
}

} // namespace
