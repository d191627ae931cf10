// window_picture.cpp -- the page, the overlay and the banner as the window
// back-ends show them (window_picture.h).
#include "platform/window_picture.h"

#include "platform/banner.h"
#include "platform/overlay.h"
#include "platform/run.h"
#include "platform/session.h"
#include "platform/viewer.h"
#include "platform/window_core.h"
#include "services/screen.h"
#include "services/text.h"

#include <cstdio>

#include <cstring>
#include <initializer_list>

namespace {

alignas(64) uint32_t g_page[SCREEN_WIDTH * SCREEN_HEIGHT];     // the page as last taken
alignas(64) uint32_t g_composed[SCREEN_WIDTH * SCREEN_HEIGHT]; // the page under the overlay
alignas(64) uint32_t g_layers[LAYER_COUNT][SCREEN_WIDTH * SCREEN_HEIGHT];
bool g_have_page = false;
bool g_layer_stale[LAYER_COUNT] = {true, true, true, true};
char g_banner_text[BANNER_CHARS] = "";
unsigned g_banner_shown = 0; // banner_current's number for g_banner_text
char g_assist_tag[80] = "";   // the assists on, as the tag shows them ("" none)
MapSpot g_spots[MAP_SPOTS_MAX]; // the swans and the duck to show on the overview map
int g_spot_count = 0;
unsigned g_assists_shown = 0;  // what the assists' layer last drew
ViewerView g_view{};          // the viewer as last looked at
unsigned g_view_shown = 0;    // viewer_view's number for g_view

bool shown(PictureLayer layer) {
    switch (layer) {
    case LAYER_ASSISTS: return g_assist_tag[0] != '\0';
    case LAYER_OVERLAY: return window_paused();
    case LAYER_BANNER: return g_banner_text[0] != '\0';
    case LAYER_VIEWER: return viewer_on();
    case LAYER_COUNT: break;
    }
    return false;
}

// The assists on, as the tag names them, and the swans and the duck when
// they are to be shown; a number that changes with what is drawn.
unsigned look_at_assists() {
    const AssistSettings a = session_assists();
    const PlayAssists p = session_play_assists();
    char tag[64] = "";
    if (a.game_speed != 100) std::snprintf(tag, sizeof tag, " %d%%", a.game_speed);
    if (p.ladder_help) std::snprintf(tag + std::strlen(tag), sizeof tag - std::strlen(tag), " ladder");
    if (p.lives != 0) std::snprintf(tag + std::strlen(tag), sizeof tag - std::strlen(tag), " lives %s",
                                    p.lives == ASSIST_LIVES_UNLIMITED ? "\xEC" : p.lives == 5 ? "5" : "9"); // 0xEC: infinity
    if (a.enemies_on_map) std::snprintf(tag + std::strlen(tag), sizeof tag - std::strlen(tag), " map");
    // Watching a recording, its own assists are the play's, not these.
    std::snprintf(g_assist_tag, sizeof g_assist_tag, "%s%s", tag[0] && !viewer_on() ? "Assists:" : "",
                  viewer_on() ? "" : tag);
    unsigned stamp = 0;
    g_spot_count = a.enemies_on_map ? run_map_spots(g_spots, MAP_SPOTS_MAX, &stamp) : 0;
    unsigned h = 2166136261u ^ stamp;
    for (const char* c = g_assist_tag; *c; ++c) h = (h ^ static_cast<uint8_t>(*c)) * 16777619u;
    return (h ^ static_cast<unsigned>(g_spot_count)) | 1u;
}

// The tag at the picture's bottom right on a dark box, and a dot of 3 x 3
// pixels at each swan (white) and the duck (orange) on the overview map.
void draw_assists(uint32_t* pixels, bool over_picture) {
    if (!over_picture) std::memset(pixels, 0, sizeof(uint32_t) * SCREEN_WIDTH * SCREEN_HEIGHT);
    const int n = static_cast<int>(std::strlen(g_assist_tag));
    const int x0 = SCREEN_WIDTH - 8 * n - 6, y0 = SCREEN_HEIGHT - 20;
    for (int y = y0; y < SCREEN_HEIGHT; ++y)
        for (int x = x0 - 2 < 0 ? 0 : x0 - 2; x < SCREEN_WIDTH; ++x) pixels[y * SCREEN_WIDTH + x] = 0xE0000000u;
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(g_assist_tag[i]));
        for (int r = 0; r < 16; ++r)
            for (int bit = 0; bit < 8; ++bit)
                if (glyph[r] & (0x80 >> bit)) pixels[(y0 + 2 + r) * SCREEN_WIDTH + x0 + 8 * i + bit] = 0xFFC0C0C0u;
    }
    for (int i = 0; i < g_spot_count; ++i)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = g_spots[i].x + 1 + dx, y = g_spots[i].y + 1 + dy;
                if (x >= 0 && x < SCREEN_WIDTH && y >= 0 && y < SCREEN_HEIGHT)
                    pixels[y * SCREEN_WIDTH + x] = g_spots[i].duck ? 0xFFFF8000u : 0xFFFFFFFFu;
            }
}

