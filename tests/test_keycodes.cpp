// test_keycodes.cpp -- the key-code tables checked against the PC
// keyboard's own: set-1 scan codes, the keypad with Num Lock on and off, the
// function keys' Shift/Ctrl/Alt codes, code page 437 text, and the keys'
// names (browser codes, Windows scan codes, the names players know).
#include "platform/keycodes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <utility>

TEST(Keycodes, ScanCodesFollowTheSetOneLayout) {
    // One row of the main block each, and the keys the game reads.
    const char* rows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int first[] = {2, 16, 30, 44};
    for (int r = 0; r < 4; ++r)
        for (int i = 0; rows[r][i]; ++i) {
            const char c = rows[r][i];
            const int usage = c >= 'A' ? USAGE_A + (c - 'A') : c == '0' ? USAGE_0 : USAGE_1 + (c - '1');
            EXPECT_EQ(keymap_scan_code(usage), first[r] + i) << c;
        }
    // Outside the table: no key.
    EXPECT_EQ(keymap_scan_code(-1), 0);
    EXPECT_EQ(keymap_scan_code(USAGE_LIMIT), 0);
}

TEST(Keycodes, KeypadDigitsAreTheCursorBlockOnlyWithNumLockOff) {
    const int pad[] = {USAGE_KP_0, USAGE_KP_1, 90, 91, 92, 94, 95, 96, USAGE_KP_9, USAGE_KP_PERIOD};
    const int nav[] = {82, 79, 80, 81, 75, 77, 71, 72, 73, 83}; // Ins End Down PgDn Left Right Home Up PgUp Del
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(keymap_press_code(pad[i], 0), 255 + 256 * nav[i]) << i;
        EXPECT_EQ(keymap_press_code(pad[i], KEYMOD_NUM), 0) << i; // its digit comes as text
    }
    EXPECT_EQ(keymap_press_code(93, 0), 0); // keypad 5 stands for nothing
    EXPECT_EQ(keymap_press_code(USAGE_KP_ENTER, KEYMOD_NUM), 13);
}

TEST(Keycodes, FunctionAndCursorKeysTakeTheirShiftCtrlAltCodes) {
    struct Case { int usage, plain, shift, ctrl, alt; };
    const Case cases[] = {
        {USAGE_F1, 59, 84, 94, 104},  {USAGE_F10, 68, 93, 103, 113}, {USAGE_F11, 133, 135, 137, 139},
        {USAGE_F12, 134, 136, 138, 140}, {USAGE_UP, 72, 72, 141, 152}, {USAGE_LEFT, 75, 75, 115, 155},
        {USAGE_HOME, 71, 71, 119, 151}, {USAGE_DELETE, 83, 83, 147, 163},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keymap_extended_code(c.usage, 0), c.plain) << c.usage;
        EXPECT_EQ(keymap_extended_code(c.usage, KEYMOD_SHIFT), c.shift) << c.usage;
        EXPECT_EQ(keymap_extended_code(c.usage, KEYMOD_CTRL), c.ctrl) << c.usage;
        EXPECT_EQ(keymap_extended_code(c.usage, KEYMOD_ALT), c.alt) << c.usage;
        // Alt wins over Ctrl, Ctrl over Shift.
        EXPECT_EQ(keymap_extended_code(c.usage, KEYMOD_ALT | KEYMOD_CTRL | KEYMOD_SHIFT), c.alt);
        EXPECT_EQ(keymap_extended_code(c.usage, KEYMOD_CTRL | KEYMOD_SHIFT), c.ctrl);
    }
    EXPECT_EQ(keymap_extended_code(USAGE_A, 0), 0);
    EXPECT_EQ(keymap_press_code(USAGE_ESCAPE, KEYMOD_SHIFT), 27);
    EXPECT_EQ(keymap_press_code(USAGE_TAB, 0), 9);
    EXPECT_EQ(keymap_press_code(USAGE_A, KEYMOD_CTRL), 1);
    EXPECT_EQ(keymap_press_code(USAGE_Z, KEYMOD_CTRL), 26);
    EXPECT_EQ(keymap_press_code(USAGE_Z, KEYMOD_CTRL | KEYMOD_ALT), 0);
    EXPECT_EQ(keymap_press_code(USAGE_A, 0), 0); // letters come as text
}

