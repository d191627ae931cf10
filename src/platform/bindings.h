// bindings.h -- which physical keys and pad buttons stand for which action.
//
// Each action (the game's keys Left, Right, Up, Down, Space, Escape and S, and
// the window's own pause, mute and fullscreen keys) has up to two physical
// keys, and each pad button names the action it stands for.  A key bound to a
// game key reaches the game as that key (the live feed, keymap.h, asks
// keymap_game_key); a game key bound to nothing, or only to another action, is
// inert.  Every other key behaves as it always has, so with the default
// bindings nothing changes.  The window's keys are not the feed's: a back-end
// asks keymap_window_action first and keeps those keys from the game.
//
// Owns the bindings in use: one byte per key and per pad button, written by
// keymap_set_bindings and read by any thread (relaxed atomics), and right
// before anything is set (zero means "as by default").
#pragma once

#include "platform/keycodes.h"

// Buttons the game uses; a back-end passes any other button as PAD_OTHER.
enum PadButton {
    PAD_A, PAD_START, PAD_BACK, PAD_DPAD_UP, PAD_DPAD_DOWN, PAD_DPAD_LEFT, PAD_DPAD_RIGHT,
    PAD_B, PAD_X, PAD_Y, PAD_OTHER,
    PAD_BUTTON_COUNT = PAD_OTHER, // the buttons a binding can name
};

// What a key or pad button can stand for.  The game's keys come first.
enum BindAction {
    BIND_NONE = -1,
    BIND_LEFT, BIND_RIGHT, BIND_UP, BIND_DOWN, BIND_SPACE, BIND_ESCAPE, BIND_SCREENSHOT,
    BIND_PAUSE, BIND_MUTE, BIND_FULLSCREEN,
    BIND_COUNT,
    BIND_GAME_COUNT = BIND_PAUSE, // actions below this are game keys
};
enum { BIND_KEYS = 2, BIND_MESSAGE_CHARS = 160 };

// The whole table: up to two HID usages per action (0 = none; duplicates
// within one action count once) and the action of each pad button.
struct KeyBindings {
    unsigned char keys[BIND_COUNT][BIND_KEYS];
    signed char pad[PAD_BUTTON_COUNT]; // a BindAction, BIND_NONE = the button does nothing
};

// --- the table as data (pure) ------------------------------------------------------

// The bindings the game has always had: the arrow keys, Space, Escape, S;
// P and Pause, M, F11; the D-pad as the arrow keys, A as Space, Start as
// pause, Back as Escape, Y as mute, B and X as nothing.  Called by settings
// defaults, the session, tests and keymap_set_bindings' callers.
void keymap_default_bindings(KeyBindings* out);

// The game key an action stands for (BIND_LEFT -> USAGE_LEFT, ...; 0 for the
// window's actions and out of range).  Called by the live feed, settings and
// tests.
int keymap_action_key(int action);

// "left", "right", "up", "down", "space", "escape", "screenshot", "pause",
// "mute", "fullscreen"; "none" for BIND_NONE and anything out of range.
// Called by settings (names in the file), the pause menu and the messages here.
const char* keymap_action_name(int action);

// True when the table can be used: no physical key bound to two actions and
// every pad button naming an action or none.  Otherwise false, with a
// one-line message ("KeyA is bound to both left and right") in message.
// Called by keymap_set_bindings, settings and tests.
bool keymap_check_bindings(const KeyBindings& b, char* message, int size);

// --- the table in use ----------------------------------------------------------------

// Checks the table and makes it the one in use (false with the message from
// keymap_check_bindings, the table in use unchanged).  Keys and buttons held
// across the change are not released: the caller clears held keys as on a
// focus change.  Safe against a back-end thread translating keys meanwhile.
// Called by the program at start-up and when the player changes bindings.
bool keymap_set_bindings(const KeyBindings& b, char* message, int size);

// The game key a key stands for now: the key itself (every key with no game
// role, and every key by default), the game key of the action it is bound to
// (USAGE_LEFT for A bound to left), or 0 when it is inert (a game key bound
// away from its action).  Called by the live feed on the input thread.
int keymap_game_key(int usage);

// The window action a key is bound to (BIND_PAUSE, BIND_MUTE,
// BIND_FULLSCREEN) or BIND_NONE.  Called by the back-ends and the key route
// before they pass a key to keymap_key_down / keymap_key_up.
int keymap_window_action(int usage);

// The action a pad button stands for now (BIND_NONE for none or a button out
// of range).  Called by the live feed, and by the browser back-end, whose
// pause menu answers pad buttons.
int keymap_pad_action(int button);
