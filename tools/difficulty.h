// difficulty.h -- how hard each level is, measured with the real game code,
// headless, from LEVEL_SETUP: how long a player who stands still lasts, how
// long a simple scripted novice lasts and how many eggs it takes, and what
// the solver's recording of the level looks like.  Shared by tools/difficulty
// (the table for every level) and the tests (the goals of level 1).
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

#include "../tests/headless_driver.h"
#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "level_grid.h"
#include "map/map.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace difficulty {

constexpr int TICK_CAP = LEVEL_TIME * FRAMES_PER_TIME_UNIT; // 25,000 ticks: the level's time
constexpr int NOVICE_DELAY = 25;                            // 250 ms at 100 ticks a second

// --- the headless session ------------------------------------------------------

inline bool box_waiting = false;

// Boxes ("Level 3", "You lost a life!") are answered with Space.
inline void on_event(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 || std::strcmp(name, "title") == 0) box_waiting = true;
}

inline void on_tick(long)
{
    if (box_waiting) {
        keyboard_queue(' ');
        box_waiting = false;
    }
}

// Headless, fast, boxes answered, no drawing.  The working directory must be
// the game folder (gfx/ and levels/) and the shell started (SHELL_STARTUP).
inline void configure()
{
    headless_begin(1, on_tick, on_event);
    set_pixel_work(false);
}

// configure(), starting the shell the first time.
inline void open_session()
{
    configure();
    headless_start_shell();
    set_pixel_work(false);
}

// A new game put at the level with this seed, its box answered.
inline void start_level(int lvl, uint32_t seed)
{
    keyboard_reset();
    box_waiting = false;
    LEVEL_SETUP(lvl, seed);
    LEVEL_START();
}

// --- idle ----------------------------------------------------------------------

// Ticks until the first life is lost with no key held from the level's start
// (TICK_CAP if none is lost before the level's time runs out).
inline int idle_survival(int lvl, uint32_t seed)
{
    start_level(lvl, seed);
    const int lives0 = lives;
    hold_keys(0);
    for (int t = 1; t <= TICK_CAP; t++) {
        PLAY_FRAME();
        if (lives < lives0) return t;
    }
    return TICK_CAP;
}

// --- the novice ------------------------------------------------------------------

// The player's cell and where in it his middle is, in map pixels.
struct Place {
    int col, row, mx, my;
};

inline Place player_place(const Grid& g)
{
    const int mx = player_x - scroll_x + 16, my = player_y - scroll_y + 16;
    return Place{std::clamp(mx >> 5, 0, g.w - 1), std::clamp(my >> 5, 0, g.h - 1), mx, my};
}

// The keys that take the player from his place towards cell `to` (a move of
// the grid from his cell).
inline int steer(const Grid& g, const Place& p, int to)
{
    const int tc = to % g.w, tr = to / g.w;
    const int centre = p.col * 32 + 16;
    int side = tc > p.col ? K_RIGHT : tc < p.col ? K_LEFT : 0;
    if (tc == p.col) {
        // Straight up or down: line up with the column first, so the body
        // fits through a ladder's hole in the floor.
        if (p.mx < centre - 3) side = K_RIGHT;
        if (p.mx > centre + 2) side = K_LEFT;
    }
    const bool ladder = grid_code_at(p.col, p.row) == CELL_LADDER || grid_code_at(p.col, p.row + 1) == CELL_LADDER;
    if (tr < p.row) return K_UP | side; // climb, or jump (sideways onto a step)
    if (tr > p.row) return tc == p.col && ladder ? K_DOWN | side : side;
    // Off a ladder sideways: up or down until the feet are level with the floor.
    if (ladder && p.my > p.row * 32 + 16) return K_UP | side;
    if (p.my < p.row * 32 + 16 && grid_code_at(p.col, p.row + 1) == CELL_LADDER) return K_DOWN | side;
    return side;
}

// The neighbour of cell k nearest the egg by dist (the first of equals), or -1.
inline int next_cell(const Grid& g, const std::vector<int>& dist, int k)
{
    int best = -1;
    for (int to : g.forward[k])
        if (dist[to] < dist[k] && (best < 0 || dist[to] < dist[best])) best = to;
    return best;
}

// Nothing to stand on under cell (c, r).
inline bool open_below(int c, int r)
{
    const int below = grid_code_at(c, r + 1);
    return below != CELL_BLOCK && below != CELL_LADDER && below != CELL_LIFT_H && below != CELL_LIFT_V;
}

struct NoviceRun {
    int ticks = 0;  // until the first life lost; TICK_CAP when it survived or cleared the level
    int eggs = 0;   // eggs taken by then
    int total = 0;  // eggs of the level
    bool cleared = false;
};

// Plays the level as the novice.  grid must be built for this level (build_grid
// after start_level; its distance maps are shared between runs of the level).
inline NoviceRun novice_run(Grid* grid, int lvl, uint32_t seed)
{
    start_level(lvl, seed);
    NoviceRun run;
    run.total = egg_total;
    const int lives0 = lives;
    const std::vector<int>* seen = nullptr;   // the distance map it saw at the last decision
    const std::vector<int>* acting = nullptr; // the one it acts on: seen a decision earlier
    for (int t = 0; t < TICK_CAP; t++) {
        if (t % NOVICE_DELAY == 0) {
            acting = seen;
            seen = &egg_distances(grid, eggs_left_key());
        }
        int keys = 0;
        if (acting != nullptr) {
            const Place p = player_place(*grid);
            const int k = p.row * grid->w + p.col;
            const std::vector<int>& dist = *acting;
            const int to = next_cell(*grid, dist, k);
            if (to >= 0) {
                keys = steer(*grid, p, to);
                // A gap to cross, not to drop into: jump it.
                const int beyond = next_cell(*grid, dist, to);
                if (to / grid->w == p.row && to % grid->w != p.col && open_below(to % grid->w, p.row) &&
                    beyond >= 0 && beyond / grid->w <= p.row)
                    keys |= K_UP;
            }
        }
        hold_keys(keys);
        PLAY_FRAME();
        if (lives == lives0) run.eggs = eggs_taken; // Time Up puts the eggs back
        if (lives < lives0) {
            run.ticks = t + 1;
            return run;
        }
        if (quit_code == 2) {
            run.cleared = true;
            break;
        }
    }
    run.ticks = TICK_CAP;
    return run;
}

