// session.h -- the player's settings around a run: read at start-up, applied
// to the run options, the key map and the mixer, and what the player changed
// during the run (fullscreen, the window's scale, mute, key bindings) saved
// at exit.  The settings file's format is in settings.h.  Window runs read
// the player's own file unless --no-settings; headless runs and tests read
// none unless named with --settings FILE, so a developer's settings can
// never change a test.  Command-line options win over the file for their run
// and are not saved.
#pragma once

#include "platform/bindings.h"
#include "platform/run.h"
#include "services/assists.h"

// Reads the settings: the file at path (--settings FILE), or with path null
// the player's own file when use_default is set.  What the command line left
// unset in *run comes from the file; the bindings go to the key map.  Each
// problem is one line on standard error.  Called by main() before the
// back-end opens.
void session_start(const char* path, bool use_default, RunOptions* run);

// Whether losing the focus pauses the game (default true).  Called by the
// back-ends.
bool session_pause_on_focus_loss();

// The player's changes, kept for the save at exit.  Called by the back-ends.
void session_note_fullscreen(bool on);
void session_note_scale(int scale);
void session_note_mute(bool on);
// New bindings (already checked by the key map).  Called by the key binding
// overlay.
void session_note_bindings(const KeyBindings& bindings);

// The bindings in use (the defaults when no file gave others).  Called by the
// key binding overlay.
void session_bindings(KeyBindings* out);

// Writes what the player changed to the settings file in use, if anything
// changed and the file was readable (never over a refused one).  Called when
// the run ends (the back-end's close) and after new bindings.
void session_save();

// The assists as the settings hold them, and as the pause menu changes them
// (saved with the settings).  Any thread.
struct AssistSettings {
    int game_speed = 100;       // percent: 50 to 100
    bool ladder_help = false;
    int lives = 3;              // 3, 5 or 9; 0 unlimited
    bool enemies_on_map = false;
};
AssistSettings session_assists();
void session_note_assists(const AssistSettings& a);
// The assists that change play, as a game started now takes them.
PlayAssists session_play_assists();

// The level pack the settings name (PACK_BUILT_IN when none), and the one
// the player chose in the pause menu (saved with the settings).  Any thread.
void session_pack(char* out, int size);
void session_note_pack(const char* id);

// Test support: forgets the file in use and the changes.
void session_reset_for_tests();
