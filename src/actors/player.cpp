// player.cpp -- the player (module "player"): his sprites and state, one frame
// of arrow-key movement with gravity, jumps, ladders and lift pushes, taking
// eggs and seed, the two queries that test his body against the map cells
// (PLAYER_OVER, PLAYER_COLLIDE) and MAP_SET, the only change of a cell's code
// between level loads.
//
// The queries must answer with the lowest matching table index.  The plain
// answer scans all 1601 entries; PLAYER_UPDATE instead prepares a small
// search once per frame: cells that sit on their own grid square are looked
// up directly (at most 2 x 2 squares can touch the 21 x 32 body), and the few
// that do not (moving lifts, or anything unusual) are kept in a short list
// that is tested entry by entry.  Both give the same index for any table.
#include "actors/player.h"

#include "main/shell.h"
#include "map/map.h"
#include "services/bmp.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "services/screen.h"
#include "sound/sound.h"
#include "sound/sound_device.h"

#include <cstdio>

static constexpr const char MODULE_NAME[] = "player";

// --- shared state ----------------------------------------------------------

int player_x = 0, player_y = 0;
int start_x = 0, start_y = 0, start_scroll_x = 0, start_scroll_y = 0;
int player_pose = 0, player_frame = 0, player_step_count = 0, jump_count = 0;
int ladder_cell = -1, walk_right = 0, walk_left = 0;
int ladder_help = 0;
Table<Image*, 6> player_images;

// --- module state ----------------------------------------------------------

// Sprite names, one per image slot: right, left and climbing, two frames each.
static const Table<const char*, 6> sprite_names = {
    {"player", "player1", "player-l1", "player-l2", "player-u1", "player-u2"}};

// The prepared search: the layout it was made for, and the entries that hold
// a code of 1 or more but do not sit on their own grid square, ascending.
static Table<int, CELL_TABLE_SIZE> loose_cells;
static int loose_count = 0;
// Frames in the air (falling or jumping), for the landing sound only: no
// rule of the game reads it.
static int air_frames = 0;
constexpr int LAND_AFTER_FRAMES = 4;
static int search_width = 0;     // map_width when prepared
static int search_last = -1;     // last grid entry when prepared
static bool search_ready = false;
static unsigned search_stamp = 0;  // cells_stamp when prepared
static bool in_update = false;   // the queries may use the prepared search
static bool full_scan_only = false;

// Screen bands in which a move asks the view to scroll first.
enum { BAND_TOP = 96, BAND_BOTTOM = 352, BAND_RIGHT = 480, BAND_LEFT = 128 };
enum { JUMP_FRAMES = 24, JUMP_SLOW_BELOW = 8, FALL_PIXELS = 4, STEP_PIXELS = 2, LADDER_HELP_PIXELS = 2 };

// --- cell geometry ---------------------------------------------------------

static bool within(int v, int lo, int hi) { return lo <= v && v <= hi; }

// Rows a cell covers in the player's queries: lifts their top half, eggs and
// seed their bottom half, everything else the whole square.
static void cell_rows(const MapCell& c, int* top, int* bottom) {
    if (c.code == CELL_LIFT_V || c.code == CELL_LIFT_H) {
        *top = c.y;
        *bottom = c.y + 15;
    } else if (c.code == CELL_SEED || c.code == CELL_EGG) {
        *top = c.y + 16;
        *bottom = c.y + 31;
    } else {
        *top = c.y;
        *bottom = c.y + 31;
    }
}

// The body's vertical edge columns and top or bottom row against the cell.
static bool edges_touch(const MapCell& c, int bx, int by) {
    if (!within(bx, c.x, c.x + 31) && !within(bx + 20, c.x, c.x + 31)) return false;
    int top, bottom;
    cell_rows(c, &top, &bottom);
    return within(by, top, bottom) || within(by + 31, top, bottom);
}

static bool is_solid(int code) {
    return code == CELL_BLOCK || code == CELL_LIFT_V || code == CELL_LIFT_H;
}

// A solid cell touches the body when the body's edges meet the cell, or else
// when the cell's edges meet the body (a lift's thin strip inside the body).
static bool solid_touch(const MapCell& c, int bx, int by) {
    if (edges_touch(c, bx, by)) return true;
    if (!within(c.x, bx, bx + 20) && !within(c.x + 31, bx, bx + 20)) return false;
    int top, bottom;
    cell_rows(c, &top, &bottom);
    return within(top, by, by + 31) || within(bottom, by, by + 31);
}

