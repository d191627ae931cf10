// overlay.h -- the pause overlay: the last picture dimmed, with a few lines
// of text in the game's own 8 x 16 font on a dark box of their own, centred.  The back-ends draw it over
// the page they show (never into the game's pages), so the game's pictures,
// recordings and S screenshots never contain it.  Pure drawing over a caller's
// 640 x 480 buffer of 0xAARRGGBB pixels.
#pragma once

#include <cstdint>

enum { OVERLAY_WIDTH = 640, OVERLAY_HEIGHT = 480, OVERLAY_MAX_LINES = 6, OVERLAY_LINE_CHARS = 80 };

// What the overlay shows.
struct OverlayText {
    char lines[OVERLAY_MAX_LINES][OVERLAY_LINE_CHARS]; // code page 437 bytes
    int count;
};

// The text for the pause overlay: "Paused", the help line (null = the
// window's: P, M, F11, K and Esc), and the question or message of the moment
// (null or "" = none) under them.
void overlay_pause_text(OverlayText* out, const char* question, const char* help = nullptr);

// Draws the overlay into pixels (row pitch in pixels).  With over_picture the
// pixels already hold the picture, which is darkened; without, the buffer is
// filled with translucent black for a presenter to blend over the picture.
// The lines stand centred on an opaque dark box with a border, sized to
// them, so no text of the picture shows among them; the first line is
// yellow, the rest white.
void overlay_draw(uint32_t* pixels, int pitch, const OverlayText& text, bool over_picture);

// --- the pause menu: what the window back-ends' overlay shows and does -------
// One state for the window back-ends (SDL and Win32), kept on their event
// thread: "Paused" with the help line; Esc asks "Quit? Y/N"; K asks for each
// action's key in turn and sets and saves the new bindings.  A key pressed
// for an action becomes its first key and the old first key its second
// (binding A to Left keeps the Left arrow too); Esc keeps the action's keys;
// a key another action has is refused.  Keys are named as players know them
// ("Left arrow", "S"); a message stays until the next key or pause.  A
// shows the assists: 1 to 4 change the game's speed, ladder help, the lives
// and the enemies on the overview map, saved at once; those that change play
// take effect at the next new game.  Esc goes back.  On the title screen L
// shows the levels reached (the records' furthest, at least 1): Left and
// Right choose one, Enter plays it as a practice game (input_practice) and
// resumes.  C on the title screen shows the level packs (the built-in one
// and those installed, pack.h): Left and Right choose one, Enter plays it
// from then on (the next game's levels; saved in the settings).  R shows the
// records.

// What a key pressed while paused asks the back-end to do.  PAUSE_QUIT (Y to
// "Quit?"): input_quit_game (run.h), then resume, so the game ends as the
// player's Escape ends it.  PAUSE_PRACTICE (Enter on the level list):
// input_practice(pause_menu_practice_level()), then resume.
enum PauseAnswer { PAUSE_STAY, PAUSE_RESUME, PAUSE_MUTE, PAUSE_FULLSCREEN, PAUSE_QUIT, PAUSE_PRACTICE,
                   PAUSE_EDITOR };

// The menu starts afresh: called when the game pauses.
void pause_menu_open();
// A key (HID usage) pressed while paused; auto-repeats are the caller's to
// drop.  Called by the window back-ends.
PauseAnswer pause_menu_key(int usage);
// The overlay's text for the menu as it is now.
void pause_menu_text(OverlayText* out);
// What the menu shows: "Paused" (and a message), the question "Quit? Y/N",
// or the prompt for a key.  Called by the browser back-end, whose page shows
// Yes and No buttons for the question.
enum PauseMenuState {
    PAUSE_MENU_PAUSED, PAUSE_MENU_QUIT, PAUSE_MENU_KEYS, PAUSE_MENU_ASSISTS, PAUSE_MENU_LEVELS, PAUSE_MENU_RECORDS,
    PAUSE_MENU_PACKS,
};
PauseMenuState pause_menu_state();
// The level chosen on the level list.
int pause_menu_practice_level();
