// test_shell.cpp -- tests of the game shell's level loop: level completion
// and the time bonus, the level table (files, enemies, extra lives), lives
// lost at the screen edges, the clock and Time Up, the end of a game and the
// high score, the heads-up display and the screenshot key.
#include "test_shell_util.h"

#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

using namespace shell_test;

namespace {

// Cell index of the first egg of the current map, or -1.
int first_egg()
{
    for (int i = 0; i <= last_cell; i++)
        if (cells[i].code == CELL_EGG) return i;
    return -1;
}

// Per level start: what the level table gave.
struct Arrival {
    int level, level_file, lives, swans, duck;
};
std::vector<Arrival> arrivals;

void log_arrival(const char* name)
{
    if (std::strncmp(name, "level:", 6) != 0) return;
    arrivals.push_back({level, level_file, lives, swans_active, duck_active});
    // An empty map has no floor: keep the player on screen for its one frame.
    player_x = 288;
    player_y = 224;
}

} // namespace

using ShellLevel = ShellTest;

TEST_F(ShellLevel, LevelWithoutEggsCompletesAfterFirstFrameWithBonus500)
{
    NEW_GAME(); // no level files here: every map is empty
    LEVEL_START();
    EXPECT_EQ(egg_total, 0);
    EXPECT_TRUE(saw("infobox:Level 1"));
    EXPECT_TRUE(saw("level:1"));
    player_x = 288;
    player_y = 224;
    EXPECT_EQ(PLAY_FRAME(), 2);
    LEVEL_END();
    EXPECT_EQ(score, 500);
    EXPECT_TRUE(saw("score:500")); // said for those who cannot see the HUD
    EXPECT_EQ(level, 2);
    EXPECT_EQ(level_file, 2);
    EXPECT_EQ(lives, 3);
}

TEST_F(ShellLevel, WholeGameFollowsTheLevelTable)
{
    arrivals.clear();
    on_event = log_arrival;
    PLAY_GAME(); // 27 empty levels, each completed in its first frame
    ASSERT_EQ(arrivals.size(), 27u);
    for (int i = 0; i < 27; i++) {
        const int L = i + 1;
        SCOPED_TRACE("level " + std::to_string(L));
        EXPECT_EQ(arrivals[i].level, L);
        EXPECT_EQ(arrivals[i].level_file, (L - 1) % 9 + 1);
        // One extra life on arrival at 9 and at 18, nowhere else.
        EXPECT_EQ(arrivals[i].lives, 3 + (L >= 9) + (L >= 18));
        EXPECT_EQ(arrivals[i].swans, (L <= 9 || L >= 19) ? 1 : 0);
        EXPECT_EQ(arrivals[i].duck, L >= 10 ? 1 : 0);
    }
    EXPECT_EQ(score, 27 * 500);
    EXPECT_TRUE(saw("infobox:All levels completed!"));
    EXPECT_TRUE(saw("infobox:Final Score: 13500"));
    EXPECT_FALSE(saw("infobox:Game Over"));
    EXPECT_EQ(high_score, 13500);
    // The boxes come in order: the last level, then the end of the game.
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "infobox:All levels completed!");
    EXPECT_EQ(events.back(), "infobox:Final Score: 13500");
}

TEST_F(ShellLevel, LevelStartLoadsTheLevelAndShowsItsBox)
{
    start_still_game();
    EXPECT_EQ(eggs_taken, 0);
    EXPECT_EQ(time_left, 500);
    EXPECT_EQ(time_tick, 0);
    EXPECT_EQ(quit_code, 0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "infobox:Level 1");
    EXPECT_EQ(events[1], "level:1");
    // The map of the level start lies under the box: the floor, left of the box.
    const Image* block = cell_images[CELL_BLOCK];
    int compared = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            const uint32_t p = block->row(y)[x] & 0xFFFFFF;
            if (p == 0xFF00FF) continue;
            ASSERT_EQ(pixel(64 + x, 256 + y), p) << x << "," << y;
            compared++;
        }
    EXPECT_GT(compared, 0);
}

using ShellFrame = ShellTest;

TEST_F(ShellFrame, OffScreenEdges)
{
    view_height = 480;
    const struct { int y, dead; } cases[] = {
        {480, 0}, {481, 1}, {-31, 0}, {-32, 1}, {0, 0}, {224, 0}, {5000, 1}, {-5000, 1},
    };
    for (const auto& c : cases) {
        player_y = c.y;
        EXPECT_EQ(OFF_SCREEN(), c.dead) << "player_y " << c.y;
    }
}

