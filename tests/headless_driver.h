// headless_driver.h -- the game run headless by a test, a tool or a
// benchmark (tests/, tools/ and bench/ include it): headless and fast with a
// seed and hooks, the shell started once a process, one level played from a
// recording, and keys held by a mask.  The working directory is the game
// folder (gfx/ and levels/) when the shell starts or a level loads.
#pragma once

#include "main/shell.h"
#include "main/snapshot.h"
#include "port/platform.h"
#include "platform/record.h"
#include "platform/run.h"
#include "services/keyboard.h"
#include "services/screen.h"

#include <cstdint>

// Options cleared, then headless and fast, with this seed (negative: none,
// the clock's), the headless back-end selected and these hooks (null: none).
inline void headless_begin(long long seed, void (*tick_hook)(long tick) = nullptr,
                           void (*event_hook)(const char* name) = nullptr)
{
    run_options = RunOptions{};
    run_options.headless = true;
    run_options.fast = true;
    if (seed >= 0) {
        run_options.seed_given = true;
        run_options.seed = static_cast<uint32_t>(seed);
    }
    select_platform(&headless_platform);
    set_tick_hook(tick_hook);
    set_event_hook(event_hook);
}

// SHELL_STARTUP the first time in the process (its pictures live for the
// whole run); later, the screen opened again if a test closed it.
inline void headless_start_shell()
{
    static bool started = false;
    if (!started) {
        SHELL_STARTUP();
        started = true;
    } else if (!screen_is_open()) {
        open_screen(18, 32, 2, 0, 0);
        set_pages(0, 1);
    }
}

// A new game put at level lvl with the recording's seed, the recording
// played from the screen's opening (its line 0 applied there): the next
// PLAY_FRAME plays its first tick.  The recording must outlive the replay.
// False when the screen cannot open.
inline bool headless_replay_level(const Recording* rec, int lvl)
{
    run_use_recording(rec);
    close_screen_for_tests();
    if (open_screen(18, 32, 2, 0, 0) != 0) return false;
    set_pages(0, 1);
    LEVEL_SETUP(lvl, rec->seed);
    LEVEL_START();
    return true;
}

// The keys of a mask, as the solver's plans and the scripted players hold them.
enum HeldKeys { K_LEFT = 1, K_RIGHT = 2, K_UP = 4, K_DOWN = 8, K_ESCAPE = 16 };

// Exactly the keys of the mask held, every other key let go.
inline void hold_keys(int mask)
{
    keyboard_clear_held();
    if (mask & K_LEFT) keyboard_set_held(KEY_LEFT, true);
    if (mask & K_RIGHT) keyboard_set_held(KEY_RIGHT, true);
    if (mask & K_UP) keyboard_set_held(KEY_UP, true);
    if (mask & K_DOWN) keyboard_set_held(KEY_DOWN, true);
    if (mask & K_ESCAPE) keyboard_set_held(KEY_ESCAPE, true);
}
