// shell.h -- the game shell (module "main"): start-up, the title screen, the
// level loop and the frame order, lives, time, score, the HUD and the boxes.
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

// Shows the title screen and returns after Space; Escape held ends the program.
void TITLE();
// Shows the message box over the work page and returns after Space.
void INFOBOX(const std::string& text);

// The program's main code on the game thread: start-up, then title screen
// and games for ever.  Returns only through end_program or fatal_error.
int GAME_MAIN();
