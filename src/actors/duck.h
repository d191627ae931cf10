// duck.h -- the duck and its cage (module "duck").
#pragma once

#include "services/fatal.h"

struct Image;

// Shared state owned by the duck (map pixels).
extern Table<Image*, 4> duck_images;
extern int duck_x, duck_y, duck_start_x, duck_start_y;
extern int duck_dir, duck_tick, duck_frame;

void DUCK_INIT();
void DUCK_SET(int col, int row);
void DUCK_RESET();
void DUCK_UPDATE();
void DUCK_DRAW();
void DRAWCAGE(int x, int y);
