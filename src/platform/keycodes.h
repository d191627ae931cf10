// keymap.h -- the one translation of key input, shared by every back-end.
//
// A back-end names a key by its USB HID usage (SDL scancodes are the same
// numbers; a browser's KeyboardEvent.code string is turned into one by
// keymap_usage_of_code) and the modifier keys held with it.  From there one
// table gives the PC set-1 scan code for the held-key table, and the key
// queue gets what a PC keyboard would type: code page 437 characters, control
// characters, or 255 + 256 * the BIOS extended code of a key that types none.
// Gamepad buttons and stick directions become the arrow keys, Space and
// Escape and take the same path, so a recording cannot tell a pad from keys.
// Everything reaches the game through input_event (platform.h).
//
// Bindings: each action (the game's keys Left, Right, Up, Down, Space, Escape
// and S, and the window's own pause, mute and fullscreen keys) has up to two
// physical keys, and each pad button names the action it stands for.  A key
// bound to a game key reaches the game as that key: its scan code and what it
// queues (pressing A bound to Left holds scan code 75 and queues Left's
// extended code), and the character the physical key would type is dropped.
// A game key bound to nothing, or only to another action, is inert: it holds
// nothing, queues nothing and types nothing.  Every other key behaves as it
// always has, so with the default bindings nothing changes.  The window's
// keys are not handled here: a back-end asks keymap_window_action first and
// keeps those keys from the game.
#pragma once

#include <cstdint>

// A few HID usages by name (the rest are numbers in keymap.cpp's table).
enum KeyUsage {
    USAGE_A = 4, USAGE_Z = 29, USAGE_1 = 30, USAGE_0 = 39,
    USAGE_RETURN = 40, USAGE_ESCAPE = 41, USAGE_BACKSPACE = 42, USAGE_TAB = 43, USAGE_SPACE = 44,
    USAGE_F1 = 58, USAGE_F10 = 67, USAGE_F11 = 68, USAGE_F12 = 69,
    USAGE_INSERT = 73, USAGE_HOME = 74, USAGE_PAGEUP = 75, USAGE_DELETE = 76, USAGE_END = 77,
    USAGE_PAGEDOWN = 78, USAGE_RIGHT = 79, USAGE_LEFT = 80, USAGE_DOWN = 81, USAGE_UP = 82,
    USAGE_KP_ENTER = 88, USAGE_KP_1 = 89, USAGE_KP_9 = 97, USAGE_KP_0 = 98, USAGE_KP_PERIOD = 99,
    USAGE_LCTRL = 224, USAGE_LSHIFT = 225, USAGE_LALT = 226, USAGE_RCTRL = 228, USAGE_RSHIFT = 229,
    USAGE_RALT = 230,
    USAGE_LIMIT = 256, // usages are 0 .. 255
};

// Modifier flags held with a key.
enum { KEYMOD_SHIFT = 1, KEYMOD_CTRL = 2, KEYMOD_ALT = 4, KEYMOD_NUM = 8 };

// --- the tables (pure; tested one by one) ---------------------------------------

// PC set-1 scan code of a key (0 = a key the game does not know).  Keypad
// keys give the scan code of the key they share it with.
int keymap_scan_code(int usage);

// The key a keypad key stands for: with Num Lock off the keypad digits are
// the cursor block; with it on (or for any other key) the key itself.
int keymap_navigation_key(int usage, int mods);

// The BIOS extended code of a key that types no character (0 = none): the
// function keys and the cursor block, with Shift, Ctrl or Alt selecting
// their other codes.  Takes the key after keymap_navigation_key.
int keymap_extended_code(int usage, int mods);

// The queue code a key press adds by itself (0 = none; its character then
// comes as text): Escape 27, Enter 13, Backspace 8, Tab 9, Ctrl+letter 1 to
// 26, else 255 + 256 * extended code.
int keymap_press_code(int usage, int mods);

// Code page 437 value of a Unicode character, -1 if it has none.
int keymap_cp437(uint32_t codepoint);

// The HID usage of a KeyboardEvent.code string ("KeyA", "ArrowLeft",
// "Numpad4", ...), 0 when unknown or null.
int keymap_usage_of_code(const char* code);

// The HID usage of a PC set-1 scan code as Windows reports it with a key
// message (bits 16 to 23 of its lParam, and bit 24, the extended flag),
// 0 when unknown.  The extended flag tells the cursor block from the keypad
// and the right Ctrl and Alt from the left ones.
int keymap_usage_of_scan_code(int scan_code, bool extended);

// --- feeding the game (any back-end thread) -------------------------------------

// A key went down (auto-repeat included) or up.
void keymap_key_down(int usage, int mods);
void keymap_key_up(int usage);
// Typed text (UTF-8): each character with a code page 437 value is queued;
// malformed sequences are skipped.
void keymap_text(const char* utf8);

