// platform.h -- the one small interface between the services and a window system.
//
// Two back-ends sit behind it:
//   window   (platform_sdl.cpp)      SDL2 on the process's main thread, the game on
//                                     a second thread; shows the visible page and
//                                     feeds the keyboard; can record the input.
//   headless (platform_headless.cpp) no window, no thread; key input comes from a
//                                     recording or from a test's tick hook.
// The game code cannot tell which one runs.
#pragma once

#include <cstdint>

struct Platform {
    const char* name;
    // Opens the 640 x 480 window (nothing for headless).  0 or error 1.
    int (*open_window)(int width, int height, const char* title);
    // The title changed after the window opened.
    void (*set_title)(const char* title);
    // The visible page changed: show it when you can (never waits).
    void (*present)();
    // One sleep_ms(ms): wait (unless running fast), then hand over the key
    // input of the next tick and advance the tick counter.
    void (*tick)(int ms);
    // Closes the window before the process ends.
    void (*close_window)();
};

// How a run is set up; filled from the command line by the shell.
struct RunOptions {
    bool headless = false;
    const char* replay_path = nullptr; // headless: play this recording back
    const char* record_path = nullptr; // window: write the input to this recording
    bool seed_given = false;
    uint32_t seed = 0;                 // --seed N (also stored in recordings)
    bool fast = false;                 // headless: skip the real waits
    long stop_tick = -1;               // headless: stop after this many ticks
    const char* stop_event = nullptr;  // headless: stop when this event is announced
    const char* shot_path = nullptr;   // where to save the work page when stopping
};

extern RunOptions run_options;

// The back-end in use; headless until the window back-end is chosen.
const Platform* platform();
void select_platform(const Platform* p);
extern const Platform headless_platform;
extern const Platform sdl_platform;

// Ticks (sleep_ms calls) since the program started.
long current_tick();

// The shell announces what it shows ("title", "infobox:Level 1", "frame", ...);
// a headless run given --stop-at with that name saves the work page to the
// shot file and ends with status 0.  A test or tool may also install a hook.
void announce_event(const char* name);
void set_event_hook(void (*hook)(const char* name));

// Headless: called at every tick with the tick number, before the recorded
// input of that tick is applied; tests use it to press keys.
void set_tick_hook(void (*hook)(long tick));

// Window back-end: runs game_main on a second thread while the calling (main)
// thread owns SDL; returns the status game_main ended with.
int run_with_window(int (*game_main)());
