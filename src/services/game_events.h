// game_events.h -- what the game tells the program around it: the events the
// shell announces as it shows them ("title", "infobox:Level 1", "level:1",
// "score:N") and what it waits in.  The game only tells; run control listens
// (--events, --stop-at, the tests' hooks) and reads the wait (the pause
// menu's quit).  With no listener an event goes nowhere.
#pragma once

// Hands the event to the listener.  Called by the shell, the title screen and
// the boxes.
void announce_event(const char* name);

// Where events go (null: nowhere).  Set by run control.
void set_event_listener(void (*listener)(const char* name));
// The listener now (null: none), so a search can silence it and put it back.
using EventListener = void (*)(const char* name);
EventListener event_listener();

// What the shell waits in: the title screen (where Escape ends the program),
// a message box (where only Space acts), or neither: the game is played.
// Noted by the title screen and the boxes as they start and stop waiting;
// read on any thread.
enum ShellWait { SHELL_PLAYS, SHELL_IN_BOX, SHELL_ON_TITLE };
void note_shell_wait(int wait);
int shell_wait();

// The game's state as recordings check it: a hash of what matters to play,
// and the figures an ending names.  The game registers how to read it once
// it has started; the program around it asks.
#include <cstdint>
struct GameState {
    uint64_t hash;
    int score, eggs, lives, level;
    int behaviour;       // raised whenever a change alters play
    const char* version; // the game's name and version ("" with no game)
};
using StateReporter = void (*)(GameState* out);
void set_state_reporter(StateReporter reporter);
// False (and *out zeroed) when no game has registered.
bool report_game_state(GameState* out);

// Where the swans and the duck stand on the overview map, in page pixels:
// for the presenter, which draws them over the picture when the player asks
// (an assist), never into the game's pages.  Read on the game thread.
struct MapSpot {
    int x, y;
    int duck; // 1 for the duck, 0 for a swan
};
enum { MAP_SPOTS_MAX = 24 };
using SpotsReporter = int (*)(MapSpot* out, int max);
void set_spots_reporter(SpotsReporter reporter);
// The spots now (at most max); 0 with no game.
int report_game_spots(MapSpot* out, int max);
