// keymap.cpp -- HID usage -> PC set-1 scan code, BIOS extended codes, code
// page 437 text, KeyboardEvent.code names, gamepads as keys, and the bindings
// that put other keys in the game keys' place.  Fixed tables only; the pads'
// state is a few bit masks owned by the back-end's input thread, and the
// bindings in use are byte tables any thread may read.
#include "platform/keymap.h"

#include "port/platform.h"
#include "platform/run.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// PC set-1 scan code by HID usage (0 = none).
constexpr unsigned char kScanCode[USAGE_LIMIT] = {
    // 0-3: no key
    0, 0, 0, 0,
    // 4-29: A to Z
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50, 49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45,
    21, 44,
    // 30-39: 1 to 9, 0
    2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // 40-56: Return Escape Backspace Tab Space - = [ ] \ (non-US #) ; ' ` , . /
    28, 1, 14, 15, 57, 12, 13, 26, 27, 43, 0, 39, 40, 41, 51, 52, 53,
    // 57-69: Caps Lock, F1 to F12
    58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 87, 88,
    // 70-83: PrintScreen ScrollLock Pause Insert Home PgUp Delete End PgDn Right Left Down Up NumLock
    0, 70, 0, 82, 71, 73, 83, 79, 81, 77, 75, 80, 72, 69,
    // 84-99: keypad / * - + Enter 1 2 3 4 5 6 7 8 9 0 .
    53, 55, 74, 78, 28, 79, 80, 81, 75, 76, 77, 71, 72, 73, 82, 83,
    // 100: the extra key beside left Shift
    43,
    // 101-223: none
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 224-231: LCtrl LShift LAlt LGUI RCtrl RShift RAlt RGUI
    29, 42, 56, 0, 29, 54, 56, 0,
    // 232-255: none
};
static_assert(kScanCode[USAGE_Z] == 44 && kScanCode[USAGE_KP_PERIOD] == 83 && kScanCode[USAGE_RSHIFT] == 54,
              "scan code table out of step with the usages");

// Unicode of the code page 437 characters 128 to 255.
constexpr uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// KeyboardEvent.code names of the keys that are not letters, digits or F-keys.
struct CodeName {
    const char* name;
    unsigned char usage;
};
constexpr CodeName kCodeNames[] = {
    {"Enter", 40}, {"Escape", 41}, {"Backspace", 42}, {"Tab", 43}, {"Space", 44}, {"Minus", 45},
    {"Equal", 46}, {"BracketLeft", 47}, {"BracketRight", 48}, {"Backslash", 49}, {"Semicolon", 51},
    {"Quote", 52}, {"Backquote", 53}, {"Comma", 54}, {"Period", 55}, {"Slash", 56}, {"CapsLock", 57},
    {"PrintScreen", 70}, {"ScrollLock", 71}, {"Pause", 72}, {"Insert", 73}, {"Home", 74},
    {"PageUp", 75}, {"Delete", 76}, {"End", 77}, {"PageDown", 78}, {"ArrowRight", 79},
    {"ArrowLeft", 80}, {"ArrowDown", 81}, {"ArrowUp", 82}, {"NumLock", 83}, {"NumpadDivide", 84},
    {"NumpadMultiply", 85}, {"NumpadSubtract", 86}, {"NumpadAdd", 87}, {"NumpadEnter", 88},
    {"Numpad1", 89}, {"Numpad2", 90}, {"Numpad3", 91}, {"Numpad4", 92}, {"Numpad5", 93},
    {"Numpad6", 94}, {"Numpad7", 95}, {"Numpad8", 96}, {"Numpad9", 97}, {"Numpad0", 98},
    {"NumpadDecimal", 99}, {"IntlBackslash", 100}, {"ControlLeft", 224}, {"ShiftLeft", 225},
    {"AltLeft", 226}, {"MetaLeft", 227}, {"ControlRight", 228}, {"ShiftRight", 229},
    {"AltRight", 230}, {"MetaRight", 231},
};

