// pack_command.h -- the program's level pack commands: --pack (play a pack),
// --verify-pack, --install-pack and --packs, and the pack a recording needs.
#pragma once

#include "main/options.h"

#include <cstdio>
#include <string>

struct PackFiles;
struct PackInfo;

enum { PACK_OK = 0, PACK_BAD_FILE = 2, PACK_FAILED = 22 };

// Checks a pack whose files (read by pack_read) sit in the folder dir:
// pack.ini, the game version it needs, every level file's SHA-256, and every
// level the pack plays replayed headless from its proof to the end of the
// level.  Prints one line per level and a summary to out:
//     level 1 (levels/1.bmp): ok, ticks 1210, score 150
//     level 2 (levels/2.bmp): SHA-256 differs from pack.ini
//     example: ok, 9 levels proved
// Returns PACK_OK or PACK_FAILED; *info gets pack.ini (zeroed when bad) and
// failed_level the first level that failed (0: none, or the pack as a whole).
// The data folder (sprites) must be chosen.  Leaves the built-in pack in use.
int PACK_CHECK(const char* dir, const PackFiles& files, std::FILE* out, PackInfo* info, int* failed_level);

// --verify-pack FILE|DIR: status 0, 22 when anything fails, 2 for a pack
// that cannot be read.
int VERIFY_PACK_COMMAND(const CommandLine& cl);
// --install-pack FILE|DIR: checks, then copies into the packs folder as
// <packs>/<id>, whole or not at all.  Status 0, 22 (not installed), 2.
int INSTALL_PACK_COMMAND(const CommandLine& cl);
// --edit on a pack: the folder the level editor works in.  A folder is
// itself; a zip (.cvpack, .zip) is unpacked beside it into a new folder named
// after it (where that folder is there already, it is refused: edit that
// folder); the id of an installed pack is its folder.  Anything else (a
// level file, a new name) is left as it is.  False with the reason in *error.
bool EDIT_FOLDER_OF(const char* named, std::string* folder, std::string* error);
// --packs: one line per installed pack.  Status 0.
int LIST_PACKS_COMMAND(const CommandLine& cl);

// Puts the pack named by --pack in use (a folder, a zip unpacked into the
// packs folder as .play-<id>, or the id of an installed pack).  False with a
// notice when it cannot be read.
bool USE_PACK(const char* given);

// Puts the pack a recording needs in use: for an empty id the one --pack
// gave (USE_PACK), else the built-in pack; else the one in use or the one
// --pack gave when it is that one, else the installed pack of its id.  False with the reason in why when the pack is not to be had.
bool USE_PACK_OF_RECORDING(const char* pack_id, char* why, int size);
