// test_window.cpp -- the window back-end: where the page goes in a window of
// any size, the starting scale, the window options, and a gamepad (SDL's
// virtual joystick, on SDL's dummy video driver) playing through the same
// path as keys, so that its recording replays headless to the same picture.
#include "main/options.h"
#include "main/shell.h"
#include "actors/player.h"
#include "services/bmp.h"
#include "services/fatal.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "port/platform.h"
#include "platform/run.h"
#include "platform/keymap.h"
#include "platform/window_core.h"
#include "platform/window_layout.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void expect_rect(const PageRect& r, int x, int y, int w, int h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
}

} // namespace

TEST(WindowLayout, WholeScalesAreCentredOnBlack) {
    expect_rect(page_rect(640, 480, false), 0, 0, 640, 480);
    expect_rect(page_rect(1600, 1000, false), 160, 20, 1280, 960);  // 2x, bars all round
    expect_rect(page_rect(1919, 1440, false), 319, 240, 1280, 960); // one pixel short of 3x wide
    expect_rect(page_rect(3840, 2160, false), 640, 120, 2560, 1920);
    expect_rect(page_rect(1281, 961, false), 0, 0, 1280, 960);      // odd spare pixel: left / top
}

TEST(WindowLayout, FitTakesTheLargest43RectangleAndSmallWindowsFit) {
    expect_rect(page_rect(1600, 1000, true), 133, 0, 1333, 1000);
    expect_rect(page_rect(1000, 1600, true), 0, 425, 1000, 750);
    expect_rect(page_rect(800, 600, true), 0, 0, 800, 600);
    // Smaller than one page: no whole scale fits, so the page shrinks to fit.
    expect_rect(page_rect(320, 400, false), 0, 80, 320, 240);
    expect_rect(page_rect(0, -5, false), 0, 0, 1, 1);
}

TEST(WindowLayout, StartScaleIsTheLargestThatFitsTheDesktop) {
    EXPECT_EQ(start_scale(1920, 1080), 2);
    EXPECT_EQ(start_scale(1920, 1040), 2); // a panel takes some lines: still 2x
    EXPECT_EQ(start_scale(3840, 2160), 4);
    EXPECT_EQ(start_scale(2000, 1600), 2); // width decides
    EXPECT_EQ(start_scale(1024, 768), 1);
    EXPECT_EQ(start_scale(640, 480), 1);   // nothing fits: 1x all the same
    EXPECT_EQ(start_scale(0, 0), 1);
    EXPECT_EQ(start_scale(100000, 100000), WINDOW_SCALE_MAX);
}

TEST(WindowOptions, ScaleFitAndFullscreen) {
    auto parse = [](std::vector<const char*> args, CommandLine* cl) {
        args.insert(args.begin(), "clovenfeld");
        FILE* sink = std::tmpfile();
        const int r = parse_options(static_cast<int>(args.size()), args.data(), cl, sink);
        std::fclose(sink);
        return r;
    };
    CommandLine cl;
    ASSERT_EQ(parse({}, &cl), OPTIONS_OK);
    EXPECT_EQ(cl.run.window_scale, 0);
    EXPECT_FALSE(cl.run.window_fit);
    EXPECT_FALSE(cl.run.fullscreen);
    ASSERT_EQ(parse({"--scale", "8", "--fit", "--fullscreen"}, &cl), OPTIONS_OK);
    EXPECT_EQ(cl.run.window_scale, 8);
    EXPECT_TRUE(cl.run.window_fit);
    EXPECT_TRUE(cl.run.fullscreen);
    for (const char* bad : {"0", "9", "2x", "", "-1"}) EXPECT_EQ(parse({"--scale", bad}, &cl), OPTIONS_BAD) << bad;
    EXPECT_EQ(parse({"--scale"}, &cl), OPTIONS_BAD);
}

