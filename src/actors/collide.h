// collide.h -- the contact test between two actors (module "collide").
#pragma once

// A box relative to an actor's position: columns x + off_x to x + off_x + w,
// rows y + off_y to y + off_y + h, both ends included.
struct HitBox {
    int off_x;
    int off_y;
    int w;
    int h;
};

// Which corners of A's box lie inside B's box: 1 top-left, 2 top-right,
// 4 bottom-left, 8 bottom-right, summed.  Not a plain overlap test: only A's
// corners are tested.  Called by the shell's contact tests.
int COLLIDE3(int x1, int y1, int x2, int y2, const HitBox& a, const HitBox& b);
