// test_pause_menu.cpp -- the window back-ends' pause menu and its overlay:
// the keys that resume, mute and quit; K binding the keys one by one, named
// as players know them, a key already used refused and the old key kept as
// the second; the overlay's own box; and Y to "Quit?" in a real window
// (SDL's dummy driver) ending the game as Escape does, in a box, in play and
// on the title, recorded so that a headless replay sees every event at the
// same tick.
#include "main/shell.h"
#include "platform/overlay.h"
#include "platform/pack.h"
#include "platform/records.h"
#include "services/game_events.h"
#include "port/platform.h"
#include "platform/run.h"
#include "platform/session.h"
#include "port/datadir.h"
#include "services/fatal.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// True when a line of the menu's overlay holds text.
bool shows(const char* text) {
    OverlayText t;
    pause_menu_text(&t);
    for (int i = 0; i < t.count; ++i)
        if (std::strstr(t.lines[i], text) != nullptr) return true;
    return false;
}

int letter(char c) { return USAGE_A + (c - 'A'); }

// A run with no settings file, and the default keys again afterwards.
class PauseMenuKeys : public ::testing::Test {
protected:
    void SetUp() override {
        RunOptions run;
        session_start(nullptr, false, &run);
        pause_menu_open();
    }
    void TearDown() override {
        KeyBindings defaults;
        keymap_default_bindings(&defaults);
        char message[BIND_MESSAGE_CHARS];
        keymap_set_bindings(defaults, message, sizeof message);
        session_reset_for_tests();
    }
};

} // namespace

TEST(PauseMenu, KeysResumeMuteAndQuitOnlyAfterYes) {
    pause_menu_open();
    EXPECT_EQ(pause_menu_key(letter('P')), PAUSE_RESUME);
    EXPECT_EQ(pause_menu_key(letter('M')), PAUSE_MUTE);
    EXPECT_EQ(pause_menu_key(USAGE_F11), PAUSE_FULLSCREEN);
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED);
    EXPECT_EQ(pause_menu_key(USAGE_ESCAPE), PAUSE_STAY);
    EXPECT_TRUE(shows("Quit? Y/N"));
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_QUIT); // the page's Yes and No follow it
    EXPECT_EQ(pause_menu_key(letter('N')), PAUSE_STAY);
    EXPECT_FALSE(shows("Quit?"));
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED);
    pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(pause_menu_key(letter('Y')), PAUSE_QUIT);
    pause_menu_open();
    pause_menu_key(letter('K'));
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_KEYS);
    pause_menu_open();
}

TEST_F(PauseMenuKeys, KBindsEachKeyInTurnNamedAsPlayersKnowThemKeepingTheOldOneSecond) {
    auto keys = [](int action) { // "D, Left arrow": the action's keys in use
        KeyBindings b;
        session_bindings(&b);
        std::string all;
        for (const unsigned char k : b.keys[action])
            if (k != 0) all += (all.empty() ? "" : ", ") + std::string(keymap_key_name(k));
        return all;
    };
    pause_menu_key(letter('K'));
    EXPECT_TRUE(shows("Press a key for LEFT (Esc keeps Left arrow)"));
    pause_menu_key(letter('D'));
    pause_menu_key(letter('D')); // refused: Left has it
    EXPECT_TRUE(shows("D is already bound to LEFT"));
    pause_menu_key(92);
    EXPECT_FALSE(shows("already")); // the message went with the next key
    pause_menu_key(USAGE_UP); // the key Up has: held once
    for (int a = BIND_DOWN; a < BIND_COUNT; ++a) pause_menu_key(USAGE_ESCAPE); // the rest kept
    EXPECT_TRUE(shows("Keys saved"));
    EXPECT_EQ(keys(BIND_LEFT) + "; " + keys(BIND_RIGHT) + "; " + keys(BIND_UP),
              "D, Left arrow; Keypad 4, Right arrow; Up arrow");
    EXPECT_EQ(pause_menu_key(USAGE_ESCAPE), PAUSE_STAY);
    EXPECT_FALSE(shows("Keys saved")); // gone with the next key
    pause_menu_key(letter('N'));
    pause_menu_key(letter('K'));
    EXPECT_TRUE(shows("Press a key for LEFT (Esc keeps D, Left arrow)"));
    pause_menu_key(USAGE_LEFT);  // the second becomes the first
    pause_menu_key(letter('L')); // the old second goes
    for (int a = BIND_UP; a < BIND_COUNT; ++a) pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(keys(BIND_LEFT) + "; " + keys(BIND_RIGHT), "Left arrow, D; L, Keypad 4");
    pause_menu_open(); // a new pause starts clean
    EXPECT_FALSE(shows("Keys saved"));
}