// Body's left column and top row in map pixels, moved by (dx, dy).
static int body_x(int dx) { return player_x - scroll_x + 6 + dx; }
static int body_y(int dy) { return player_y - scroll_y + dy; }

// Grid square of a map pixel, rounding towards minus infinity.
static int square_of(int pixel) { return pixel >> 5; }

// --- the plain scans (reference answers) -----------------------------------

static int scan_over(int code, int bx, int by) {
    // The loop runs over the table's own bounds, so each entry is in range.
    for (int k = 0; k < cells.size(); ++k) {
        const MapCell& c = cells.entry[k];
        if (c.code == code && edges_touch(c, bx, by)) return k;
    }
    return -1;
}

static int scan_collide(int bx, int by) {
    for (int k = 0; k < cells.size(); ++k) {
        const MapCell& c = cells.entry[k];
        if (is_solid(c.code) && solid_touch(c, bx, by)) return 1;
    }
    return -1;
}

// --- the prepared search ---------------------------------------------------

// True when entry k of a grid search_width wide lies on its own square.
static bool on_own_square(const MapCell& c, int k) {
    return k <= search_last && c.x == 32 * (k % search_width) && c.y == 32 * (k / search_width);
}

static void prepare_search() {
    search_width = map_width;
    search_last = last_cell < cells.size() - 1 ? last_cell : cells.size() - 1;
    if (search_width <= 0) search_last = -1;
    loose_count = 0;
    // Lifts are listed wherever they stand: they move between preparations.
    for (int k = 0; k < cells.size(); ++k) {
        const MapCell& c = cells.entry[k];
        if (c.code < 1) continue;
        const bool lift = c.code == CELL_LIFT_V || c.code == CELL_LIFT_H;
        if (!lift && search_last >= 0 && on_own_square(c, k)) continue;
        loose_cells[loose_count++] = k;
    }
    search_ready = true;
    search_stamp = cells_stamp;
}

// True when the prepared search still fits the table.
static bool search_current() { return search_ready && search_stamp == cells_stamp; }

// Calls visit(k) for each entry on its own square among the at most 2 x 2
// squares the body at (bx, by) can reach, lowest index first.
template <typename Visit>
static void visit_squares(int bx, int by, Visit visit) {
    if (search_last < 0) return;
    const int c0 = square_of(bx), c1 = square_of(bx + 20);
    const int r0 = square_of(by), r1 = square_of(by + 31);
    for (int r = r0; r <= r1; ++r) {
        if (r < 0) continue;
        for (int col = c0; col <= c1; ++col) {
            if (col < 0 || col >= search_width) continue;
            const long k = static_cast<long>(r) * search_width + col;
            if (k > search_last) return;
            const MapCell& c = cells[static_cast<int>(k)];
            // On its own square (k is row r, column col): no division needed.
            if (c.x == 32 * col && c.y == 32 * r && visit(static_cast<int>(k), c)) return;
        }
    }
}

static int fast_over(int code, int bx, int by) {
    int best = -1;
    visit_squares(bx, by, [&](int k, const MapCell& c) {
        if (c.code == code && edges_touch(c, bx, by)) {
            best = k;
            return true; // squares are visited in index order
        }
        return false;
    });
    for (int i = 0; i < loose_count; ++i) {
        const int k = loose_cells[i];
        if (best >= 0 && k > best) break;
        const MapCell& c = cells[k];
        if (c.code == code && edges_touch(c, bx, by)) return k;
    }
    return best;
}

static int fast_collide(int bx, int by) {
    bool hit = false;
    visit_squares(bx, by, [&](int, const MapCell& c) {
        hit = is_solid(c.code) && solid_touch(c, bx, by);
        return hit;
    });
    if (hit) return 1;
    for (int i = 0; i < loose_count; ++i) {
        const MapCell& c = cells[loose_cells[i]];
        if (is_solid(c.code) && solid_touch(c, bx, by)) return 1;
    }
    return -1;
}

// --- the queries -----------------------------------------------------------

int PLAYER_OVER(int code, int dx, int dy) {
    PROC("PLAYER_OVER");
    if (in_update && search_current() && code >= 1) return fast_over(code, body_x(dx), body_y(dy));
    return scan_over(code, body_x(dx), body_y(dy));
}

