// map_draw.cpp -- moving the lifts, drawing the visible cells, scrolling the
// view and the small overview map in the top-right corner.
//
// Lifts move one pixel a frame and turn, without moving, when the next step
// would bring their top 16 rows against another non-empty cell or (falling
// and horizontal lifts) the player.  A rising lift looks at the band 63 to 48
// pixels above its top instead.  Vertical lifts also turn at the map's top
// and bottom.  Lifts are handled in index order, so a lift meets lifts of
// lower index at their new positions.
#include "map/map.h"

#include <cstdint>

#include "actors/player.h"
#include "services/draw.h"
#include "services/image.h"
#include "services/screen.h"

static constexpr const char MODULE_NAME[] = "map";

namespace {

constexpr uint32_t SMALL_BLOCK = 0xFF00FF00, SMALL_LADDER = 0xFFFF00FF;
constexpr uint32_t SMALL_EGG = 0xFFFFFF00, SMALL_PLAYER = 0xFFFF0000;

// The overview colour of a cell code, 0 for a cell it does not show.
// Called by MAP_SMALL.
uint32_t small_colour(int code) {
    if (code == CELL_BLOCK) return SMALL_BLOCK;
    if (code == CELL_LADDER) return SMALL_LADDER;
    if (code == CELL_EGG) return SMALL_EGG;
    return 0;
}

// MAP_UPDATE's lookups for the contact test of its lifts: the lifts and the
// other non-empty cells that stand off their own grid square, by index, the
// rest found on their squares.  Only lifts move between changes that
// cells_stamp counts, so the answers are MAP_COLLIDE's, which looks at every
// cell up to last_cell for each lift (test_player_search.cpp plays whole runs
// both ways).
Table<int, CELL_TABLE_SIZE> lift_list;
int lift_count = 0;
Table<int, CELL_TABLE_SIZE> off_square_list;
int off_square_count = 0;
bool full_scan_only = false;
bool lookups_ready = false;
unsigned lookups_stamp = 0;

bool on_own_square(const MapCell& c, int k) {
    return map_width > 0 && c.x == 32 * (k % map_width) && c.y == 32 * (k / map_width);
}

void prepare_lookups() {
    lift_count = off_square_count = 0;
    const int last = last_cell < cells.size() - 1 ? last_cell : cells.size() - 1;
    for (int k = 0; k <= last; k++) {
        const MapCell& c = cells[k];
        if (c.code == CELL_LIFT_V || c.code == CELL_LIFT_H) lift_list[lift_count++] = k;
        else if (c.code >= 1 && !on_own_square(c, k)) off_square_list[off_square_count++] = k;
    }
    lookups_ready = true;
    lookups_stamp = cells_stamp;
}

int64_t floor_div32(int64_t v) { return v >= 0 ? v / 32 : -((-v + 31) / 32); }

bool within(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v <= hi; }

// MAP_COLLIDE's answer from the prepared lookups.
int collide(int i, int dx, int dy) {
    if (full_scan_only) return MAP_COLLIDE(i, dx, dy);
    const MapCell& moving = cells[i];
    const int64_t bx = static_cast<int64_t>(moving.x) + dx;
    const int64_t by = static_cast<int64_t>(moving.y) + dy;
    auto touches = [&](const MapCell& other) {
        return within(bx, other.x - 31LL, other.x + 31LL) && within(by, other.y - 15LL, other.y + 31LL);
    };
    for (int n = 0; n < lift_count; n++)
        if (lift_list[n] != i && touches(cells[lift_list[n]])) return 1;
    for (int n = 0; n < off_square_count; n++)
        if (off_square_list[n] != i && touches(cells[off_square_list[n]])) return 1;
    // The squares whose cells could touch: x from bx - 31 to bx + 31, y from
    // by - 31 to by + 15.
    const int64_t w = map_width;
    if (w <= 0) return 0;
    for (int64_t r = floor_div32(by - 31); r <= floor_div32(by + 15); r++) {
        if (r < 0) continue;
        for (int64_t c = floor_div32(bx - 31); c <= floor_div32(bx + 31); c++) {
            if (c < 0 || c >= w) continue;
            const int64_t k = r * w + c;
            if (k > last_cell || k >= cells.size()) continue;
            const MapCell& other = cells[static_cast<int>(k)];
            if (k == i || other.code < 1 || other.code == CELL_LIFT_V || other.code == CELL_LIFT_H) continue;
            // On its own square (k is row r, column c): no division needed.
            if (other.x == 32 * c && other.y == 32 * r && touches(other)) return 1;
        }
    }
    return 0;
}

// One frame of a vertical lift.  Called by MAP_UPDATE.
void move_vertical_lift(int i) {
    MapCell& lift = cells[i];
    if (lift.dy < 0) {
        // Rising: the band 63 to 48 pixels above must be clear; the player
        // is not looked at.
        if (collide(i, 0, -63) == 0) lift.y += lift.dy;
        else lift.dy = -lift.dy;
        if (lift.y <= 0) lift.dy = -lift.dy;
    } else {
        if (collide(i, 0, 1) == 0 && MAP_HITPLAYER(i, 0, 1) == 0) lift.y += lift.dy;
        else lift.dy = -lift.dy;
        // Its 16 rows end at the map's last pixel row.
        if (lift.y >= 32LL * map_height - 16) lift.dy = -lift.dy;
    }
}

// One frame of a horizontal lift; the cells around its path stop it.
// Called by MAP_UPDATE.
void move_horizontal_lift(int i) {
    MapCell& lift = cells[i];
    if (collide(i, lift.dx, 0) == 0 && MAP_HITPLAYER(i, lift.dx, 0) == 0) lift.x += lift.dx;
    else lift.dx = -lift.dx;
}

} // namespace

