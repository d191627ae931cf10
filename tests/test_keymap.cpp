// test_keymap.cpp -- the shared key translation checked against the PC
// keyboard's own tables: set-1 scan codes, the keypad with Num Lock on and
// off, the function keys' Shift/Ctrl/Alt codes, code page 437 text, browser
// key names, and gamepads arriving as the same keys.
#include "platform/keymap.h"
#include "services/keyboard.h"
#include "port/platform.h"
#include "services/screen.h"
#include "platform/run.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <utility>

namespace {

class KeymapFeed : public ::testing::Test {
protected:
    void SetUp() override {
        run_reset_for_tests();
        close_screen_for_tests();
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
        keyboard_reset();
        keymap_pads_reset();
    }
    void TearDown() override {
        keymap_pads_reset();
        keyboard_reset();
        close_screen_for_tests();
    }
    static std::string drain() {
        std::string all;
        for (std::string k = read_key(); !k.empty(); k = read_key()) all += k;
        return all;
    }
};

std::string ext(int code) { return std::string{static_cast<char>(255), static_cast<char>(code)}; }

} // namespace

TEST(Keymap, ScanCodesFollowTheSetOneLayout) {
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

TEST(Keymap, KeypadDigitsAreTheCursorBlockOnlyWithNumLockOff) {
    const int pad[] = {USAGE_KP_0, USAGE_KP_1, 90, 91, 92, 94, 95, 96, USAGE_KP_9, USAGE_KP_PERIOD};
    const int nav[] = {82, 79, 80, 81, 75, 77, 71, 72, 73, 83}; // Ins End Down PgDn Left Right Home Up PgUp Del
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(keymap_press_code(pad[i], 0), 255 + 256 * nav[i]) << i;
        EXPECT_EQ(keymap_press_code(pad[i], KEYMOD_NUM), 0) << i; // its digit comes as text
    }
    EXPECT_EQ(keymap_press_code(93, 0), 0); // keypad 5 stands for nothing
    EXPECT_EQ(keymap_press_code(USAGE_KP_ENTER, KEYMOD_NUM), 13);
}

