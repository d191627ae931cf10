// difficulty.cpp -- how hard each level is, measured with the real game code
// (difficulty.h): the headless session, the idle player, the novice, the
// solver's recording and a level's figures.
#include "difficulty.h"

#include "../../tests/headless_driver.h"
#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"

#include <algorithm>
#include <cstring>

namespace difficulty {

// --- the headless session ------------------------------------------------------

namespace {

bool box_waiting = false;

// Boxes ("Level 3", "You lost a life!") are answered with Space.
void on_event(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 || std::strcmp(name, "title") == 0) box_waiting = true;
}

void on_tick(long)
{
    if (box_waiting) {
        keyboard_queue(' ');
        box_waiting = false;
    }
}

} // namespace

void configure()
{
    headless_begin(1, on_tick, on_event);
    set_pixel_work(false);
}

void open_session()
{
    configure();
    headless_start_shell();
    set_pixel_work(false);
}

void start_level(int lvl, uint32_t seed)
{
    keyboard_reset();
    box_waiting = false;
    LEVEL_SETUP(lvl, seed);
    LEVEL_START();
}

// --- idle ----------------------------------------------------------------------

int idle_survival(int lvl, uint32_t seed)
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

namespace {

// The player's cell and where in it his middle is, in map pixels.
struct Place {
    int col, row, mx, my;
};

Place player_place(const Grid& g)
{
    const int mx = player_x - scroll_x + 16, my = player_y - scroll_y + 16;
    return Place{std::clamp(mx >> 5, 0, g.w - 1), std::clamp(my >> 5, 0, g.h - 1), mx, my};
}

// The keys that take the player from his place towards cell `to` (a move of
// the grid from his cell).
int steer(const Grid& g, const Place& p, int to)
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
int next_cell(const Grid& g, const std::vector<int>& dist, int k)
{
    int best = -1;
    for (int to : g.forward[k])
        if (dist[to] < dist[k] && (best < 0 || dist[to] < dist[best])) best = to;
    return best;
}

// Nothing to stand on under cell (c, r).
bool open_below(int c, int r)
{
    const int below = grid_code_at(c, r + 1);
    return below != CELL_BLOCK && below != CELL_LADDER && below != CELL_LIFT_H && below != CELL_LIFT_V;
}

} // namespace

NoviceRun novice_run(Grid* grid, int lvl, uint32_t seed)
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

int enemy_gap()
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

namespace {

void on_replay_event(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 && std::strncmp(name, "infobox:Level ", 14) != 0) box_waiting = true;
}

} // namespace

SolverRun solver_run(int lvl, const std::string& path)
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

LevelCounts level_counts()
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

int percentile(std::vector<int> v, double share)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(share * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(rank, v.size() - 1)];
}

bool fair_step(int before, int after)
{
    return after * 5 <= before * 6;
}

LevelRow measure_level(int lvl, int seeds)
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
