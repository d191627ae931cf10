// platform.h -- the one small interface between the services and a window system.
//
// Four back-ends sit behind it:
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
// is said by the fields of Platform.  Run control (ticks, events, recordings,
// replays) is in run.h; where the data is, in datadir.h.
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

// The back-end in use; headless until the window back-end is chosen.
const Platform* platform();
// Chooses the back-end.  For headless with run_options.replay_path set it also
// reads the recording now (a malformed one: a message and exit status 2) and
// puts the recording's seed into run_options.seed / seed_given, so the shell
// seeds from it.  Called by main() after the command line is parsed.
void select_platform(const Platform* p);
extern const Platform headless_platform;
extern const Platform sdl_platform;
extern const Platform windows_platform; // in the Windows build only
extern const Platform web_platform; // in the browser build only

// Window back-end: runs game_main on a second thread while the calling (main)
// thread owns SDL; returns the status game_main ended with.
int run_with_window(int (*game_main)());

// The longest data folder's path, its final '\0' included.
enum { DATA_DIR_CHARS = 4096 };

// Where the game's files are (datadir.cpp; the search itself is in datadir.h).
// The path of a game file: game_path as the game names it ("levels\\1.bmp",
// "\\" between names) turned into a path under the data folder with "/".  An
// absolute path is taken as it is.  Returns 0, or with out empty 1 when the
// path does not fit in size characters (never a cut-off name) and 2 when no
// data folder was found.  Called by load_bitmap and open_game_file (bmp.h).
int data_file_path(const char* game_path, char* out, int size);
