// keyboard.h -- the held-key table and the queue of typed keys.
//
// The back-end feeds both (the window thread, or the headless back-end at tick
// boundaries); the game reads them.  Both sides hold the screen lock.
#pragma once

#include <string>

enum {
    KEY_ESCAPE = 1, KEY_UP = 72, KEY_LEFT = 75, KEY_RIGHT = 77, KEY_DOWN = 80,
    KEY_LSHIFT = 42, KEY_RSHIFT = 54,
};

// Queue code of the window's close button: 255 + 256 * 107.
constexpr int KEY_CLOSE_CODE = 255 + 256 * 107;
// Queue codes that start a practice game at level n (1 to 27) from the title
// screen: 255 + 256 * (200 + n).  Run control queues one for --level and for
// the pause menu's level list, so a recording holds it like any key.
constexpr int KEY_PRACTICE_BASE = 200;
constexpr int practice_key_code(int level) { return 255 + 256 * (KEY_PRACTICE_BASE + level); }
// Queue code that opens the level editor from the title screen (the pause
// menu's E, the page's Editor button).
constexpr int KEY_EDITOR_CODE = 255 + 256 * 240;

// True while the key with that PC set-1 scan code is held; false above 127.
bool key_down(int scan_code);

// The oldest queued key, removed: one character for a code below 256, two
// (255, extended code) for an extended key, "" when nothing is queued.
std::string read_key();

// --- fed by the back-ends ----------------------------------------------------

// Sets or clears the held-key entry; either Shift sets or clears both.
void keyboard_set_held(int scan_code, bool down);
// A key pressed or let go as a window reports it (the input funnel, run.h).
// A key let go before the game has had a tick with it held stays held through
// the next tick, so a tap shorter than a tick is never lost; its release is
// paid at the boundary after that tick.
void keyboard_press(int scan_code);
void keyboard_release(int scan_code);
// A tick boundary, after the tick's input is applied and before the game
// reads it (the window back-ends, through recording_tick): pays the releases
// owed by keys the game has already had a tick to see; the keys held now
// count as seen by the coming tick.
void keyboard_tick_boundary();
// Clears every held key (focus gained or lost) and every owed release.
void keyboard_clear_held();
// Queues a key code (a character below 256, or 255 + 256 * extended code);
// a full queue drops its oldest key.  15 keys are kept.
void keyboard_queue(int code);
// Empties the queue and the held table (tests and replays).
void keyboard_reset();
// Copies of the state, for recordings and snapshots.
void keyboard_held_table(unsigned char out[128]);

// The whole keyboard state (held table and queue), for snapshots: a plain copy
// taken and put back without allocating.  Called by SNAPSHOT_TAKE / RESTORE.
struct KeyboardState {
    unsigned char held[128];
    int queue[16];
    int read;
    int write;
};
void keyboard_get_state(KeyboardState* out);
void keyboard_set_state(const KeyboardState& in);
