// test_difficulty.cpp -- the goals of the first level, measured as
// tools/difficulty measures them (its code, tools/lib/difficulty.h): a player who
// stands still is never caught early, no swan reaches the start floor in the
// first 15 seconds, the scripted novice takes every egg in most seeds, the
// later passes start fair against the free duck, the reactive novice's runs
// end as a game does, and what it makes of what it sees.
#include "test_shell_util.h"

#include "../tools/lib/difficulty.h"

#include <utility>

using namespace shell_test;

namespace {

constexpr int SEEDS = 8;

class Difficulty : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        fs::current_path(GAME_DIR);
        difficulty::configure();
    }
    void TearDown() override
    {
        set_pixel_work(true);
        LEVEL_SETUP(1, 1); // the animation counters as a new game finds them
        ShellTest::TearDown();
    }
};

} // namespace

TEST_F(Difficulty, LevelOneLetsAStillPlayerLiveAndKeepsSwansOffTheStartFloor)
{
    for (uint32_t seed = 1; seed <= SEEDS; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        EXPECT_GE(difficulty::idle_survival(1, seed), 3000);

        // The first 15 seconds again, watching where the swans walk.
        difficulty::start_level(1, seed);
        const int start_row = (start_y - start_scroll_y) / 32;
        ASSERT_GE(swan_count, 1);
        ASSERT_LE(swan_count, 2);
        for (int t = 0; t < 1500; t++) {
            PLAY_FRAME();
            for (int i = 0; i < SWAN_SLOTS; i++) {
                if (swans[i].active == 1) {
                    ASSERT_NE(swans[i].row, start_row) << "tick " << t;
                }
            }
        }
    }
}

TEST_F(Difficulty, NoviceTakesEveryEggOfLevelOneInMostSeeds)
{
    difficulty::start_level(1, 1);
    Grid grid;
    build_grid(&grid);
    int all = 0;
    for (uint32_t seed = 1; seed <= SEEDS; seed++) {
        const difficulty::NoviceRun run = difficulty::novice_run(&grid, 1, seed);
        EXPECT_EQ(run.total, egg_total);
        EXPECT_LE(run.eggs, run.total);
        if (run.cleared) {
            EXPECT_EQ(run.eggs, run.total);
            EXPECT_EQ(run.ticks, difficulty::TICK_CAP);
        }
        all += run.eggs == run.total;
    }
    EXPECT_GE(all * 10, SEEDS * 6) << all << " of " << SEEDS << " seeds";
}

// No unfair starts: on every level of every round a player who stands still
// lasts ten seconds, whatever the seed (no swan starts on his floor walking
// at him within reach, and the duck starts far enough away).
TEST_F(Difficulty, EveryLevelLetsAStillPlayerLiveTenSeconds)
{
    for (int lvl = 1; lvl <= 27; lvl++) {
        for (uint32_t seed = 1; seed <= 4; seed++) {
            EXPECT_EQ(difficulty::idle_survival(lvl, seed, difficulty::FAIR_START_TICKS), difficulty::FAIR_START_TICKS)
                << "level " << lvl << " seed " << seed;
        }
    }
}

// The first two levels as a new player meets them: the reactive novice
// clears level 1 in at least 95% of seeds and level 2 in at least 70%.
TEST_F(Difficulty, ReactiveNoviceClearsTheFirstTwoLevelsInMostSeeds)
{
    for (const auto& [lvl, share] : {std::pair{1, 0.95}, std::pair{2, 0.70}}) {
        difficulty::start_level(lvl, 1);
        Grid grid;
        build_grid(&grid);
        int cleared = 0;
        for (uint32_t seed = 1; seed <= SEEDS; seed++) cleared += difficulty::reactive_run(&grid, lvl, seed).cleared;
        EXPECT_GE(cleared, share * SEEDS) << "level " << lvl << ": " << cleared << " of " << SEEDS << " seeds";
    }
}

// The measures see what they should: a swan on the start floor catches a
// player who stands still (level 5), the novice does not clear a level it
// walks into swans on, and the duck passes start with ten seconds to spare.
TEST_F(Difficulty, MeasuresTellHardStartsFromFairOnes)
{
    EXPECT_LT(difficulty::idle_survival(5, 1), 3000);
    difficulty::start_level(5, 1);
    Grid grid;
    build_grid(&grid);
    const difficulty::NoviceRun run = difficulty::novice_run(&grid, 5, 1);
    EXPECT_FALSE(run.cleared);
    EXPECT_LT(run.ticks, difficulty::TICK_CAP);
    for (int lvl : {10, 19}) {
        SCOPED_TRACE("level " + std::to_string(lvl));
        EXPECT_GE(difficulty::idle_survival(lvl, 1), 1000);
    }
}

