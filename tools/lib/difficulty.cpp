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
#include <cmath>
#include <cstdlib>
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

int idle_survival(int lvl, uint32_t seed, int cap)
{
    start_level(lvl, seed);
    const int lives0 = lives;
    hold_keys(0);
    for (int t = 1; t <= cap; t++) {
        PLAY_FRAME();
        if (lives < lives0) return t;
    }
    return cap;
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
// the grid from his cell); `line_up` is the side key to press when the move
// is straight up or down, to line up with the column so the body fits
// through a ladder's hole in the floor.
int steer(const Grid& g, const Place& p, int to, int line_up)
{
    const int tc = to % g.w, tr = to / g.w;
    const int side = tc > p.col ? K_RIGHT : tc < p.col ? K_LEFT : line_up;
    const bool ladder = grid_code_at(p.col, p.row) == CELL_LADDER || grid_code_at(p.col, p.row + 1) == CELL_LADDER;
    if (tr < p.row) return K_UP | side; // climb, or jump (sideways onto a step)
    if (tr > p.row) return tc == p.col && ladder ? K_DOWN | side : side;
    // Off a ladder sideways: up or down until the feet are level with the floor.
    if (ladder && p.my > p.row * 32 + 16) return K_UP | side;
    if (p.my < p.row * 32 + 16 && grid_code_at(p.col, p.row + 1) == CELL_LADDER) return K_DOWN | side;
    return side;
}

// The novice lines up exactly: it sees where it is.
int exact_line_up(const Place& p)
{
    const int centre = p.col * 32 + 16;
    if (p.mx < centre - 3) return K_RIGHT;
    if (p.mx > centre + 2) return K_LEFT;
    return 0;
}

// The neighbour of cell k nearest the egg by dist (the first of equals), or -1.
int next_cell(const Grid& g, const std::vector<int>& dist, int k)
{
    int best = -1;
    for (int to : g.forward[k])
        if (dist[to] < dist[k] && (best < 0 || dist[to] < dist[best])) best = to;
    return best;
}

// The neighbour of cell k nearest the egg by dist; of equals, the one a
// person's habit (`habit`, any number) picks.  -1 when none is nearer.
int next_cell_by_habit(const Grid& g, const std::vector<int>& dist, int k, uint32_t habit)
{
    const int best = next_cell(g, dist, k);
    if (best < 0) return best;
    int equals[8], n = 0;
    for (int to : g.forward[k])
        if (dist[to] == dist[best] && n < 8) equals[n++] = to;
    return equals[habit % static_cast<uint32_t>(n)];
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
                keys = steer(*grid, p, to, exact_line_up(p));
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

// --- the reactive novice ---------------------------------------------------------

namespace {

int mid_x(const Box& b) { return (b.x0 + b.x1) / 2; }
int mid_y(const Box& b) { return (b.y0 + b.y1) / 2; }
int gap_x(const Box& a, const Box& b) { return std::max({0, b.x0 - a.x1, a.x0 - b.x1}); }
int gap_y(const Box& a, const Box& b) { return std::max({0, b.y0 - a.y1, a.y0 - b.y1}); }
int sign(int v) { return (v > 0) - (v < 0); }

constexpr int HISTORY = 32;      // pictures kept: more than REACT_DELAY + MOTION_SPAN
constexpr int MOTION_SPAN = 4;   // which way a foe goes: its place this many ticks apart
constexpr int REACH = 80;        // px between contact boxes: a swan coming nearer is fled
constexpr int TOUCH = 12;        // px: a swan this near is fled whichever way it goes
constexpr int WARY = 160;        // px: it does not walk on towards a swan nearer than this
constexpr int DUCK_REACH = 64;   // px: the duck nearer than this is fled
constexpr int SOON = 60;         // ticks: a foe it would meet this soon at the speeds seen is fled

Box box_at(int x, int y, const HitBox& b) { return Box{x + b.off_x, y + b.off_y, x + b.off_x + b.w, y + b.off_y + b.h}; }

bool in_view(int x, int y, int w, int h)
{
    return x + w > -scroll_x && x < -scroll_x + view_width && y + h > -scroll_y && y < -scroll_y + view_height;
}

// What the screen shows now.
void look(Picture* pic)
{
    pic->me = box_at(player_x - scroll_x, player_y - scroll_y, player_box);
    pic->mx = player_x - scroll_x + 16;
    for (bool& s : pic->seen) s = false;
    if (swans_active == 1)
        for (int i = 0; i < SWAN_SLOTS; i++) {
            const Swan& s = swans[i];
            const int x = s.col * 32 + s.sub_x, y = s.row * 32 + s.sub_y;
            if (s.active != 1 || !in_view(x, y, 32, 32)) continue;
            pic->seen[i] = true;
            pic->foe[i] = box_at(x, y, player_box);
        }
    if (duck_active == 1 && in_view(duck_x, duck_y, 64, 64)) {
        const HitBox& head = duck_dir == 1 ? duck_head_box_right : duck_head_box_left;
        const Box a = box_at(duck_x, duck_y, head), b = box_at(duck_x, duck_y, duck_body_box);
        pic->seen[FOE_DUCK] = true;
        pic->foe[FOE_DUCK] = Box{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
    }
}

} // namespace

uint32_t person_draw(uint64_t* state)
{
    uint64_t z = (*state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

// The reactive novice's judgement of its foes (difficulty.h).
Alarm judge_foes(const Picture& now, const Picture& before, int plan_x, int plan_y)
{
    Alarm a;
    const Box& me = now.me;
    const double mvx = (me.x0 - before.me.x0) / double(MOTION_SPAN), mvy = (me.y0 - before.me.y0) / double(MOTION_SPAN);
    auto sign_beyond = [](int v, int dead) { return v > dead ? 1 : v < -dead ? -1 : 0; };
    for (int i = 0; i < FOES; i++) {
        if (!now.seen[i]) continue;
        const Box& f = now.foe[i];
        const int gx = gap_x(me, f), gy = gap_y(me, f), gap = std::max(gx, gy);
        const int dx = sign_beyond(mid_x(f) - mid_x(me), 4), dy = sign_beyond(mid_y(f) - mid_y(me), 15);
        // How soon they meet at the speeds the pictures show (px a tick).
        const bool moving = before.seen[i];
        const double fvx = moving ? (f.x0 - before.foe[i].x0) / double(MOTION_SPAN) : 0;
        const double fvy = moving ? (f.y0 - before.foe[i].y0) / double(MOTION_SPAN) : 0;
        const double cx = (mvx - fvx) * dx, cy = (mvy - fvy) * dy;
        auto axis_time = [](int g, double closing) { return g == 0 ? 0.0 : closing > 0 ? g / closing : 1e9; };
        const double meet = std::max(axis_time(gx, cx), axis_time(gy, cy));
        const bool near = gap <= TOUCH || meet <= SOON || gap <= (i == FOE_DUCK ? DUCK_REACH : -1);
        auto way = [](double v) { return (v > 0) - (v < 0); };
        const bool coming = (dx == 0 && dy == 0) || (fvx != 0 && way(fvx) == -dx) || (fvy != 0 && way(fvy) == -dy);
        const bool towards = (plan_x != 0 && plan_x == dx) || (plan_y != 0 && plan_y == dy);
        if ((near || (coming && gap <= REACH && i != FOE_DUCK)) && gap < a.nearest) {
            a.flee = true;
            a.nearest = gap;
            a.away_x = -dx;
            a.away_y = -dy;
        } else if (towards && gap <= (dy == 0 ? WARY : REACH)) {
            a.wait = true;
        }
    }
    return a;
}

int lagged_line_up(Hands* h, int seen_mx, int col, int t)
{
    if (h->column != col) *h = Hands{col, 0, false, -1000}; // a new column
    const int err = seen_mx - (col * 32 + 16);
    if (err >= -3 && err <= 2) {
        h->tapping = true;
        return 0;
    }
    const int toward = err < 0 ? K_RIGHT : K_LEFT;
    if (!h->tapping) {
        if (h->held != 0 && h->held != toward) h->tapping = true; // it went past
        else {
            h->held = toward;
            return toward;
        }
    }
    if (t - h->last_tap > ALIGN_LAG) {
        h->last_tap = t;
        return toward;
    }
    return 0;
}

namespace {

// The cell it climbs to up (-1) or down (+1) the ladder where it stands, or
// -1 when the ladder does not go on that way.
int climb_cell(const Grid& g, const Place& p, int dir)
{
    if (dir != 0 && grid_code_at(p.col, p.row + dir) == CELL_LADDER && (dir > 0 || grid_code_at(p.col, p.row) == CELL_LADDER))
        return (p.row + dir) * g.w + p.col;
    return -1;
}

// --- lifts ---------------------------------------------------------------------

// The vertical lifts of the level and their shafts: the column each moves in
// and the rows it can carry a player through, from the block above to the
// block below.
struct Shaft {
    int cell;       // the lift's entry in the cell table
    int col;        // its column
    int top, bottom; // the first and last free rows of the shaft
    int lowest;     // the lift's top edge at the bottom of the shaft, map px
};

int find_shafts(Shaft* out, int room)
{
    int n = 0;
    for (int k = 0; k <= last_cell && n < room; k++) {
        const MapCell& c = cells[k];
        if (c.code != CELL_LIFT_V) continue;
        Shaft s{k, c.col, c.row, c.row, 0};
        while (s.top > 0 && grid_code_at(c.col, s.top - 1) != CELL_BLOCK) s.top--;
        while (grid_code_at(c.col, s.bottom + 1) != CELL_BLOCK) s.bottom++;
        // It stops 16 px above the block under the shaft (or the map's end).
        s.lowest = (s.bottom + 1) * 32 - 16;
        out[n++] = s;
    }
    return n;
}

} // namespace

int lift_keys(const LiftSight& s)
{
    // Where the lift will be by the time the keys act: seen REACT_DELAY
    // ticks late, going on as it went, no lower than the shaft's bottom.
    const bool seen = s.lift_y != LIFT_UNSEEN;
    const int y = seen ? std::min(s.lowest, s.lift_y + s.lift_dy * REACT_DELAY) : 0;
    if (s.me_col == s.shaft_col) {
        // On the lift, or the lift below: its way on needs no care.  Under
        // the lift in the shaft: step out of its way.
        if (seen && y >= s.feet - 3) return -1;
        return s.aside;
    }
    // Beside the shaft: wait until the lift is level with the floor, then
    // step on, with a hop when it is a little higher than the feet; once off
    // the floor, keep going in.
    if (!s.standing) return s.toward;
    if (!seen || y < s.feet - 20 || y > s.feet + 6) return 0;
    return s.toward | (y < s.feet - 2 ? K_UP : 0);
}

namespace {

enum { MOVE_UP, MOVE_DOWN, MOVE_LEFT, MOVE_RIGHT };

// The cell a flight takes it to by move m, or -1 when the way is shut (a
// wall, the ladder's end) or leads towards the foe of the alarm.
int flee_cell(const Grid& g, const Place& p, int m, const Alarm& a)
{
    switch (m) {
    case MOVE_UP: return a.away_y == 1 ? -1 : climb_cell(g, p, -1);
    case MOVE_DOWN: return a.away_y == -1 ? -1 : climb_cell(g, p, 1);
    case MOVE_LEFT:
        return a.away_x == 1 || grid_code_at(p.col - 1, p.row) == CELL_BLOCK ? -1 : p.row * g.w + p.col - 1;
    default:
        return a.away_x == -1 || grid_code_at(p.col + 1, p.row) == CELL_BLOCK ? -1 : p.row * g.w + p.col + 1;
    }
}

} // namespace

namespace {

// The keys at a lift's shaft when the way to the eggs goes up or down it
// (lift_keys), or -1 when no lift needs care.  seen and before: the lifts'
// top edges REACT_DELAY and REACT_DELAY + 4 ticks ago (fewer, down to none,
// while it has only just begun to see).
int at_lift(const Grid& g, const Place& p, int to, const std::vector<int>& dist, const Shaft* shafts, int n,
            const int* seen, const int* before)
{
    const int tc = to % g.w, tr = to / g.w;
    for (int i = 0; i < n; i++) {
        const Shaft& s = shafts[i];
        if (tc != s.col || tr < s.top || tr > s.bottom) continue;
        if (p.col != s.col && (std::abs(p.col - s.col) != 1 || tr > p.row)) continue;
        if (p.col == s.col && tr == p.row) continue;
        const int feet = player_y - scroll_y + 32, floor = (p.row + 1) * 32;
        LiftSight v{p.col, p.col == s.col ? feet : floor, feet == floor, s.col, s.lowest, seen[i], 0, 0, 0};
        if (seen[i] != LIFT_UNSEEN && before[i] != LIFT_UNSEEN) v.lift_dy = sign(seen[i] - before[i]);
        v.toward = s.col > p.col ? K_RIGHT : K_LEFT;
        // Out of the shaft: to the side with a floor, the one nearer the eggs.
        int best = 1 << 30;
        for (int side : {-1, 1}) {
            const int c = s.col + side, below = grid_code_at(c, p.row + 1);
            if (grid_code_at(c, p.row) == CELL_BLOCK || (below != CELL_BLOCK && below != CELL_LADDER)) continue;
            if (dist[p.row * g.w + c] < best) {
                best = dist[p.row * g.w + c];
                v.aside = side < 0 ? K_LEFT : K_RIGHT;
            }
        }
        return lift_keys(v);
    }
    return -1;
}

} // namespace

ReactiveRun reactive_run(Grid* grid, int lvl, uint32_t seed)
{
    start_level(lvl, seed);
    ReactiveRun run;
    run.total = egg_total;
    const int lives0 = lives;
    static Picture ring[HISTORY];
    int seeing_since = 0; // the first tick of the pictures since the start or the last life lost
    // What differs between people and between tries, drawn from the seed by
    // the tool (never the game's own draw): how long it looks at the level
    // before it sets off, and which of equally near ways it takes.
    uint64_t person = 0x9e3779b97f4a7c15ull * (seed + 1);
    int sets_off = 0;
    uint32_t habit = 0;
    auto new_try = [&](int from) {
        const uint32_t d = person_draw(&person);
        sets_off = from + static_cast<int>(d % (LOOK_MAX + 1));
        habit = person_draw(&person);
    };
    new_try(0);
    Hands hands;
    int flee_move = -1; // the way of the flight under way (MOVE_UP to MOVE_RIGHT)
    const std::vector<int>* seen = nullptr;
    const std::vector<int>* acting = nullptr;
    constexpr int MAX_SHAFTS = 16;
    Shaft shafts[MAX_SHAFTS];
    const int shaft_count = find_shafts(shafts, MAX_SHAFTS);
    static int lift_seen[HISTORY][MAX_SHAFTS]; // the lifts' top edges as the screen showed them
    for (int t = 0; t < 3 * TICK_CAP + 3; t++) {
        look(&ring[t % HISTORY]);
        for (int i = 0; i < shaft_count; i++) {
            const MapCell& c = cells[shafts[i].cell];
            lift_seen[t % HISTORY][i] = in_view(c.x, c.y, 32, 16) ? c.y : LIFT_UNSEEN;
        }
        if (t % NOVICE_DELAY == 0) {
            acting = seen;
            seen = &egg_distances(grid, eggs_left_key());
        }
        int keys = 0;
        if (acting != nullptr && t - REACT_DELAY >= seeing_since) {
            const Place p = player_place(*grid);
            const int k = p.row * grid->w + p.col;
            const std::vector<int>& dist = *acting;
            const int to = next_cell_by_habit(*grid, dist, k, habit);
            const int plan_x = to < 0 ? 0 : sign(to % grid->w - p.col);
            const int plan_y = to < 0 ? 0 : sign(to / grid->w - p.row);
            const Picture& now = ring[(t - REACT_DELAY) % HISTORY];
            const Picture& before = ring[(t - REACT_DELAY - std::min(MOTION_SPAN, t - REACT_DELAY - seeing_since)) % HISTORY];
            const Alarm a = judge_foes(now, before, plan_x, plan_y);
            if (!a.flee) flee_move = -1;
            const int seen_mx = ring[(t - std::min(ALIGN_LAG, t - seeing_since)) % HISTORY].mx;
            auto go = [&](int cell) {
                return steer(*grid, p, cell, cell % grid->w == p.col ? lagged_line_up(&hands, seen_mx, p.col, t) : 0);
            };
            if (a.flee) {
                // Away from the foe: up or down the ladder where it stands,
                // or along the floor (into any hole on the way), the way
                // nearest the eggs first; a way once taken is kept while the
                // flight lasts, it still leads away and it goes on.
                if (flee_move < 0 || flee_cell(*grid, p, flee_move, a) < 0) {
                    flee_move = -1;
                    int best = 1 << 30;
                    for (int m = 0; m < 4; m++) {
                        const int cell = flee_cell(*grid, p, m, a);
                        if (cell >= 0 && dist[cell] < best) {
                            best = dist[cell];
                            flee_move = m;
                        }
                    }
                }
                const int cell = flee_move < 0 ? -1 : flee_cell(*grid, p, flee_move, a);
                keys = cell < 0 ? 0 : go(cell);
            } else if (a.wait || t < sets_off) {
                keys = 0;
            } else if (const int lk = to < 0 ? -1 : at_lift(*grid, p, to, dist, shafts, shaft_count,
                                                              lift_seen[(t - REACT_DELAY) % HISTORY],
                                                              lift_seen[(t - REACT_DELAY - std::min(4, t - REACT_DELAY - seeing_since)) % HISTORY]);
                       lk >= 0) {
                keys = lk;
            } else if (to >= 0) {
                keys = go(to);
                // A gap to cross, not to drop into: jump it.
                const int beyond = next_cell(*grid, dist, to);
                if (to / grid->w == p.row && to % grid->w != p.col && open_below(to % grid->w, p.row) && beyond >= 0 &&
                    beyond / grid->w <= p.row)
                    keys |= K_UP;
            }
        }
        hold_keys(keys);
        const int lives_before = lives;
        int lift_going[MAX_SHAFTS];
        for (int i = 0; i < shaft_count; i++) lift_going[i] = cells[shafts[i].cell].dy;
        PLAY_FRAME();
        for (int i = 0; i < shaft_count; i++) {
            const MapCell& c = cells[shafts[i].cell];
            run.lift_bounces += lift_going[i] > 0 && c.dy < 0 && c.y < shafts[i].lowest && MAP_HITPLAYER(shafts[i].cell, 0, 1);
        }
        run.eggs = std::max(run.eggs, eggs_taken);
        run.ticks = t + 1;
        if (quit_code == 2) {
            run.cleared = true;
            break;
        }
        if (quit_code != 0 || lives <= 0) break;
        if (lives < lives_before) {
            seeing_since = t + 1;
            new_try(t + 1 + REACT_DELAY);
            hands = Hands{};
            flee_move = -1;
        }
    }
    run.lives_lost = lives0 - lives;
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

double median(std::vector<int> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

bool gentle_step(double before, double after)
{
    // In whole seeds' worth of a hundredth, so 0.85 after 1.0 passes.
    return std::lround(100 * after) >= std::lround(100 * before) - 15;
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
    std::vector<int> novice_ticks, lives_lost;
    int half = 0, all = 0, r_clear = 0, r_half = 0;
    for (int s = 1; s <= seeds; s++) {
        const uint32_t seed = static_cast<uint32_t>(s);
        row.idle.push_back(idle_survival(lvl, seed));
        const NoviceRun n = novice_run(&grid, lvl, seed);
        row.novice.push_back(n);
        novice_ticks.push_back(n.ticks);
        half += 2 * n.eggs >= n.total;
        all += n.eggs == n.total;
        const ReactiveRun r = reactive_run(&grid, lvl, seed);
        row.reactive.push_back(r);
        r_clear += r.cleared;
        r_half += 2 * r.eggs >= r.total;
        lives_lost.push_back(r.lives_lost);
    }
    row.idle_median = percentile(row.idle, 0.5);
    row.idle_p10 = percentile(row.idle, 0.1);
    row.idle_min = *std::min_element(row.idle.begin(), row.idle.end());
    row.novice_median = percentile(novice_ticks, 0.5);
    row.novice_half = static_cast<double>(half) / seeds;
    row.novice_all = static_cast<double>(all) / seeds;
    row.reactive_clear = static_cast<double>(r_clear) / seeds;
    row.reactive_half = static_cast<double>(r_half) / seeds;
    row.reactive_lives = median(lives_lost);
    return row;
}

} // namespace difficulty
