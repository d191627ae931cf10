// pack.h -- level packs: a folder (or the same folder zipped, .cvpack or
// .zip) holding pack.ini, levels/N.bmp (N = 1 to 9) and proofs/level-N.rec
// (N = 1 to 27), read as untrusted input; the packs folder they are
// installed in; and the pack the game plays now.  docs/packs.md describes
// the format for pack makers.
//
// pack.ini is "key = value" lines ('#' lines and blank lines are comments):
//     id = example                 (1 to 32 of a-z, 0-9, '-', '_', '.'; '.' not first)
//     title = A Small Example
//     author = ...
//     licence = CC-BY-4.0
//     version = 1.0
//     game = 0.5                   (the lowest game version it needs)
//     description = one line       (optional)
//     file.1 = <SHA-256 of levels/1.bmp, 64 hex digits>   (one line a level file)
// Every key but description is needed once; a key named twice, an unknown
// key, a line that is not "key = value", a value too long or a control
// character is refused with "FILE:LINE: what is wrong".
//
// The shipped levels are the built-in pack "clovenfeld": the data folder's
// levels/, no pack.ini, and recordings whose "pack" line is empty.
#pragma once

#include <string>
#include <vector>

enum {
    PACK_ID_CHARS = 33,        // the longest id, its '\0' included
    PACK_TEXT_CHARS = 129,     // the longest title, author, licence or description
    PACK_VERSION_CHARS = 17,   // the longest version
    PACK_INI_MAX_BYTES = 16384,
    PACK_INI_LINE_CHARS = 512,
    PACK_FILES = 9,            // levels/1.bmp to levels/9.bmp
    PACK_LEVELS = 27,          // the levels the nine files play, three rounds
    PACK_LEVEL_MAX_BYTES = 1 << 20,  // a level file, at most
    PACK_PROOF_MAX_BYTES = 8 << 20,  // a proof, at most
    PACK_PATH_CHARS = 4096,
    PACK_PROBLEM_CHARS = 512,
};

// The built-in pack's id.
extern const char PACK_BUILT_IN[];

// What pack.ini says.
struct PackInfo {
    char id[PACK_ID_CHARS];
    char title[PACK_TEXT_CHARS];
    char author[PACK_TEXT_CHARS];
    char licence[PACK_TEXT_CHARS];
    char version[PACK_VERSION_CHARS];
    char game[PACK_VERSION_CHARS];
    char description[PACK_TEXT_CHARS];
    bool has_file[PACK_FILES + 1];        // [0] unused
    char sha256[PACK_FILES + 1][65];      // lower-case hex
};

// True for an id as above (a safe folder name everywhere).
bool pack_id_valid(const char* id, int len);

// Reads pack.ini's text (size bytes) into *out.  False with "FILE:LINE: what
// is wrong" in problem when it is not sound.  Pure: the fuzzer and tests.
bool pack_ini_parse(const char* text, int size, const char* file, PackInfo* out, char* problem, int problem_size);

// Compares two versions of dotted whole numbers ("0.5", "1.10"): <0, 0, >0.
// A version that is not such is lower than any that is.
int pack_version_compare(const char* a, const char* b);

// The level file a level plays: ((level - 1) mod 9) + 1.
inline int pack_file_of(int level) { return (level - 1) % PACK_FILES + 1; }

// A pack's files as read, before anything is checked but their names and sizes.
struct PackFiles {
    std::string ini;
    bool has_level[PACK_FILES + 1] = {};
    std::vector<unsigned char> level[PACK_FILES + 1];
    bool has_proof[PACK_LEVELS + 1] = {};
    std::vector<unsigned char> proof[PACK_LEVELS + 1];
};

// Reads the pack at path: a folder, or a zip (zip_read.h).  Only pack.ini,
// levels/N.bmp and proofs/level-N.rec are taken; any other file of a zip is
// left alone.  A link or special file where one of these should be, a file
// too large, more than ZIP_MAX_BYTES in all, a missing pack.ini or an
// archive the zip reader refuses give
// false and a one-line reason in *error.
bool pack_read(const char* path, PackFiles* out, std::string* error);

// True when path names a zip (ends in .cvpack or .zip, any case).
bool pack_is_zip_name(const char* path);

// Writes the files into the folder dir, made new for them (nothing may be
// there: a link there is refused, never followed).  False with a reason;
// what was written is removed again.
bool pack_write_folder(const PackFiles& files, const char* dir, std::string* error);

// Removes a folder written by pack_write_folder (only the names a pack has).
void pack_remove_folder(const char* dir);

// The installed packs' folder, <data folder>/packs (file_game_data_dir); the
// folder and the data folder above it are made when make is true.  False
// when there is none, it does not fit, or it is not a folder (a link is not).
bool pack_packs_dir(char* out, int size, bool make);

// Every installed pack whose pack.ini is sound and whose folder is named by
// its id, sorted by id.  Empty when there are none.
std::vector<PackInfo> pack_list_installed();

// The folder of the installed pack with this id, in out; false when none.
bool pack_installed_dir(const char* id, char* out, int size);

// --- the pack the game plays -----------------------------------------------

// From now on the game's level files are dir's levels/N.bmp (a missing one
// plays as a missing level file does) and recordings name id.  A null dir
// (or id PACK_BUILT_IN) puts the data folder's levels back.  False, and
// nothing changed, when the paths do not fit.
bool pack_use(const char* dir, const char* id);

// The id recordings name: "" for the built-in pack.
const char* pack_in_use();
