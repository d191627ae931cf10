// records.h -- the player's records: the furthest level reached, the best
// score of a whole game, and each level's best score and fewest ticks, kept
// apart for assisted and unassisted play, in records.ini beside the settings
// file (by default ~/.config/clovenfeld/records.ini; %APPDATA%\clovenfeld on
// Windows; the browser keeps the same text in its local storage).
//
// The figures come from the game's events (game_events.h), which run control
// hands to records_hear with their tick: "level:N" starts level N (the
// furthest level is the highest N started), "score:S" completes it with the
// game's score S (the level's score is what it added: S less the score when
// it started; its ticks run from its "level:N"), "infobox:All levels
// completed!" completes the last level, whose score comes with
// "infobox:Final Score: S", and that box ends the game: its score is a whole
// game's when the game started at level 1 (a game started further on is
// practice).  A "level:N" that does not follow level N-1's completion starts
// a new game at score 0; "title" ends any game.  Play of a level pack other
// than the built-in one (pack_in_use, pack.h) is that pack's: its records
// are kept in its own sections, and a change of pack ends any game.  A level or game during which
// records_set_assisted(true) was in force counts as assisted.
//
// The file holds one section per set of levels and kind of play.  The
// shipped levels are [levels] and [levels assisted]; a pack of levels with id
// ID is [pack ID] and [pack ID assisted] (ID: 1 to 32 of a-z, 0-9, '-',
// '_', '.' not first).  The records in use are those of the pack in use;
// every other set's sections are kept byte for byte when the file is
// rewritten (records_parse and records_format: the shipped levels').  In a section, "key = value" lines:
//     furthest_level = N              (1 to 27)
//     best_game_score = S
//     level.N.best_score = S          (each with the other, for N in 1 to 27)
//     level.N.fewest_ticks = T
// Blank lines and lines starting with "#" are comments (dropped when the
// game rewrites its own sections).  Anything else -- a line that is not
// "key = value", an unknown key or section, a key or section named twice, a
// number out of range, a level with only one of its two figures -- makes
// the file damaged: it is reported in one line "FILE:LINE: what is wrong",
// renamed records.ini.damaged (replacing an earlier one), and play starts
// with no records; if it cannot be set aside, no records are saved that run.
//
// The file is written whole or not at all (file_write_begin, system.h) each
// time a record changes: when a level starts further than ever, when a level
// or a game ends.  A file that cannot be written is said in one notice and
// not tried again that run; play goes on.  Records are kept only for play in
// a window or a browser page (records_start), never for headless runs,
// replays, tests or --verify, and they never touch a game variable or a
// random draw.  Everything is in fixed buffers; nothing is allocated.
#pragma once

#include <cstdio>

enum {
    RECORDS_LEVELS = 27,
    RECORDS_MAX_BYTES = 16384,   // a larger file is damaged
    RECORDS_LINE_CHARS = 256,    // a longer line is damaged
    RECORDS_PATH_CHARS = 4096,
    RECORDS_MESSAGE_CHARS = 512, // a report, at most
    RECORDS_MAX_NUMBER = 999999999,
};

// Level n's records; ticks 0: never completed (the score is then 0 too).
struct LevelRecord {
    int best_score;
    int fewest_ticks;
};

// One kind of play's records (0 = none for every field).
struct RecordSet {
    int furthest_level;  // 0 to 27
    bool has_game;       // a whole game has ended
    int best_game_score; // with has_game
    LevelRecord level[RECORDS_LEVELS + 1]; // [0] unused
};

enum { RECORDS_UNASSISTED = 0, RECORDS_ASSISTED = 1 };

struct Records {
    RecordSet set[2]; // RECORDS_UNASSISTED, RECORDS_ASSISTED
};

// The bytes of a records file.
struct RecordsText {
    char bytes[RECORDS_MAX_BYTES];
    int size;
};

// --- the file's text (pure: no files, no module state) ----------------------

// Reads text (size bytes) into *out, starting from no records.  True when it
// is sound; false when damaged, with *out cleared and "FILE:LINE: what is
// wrong" (file naming the text) in problem (may be null).  Called by
// records_start, --records, the fuzzer and tests.
bool records_parse(const char* text, int size, const char* file, Records* out, char* problem, int problem_size);

// The text for r in *out: a comment line, the game's own sections (those
// with records, in a fixed order), then every [pack ...] section of old (a
// sound text, or size 0) byte for byte.  False when it would not fit (old's
// packs too large).  out must not be old.  Called when the records are saved,
// by the fuzzer and tests.
bool records_format(const Records& r, const RecordsText& old, RecordsText* out);

// records.ini in the folder of settings_path (everything before its last '/' or
// '\'; the working folder when it has none), in out.  False when it does not
// fit.  Called by the program and tests.
bool records_path_beside(const char* settings_path, char* out, int size);

// --- the records of the run ---------------------------------------------------

// Keeps records in path from now on: reads the file (missing: no records; a
// damaged one is reported, renamed path + ".damaged" and started afresh;
// one that cannot be read is reported and the records of this run are not
// saved).  Called by the program's entry points for window and browser play.
void records_start(const char* path);

// One of the game's events at a tick.  Nothing until records_start.  Called
// by run control for every event the game announces.
void records_hear(const char* name, long tick);

// Whether play from now on is assisted (default false).  Called by the assists.
void records_set_assisted(bool on);

// The records now, in *out (none before records_start).  Any thread.
void records_get(Records* out);

// Called after each save that wrote the file (null: none).  The browser
// back-end copies the file to the page's storage.
void records_set_save_hook(void (*hook)());

// --records: prints the records in path (both kinds of play) to out, or
// that there are none yet; a damaged file is reported on err and printed as
// none.  Changes no file.  Returns the program's exit status (0).
int records_print(const char* path, FILE* out, FILE* err);

// --- seams for tests ---------------------------------------------------------

// Forgets the file, the records, the save hook and the game in progress.
void records_reset_for_tests();
