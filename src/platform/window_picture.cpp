// window_picture.cpp -- the page, the overlay and the banner as the window
// back-ends show them (window_picture.h).
#include "platform/window_picture.h"

#include "platform/banner.h"
#include "platform/overlay.h"
#include "platform/assists_layer.h"
#include "platform/viewer.h"
#include "platform/window_core.h"
#include "services/screen.h"

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
unsigned g_assists_shown = 0;  // what the assists' layer last drew
ViewerView g_view{};          // the viewer as last looked at
unsigned g_view_shown = 0;    // viewer_view's number for g_view

bool shown(PictureLayer layer) {
    switch (layer) {
    case LAYER_ASSISTS: return assists_layer_shown();
    case LAYER_OVERLAY: return window_paused();
    case LAYER_BANNER: return g_banner_text[0] != '\0';
    case LAYER_VIEWER: return viewer_on();
    case LAYER_COUNT: break;
    }
    return false;
}

// Draws a layer over the picture in pixels, or on its own to blend over it.
void draw_layer(PictureLayer layer, uint32_t* pixels, bool over_picture) {
    if (layer == LAYER_ASSISTS) {
        assists_layer_draw(pixels, SCREEN_WIDTH, over_picture, false);
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
    const unsigned assists = assists_layer_look();
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