// --- the solver's recording ----------------------------------------------------

// The gap in pixels between the player's contact box and the nearest swan's
// or the free duck's (0 when they touch).
inline int enemy_gap()
{
    auto gap = [](int ax0, int ay0, int ax1, int ay1, int bx0, int by0, int bx1, int by1) {
        const int gx = std::max({0, bx0 - ax1, ax0 - bx1});
        const int gy = std::max({0, by0 - ay1, ay0 - by1});
        return std::max(gx, gy);
    };
    const HitBox& pb = player_box;
    const int px = player_x + pb.off_x, py = player_y + pb.off_y;
    int best = 1 << 20;
    if (swans_active == 1)
        for (int i = 0; i < SWAN_SLOTS; i++) {
            const Swan& s = swans[i];
            if (s.active != 1) continue;
            const int sx = s.col * 32 + s.sub_x + scroll_x + pb.off_x, sy = s.row * 32 + s.sub_y + scroll_y + pb.off_y;
            best = std::min(best, gap(px, py, px + pb.w, py + pb.h, sx, sy, sx + pb.w, sy + pb.h));
        }
    if (duck_active == 1) {
        const int ux = duck_x + scroll_x, uy = duck_y + scroll_y;
        const HitBox& head = duck_dir == 1 ? duck_head_box_right : duck_head_box_left;
        for (const HitBox* b : {&head, &duck_body_box})
            best = std::min(best, gap(px, py, px + pb.w, py + pb.h, ux + b->off_x, uy + b->off_y,
                                      ux + b->off_x + b->w, uy + b->off_y + b->h));
    }
    return best;
}

struct SolverRun {
    bool ok = false;   // the recording loaded and took every egg without a life lost
    long ticks = 0;    // frames of play
    int closest = 0;   // smallest enemy_gap over the play, px
};

inline void on_replay_event(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 && std::strncmp(name, "infobox:Level ", 14) != 0) box_waiting = true;
}

// Replays assets/recordings/level-L.rec as the replay tests do and measures it.
inline SolverRun solver_run(int lvl, const std::string& path)
{
    SolverRun out;
    static Recording rec; // must outlive the replay
    rec = Recording{};
    std::string error;
    if (!load_recording(path.c_str(), &rec, &error)) return out;
    run_reset_for_tests();
    configure();
    set_pixel_work(false);
    // The recording answers the level's box itself; a box it did not expect
    // (a life lost) is answered here, or the replay would run dry waiting.
    set_event_hook(on_replay_event);
    if (!headless_replay_level(&rec, lvl)) return out;
    const int lives0 = lives;
    out.closest = 1 << 20;
    while (quit_code == 0 && current_tick() + 1 < rec.ticks) {
        PLAY_FRAME();
        out.ticks++;
        out.closest = std::min(out.closest, enemy_gap());
    }
    out.ok = quit_code == 2 && lives == lives0 && eggs_taken == egg_total;
    run_use_recording(nullptr);
    set_event_hook(on_event);
    return out;
}

// --- a level's figures ------------------------------------------------------------

struct LevelCounts {
    int eggs = 0, swans = 0, lifts = 0, ladders = 0; // ladders: runs of ladder cells in a column
};

// Counts of the level as LEVEL_START loaded it.
inline LevelCounts level_counts()
{
    LevelCounts c;
    c.eggs = egg_total;
    c.swans = swan_count;
    for (int k = 0; k <= last_cell; k++) {
        const int code = cells[k].code;
        c.lifts += code == CELL_LIFT_V || code == CELL_LIFT_H;
        c.ladders += code == CELL_LADDER && (k < map_width || cells[k - map_width].code != CELL_LADDER);
    }
    return c;
}

// The value below which `share` of the values lie (nearest rank).
inline int percentile(std::vector<int> v, double share)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(share * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(rank, v.size() - 1)];
}

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
inline bool fair_step(int before, int after)
{
    return after * 5 <= before * 6;
}

// Idle and novice runs of a level for seeds 1 to `seeds`.
inline LevelRow measure_level(int lvl, int seeds)
{
    LevelRow row;
    row.level = lvl;
    start_level(lvl, 1);
    row.counts = level_counts();
    Grid grid;
    build_grid(&grid);
    std::vector<int> novice_ticks;
    int half = 0, all = 0;
    for (int s = 1; s <= seeds; s++) {
        const uint32_t seed = static_cast<uint32_t>(s);
        row.idle.push_back(idle_survival(lvl, seed));
        const NoviceRun n = novice_run(&grid, lvl, seed);
        row.novice.push_back(n);
        novice_ticks.push_back(n.ticks);
        half += 2 * n.eggs >= n.total;
        all += n.eggs == n.total;
    }
    row.idle_median = percentile(row.idle, 0.5);
    row.idle_p10 = percentile(row.idle, 0.1);
    row.idle_min = *std::min_element(row.idle.begin(), row.idle.end());
    row.novice_median = percentile(novice_ticks, 0.5);
    row.novice_half = static_cast<double>(half) / seeds;
    row.novice_all = static_cast<double>(all) / seeds;
    return row;
}

} // namespace difficulty
