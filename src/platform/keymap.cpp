// keymap.cpp -- the live feed: keys, text and gamepads into input_event,
// through the key-code tables and the bindings in use.
#include "platform/keymap.h"

#include "platform/run.h"

#include <cstdint>

namespace {

// Set by a key that stands for another or is inert: the text event that
// follows its key-down is the physical key's own character and is dropped.
bool g_drop_text = false;

// What a press of the game key `key` queues with mods held when another key
// stands for it: its own code, or the character it types (Space and S type
// theirs as text).
int game_key_press_code(int key, int mods) {
    const int code = keymap_press_code(key, mods);
    if (code != 0 || (mods & (KEYMOD_CTRL | KEYMOD_ALT))) return code;
    if (key == USAGE_SPACE) return ' ';
    if (key == USAGE_S) return (mods & KEYMOD_SHIFT) ? 'S' : 's';
    return 0;
}

// --- gamepads ---
// Each pad holds a set of sources: bit b for button b, and the stick's four
// directions.  A game key is held while any pad's set holds one of its
// sources.
enum PadSource {
    SRC_STICK_UP = 1 << 16, SRC_STICK_DOWN = 1 << 17, SRC_STICK_LEFT = 1 << 18, SRC_STICK_RIGHT = 1 << 19,
};
static_assert(PAD_BUTTON_COUNT <= 16, "pad buttons overlap the stick's sources");
// The order a pad's changes reach the game in.
constexpr int kPadOrder[] = {BIND_UP, BIND_DOWN, BIND_LEFT, BIND_RIGHT, BIND_SPACE, BIND_ESCAPE, BIND_SCREENSHOT};
unsigned g_pad[KEYMAP_MAX_PADS];

unsigned all_pads() {
    unsigned all = 0;
    for (unsigned s : g_pad) all |= s;
    return all;
}

unsigned sources_of(int action) {
    unsigned s = action == BIND_UP     ? SRC_STICK_UP
                 : action == BIND_DOWN ? SRC_STICK_DOWN
                 : action == BIND_LEFT ? SRC_STICK_LEFT
                 : action == BIND_RIGHT ? SRC_STICK_RIGHT
                                        : 0;
    for (int b = 0; b < PAD_BUTTON_COUNT; ++b)
        if (keymap_pad_action(b) == action) s |= 1u << b;
    return s;
}

// Sets pad's sources to `now` and reports the game keys that changed.
void set_pad(int pad, unsigned now) {
    if (pad < 0 || pad >= KEYMAP_MAX_PADS) return;
    const unsigned before = all_pads();
    g_pad[pad] = now;
    const unsigned after = all_pads();
    for (const int action : kPadOrder) {
        const unsigned sources = sources_of(action);
        const bool was = (before & sources) != 0, is = (after & sources) != 0;
        const int key = keymap_action_key(action);
        const int scan = keymap_scan_code(key);
        if (is && !was) {
            input_event(INPUT_KEY_DOWN, scan);
            input_event(INPUT_QUEUE, game_key_press_code(key, 0));
        } else if (was && !is) {
            input_event(INPUT_KEY_UP, scan);
        }
    }
}

// The stick sources of one axis after a new value, with hysteresis.
unsigned stick(unsigned held, int value, unsigned negative, unsigned positive) {
    const unsigned mask = negative | positive;
    unsigned now = held & mask;
    if (value <= -PAD_PRESS_AT) now = negative;
    else if (value >= PAD_PRESS_AT) now = positive;
    else if (value > -PAD_RELEASE_AT && value < PAD_RELEASE_AT) now = 0;
    return (held & ~mask) | now;
}

} // namespace

void keymap_key_down(int usage, int mods) {
    const int key = keymap_game_key(usage); // 0 for an inert key: it holds and queues nothing
    g_drop_text = key != usage;
    const int scan = keymap_scan_code(key);
    if (scan > 0) input_event(INPUT_KEY_DOWN, scan);
    const int code = key == usage ? keymap_press_code(usage, mods) : game_key_press_code(key, mods);
    if (code > 0) input_event(INPUT_QUEUE, code);
}

void keymap_key_up(int usage) {
    const int scan = keymap_scan_code(keymap_game_key(usage));
    if (scan > 0) input_event(INPUT_KEY_UP, scan);
}

void keymap_text(const char* utf8) {
    if (utf8 == nullptr) return;
    if (g_drop_text) {
        g_drop_text = false;
        return;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) { cp = *p; extra = 0; }
        else if ((*p & 0xE0) == 0xC0) { cp = *p & 0x1F; extra = 1; }
        else if ((*p & 0xF0) == 0xE0) { cp = *p & 0x0F; extra = 2; }
        else if ((*p & 0xF8) == 0xF0) { cp = *p & 0x07; extra = 3; }
        else { ++p; continue; }
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (*p & 0x3F);
        }
        if (!ok) continue;
        const int c = keymap_cp437(cp);
        if (c >= 0) input_event(INPUT_QUEUE, c);
    }
}

int keymap_pad_button(int pad, int button, bool down) {
    if (pad < 0 || pad >= KEYMAP_MAX_PADS || button < 0 || button >= PAD_BUTTON_COUNT) return BIND_NONE;
    const unsigned bit = 1u << button;
    const bool was = (g_pad[pad] & bit) != 0;
    set_pad(pad, down ? g_pad[pad] | bit : g_pad[pad] & ~bit);
    const int action = keymap_pad_action(button);
    return down && !was && action >= BIND_GAME_COUNT ? action : BIND_NONE;
}

void keymap_pad_axis(int pad, int axis, int value) {
    if (pad < 0 || pad >= KEYMAP_MAX_PADS) return;
    if (axis == PAD_LEFT_X) set_pad(pad, stick(g_pad[pad], value, SRC_STICK_LEFT, SRC_STICK_RIGHT));
    else if (axis == PAD_LEFT_Y) set_pad(pad, stick(g_pad[pad], value, SRC_STICK_UP, SRC_STICK_DOWN));
}

void keymap_pad_removed(int pad) { set_pad(pad, 0); }

void keymap_pads_reset() {
    for (unsigned& s : g_pad) s = 0;
    g_drop_text = false;
}
