// test_hooks.h -- seams for tests, tools and benchmarks.  Only the modules
// that define them include this file (run.cpp, headless.cpp, screen.cpp,
// player.cpp), and of the seams the program itself uses only
// run_use_recording, for --replay; tests and tools set up a headless
// game through tests/headless_driver.h.
#pragma once

struct Recording;

// Headless: called at every tick with the tick number, before the recorded
// input of that tick is applied; tests use it to press keys.  (run.cpp)
void set_tick_hook(void (*hook)(long tick));

// Forgets hooks, replay, recording, options and the tick count.  (run.cpp)
void platform_reset_for_tests();

// Replays this recording from the next open_window (null = none).  The
// recording must stay alive while it is used.  (run.cpp)
void run_use_recording(const Recording* rec);

// Closes the screen without ending the process, so the next open_screen
// opens it again.  (screen.cpp)
void close_screen_for_tests();

// --- the player's search strategy (player.cpp) -----------------------------------
// The queries give the lowest matching index either way.  PLAYER_UPDATE
// prepares a grid search once per frame; outside it the queries scan the
// whole table.

// The plain scans of all 1601 entries: the reference answers.
int PLAYER_OVER_SCAN(int code, int dx, int dy);
int PLAYER_COLLIDE_SCAN(int dx, int dy);
// Prepares the grid search for the table as it is now.  Called by
// PLAYER_UPDATE; tests call it before PLAYER_OVER_FAST / PLAYER_COLLIDE_FAST.
void PLAYER_SEARCH_PREPARE();
// The grid search over the prepared table (the scan when nothing is prepared).
int PLAYER_OVER_FAST(int code, int dx, int dy);
int PLAYER_COLLIDE_FAST(int dx, int dy);
// true: PLAYER_UPDATE uses the plain scans (benchmarks compare the two).
void player_set_full_scan(bool on);