// The overlay's lines stand on their own box: over the title, whose "Press
// [Escape] to Quit" line (y 210 to 225) is where "Paused" goes, no picture
// shows among them, drawn over the picture or for a presenter to blend.
// On the title screen C lists the level packs, the game's own first, then
// those installed; Enter plays the one chosen from then on, in the settings
// too, and its levels are the ones the game loads; the first entry puts the
// game's own back.
TEST_F(PauseMenuKeys, TheTitlesPackListChoosesThePackPlayedAndKeepsItInTheSettings) {
    char data[] = "/tmp/clovenfeld_packs_XXXXXX";
    ASSERT_NE(mkdtemp(data), nullptr);
    const std::string home = data;
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string kept = old != nullptr ? old : "";
    setenv("XDG_DATA_HOME", data, 1);
    std::filesystem::create_directories(home + "/clovenfeld/packs");
    std::filesystem::copy(SOURCE_DIR "/assets/packs/example", home + "/clovenfeld/packs/example",
                          std::filesystem::copy_options::recursive);
    note_shell_wait(SHELL_PLAYS);
    pause_menu_key(letter('C'));
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED) << "no pack list during play";
    note_shell_wait(SHELL_ON_TITLE);
    EXPECT_TRUE(shows("C packs"));
    pause_menu_key(letter('C'));
    ASSERT_EQ(pause_menu_state(), PAUSE_MENU_PACKS);
    EXPECT_TRUE(shows("Clovenfeld"));
    EXPECT_TRUE(shows("1 of 2"));
    pause_menu_key(USAGE_RIGHT);
    pause_menu_key(USAGE_RIGHT);
    EXPECT_TRUE(shows("Three Small Rooms"));
    EXPECT_EQ(pause_menu_key(USAGE_RETURN), PAUSE_STAY);
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED);
    EXPECT_STREQ(pack_in_use(), "example");
    char id[PACK_ID_CHARS], path[512];
    session_pack(id, sizeof id);
    EXPECT_STREQ(id, "example");
    ASSERT_EQ(data_file_path("levels\\2.bmp", path, sizeof path), 0);
    EXPECT_EQ(std::string(path), home + "/clovenfeld/packs/example/levels/2.bmp");
    pause_menu_key(letter('C'));
    EXPECT_TRUE(shows("2 of 2"));
    pause_menu_key(USAGE_LEFT);
    pause_menu_key(USAGE_RETURN);
    EXPECT_STREQ(pack_in_use(), "");
    session_pack(id, sizeof id);
    EXPECT_STREQ(id, PACK_BUILT_IN);
    ASSERT_EQ(data_file_path("levels\\2.bmp", path, sizeof path), 0);
    EXPECT_EQ(std::string(path).find("packs"), std::string::npos);
    note_shell_wait(SHELL_PLAYS);
    if (old != nullptr) setenv("XDG_DATA_HOME", kept.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(home);
}