TEST(Keycodes, TextAndBrowserKeyNames) {
    EXPECT_EQ(keymap_cp437('a'), 'a');
    EXPECT_EQ(keymap_cp437(0x00C7), 128); // C cedilla
    EXPECT_EQ(keymap_cp437(0x00A0), 255);
    EXPECT_EQ(keymap_cp437(0x2588), 219); // full block
    EXPECT_EQ(keymap_cp437(0x20AC), -1);  // the euro sign has none

    EXPECT_EQ(keymap_usage_of_code("KeyA"), USAGE_A);
    EXPECT_EQ(keymap_usage_of_code("KeyZ"), USAGE_Z);
    EXPECT_EQ(keymap_usage_of_code("Digit1"), USAGE_1);
    EXPECT_EQ(keymap_usage_of_code("Digit0"), USAGE_0);
    EXPECT_EQ(keymap_usage_of_code("F1"), USAGE_F1);
    EXPECT_EQ(keymap_usage_of_code("F12"), USAGE_F12);
    EXPECT_EQ(keymap_usage_of_code("ArrowUp"), USAGE_UP);
    EXPECT_EQ(keymap_usage_of_code("Space"), USAGE_SPACE);
    EXPECT_EQ(keymap_usage_of_code("Numpad8"), 96);
    EXPECT_EQ(keymap_usage_of_code("ShiftRight"), USAGE_RSHIFT);
    for (const char* bad : {"", "Key", "Keya", "KeyAB", "Digit", "F0", "F13", "F1x", "arrowup", "Unidentified"})
        EXPECT_EQ(keymap_usage_of_code(bad), 0) << bad;
    EXPECT_EQ(keymap_usage_of_code(nullptr), 0);
}

TEST(Keycodes, EveryCodeNameLeadsBackToItsKey) {
    int named = 0;
    for (int usage = 0; usage < USAGE_LIMIT; ++usage)
        if (const char* name = keymap_code_of_usage(usage)) {
            EXPECT_EQ(keymap_usage_of_code(name), usage) << name;
            ++named;
        }
    EXPECT_EQ(named, 26 + 10 + 12 + 56); // letters, digits, F-keys, the named keys
    EXPECT_STREQ(keymap_code_of_usage(USAGE_LEFT), "ArrowLeft");
    EXPECT_EQ(keymap_code_of_usage(0), nullptr);
}

TEST(Keycodes, EveryNamedKeyHasANamePlayersKnowThatLeadsBackToIt) {
    for (int usage = 0; usage < USAGE_LIMIT; ++usage) {
        const char* name = keymap_key_name(usage);
        EXPECT_EQ(name == nullptr, keymap_code_of_usage(usage) == nullptr) << usage;
        if (name == nullptr) continue;
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool friendly = false;
        EXPECT_EQ(keymap_usage_of_name(lower.c_str(), nullptr), usage) << name;
        EXPECT_EQ(keymap_usage_of_name(name, &friendly), usage) << name;
        EXPECT_EQ(friendly, std::strcmp(name, keymap_code_of_usage(usage)) != 0) << name;
        EXPECT_EQ(std::strchr(name, ','), nullptr) << name; // a settings line splits at commas
    }
    for (const auto& [name, usage] : {std::pair{"Left", USAGE_LEFT}, {"up", USAGE_UP}, {"Esc", USAGE_ESCAPE}})
        EXPECT_EQ(keymap_usage_of_name(name, nullptr), usage) << name;
    bool friendly = true;
    for (const char* bad : {"", "Left arro", "Keypad", "AB", "arrowleft", "Key A"})
        EXPECT_EQ(keymap_usage_of_name(bad, &friendly), 0) << bad;
    EXPECT_FALSE(friendly);
}

// Windows names a key by its set-1 scan code and the extended flag: each key
// the game knows comes back from exactly one of the two, so the cursor block
// and the keypad, and the left and right Ctrl and Alt, stay apart.
TEST(Keycodes, WindowsScanCodesLeadBackToTheirKeys) {
    int known = 0;
    for (int usage = 0; usage < USAGE_LIMIT; ++usage) {
        const int scan = keymap_scan_code(usage);
        // The extra key beside left Shift holds the backslash key's code in
        // the game; its own scan code is 0x56 (checked below).
        if (scan == 0 || usage == 100) continue;
        const bool plain = keymap_usage_of_scan_code(scan, false) == usage;
        const bool extended = keymap_usage_of_scan_code(scan, true) == usage;
        EXPECT_NE(plain, extended) << "usage " << usage << ", scan code " << scan;
        known += plain || extended;
    }
    EXPECT_GT(known, 90);
    EXPECT_EQ(keymap_usage_of_scan_code(0x4B, true), USAGE_LEFT);
    EXPECT_EQ(keymap_usage_of_scan_code(0x4B, false), 92); // keypad 4
    EXPECT_EQ(keymap_usage_of_scan_code(0x1C, false), USAGE_RETURN);
    EXPECT_EQ(keymap_usage_of_scan_code(0x1C, true), USAGE_KP_ENTER);
    EXPECT_EQ(keymap_usage_of_scan_code(0x38, true), USAGE_RALT);
    EXPECT_EQ(keymap_usage_of_scan_code(0x57, false), USAGE_F11);
    EXPECT_EQ(keymap_usage_of_scan_code(0x56, false), 100);
    EXPECT_EQ(keymap_usage_of_scan_code(0x59, false), 0);
    EXPECT_EQ(keymap_usage_of_scan_code(-1, false), 0);
}
