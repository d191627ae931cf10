// test_pause_menu.cpp -- the window back-ends' pause menu and its overlay:
// the keys that resume, mute and quit; K binding the keys one by one, named
// as players know them, a key already used refused and the old key kept as
// the second; the overlay's own box; and Y to "Quit?" in a real window
// (SDL's dummy driver) ending the game as Escape does, in a box, in play and
// on the title, recorded so that a headless replay sees every event at the
// same tick.
#include "main/shell.h"
#include "platform/overlay.h"
#include "platform/platform.h"
#include "platform/run.h"
#include "platform/session.h"
#include "services/fatal.h"
#include "test_hooks.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string lines(void) {
    OverlayText t;
    pause_menu_text(&t);
    std::string all;
    for (int i = 0; i < t.count; ++i) all += std::string(t.lines[i]) + "\n";
    return all;
}

bool shows(const char* text) { return lines().find(text) != std::string::npos; }

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
    EXPECT_EQ(pause_menu_key(USAGE_ESCAPE), PAUSE_STAY);
    EXPECT_TRUE(shows("Quit? Y/N"));
    EXPECT_EQ(pause_menu_key(letter('N')), PAUSE_STAY);
    EXPECT_FALSE(shows("Quit?"));
    pause_menu_key(USAGE_ESCAPE);
    EXPECT_EQ(pause_menu_key(letter('Y')), PAUSE_QUIT);
}

TEST_F(PauseMenuKeys, KBindsEachKeyInTurnNamedAsPlayersKnowThem) {
    pause_menu_key(letter('K'));
    EXPECT_TRUE(shows("Press a key for LEFT (Esc keeps Left arrow)"));
    pause_menu_key(letter('D')); // Left is D, and the Left arrow still
    EXPECT_TRUE(shows("Press a key for RIGHT (Esc keeps Right arrow)"));
    pause_menu_key(letter('D')); // refused: Left has it
    EXPECT_TRUE(shows("D is already bound to LEFT"));
    EXPECT_TRUE(shows("Press a key for RIGHT"));
    pause_menu_key(92); // keypad 4
    EXPECT_FALSE(shows("already")); // the message went with the next key
    EXPECT_TRUE(shows("Press a key for UP (Esc keeps Up arrow)"));
    pause_menu_key(USAGE_UP); // the key it has: kept once
    for (int a = BIND_DOWN; a < BIND_COUNT; ++a) pause_menu_key(USAGE_ESCAPE); // the rest kept
    EXPECT_TRUE(shows("Keys saved"));
    KeyBindings b;
    session_bindings(&b);
    const unsigned char left[2] = {static_cast<unsigned char>(letter('D')), USAGE_LEFT};
    const unsigned char right[2] = {92, USAGE_RIGHT}, up[2] = {USAGE_UP, 0};
    EXPECT_EQ(std::memcmp(b.keys[BIND_LEFT], left, 2), 0);
    EXPECT_EQ(std::memcmp(b.keys[BIND_RIGHT], right, 2), 0);
    EXPECT_EQ(std::memcmp(b.keys[BIND_UP], up, 2), 0);

    // "Keys saved" goes with the next key; the next K shows both keys, and
    // the old second goes when a new first comes.
    EXPECT_EQ(pause_menu_key(USAGE_ESCAPE), PAUSE_STAY);
    EXPECT_FALSE(shows("Keys saved"));
    pause_menu_key(letter('N'));
    pause_menu_key(letter('K'));
    EXPECT_TRUE(shows("Press a key for LEFT (Esc keeps D, Left arrow)"));
    pause_menu_key(USAGE_LEFT); // the second becomes the first
    pause_menu_key(letter('L')); // for Right: Keypad 4 stays, the Right arrow goes
    for (int a = BIND_UP; a < BIND_COUNT; ++a) pause_menu_key(USAGE_ESCAPE);
    session_bindings(&b);
    const unsigned char left2[2] = {USAGE_LEFT, static_cast<unsigned char>(letter('D'))};
    const unsigned char right2[2] = {static_cast<unsigned char>(letter('L')), 92};
    EXPECT_EQ(std::memcmp(b.keys[BIND_LEFT], left2, 2), 0);
    EXPECT_EQ(std::memcmp(b.keys[BIND_RIGHT], right2, 2), 0);
    EXPECT_TRUE(shows("Keys saved"));
    pause_menu_open(); // a new pause starts clean
    EXPECT_FALSE(shows("Keys saved"));
}

