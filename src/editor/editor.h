// editor.h -- the level editor's screen (module "editor"): the level drawn
// with the game's own sprites, the palette of cells, the tools, and the lines
// that say what the checks found, on the 640 x 480 page while no game runs.
//
// The page, top to bottom:
//   rows   0-15   the command bar: Save, Play, Prove, Watch, Publish, Help,
//                 the round Play and Prove use, and the proof's state;
//   rows  16-415  the level, at 16 (fit: the largest level fills it), 32
//                 (the game's own size) or 64 pixels a cell, scrolled;
//   rows 416-447  the palette (the ten cells, keys 0 to 9) and the tools;
//   rows 448-463  the status line: eggs, seeds, swans, "reachable: all" or
//                 how many are not, and the name of what the pointer is over;
//   rows 464-479  the first problem the checks found, or a message.
//
// Input, all of it read here each frame (EDITOR_INPUT):
//   mouse     left draws with the tool, right draws empty (an eraser), the
//             middle button drags the view, the wheel scrolls (Shift: across;
//             Ctrl: zoom); a click on the palette or a tool chooses it;
//   touch     one finger acts as the left button, two scroll and pinch to
//             zoom; a finger held still on the palette names the cell;
//   keys      arrows move the cursor (the view follows), Space or Enter acts
//             at the cursor as a click does, 0-9 choose a cell, B pencil,
//             R rectangle, L line, K picker, S select, G grid, Z zoom, Tab
//             the round, Ctrl+Z undo, Ctrl+Y redo, Ctrl+C / Ctrl+X / Ctrl+V
//             copy, cut and paste at the cursor, Delete empties the
//             selection, Page Up / Page Down a row more or less, F2 or
//             Ctrl+S save, F5 play, F6 prove (again: cancel), F7 watch the
//             proof, F9 publish, F1 help, Esc clears the selection, then
//             leaves;
//   a pad     moves the cursor and places cells through the keys it is bound
//             to (the D-pad is the arrows, A is Space).
// Every change goes through edit_level.h; the checks run again after it.
#pragma once

#include "editor/edit_level.h"

#include <cstdint>

enum EditorTool { TOOL_PENCIL, TOOL_RECT, TOOL_LINE, TOOL_PICK, TOOL_SELECT, TOOL_COUNT };
enum EditorZoom { ZOOM_FIT, ZOOM_ONE, ZOOM_TWO, ZOOM_COUNT }; // 16, 32, 64 pixels a cell

// What the editor asks of the program around it (EDITOR_INPUT's answer).
enum EditorRequest {
    EDITOR_NOTHING,
    EDITOR_SAVE,
    EDITOR_PLAY,     // play the level in the round chosen; the editor comes back after
    EDITOR_PROVE,    // prove it (or cancel the proof that runs)
    EDITOR_WATCH,    // play the proof in the viewer
    EDITOR_PUBLISH,
    EDITOR_QUIT,
    EDITOR_NEXT_FILE, // a pack folder's next level file (]), or the one before ([)
    EDITOR_PREV_FILE,
};

// The page's parts.
enum {
    EDITOR_BAR_H = 16,
    EDITOR_AREA_Y = 16, EDITOR_AREA_H = 400,
    EDITOR_PALETTE_Y = 416, EDITOR_PALETTE_H = 32,
    EDITOR_STATUS_Y = 448, EDITOR_PROBLEM_Y = 464,
    EDITOR_CODES = 10,      // the cells of the palette, codes 0 to 9
    EDITOR_TEXT_CHARS = 81, // a line of the page: 80 characters
    EDITOR_FORM_FIELDS = 4, EDITOR_FORM_CHARS = 61, EDITOR_FORM_PROBLEMS = 8,
};

struct EditorState {
    int tool;           // EditorTool
    int code;           // the cell the tools draw (0 to 9)
    int zoom;           // EditorZoom
    int scroll_x, scroll_y; // the view's top-left, in pixels of the zoom
    bool grid;
    int round;          // 1 swans, 2 the free duck, 3 both: what Play and Prove use
    int cursor_col, cursor_row; // the cell the keys act on (and the pointer is over)
    bool anchored;      // a rectangle, line or selection has its first corner
    int anchor_col, anchor_row;
    bool selected;      // a selection is made
    int sel_c0, sel_r0, sel_c1, sel_r1; // its corners, c0 <= c1, r0 <= r1
    bool help;          // the help page is shown
    bool unsaved;       // changed since the last save
    bool leaving;       // Esc once with unsaved changes: a second leaves
    char name[EDITOR_TEXT_CHARS];    // the file's name, for the bar
    char proof[EDITOR_TEXT_CHARS];   // the proof's state, for the bar (set by the program)
    char message[EDITOR_TEXT_CHARS]; // the last line said (EDITOR_SAY)
    // Publish's form (F9): title, author, licence, description; the field
    // typed in, and what Publish found missing, one line each.
    bool form;
    int form_field;
    char form_text[EDITOR_FORM_FIELDS][EDITOR_FORM_CHARS];
    int form_problems;
    char form_problem[EDITOR_FORM_PROBLEMS][EDITOR_TEXT_CHARS];
};