TEST(WindowCore, OpenSizeAndPadSlots) {
    const RunOptions saved = run_options;
    int w = 0, h = 0;
    run_options.window_scale = 3; // --scale wins over the desktop
    window_open_size(1920, 1080, &w, &h);
    EXPECT_EQ(w * 10000 + h, 1920 * 10000 + 1440);
    run_options.window_scale = 0;
    window_open_size(1920, 1080, &w, &h);
    EXPECT_EQ(w * 10000 + h, 1280 * 10000 + 960);
    run_options = saved;

    // Pads by the back-end's ids: the first free slot, once each, reused.
    EXPECT_EQ(window_pad_added(70), 0);
    EXPECT_EQ(window_pad_added(71), 1);
    EXPECT_EQ(window_pad_added(70), -1); // reported twice
    EXPECT_EQ(window_pad_removed(70), 0);
    EXPECT_EQ(window_pad_removed(70), -1);
    EXPECT_EQ(window_pad_slot(71), 1);
    for (int id = 100; id < 100 + KEYMAP_MAX_PADS - 1; ++id) EXPECT_GE(window_pad_added(id), 0) << id;
    EXPECT_EQ(window_pad_added(99), -1); // every slot taken
    EXPECT_EQ(window_pad_slot(100), 0);
    for (int id = 100; id < 100 + KEYMAP_MAX_PADS - 1; ++id) window_pad_removed(id);
    EXPECT_EQ(window_pad_removed(71), 1);
}

// --- a gamepad in a window -----------------------------------------------------------

namespace {

// Files named after the test's process; the death test's child (a new
// process) learns its number from the environment.
std::string temp_file(const char* name) {
    const char* owner = std::getenv("CLOVENFELD_PAD_TEST");
    return std::string("/tmp/clovenfeld_window_") + (owner ? owner : std::to_string(getpid())) + name;
}
const std::string kPadRecording = temp_file("_pad.rec");
const std::string kPadShot = temp_file("_pad.bmp");
const std::string kReplayShot = temp_file("_replay.bmp");

// The game thread's view of the run: the last event, the virtual pad, and
// where the walk stands.
std::string g_event;
SDL_Joystick* g_pad = nullptr;
long g_press_at = -1;      // tick of the last A press, while one is going on
long g_walk_from = -1;     // tick the D-pad right went down
int g_walk_x = 0;          // player_x then
long g_right_seen = -1;    // tick the held-key table first showed Right
long g_released = -1;      // tick the D-pad right went up
long g_shot_tick = -1;
// The main thread passes the pad's changes on when the machine lets it: each
// wait for one gives up only after this many ticks (a hung test).
constexpr long kPatience = 2000;

void pad_event(const char* name) { g_event = name; }

// Presses A for 5 ticks (a press shorter than a tick could fall between two).
void tap_a(long tick) {
    if (g_press_at < 0) {
        SDL_JoystickSetVirtualButton(g_pad, SDL_CONTROLLER_BUTTON_A, 1);
        g_press_at = tick;
    } else if (tick - g_press_at == 5) {
        SDL_JoystickSetVirtualButton(g_pad, SDL_CONTROLLER_BUTTON_A, 0);
    } else if (tick - g_press_at > 30) {
        g_press_at = -1; // the game did not move on: press again
    }
}

// Drives the game from its tick hook (the game thread); ends the process with
// 0 when the walk went as it should, else with a status naming the fault.
void pad_tick(long tick) {
    if (tick == 1) {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "test pad";
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        g_pad = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        if (!g_pad) end_program(20);
        return;
    }
    if (tick > 10000) end_program(21); // the game never got where it should
    if (g_event == "title" || g_event == "infobox:Level 1") {
        tap_a(tick); // A starts a game, and closes the box
        return;
    }
    if (g_event != "level:1") return;
    if (g_press_at >= 0) SDL_JoystickSetVirtualButton(g_pad, SDL_CONTROLLER_BUTTON_A, 0);
    g_press_at = -1;
    if (g_walk_from < 0) {
        g_walk_x = player_x;
        g_walk_from = tick;
        SDL_JoystickSetVirtualButton(g_pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1);
    } else if (g_right_seen < 0) {
        if (key_down(KEY_RIGHT)) g_right_seen = tick;
        else if (tick - g_walk_from > kPatience) end_program(22);
    } else if (g_released < 0) {
        if (tick - g_right_seen == 40) {
            SDL_JoystickSetVirtualButton(g_pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0);
            g_released = tick;
        }
    } else if (g_shot_tick < 0) {
        if (key_down(KEY_RIGHT)) {
            if (tick - g_released > kPatience) end_program(23);
            return;
        }
        if (player_x <= g_walk_x) end_program(24);
        if (save_bitmap(kPadShot.c_str()) != 0) end_program(25);
        g_shot_tick = tick;
    } else if (tick - g_shot_tick == 3) {
        // The ticks up to the shot are in the recording.
        std::FILE* f = std::fopen((kPadShot + ".tick").c_str(), "w");
        if (!f) end_program(26);
        std::fprintf(f, "%ld\n", g_shot_tick);
        std::fclose(f);
        end_program(0);
    }
}

void play_with_pad() {
    if (chdir(GAME_DIR) != 0) _exit(30);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The dummy driver's window never has the focus; pads still count.
    setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
    run_reset_for_tests();
    run_options.seed_given = true;
    run_options.seed = 11;
    run_options.record_path = kPadRecording.c_str();
    select_platform(&sdl_platform);
    set_event_hook(pad_event);
    set_tick_hook(pad_tick);
    _exit(run_with_window(GAME_MAIN) == 0 ? 31 : 32);
}

std::vector<char> file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(WindowGamepad, APadStartsAGameAndWalksTheSameWayAReplayDoes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("CLOVENFELD_PAD_TEST", std::to_string(getpid()).c_str(), 1);
    EXPECT_EXIT(play_with_pad(), ::testing::ExitedWithCode(0), "");
    long tick = -1;
    std::ifstream(kPadShot + ".tick") >> tick;
    ASSERT_GT(tick, 0);
    // The recording, replayed headless by the program, stops on the same picture.
    const std::string cmd = std::string("cd '") + GAME_DIR + "' && ./clovenfeld --replay '" + kPadRecording +
                            "' --fast --stop-tick " + std::to_string(tick) + " --shot '" + kReplayShot + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::vector<char> window = file_bytes(kPadShot), replay = file_bytes(kReplayShot);
    EXPECT_EQ(window.size(), 1228854u);
    EXPECT_TRUE(window == replay) << "the pad's recording replays to a different picture";
    for (const std::string& p : {kPadRecording, kPadShot, kPadShot + ".tick", kReplayShot}) std::remove(p.c_str());
}

// --- the mouse and a finger in a window ------------------------------------------------

namespace {

void push_mouse(Uint32 type, int x, int y) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = x;
        e.button.y = y;
    }
    SDL_PushEvent(&e);
}

