// duck.cpp -- the large duck and its cage (module "duck").  On the early
// levels the duck sits in a cage drawn around it at its start cell; once the
// shell frees it (duck_active = 1) it drifts towards the player one pixel at
// a time on every odd value of its tick, through walls and platforms alike:
// it never looks at the map.  Its position is kept in map pixels.
#include "actors/duck.h"

#include "actors/player.h"
#include "main/shell.h"
#include "map/map.h"
#include "services/bmp.h"
#include "services/draw.h"
#include "services/image.h"
#include "services/screen.h"

static constexpr const char MODULE_NAME[] = "duck";

Table<Image*, 4> duck_images{};
int duck_x = 0, duck_y = 0, duck_start_x = 0, duck_start_y = 0;
int duck_dir = 0, duck_tick = 0, duck_frame = 0;

namespace {

constexpr uint32_t DUCK_FILL = 0xFF64FF64;
constexpr uint32_t CAGE_COLOR = 0xFFCC6600;
constexpr const char DUCK_FILE[] = "gfx\\duck-r2.bmp";

// Draws one box (or, when two corners share a column, a bar) of the cage in
// the foreground colour.  Called by DRAWCAGE.
void cage_line(int x1, int y1, int x2, int y2) {
    CHECK(draw_line(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                    static_cast<float>(y2), LINE_BOX));
}

} // namespace

void DUCK_INIT() {
    PROC("DUCK_INIT");
    for (int i = 0; i < 4; ++i) {
        int err = ERR_NONE;
        duck_images[i] = create_image(64, 64, DUCK_FILL, &err);
        CHECK(err);
        CHECK(load_bitmap(DUCK_FILE, duck_images[i]));
    }
}

void DUCK_SET(int col, int row) {
    PROC("DUCK_SET");
    duck_x = duck_start_x = col * 32;
    duck_y = duck_start_y = row * 32;
}

void DUCK_RESET() {
    PROC("DUCK_RESET");
    duck_x = duck_start_x;
    duck_y = duck_start_y;
}

void DUCK_UPDATE() {
    PROC("DUCK_UPDATE");
    if (duck_tick <= 10) {
        duck_tick += 1;
    } else {
        duck_frame = 1 - duck_frame;
        duck_tick = 0;
    }
    if (duck_active != 1 || duck_tick % 2 == 0) return;

    // One chase step towards the player's sprite, in screen pixels.
    const int target_x = player_x - 16;
    const int target_y = player_y - 24;
    const int sx = duck_x + scroll_x;
    if (sx != target_x) {
        duck_dir = sx > target_x ? -1 : +1;
        duck_x += duck_dir;
    }
    if (duck_y + scroll_y > target_y) duck_y -= 1;
    if (duck_y + scroll_y < target_y) duck_y += 1;
}

void DUCK_DRAW() {
    PROC("DUCK_DRAW");
    const int sx = duck_x + scroll_x;
    const int sy = duck_y + scroll_y;
    const float fx = static_cast<float>(sx);
    const float fy = static_cast<float>(sy);
    if (duck_active == 1) {
        const int slot = duck_dir == +1 ? duck_frame : duck_frame + 2;
        CHECK(put_image(fx, fy, duck_images[slot], BLIT_TRANSPARENT));
    } else {
        CHECK(put_image(fx, fy, duck_images[duck_frame], BLIT_TRANSPARENT));
        DRAWCAGE(sx, sy);
    }
}

void DRAWCAGE(int x, int y) {
    PROC("DRAWCAGE");
    const int a = x - 8;
    const int b = y - 8;
    if (!(-80 < a && a < view_width + 80 && -80 < b && b < view_height + 80)) return;
    CHECK(set_color(CAGE_COLOR, 0, KEEP_BACKGROUND));
    cage_line(a, b, a + 80, b + 80);
    cage_line(a - 1, b - 1, a + 81, b + 81);
    for (int d = 0; d <= 80; d += 16) {
        cage_line(a + d, b, a + d, b + 80);
        cage_line(a + d + 1, b, a + d + 1, b + 80);
    }
}
