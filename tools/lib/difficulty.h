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
//
// The reactive novice walks towards the eggs as the novice does, but it looks
// out: it sees what the screen shows -- the whole level's floors, ladders and
// eggs on the overview map, the swans and the free duck only inside the view
// -- and decides each tick on the picture of REACT_DELAY ticks (250 ms)
// before.  When a swan comes within reach on its floor or its ladder, or the
// duck comes near, it waits, turns back, climbs or drops away (see
// reactive_run); it lines up with a ladder as a person does, seeing its own
// place ALIGN_LAG ticks late, so it overshoots by a few pixels and corrects
// with short taps.  At a vertical lift it waits beside the shaft, never
// under the lift, and steps on when the lift is level with its floor
// (lift_keys).  Like people, its tries differ: it looks at the level for 0
// to LOOK_MAX ticks before it sets off and has a habit among equally near
// ways, both drawn from the seed by person_draw.  It plays the level with the lives of a new game (three),
// as the game does: a life lost puts it back at the start with the eggs it
// took gone from the level; Time Up costs a life and puts the eggs back.
#pragma once

#include "level_grid.h"
#include "actors/swan.h"
#include "main/shell.h"

#include <cstdint>
#include <string>
#include <vector>

namespace difficulty {

constexpr int TICK_CAP = LEVEL_TIME * FRAMES_PER_TIME_UNIT; // 25,000 ticks: the level's time
constexpr int NOVICE_DELAY = 25;                            // 250 ms at 100 ticks a second
constexpr int REACT_DELAY = 25;                             // the reactive novice's reaction time, ticks
constexpr int ALIGN_LAG = 3;                                // how late it sees its own place when lining up
constexpr int LOOK_MAX = 200;                               // the reactive novice looks up to 2 s before it sets off
constexpr int FAIR_START_TICKS = 1000;                      // a still player lasts this long at least

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
// (cap if none is lost before then).
int idle_survival(int lvl, uint32_t seed, int cap = TICK_CAP);

struct NoviceRun {
    int ticks = 0;  // until the first life lost; TICK_CAP when it survived or cleared the level
    int eggs = 0;   // eggs taken by then
    int total = 0;  // eggs of the level
    bool cleared = false;
};

// Plays the level as the novice.  grid must be built for this level (build_grid
// after start_level; its distance maps are shared between runs of the level).
NoviceRun novice_run(Grid* grid, int lvl, uint32_t seed);

struct ReactiveRun {
    int eggs = 0;       // most eggs it held at once (Time Up puts them back)
    int total = 0;      // eggs of the level
    int lives_lost = 0; // 0 to 3
    int ticks = 0;      // ticks played until the level was cleared or the game over
    int lift_bounces = 0; // times a vertical lift going down turned back off its head
    bool cleared = false;
};

// Plays the level as the reactive novice with three lives, until it takes
// every egg or loses them all.  grid as for novice_run.
ReactiveRun reactive_run(Grid* grid, int lvl, uint32_t seed);

// --- the reactive novice's eyes and hands (reactive_run; here for the tests) -------

enum { FOE_DUCK = SWAN_SLOTS, FOES = SWAN_SLOTS + 1 }; // the swans' slots, then the duck

// A box in map pixels, its edges included.
struct Box {
    int x0, y0, x1, y1;
};

// One picture as the player saw it: his own contact box and middle, and the
// contact boxes of the foes inside the view (the duck's head and body as one).
struct Picture {
    Box me;
    int mx; // his middle, map px
    bool seen[FOES];
    Box foe[FOES];
};

// What the pictures tell it to do about its foes.
struct Alarm {
    bool flee = false;     // a foe within reach: get away
    int away_x = 0;        // the side away from the nearest, -1 or +1 (0: either)
    int away_y = 0;        // up (-1) or down (+1) away from it (0: either)
    bool wait = false;     // a swan in the way: do not walk on
    int nearest = 1 << 20; // the gap to the foe fled, px
};

// Reads the picture `now` (REACT_DELAY ticks old) and the one a few ticks
// before it, which tell where it and each foe were and which way they went;
// plan_x and plan_y are the way the eggs call (-1, 0, +1).  A foe is fled,
// away from the nearest, when it is nearer than 12 px, when at the speeds
// seen the two would meet within 60 ticks, when a swan nearer than 80 px
// comes its way (along the floor, down or up the ladder) or the duck is
// nearer than 64 px.  A swan is waited for when the way to the eggs leads
// towards it: nearer than 160 px on the same floor, 80 px elsewhere.
Alarm judge_foes(const Picture& now, const Picture& before, int plan_x, int plan_y);

// Lining up with a ladder's column as a person does: it sees its own middle
// (seen_mx) ALIGN_LAG ticks late, holds the key until it sees itself in line
// (by then a few pixels past), then taps the other way, one tick a tap,
// waiting ALIGN_LAG ticks to see each tap.  The side key to press at tick t.
struct Hands {
    int column = -1; // the column it lines up with
    int held = 0;    // the side key it holds while walking in
    bool tapping = false;
    int last_tap = -1000;
};
int lagged_line_up(Hands* h, int seen_mx, int col, int t);

// At a vertical lift's shaft, as a person rides a lift: it never stands in
// the shaft under the lift (the lift coming down would turn back off its
// head); it waits beside the shaft until the lift, where it saw it
// REACT_DELAY ticks before and going on as it went, is level with its
// floor, then steps on (hopping when the lift is a little higher), rides
// it, and steps off at the floor its way leads to.
constexpr int LIFT_UNSEEN = -(1 << 20);
struct LiftSight {
    int me_col;      // its column
    int feet;        // the row of pixels under its feet, map px (beside: its floor's)
    bool standing;   // on its floor (beside the shaft), not in the air
    int shaft_col;   // the shaft's column
    int lowest;      // the lift's top edge at the bottom of the shaft
    int lift_y;      // the lift's top edge as seen, or LIFT_UNSEEN
    int lift_dy;     // which way it was seen going, -1, 0 or +1
    int toward;      // the side key that takes it into the shaft
    int aside;       // the side key that takes it out of the shaft to a floor (0: none)
};
// The keys to press, or -1 when its way on needs no care (on the lift, or
// the lift below it in the shaft).
int lift_keys(const LiftSight& s);

// The reactive novice's own draws (a splitmix step), from the seed of the
// run: how long it looks at the level before it sets off on each try (0 to
// LOOK_MAX ticks) and its habit among equally near ways.  The game's random
// draws are never touched.
uint32_t person_draw(uint64_t* state);

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
    std::vector<ReactiveRun> reactive;      // per seed
    double reactive_clear = 0, reactive_half = 0; // shares of seeds, 0 to 1
    double reactive_lives = 0;                    // median lives lost (a half between two middles)
    LevelCounts counts;
};

// Whether a level whose novice median is `after` ticks, following one of
// `before`, keeps the curve: it may be harder, but not more than 20% easier.
bool fair_step(int before, int after);

// The median of small whole numbers, halves kept.
double median(std::vector<int> v);

// Whether the reactive novice's clear rate (a share, 0 to 1) keeps the climb
// from one level of a round to the next: it falls by at most 15 points.
bool gentle_step(double before, double after);

// Idle, novice and reactive runs of a level for seeds 1 to `seeds`.
LevelRow measure_level(int lvl, int seeds);

} // namespace difficulty
