// assists_layer.cpp -- the assists as the presenters show them (assists_layer.h).
#include "platform/assists_layer.h"

#include "platform/run.h"
#include "platform/session.h"
#include "platform/viewer.h"
#include "services/assists.h"
#include "services/game_events.h"
#include "services/text.h"

#include <cstdio>
#include <cstring>

namespace {

enum { WIDTH = 640, HEIGHT = 480, TAG_ROWS = 20 };

char g_tag[80] = "";            // the assists on, as the tag shows them ("" none)
MapSpot g_spots[MAP_SPOTS_MAX]; // the swans and the duck on the overview map
int g_spot_count = 0;

// A colour given as 0xAARRGGBB, in the buffer's order.
uint32_t in_order(uint32_t argb, bool rgba) {
    return rgba ? (argb & 0xFF00FF00u) | ((argb >> 16) & 0xFFu) | ((argb & 0xFFu) << 16) : argb;
}

} // namespace

unsigned assists_layer_look() {
    const AssistSettings a = session_assists();
    const PlayAssists p = session_play_assists();
    char tag[64] = "";
    auto add = [&tag](const char* word) {
        const size_t n = std::strlen(tag);
        std::snprintf(tag + n, sizeof tag - n, " %s", word);
    };
    char speed[8];
    std::snprintf(speed, sizeof speed, "%d%%", a.game_speed);
    if (a.game_speed != 100) add(speed);
    if (p.ladder_help) add("ladder");
    if (p.lives != 0) add(p.lives == ASSIST_LIVES_UNLIMITED ? "lives \xEC" : p.lives == 5 ? "lives 5" : "lives 9"); // 0xEC: infinity
    if (a.enemies_on_map) add("map");
    // Watching a recording, its own assists are the play's, not these.
    const bool show = tag[0] != '\0' && !viewer_on();
    std::snprintf(g_tag, sizeof g_tag, "%s%s", show ? "Assists:" : "", show ? tag : "");
    unsigned stamp = 0;
    g_spot_count = show && a.enemies_on_map ? run_map_spots(g_spots, MAP_SPOTS_MAX, &stamp) : 0;
    unsigned h = 2166136261u ^ stamp;
    for (const char* c = g_tag; *c; ++c) h = (h ^ static_cast<uint8_t>(*c)) * 16777619u;
    return (h ^ static_cast<unsigned>(g_spot_count)) | 1u;
}

bool assists_layer_shown() { return g_tag[0] != '\0'; }

void assists_layer_rows(int* first, int* last) {
    *first = HEIGHT;
    *last = -1;
    if (!assists_layer_shown()) return;
    *first = HEIGHT - TAG_ROWS;
    *last = HEIGHT - 1;
    for (int i = 0; i < g_spot_count; ++i) {
        if (g_spots[i].y < *first) *first = g_spots[i].y < 0 ? 0 : g_spots[i].y;
    }
}

void assists_layer_draw(uint32_t* pixels, int pitch, bool over_picture, bool rgba) {
    if (!over_picture)
        for (int y = 0; y < HEIGHT; ++y) std::memset(pixels + static_cast<long>(y) * pitch, 0, WIDTH * 4);
    if (!assists_layer_shown()) return;
    const int n = static_cast<int>(std::strlen(g_tag));
    const int x0 = WIDTH - 8 * n - 6, y0 = HEIGHT - TAG_ROWS;
    for (int y = y0; y < HEIGHT; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * pitch;
        for (int x = x0 - 2 < 0 ? 0 : x0 - 2; x < WIDTH; ++x)
            row[x] = over_picture ? 0xFF000000u | ((row[x] >> 2) & 0x003F3F3Fu) : 0xE0000000u;
    }
    const uint32_t grey = in_order(0xFFC0C0C0u, rgba);
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(g_tag[i]));
        for (int r = 0; r < 16; ++r)
            for (int bit = 0; bit < 8; ++bit)
                if (glyph[r] & (0x80 >> bit)) pixels[static_cast<long>(y0 + 2 + r) * pitch + x0 + 8 * i + bit] = grey;
    }
    // A dot of 3 x 3 pixels at each swan (white) and the duck (orange).
    for (int i = 0; i < g_spot_count; ++i) {
        const uint32_t colour = in_order(g_spots[i].duck ? 0xFFFF8000u : 0xFFFFFFFFu, rgba);
        for (int dy = 0; dy < 3; ++dy)
            for (int dx = 0; dx < 3; ++dx) {
                const int x = g_spots[i].x + dx, y = g_spots[i].y + dy;
                if (x >= 0 && x < WIDTH && y >= 0 && y < HEIGHT) pixels[static_cast<long>(y) * pitch + x] = colour;
            }
    }
}
