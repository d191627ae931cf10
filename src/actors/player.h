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

