// datadir.h -- where the game's data (gfx/ and levels/) is read from.
//
// The game names its files relative to one folder, as it always has: the
// working directory when gfx/ and levels/ are there.  A game started from
// elsewhere (a menu, a shell in another folder, an installed copy) finds them
// in the first folder that holds both, in this order:
//   1. the working directory;
//   2. beside the executable, then <executable's folder>/../share/clovenfeld,
//      then <executable's folder>/../share/games/clovenfeld (an installed
//      tree moved somewhere else, or an unpacked package: the package puts
//      the program in /usr/games and the data in /usr/share/games/clovenfeld);
//   3. the installed data folder compiled in, <prefix>/share/clovenfeld;
//   4. $XDG_DATA_HOME/clovenfeld, then $XDG_DATA_HOME/games/clovenfeld
//      (default ~/.local/share);
//   5. <entry>/clovenfeld, then <entry>/games/clovenfeld, for each entry of
//      $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
// On Windows only the working directory and the executable's own folder are
// searched (the zip holds clovenfeld.exe beside gfx\ and levels\): none of
// the Unix places of 2 to 5 (file_unix_data_places, system.h).
// A folder counts only when it holds both: one with gfx/ alone or levels/
// alone is passed over and the search goes on (a half-copied data folder
// would give sprites without levels, and every level would be empty).
// --data DIR names the folder outright and skips the search.  When no folder
// holds the data, one line on standard error says so and every game file is
// missing: the first sprite load ends the program with the fatal report
// "file not found" (status 2), even where the working directory holds half of
// the data.  The folder is decided once, at start-up; every file the game
// reads (sprites and levels) is named through data_file_path.  Screenshots
// and the files named on the command line stay relative to the working
// directory.
#pragma once

// The longest data folder's path, its final '\0' included.
enum { DATA_DIR_CHARS = 4096 };

// Everything the search looks at besides the file system; null means unset.
struct DataDirPlaces {
    const char* given = nullptr;          // --data DIR
    const char* executable = nullptr;     // the program's own path (/proc/self/exe)
    const char* installed = nullptr;      // <prefix>/share/clovenfeld
    const char* xdg_data_home = nullptr;  // $XDG_DATA_HOME
    const char* home = nullptr;           // $HOME
    const char* xdg_data_dirs = nullptr;  // $XDG_DATA_DIRS
    // false: no Unix place (the share folders beside the executable, the
    // installed folder, the XDG folders, not even their defaults) is searched.
    bool unix_places = true;
};

// Runs the search over places and writes the chosen folder to out ("" for the
// working directory).  Returns true when the chosen folder holds gfx/ and
// levels/ (always true for a given folder that holds them; false when nothing
// was found, out then being "").  Called by choose_data_dir and by tests.
bool find_data_dir(const DataDirPlaces& places, char* out, int size);

// Fills the places from the process (the executable, the environment and the
// compiled-in folder), runs the search and keeps its result for
// data_file_path.  given is --data DIR or null.  Called by main() once, before
// the game starts.
void choose_data_dir(const char* given);

// The folder chosen by choose_data_dir ("" until then: the working directory).
const char* data_dir();

// The path of a game file: game_path as the game names it ("levels\\1.bmp",
// "\\" between names) turned into a path under the data folder with "/".  An
// absolute path is taken as it is.  Returns 0, or with out empty 1 when the
// path does not fit in size characters (never a cut-off name) and 2 when no
// data folder was found.  Called by load_bitmap and open_game_file (bmp.h).
int data_file_path(const char* game_path, char* out, int size);

// Level files taken from elsewhere: from now on the game's "levels\\<n>.bmp"
// (n from 1 to LEVEL_PATH_FILES) is the file at path, as named (relative to
// the working directory, like every file named on the command line), instead
// of the data folder's.  A path that does not open is a missing level file,
// as in the data folder.  Null puts the data folder's file back.  False, and
// nothing changed, for another n or a path of DATA_DIR_CHARS or more.
// Called by --prove LEVEL.bmp.
enum { LEVEL_PATH_FILES = 9 };
bool set_level_path(int n, const char* path);

// Sets the folder directly (tests; "" or null returns to the working
// directory).  The folder then counts as found.
void set_data_dir(const char* dir);
