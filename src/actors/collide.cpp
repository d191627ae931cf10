// collide.cpp -- the contact test between two actors (module "collide").
//
// COLLIDE3 reports which corners of actor A's box lie inside actor B's box,
// as four bits (1 top-left, 2 top-right, 4 bottom-left, 8 bottom-right).  It
// is deliberately not a symmetric overlap test: only A's corners are looked
// at, so a small B wholly inside a big A gives 0.  The shell uses it for the
// player against the swans and the duck and only asks whether it is nonzero.
#include "actors/collide.h"

#include "services/fatal.h"

static constexpr const char MODULE_NAME[] = "collide";

// True when (px, py) lies in the box from (left, top) spanning w by h more
// pixels; every edge is part of the box.
static bool point_inside(int px, int py, int left, int top, int w, int h) {
    return left <= px && px <= left + w && top <= py && py <= top + h;
}

int COLLIDE3(int x1, int y1, int x2, int y2, const HitBox& a, const HitBox& b) {
    PROC("COLLIDE3");
    const int ax = x1 + a.off_x;
    const int ay = y1 + a.off_y;
    const int bx = x2 + b.off_x;
    const int by = y2 + b.off_y;
    int corners = 0;
    if (point_inside(ax, ay, bx, by, b.w, b.h)) corners += 1;
    if (point_inside(ax + a.w, ay, bx, by, b.w, b.h)) corners += 2;
    if (point_inside(ax, ay + a.h, bx, by, b.w, b.h)) corners += 4;
    if (point_inside(ax + a.w, ay + a.h, bx, by, b.w, b.h)) corners += 8;
    return corners;
}