TEST_F(ShellFrame, StandingStillIsSafeAndTimeStepsEvery50Frames)
{
    start_still_game();
    for (int f = 1; f <= 49; f++) ASSERT_EQ(PLAY_FRAME(), 0) << "frame " << f;
    EXPECT_EQ(time_left, 500);
    EXPECT_EQ(time_tick, 49);
    EXPECT_EQ(PLAY_FRAME(), 0);
    EXPECT_EQ(time_left, 499);
    EXPECT_EQ(time_tick, 0);
    for (int f = 0; f < 50; f++) PLAY_FRAME();
    EXPECT_EQ(time_left, 498);
    EXPECT_EQ(lives, 3);
    EXPECT_EQ(dead, 0);
    EXPECT_EQ(player_x, 288);
    EXPECT_EQ(player_y, 224);
}

TEST_F(ShellFrame, LifeLostAtTheTopKeepsEggsAndTime)
{
    start_still_game();
    eggs_taken = 1;
    time_left = 321;
    time_tick = 10;
    player_y = -200;
    EXPECT_EQ(PLAY_FRAME(), 0);
    EXPECT_EQ(lives, 2);
    EXPECT_EQ(dead, 0);
    EXPECT_TRUE(saw("infobox:You lost a life!"));
    EXPECT_EQ(player_x, 288); // back at the level's start
    EXPECT_EQ(player_y, 224);
    EXPECT_EQ(eggs_taken, 1);
    EXPECT_EQ(time_left, 321);
    EXPECT_EQ(time_tick, 11);
}

TEST_F(ShellFrame, LastLifeLostEndsTheGameWithoutReset)
{
    start_still_game();
    lives = 1;
    player_y = 600;
    EXPECT_EQ(PLAY_FRAME(), 1);
    EXPECT_EQ(lives, 0);
    EXPECT_EQ(dead, 1);
    EXPECT_FALSE(saw("infobox:You lost a life!"));
    EXPECT_GT(player_y, 480); // no reset
    GAME_OVER_BOXES();
    EXPECT_EQ(events[events.size() - 2], "infobox:Game Over");
    EXPECT_EQ(events.back(), "infobox:Final Score: 0");
}

TEST_F(ShellFrame, LastLifeLostWhileTakingTheLastEggEndsTheGame)
{
    start_still_game();
    lives = 1;
    eggs_taken = egg_total;
    player_y = -100;
    EXPECT_EQ(PLAY_FRAME(), 1);
    EXPECT_EQ(lives, 0);
}

TEST_F(ShellFrame, EscapeEndsTheGameButTheLastEggCompletesTheLevel)
{
    start_still_game();
    hold_escape = true;
    keyboard_set_held(KEY_ESCAPE, true);
    EXPECT_EQ(PLAY_FRAME(), 1);
    quit_code = 0;
    eggs_taken = egg_total;
    EXPECT_EQ(PLAY_FRAME(), 2);
}

TEST_F(ShellFrame, TimeUpWithLivesLeftReloadsTheLevelAndItsEggCount)
{
    start_still_game();
    const int egg = first_egg();
    ASSERT_GE(egg, 0);
    MAP_SET(egg, CELL_EMPTY); // as if taken
    eggs_taken = 1;
    score = 10;
    time_left = 1;
    time_tick = 49;
    EXPECT_EQ(PLAY_FRAME(), 0);
    EXPECT_TRUE(saw("infobox:Time Up!"));
    EXPECT_EQ(lives, 2);
    EXPECT_EQ(time_left, 500);
    EXPECT_EQ(cells[egg].code, CELL_EGG); // the egg is back...
    EXPECT_EQ(eggs_taken, 0);             // ...and so is the count
    EXPECT_EQ(MAP_EGGS(), egg_total);
    EXPECT_EQ(score, 10);
}

TEST_F(ShellFrame, TimeUpOnTheLastLifeDoesNotReload)
{
    start_still_game();
    const int egg = first_egg();
    MAP_SET(egg, CELL_EMPTY);
    lives = 1;
    time_left = 1;
    time_tick = 49;
    EXPECT_EQ(PLAY_FRAME(), 1);
    EXPECT_TRUE(saw("infobox:Time Up!"));
    EXPECT_EQ(lives, 0);
    EXPECT_EQ(cells[egg].code, CELL_EMPTY);
    GAME_OVER_BOXES();
    EXPECT_TRUE(saw("infobox:Game Over"));
}