// KeyboardEvent.code names of the letters, the digits 1 to 0 and F1 to F12.
constexpr const char* kLetterNames[26] = {"KeyA", "KeyB", "KeyC", "KeyD", "KeyE", "KeyF", "KeyG", "KeyH", "KeyI", "KeyJ", "KeyK", "KeyL", "KeyM", "KeyN", "KeyO", "KeyP", "KeyQ", "KeyR", "KeyS", "KeyT", "KeyU", "KeyV", "KeyW", "KeyX", "KeyY", "KeyZ"};
constexpr const char* kDigitNames[10] = {"Digit1", "Digit2", "Digit3", "Digit4", "Digit5", "Digit6", "Digit7", "Digit8", "Digit9", "Digit0"};
constexpr const char* kFunctionNames[12] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"};

// The names players know the keys by (keymap_key_name); letters, digits and
// F-keys are their own names.  No name holds a comma: a settings line lists
// two keys with one.
constexpr CodeName kKeyNames[] = {
    {"Enter", 40}, {"Escape", 41}, {"Backspace", 42}, {"Tab", 43}, {"Space", 44}, {"Minus", 45},
    {"Equals", 46}, {"Left bracket", 47}, {"Right bracket", 48}, {"Backslash", 49}, {"Semicolon", 51},
    {"Quote", 52}, {"Backquote", 53}, {"Comma", 54}, {"Period", 55}, {"Slash", 56}, {"Caps Lock", 57},
    {"Print Screen", 70}, {"Scroll Lock", 71}, {"Pause", 72}, {"Insert", 73}, {"Home", 74},
    {"Page Up", 75}, {"Delete", 76}, {"End", 77}, {"Page Down", 78}, {"Right arrow", 79},
    {"Left arrow", 80}, {"Down arrow", 81}, {"Up arrow", 82}, {"Num Lock", 83}, {"Keypad /", 84},
    {"Keypad *", 85}, {"Keypad -", 86}, {"Keypad +", 87}, {"Keypad Enter", 88},
    {"Keypad 1", 89}, {"Keypad 2", 90}, {"Keypad 3", 91}, {"Keypad 4", 92}, {"Keypad 5", 93},
    {"Keypad 6", 94}, {"Keypad 7", 95}, {"Keypad 8", 96}, {"Keypad 9", 97}, {"Keypad 0", 98},
    {"Keypad .", 99}, {"Key beside left Shift", 100}, {"Left Ctrl", 224}, {"Left Shift", 225},
    {"Left Alt", 226}, {"Left Windows", 227}, {"Right Ctrl", 228}, {"Right Shift", 229},
    {"Right Alt", 230}, {"Right Windows", 231},
    // Short names a settings file may use; never shown.
    {"Left", 80}, {"Right", 79}, {"Up", 82}, {"Down", 81}, {"Esc", 41}, {"Return", 40},
};
constexpr int kShownKeyNames = static_cast<int>(sizeof kKeyNames / sizeof kKeyNames[0]) - 6;
constexpr const char* kLetterKeys[26] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
                                         "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
constexpr const char* kDigitKeys[10] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"};

bool same_nocase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
        const char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

// --- bindings ---
constexpr int USAGE_S = USAGE_A + ('S' - 'A'), USAGE_P = USAGE_A + ('P' - 'A'),
              USAGE_M = USAGE_A + ('M' - 'A'), USAGE_PAUSE = 72;

// The game key each game action stands for.
constexpr unsigned char kActionKeys[BIND_GAME_COUNT] = {
    USAGE_LEFT, USAGE_RIGHT, USAGE_UP, USAGE_DOWN, USAGE_SPACE, USAGE_ESCAPE, USAGE_S,
};
constexpr const char* kActionNames[BIND_COUNT] = {
    "left", "right", "up", "down", "space", "escape", "screenshot", "pause", "mute", "fullscreen",
};

