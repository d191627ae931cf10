// shell.h -- the game shell (module "main"): start-up, the title screen, the
// level loop and the frame order, lives, time, score, the HUD and the boxes.
//
// Every piece of the shell is a plain procedure over the module-wide state
// below, so tests and tools can drive a game step by step (start-up, a new
// game, a level start, single frames, the level end) and snapshot it.
#pragma once

#include "actors/collide.h"
#include "services/fatal.h"

#include <string>

struct Image;

// Shared state owned by the shell.
extern int view_width, view_height;
extern int score, eggs_taken, egg_total;
extern int swans_active, duck_active;
extern Table<Image*, 5> shell_images;
extern Table<std::string, 21> title_lines;

extern const HitBox player_box;
extern const HitBox duck_body_box;
extern const HitBox duck_head_box_right;
extern const HitBox duck_head_box_left;

// State of the main loop (seen by tools, tests and snapshots only).
extern int lives;      // lives left; the game ends when it falls to 0 or below
// The level editor, opened from the title screen by KEY_EDITOR_CODE; the
// title is shown afresh when it returns.  Set by the program (null: none).
extern void (*title_editor)();
extern int practice_level; // 1 to 27: the next game is a practice game of that level alone (0: none)
extern int lives_unlimited; // 1 when the game was started with unlimited lives (an assist): none are lost
extern int level;      // 1 to 27
extern int level_file; // 1 to 9: the file levels\<n>.bmp of this level
extern int dead;       // 1 once the player was killed in this frame
extern int time_left;  // time units left on this level, from 500
extern int time_tick;  // frames counted towards the next time unit
extern int quit_code;  // 0 play on, 1 the game ends, 2 level completed
extern int high_score; // best final score of this run of the program
// 1: every frame of play is drawn and shown (always, in play).  0: PLAY_FRAME
// moves the world and draws nothing, for a search that runs frames by the
// million (the prover); the boxes are still drawn.  No game variable depends
// on it, so a frame moves the world alike either way.
extern int drawing_on;
// The game's name and version, as --version prints it and recordings name it.
extern const char VERSION_TEXT[];

// Game constants.
enum {
    LAST_LEVEL = 27,
    LEVEL_FILES = 9,
    START_LIVES = 3,
    LEVEL_TIME = 500,
    FRAMES_PER_TIME_UNIT = 50,
    FRAME_WAIT_MS = 10,
};

// The address that ends the window title and the title screen.
extern const char WEB_ADDRESS[];
// The full window title.
extern const char WINDOW_TITLE[];

// Shows the title screen and returns after Space; Escape held ends the program.
void TITLE();
// Shows the message box over the work page and returns after Space.
// The const char* form builds nothing on the heap; the game calls that one.
void INFOBOX(const char* text);
void INFOBOX(const std::string& text);

// Round half to even of a / 2: the centring rule of the title and the boxes.
// Called by TITLE, INFOBOX and CENTRED_X.
int HALF_EVEN(int a);
// x at which a text of n characters is centred on the view.  TITLE, INFOBOX.
int CENTRED_X(int n);

// Start-up: the swan and cell tables, the seed, the window title, the screen,
// the pages, shell_images, then MAP_INIT, SWANS_INIT, DUCK_INIT, PLAYER_INIT.
// Called once by GAME_MAIN (tests call it to set up a run).
void SHELL_STARTUP();
// Fills title_lines 0 to 11; line 7 carries high_score.  Before each TITLE.
void FILL_TITLE_LINES();
// Lives, level, level file, flags and score of a new game.  PLAY_GAME.
void NEW_GAME();
// Loads level_file, counts its eggs, draws the first picture, shows the
// "Level <n>" box and starts the clock.  PLAY_GAME.
void LEVEL_START();
// One frame of play, all twenty steps in order; returns quit_code.  PLAY_GAME.
int PLAY_FRAME();
// After the frame loop stopped: the next level, extra lives, enemies, the
// time bonus, or the end of the game after the last level.  PLAY_GAME.
void LEVEL_END();
// "Game Over" (when no lives are left), "Final Score: <n>", and the high
// score.  PLAY_GAME.
void GAME_OVER_BOXES();
// One whole game: new game, levels until the game ends, the end boxes.
// Called by GAME_MAIN after the title screen.
void PLAY_GAME();

// The contact tests of a frame; each returns 1 if the player is hit.
// Called by PLAY_FRAME.
int SWANS_HIT();  // against every active swan (only while swans_active)
int DUCK_HIT();   // against the duck's head box and its body box
int OFF_SCREEN(); // the player left the screen at the top or the bottom
// The heads-up display on the work page.  Called by PLAY_FRAME.
void DRAW_HUD();

// The program's main code on the game thread: start-up, then title screen
// and games for ever.  Returns only through end_program or fatal_error.
int GAME_MAIN();