// From the game thread: the back-end's events pushed at tick 5, then read
// back as page pixels; ends the process with 0, or a status naming the fault.
void pointer_tick(long tick) {
    static std::vector<PointerEvent> got;
    if (tick == 5) {
        // At 2x: window pixel 201, 101 is page pixel 100, 50.
        push_mouse(SDL_MOUSEMOTION, 201, 101);
        push_mouse(SDL_MOUSEBUTTONDOWN, 201, 101);
        push_mouse(SDL_MOUSEBUTTONUP, 203, 103);
        SDL_Event f;
        SDL_zero(f);
        f.type = SDL_FINGERDOWN;
        f.tfinger.fingerId = 7;
        f.tfinger.x = 0.5f;
        f.tfinger.y = 0.25f;
        SDL_PushEvent(&f);
        return;
    }
    if (tick < 5) return;
    PointerEvent e;
    while (pointer_next(&e)) got.push_back(e);
    if (got.size() < 4) {
        if (tick > 5 + kPatience) end_program(40);
        return;
    }
    const int want[4][4] = {{POINTER_MOVE, 100, 50, 0},
                            {POINTER_DOWN, 100, 50, POINTER_LEFT},
                            {POINTER_UP, 101, 51, POINTER_LEFT},
                            {POINTER_TOUCH_DOWN, 320, 120, 7}};
    for (int i = 0; i < 4; i++)
        if (got[i].kind != want[i][0] || got[i].x != want[i][1] || got[i].y != want[i][2] || got[i].value != want[i][3])
            end_program(41 + i);
    end_program(got.size() == 4 ? 0 : 45);
}

void point_in_window() {
    if (chdir(GAME_DIR) != 0) _exit(30);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    run_reset_for_tests();
    pointer_reset();
    run_options.window_scale = 2;
    select_platform(&sdl_platform);
    set_tick_hook(pointer_tick);
    _exit(run_with_window(GAME_MAIN) == 0 ? 31 : 32);
}

} // namespace

TEST(WindowPointer, MouseAndFingerReachThePageInPagePixels) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(point_in_window(), ::testing::ExitedWithCode(0), "");
}
