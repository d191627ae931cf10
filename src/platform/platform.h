// platform.h -- the one small interface between the services and a window system.
//
// Three back-ends sit behind it:
//   window   (sdl_window.cpp)        SDL2 on the process's main thread, the game on
//                                     a second thread; shows the visible page and
//                                     feeds the keyboard; can record the input.
//   headless (headless.cpp)          no window, no thread; key input comes from a
//                                     recording or from a test's tick hook.
//   browser  (web.cpp)               emscripten only: a canvas and the page's keys;
//                                     each tick yields to the browser (Asyncify).
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
    // True where the program cannot end: a page cannot close itself, so
    // quitting on the title screen starts afresh there instead.
    bool stays_open;
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
    bool print_events = false;         // --events: print "tick <n> <name>" for every event
    // The window's size and mode.
    int window_scale = 0;              // --scale N (1 to 8); 0 = fit the desktop
    bool window_fit = false;           // --fit: any 4:3 size, not whole scales
    bool fullscreen = false;           // --fullscreen: start in desktop fullscreen
};

extern RunOptions run_options;

// The back-end in use; headless until the window back-end is chosen.
const Platform* platform();
// Chooses the back-end.  For headless with run_options.replay_path set it also
// reads the recording now (a malformed one: a message and exit status 2) and
// puts the recording's seed into run_options.seed / seed_given, so the shell
// seeds from it.  Called by main() after the command line is parsed.
void select_platform(const Platform* p);
extern const Platform headless_platform;
extern const Platform sdl_platform;
extern const Platform web_platform; // in the browser build only

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

// --- shared by the back-ends (run.cpp) ---------------------------------------

// Advances the tick counter by one and returns the new count.
long platform_count_tick();
// Calls the test's tick hook, if one is installed.
void platform_run_tick_hook(long tick);
// Ends the run as a stop does: saves the work page to run_options.shot_path
// when given, then end_program(0).
[[noreturn]] void platform_stop_run();
// Ends the run when run_options.stop_tick has been reached.
void platform_check_stop_tick(long tick);

// Key input as the window reports it.  Without a recording it goes straight
// to the keyboard; while a recording is made it is buffered and handed over at
// the next tick boundary by recording_tick(), so a replay sees exactly what
// the game saw.  Called on the window thread.
enum InputEventKind { INPUT_KEY_DOWN, INPUT_KEY_UP, INPUT_CLEAR_HELD, INPUT_QUEUE };
void input_event(InputEventKind kind, int value);
// Starts recording to path with the effective seed in the header; false if
// the file cannot be created.
bool recording_start(const char* path);
bool recording_active();
// Game thread, at open_window (tick 0) and at every tick: applies the
// buffered input and writes this tick's line.
void recording_tick();
// Writes what is pending and closes the file (at the end of the run).
void recording_stop();

// Test support: forgets hooks, replay, recording, options and the tick count.
void platform_reset_for_tests();

// Headless: replays this recording from the next open_window (null = none).
// The recording must stay alive while it is used.
struct Recording;
void headless_use_recording(const Recording* rec);
// Headless: reads the recording at path for the next open_window; on a
// malformed file returns false with the reason in *error.
bool headless_load_replay(const char* path, uint32_t* seed, const char** error);
