// test_keyboard.cpp -- the held-key table and the key queue as the game sees
// them: Shift pairs, focus clearing, the 16-entry ring that keeps 15, extended
// keys as two characters, and nothing before the screen is open.
#include "services/keyboard.h"
#include "port/platform.h"
#include "services/screen.h"
#include "platform/run.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace {

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        run_reset_for_tests();
        close_screen_for_tests();
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
        keyboard_reset();
    }
    void TearDown() override {
        keyboard_reset();
        close_screen_for_tests();
    }
};

std::string ext(int code) { return std::string{static_cast<char>(255), static_cast<char>(code)}; }

} // namespace

TEST(KeyboardClosed, NothingBeforeTheScreenIsOpen) {
    run_reset_for_tests();
    close_screen_for_tests();
    keyboard_set_held(KEY_RIGHT, true);
    keyboard_queue('a');
    EXPECT_FALSE(key_down(KEY_RIGHT));
    EXPECT_EQ(read_key(), "");
    keyboard_reset();
}

TEST_F(KeyboardTest, HeldKeysAndCodesOutsideTheTable) {
    EXPECT_FALSE(key_down(KEY_UP));
    keyboard_set_held(KEY_UP, true);
    EXPECT_TRUE(key_down(KEY_UP));
    EXPECT_FALSE(key_down(KEY_DOWN));
    keyboard_set_held(KEY_UP, false);
    EXPECT_FALSE(key_down(KEY_UP));

    keyboard_set_held(127, true);
    EXPECT_TRUE(key_down(127));
    EXPECT_FALSE(key_down(128));
    EXPECT_FALSE(key_down(255));
    EXPECT_FALSE(key_down(-1));
    keyboard_set_held(128, true); // ignored, no write past the table
    keyboard_set_held(-5, true);
    EXPECT_FALSE(key_down(128));
}

TEST_F(KeyboardTest, EitherShiftSetsAndClearsBoth) {
    keyboard_set_held(KEY_RSHIFT, true);
    EXPECT_TRUE(key_down(KEY_LSHIFT));
    EXPECT_TRUE(key_down(KEY_RSHIFT));
    keyboard_set_held(KEY_LSHIFT, false);
    EXPECT_FALSE(key_down(KEY_LSHIFT));
    EXPECT_FALSE(key_down(KEY_RSHIFT));
}

TEST_F(KeyboardTest, PressAndReleaseBetweenPollsLeavesOnlyTheCharacter) {
    keyboard_set_held(57, true);
    keyboard_queue(' ');
    keyboard_set_held(57, false);
    EXPECT_FALSE(key_down(57));
    EXPECT_EQ(read_key(), " ");
    EXPECT_EQ(read_key(), "");
}

// A window's press and release both between two tick boundaries: the next
// tick sees the key held, the one after sees it let go.  A key held across a
// boundary is let go at once, and a press again cancels an owed release.
TEST_F(KeyboardTest, TapShorterThanATickIsHeldForTheNextTick) {
    keyboard_tick_boundary();
    keyboard_press(KEY_UP);
    keyboard_release(KEY_UP);
    EXPECT_TRUE(key_down(KEY_UP));
    keyboard_tick_boundary(); // the tick that sees the tap
    EXPECT_TRUE(key_down(KEY_UP));
    keyboard_tick_boundary();
    EXPECT_FALSE(key_down(KEY_UP));

    keyboard_press(KEY_LEFT);
    keyboard_tick_boundary();
    keyboard_release(KEY_LEFT); // held for a tick already
    EXPECT_FALSE(key_down(KEY_LEFT));

    keyboard_press(KEY_RSHIFT);
    keyboard_release(KEY_RSHIFT);
    keyboard_press(KEY_RSHIFT); // pressed again: no release is owed
    keyboard_tick_boundary();
    keyboard_tick_boundary();
    EXPECT_TRUE(key_down(KEY_LSHIFT));

    keyboard_press(KEY_ESCAPE);
    keyboard_release(KEY_ESCAPE);
    keyboard_clear_held(); // the focus moved: nothing held, nothing owed
    keyboard_press(KEY_ESCAPE);
    keyboard_tick_boundary();
    keyboard_tick_boundary();
    EXPECT_TRUE(key_down(KEY_ESCAPE));
}

