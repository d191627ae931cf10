// settings.h -- the player's settings file: window size and mode, sound,
// pausing, and the key and pad bindings.
//
// The file is $XDG_CONFIG_HOME/clovenfeld/settings.ini (by default
// ~/.config/clovenfeld/settings.ini; %APPDATA%\clovenfeld\settings.ini on
// Windows); the browser keeps the same text in its local storage.  It holds
// plain "key = value" lines; blank lines and lines starting with "#" are
// comments.  The last line naming a key decides it; a bad value leaves that
// key at its default, and each problem is reported as one line
// "FILE:LINE: what is wrong".  A binding names up to two keys, each by its
// KeyboardEvent.code or as players know it ("key.left = A, Left"; see
// keymap_usage_of_name).  Saving rewrites only the lines whose values
// changed and appends keys the file did not have, so the player's comments,
// unknown keys and layout survive; the keys it writes are named as the
// file's own bindings name them (codes unless a binding line names a key as
// players know it).  Everything works in the caller's fixed
// buffers; nothing is allocated.
#pragma once

#include "platform/pack.h"

#include "platform/bindings.h"

enum {
    SETTINGS_MAX_BYTES = 65536,  // a larger file is refused
    SETTINGS_LINE_CHARS = 256,   // a longer line is reported and left alone
    SETTINGS_PATH_CHARS = 4096,
    SETTINGS_MESSAGE_CHARS = 512, // one reported line, at most
    SETTINGS_MAX_REPORTS = 20,   // further problems are counted in one last line
    SETTINGS_SCALE_MAX = 8,
};

struct Settings {
    int scale;                // 0 = the largest that fits the desktop, else 1 to 8
    bool fit;                 // stretch the page to the window (4:3), not whole steps
    bool fullscreen;
    int volume;               // 0 to 100
    bool mute;
    bool pause_on_focus_loss;
    // Assists (session.h applies them): the game's speed in percent (50 to
    // 100; only the ticks' wall-clock rate); ladder help; the lives a game
    // starts with (3, 5 or 9; 0 unlimited; other numbers count as 3); swans
    // and the duck drawn on the overview map by the presenter.
    int game_speed;
    bool ladder_help;
    int lives;
    bool enemies_on_map;
    char pack[PACK_ID_CHARS]; // the level pack played: an id (pack.h), "clovenfeld" the built-in one
    KeyBindings bindings;     // checked with keymap_check_bindings
};

// The bytes of a settings file: what settings_load read, what settings_save
// writes.  Large: keep it static or in a long-lived structure, not on a stack.
struct SettingsText {
    char bytes[SETTINGS_MAX_BYTES];
    int size;
};

// Receives each reported line (no newline at the end).
typedef void (*SettingsSink)(void* context, const char* line);

// What the file's place depends on; null means unset.
struct SettingsPlaces {
    const char* xdg_config_home = nullptr; // $XDG_CONFIG_HOME
    const char* home = nullptr;            // $HOME
    const char* appdata = nullptr;         // %APPDATA% (Windows only)
};

// The settings file's path in out: under appdata when given, else under an
// absolute $XDG_CONFIG_HOME, else under an absolute $HOME/.config.  False
// when none of them is usable or the path does not fit.  Called by
// settings_default_path and tests.
bool settings_path(const SettingsPlaces& places, char* out, int size);

// settings_path over this process's environment.  Called by the program at
// start-up.
bool settings_default_path(char* out, int size);

// The defaults: scale 0, fit and fullscreen off, volume 100, mute off,
// pause_on_focus_loss on, keymap_default_bindings.  Called by the program,
// settings_parse and tests.
void settings_defaults(Settings* out);

// One key of the file as --help and the documents describe it.
struct SettingsKeyInfo {
    const char* name; // "scale", "key.left", "pad.a", ...
    char values[64];  // what it takes: "0 to 100", "true or false", "up to two key names", ...
    char fallback[64]; // its default as a new file writes it: "100", "false", "KeyP, Pause", "space"
};

// Key k of the file (0, 1, ... in the order a new file lists them) in *out;
// false past the last.  The file's keys, their ranges and defaults are one
// table in settings.cpp, which reading, writing and this all follow.
// Called by --help and tests.
bool settings_describe(int k, SettingsKeyInfo* out);

// Reads settings text (size bytes; it need not end in a newline or a NUL)
// into *out, starting from the defaults.  Each problem goes to sink (may be
// null) as "FILE:LINE: ...", file naming the text in the messages.  Returns
// the number of problems; *out is complete and usable either way.  Called by
// settings_load, the browser back-end (local storage), the fuzzer and tests.
int settings_parse(const char* text, int size, const char* file, Settings* out, SettingsSink sink,
                   void* context);

enum SettingsLoad {
    SETTINGS_LOADED,  // read (problems, if any, were reported)
    SETTINGS_MISSING, // no such file: the defaults, text empty; not an error
    SETTINGS_REFUSED, // not a regular file, too large or unreadable: one message,
                      // the defaults, text empty; do not save over it
};

// Reads the file at path into *text and *out (see settings_parse).  Returns
// a SettingsLoad.  Called by the program at start-up and by tests.
int settings_load(const char* path, SettingsText* text, Settings* out, SettingsSink sink, void* context);

// The text to save for now, made from old (what was loaded; size 0 for a
// new file): the last line of each key whose value differs from what old
// gives is rewritten in place (its indentation, key and line end kept), keys
// old lacks are appended, and every other byte is kept; a line whose reading
// the rewrite changes (a binding freed from a conflict) is rewritten too.  With nothing changed out equals old.  False, out unusable,
// when now holds a value the file cannot express (out of range, a key with no
// name, conflicting bindings, or a binding that a conflicting line the file
// keeps would take first) or the text would exceed SETTINGS_MAX_BYTES.
// out must not be old.  Called by the program before settings_save, by the
// browser back-end, the fuzzer and tests.
bool settings_update_text(const SettingsText& old, const Settings& now, SettingsText* out);

// Writes text to path whole or not at all: creates the missing folders
// (mode 0700) and writes the file (mode 0600) through file_write_begin
// (system.h): never through a link, a link at the target replaced, not
// followed.  False after one message to sink, leaving no temporary behind.  Called by the program when settings
// change, and by tests.
bool settings_save(const char* path, const SettingsText& text, SettingsSink sink, void* context);
