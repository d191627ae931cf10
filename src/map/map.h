// map.h -- the level map: the cell table, level files, lifts, drawing,
// scrolling and the small overview map (module "map").
//
// The map owns the cell table, the grid size and the view offsets.  Between
// loads only MAP_SET (player module) and MAP_UPDATE change the table.
#pragma once

#include "services/fatal.h"

struct Image;

enum {
    CELL_NONE = -1,
    CELL_EMPTY = 0,
    CELL_BLOCK = 1,
    CELL_SWAN = 2,
    CELL_SEED = 3,
    CELL_LADDER = 4,
    CELL_PLAYER = 5,
    CELL_DUCK = 6,
    CELL_EGG = 7,
    CELL_LIFT_V = 8,
    CELL_LIFT_H = 9,
};

enum { CELL_TABLE_SIZE = 1601, LEVEL_BYTES_SIZE = 1001, CELL_IMAGE_SLOTS = 11 };

// One grid square; lifts are cells whose x, y change as they move.
struct MapCell {
    int code; // cell code, -1 for an entry that holds no cell
    int x;    // left edge in map pixels
    int y;    // top edge in map pixels
    int col;  // grid column it was loaded from
    int row;  // grid row it was loaded from
    int dx;   // horizontal lift step, +1 or -1
    int dy;   // vertical lift step, +1 or -1
};

// Shared state owned by the map.
extern Table<MapCell, CELL_TABLE_SIZE> cells;
extern Table<unsigned char, LEVEL_BYTES_SIZE> level_bytes;
extern Table<Image*, CELL_IMAGE_SLOTS> cell_images;
extern int map_width, map_height, last_cell;
// Counts the changes to the table that can alter a lookup prepared over it:
// a load, a restore, a code that turns to or from a lift or changes off its
// own square.  Lifts moving do not count.  The player and MAP_UPDATE prepare
// their lookups again when it differs from the count they were made at.
extern unsigned cells_stamp;
extern int scroll_x, scroll_y;

// The overview map's top-left corner on the page: a cell is 2 x 2 pixels
// there, a map pixel 1/16 of one.
enum { SMALL_LEFT = 550, SMALL_TOP = 14 };

// Creates the cell table (every field 0).  Called by the shell at start-up.
void MAP_CREATE_TABLE();

// Creates and loads the eleven cell images.  Called once by the shell.
void MAP_INIT();
// Wipes and refills the table from "levels\<n>.bmp", re-creates the swans,
// places the duck, the player and the view.  Called by the shell.
void MAP_LOAD(int n);
// The same from w x h cell codes, row 0 at the top (w * h at most 1000, else
// error 6): the level the editor holds, checked with the game's own code.
void MAP_LOAD_CELLS(const unsigned char* codes, int w, int h);
// Reverses the row order of the W x H cell bytes.  Called by MAP_LOAD.
void MAP_FLIP();

// Says that cells or the map's size were written other than through MAP_SET
// or the lifts' moves: prepared lookups are made again.  Called by loads and
// restores (and tests that fill the table by hand).
void map_cells_changed();
// Says that the code of entry k went from old_code to new_code; counts it as
// a change when it can alter a lookup.  Called by MAP_SET and play states.
void map_code_changed(int k, int old_code, int new_code);

// Code at (col, row); lifts read as 0.  Called by the swans.
int MAP_GET(int col, int row);
// Number of egg cells left.  Called by the shell at each level start.
int MAP_EGGS();
// 1 if cell i moved by (dx, dy) touches another non-empty cell.  MAP_UPDATE.
int MAP_COLLIDE(int i, int dx, int dy);
// 1 if cell i moved by (dx, dy) touches the player.  MAP_UPDATE.
int MAP_HITPLAYER(int i, int dx, int dy);

// Moves every lift one pixel.  Called first in every frame.
void MAP_UPDATE();
// true: MAP_UPDATE's lifts ask MAP_COLLIDE, which looks at every cell, rather
// than its lookups prepared once a frame (tests compare the two).
void map_set_full_scan(bool on);
// Draws the visible cells on the work page.  Called by the shell.
void MAP_DRAW();
// Scrolls the view by d if the result stays in range; 1 if it did, else 0.
// Called by the player.
int MAP_HSCROLL(int d);
int MAP_VSCROLL(int d);
// Draws the overview map and the player's dot.  Called by the shell.
void MAP_SMALL();
