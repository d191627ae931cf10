// test_key_route.cpp -- where the window back-ends send each key, played as a
// back-end plays it (key_route, then the pause menu for ROUTE_MENU): every
// press of a window key acts once, playing or paused, and the game sees only
// its own keys and every release.  Windows' key messages (win32_keys.h) go
// through the same rule: the virtual key, scan code and flags they carry
// become the usage and modifiers every back-end routes.
#include "platform/key_route.h"
#include "platform/bindings.h"
#include "platform/overlay.h"
#include "platform/win32_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
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
            case PAUSE_PRACTICE: paused = false, log += "practice "; break;
            case PAUSE_EDITOR: paused = false, log += "editor "; break;
            case PAUSE_STAY: log += "menu "; break;
            }
            break;
        case ROUTE_NONE: break;
        }
    }
    void tap(int usage, int mods = 0) { key(usage, true, false, mods), key(usage, true, true, mods), key(usage, false, false, mods); }
    // A Windows key message, as win32_window.cpp passes it on.
    void message(unsigned vk, int64_t lp, bool down);
};

// GetKeyState as the test sets it: 0x8000 held, 1 toggled on.
int g_key_state[256];
int key_state(int vk) { return g_key_state[vk & 0xFF]; }

// A key message's lParam: one press, the set-1 scan code, the extended flag,
// bit 30 (the key was down already: set on every release and auto-repeat).
int64_t lparam(int scan, bool extended = false, bool was_down = false) {
    return 1 | (int64_t{scan} << 16) | (int64_t{extended} << 24) | (int64_t{was_down} << 30);
}

void Window::message(unsigned vk, int64_t lp, bool down) {
    Win32Key k;
    if (win32_key(vk, lp, down, key_state, &k)) key(k.usage, k.down, k.repeat, k.mods);
    else log += "none ";
}

// A tap of a key by its messages: press, auto-repeat, release.
void tap_message(Window& w, unsigned vk, int scan, bool extended = false) {
    w.message(vk, lparam(scan, extended), true);
    w.message(vk, lparam(scan, extended, true), true);
    w.message(vk, lparam(scan, extended, true), false);
}

std::string utf8_of(std::initializer_list<unsigned> units) {
    std::string out;
    char text[8];
    for (unsigned u : units) out += win32_char(u, text) ? std::string(text) + "|" : "-|";
    return out;
}

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

TEST(KeyRoute, Win32MessagesBecomeUsagesAndModifiers) {
    std::fill(std::begin(g_key_state), std::end(g_key_state), 0);
    const struct { unsigned vk; int scan; bool extended; int usage; } cases[] = {
        {0x26, 0x48, true, USAGE_UP},        {0x68, 0x48, false, 96},          // Up arrow / keypad 8
        {0x25, 0x4B, true, USAGE_LEFT},      {0x64, 0x4B, false, 92},          // Left arrow / keypad 4
        {0x0D, 0x1C, false, USAGE_RETURN},   {0x0D, 0x1C, true, USAGE_KP_ENTER},
        {0x13, 0x45, false, 72},             {0x90, 0x45, true, 83},           // Pause / Num Lock
        {0x2C, 0x37, true, 70},              {0x7A, 0x57, false, USAGE_F11},   // Print Screen / F11
        {'P', 0x19, false, USAGE_A + 15},    {0x1B, 0x01, false, USAGE_ESCAPE},
    };
    for (const auto& c : cases) {
        Win32Key k{};
        ASSERT_TRUE(win32_key(c.vk, lparam(c.scan, c.extended), true, key_state, &k)) << c.vk;
        EXPECT_EQ(k.usage, c.usage) << "vk " << c.vk << " scan " << c.scan;
    }
    Win32Key k{};
    EXPECT_FALSE(win32_key(0xFF, lparam(0), true, key_state, &k)); // no scan code: no key

    // Bit 30 makes a press a repeat; a release has it always and is none.
    ASSERT_TRUE(win32_key('P', lparam(0x19, false, true), true, key_state, &k));
    EXPECT_TRUE(k.repeat);
    ASSERT_TRUE(win32_key('P', lparam(0x19, false, true), false, key_state, &k));
    EXPECT_FALSE(k.repeat);
    EXPECT_FALSE(k.down);

    // Held modifiers by their high bit; Num Lock by its toggle, not held.
    g_key_state[WIN32_VK_SHIFT] = g_key_state[WIN32_VK_MENU] = 0x8000 | 1;
    g_key_state[WIN32_VK_CONTROL] = 1;
    g_key_state[WIN32_VK_NUMLOCK] = 0x8000;
    ASSERT_TRUE(win32_key('P', lparam(0x19), true, key_state, &k));
    EXPECT_EQ(k.mods, KEYMOD_SHIFT | KEYMOD_ALT);
    g_key_state[WIN32_VK_NUMLOCK] = 1;
    ASSERT_TRUE(win32_key('P', lparam(0x19), true, key_state, &k));
    EXPECT_EQ(k.mods, KEYMOD_SHIFT | KEYMOD_ALT | KEYMOD_NUM);
}

TEST(KeyRoute, Win32MessagesRouteAsEveryWindowKey) {
    KeyBindings b;
    keymap_default_bindings(&b);
    char message[128];
    ASSERT_TRUE(keymap_set_bindings(b, message, sizeof message)) << message;
    key_route_reset();
    std::fill(std::begin(g_key_state), std::end(g_key_state), 0);
    Window w;
    tap_message(w, 0x7A, 0x57);       // F11
    tap_message(w, 0x27, 0x4D, true); // the Right arrow reaches the game
    tap_message(w, 'P', 0x19);
    EXPECT_EQ(w.log, "fullscreen game-down game-down game-up pause ");
    ASSERT_TRUE(w.paused);

    w.log.clear();
    tap_message(w, 0x7A, 0x57); // F11 while paused: once
    g_key_state[WIN32_VK_MENU] = 0x8000;
    w.message(0x0D, lparam(0x1C), true); // Alt+Enter
    g_key_state[WIN32_VK_MENU] = 0;
    w.message(0x0D, lparam(0x1C, false, true), true);
    w.message(0x0D, lparam(0x1C, false, true), false);
    tap_message(w, 'P', 0x19);
    w.message(0xFF, lparam(0), true);
    EXPECT_EQ(w.log, "fullscreen fullscreen resume none ");
    EXPECT_FALSE(w.paused);
}

TEST(KeyRoute, Win32CharactersBecomeUtf8) {
    EXPECT_EQ(utf8_of({'a', 0xE9, 0x20AC}), "a|\xC3\xA9|\xE2\x82\xAC|");
    EXPECT_EQ(utf8_of({0xD83D, 0xDE00}), "-|\xF0\x9F\x98\x80|"); // a pair: one character
    EXPECT_EQ(utf8_of({0xDE00, 13, 127, 0xD83D, 'b'}), "-|-|-|-|b|"); // lone halves and controls: none
}