// --- gamepads ------------------------------------------------------------------

enum { KEYMAP_MAX_PADS = 8 };
// Buttons the game uses; a back-end passes any other button as PAD_OTHER.
enum PadButton {
    PAD_A, PAD_START, PAD_BACK, PAD_DPAD_UP, PAD_DPAD_DOWN, PAD_DPAD_LEFT, PAD_DPAD_RIGHT,
    PAD_B, PAD_X, PAD_Y, PAD_OTHER,
    PAD_BUTTON_COUNT = PAD_OTHER, // the buttons a binding can name
};
enum PadAxis { PAD_LEFT_X, PAD_LEFT_Y, PAD_OTHER_AXIS };
// Stick values run from -32768 to 32767.  A direction is pressed beyond
// PAD_PRESS_AT and released inside PAD_RELEASE_AT, so a stick resting near
// the edge of the dead zone does not chatter.
enum { PAD_PRESS_AT = 16000, PAD_RELEASE_AT = 12000 };

// Pad `pad` (0 .. KEYMAP_MAX_PADS - 1; others are ignored) reports a button
// or a stick axis.  The stick acts as the arrow keys; each button acts as the
// action the bindings give it (by default the D-pad as the arrow keys, A as
// Space, Start as pause, Back as Escape, Y as mute, B and X as nothing).  A key stays held
// while any pad input holds it, and each press queues what the key would
// type.  keymap_pad_button returns the window action (BIND_PAUSE, BIND_MUTE,
// BIND_FULLSCREEN) of a button bound to one that went down, else BIND_NONE;
// the back-end acts on it.
int keymap_pad_button(int pad, int button, bool down);
void keymap_pad_axis(int pad, int axis, int value);
// The action a pad button stands for now (BIND_NONE for none or a button out
// of range), without pressing it.  Called by the browser back-end, whose
// pause menu answers pad buttons.
int keymap_pad_action(int button);
// The pad went away: everything it held is released.
void keymap_pad_removed(int pad);
// Forgets every pad's state and a pending dropped character (focus changes
// and tests).
void keymap_pads_reset();

// --- bindings ------------------------------------------------------------------

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

// The bindings the game has always had: the arrow keys, Space, Escape, S;
// P and Pause, M, F11; the pads as described above.  Called by settings
// defaults, tests and keymap_set_bindings' callers.
void keymap_default_bindings(KeyBindings* out);

// The game key an action stands for (BIND_LEFT -> USAGE_LEFT, ...; 0 for the
// window's actions and out of range).  Called by settings and tests.
int keymap_action_key(int action);

// "left", "right", "up", "down", "space", "escape", "screenshot", "pause",
// "mute", "fullscreen"; "none" for BIND_NONE and anything out of range.
// Called by settings (names in the file) and by the messages here.
const char* keymap_action_name(int action);

// True when the table can be used: no physical key bound to two actions and
// every pad button naming an action or none.  Otherwise false, with a
// one-line message ("KeyA is bound to both left and right") in message.
// Called by keymap_set_bindings, settings and tests.
bool keymap_check_bindings(const KeyBindings& b, char* message, int size);

// Checks the table and makes it the one in use (false with the message from
// keymap_check_bindings, the table in use unchanged).  Keys and buttons held
// across the change are not released: the caller clears held keys as on a
// focus change.  Safe against a back-end thread translating keys meanwhile.
// Called by the program at start-up and when the player changes bindings.
bool keymap_set_bindings(const KeyBindings& b, char* message, int size);

// The window action a key is bound to (BIND_PAUSE, BIND_MUTE,
// BIND_FULLSCREEN) or BIND_NONE.  Called by the back-ends before they pass a
// key to keymap_key_down / keymap_key_up.
int keymap_window_action(int usage);

// The KeyboardEvent.code name of a HID usage (the reverse of
// keymap_usage_of_code), null when it has none.  Called by settings.
const char* keymap_code_of_usage(int usage);

// The name players know a key by: "S", "7", "F11", "Enter", "Space",
// "Escape", "Left arrow", "Page Up", "Keypad 4", "Left Shift", ...; null for
// exactly the keys keymap_code_of_usage cannot name.  Called by the pause
// menu's prompts and messages, and by settings for a file that names keys so.
const char* keymap_key_name(int usage);

// The HID usage of a key name as a settings file may give it: a
// KeyboardEvent.code ("KeyA", "ArrowLeft"), or the name keymap_key_name
// gives in any case ("a", "Left arrow", "keypad 4"), or a short one ("Left",
// "Right", "Up", "Down", "Esc", "Return").  0 when unknown.  *friendly (may
// be null) tells whether it was not a code.  Called by settings.
int keymap_usage_of_name(const char* name, bool* friendly);