TEST_F(ShellFrame, DeathAndTimeUpInOneFrameEndTheGameBelowZeroLives)
{
    start_still_game();
    lives = 1;
    time_left = 1;
    time_tick = 49;
    player_y = 700;
    EXPECT_EQ(PLAY_FRAME(), 1);
    EXPECT_EQ(lives, -1);
    EXPECT_FALSE(saw("infobox:You lost a life!"));
    EXPECT_TRUE(saw("infobox:Time Up!"));
    GAME_OVER_BOXES();
    EXPECT_TRUE(saw("infobox:Game Over"));
}

TEST_F(ShellFrame, SwanContactKillsOnlyWhileSwansAreOn)
{
    start_still_game();
    // A swan standing on the player's own cell.
    swans[3].active = 1;
    swans[3].col = (player_x - scroll_x) / 32;
    swans[3].row = (player_y - scroll_y) / 32;
    swans[3].sub_x = 0;
    swans[3].sub_y = 0;
    EXPECT_EQ(SWANS_HIT(), 1);
    swans[3].sub_x = 12; // the player's right corners still inside its box
    EXPECT_EQ(SWANS_HIT(), 1);
    swans[3].sub_x = 21; // now they lie left of it
    EXPECT_EQ(SWANS_HIT(), 0);
    swans[3].sub_x = 0;
    swans[3].active = 0; // an empty slot never kills
    EXPECT_EQ(SWANS_HIT(), 0);
    SWANS_CLEAR();
}

TEST_F(ShellFrame, DuckContactUsesTheHeadBoxOfItsDirection)
{
    start_still_game();
    // Place the duck so that only its right-facing head box reaches the player:
    // the head box spans x + 38 to x + 63, the body x + 9 to x + 54, y + 39 on.
    duck_y = player_y - scroll_y - 17;     // head rows start at the player's top
    duck_x = player_x - scroll_x + 6 - 60; // player's left edge inside the head box only
    duck_dir = 1;
    EXPECT_EQ(DUCK_HIT(), 1);
    duck_dir = -1;
    EXPECT_EQ(DUCK_HIT(), 0);
    duck_x = -1000;
    duck_dir = 1;
    EXPECT_EQ(DUCK_HIT(), 0);
}

using ShellGame = ShellTest;

TEST_F(ShellGame, EscapeGivesFinalScoreWithoutGameOver)
{
    write_level(1, still_level());
    hold_escape = true;
    high_score = 40;
    PLAY_GAME();
    EXPECT_EQ(lives, 3);
    EXPECT_TRUE(saw("infobox:Level 1"));
    EXPECT_TRUE(saw("infobox:Final Score: 0"));
    EXPECT_FALSE(saw("infobox:Game Over"));
    EXPECT_EQ(high_score, 40);
}

TEST_F(ShellGame, HighScoreKeepsTiesAndTakesBetterScores)
{
    high_score = 500;
    score = 500;
    GAME_OVER_BOXES();
    EXPECT_EQ(high_score, 500);
    score = 499;
    GAME_OVER_BOXES();
    EXPECT_EQ(high_score, 500);
    score = 501;
    GAME_OVER_BOXES();
    EXPECT_EQ(high_score, 501);
    FILL_TITLE_LINES();
    EXPECT_EQ(title_lines[7], "High Score : 501");
}

TEST_F(ShellGame, NewGameResetsTheGameButNotTheHighScore)
{
    lives = 0;
    level = 14;
    level_file = 5;
    swans_active = 0;
    duck_active = 1;
    dead = 1;
    score = 900;
    high_score = 900;
    NEW_GAME();
    EXPECT_EQ(lives, 3);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(level_file, 1);
    EXPECT_EQ(swans_active, 1);
    EXPECT_EQ(duck_active, 0);
    EXPECT_EQ(dead, 0);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(high_score, 900);
}

TEST_F(ShellGame, LastLevelAddsItsBonusAndEndsTheGame)
{
    NEW_GAME();
    level = 27;
    level_file = 9;
    quit_code = 2;
    time_left = 123;
    score = 1000;
    LEVEL_END();
    EXPECT_EQ(score, 1123);
    EXPECT_EQ(quit_code, 1);
    EXPECT_EQ(level, 27);
    EXPECT_TRUE(saw("infobox:All levels completed!"));
}

using ShellHud = ShellTest;

