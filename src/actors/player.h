// player.h -- the player: movement, collecting, the cell queries and MAP_SET
// (module "player").
#pragma once

#include "services/fatal.h"

struct Image;

// Shared state owned by the player (screen pixels).
extern int player_x, player_y;
extern int start_x, start_y, start_scroll_x, start_scroll_y;
extern int player_pose, player_frame, player_step_count, jump_count;
extern int ladder_cell, walk_right, walk_left;
// 1 when Up or Down on a ladder's edge first moves the body onto the
// ladder's column, up to LADDER_HELP_PIXELS a frame (an assist, set by the
// shell as a game starts).
extern int ladder_help;
extern Table<Image*, 6> player_images;

// Creates and loads the six sprites; frame, step count and jump := 0.
// Called once by the shell at start-up, after DUCK_INIT.
void PLAYER_INIT();
// Back to the level's start position and view; the jump ends.  Called by the
// shell after a life is lost.
void PLAYER_RESET();
// One frame of movement, collecting, gravity and jumping.  Called by the shell
// every frame, right after MAP_UPDATE.
void PLAYER_UPDATE();
// Draws the player's current sprite on the work page.  Called by the shell
// every frame after MAP_DRAW.
void PLAYER_DRAW();
// Index of the first cell of that code the body moved by (dx, dy) touches, or
// -1.  Called by PLAYER_UPDATE.
int PLAYER_OVER(int code, int dx, int dy);
// 1 if the body moved by (dx, dy) touches a block or lift, else -1.  Called by
// PLAYER_UPDATE.
int PLAYER_COLLIDE(int dx, int dy);
// cells[index].code := code; the only change to a code outside loading.
// Called by PLAYER_UPDATE when an egg or seed is taken.
void MAP_SET(int index, int code);

// --- the search strategy, for tests and benchmarks ---------------------------------
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
