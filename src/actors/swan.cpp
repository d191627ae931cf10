// swan.cpp -- the swans (module "swan"): a fixed table of 21 slots of birds
// that walk along the platforms, turn at walls and at the ends of platforms,
// and now and then climb up or down a ladder.  Swans only read the map; they
// take nothing and never touch the player themselves (the shell makes the
// contact test).  All decisions are taken when a swan is aligned with its
// cell; between cells it moves one pixel on every odd value of its tick.
#include "actors/swan.h"

#include "map/map.h"
#include "services/bmp.h"
#include "services/image.h"
#include "services/random.h"
#include "services/screen.h"

static constexpr const char MODULE_NAME[] = "swan";

Table<Swan, SWAN_SLOTS> swans{};
int swan_count = 0;
Table<Image*, 6> swan_images{};

namespace {

// The six sprite files, in image slot order.
constexpr const char* SWAN_FILES[6] = {
    "gfx\\swan-r1.bmp", "gfx\\swan-r2.bmp", "gfx\\swan-l1.bmp",
    "gfx\\swan-l2.bmp", "gfx\\swan-u1.bmp", "gfx\\swan-u2.bmp",
};

constexpr uint32_t SWAN_FILL = 0xFF64FF64;

// A whole number from 0 to n - 1, each equally likely.  One random number
// per call.  Called by the swan rules.
int roll(int n) { return static_cast<int>(random_unit() * n); }

// The code a swan sees at (col, row): the map's code inside the grid, a wall
// (CELL_BLOCK) anywhere beyond its edges, so a swan turns at the grid's edge
// instead of reading the next row's cells.  Called by the swan rules.
int swan_sees(int col, int row) {
    if (col < 0 || col >= map_width || row < 0 || row >= map_height) return CELL_BLOCK;
    return MAP_GET(col, row);
}

// 1 if the side of the swan in direction side (+1 or -1) is a way off a
// ladder: the cell beside it is free and the cell below that is a block.
// Called by choose_way_off.
int side_open(const Swan& s, int side) {
    return swan_sees(s.col + side, s.row) == CELL_EMPTY &&
           swan_sees(s.col + side, s.row + 1) == CELL_BLOCK;
}

// Picks the side a swan leaves a ladder by and sets its dir; 1 if one was
// open, 0 if none (dir unchanged).  Draws one random number.  Called by
// SWANS_MOVE at the foot and the head of a ladder.
int choose_way_off(Swan& s) {
    const int first = roll(10) > 4 ? -1 : +1;
    if (side_open(s, first)) { s.dir = first; return 1; }
    if (side_open(s, -first)) { s.dir = -first; return 1; }
    return 0;
}

// Turns the swan round if there is a wall ahead or no floor ahead.
// Called by SWANS_MOVE when a walking swan is aligned with its cell.
void turn_test(Swan& s) {
    if (swan_sees(s.col + s.dir, s.row) == CELL_BLOCK ||
        swan_sees(s.col + s.dir, s.row + 1) == CELL_EMPTY)
        s.dir = -s.dir;
}

// The decisions of one aligned swan: ladders first, then the turn test.
// Called by SWANS_MOVE.
void decide(Swan& s) {
    const int here = swan_sees(s.col, s.row);
    if (here == CELL_LADDER) {
        const int below = swan_sees(s.col, s.row + 1);
        if (below == CELL_BLOCK || below == CELL_EMPTY) { // foot of the ladder
            if (s.vdir == 0) {
                if (roll(10) > 4) s.vdir = -1;
            } else {
                s.vdir = 0;
                if (!choose_way_off(s)) s.vdir = -1;
            }
        }
        if (swan_sees(s.col, s.row - 1) == CELL_EMPTY) { // head of the ladder
            if (s.vdir == -1) {
                s.vdir = 0;
                if (!choose_way_off(s)) s.vdir = +1;
            } else {
                if (roll(9) > 5) s.vdir = +1;
            }
        }
        // A swan never climbs into a wall, out of the grid or into thin
        // air (a one-cell ladder is foot and head at once): it walks on.
        if (s.vdir != 0) {
            const int next = swan_sees(s.col, s.row + s.vdir);
            if (next == CELL_BLOCK || next == CELL_EMPTY) s.vdir = 0;
        }
        if (s.vdir == 0) turn_test(s);
    } else {
        // A swan that climbs into a cell that is no ladder (the ladder ended
        // over an egg or seed, or under one) gets off and walks, instead of
        // sinking through the floor or rising through the roof.
        s.vdir = 0;
        turn_test(s);
    }
}

} // namespace

void SWANS_CREATE_TABLE() {
    PROC("SWANS_CREATE_TABLE");
    for (int i = 0; i < SWAN_SLOTS; ++i) swans[i] = Swan{};
    swan_count = 0;
}

void SWANS_INIT() {
    PROC("SWANS_INIT");
    for (int i = 0; i < 6; ++i) {
        int err = ERR_NONE;
        swan_images[i] = create_image(32, 32, SWAN_FILL, &err);
        CHECK(err);
        CHECK(load_bitmap(SWAN_FILES[i], swan_images[i]));
    }
}

void SWANS_ADD(int col, int row) {
    PROC("SWANS_ADD");
    if (swan_count >= SWAN_MAX) return;
    Swan& s = swans[swan_count];
    s.active = 1;
    s.col = s.start_col = col;
    s.row = s.start_row = row;
    s.sub_x = s.sub_y = 0;
    s.dir = roll(9) <= 5 ? +1 : -1;
    swan_count += 1;
}

void SWANS_CLEAR() {
    PROC("SWANS_CLEAR");
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        Swan& s = swans[i];
        s.active = s.dir = s.vdir = s.sub_x = s.sub_y = s.frame = s.move_tick = 0;
    }
    swan_count = 0;
}

void SWANS_RESET() {
    PROC("SWANS_RESET");
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        Swan& s = swans[i];
        s.col = s.start_col;
        s.row = s.start_row;
        s.sub_x = s.sub_y = 0;
        s.frame = 0;
        s.dir = roll(9) <= 5 ? +1 : -1;
        s.vdir = 0;
        s.move_tick = 0;
    }
}

void SWANS_MOVE() {
    PROC("SWANS_MOVE");
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        Swan& s = swans[i];
        if (s.active != 1) continue;
        s.move_tick += 1;
        if (s.move_tick % 2 == 0) continue;
        if (s.sub_x == 0 && s.sub_y == 0) decide(s);
        if (s.vdir == 0) s.sub_x += s.dir;
        else s.sub_y += s.vdir;
        if (s.sub_x == -32) { s.sub_x = 0; s.col -= 1; }
        if (s.sub_x == 32) { s.sub_x = 0; s.col += 1; }
        if (s.sub_y == -32) { s.sub_y = 0; s.row -= 1; }
        if (s.sub_y == 32) { s.sub_y = 0; s.row += 1; }
        if (s.move_tick == 11) {
            s.frame = 1 - s.frame;
            s.move_tick = 0;
        }
    }
}

void SWANS_DRAW() {
    PROC("SWANS_DRAW");
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        const Swan& s = swans[i];
        if (s.active != 1) continue;
        const int x = s.col * 32 + s.sub_x + scroll_x;
        const int y = s.row * 32 + s.sub_y + scroll_y;
        int slot;
        if (s.vdir == 0) slot = s.dir == +1 ? s.frame : s.frame + 2;
        else slot = s.frame + 4;
        CHECK(put_image(static_cast<float>(x), static_cast<float>(y), swan_images[slot],
                        BLIT_TRANSPARENT));
    }
}
