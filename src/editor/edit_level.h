// edit_level.h -- the level being edited: its cells, the tools that change
// them, undo and redo, and the rules a level must keep (module "edit").
//
// The level is held as the game's level file holds it: 40 columns and 15 to
// 25 rows of cell codes (map.h's CELL_*), row 0 at the top.  Every change
// goes through the tools here, and every tool is one step of the history: a
// drag of the pencil is one step however many cells it paints.  The history
// is a fixed ring of whole levels (a level is 1,000 bytes), so undo and redo
// give back every byte and nothing is allocated while editing.
#pragma once

#include "proof/reach.h"
#include "services/fatal.h"

enum {
    EDIT_WIDTH = 40,
    EDIT_MIN_HEIGHT = 15, // one screen of rows: the view never scrolls past the level
    EDIT_MAX_HEIGHT = 25, // the most the game's level table holds (1,000 cells)
    EDIT_CELLS = EDIT_WIDTH * EDIT_MAX_HEIGHT,
    EDIT_HISTORY = 257,   // levels kept: the one shown and 256 steps back or forward
};

struct EditLevel {
    int height;                       // rows, EDIT_MIN_HEIGHT to EDIT_MAX_HEIGHT
    unsigned char cell[EDIT_CELLS];   // row * EDIT_WIDTH + column; rows past height are 0
};

// The clipboard: a rectangle of cells, w x h, row by row.
struct EditClip {
    int w, h; // 0 x 0: empty
    unsigned char cell[EDIT_CELLS];
};

// What the rules found (EDIT_CHECK).
struct EditReport {
    int eggs, seeds, swans, lifts, ladders; // cells (ladders: cells of ladder)
    int starts;                             // player starts
    int ducks;                              // duck starts
    int problems;                           // rules broken
    char problem[4][96];                    // the first four, one line each
    bool reach_checked;                     // the reach was checked (one player's start)
    int lost;                               // eggs and seeds out of reach
    ReachPlace lost_at[EDIT_CELLS];         // where, top row first
};

// Shared state owned by the module.
extern EditLevel edit_level;  // the level as it stands
extern EditClip edit_clip;    // what copy and cut took
extern unsigned edit_changes; // counts every step (undo and redo too): a proof made before is stale

// A new level: h rows (clamped to the limits) with walls, a ceiling and a
// floor of blocks, a player's start on the floor; the history starts afresh.
void EDIT_NEW(int h);
// Takes the cells of a level (w must be EDIT_WIDTH, h within the limits;
// codes above CELL_LIFT_H are kept as they are); false, changing nothing,
// when the size is not one the game plays.  The history starts afresh.
bool EDIT_OPEN(const unsigned char* cells, int w, int h);

// The code at (col, row); CELL_BLOCK outside the level.
int EDIT_GET(int col, int row);

// The pencil: a stroke is one step.  EDIT_PAINT paints one cell (outside the
// level: nothing); painting the player's start (or the duck's) moves it, so
// a level keeps one.  A stroke not ended when another tool acts is ended.
void EDIT_STROKE_BEGIN();
void EDIT_PAINT(int col, int row, int code);
void EDIT_STROKE_END();

// One step each.  Corners in any order; the parts outside the level are cut.
void EDIT_FILL(int c0, int r0, int c1, int r1, int code);
void EDIT_LINE(int c0, int r0, int c1, int r1, int code);
// Copies the rectangle into the clipboard (no step); cut also empties it.
void EDIT_COPY(int c0, int r0, int c1, int r1);
void EDIT_CUT(int c0, int r0, int c1, int r1);
// Puts the clipboard with its top-left at (col, row), cut at the level's edge.
void EDIT_PASTE(int col, int row);
// Moves the rectangle so its top-left goes to (col, row): one step (the
// clipboard keeps what it held).
void EDIT_MOVE(int c0, int r0, int c1, int r1, int col, int row);
// Rows added or taken at the top (the floors stay where they are); new rows
// are empty between the two walls.
void EDIT_RESIZE(int h);

// The history.  False when there is nothing to undo (or redo).
bool EDIT_UNDO();
bool EDIT_REDO();
int EDIT_UNDO_STEPS(); // steps that can be undone now
int EDIT_REDO_STEPS();

// The rules a level must keep for the game: one player's start, at column 9
// or more and row 7 or more, on a block (where the game's view starts round
// it); eggs; swans on blocks; one duck's start (the duck's rounds need it,
// and the rounds with swans keep it where it starts); the counts for the
// status line.  With one player's start it also loads the level into the
// game's map (MAP_LOAD_CELLS) and asks the reach (reach.h) which eggs and
// seeds the player can never get to: each is a problem.
void EDIT_CHECK(EditReport* out);