// The overlay's lines stand on their own box: over the title, whose "Press
// [Escape] to Quit" line is where "Paused" goes, no picture shows among them.
TEST(PauseOverlay, TheLinesStandOnTheirOwnBoxOverAnyPicture) {
    static uint32_t bright[OVERLAY_WIDTH * OVERLAY_HEIGHT], dark[OVERLAY_WIDTH * OVERLAY_HEIGHT],
        blend[OVERLAY_WIDTH * OVERLAY_HEIGHT];
    for (int i = 0; i < OVERLAY_WIDTH * OVERLAY_HEIGHT; ++i) {
        const int x = i % OVERLAY_WIDTH, y = i / OVERLAY_WIDTH;
        // Text-like stripes on the title's line 10 (y 210 to 225), white elsewhere.
        bright[i] = y >= 210 && y < 226 ? ((x + y) % 3 ? 0xFFFFFF00u : 0xFF000000u) : 0xFFFFFFFFu;
        dark[i] = 0xFF000000u;
    }
    OverlayText text;
    overlay_pause_text(&text, "Quit? Y/N");
    overlay_draw(bright, OVERLAY_WIDTH, text, true);
    overlay_draw(dark, OVERLAY_WIDTH, text, true);
    overlay_draw(blend, OVERLAY_WIDTH, text, false); // for a presenter to blend
    // The help line is the widest: 55 characters, centred; three lines from y 192.
    const int x0 = 320 - 4 * 55, x1 = 320 + 4 * 55, y0 = 192, y1 = 192 + 2 * 32 + 16;
    for (int y = y0 - 4; y < y1 + 4; ++y)
        for (int x = x0 - 4; x < x1 + 4; ++x) {
            const int i = y * OVERLAY_WIDTH + x;
            ASSERT_EQ(bright[i], dark[i]) << "the picture shows through at " << x << "," << y;
            ASSERT_EQ(blend[i] >> 24, 0xFFu) << "a see-through pixel at " << x << "," << y;
        }
    // Outside the box the picture is dimmed, still there.
    EXPECT_EQ(bright[10], 0xFF3F3F3Fu);
    EXPECT_EQ(blend[10], 0xA0000000u);
    int yellow = 0; // "Paused" is drawn
    for (int y = y0; y < y0 + 16; ++y)
        for (int x = 296; x < 344; ++x) yellow += dark[y * OVERLAY_WIDTH + x] == 0xFFFFFF00u;
    EXPECT_GT(yellow, 20);
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

void quit_event(const char* name) {
    g_seen.emplace_back(name);
    g_event_tick = current_tick();
    std::fprintf(g_log, "tick %ld %s\n", g_event_tick, name);
    std::fflush(g_log);
}

void push_key(SDL_Scancode sc, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc;
    SDL_PushEvent(&e);
}

// P, Escape, Y: the pause menu's quit, through the window's own events.
void menu_quit() {
    for (const SDL_Scancode sc : {SDL_SCANCODE_P, SDL_SCANCODE_ESCAPE, SDL_SCANCODE_Y}) {
        push_key(sc, true);
        push_key(sc, false);
    }
}

// The game thread's tick: answers each new event once, a few ticks after it.
// First game: quit in the "Level 1" box; second: quit in play; then quit on
// the title, which ends the program.  Space closes the other boxes.
void quit_tick(long tick) {
    if (tick > 4000) end_program(21); // the game never got where it should
    if (g_acted == g_seen.size() || tick < g_event_tick + 8) return;
    const std::string& e = g_seen[g_acted++];
    const int titles = static_cast<int>(std::count(g_seen.begin(), g_seen.end(), "title"));
    const bool quit = (e == "infobox:Level 1" && titles == 1) || (e == "level:1" && titles == 2) || titles == 3;
    if (quit) menu_quit();
    else if (e != "level:1") input_event(INPUT_QUEUE, ' ');
}

void play_and_quit() {
    if (chdir(GAME_DIR) != 0) _exit(30);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    g_log = std::fopen(quit_file("_window.events").c_str(), "w");
    if (!g_log) _exit(31);
    platform_reset_for_tests();
    run_options.seed_given = true;
    run_options.seed = 5;
    static const std::string recording = quit_file("_quit.rec");
    run_options.record_path = recording.c_str();
    select_platform(&sdl_platform);
    set_event_hook(quit_event);
    set_tick_hook(quit_tick);
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
