// snapshot.h -- the whole state of a game in one fixed record: the cell table
// and view, the player, the swans, the duck, the shell's counters, the random
// generator, the keyboard and the drawing colours.  Taking and restoring it
// are plain copies, so tools and tests can branch a game, run it forward and
// come back (the level solver, determinism checks).  Images are not part of
// it: they are loaded once and never change during play.
#pragma once

#include "actors/swan.h"
#include "map/map.h"
#include "services/keyboard.h"
#include "services/game_events.h"
#include "services/random.h"

#include <cstdint>

struct Snapshot {
    // map
    Table<MapCell, CELL_TABLE_SIZE> cells;
    Table<unsigned char, LEVEL_BYTES_SIZE> level_bytes;
    int map_width, map_height, last_cell, scroll_x, scroll_y;
    // player
    int player_x, player_y, start_x, start_y, start_scroll_x, start_scroll_y;
    int player_pose, player_frame, player_step_count, jump_count;
    int ladder_cell, walk_right, walk_left;
    // swans
    Table<Swan, SWAN_SLOTS> swans;
    int swan_count;
    // duck
    int duck_x, duck_y, duck_start_x, duck_start_y, duck_dir, duck_tick, duck_frame;
    // shell
    int score, eggs_taken, egg_total, swans_active, duck_active;
    int lives, level, level_file, dead, time_left, time_tick, quit_code, high_score;
    // services
    RandomState random;
    KeyboardState keyboard;
    uint32_t foreground, background;
};

// Copies the running game into *out.  Called by tools and tests.
void SNAPSHOT_TAKE(Snapshot* out);
// Puts a taken snapshot back as the running game.  Called by tools and tests.
void SNAPSHOT_RESTORE(const Snapshot& in);
// 1 when two snapshots hold the same game, else 0.  Called by tests and by the
// solver's checks.
int SNAPSHOT_SAME(const Snapshot& a, const Snapshot& b);

// --- play states: what changes while one level plays ---------------------------
//
// A search takes and restores states by the million, and a Snapshot copies
// the whole cell table each time.  While one level plays, only a few cells
// change (an egg or seed taken, a lift moved) and the map's size, the starts
// and the level never do: a play state holds the rest of the game and just
// the cells PLAY_STATE_MARK listed.  It is a fixed record followed by those
// cells, PLAY_STATE_BYTES() in all, in memory the caller owns.  A play state
// is good for the level it was marked on, until a Time Up loads the level
// again (a search drops such states: a Time Up costs a life).
struct PlayCell {
    int code, x, y, dx, dy;
};
struct PlayState {
    int scroll_x, scroll_y;
    int player_x, player_y, player_pose, player_frame, player_step_count, jump_count;
    int ladder_cell, walk_right, walk_left;
    Table<Swan, SWAN_SLOTS> swans;
    int swan_count;
    int duck_x, duck_y, duck_dir, duck_tick, duck_frame;
    int score, eggs_taken, swans_active, duck_active, lives, dead, time_left, time_tick, quit_code;
    RandomState random;
    KeyboardState keyboard;
    // then play_cell_count PlayCell records, in the order of play_cells
};

// Shared state owned by the play states: the cells that can change on the
// level marked last (its eggs, seeds and lifts), by table index.
extern int play_cell_count;
extern Table<int, CELL_TABLE_SIZE> play_cells;

// Lists the cells of the level now loaded that can change while it plays.
// Called by a search once the level has started.
void PLAY_STATE_MARK();
// Bytes one play state takes on the marked level.
int PLAY_STATE_BYTES();
// Copies the running game into out (PLAY_STATE_BYTES() bytes, aligned as a
// PlayState), or puts one taken on this level back.  Called by the prover.
void PLAY_STATE_TAKE(unsigned char* out);
void PLAY_STATE_RESTORE(const unsigned char* in);

// The level file of level 1 to 27: ((level - 1) mod 9) + 1.  Called by
// LEVEL_SETUP, the solver and tests.
int LEVEL_FILE_OF(int level);
// Whether the swans move and the duck is free on that level, as the shell
// switches them between the three passes.  Called by LEVEL_SETUP.
int SWANS_ON_AT(int level);
int DUCK_FREE_AT(int level);

// A new game put straight at the given level, as if it were reached with the
// start's lives and score: level, level file and enemies set, the swan table
// and the animation counters that the shell never resets back at 0 (as a
// process of its own has them, whatever ran before), the random generator seeded
// with seed and the keyboard empty.  LEVEL_START follows.  Called by the
// solver and the replay tests so that a level's own recording replays alike.
void LEVEL_SETUP(int level, uint32_t seed);
// A level on its own, as a recording of one level plays: LEVEL_SETUP, the
// level's start, and its frames until it ends, a life is lost or the game is
// quit.  Called by the program for such a recording and by --verify.
void PLAY_LEVEL_ALONE(int level, uint32_t seed);

// --- the state hash of recordings -----------------------------------------------

// Raised whenever a change to the game alters play (the same input giving
// other frames): a recording names the behaviour it was made with.
enum { GAME_BEHAVIOUR = 1 };

// A hash of the game variables that matter to play: the level, the view, the
// player, the swans, the duck, the cells (eggs, seeds, lifts), score, time,
// lives and the random generator.  Not the keys held: they are the input.
// Recordings carry it every 500 ticks and at their end.
uint64_t STATE_HASH();
// STATE_HASH and the score, eggs, lives and level, for run control (through
// set_state_reporter).  Registered by SHELL_STARTUP and LEVEL_SETUP.
void report_state(GameState* out);
// Where the swans and the duck stand on the overview map, for the presenter
// (through set_spots_reporter).  Registered with report_state.
int report_spots(MapSpot* out, int max);