// The second pass has no swans and its runs come out the same for every seed,
// so one seed tells the novice's time on each level of the free duck: the
// duck catches a novice who never looks at it on every one of them before
// the time runs out.  (How steeply the rounds climb is the reactive novice's
// clear rate, in the table of tools/difficulty.)
TEST_F(Difficulty, EveryLevelOfTheFreeDuckCatchesANoviceWhoIgnoresIt)
{
    for (int lvl = 10; lvl <= 18; lvl++) {
        EXPECT_LT(difficulty::measure_level(lvl, 1).novice_median, difficulty::TICK_CAP) << "level " << lvl;
    }
    EXPECT_TRUE(difficulty::fair_step(100, 120));
    EXPECT_FALSE(difficulty::fair_step(100, 121));
}

// Every run of the reactive novice ends as a game would: the level cleared
// with its last egg taken, or every life lost (level 3 loses some); level 1,
// whose one swan keeps to its own shelf, it clears without losing a life.
TEST_F(Difficulty, ReactiveRunsEndByClearingOrLosingEveryLife)
{
    for (int lvl : {1, 3}) {
        difficulty::start_level(lvl, 1);
        Grid grid;
        build_grid(&grid);
        for (uint32_t seed = 1; seed <= 3; seed++) {
            SCOPED_TRACE("level " + std::to_string(lvl) + " seed " + std::to_string(seed));
            const difficulty::ReactiveRun run = difficulty::reactive_run(&grid, lvl, seed);
            EXPECT_EQ(run.total, egg_total);
            EXPECT_EQ(run.cleared, run.eggs == run.total);
            if (run.cleared) {
                EXPECT_LT(run.lives_lost, START_LIVES);
            } else {
                EXPECT_EQ(run.lives_lost, START_LIVES);
            }
            if (lvl == 1) {
                EXPECT_TRUE(run.cleared);
                EXPECT_EQ(run.lives_lost, 0);
            }
        }
    }
}

namespace {

// A picture of the player standing at x on the bottom floor of level 1 with
// one swan whose contact box starts at (sx, sy).
difficulty::Picture scene(int x, int sx, int sy)
{
    difficulty::Picture p{};
    p.me = {x, 416, x + 20, 447};
    p.mx = x + 10;
    p.seen[0] = true;
    p.foe[0] = {sx, sy, sx + 20, sy + 31};
    return p;
}

} // namespace

// What the reactive novice makes of what it sees: pairs of pictures four
// ticks apart, the player standing, a swan walking half a pixel a tick.
TEST(DifficultyReactive, FleesWhatComesWaitsForWhatBlocksItsWayAndLetsTheRestBe)
{
    using difficulty::judge_foes;
    // Coming along its floor, 60 px away: flee away from it, whichever way
    // the eggs are.
    difficulty::Alarm a = judge_foes(scene(100, 180, 416), scene(100, 182, 416), 1, 0);
    EXPECT_TRUE(a.flee);
    EXPECT_EQ(a.away_x, -1);
    // Going away 120 px ahead on the way to the eggs: wait; behind it: walk on.
    a = judge_foes(scene(100, 240, 416), scene(100, 238, 416), 1, 0);
    EXPECT_FALSE(a.flee);
    EXPECT_TRUE(a.wait);
    a = judge_foes(scene(100, 240, 416), scene(100, 238, 416), -1, 0);
    EXPECT_FALSE(a.flee || a.wait);
    // Right under it on the floor below, walking at it: not within reach.
    a = judge_foes(scene(100, 100, 544), scene(100, 102, 544), 1, 0);
    EXPECT_FALSE(a.flee || a.wait);
    // Coming down its ladder from 60 px above: flee downwards.
    a = judge_foes(scene(100, 100, 324), scene(100, 100, 322), 0, -1);
    EXPECT_TRUE(a.flee);
    EXPECT_EQ(a.away_y, 1);
    // Walking at 2 px a tick towards one coming 140 px away: they would
    // meet in 56 ticks, so it turns now.
    a = judge_foes(scene(100, 260, 416), scene(92, 262, 416), 1, 0);
    EXPECT_TRUE(a.flee);
    // The duck within 64 px up and to the right: flee left and down.
    difficulty::Picture duck = scene(100, 0, 0), duck_before = duck;
    duck.seen[0] = duck_before.seen[0] = false;
    duck.seen[difficulty::FOE_DUCK] = duck_before.seen[difficulty::FOE_DUCK] = true;
    duck.foe[difficulty::FOE_DUCK] = duck_before.foe[difficulty::FOE_DUCK] = {150, 330, 210, 400};
    a = judge_foes(duck, duck_before, 0, 0);
    EXPECT_TRUE(a.flee);
    EXPECT_EQ(a.away_x, -1);
    EXPECT_EQ(a.away_y, 1);
}

