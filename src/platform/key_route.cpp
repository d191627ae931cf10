// key_route.cpp -- the one key routing rule of the window back-ends.
#include "platform/key_route.h"

#include "platform/bindings.h"
#include "services/keyboard.h"

namespace {

bool g_enter_held[2] = {}; // Enter / keypad Enter went down as Alt+Enter

} // namespace

KeyRoute key_route(int usage, bool down, bool repeat, int mods, bool paused) {
    const int enter = usage == USAGE_RETURN ? 0 : usage == USAGE_KP_ENTER ? 1 : -1;
    const int action = keymap_window_action(usage);
    const bool window_action = action == BIND_FULLSCREEN || action == BIND_MUTE || action == BIND_PAUSE;
    // A form's field takes the letters and digits, even one bound to pause or mute.
    const bool typed = keyboard_text_wanted() && usage >= USAGE_A && usage <= USAGE_0;
    if (!down) {
        if (enter >= 0 && g_enter_held[enter]) {
            g_enter_held[enter] = false;
            return ROUTE_NONE;
        }
        // Let-go game keys always reach the key map, so nothing stays held.
        return window_action && !typed ? ROUTE_NONE : ROUTE_GAME;
    }
    if (enter >= 0 && g_enter_held[enter]) return ROUTE_NONE; // Alt+Enter's auto-repeat
    if (enter >= 0 && (mods & KEYMOD_ALT)) {
        g_enter_held[enter] = true;
        return repeat ? ROUTE_NONE : ROUTE_FULLSCREEN;
    }
    if (paused) return repeat ? ROUTE_NONE : ROUTE_MENU;
    if (!window_action) return ROUTE_GAME;
    if (typed) return ROUTE_GAME;
    if (repeat) return ROUTE_NONE;
    return action == BIND_FULLSCREEN ? ROUTE_FULLSCREEN : action == BIND_MUTE ? ROUTE_MUTE : ROUTE_PAUSE;
}

void key_route_reset() { g_enter_held[0] = g_enter_held[1] = false; }
