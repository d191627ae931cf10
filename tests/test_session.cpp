// test_session.cpp -- the settings around a run: the file fills only what the
// command line left unset, the player's changes are saved line by line, and
// a run that names no file reads none.
#include "platform/session.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct SessionTest : ::testing::Test {
    std::string path = "/tmp/clovenfeld-session-" + std::to_string(getpid()) + ".ini";
    void TearDown() override {
        std::remove(path.c_str());
        session_reset_for_tests();
        KeyBindings defaults;
        keymap_default_bindings(&defaults);
        char message[BIND_MESSAGE_CHARS];
        keymap_set_bindings(defaults, message, sizeof message);
    }
};

} // namespace

TEST_F(SessionTest, TheCommandLineWinsAndOnlyThePlayersChangesAreSaved) {
    const std::string text = "# mine\nscale = 3\nfullscreen = true\nmute = true\nvolume = 40\nkey.left = KeyA\n";
    std::ofstream(path) << text;
    RunOptions run;
    run.window_scale = 2; // --scale 2
    session_start(path.c_str(), false, &run);
    EXPECT_EQ(run.window_scale, 2);
    EXPECT_TRUE(run.fullscreen);
    EXPECT_TRUE(run.mute);
    EXPECT_EQ(run.volume, 40);
    EXPECT_EQ(keymap_window_action(USAGE_A), BIND_NONE);
    KeyBindings b;
    session_bindings(&b);
    EXPECT_EQ(b.keys[BIND_LEFT][0], USAGE_A);

    session_save(); // nothing changed: nothing written
    EXPECT_EQ(slurp(path), text);
    session_note_fullscreen(false);
    session_save();
    EXPECT_EQ(slurp(path), "# mine\nscale = 3\nfullscreen = false\nmute = true\nvolume = 40\nkey.left = KeyA\n");
}

TEST_F(SessionTest, ARunThatNamesNoFileReadsNone) {
    std::ofstream(path) << "fullscreen = true\nvolume = 5\n";
    RunOptions run;
    session_start(nullptr, false, &run); // headless, or --no-settings
    EXPECT_FALSE(run.fullscreen);
    EXPECT_EQ(run.volume, -1);
    session_note_mute(true);
    session_save();
    EXPECT_EQ(slurp(path), "fullscreen = true\nvolume = 5\n");
}
