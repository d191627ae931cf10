// win32_keys.h -- Windows' key and character messages as the window core
// sees them: a WM_KEYDOWN / WM_KEYUP (or WM_SYS...) becomes a HID usage, a
// repeat flag and the modifier flags for window_key, so a key goes through
// the one routing rule (key_route.h) as on every back-end; WM_CHAR's UTF-16
// units become UTF-8 text.  Plain numbers, no <windows.h>: the Windows build
// and the tests on any system compile it.
#pragma once

#include <cstdint>

// The virtual keys read here (the values of Windows' VK_* names).
enum {
    WIN32_VK_SHIFT = 0x10, WIN32_VK_CONTROL = 0x11, WIN32_VK_MENU = 0x12, WIN32_VK_PAUSE = 0x13,
    WIN32_VK_SNAPSHOT = 0x2C, WIN32_VK_NUMLOCK = 0x90,
};

// A key message as the routing takes it.
struct Win32Key {
    int usage;   // HID usage
    bool down;
    bool repeat; // an auto-repeated press
    int mods;    // KEYMOD_*
};

// The key message with virtual key vk and lParam lp (repeat count, the set-1
// scan code in bits 16-23, the extended flag in bit 24, the previous state
// in bit 30); key_state(vk) is GetKeyState's answer for the modifiers.
// False for a key with no HID usage.  Pause and Num Lock share a scan code:
// their virtual keys tell them apart.
bool win32_key(unsigned vk, int64_t lp, bool down, int (*key_state)(int vk), Win32Key* out);

// One WM_CHAR unit: true with the character's UTF-8 (NUL-ended) in out once
// it is whole; a surrogate pair's first half waits for its second.  Control
// characters give nothing (they come from their keys' presses).
bool win32_char(unsigned unit, char out[8]);
