// platform.h -- the one small interface between the services and a window system.
//
// Four back-ends sit behind it (platform/):
//   window   (sdl_window.cpp)        SDL2 on the process's main thread, the game on
//                                     a second thread; shows the visible page and
//                                     feeds the keyboard; can record the input.
//   windows  (win32_window.cpp)      the same on Windows' own window system, in the
//                                     Windows build only.
//   headless (headless.cpp)          no window, no thread; key input comes from a
//                                     recording or from a test's tick hook.
//   browser  (web.cpp)               emscripten only: a canvas and the page's keys;
//                                     each tick yields to the browser (Asyncify).
// The game code cannot tell which one runs, and no code asks: what differs
// is said by the fields of Platform.  The back-ends and run control (ticks,
// events, recordings, replays, choosing a back-end) live above the services,
// in platform/; this file and the rest of port/ are what the services stand
// on, and include nothing of the game's.
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
    // True when the back-end reads the visible page to show it: show_page
    // then pays the page's owed fills on the game thread (screen.cpp).
    bool reads_shown_page;
    // Shows a short message over the picture for about two seconds, never in
    // the game's pages (null: the back-end has no picture to show it on).
    void (*banner)(const char* text);
};

// The back-end in use: the one installed last, or until then the null
// back-end (no window, ticks that pass at once, nothing shown), so a program
// that never chooses one still runs the services.  (platform.cpp)
const Platform* platform();
// Makes p the back-end in use (null: the null back-end again).  Run control
// calls it when a back-end is chosen (select_platform, run.h).
void install_platform(const Platform* p);
