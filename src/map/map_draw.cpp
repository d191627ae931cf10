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

constexpr int SMALL_LEFT = 550, SMALL_TOP = 14;
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

// One frame of a vertical lift.  Called by MAP_UPDATE.
void move_vertical_lift(int i) {
    MapCell& lift = cells[i];
    if (lift.dy < 0) {
        // Rising: the band 63 to 48 pixels above must be clear; the player
        // is not looked at.
        if (MAP_COLLIDE(i, 0, -63) == 0) lift.y += lift.dy;
        else lift.dy = -lift.dy;
        if (lift.y <= 0) lift.dy = -lift.dy;
    } else {
        if (MAP_COLLIDE(i, 0, 1) == 0 && MAP_HITPLAYER(i, 0, 1) == 0) lift.y += lift.dy;
        else lift.dy = -lift.dy;
        // Its 16 rows end at the map's last pixel row.
        if (lift.y >= 32LL * map_height - 16) lift.dy = -lift.dy;
    }
}

// One frame of a horizontal lift; the cells around its path stop it.
// Called by MAP_UPDATE.
void move_horizontal_lift(int i) {
    MapCell& lift = cells[i];
    if (MAP_COLLIDE(i, lift.dx, 0) == 0 && MAP_HITPLAYER(i, lift.dx, 0) == 0) lift.x += lift.dx;
    else lift.dx = -lift.dx;
}

} // namespace

void MAP_UPDATE() {
    PROC("MAP_UPDATE");
    for (int i = 0; i <= last_cell; i++) {
        const int code = cells[i].code;
        if (code == CELL_LIFT_V) move_vertical_lift(i);
        else if (code == CELL_LIFT_H) move_horizontal_lift(i);
    }
}

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
