// edit_file.h -- the level editor's level files: a level file read into the
// level being edited (edit_level.h), and the level written back as the
// game's level file (module "edit").
//
// A level file is an 8-bit bottom-up BMP, one pixel a cell, the palette
// index the cell's code (map_load.cpp).  The editor keeps the bytes of the
// file it read, so that saving writes them back with only the cells
// rewritten: an unchanged level saves as the very bytes it was read from,
// whatever header, palette or trailing bytes the file had.  A level made new
// (EDIT_FILE_NEW), or one whose rows were added or taken, is written in the
// game's own layout: the 54-byte header, 256 palette entries (the colours of
// the level legend, assets/README.md; those of the file read, for a level
// it was resized from) and the cells stored whole.
//
// Files are untrusted: a file that is not a level file the editor can keep
// is refused with a one-line reason, and the level being edited stays as it
// was.  Nothing is allocated: the file is kept in a fixed table.
#pragma once

#include "editor/edit_level.h"

enum {
    EDIT_FILE_MAX_BYTES = 65536, // the largest level file kept (the game's own are 2,078 bytes at most)
    EDIT_FILE_HEADER = 54,       // the game's layout: file header and 40-byte info header
    EDIT_FILE_COLOURS = 256,     // the game's layout: palette entries
    EDIT_FILE_WHY_CHARS = 256,   // room for a reason
};

// Shared state owned by the module.
extern unsigned char edit_file_bytes[EDIT_FILE_MAX_BYTES]; // the file as read or last saved
extern int edit_file_size;      // its bytes; 0 for a level made new (the game's layout)
extern int edit_file_offset;    // where its cells start
extern int edit_file_height;    // its rows
extern unsigned edit_file_changes; // edit_changes when it was read or saved: unsaved edits when it differs

// A new level as EDIT_NEW makes it, to be saved in the game's layout.
void EDIT_FILE_NEW(int h);

// Reads the level file at path (or size bytes in memory) into the level
// being edited.  False, with the reason in why (size chars) and nothing
// changed, for a file that is not a BMP, not 8 bits a pixel, stored
// compressed, not 40 cells wide, of fewer than 15 or more than 25 rows,
// shorter than its cells, larger than EDIT_FILE_MAX_BYTES, or holding a code
// the game does not know (above 10).
bool EDIT_FILE_OPEN(const char* path, char* why, int why_size);
bool EDIT_FILE_OPEN_BYTES(const unsigned char* data, int size, char* why, int why_size);

// The level being edited as a level file, in out (cap bytes): the file read
// with its cells rewritten, or the game's layout.  Returns its size, or 0
// when it does not fit.
int EDIT_FILE_BYTES(unsigned char* out, int cap);

// Writes the level to path, whole or not at all (never through a link:
// file_write_begin); the bytes written become the ones kept.  False with the
// reason in why.
bool EDIT_FILE_SAVE(const char* path, char* why, int why_size);

// Writes size bytes to path, whole or not at all (file_write_begin); the
// level and the bytes kept are untouched.  False with the reason in why.
bool EDIT_FILE_WRITE(const char* path, const unsigned char* bytes, int size, char* why, int why_size);
