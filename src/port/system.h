// system.h -- the few file, process and report calls that differ between systems,
// so that the services and the settings write their files the same way
// everywhere: system.cpp on POSIX systems (Linux, the browser),
// win32_system.cpp on Windows, and system_write.cpp (the same everywhere,
// on top of them) for writing a file whole.  Errors are reported through
// errno.
#pragma once

// Creates a new file for writing only, failing when anything is already at
// path (a link included: it is never followed).  The descriptor is not
// inherited by child processes and writes bytes as they are (no newline
// translation).  Returns the descriptor, or -1 with errno set (EEXIST when
// something is there).  mode is the POSIX permission bits (0600, 0644).
int file_create_new(const char* path, int mode);

// Opens an existing file for reading bytes as they are; -1 with errno set.
int file_open_read(const char* path);

// Moves from over to, replacing a file at to (atomically where the system
// can).  False with errno set.
bool file_replace(const char* from, const char* to);

// Creates one folder readable by its owner only; an existing one is fine.
void file_make_dir(const char* path);

// The running program's own path with "/" between names, in out (size
// characters with the final '\0'); false when unknown or too long.
bool file_executable_path(char* out, int size);

// Makes standard output and standard error write bytes as they are, so
// that every system prints the same lines.  Called first thing by main().
void file_plain_std_streams();

// True where the game's data may sit in the Unix places (<prefix>/share,
// $XDG_DATA_HOME, $XDG_DATA_DIRS, ~/.local/share, ../share beside the
// program), so the data search looks there (datadir.h); false on Windows,
// where the data is beside the program or named by --data.
bool file_unix_data_places();

// Shows the kept notice lines and then text (a fatal report, the usage) in a
// box to a player who has no console to read standard error in (a program
// started from the desktop on Windows), and returns when the box is closed;
// nothing where standard error leads somewhere (a console, a file, a pipe),
// and nothing on POSIX systems.  Called by fatal_error after writing the
// report to standard error, and by main() after a bad command line.
void show_notices_without_console(const char* text);

// Moves from to to only when nothing is at to: an earlier file there is
// never replaced.  False with errno set (EEXIST when something is there).
bool file_move_new(const char* from, const char* to);

// The player's pictures folder in out: $XDG_PICTURES_DIR, else ~/Pictures
// when it is a folder (the Pictures folder on Windows).  False when there is
// none or it does not fit.
bool file_pictures_dir(char* out, int size);

// The game's own folder for the player's files, the one the settings file
// is in: $XDG_CONFIG_HOME/clovenfeld, else ~/.config/clovenfeld
// (%APPDATA%\clovenfeld on Windows).  False when there is none or it does
// not fit.  It may not exist yet.
bool file_game_config_dir(char* out, int size);

// The game's own folder for data the player adds (level packs):
// $XDG_DATA_HOME/clovenfeld, else ~/.local/share/clovenfeld (%APPDATA%\clovenfeld
// on Windows).  False when there is none or it does not fit.  It may not exist yet.
bool file_game_data_dir(char* out, int size);

// True when path is a folder itself, not a link to one (nor a junction).
bool file_is_real_dir(const char* path);

// Creates a new folder readable by its owner only, failing when anything is
// already at path (a link included).  False with errno set.
bool file_new_dir(const char* path);

// Opens a regular file for reading bytes as they are, never through a link
// (a link, a folder or a special file gives -1, errno set).
int file_open_regular(const char* path);

// Removes an empty folder.  False with errno set.
bool file_remove_dir(const char* path);

// Calls each(name, ctx) for every entry of the folder path but "." and "..",
// in no fixed order.  False when the folder cannot be read.
bool file_list_dir(const char* path, void (*each)(const char* name, void* ctx), void* ctx);

// --- writing a file whole or not at all ------------------------------------
// A file is written as a new temporary beside its target, named
// "<target>.<process id>-<n>.tmp" and created as file_create_new creates
// (never through a link: a name already taken, a link included, is passed
// over for the next n), and moved into place only once complete.  A write
// that fails leaves no temporary behind and whatever was at the target as it
// was.  Used by the screenshots, the settings and the sound file.
enum { FILE_PATH_CHARS = 4096 };

struct FileWrite {
    char target[FILE_PATH_CHARS];
    char temp[FILE_PATH_CHARS + 32]; // "" when no temporary is held
};

// How file_write_commit puts the file in place.
enum FileCommit {
    FILE_COMMIT_REPLACE, // over whatever is at the target (a link there is replaced, not followed)
    FILE_COMMIT_NEW,     // only where nothing is: see file_move_new
};

// Creates the temporary for path with the POSIX permission bits mode.
// Returns its descriptor, which the caller writes and closes (itself, or
// through fdopen and fclose) before file_write_commit or file_write_abort;
// -1 with errno set (ENAMETOOLONG for a path of FILE_PATH_CHARS or more), and
// nothing created.
int file_write_begin(FileWrite* w, const char* path, int mode);

// Moves the closed temporary to the target (a FileCommit).  False with errno
// set, the temporary removed.
bool file_write_commit(FileWrite* w, int how);

// Removes the temporary, keeping errno.  Nothing when none is held.
void file_write_abort(FileWrite* w);