TEST_F(KeyboardTest, FocusChangeClearsEveryHeldKey) {
    keyboard_set_held(KEY_RIGHT, true);
    keyboard_set_held(KEY_ESCAPE, true);
    keyboard_queue('s');
    keyboard_clear_held();
    EXPECT_FALSE(key_down(KEY_RIGHT));
    EXPECT_FALSE(key_down(KEY_ESCAPE));
    EXPECT_EQ(read_key(), "s"); // the queue is kept
}

TEST_F(KeyboardTest, TwentyKeysLeaveTheLastFifteenOldestFirst) {
    for (int i = 0; i < 20; ++i) keyboard_queue('a' + i);
    for (int i = 5; i < 20; ++i) EXPECT_EQ(read_key(), std::string(1, static_cast<char>('a' + i)));
    EXPECT_EQ(read_key(), "");
}

TEST_F(KeyboardTest, RingBehavesAsAQueueOfFifteenAcrossWrapArounds) {
    // Model: a plain queue that drops its oldest entry when a 16th arrives.
    std::deque<int> model;
    unsigned pseudo = 12345;
    for (int i = 0; i < 500; ++i) {
        pseudo = pseudo * 1103515245u + 12345u;
        if ((pseudo >> 16) % 3 != 0) {
            const int c = 'a' + i % 26;
            keyboard_queue(c);
            model.push_back(c);
            if (model.size() > 15) model.pop_front();
        } else {
            const std::string want = model.empty() ? "" : std::string(1, static_cast<char>(model.front()));
            if (!model.empty()) model.pop_front();
            ASSERT_EQ(read_key(), want) << "step " << i;
        }
    }
    while (!model.empty()) {
        EXPECT_EQ(read_key(), std::string(1, static_cast<char>(model.front())));
        model.pop_front();
    }
    EXPECT_EQ(read_key(), "");
}

TEST_F(KeyboardTest, ExtendedKeysReadAsTwoCharacters) {
    keyboard_queue(255 + 256 * KEY_UP);
    keyboard_queue(' ');
    keyboard_queue(KEY_CLOSE_CODE);
    keyboard_queue(255 + 256 * 59); // F1
    keyboard_queue(255);            // the character 255 itself
    keyboard_queue(0);
    EXPECT_EQ(read_key(), ext(72));
    EXPECT_EQ(read_key(), " ");
    EXPECT_EQ(read_key(), std::string("\xff" "k"));
    EXPECT_EQ(read_key(), ext(59));
    EXPECT_EQ(read_key(), std::string(1, static_cast<char>(255)));
    EXPECT_EQ(read_key(), std::string(1, '\0'));
    EXPECT_EQ(read_key(), "");
}

TEST_F(KeyboardTest, CodesThatAreNeitherCharacterNorExtendedAreRefused) {
    keyboard_queue(-1);
    keyboard_queue(256);
    keyboard_queue(255 + 256 * 256);
    keyboard_queue(1000);
    EXPECT_EQ(read_key(), "");
}

TEST_F(KeyboardTest, ResetAndSnapshotOfTheHeldTable) {
    keyboard_set_held(KEY_LEFT, true);
    keyboard_set_held(KEY_LSHIFT, true);
    unsigned char held[128];
    keyboard_held_table(held);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(held[i] != 0, i == KEY_LEFT || i == KEY_LSHIFT || i == KEY_RSHIFT) << i;
    keyboard_queue('x');
    keyboard_reset();
    EXPECT_FALSE(key_down(KEY_LEFT));
    EXPECT_EQ(read_key(), "");
}
