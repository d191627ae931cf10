// win32_keys.cpp -- Windows' key and character messages in the window core's
// terms (win32_keys.h).
#include "platform/win32_keys.h"

#include "platform/keymap.h"

namespace {

unsigned g_high = 0; // the first half of a surrogate pair, until its second

// UTF-8 of code point c into out; returns the bytes written.
int utf8(unsigned c, char* out) {
    if (c < 0x80) return out[0] = static_cast<char>(c), 1;
    int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = n - 1; i > 0; --i, c >>= 6) out[i] = static_cast<char>(0x80 | (c & 0x3F));
    out[0] = static_cast<char>(kLead[n] | c);
    return n;
}

} // namespace

bool win32_key(unsigned vk, int64_t lp, bool down, int (*key_state)(int vk), Win32Key* out) {
    int usage = 0;
    switch (vk) {
    case WIN32_VK_PAUSE: usage = 72; break;
    case WIN32_VK_NUMLOCK: usage = 83; break;
    case WIN32_VK_SNAPSHOT: usage = 70; break;
    default: usage = keymap_usage_of_scan_code(static_cast<int>((lp >> 16) & 0xFF), ((lp >> 24) & 1) != 0);
    }
    if (usage == 0) return false;
    const auto held = [&](int key) { return (key_state(key) & 0x8000) != 0; };
    out->usage = usage;
    out->down = down;
    out->repeat = down && ((lp >> 30) & 1) != 0;
    out->mods = (held(WIN32_VK_SHIFT) ? KEYMOD_SHIFT : 0) | (held(WIN32_VK_CONTROL) ? KEYMOD_CTRL : 0) |
                (held(WIN32_VK_MENU) ? KEYMOD_ALT : 0) | ((key_state(WIN32_VK_NUMLOCK) & 1) ? KEYMOD_NUM : 0);
    return true;
}

bool win32_char(unsigned unit, char out[8]) {
    unsigned c = unit;
    if (unit >= 0xD800 && unit < 0xDC00) {
        g_high = unit;
        return false;
    }
    if (unit >= 0xDC00 && unit < 0xE000) {
        if (g_high == 0) return false;
        c = 0x10000 + ((g_high - 0xD800) << 10) + (unit - 0xDC00);
    }
    g_high = 0;
    if (c < 32 || c == 127) return false;
    out[utf8(c, out)] = '\0';
    return true;
}
