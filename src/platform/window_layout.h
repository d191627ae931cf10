// window_layout.h -- where the 640 x 480 page goes in a window, and how large
// the window opens.  Pure arithmetic on device pixels, shared by the window
// back-ends and tested on its own.
#pragma once

// A rectangle in device pixels.
struct PageRect {
    int x, y, w, h;
};

// The page's place in an output of out_w x out_h device pixels: the largest
// whole-number scale that fits, centred (the rest is black).  With fit, the
// largest 4:3 rectangle instead, any size.  An output smaller than one page
// is treated as fit.  Called by the window back-end at every present.
PageRect page_rect(int out_w, int out_h, bool fit);

// The page pixel under device pixel (x, y) of an output whose page lies at r
// (page_rect's answer): true when the point is on the page.  px and py are
// set either way, clamped to the page's edge, so a drag past the edge stays
// at the edge.  Called by the window core for the pointer.
bool page_point(const PageRect& r, int x, int y, int* px, int* py);

// The window's starting scale: the largest whole number (1 to 8) at which
// the window fits in 95% of a usable desktop of usable_w x usable_h (1 when
// nothing fits or the desktop is unknown).  Called by the window back-end
// when --scale is not given.
int start_scale(int usable_w, int usable_h);

enum { WINDOW_SCALE_MAX = 8 };
