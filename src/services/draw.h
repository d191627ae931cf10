// draw.h -- boxes and lines in the foreground colour on the work page.
#pragma once

enum LineKind { LINE_BOX, LINE_FILLED_BOX };

// Orders the corners, then draws the rectangle's one-pixel outline (LINE_BOX)
// or fills it (LINE_FILLED_BOX), edges included, clipped to the page.  A box
// with x1 = x2 or y1 = y2 is a straight line.
int draw_line(float x1, float y1, float x2, float y2, LineKind kind);