int PLAYER_COLLIDE(int dx, int dy) {
    PROC("PLAYER_COLLIDE");
    if (in_update && search_current()) return fast_collide(body_x(dx), body_y(dy));
    return scan_collide(body_x(dx), body_y(dy));
}

int PLAYER_OVER_SCAN(int code, int dx, int dy) {
    PROC("PLAYER_OVER_SCAN");
    return scan_over(code, body_x(dx), body_y(dy));
}

int PLAYER_COLLIDE_SCAN(int dx, int dy) {
    PROC("PLAYER_COLLIDE_SCAN");
    return scan_collide(body_x(dx), body_y(dy));
}

void PLAYER_SEARCH_PREPARE() {
    PROC("PLAYER_SEARCH_PREPARE");
    prepare_search();
}

int PLAYER_OVER_FAST(int code, int dx, int dy) {
    PROC("PLAYER_OVER_FAST");
    if (!search_current() || code < 1) return scan_over(code, body_x(dx), body_y(dy));
    return fast_over(code, body_x(dx), body_y(dy));
}

int PLAYER_COLLIDE_FAST(int dx, int dy) {
    PROC("PLAYER_COLLIDE_FAST");
    if (!search_current()) return scan_collide(body_x(dx), body_y(dy));
    return fast_collide(body_x(dx), body_y(dy));
}

void player_set_full_scan(bool on) { full_scan_only = on; }

void MAP_SET(int index, int code) {
    PROC("MAP_SET");
    const int old_code = cells[index].code;
    cells[index].code = code;
    map_code_changed(index, old_code, code);
}

// --- moves -----------------------------------------------------------------

// Each move of d map pixels scrolls the view when the player is in the band at
// that screen edge and the view can still move; otherwise the player moves.
static void move_up(int d) {
    if (player_y <= BAND_TOP && MAP_VSCROLL(d) != 0) return;
    player_y -= d;
}

static void move_down(int d) {
    if (player_y >= BAND_BOTTOM && MAP_VSCROLL(-d) != 0) return;
    player_y += d;
}

static void move_right(int d) {
    if (player_x >= BAND_RIGHT && MAP_HSCROLL(-d) != 0) return;
    player_x += d;
}

static void move_left(int d) {
    if (player_x <= BAND_LEFT && MAP_HSCROLL(d) != 0) return;
    player_x -= d;
}

// The sprite changes on every eleventh step; a quiet step or climbing sound
// goes with each change (a step only with a floor under the feet).
static void walk_step() {
    player_step_count += 1;
    if (player_step_count > 10) {
        player_step_count = 0;
        player_frame = 1 - player_frame;
        if (player_pose == 4) play_sound(SOUND_CLIMB, player_x + 16);
        else if (PLAYER_COLLIDE(0, 1) > -1) play_sound(SOUND_STEP, player_x + 16);
    }
}

// --- the procedures --------------------------------------------------------

void PLAYER_INIT() {
    PROC("PLAYER_INIT");
    for (int slot = 0; slot < player_images.size(); ++slot) {
        int err = 0;
        Image* image = create_image(32, 32, 0xFF000000u, &err);
        CHECK(err);
        player_images[slot] = image;
        char path[64];
        std::snprintf(path, sizeof path, "gfx\\%s.bmp", sprite_names[slot]);
        CHECK(load_bitmap(path, image));
    }
    player_frame = 0;
    player_step_count = 0;
    jump_count = 0;
}

void PLAYER_RESET() {
    PROC("PLAYER_RESET");
    player_x = start_x;
    player_y = start_y;
    scroll_x = start_scroll_x;
    scroll_y = start_scroll_y;
    jump_count = 0;
}

