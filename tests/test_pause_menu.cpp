// test_pause_menu.cpp -- the window back-ends' pause menu: the keys that
// resume, mute and quit, and K binding the keys one by one, a key already
// used refused.
#include "platform/overlay.h"
#include "platform/session.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string lines(void) {
    OverlayText t;
    pause_menu_text(&t);
    std::string all;
    for (int i = 0; i < t.count; ++i) all += std::string(t.lines[i]) + "\n";
    return all;
}

int letter(char c) { return USAGE_A + (c - 'A'); }

} // namespace

TEST(PauseMenu, KeysResumeMuteAndQuitOnlyAfterYes) {
    pause_menu_open();
    EXPECT_EQ(pause_menu_key(letter('P')), PAUSE_RESUME);
    EXPECT_EQ(pause_menu_key(letter('M')), PAUSE_MUTE);
    EXPECT_EQ(pause_menu_key(USAGE_F11), PAUSE_FULLSCREEN);
    EXPECT_EQ(pause_menu_key(USAGE_ESCAPE), PAUSE_STAY);
    EXPECT_NE(lines().find("Quit? Y/N"), std::string::npos);
    EXPECT_EQ(pause_menu_key(letter('N')), PAUSE_STAY);
    EXPECT_EQ(lines().find("Quit?"), std::string::npos);
    pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(pause_menu_key(letter('Y')), PAUSE_QUIT);
}

TEST(PauseMenu, KBindsEachKeyInTurnAndRefusesOneAlreadyUsed) {
    RunOptions run;
    session_start(nullptr, false, &run); // a run with no settings file
    pause_menu_open();
    pause_menu_key(letter('K'));
    EXPECT_NE(lines().find("Press a key for LEFT"), std::string::npos);
    pause_menu_key(letter('D')); // Left is D
    EXPECT_NE(lines().find("Press a key for RIGHT"), std::string::npos);
    pause_menu_key(letter('D')); // refused: Left has it
    EXPECT_NE(lines().find("KeyD is already left"), std::string::npos);
    EXPECT_NE(lines().find("Press a key for RIGHT"), std::string::npos);
    for (int a = BIND_RIGHT; a < BIND_COUNT; ++a) pause_menu_key(USAGE_ESCAPE); // the rest kept
    EXPECT_NE(lines().find("Keys saved"), std::string::npos);
    EXPECT_EQ(pause_menu_key(letter('P')), PAUSE_RESUME); // the menu is back at its start
    KeyBindings b;
    session_bindings(&b);
    EXPECT_EQ(b.keys[BIND_LEFT][0], letter('D'));
    EXPECT_EQ(b.keys[BIND_RIGHT][0], USAGE_RIGHT);
    KeyBindings defaults;
    keymap_default_bindings(&defaults);
    char message[BIND_MESSAGE_CHARS];
    keymap_set_bindings(defaults, message, sizeof message);
    session_reset_for_tests();
}
