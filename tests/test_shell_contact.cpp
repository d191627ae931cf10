// test_shell_contact.cpp -- the contact tests as a frame runs them: with the
// view scrolled both ways, with the swans switched off and with the duck
// caged, through PLAY_FRAME.
#include "test_shell_util.h"

#include "actors/duck.h"
#include "actors/swan.h"
#include "map/map.h"

using namespace shell_test;

namespace {

// A 40 x 25 level with the player start near its bottom-right corner, so
// the view starts scrolled to (-640, -320) and the player stands on a floor
// at screen (320, 288), map (960, 608).
std::vector<std::string> scrolled_level()
{
    std::vector<std::string> rows(25, std::string(40, '.'));
    rows[19][30] = 'P';
    rows[20] = std::string(40, '#');
    rows[1].replace(2, 3, "#e#"); // an egg out of reach keeps the level going
    return rows;
}

class ShellContact : public ShellTest {
protected:
    // A new game on the scrolled level with nothing near the player.
    void start(int swans_on, int duck_free)
    {
        write_level(1, scrolled_level());
        NEW_GAME();
        LEVEL_START();
        swans_active = swans_on;
        duck_active = duck_free;
        SWANS_CLEAR();
        duck_x = duck_start_x = 0;
        duck_y = duck_start_y = 0;
        events.clear();
        ASSERT_EQ(scroll_x, -640);
        ASSERT_EQ(scroll_y, -320);
        ASSERT_EQ(player_x, 320);
        ASSERT_EQ(player_y, 288);
    }

    // A swan on the map cell (col, row), aligned with it.
    static void swan_at(int col, int row)
    {
        swans[0].active = 1;
        swans[0].col = swans[0].start_col = col;
        swans[0].row = swans[0].start_row = row;
        swans[0].sub_x = swans[0].sub_y = 0;
        swans[0].dir = 1;
    }

    // Runs one frame; true when it cost a life.
    static bool frame_costs_a_life()
    {
        const int before = lives;
        PLAY_FRAME();
        return lives == before - 1 && saw("infobox:You lost a life!");
    }
};

} // namespace

TEST_F(ShellContact, SwansAreMetWhereTheyAreOnTheMapNotOnTheScreen)
{
    start(1, 0);
    swan_at(30, 19); // the player's own cell
    EXPECT_TRUE(frame_costs_a_life());

    // A swan whose map position is the player's screen position is far away.
    start(1, 0);
    swan_at(10, 9);
    EXPECT_FALSE(frame_costs_a_life());
    EXPECT_EQ(lives, START_LIVES);
}

TEST_F(ShellContact, SwansSwitchedOffNeverKill)
{
    start(0, 0);
    swan_at(30, 19);
    for (int f = 0; f < 5; f++) EXPECT_FALSE(frame_costs_a_life()) << "frame " << f;
    // Switched off, they do not move either.
    EXPECT_EQ(swans[0].col, 30);
    EXPECT_EQ(swans[0].sub_x, 0);
}

TEST_F(ShellContact, TheFreeDuckIsMetWhereItIsOnTheMapAndTheCagedOneNever)
{
    // The duck's body box (x + 9 to x + 54, y + 39 to y + 63) over the
    // player's lower corners at map (966..986, 639).
    start(0, 1);
    duck_x = duck_start_x = 950;
    duck_y = duck_start_y = 580;
    EXPECT_TRUE(frame_costs_a_life());

    start(0, 0);
    duck_x = duck_start_x = 950;
    duck_y = duck_start_y = 580;
    for (int f = 0; f < 5; f++) EXPECT_FALSE(frame_costs_a_life()) << "frame " << f;
    EXPECT_EQ(duck_x, 950); // caged, it stays put

    // Free, at the player's screen position taken as map coordinates: far away.
    start(0, 1);
    duck_x = duck_start_x = 320 - 20;
    duck_y = duck_start_y = 288 - 40;
    EXPECT_FALSE(frame_costs_a_life());
}