// Walking to a ladder's column 2 px a tick and seeing itself ALIGN_LAG ticks
// late, it goes a few pixels past the line, comes back with taps and stays.
TEST(DifficultyReactive, LinesUpWithALadderByOvershootingAndTappingBack)
{
    const int col = 5, centre = col * 32 + 16;
    std::vector<int> place{centre - 60}; // its middle at the start of each tick
    difficulty::Hands hands;
    int past = 0, last_key_tick = -1;
    for (int t = 0; t < 300; t++) {
        const int seen = place[static_cast<size_t>(std::max(0, t - difficulty::ALIGN_LAG))];
        const int key = difficulty::lagged_line_up(&hands, seen, col, t);
        if (key != 0) last_key_tick = t;
        place.push_back(place.back() + (key == K_RIGHT ? 2 : key == K_LEFT ? -2 : 0));
        past = std::max(past, place.back() - centre);
    }
    EXPECT_GT(past, 2) << "it never went past the line";
    EXPECT_LE(past, 2 * difficulty::ALIGN_LAG + 2) << "it went too far past";
    EXPECT_GE(place.back() - centre, -3);
    EXPECT_LE(place.back() - centre, 2);
    EXPECT_LT(last_key_tick, 100) << "it kept pressing keys";
}

TEST(DifficultyPercentile, NearestRankOfTheSortedValues)
{
    EXPECT_EQ(difficulty::percentile({5, 1, 4, 2, 3}, 0.5), 3);
    EXPECT_EQ(difficulty::percentile({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110}, 0.1), 20);
    EXPECT_EQ(difficulty::percentile({7}, 0.1), 7);
    EXPECT_EQ(difficulty::percentile({}, 0.5), 0);
    EXPECT_EQ(difficulty::median({3, 0, 1, 3}), 2.0);
    EXPECT_EQ(difficulty::median({3, 0, 1}), 1.0);
}

TEST(DifficultyAims, TheClearRateMayFallFifteenPointsALevel)
{
    EXPECT_TRUE(difficulty::gentle_step(1.0, 0.85));
    EXPECT_TRUE(difficulty::gentle_step(0.24, 0.9));
    EXPECT_FALSE(difficulty::gentle_step(1.0, 0.84));
    EXPECT_FALSE(difficulty::gentle_step(0.54, 0.36));
}

// At a lift it does what a person does: it waits beside the shaft and steps
// on when the lift comes level with its floor.  Standing in the shaft, a
// lift coming down turns back off its head and never carries it (level 9's
// lifts, which it used to meet so).
TEST_F(Difficulty, ReactiveNoviceWaitsBesideALiftRatherThanUnderIt)
{
    difficulty::start_level(9, 1);
    Grid grid;
    build_grid(&grid);
    int bounces = 0;
    for (uint32_t seed = 1; seed <= 2; seed++) bounces += difficulty::reactive_run(&grid, 9, seed).lift_bounces;
    EXPECT_EQ(bounces, 0);
}

TEST(DifficultyReactive, StepsOntoALiftWhenItIsLevelWithTheFloor)
{
    // Beside the shaft at column 3, feet at y 384, the lift's lowest top 368.
    difficulty::LiftSight s{4, 384, true, 3, 368, 300, 1, K_LEFT, K_RIGHT};
    EXPECT_EQ(difficulty::lift_keys(s), 0) << "seen high, coming down: it will be at 325 -- wait";
    s.lift_y = 350;
    EXPECT_EQ(difficulty::lift_keys(s), K_LEFT | K_UP) << "at the bottom by the time it acts: hop on";
    s.lift_dy = -1;
    EXPECT_EQ(difficulty::lift_keys(s), 0) << "going up away from the floor: wait";
    s.standing = false;
    EXPECT_EQ(difficulty::lift_keys(s), K_LEFT) << "in the air on its hop: keep going in";
    // In the shaft under the lift: step out; on it, or the lift below: ride.
    s = {3, 384, true, 3, 368, 250, 1, K_LEFT, K_RIGHT};
    EXPECT_EQ(difficulty::lift_keys(s), K_RIGHT);
    s.feet = 250;
    EXPECT_EQ(difficulty::lift_keys(s), -1);
    s.lift_y = difficulty::LIFT_UNSEEN;
    EXPECT_EQ(difficulty::lift_keys(s), K_RIGHT);
}

// Without swans the game draws no random number, yet people differ: how long
// each looks before setting off, which of two equal ways each takes.  The
// reactive novice draws those from the seed, so the seeds of a level of the
// free duck do not all play alike.
TEST_F(Difficulty, SeedsOfAFreeDuckLevelPlayLikeDifferentPeople)
{
    difficulty::start_level(10, 1);
    Grid grid;
    build_grid(&grid);
    const difficulty::ReactiveRun first = difficulty::reactive_run(&grid, 10, 1);
    bool differs = false;
    for (uint32_t seed = 2; seed <= 4 && !differs; seed++) {
        const difficulty::ReactiveRun r = difficulty::reactive_run(&grid, 10, seed);
        differs = r.ticks != first.ticks || r.eggs != first.eggs || r.lives_lost != first.lives_lost;
    }
    EXPECT_TRUE(differs);
    uint64_t a = 1, b = 1;
    EXPECT_EQ(difficulty::person_draw(&a), difficulty::person_draw(&b));
    EXPECT_NE(difficulty::person_draw(&a), difficulty::person_draw(&a));
}