// A opens the assists; 1 to 4 step each through its values (the speed down
// in tens, round to 100; the lives 3, 5, 9, unlimited, 3), the settings and
// the next game's play assists follow; Esc goes back to "Paused".
TEST_F(PauseMenuKeys, AssistsPageStepsEachAssistAndTheNextGameTakesThem) {
    EXPECT_EQ(pause_menu_key(letter('A')), PAUSE_STAY);
    ASSERT_EQ(pause_menu_state(), PAUSE_MENU_ASSISTS);
    EXPECT_TRUE(shows("1  Game speed: 100%"));
    std::vector<int> speeds;
    for (int i = 0; i < 6; ++i) {
        pause_menu_key(USAGE_1);
        speeds.push_back(session_assists().game_speed);
    }
    EXPECT_EQ(speeds, (std::vector<int>{90, 80, 70, 60, 50, 100}));
    std::vector<int> lives;
    for (int i = 0; i < 4; ++i) {
        pause_menu_key(USAGE_1 + 2);
        lives.push_back(session_play_assists().lives);
    }
    EXPECT_EQ(lives, (std::vector<int>{5, 9, ASSIST_LIVES_UNLIMITED, 0}));
    pause_menu_key(USAGE_1 + 1);
    pause_menu_key(USAGE_1 + 3);
    EXPECT_TRUE(session_play_assists().ladder_help);
    EXPECT_TRUE(session_assists().enemies_on_map);
    EXPECT_TRUE(shows("2  Ladder help: on"));
    EXPECT_TRUE(shows("4  Swans and duck on the map: on"));
    pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED);
    session_note_assists(AssistSettings{});
}

// On the title screen L lists the levels reached (the records' furthest):
// Left and Right choose within them, Enter asks for a practice game of the
// one chosen; elsewhere L does nothing.  R shows the records.
TEST_F(PauseMenuKeys, TheTitlesLevelListOffersTheLevelsReachedForPractice) {
    char path[] = "/tmp/clovenfeld_levels_XXXXXX";
    ASSERT_NE(mkdtemp(path), nullptr);
    records_reset_for_tests();
    records_start((std::string(path) + "/records.ini").c_str());
    for (const char* e : {"level:1", "score:500", "level:2", "score:900", "level:3"}) records_hear(e, 10);
    note_shell_wait(SHELL_PLAYS);
    pause_menu_key(letter('L'));
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED) << "no level list during play";
    EXPECT_EQ(pause_menu_key(letter('E')), PAUSE_STAY) << "no editor during play";
    note_shell_wait(SHELL_ON_TITLE);
    EXPECT_TRUE(shows("L practice"));
    EXPECT_TRUE(shows("E editor"));
    EXPECT_EQ(pause_menu_key(letter('E')), PAUSE_EDITOR);
    pause_menu_key(letter('L'));
    ASSERT_EQ(pause_menu_state(), PAUSE_MENU_LEVELS);
    EXPECT_TRUE(shows("Levels 1 to 3 reached"));
    for (int i = 0; i < 5; ++i) pause_menu_key(USAGE_RIGHT);
    EXPECT_EQ(pause_menu_practice_level(), 3);
    pause_menu_key(USAGE_LEFT);
    EXPECT_EQ(pause_menu_key(USAGE_RETURN), PAUSE_PRACTICE);
    EXPECT_EQ(pause_menu_practice_level(), 2);
    pause_menu_key(letter('R'));
    EXPECT_TRUE(shows("furthest level 3"));
    pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(pause_menu_state(), PAUSE_MENU_PAUSED);
    note_shell_wait(SHELL_PLAYS);
    records_reset_for_tests();
    std::filesystem::remove_all(path);
}

TEST(PauseOverlay, TheLinesStandOnTheirOwnBoxOverAnyPicture) {
    enum { W = OVERLAY_WIDTH, H = OVERLAY_HEIGHT };
    static uint32_t lit[W * H], dark[W * H], blend[W * H];
    for (int i = 0; i < W * H; ++i) lit[i] = i / W >= 210 && i / W < 226 && i % 3 ? 0xFFFFFF00u : 0xFFFFFFFFu;
    std::fill(dark, dark + W * H, 0xFF000000u);
    OverlayText text;
    overlay_pause_text(&text, "Quit? Y/N"); // 3 lines from y 192, the widest 55 characters
    overlay_draw(lit, W, text, true);
    overlay_draw(dark, W, text, true);
    overlay_draw(blend, W, text, false);
    for (int y = 188; y < 276; ++y)
        for (int x = 320 - 4 * 55 - 4; x < 320 + 4 * 55 + 4; ++x) {
            ASSERT_EQ(lit[y * W + x], dark[y * W + x]) << "the picture shows through at " << x << "," << y;
            ASSERT_EQ(blend[y * W + x] >> 24, 0xFFu) << "a see-through pixel at " << x << "," << y;
        }
    EXPECT_EQ(lit[10], 0xFF3F3F3Fu); // the picture dimmed outside the box
    EXPECT_EQ(blend[10], 0xA0000000u);
    EXPECT_GT(std::count(dark + 192 * W, dark + 208 * W, 0xFFFFFF00u), 20); // "Paused"
}

