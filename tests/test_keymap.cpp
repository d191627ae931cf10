// test_keymap.cpp -- the live feed: keys and text reaching the held-key
// table and the queue, gamepads arriving as the same keys, and bound keys
// and buttons acting exactly as the game keys they stand for.
#include "platform/keymap.h"
#include "services/keyboard.h"
#include "port/platform.h"
#include "services/screen.h"
#include "platform/run.h"

#include <gtest/gtest.h>

#include <string>

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

const int USAGE_X = USAGE_A + 23;

} // namespace

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