constexpr signed char default_window_action(int usage) {
    return usage == USAGE_P || usage == USAGE_PAUSE ? BIND_PAUSE
           : usage == USAGE_M                       ? BIND_MUTE
           : usage == USAGE_F11                     ? BIND_FULLSCREEN
                                                    : BIND_NONE;
}
constexpr signed char kDefaultPad[PAD_BUTTON_COUNT] = {
    BIND_SPACE, BIND_PAUSE, BIND_ESCAPE, BIND_UP, BIND_DOWN, BIND_LEFT, BIND_RIGHT,
    BIND_NONE, BIND_NONE, BIND_MUTE,
};

// The tables in use, one byte per key or button, zero meaning "as by
// default" so that they start out right before anything is set:
// game role: 0 the key itself, 1 inert, 2 + action a game key it stands for;
// window and pad roles: 0 the default, else 2 + action (1 for none).
enum { ROLE_DEFAULT = 0, ROLE_INERT = 1, ROLE_BASE = 2 };
std::atomic<unsigned char> g_game_role[USAGE_LIMIT];
std::atomic<unsigned char> g_window_role[USAGE_LIMIT];
std::atomic<unsigned char> g_pad_role[PAD_BUTTON_COUNT];
// Set by a key that stands for another or is inert: the text event that
// follows its key-down is the physical key's own character and is dropped.
// Back-end input thread only.
bool g_drop_text = false;

int window_role(int usage) {
    const int r = g_window_role[usage].load(std::memory_order_relaxed);
    return r == ROLE_DEFAULT ? default_window_action(usage) : r - ROLE_BASE;
}

int pad_role(int button) {
    const int r = g_pad_role[button].load(std::memory_order_relaxed);
    return r == ROLE_DEFAULT ? kDefaultPad[button] : r - ROLE_BASE;
}

