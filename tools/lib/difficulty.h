// difficulty.h -- how hard each level is, measured with the real game code,
// headless, from LEVEL_SETUP: how long a player who stands still lasts, how
// long a simple scripted novice lasts and how many eggs it takes, and what
// the solver's recording of the level looks like.  Shared by tools/difficulty
// (the table for every level) and the tests (the goals of level 1); the code
// is difficulty.cpp beside this file.
//
// The novice walks towards the nearest egg over the level's cells (level_grid.h,
// the solver's distance map) and reacts to nothing: swans and the duck do not
// exist for it.  It re-decides every NOVICE_DELAY ticks (250 ms) and acts on
// what it saw NOVICE_DELAY ticks before: the eggs it heads for are those that
// were left then.  Between decisions its hands follow that choice: each tick
// it presses the keys that take it from the cell it is in to the next cell
// nearer the chosen egg (walk, climb, jump, step off), lining up with a
// ladder before it climbs through a floor, and jumping a gap that its way
// crosses rather than drops into.
//
// Every run ends at the first life lost or at TICK_CAP, the level's 500 time
// units (25,000 ticks); a run that takes every egg first counts as surviving
// to the cap.
#pragma once

#include "level_grid.h"
#include "main/shell.h"

#include <cstdint>
#include <string>
#include <vector>

namespace difficulty {

constexpr int TICK_CAP = LEVEL_TIME * FRAMES_PER_TIME_UNIT; // 25,000 ticks: the level's time
constexpr int NOVICE_DELAY = 25;                            // 250 ms at 100 ticks a second

// --- the headless session ------------------------------------------------------

// Headless, fast, boxes ("Level 3", "You lost a life!") answered with Space,
// no drawing.  The working directory must be the game folder (gfx/ and
// levels/) and the shell started (SHELL_STARTUP).
void configure();

// configure(), starting the shell the first time.
void open_session();

// A new game put at the level with this seed, its box answered.
void start_level(int lvl, uint32_t seed);

// --- the runs --------------------------------------------------------------------

// Ticks until the first life is lost with no key held from the level's start
// (TICK_CAP if none is lost before the level's time runs out).
int idle_survival(int lvl, uint32_t seed);

struct NoviceRun {
    int ticks = 0;  // until the first life lost; TICK_CAP when it survived or cleared the level
    int eggs = 0;   // eggs taken by then
    int total = 0;  // eggs of the level
    bool cleared = false;
};

// Plays the level as the novice.  grid must be built for this level (build_grid
// after start_level; its distance maps are shared between runs of the level).
NoviceRun novice_run(Grid* grid, int lvl, uint32_t seed);

// The gap in pixels between the player's contact box and the nearest swan's
// or the free duck's (0 when they touch).
int enemy_gap();

struct SolverRun {
    bool ok = false;   // the recording loaded and took every egg without a life lost
    long ticks = 0;    // frames of play
    int closest = 0;   // smallest enemy_gap over the play, px
};

// Replays assets/recordings/level-L.rec as the replay tests do and measures it.
SolverRun solver_run(int lvl, const std::string& path);

// --- a level's figures ------------------------------------------------------------

struct LevelCounts {
    int eggs = 0, swans = 0, lifts = 0, ladders = 0; // ladders: runs of ladder cells in a column
};

// Counts of the level as LEVEL_START loaded it.
LevelCounts level_counts();

// The value below which `share` of the values lie (nearest rank).
int percentile(std::vector<int> v, double share);

struct LevelRow {
    int level = 0;
    std::vector<int> idle;        // per seed
    std::vector<NoviceRun> novice; // per seed
    int idle_median = 0, idle_p10 = 0, idle_min = 0;
    int novice_median = 0;
    double novice_half = 0, novice_all = 0; // shares of seeds, 0 to 1
    LevelCounts counts;
};

// Whether a level whose novice median is `after` ticks, following one of
// `before`, keeps the curve: it may be harder, but not more than 20% easier.
bool fair_step(int before, int after);

// Idle and novice runs of a level for seeds 1 to `seeds`.
LevelRow measure_level(int lvl, int seeds);

} // namespace difficulty