TEST(Keymap, FunctionAndCursorKeysTakeTheirShiftCtrlAltCodes) {
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

TEST(Keymap, TextAndBrowserKeyNames) {
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

TEST_F(KeymapFeed, KeysAndTextReachTheTableAndTheQueue) {
    keymap_key_down(USAGE_RIGHT, 0);
    EXPECT_TRUE(key_down(KEY_RIGHT));
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once
    keymap_key_down(95, KEYMOD_NUM); // keypad 7 with Num Lock: held, its '7' comes as text
    keymap_text("7\xC3\xA9\xE2\x82\xAC\xC3(x"); // 7, e acute, euro (none), broken lead byte (the "(" after it stays), x
    keymap_key_down(USAGE_F1, KEYMOD_SHIFT);
    keymap_key_up(USAGE_RIGHT);
    EXPECT_FALSE(key_down(KEY_RIGHT));
    EXPECT_TRUE(key_down(71));
    EXPECT_EQ(drain(), ext(77) + "7" + std::string(1, static_cast<char>(130)) + "(x" + ext(84));
}

TEST_F(KeymapFeed, PadsActAsArrowsSpaceAndEscape) {
    keymap_pad_button(0, PAD_A, true);
    EXPECT_TRUE(key_down(57));
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once
    keymap_pad_button(0, PAD_A, false);
    EXPECT_FALSE(key_down(57));
    // Start pauses: the back-end's, so the game sees nothing of it.
    EXPECT_EQ(keymap_pad_button(1, PAD_START, true), BIND_PAUSE);
    EXPECT_EQ(keymap_pad_action(PAD_START), BIND_PAUSE);
    EXPECT_EQ(keymap_pad_button(1, PAD_Y, true), BIND_MUTE);
    keymap_pad_button(1, PAD_BACK, true);
    EXPECT_TRUE(key_down(KEY_ESCAPE));
    EXPECT_EQ(drain(), std::string(" ") + "\x1b");

    // The D-pad and the stick both hold Right; it ends with the last of them.
    keymap_pad_button(0, PAD_DPAD_RIGHT, true);
    keymap_pad_axis(0, PAD_LEFT_X, 30000);
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once
    keymap_pad_button(0, PAD_DPAD_RIGHT, false);
    EXPECT_TRUE(key_down(KEY_RIGHT));
    keymap_pad_axis(0, PAD_LEFT_X, 0);
    EXPECT_FALSE(key_down(KEY_RIGHT));
    EXPECT_EQ(drain(), ext(77)); // one press, one queued key

    // Hysteresis: pressed beyond PAD_PRESS_AT, held until inside PAD_RELEASE_AT.
    keymap_pad_axis(0, PAD_LEFT_Y, PAD_PRESS_AT - 1);
    EXPECT_FALSE(key_down(KEY_DOWN));
    keymap_pad_axis(0, PAD_LEFT_Y, PAD_PRESS_AT);
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once
    keymap_pad_axis(0, PAD_LEFT_Y, PAD_RELEASE_AT + 1);
    EXPECT_TRUE(key_down(KEY_DOWN));
    keymap_pad_axis(0, PAD_LEFT_Y, -PAD_PRESS_AT); // straight over to Up
    EXPECT_FALSE(key_down(KEY_DOWN));
    EXPECT_TRUE(key_down(KEY_UP));
    EXPECT_EQ(drain(), ext(80) + ext(72));
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once

    // A pad that goes away lets go of what it held; other pads keep theirs.
    keymap_pad_removed(0);
    EXPECT_FALSE(key_down(KEY_UP));
    EXPECT_TRUE(key_down(KEY_ESCAPE));
    keymap_pad_button(KEYMAP_MAX_PADS, PAD_A, true); // out of range: ignored
    keymap_pad_button(0, PAD_OTHER, true);
    EXPECT_EQ(drain(), "");
}

namespace {

// Feeds with a bindings table; the defaults come back afterwards.
class KeymapBound : public KeymapFeed {
protected:
    void SetUp() override {
        KeymapFeed::SetUp();
        keymap_default_bindings(&b);
    }
    void TearDown() override {
        keymap_default_bindings(&b);
        EXPECT_TRUE(keymap_set_bindings(b, nullptr, 0));
        KeymapFeed::TearDown();
    }
    KeyBindings b;
    char message[BIND_MESSAGE_CHARS] = "";
};

const int USAGE_S = USAGE_A + 18, USAGE_X = USAGE_A + 23;

} // namespace

TEST(Keymap, EveryCodeNameLeadsBackToItsKey) {
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

TEST(Keymap, EveryNamedKeyHasANamePlayersKnowThatLeadsBackToIt) {
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

TEST_F(KeymapBound, ABoundKeyActsExactlyAsTheKeyItStandsFor) {
    // What the game sees from the real keys, with the default table.
    keymap_key_down(USAGE_LEFT, KEYMOD_CTRL);
    keymap_key_down(USAGE_SPACE, 0);
    keymap_text(" ");
    keymap_key_down(USAGE_S, KEYMOD_SHIFT);
    keymap_text("S");
    const std::string plain = drain();
    EXPECT_TRUE(key_down(KEY_LEFT) && key_down(57) && key_down(31));
    keyboard_reset();

    b.keys[BIND_LEFT][0] = USAGE_A;
    b.keys[BIND_SPACE][0] = USAGE_X;
    b.keys[BIND_SPACE][1] = USAGE_SPACE;
    b.keys[BIND_SCREENSHOT][0] = USAGE_F1;
    ASSERT_TRUE(keymap_set_bindings(b, message, sizeof message)) << message;
    keymap_key_down(USAGE_A, KEYMOD_CTRL);
    keymap_text("a"); // the bound key's own character is dropped
    keymap_key_down(USAGE_X, 0);
    keymap_text("x");
    keymap_key_down(USAGE_F1, KEYMOD_SHIFT);
    EXPECT_EQ(drain(), plain);
    EXPECT_TRUE(key_down(KEY_LEFT) && key_down(57) && key_down(31));
    keyboard_tick_boundary(); // a tick has seen it: a release now lets go at once
    keymap_key_up(USAGE_A);
    keymap_key_up(USAGE_F1);
    EXPECT_FALSE(key_down(KEY_LEFT) || key_down(31));

    // Left and S, bound away, are inert; other keys type as ever.
    keymap_key_down(USAGE_LEFT, 0);
    keymap_key_down(USAGE_S, 0);
    keymap_text("s");
    keymap_key_down(USAGE_Z, 0);
    keymap_text("z");
    EXPECT_FALSE(key_down(KEY_LEFT) || key_down(31));
    EXPECT_EQ(drain(), "z");
}

TEST_F(KeymapBound, ConflictsAreRefusedAndWindowKeysAreReported) {
    EXPECT_EQ(keymap_window_action(USAGE_A + 15), BIND_PAUSE); // P
    EXPECT_EQ(keymap_window_action(72), BIND_PAUSE);           // the Pause key
    EXPECT_EQ(keymap_window_action(USAGE_F11), BIND_FULLSCREEN);
    EXPECT_EQ(keymap_window_action(USAGE_LEFT), BIND_NONE);

    b.keys[BIND_MUTE][1] = USAGE_LEFT;
    EXPECT_FALSE(keymap_set_bindings(b, message, sizeof message));
    EXPECT_STREQ(message, "ArrowLeft is bound to both left and mute");
    EXPECT_EQ(keymap_window_action(USAGE_LEFT), BIND_NONE); // the table in use stays
    b.keys[BIND_LEFT][0] = USAGE_A;
    ASSERT_TRUE(keymap_set_bindings(b, message, sizeof message)) << message;
    EXPECT_EQ(keymap_window_action(USAGE_LEFT), BIND_MUTE);
    b.pad[PAD_X] = BIND_COUNT;
    EXPECT_FALSE(keymap_check_bindings(b, nullptr, 0));
}

TEST_F(KeymapBound, PadButtonsFollowTheirTable) {
    b.pad[PAD_A] = BIND_NONE;
    b.pad[PAD_B] = BIND_SPACE; // A and B swapped
    b.pad[PAD_START] = BIND_PAUSE;
    b.pad[PAD_DPAD_UP] = BIND_SCREENSHOT;
    ASSERT_TRUE(keymap_set_bindings(b, message, sizeof message)) << message;
    EXPECT_EQ(keymap_pad_action(PAD_B), BIND_SPACE);
    EXPECT_EQ(keymap_pad_action(PAD_A), BIND_NONE);
    EXPECT_EQ(keymap_pad_action(PAD_OTHER), BIND_NONE);
    EXPECT_EQ(keymap_pad_button(0, PAD_A, true), BIND_NONE);
    EXPECT_FALSE(key_down(57));
    EXPECT_EQ(keymap_pad_button(0, PAD_B, true), BIND_NONE);
    EXPECT_TRUE(key_down(57));
    EXPECT_EQ(keymap_pad_button(0, PAD_START, true), BIND_PAUSE);
    EXPECT_EQ(keymap_pad_button(0, PAD_START, true), BIND_NONE); // still down: no second press
    keymap_pad_button(0, PAD_DPAD_UP, true);
    EXPECT_FALSE(key_down(KEY_UP));
    keymap_pad_axis(0, PAD_LEFT_Y, -PAD_PRESS_AT); // the stick stays on the arrows
    EXPECT_TRUE(key_down(KEY_UP));
    EXPECT_EQ(drain(), " s" + ext(72));
}

// Windows names a key by its set-1 scan code and the extended flag: each key
// the game knows comes back from exactly one of the two, so the cursor block
// and the keypad, and the left and right Ctrl and Alt, stay apart.
TEST(Keymap, WindowsScanCodesLeadBackToTheirKeys) {
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