void PLAYER_UPDATE() {
    PROC("PLAYER_UPDATE");
    if (!full_scan_only && !search_current()) prepare_search();
    in_update = true;

    // What the body stands in at the start of the frame.
    ladder_cell = PLAYER_OVER(CELL_LADDER, 0, 0);

    int k = PLAYER_OVER(CELL_EGG, 0, 0);
    if (k > -1) {
        MAP_SET(k, CELL_EMPTY);
        eggs_taken += 1;
        score += 10;
        play_sound(SOUND_EGG, player_x + 16);
    }
    k = PLAYER_OVER(CELL_SEED, 0, 0);
    if (k > -1) {
        MAP_SET(k, CELL_EMPTY);
        score += 5;
        play_sound(SOUND_SEED, player_x + 16);
    }

    // A rising lift whose top half has moved into the body lifts him a pixel.
    if (PLAYER_OVER(CELL_LIFT_V, 0, 0) > -1 && PLAYER_COLLIDE(0, -1) != 1) move_up(1);

    // Gravity, pixel by pixel, off ladders and outside jumps.
    bool falling = false;
    if (ladder_cell == -1 && jump_count == 0) {
        for (int i = 0; i < FALL_PIXELS; ++i) {
            if (PLAYER_COLLIDE(0, 1) == -1 && PLAYER_OVER(CELL_LADDER, 0, 1) == -1) {
                move_down(1);
                falling = true;
            }
        }
    }
    // A soft landing sound after a fall or a jump of a few frames.
    if (falling || jump_count > 0) {
        air_frames += 1;
    } else {
        if (air_frames >= LAND_AFTER_FRAMES) play_sound(SOUND_LAND, player_x + 16);
        air_frames = 0;
    }

    if (key_down(KEY_RIGHT)) {
        walk_right = 1;
        player_pose = 0;
    } else {
        walk_right = 0;
    }
    if (key_down(KEY_LEFT)) {
        walk_left = 1;
        player_pose = 2;
    } else {
        walk_left = 0;
    }

    // Ladder help: Up or Down with the body over a ladder's edge moves it
    // towards the ladder's column first, so it passes the floor above or
    // below.  The body (21 pixels) is inside the 32-pixel column when its
    // left edge is 0 to 11 pixels right of the column's.
    if (ladder_help != 0 && (key_down(KEY_UP) || key_down(KEY_DOWN))) {
        const int k = key_down(KEY_UP) && ladder_cell > -1 ? ladder_cell : PLAYER_OVER(CELL_LADDER, 0, 1);
        if (k > -1) {
            const int off = body_x(0) - cells[k].x;
            const int move = off < 0 ? -off : off > 11 ? 11 - off : 0;
            const int step = move > LADDER_HELP_PIXELS ? LADDER_HELP_PIXELS : move < -LADDER_HELP_PIXELS ? -LADDER_HELP_PIXELS : move;
            if (step > 0 && PLAYER_COLLIDE(step, 0) == -1) move_right(step);
            if (step < 0 && PLAYER_COLLIDE(step, 0) == -1) move_left(-step);
            if (step != 0) ladder_cell = PLAYER_OVER(CELL_LADDER, 0, 0);
        }
    }

    // Up climbs on a ladder and jumps elsewhere.
    if (key_down(KEY_UP) && PLAYER_COLLIDE(0, -STEP_PIXELS) == -1) {
        if (ladder_cell > -1) {
            move_up(STEP_PIXELS);
            player_pose = 4;
            walk_step();
        } else {
            const int before = jump_count;
            if (PLAYER_OVER(CELL_LADDER, 0, 1) > -1) jump_count = JUMP_FRAMES;
            if (jump_count == 0 && PLAYER_COLLIDE(0, 1) > -1) jump_count = JUMP_FRAMES;
            if (before == 0 && jump_count > 0) play_sound(SOUND_JUMP, player_x + 16);
        }
    }

    if (key_down(KEY_DOWN) && PLAYER_COLLIDE(0, STEP_PIXELS) == -1 &&
        (PLAYER_OVER(CELL_LADDER, 0, 1) > -1 || ladder_cell > -1)) {
        move_down(STEP_PIXELS);
        player_pose = 4;
        walk_step();
    }

    if (walk_right == 1 && PLAYER_COLLIDE(STEP_PIXELS, 0) == -1) {
        move_right(STEP_PIXELS);
        walk_step();
    }
    if (walk_left == 1 && PLAYER_COLLIDE(-STEP_PIXELS, 0) == -1) {
        move_left(STEP_PIXELS);
        walk_step();
    }

    // A jump rises 2 pixels a frame, then 1 for its last eight frames, and
    // ends at once under a ceiling.
    if (jump_count > 0) {
        if (PLAYER_COLLIDE(0, -STEP_PIXELS) == -1) {
            move_up(jump_count > JUMP_SLOW_BELOW ? 2 : 1);
            jump_count -= 1;
        } else {
            jump_count = 0;
        }
    }

    in_update = false;
}

void PLAYER_DRAW() {
    PROC("PLAYER_DRAW");
    CHECK(put_image(static_cast<float>(player_x), static_cast<float>(player_y),
                    player_images[player_frame + player_pose], BLIT_TRANSPARENT));
}