TEST_F(ShellHud, FirstFrameShowsLabelsAndValues)
{
    start_still_game();
    PLAY_FRAME();
    const uint32_t magenta = 0xFF00FF, yellow = 0xFFFF00;
    EXPECT_TRUE(text_at("SCORE:", 10, 0, magenta));
    EXPECT_TRUE(text_at("TIME:", 120, 0, magenta));
    EXPECT_TRUE(text_at("LEVEL:", 220, 0, magenta));
    EXPECT_TRUE(text_at("LIVES:", 300, 0, magenta));
    EXPECT_TRUE(text_at("EGGS:", 400, 0, magenta));
    EXPECT_TRUE(text_at("0", 60, 0, yellow));
    EXPECT_TRUE(text_at("500", 170, 0, yellow));
    EXPECT_TRUE(text_at("1", 270, 0, yellow));
    EXPECT_TRUE(text_at("3", 350, 0, yellow));
    EXPECT_TRUE(text_at("0/2", 450, 0, yellow));
}

TEST_F(ShellHud, NegativeAndLargeNumbersAreWrittenPlainly)
{
    start_still_game();
    score = 1234567;
    lives = -1;
    eggs_taken = 12;
    egg_total = 340;
    set_color(0xFF000000, 0xFF000000, 0);
    clear_screen();
    DRAW_HUD();
    EXPECT_TRUE(text_at("1234567", 60, 0, 0xFFFF00));
    EXPECT_TRUE(text_at("-1", 350, 0, 0xFFFF00));
    EXPECT_TRUE(text_at("12/340", 450, 0, 0xFFFF00));
}

TEST_F(ShellHud, LowerCaseSSavesTheFrameAndShiftSDoesNot)
{
    start_still_game();
    press_space = false;
    keyboard_reset(); // only the keys of this test
    keyboard_queue('S');
    PLAY_FRAME();
    EXPECT_FALSE(fs::exists("screen.bmp"));
    keyboard_queue('s');
    PLAY_FRAME();
    ASSERT_TRUE(fs::exists("screen.bmp"));
    EXPECT_EQ(fs::file_size("screen.bmp"), 1228854u);
    fs::resize_file("screen.bmp", 10);
    keyboard_queue('s');
    PLAY_FRAME();
    EXPECT_EQ(fs::file_size("screen.bmp"), 1228854u); // overwritten
}

// A working folder where screen.bmp cannot be written (here screen.bmp is a
// folder): S puts each shot in the player's pictures folder under a new
// name, and with no folder to write in at all the game only says so.
TEST_F(ShellHud, ShotThatCannotBeWrittenHereGoesToThePlayersFolderAndPlayGoesOn)
{
    start_still_game();
    press_space = false;
    keyboard_reset();
    fs::create_directory("screen.bmp");
    const fs::path pictures = dir_ / "Pictures";
    fs::create_directory(pictures);
    const char* keep[] = {"XDG_PICTURES_DIR", "XDG_CONFIG_HOME", "HOME"};
    std::string saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = std::getenv(keep[i]) ? std::getenv(keep[i]) : "";
    setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
    testing::internal::CaptureStderr();
    for (int shot = 0; shot < 2; ++shot) {
        keyboard_queue('s');
        PLAY_FRAME();
    }
    std::vector<fs::path> shots;
    for (const auto& e : fs::directory_iterator(pictures)) shots.push_back(e.path());
    std::sort(shots.begin(), shots.end());
    ASSERT_EQ(shots.size(), 2u); // the second did not replace the first
    // clovenfeld-YYYYMMDD-HHMMSS.bmp, with -2 when both came in one second.
    for (const auto& f : shots) {
        std::string shape = f.filename().string();
        for (char& c : shape)
            if (c >= '0' && c <= '9') c = '9';
        EXPECT_TRUE(shape == "clovenfeld-99999999-999999.bmp" || shape == "clovenfeld-99999999-999999-9.bmp") << f;
    }
    for (const auto& f : shots) EXPECT_EQ(fs::file_size(f), 1228854u);
    // Nowhere to write: no pictures folder, a settings folder that cannot be made.
    std::ofstream(dir_ / "file") << "x";
    setenv("XDG_PICTURES_DIR", (dir_ / "missing").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "file").c_str(), 1);
    setenv("HOME", (dir_ / "file").c_str(), 1);
    keyboard_queue('s');
    PLAY_FRAME();
    const std::string said = testing::internal::GetCapturedStderr();
    for (int i = 0; i < 3; ++i)
        if (saved[i].empty()) unsetenv(keep[i]);
        else setenv(keep[i], saved[i].c_str(), 1);
    EXPECT_NE(said.find("screenshot saved to " + shots[0].string()), std::string::npos) << said;
    EXPECT_NE(said.find("cannot save a screenshot"), std::string::npos) << said;
    EXPECT_TRUE(fs::is_directory("screen.bmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(pictures), fs::directory_iterator()), 2);
}
