// reach.h -- where the player can get to in a level, from its map alone
// (module "reach").
//
// No game state is searched: the level becomes a graph over its cells (the
// places the body can be: standing on a floor, a ladder's top or a lift, on a
// ladder, or in the air), joined by the moves the player's code allows, and
// one pass over it from the start says which eggs and seed are out of reach
// and which places, once reached, leave some egg behind for good.  The graph
// gives the player every move he might make and a few he cannot, never fewer:
// an egg it calls out of reach is out of reach, and a place it calls a trap
// is one.  reach.cpp says what each move models and where it is generous.
#pragma once

#include "services/fatal.h"

#include <cstdint>

enum { REACH_CELLS = 1000, REACH_NODES = 2 * REACH_CELLS };

// A cell the check names: its column and row, and its code (CELL_EGG or
// CELL_SEED for an item; the code there for a trap).
struct ReachPlace {
    int col;
    int row;
    int code;
};

// Shared state owned by the check, filled by REACH_FROM.
extern int reach_eggs, reach_seeds;   // items in the map
extern int reach_eggs_lost;           // eggs out of reach
extern int reach_lost_count;          // eggs and seed out of reach, in reach_lost
extern Table<ReachPlace, REACH_CELLS> reach_lost;      // top row first, left to right
extern int reach_trap_count;          // places in reach_traps
extern Table<ReachPlace, REACH_CELLS> reach_traps;     // top row first, left to right

// Checks the level as MAP_LOAD left it, from the player's start cell.
// Returns the number of eggs out of reach (0: nothing found against it).
int REACH_LEVEL();
// The same from the cell (col, row).
int REACH_FROM(int col, int row);
// After a check, the fewest moves of its graph from each cell to an egg the
// map holds now (eggs taken since are not counted), by the cell's table
// index; REACH_FAR where no egg can be reached.  The graph is generous, so
// the count never says more moves than the player needs.  Called by the
// prover, whose search heads for the eggs by it.
enum { REACH_FAR = 30000 };
void REACH_EGG_DISTANCES(Table<int16_t, REACH_CELLS>* out);
// 1 if the last check put the body in cell (col, row) (standing, climbing,
// riding or in the air), else 0.
int REACH_PLACE(int col, int row);