// --- Y to "Quit?" in a window --------------------------------------------------------

namespace {

// Files named after the test's process; the death test's child learns its
// number from the environment.
std::string quit_file(const char* name) {
    const char* owner = std::getenv("CLOVENFELD_QUIT_TEST");
    return std::string("/tmp/clovenfeld_quit_") + (owner ? owner : std::to_string(getpid())) + name;
}

std::FILE* g_log = nullptr;
std::vector<std::string> g_seen; // the events so far
long g_event_tick = 0;           // when the last one came
size_t g_acted = 0;              // the events acted on

// P, Escape, Y: the pause menu's quit, through the window's own events.
void menu_quit() {
    for (const SDL_Scancode sc : {SDL_SCANCODE_P, SDL_SCANCODE_ESCAPE, SDL_SCANCODE_Y})
        for (const bool down : {true, false}) {
            SDL_Event e{};
            e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.keysym.scancode = sc;
            SDL_PushEvent(&e);
        }
}

// A recorded game in a window whose tick answers each new event once, 8
// ticks after it.  First game: quit in the "Level 1" box; second: quit in
// play; then quit on the title, which ends the program.  Space closes the
// other boxes.
void play_and_quit() {
    if (chdir(GAME_DIR) != 0) _exit(30);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    g_log = std::fopen(quit_file("_window.events").c_str(), "w");
    if (!g_log) _exit(31);
    run_reset_for_tests();
    run_options.seed_given = true;
    static const std::string recording = quit_file("_quit.rec");
    run_options.record_path = recording.c_str();
    select_platform(&sdl_platform);
    set_event_hook([](const char* name) {
        g_seen.emplace_back(name);
        g_event_tick = current_tick();
        std::fprintf(g_log, "tick %ld %s\n", g_event_tick, name);
        std::fflush(g_log);
    });
    set_tick_hook([](long tick) {
        if (tick > 4000) end_program(21); // the game never got where it should
        if (g_acted == g_seen.size() || tick < g_event_tick + 8) return;
        const std::string& e = g_seen[g_acted++];
        const auto titles = std::count(g_seen.begin(), g_seen.end(), "title");
        if ((e == "infobox:Level 1" && titles == 1) || (e == "level:1" && titles == 2) || titles == 3) menu_quit();
        else if (e != "level:1") input_event(INPUT_QUEUE, ' ');
    });
    _exit(run_with_window(GAME_MAIN) == 0 ? 32 : 33);
}

std::string file_text(const std::string& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(PauseMenuWindow, YesToQuitEndsTheGameAsEscapeDoesAndTheProgramOnlyOnTheTitle) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("CLOVENFELD_QUIT_TEST", std::to_string(getpid()).c_str(), 0); // the child keeps the parent's
    EXPECT_EXIT(play_and_quit(), ::testing::ExitedWithCode(0), "");
    const std::string window = file_text(quit_file("_window.events"));
    std::vector<std::string> names; // "tick N NAME" without "tick N "
    std::istringstream in(window);
    for (std::string line; std::getline(in, line);) names.push_back(line.substr(line.find(' ', 5) + 1));
    // Quit in the box: the level starts and ends at once; quit in play: the
    // final score; quit on the title: the end of the program.
    const std::vector<std::string> want = {
        "title", "infobox:Level 1", "level:1", "infobox:Final Score: 0", "title",
        "infobox:Level 1", "level:1", "infobox:Final Score: 0", "title",
    };
    EXPECT_EQ(names, want) << window;
    // The recording, replayed headless by the program, has every event at its tick.
    const std::string replay = quit_file("_replay.events");
    const std::string cmd = std::string("cd '") + GAME_DIR + "' && ./clovenfeld --replay '" + quit_file("_quit.rec") +
                            "' --fast --events | grep -v ' sound:' > '" + replay + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(file_text(replay), window);
    for (const char* f : {"_window.events", "_quit.rec", "_replay.events"}) std::remove(quit_file(f).c_str());
}
