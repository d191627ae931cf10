// keycodes.cpp -- HID usage -> PC set-1 scan code, BIOS extended codes, code
// page 437 text, and the keys' names (KeyboardEvent.code and the names
// players know).  Fixed tables only.
#include "platform/keycodes.h"

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

// The keys that are not letters, digits or F-keys: their KeyboardEvent.code
// name and the name players know them by (keymap_key_name).  No shown name
// holds a comma: a settings line lists two keys with one.
struct KeyName {
    unsigned char usage;
    const char* code;
    const char* shown;
};
constexpr KeyName kKeyNames[] = {
    {40, "Enter", "Enter"}, {41, "Escape", "Escape"}, {42, "Backspace", "Backspace"}, {43, "Tab", "Tab"},
    {44, "Space", "Space"}, {45, "Minus", "Minus"}, {46, "Equal", "Equals"},
    {47, "BracketLeft", "Left bracket"}, {48, "BracketRight", "Right bracket"},
    {49, "Backslash", "Backslash"}, {51, "Semicolon", "Semicolon"}, {52, "Quote", "Quote"},
    {53, "Backquote", "Backquote"}, {54, "Comma", "Comma"}, {55, "Period", "Period"},
    {56, "Slash", "Slash"}, {57, "CapsLock", "Caps Lock"}, {70, "PrintScreen", "Print Screen"},
    {71, "ScrollLock", "Scroll Lock"}, {72, "Pause", "Pause"}, {73, "Insert", "Insert"},
    {74, "Home", "Home"}, {75, "PageUp", "Page Up"}, {76, "Delete", "Delete"}, {77, "End", "End"},
    {78, "PageDown", "Page Down"}, {79, "ArrowRight", "Right arrow"}, {80, "ArrowLeft", "Left arrow"},
    {81, "ArrowDown", "Down arrow"}, {82, "ArrowUp", "Up arrow"}, {83, "NumLock", "Num Lock"},
    {84, "NumpadDivide", "Keypad /"}, {85, "NumpadMultiply", "Keypad *"},
    {86, "NumpadSubtract", "Keypad -"}, {87, "NumpadAdd", "Keypad +"},
    {88, "NumpadEnter", "Keypad Enter"}, {89, "Numpad1", "Keypad 1"}, {90, "Numpad2", "Keypad 2"},
    {91, "Numpad3", "Keypad 3"}, {92, "Numpad4", "Keypad 4"}, {93, "Numpad5", "Keypad 5"},
    {94, "Numpad6", "Keypad 6"}, {95, "Numpad7", "Keypad 7"}, {96, "Numpad8", "Keypad 8"},
    {97, "Numpad9", "Keypad 9"}, {98, "Numpad0", "Keypad 0"}, {99, "NumpadDecimal", "Keypad ."},
    {100, "IntlBackslash", "Key beside left Shift"}, {224, "ControlLeft", "Left Ctrl"},
    {225, "ShiftLeft", "Left Shift"}, {226, "AltLeft", "Left Alt"}, {227, "MetaLeft", "Left Windows"},
    {228, "ControlRight", "Right Ctrl"}, {229, "ShiftRight", "Right Shift"}, {230, "AltRight", "Right Alt"},
    {231, "MetaRight", "Right Windows"},
};

// Short names a settings file may use; never shown.
struct ShortName {
    const char* name;
    unsigned char usage;
};
constexpr ShortName kShortNames[] = {
    {"Left", 80}, {"Right", 79}, {"Up", 82}, {"Down", 81}, {"Esc", 41}, {"Return", 40},
};

// KeyboardEvent.code names of the letters, the digits 1 to 0 and F1 to F12.
// Players know a letter or digit by the code's last character ("KeyA" is
// "A") and an F-key by its code.
constexpr const char* kLetterNames[26] = {"KeyA", "KeyB", "KeyC", "KeyD", "KeyE", "KeyF", "KeyG", "KeyH", "KeyI", "KeyJ", "KeyK", "KeyL", "KeyM", "KeyN", "KeyO", "KeyP", "KeyQ", "KeyR", "KeyS", "KeyT", "KeyU", "KeyV", "KeyW", "KeyX", "KeyY", "KeyZ"};
constexpr const char* kDigitNames[10] = {"Digit1", "Digit2", "Digit3", "Digit4", "Digit5", "Digit6", "Digit7", "Digit8", "Digit9", "Digit0"};
constexpr const char* kFunctionNames[12] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"};
constexpr int kLetterPrefix = 3, kDigitPrefix = 5; // "Key", "Digit"

bool same_nocase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
        const char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
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
    for (const KeyName& k : kKeyNames)
        if (std::strcmp(k.code, code) == 0) return k.usage;
    return 0;
}

const char* keymap_code_of_usage(int usage) {
    if (usage >= USAGE_A && usage <= USAGE_Z) return kLetterNames[usage - USAGE_A];
    if (usage >= USAGE_1 && usage <= USAGE_0) return kDigitNames[usage - USAGE_1];
    if (usage >= USAGE_F1 && usage <= USAGE_F12) return kFunctionNames[usage - USAGE_F1];
    for (const KeyName& k : kKeyNames)
        if (k.usage == usage) return k.code;
    return nullptr;
}

const char* keymap_key_name(int usage) {
    if (usage >= USAGE_A && usage <= USAGE_Z) return kLetterNames[usage - USAGE_A] + kLetterPrefix;
    if (usage >= USAGE_1 && usage <= USAGE_0) return kDigitNames[usage - USAGE_1] + kDigitPrefix;
    if (usage >= USAGE_F1 && usage <= USAGE_F12) return kFunctionNames[usage - USAGE_F1];
    for (const KeyName& k : kKeyNames)
        if (k.usage == usage) return k.shown;
    return nullptr;
}

int keymap_usage_of_name(const char* name, bool* friendly) {
    if (friendly != nullptr) *friendly = false;
    if (name == nullptr) return 0;
    if (const int usage = keymap_usage_of_code(name)) return usage;
    int usage = 0;
    for (int u = USAGE_A; u <= USAGE_F12 && usage == 0; ++u)
        if (const char* known = keymap_key_name(u); known != nullptr && same_nocase(known, name)) usage = u;
    for (const KeyName& k : kKeyNames)
        if (usage == 0 && same_nocase(k.shown, name)) usage = k.usage;
    for (const ShortName& s : kShortNames)
        if (usage == 0 && same_nocase(s.name, name)) usage = s.usage;
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