// Draws a layer over the picture in pixels, or on its own to blend over it.
void draw_layer(PictureLayer layer, uint32_t* pixels, bool over_picture) {
    if (layer == LAYER_ASSISTS) {
        draw_assists(pixels, over_picture);
        return;
    }
    if (layer == LAYER_BANNER) {
        banner_draw(pixels, SCREEN_WIDTH, g_banner_text, over_picture);
        return;
    }
    if (layer == LAYER_VIEWER) {
        viewer_draw(pixels, SCREEN_WIDTH, g_view, over_picture);
        return;
    }
    OverlayText text;
    pause_menu_text(&text);
    overlay_draw(pixels, SCREEN_WIDTH, text, over_picture);
}

} // namespace

void picture_reset() { g_have_page = false; }

bool picture_update(bool force, bool all, int* first, int* last) {
    *first = 0;
    *last = -1;
    if (window_closing()) return false;
    const long long now = banner_clock_ms();
    const unsigned banner = banner_current(g_banner_text, now);
    if (banner != g_banner_shown) {
        g_banner_shown = banner;
        g_layer_stale[LAYER_BANNER] = true;
        force = true;
    }
    const unsigned assists = look_at_assists();
    if (assists != g_assists_shown) {
        g_assists_shown = assists;
        g_layer_stale[LAYER_ASSISTS] = true;
        force = true;
    }
    const unsigned view = viewer_on() ? viewer_view(&g_view, now) : 0;
    if (view != g_view_shown) {
        g_view_shown = view;
        g_layer_stale[LAYER_VIEWER] = true;
        force = true;
    }
    window_take_page(g_page, all || !g_have_page, first, last);
    if (window_closing()) return false;
    if (*first <= *last) g_have_page = true;
    return *first <= *last || force;
}

const uint32_t* picture_page() { return g_have_page ? g_page : nullptr; }

const uint32_t* picture_composed() {
    if (!g_have_page) return nullptr;
    if (!shown(LAYER_ASSISTS) && !shown(LAYER_OVERLAY) && !shown(LAYER_BANNER) && !shown(LAYER_VIEWER)) return g_page;
    std::memcpy(g_composed, g_page, sizeof g_composed);
    for (const PictureLayer layer : {LAYER_ASSISTS, LAYER_OVERLAY, LAYER_BANNER, LAYER_VIEWER})
        if (shown(layer)) draw_layer(layer, g_composed, true);
    return g_composed;
}

const uint32_t* picture_layer(PictureLayer layer, bool* changed) {
    *changed = false;
    if (!shown(layer)) return nullptr;
    if (g_layer_stale[layer]) {
        draw_layer(layer, g_layers[layer], false);
        g_layer_stale[layer] = false;
        *changed = true;
    }
    return g_layers[layer];
}

void picture_overlay_changed() { g_layer_stale[LAYER_OVERLAY] = true; }