// Shared state owned by the editor.
extern bool editor_running;      // the editor's run is on (EDITOR_RUN): its keys are all its own
extern EditorState editor;
extern EditReport editor_report; // the checks of the level as it stands

// Starts the screen on the level edit_level holds (after EDIT_NEW or
// EDIT_OPEN): fit zoom, pencil, block; name is shown in the bar.
void EDITOR_START(const char* name);
// Reads the frame's keys and pointer and does what they say; the checks run
// again when the level changed.  Returns an EditorRequest.
int EDITOR_INPUT();
// Draws the screen on the work page and shows it, when anything on it
// changed since it was last drawn (or always with force).
void EDITOR_DRAW(bool force);
// Opens or closes Publish's form (the keys type into it while it is open).
void EDITOR_FORM(bool open);
// A line for the message row (printf-style).
void EDITOR_SAY(const char* format, ...);
// The level was saved: no longer unsaved.
void EDITOR_SAVED();
// The cell under page pixel (x, y) of the level's area; false off the level.
bool EDITOR_CELL_AT(int x, int y, int* col, int* row);
// The name of cell code c ("block", "swan start", ...).
const char* EDITOR_CODE_NAME(int c);

// The editor's run, on the game's thread once the back-end is chosen: the
// shell's start-up (the screen and the sprites), the level of path (a level
// file; a pack's folder, whose levels/1.bmp to 9.bmp it edits one at a time,
// [ and ] going from one to the next, with their proofs in its proofs/; null
// or "" for a new level), then a frame every 10 ms until the editor is left.  Play runs the game on the level and comes back.  Returns
// the program's exit status.
int EDITOR_MAIN(const char* path);
// The same once the shell has started (the title screen's editor): returns
// when the editor is left, with the window's title as it was.
void EDITOR_RUN(const char* path);

// What the program around the editor gives it to keep a recording of a play
// (run control lives above the editor): start one of a level played alone
// from its start with seed, and end it.  Null: plays are not recorded.
extern bool (*editor_record_start)(const char* path, int level, uint32_t seed);
extern void (*editor_record_stop)();
// Watches the recording of one level at path in the window (run.h's
// run_watch_level); null: Watch says it cannot.
extern int (*editor_watch)(const char* path, char* why, int size);
// Where the editor's files go beyond the file system (the browser's page):
// told of the level kept after each change (EDITOR_KEPT_WORK, at most once a
// second), of a save (EDITOR_KEPT_SAVED) and of a pack published
// (EDITOR_KEPT_PACK, path its folder).  Null: nothing more is done.
enum { EDITOR_KEPT_WORK, EDITOR_KEPT_SAVED, EDITOR_KEPT_PACK };
extern void (*editor_kept)(const char* path, int what);
// Publish (edit_publish.h, in the room above): the form's texts, the level
// files and the proofs of the levels they play; the pack is written into a
// new folder named by its id in what.dir.  True with a line to say in said;
// false with the problems.  Null: Publish says it cannot.
struct EditorPublish {
    const char* text[EDITOR_FORM_FIELDS]; // title, author, licence, description
    const char* level[10];  // [N]: the file for levels/N.bmp, "" or null for none ([0] unused)
    const char* proof[28];  // [L]: the proof of level L, "" or null for none ([0] unused)
    const char* dir;        // where the pack's folder goes: dir/<id>
};
extern bool (*editor_publish)(const EditorPublish& what, char* said, int said_size,
                              char problem[EDITOR_FORM_PROBLEMS][EDITOR_TEXT_CHARS], int* problems);

// One play of the level being edited, as its proof plays it: the level file
// written to play_path and played as file editor_file of the round chosen
// (level 1, 10 or 19 for file 1) with seed, from its start until it is completed, a life is lost or
// Esc leaves it; recorded to rec_path when given.  The editor's screen is
// drawn again after.  Returns the shell's quit code (2: completed) or 0 for a
// life lost; -1 when the level could not be written (why says why).
int EDITOR_PLAY_LEVEL(const char* play_path, const char* rec_path, uint32_t seed, char* why, int why_size);
// The level file the editor's level is (1 to 9): 1 but in a pack's folder.
extern int editor_file;
