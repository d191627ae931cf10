// options.h -- the command line of the game program: how a run is set up
// (window or headless, recordings, seed, stop conditions, event log).
#pragma once

#include "port/platform.h"
#include "platform/run.h"

#include <cstdio>

// What the command line asks for beyond RunOptions.
struct CommandLine {
    RunOptions run;            // copied into run_options by main()
    bool show_help = false;    // --help
    bool show_version = false; // --version
    const char* data_dir = nullptr; // --data DIR: the folder holding gfx/ and levels/
    const char* settings_path = nullptr; // --settings FILE: read (and save) this settings file
    bool no_settings = false;       // --no-settings: read no settings file
    bool show_records = false;      // --records: print the records and end
    // --prove LEVEL.bmp | --prove --all, with its own options.
    const char* prove_path = nullptr; // the level file to prove
    bool prove_all = false;           // the shipped levels, all 27
    int prove_level = 0;              // --level N (1 to 27; 0: not given)
    double prove_budget = 60;         // --budget SECONDS
    const char* prove_out = nullptr;  // --out FILE (a folder with --all)
    bool prove_progress = false;      // --progress: progress lines while it searches
    // Level packs.
    const char* pack = nullptr;         // --pack FILE|DIR|ID: play this pack
    const char* verify_pack = nullptr;  // --verify-pack FILE|DIR
    const char* install_pack = nullptr; // --install-pack FILE|DIR
    bool list_packs = false;            // --packs
    // --edit [FILE]: the level editor, on a level file (none: a new level).
    bool edit = false;
    const char* edit_path = nullptr;
    // --verify FILE...: the recordings to check, as they stand in argv.
    const char* const* verify_files = nullptr;
    int verify_count = 0;
};

enum { OPTIONS_OK = 0, OPTIONS_BAD = 2 };

// Parses argv into *out.  Returns OPTIONS_OK, or OPTIONS_BAD after writing a
// one-line message naming the fault to err (null: as a notice, notice.h).
// Called by main() and by tests.
int parse_options(int argc, const char* const* argv, CommandLine* out, FILE* err);

// Writes the usage text and the settings file's keys (settings_describe).
// Called by main() for --help.
void print_usage(FILE* to);
// The usage text.  Shown by main() in a box after a bad option.
extern const char USAGE_TEXT[];

// "Clovenfeld Returns 0.5".  Called by main() for --version.
extern const char VERSION_TEXT[];
