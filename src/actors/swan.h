// swan.h -- the swans (module "swan").
#pragma once

#include "services/fatal.h"

struct Image;

enum { SWAN_SLOTS = 21, SWAN_MAX = 20 };

struct Swan {
    int active;              // 1: the slot holds a swan
    int col, row;            // the cell the swan belongs to
    int start_col, start_row;
    int sub_x, sub_y;        // pixels from the cell's corner, -31 to 31
    int dir;                 // +1 right, -1 left
    int vdir;                // 0 walking, -1 climbing up, +1 climbing down
    int move_tick;           // 0 to 11
    int frame;               // 0 or 1
};

// Shared state owned by the swans.
extern Table<Swan, SWAN_SLOTS> swans;
extern int swan_count;
extern Table<Image*, 6> swan_images;

// Creates the table with 21 cleared slots.  Runs before the shell's start-up.
void SWANS_CREATE_TABLE();
void SWANS_INIT();
void SWANS_ADD(int col, int row);
void SWANS_MOVE();
void SWANS_DRAW();
void SWANS_CLEAR();
void SWANS_RESET();