void MAP_UPDATE() {
    PROC("MAP_UPDATE");
    // No code changes here, so the lifts are those listed, in index order.
    if (!lookups_ready || lookups_stamp != cells_stamp) prepare_lookups();
    for (int n = 0; n < lift_count; n++) {
        const int i = lift_list[n];
        if (cells[i].code == CELL_LIFT_V) move_vertical_lift(i);
        else move_horizontal_lift(i);
    }
}

void map_set_full_scan(bool on) { full_scan_only = on; }

void MAP_DRAW() {
    PROC("MAP_DRAW");
    for (int i = 0; i <= last_cell; i++) {
        const MapCell& cell = cells[i];
        const int64_t sy = static_cast<int64_t>(cell.y) + scroll_y;
        if (sy < -32 || sy > 479) continue;
        const int64_t sx = static_cast<int64_t>(cell.x) + scroll_x;
        if (sx < -32 || sx > 640) continue;
        if (cell.code < 1) continue;
        // Ladders are drawn whole; every other cell lets magenta through.
        // A code above 10 has no image slot and ends the program here.
        const BlitMode mode = cell.code == CELL_LADDER ? BLIT_SOLID : BLIT_TRANSPARENT;
        CHECK(put_image(static_cast<float>(sx), static_cast<float>(sy), cell_images[cell.code], mode));
    }
}

int MAP_HSCROLL(int d) {
    PROC("MAP_HSCROLL");
    const int64_t next = static_cast<int64_t>(scroll_x) + d;
    if (next < -640 || next > 0) return 0;
    scroll_x = static_cast<int>(next);
    return 1;
}

int MAP_VSCROLL(int d) {
    PROC("MAP_VSCROLL");
    const int64_t next = static_cast<int64_t>(scroll_y) + d;
    const int64_t lowest = 480 - 32LL * map_height;
    if (next < lowest || next > 0) return 0;
    scroll_y = static_cast<int>(next);
    return 1;
}

void MAP_SMALL() {
    PROC("MAP_SMALL");
    const int w = map_width, h = map_height;
    // Both positive means at most 1000 cells (the loader refuses more).  The
    // 2 x 2 squares never overlap, so a run of squares of one colour along a
    // row is drawn as one box: the same pixels as square by square.
    if (w > 0 && h > 0) {
        uint32_t current = 0;
        for (int y = 0; y < h; y++) {
            int x = 0;
            while (x < w) {
                const uint32_t colour = small_colour(cells[y * w + x].code);
                int run = 1;
                while (x + run < w && small_colour(cells[y * w + x + run].code) == colour) run++;
                if (colour != 0) {
                    if (colour != current) set_color(colour, 0, KEEP_BACKGROUND);
                    current = colour;
                    const float left = static_cast<float>(SMALL_LEFT + 2 * x);
                    const float top = static_cast<float>(SMALL_TOP + 2 * y);
                    draw_line(left, top, left + static_cast<float>(2 * run - 1), top + 1, LINE_FILLED_BOX);
                }
                x += run;
            }
        }
    }
    // The dot: the player's top-left corner in map pixels at 1 to 16,
    // rounded towards minus infinity.
    set_color(SMALL_PLAYER, 0, KEEP_BACKGROUND);
    const int64_t mx = (static_cast<int64_t>(player_x) - scroll_x) >> 4;
    const int64_t my = (static_cast<int64_t>(player_y) - scroll_y) >> 4;
    const float left = static_cast<float>(SMALL_LEFT + mx);
    const float top = static_cast<float>(SMALL_TOP + my);
    draw_line(left, top, left + 1, top + 1, LINE_FILLED_BOX);
}
