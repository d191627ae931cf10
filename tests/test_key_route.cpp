// test_key_route.cpp -- where the window back-ends send each key, played as a
// back-end plays it (key_route, then the pause menu for ROUTE_MENU): every
// press of a window key acts once, playing or paused, and the game sees only
// its own keys and every release.
#include "platform/key_route.h"
#include "platform/bindings.h"
#include "platform/overlay.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A back-end in miniature: what each key did, as a log.
struct Window {
    bool paused = false;
    std::string log;
    void key(int usage, bool down, bool repeat = false, int mods = 0) {
        switch (key_route(usage, down, repeat, mods, paused)) {
        case ROUTE_GAME: log += down ? "game-down " : "game-up "; break;
        case ROUTE_FULLSCREEN: log += "fullscreen "; break;
        case ROUTE_MUTE: log += "mute "; break;
        case ROUTE_PAUSE: paused = true, pause_menu_open(), log += "pause "; break;
        case ROUTE_MENU:
            switch (pause_menu_key(usage)) {
            case PAUSE_RESUME: paused = false, log += "resume "; break;
            case PAUSE_MUTE: log += "mute "; break;
            case PAUSE_FULLSCREEN: log += "fullscreen "; break;
            case PAUSE_QUIT: log += "quit "; break;
            case PAUSE_STAY: log += "menu "; break;
            }
            break;
        case ROUTE_NONE: break;
        }
    }
    void tap(int usage, int mods = 0) { key(usage, true, false, mods), key(usage, true, true, mods), key(usage, false, false, mods); }
};

} // namespace

TEST(KeyRoute, WindowKeysActOncePlayingAndPaused) {
    KeyBindings b;
    keymap_default_bindings(&b);
    char message[128];
    ASSERT_TRUE(keymap_set_bindings(b, message, sizeof message)) << message;
    key_route_reset();
    Window w;
    w.tap(USAGE_F11);
    w.tap(USAGE_RIGHT);
    w.tap(USAGE_A + ('M' - 'A'));
    w.tap(USAGE_A + ('P' - 'A'));
    EXPECT_EQ(w.log, "fullscreen game-down game-down game-up mute pause ");
    ASSERT_TRUE(w.paused);

    w.log.clear();
    w.tap(USAGE_F11); // once, not on and off again
    w.tap(USAGE_A + ('M' - 'A'));
    w.tap(USAGE_RIGHT); // the menu's; only its release reaches the game
    w.key(USAGE_RETURN, true, false, KEYMOD_ALT);
    w.key(USAGE_RETURN, true, true); // Alt let go, Enter still held
    w.key(USAGE_RETURN, false);
    w.tap(USAGE_A + ('P' - 'A'));
    EXPECT_EQ(w.log, "fullscreen mute menu game-up fullscreen resume ");
    EXPECT_FALSE(w.paused);
}