// What a press of the game key of `action` queues with mods held: its own
// code, or the character it types (Space and S type theirs as text).
int action_press_code(int action, int mods) {
    const int key = kActionKeys[action];
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
        if (pad_role(b) == action) s |= 1u << b;
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
        const int scan = keymap_scan_code(kActionKeys[action]);
        if (is && !was) {
            input_event(INPUT_KEY_DOWN, scan);
            input_event(INPUT_QUEUE, action_press_code(action, 0));
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

int keymap_scan_code(int usage) {
    return usage >= 0 && usage < USAGE_LIMIT ? kScanCode[usage] : 0;
}

int keymap_navigation_key(int usage, int mods) {
    if (mods & KEYMOD_NUM) return usage;
    switch (usage) {
    case 96: return USAGE_UP;     // keypad 8
    case 90: return USAGE_DOWN;   // keypad 2
    case 92: return USAGE_LEFT;   // keypad 4
    case 94: return USAGE_RIGHT;  // keypad 6
    case 95: return USAGE_HOME;   // keypad 7
    case USAGE_KP_1: return USAGE_END;
    case USAGE_KP_9: return USAGE_PAGEUP;
    case 91: return USAGE_PAGEDOWN; // keypad 3
    case USAGE_KP_0: return USAGE_INSERT;
    case USAGE_KP_PERIOD: return USAGE_DELETE;
    default: return usage;
    }
}

int keymap_extended_code(int usage, int mods) {
    const bool shift = (mods & KEYMOD_SHIFT) != 0, ctrl = (mods & KEYMOD_CTRL) != 0,
               alt = (mods & KEYMOD_ALT) != 0;
    if (usage >= USAGE_F1 && usage <= USAGE_F10) {
        const int i = usage - USAGE_F1;
        return alt ? 104 + i : ctrl ? 94 + i : shift ? 84 + i : 59 + i;
    }
    if (usage == USAGE_F11 || usage == USAGE_F12) {
        const int i = usage - USAGE_F11;
        return alt ? 139 + i : ctrl ? 137 + i : shift ? 135 + i : 133 + i;
    }
    struct Nav { int usage, plain, with_ctrl, with_alt; };
    static constexpr Nav nav[] = {
        {USAGE_UP, 72, 141, 152},     {USAGE_DOWN, 80, 145, 160},     {USAGE_LEFT, 75, 115, 155},
        {USAGE_RIGHT, 77, 116, 157},  {USAGE_HOME, 71, 119, 151},     {USAGE_END, 79, 117, 159},
        {USAGE_PAGEUP, 73, 132, 153}, {USAGE_PAGEDOWN, 81, 118, 161}, {USAGE_INSERT, 82, 146, 162},
        {USAGE_DELETE, 83, 147, 163},
    };
    for (const Nav& n : nav)
        if (n.usage == usage) return alt ? n.with_alt : ctrl ? n.with_ctrl : n.plain;
    return 0;
}

int keymap_press_code(int usage, int mods) {
    switch (usage) {
    case USAGE_ESCAPE: return 27;
    case USAGE_RETURN: case USAGE_KP_ENTER: return 13;
    case USAGE_BACKSPACE: return 8;
    case USAGE_TAB: return 9;
    default: break;
    }
    if ((mods & KEYMOD_CTRL) && !(mods & KEYMOD_ALT) && usage >= USAGE_A && usage <= USAGE_Z)
        return 1 + (usage - USAGE_A);
    const int ext = keymap_extended_code(keymap_navigation_key(usage, mods), mods);
    return ext > 0 ? 255 + 256 * ext : 0;
}

int keymap_cp437(uint32_t codepoint) {
    if (codepoint < 128) return static_cast<int>(codepoint);
    for (int i = 0; i < 128; ++i)
        if (kCp437High[i] == codepoint) return 128 + i;
    return -1;
}

int keymap_usage_of_code(const char* code) {
    if (code == nullptr) return 0;
    const size_t n = std::strlen(code);
    if (n == 4 && std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z')
        return USAGE_A + (code[3] - 'A');
    if (n == 6 && std::strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9')
        return code[5] == '0' ? USAGE_0 : USAGE_1 + (code[5] - '1');
    if ((n == 2 || n == 3) && code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
        const int f = n == 2 ? code[1] - '0' : (code[2] >= '0' && code[2] <= '9' ? 10 * (code[1] - '0') + code[2] - '0' : 0);
        if (f >= 1 && f <= 12) return USAGE_F1 + f - 1;
        return 0;
    }
    for (const CodeName& c : kCodeNames)
        if (std::strcmp(c.name, code) == 0) return c.usage;
    return 0;
}

void keymap_key_down(int usage, int mods) {
    const int role = usage >= 0 && usage < USAGE_LIMIT ? g_game_role[usage].load(std::memory_order_relaxed) : 0;
    g_drop_text = role != ROLE_DEFAULT;
    if (role == ROLE_INERT) return;
    if (role >= ROLE_BASE) {
        const int action = role - ROLE_BASE;
        input_event(INPUT_KEY_DOWN, keymap_scan_code(kActionKeys[action]));
        const int code = action_press_code(action, mods);
        if (code > 0) input_event(INPUT_QUEUE, code);
        return;
    }
    const int scan = keymap_scan_code(usage);
    if (scan > 0) input_event(INPUT_KEY_DOWN, scan);
    const int code = keymap_press_code(usage, mods);
    if (code > 0) input_event(INPUT_QUEUE, code);
}

void keymap_key_up(int usage) {
    const int role = usage >= 0 && usage < USAGE_LIMIT ? g_game_role[usage].load(std::memory_order_relaxed) : 0;
    if (role == ROLE_INERT) return;
    const int scan = keymap_scan_code(role >= ROLE_BASE ? kActionKeys[role - ROLE_BASE] : usage);
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
    const int action = pad_role(button);
    return down && !was && action >= BIND_GAME_COUNT ? action : BIND_NONE;
}

void keymap_pad_axis(int pad, int axis, int value) {
    if (pad < 0 || pad >= KEYMAP_MAX_PADS) return;
    if (axis == PAD_LEFT_X) set_pad(pad, stick(g_pad[pad], value, SRC_STICK_LEFT, SRC_STICK_RIGHT));
    else if (axis == PAD_LEFT_Y) set_pad(pad, stick(g_pad[pad], value, SRC_STICK_UP, SRC_STICK_DOWN));
}

int keymap_pad_action(int button) {
    return button >= 0 && button < PAD_BUTTON_COUNT ? pad_role(button) : BIND_NONE;
}

void keymap_pad_removed(int pad) { set_pad(pad, 0); }

void keymap_pads_reset() {
    for (unsigned& s : g_pad) s = 0;
    g_drop_text = false;
}

void keymap_default_bindings(KeyBindings* out) {
    std::memset(out->keys, 0, sizeof out->keys);
    for (int a = 0; a < BIND_GAME_COUNT; ++a) out->keys[a][0] = kActionKeys[a];
    out->keys[BIND_PAUSE][0] = USAGE_P;
    out->keys[BIND_PAUSE][1] = USAGE_PAUSE;
    out->keys[BIND_MUTE][0] = USAGE_M;
    out->keys[BIND_FULLSCREEN][0] = USAGE_F11;
    std::memcpy(out->pad, kDefaultPad, sizeof out->pad);
}

int keymap_action_key(int action) {
    return action >= 0 && action < BIND_GAME_COUNT ? kActionKeys[action] : 0;
}

const char* keymap_action_name(int action) {
    return action >= 0 && action < BIND_COUNT ? kActionNames[action] : "none";
}

bool keymap_check_bindings(const KeyBindings& b, char* message, int size) {
    int owner[USAGE_LIMIT];
    for (int& o : owner) o = BIND_NONE;
    for (int a = 0; a < BIND_COUNT; ++a)
        for (const unsigned char usage : b.keys[a]) {
            if (usage == 0) continue;
            if (owner[usage] != BIND_NONE && owner[usage] != a) {
                char unnamed[16];
                const char* name = keymap_code_of_usage(usage);
                if (name == nullptr) {
                    std::snprintf(unnamed, sizeof unnamed, "key %d", usage);
                    name = unnamed;
                }
                if (message != nullptr && size > 0)
                    std::snprintf(message, static_cast<size_t>(size), "%s is bound to both %s and %s", name,
                                  kActionNames[owner[usage]], kActionNames[a]);
                return false;
            }
            owner[usage] = a;
        }
    for (int button = 0; button < PAD_BUTTON_COUNT; ++button)
        if (b.pad[button] < BIND_NONE || b.pad[button] >= BIND_COUNT) {
            if (message != nullptr && size > 0)
                std::snprintf(message, static_cast<size_t>(size), "pad button %d names no action (%d)", button,
                              b.pad[button]);
            return false;
        }
    return true;
}

bool keymap_set_bindings(const KeyBindings& b, char* message, int size) {
    if (!keymap_check_bindings(b, message, size)) return false;
    int owner[USAGE_LIMIT];
    for (int& o : owner) o = BIND_NONE;
    for (int a = 0; a < BIND_COUNT; ++a)
        for (const unsigned char usage : b.keys[a])
            if (usage != 0) owner[usage] = a;
    bool game_key[USAGE_LIMIT] = {};
    for (const unsigned char usage : kActionKeys) game_key[usage] = true;
    for (int usage = 0; usage < USAGE_LIMIT; ++usage) {
        const int a = owner[usage];
        int game = ROLE_DEFAULT;
        if (a >= 0 && a < BIND_GAME_COUNT) game = kActionKeys[a] == usage ? ROLE_DEFAULT : ROLE_BASE + a;
        else if (game_key[usage]) game = ROLE_INERT; // a game key bound away from its action
        g_game_role[usage].store(static_cast<unsigned char>(game), std::memory_order_relaxed);
        const int window = a >= BIND_GAME_COUNT ? a : BIND_NONE;
        g_window_role[usage].store(static_cast<unsigned char>(ROLE_BASE + window), std::memory_order_relaxed);
    }
    for (int button = 0; button < PAD_BUTTON_COUNT; ++button)
        g_pad_role[button].store(static_cast<unsigned char>(ROLE_BASE + b.pad[button]), std::memory_order_relaxed);
    return true;
}

int keymap_window_action(int usage) {
    return usage >= 0 && usage < USAGE_LIMIT ? window_role(usage) : BIND_NONE;
}

const char* keymap_code_of_usage(int usage) {
    if (usage >= USAGE_A && usage <= USAGE_Z) return kLetterNames[usage - USAGE_A];
    if (usage >= USAGE_1 && usage <= USAGE_0) return kDigitNames[usage - USAGE_1];
    if (usage >= USAGE_F1 && usage <= USAGE_F12) return kFunctionNames[usage - USAGE_F1];
    for (const CodeName& c : kCodeNames)
        if (c.usage == usage) return c.name;
    return nullptr;
}

const char* keymap_key_name(int usage) {
    if (usage >= USAGE_A && usage <= USAGE_Z) return kLetterKeys[usage - USAGE_A];
    if (usage >= USAGE_1 && usage <= USAGE_0) return kDigitKeys[usage - USAGE_1];
    if (usage >= USAGE_F1 && usage <= USAGE_F12) return kFunctionNames[usage - USAGE_F1];
    for (int i = 0; i < kShownKeyNames; ++i)
        if (kKeyNames[i].usage == usage) return kKeyNames[i].name;
    return nullptr;
}

int keymap_usage_of_name(const char* name, bool* friendly) {
    if (friendly != nullptr) *friendly = false;
    if (name == nullptr) return 0;
    if (const int usage = keymap_usage_of_code(name)) return usage;
    int usage = 0;
    for (int u = USAGE_A; u <= USAGE_F12 && usage == 0; ++u)
        if (const char* known = keymap_key_name(u); known != nullptr && same_nocase(known, name)) usage = u;
    for (const CodeName& c : kKeyNames)
        if (usage == 0 && same_nocase(c.name, name)) usage = c.usage;
    if (friendly != nullptr) *friendly = usage != 0;
    return usage;
}

int keymap_usage_of_scan_code(int scan_code, bool extended) {
    // Index = set-1 scan code: the main block, the function keys and the keypad.
    static const unsigned char kPlain[0x59] = {
        0,   41,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  45,  46,  42,  43,  // 0x00
        20,  26,  8,   21,  23,  28,  24,  12,  18,  19,  47,  48,  40,  224, 4,   22,  // 0x10
        7,   9,   10,  11,  13,  14,  15,  51,  52,  53,  225, 49,  29,  27,  6,   25,  // 0x20
        5,   17,  16,  54,  55,  56,  229, 85,  226, 44,  57,  58,  59,  60,  61,  62,  // 0x30
        63,  64,  65,  66,  67,  72,  71,  95,  96,  97,  86,  92,  93,  94,  87,  89,  // 0x40
        90,  91,  98,  99,  0,   0,   100, 68,  69,                                     // 0x50
    };
    if (!extended) return scan_code >= 0 && scan_code < 0x59 ? kPlain[scan_code] : 0;
    switch (scan_code) {
    case 0x1C: return USAGE_KP_ENTER;
    case 0x1D: return USAGE_RCTRL;
    case 0x35: return 84; // keypad /
    case 0x37: return 70; // Print Screen
    case 0x38: return USAGE_RALT;
    case 0x45: return 83; // Num Lock
    case 0x47: return USAGE_HOME;
    case 0x48: return USAGE_UP;
    case 0x49: return USAGE_PAGEUP;
    case 0x4B: return USAGE_LEFT;
    case 0x4D: return USAGE_RIGHT;
    case 0x4F: return USAGE_END;
    case 0x50: return USAGE_DOWN;
    case 0x51: return USAGE_PAGEDOWN;
    case 0x52: return USAGE_INSERT;
    case 0x53: return USAGE_DELETE;
    case 0x5B: return 227; // left Windows key
    case 0x5C: return 231; // right Windows key
    case 0x5D: return 101; // menu key
    default: return 0;
    }
}
