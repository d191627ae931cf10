// keycodes.h -- the key-code tables every back-end shares: what a key is
// called and what it stands for on a PC keyboard.
//
// A back-end names a key by its USB HID usage (SDL scancodes are the same
// numbers; a browser's KeyboardEvent.code string and a Windows scan code are
// turned into one here) and the modifier keys held with it.  From the usage
// these tables give the PC set-1 scan code the held-key table uses, and what a
// PC keyboard would queue: control characters, code page 437 characters, or
// 255 + 256 * the BIOS extended code of a key that types none.  They also name
// the keys, by KeyboardEvent.code and as players know them, for the settings
// file and the pause menu.
//
// Pure: fixed tables, no state; any thread may call them.  The bindings
// (bindings.h) and the live feed (keymap.h) stand on these.
#pragma once

#include <cstdint>

// A few HID usages by name (the rest are numbers in keycodes.cpp's tables).
enum KeyUsage {
    USAGE_A = 4, USAGE_Z = 29, USAGE_1 = 30, USAGE_0 = 39,
    USAGE_M = USAGE_A + ('M' - 'A'), USAGE_P = USAGE_A + ('P' - 'A'), USAGE_S = USAGE_A + ('S' - 'A'),
    USAGE_RETURN = 40, USAGE_ESCAPE = 41, USAGE_BACKSPACE = 42, USAGE_TAB = 43, USAGE_SPACE = 44,
    USAGE_F1 = 58, USAGE_F10 = 67, USAGE_F11 = 68, USAGE_F12 = 69,
    USAGE_PAUSE = 72, USAGE_INSERT = 73, USAGE_HOME = 74, USAGE_PAGEUP = 75, USAGE_DELETE = 76, USAGE_END = 77,
    USAGE_PAGEDOWN = 78, USAGE_RIGHT = 79, USAGE_LEFT = 80, USAGE_DOWN = 81, USAGE_UP = 82,
    USAGE_KP_ENTER = 88, USAGE_KP_1 = 89, USAGE_KP_9 = 97, USAGE_KP_0 = 98, USAGE_KP_PERIOD = 99,
    USAGE_LCTRL = 224, USAGE_LSHIFT = 225, USAGE_LALT = 226, USAGE_RCTRL = 228, USAGE_RSHIFT = 229,
    USAGE_RALT = 230,
    USAGE_LIMIT = 256, // usages are 0 .. 255
};

// Modifier flags held with a key.
enum { KEYMOD_SHIFT = 1, KEYMOD_CTRL = 2, KEYMOD_ALT = 4, KEYMOD_NUM = 8 };

// --- what a key stands for --------------------------------------------------------

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

// --- what a key is called ----------------------------------------------------------

// The HID usage of a KeyboardEvent.code string ("KeyA", "ArrowLeft",
// "Numpad4", ...), 0 when unknown or null.  Called by the browser back-end.
int keymap_usage_of_code(const char* code);

// The HID usage of a PC set-1 scan code as Windows reports it with a key
// message (bits 16 to 23 of its lParam, and bit 24, the extended flag),
// 0 when unknown.  The extended flag tells the cursor block from the keypad
// and the right Ctrl and Alt from the left ones.  Called by the Win32 back-end.
int keymap_usage_of_scan_code(int scan_code, bool extended);

// The KeyboardEvent.code name of a HID usage (the reverse of
// keymap_usage_of_code), null when it has none.  Called by settings and by
// the bindings' messages.
const char* keymap_code_of_usage(int usage);

// The name players know a key by: "S", "7", "F11", "Enter", "Space",
// "Escape", "Left arrow", "Page Up", "Keypad 4", "Left Shift", ...; null for
// exactly the keys keymap_code_of_usage cannot name.  No name holds a comma
// (a settings line lists two keys with one).  Called by the pause menu's
// prompts and messages, and by settings for a file that names keys so.
const char* keymap_key_name(int usage);

// The HID usage of a key name as a settings file may give it: a
// KeyboardEvent.code ("KeyA", "ArrowLeft"), or the name keymap_key_name
// gives in any case ("a", "Left arrow", "keypad 4"), or a short one ("Left",
// "Right", "Up", "Down", "Esc", "Return").  0 when unknown.  *friendly (may
// be null) tells whether it was not a code.  Called by settings.
int keymap_usage_of_name(const char* name, bool* friendly);
