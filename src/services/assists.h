// assists.h -- the assists that change play, as the game reads them when a
// game starts: ladder help and more lives.  Off by default.  Run control
// sets them from the player's settings, or from the header of a recording
// being replayed, and a recording names them in its header ("assists none",
// "assists ladder lives 9"), so a replay plays as the game was played.  The
// assists that do not change play (the game's speed, the enemies on the
// overview map) are the presenter's, not kept here.
#pragma once

enum { ASSIST_LIVES_UNLIMITED = -1, ASSIST_TEXT_CHARS = 48 };

struct PlayAssists {
    bool ladder_help = false; // Up or Down on a ladder's edge first moves onto its column
    int lives = 0;            // lives a game starts with: 0 the usual, 5, 9, or ASSIST_LIVES_UNLIMITED
};

// The assists the next game starts with.  Owned here; set by run control,
// read by the shell (lives) and the player (ladder help).
extern PlayAssists play_assists;

// True when an assist changes play (a game played with it is assisted).
bool assists_on(const PlayAssists& a);
// "none", or the assists on as words: "ladder", "lives 5", "lives unlimited".
void assists_text(const PlayAssists& a, char* out, int size);
// Reads assists_text's words back; false (and *out untouched) on anything else.
bool assists_parse(const char* text, PlayAssists* out);
