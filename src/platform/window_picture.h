// window_picture.h -- what a window back-end shows: the visible page as last
// taken out of the game, and over it the pause overlay (while paused) and the
// banner.  A back-end that draws one picture shows picture_composed(); one
// that blends layers shows picture_page() under picture_layer()s.  Neither
// is ever drawn into the game's pages.  Main thread only.
#pragma once

#include <cstdint>

// A new window: the next picture_update takes every row.  Called by the
// window core before the back-end opens its window.
void picture_reset();

// Takes the rows of the visible page that changed (every row with all or
// before the first) and looks for a new banner or its end.  True when the
// window is to be drawn again: rows were taken, the banner changed, or
// force; always false once the program is ending.  first..last are the rows
// taken (first > last: none).
bool picture_update(bool force, bool all, int* first, int* last);

// The page as last taken (640 x 480 pixels, 0xAARRGGBB); null before any.
const uint32_t* picture_page();

// The page with the pause overlay and the banner drawn over it (the page
// itself when neither shows); null before any.
const uint32_t* picture_composed();

// The pause overlay, the banner, and the progress line of a recording being
// watched (viewer.h), in the order they are drawn.
// The assists' layer: a small tag naming the assists on, and the swans and
// the duck over the overview map when the player asks for them.
enum PictureLayer { LAYER_ASSISTS, LAYER_OVERLAY, LAYER_BANNER, LAYER_VIEWER, LAYER_COUNT };

// A layer to blend over the page (640 x 480, translucent): null when it is
// not shown now.  *changed is set when its pixels were drawn anew since the
// last call for it.
const uint32_t* picture_layer(PictureLayer layer, bool* changed);

// The pause overlay's state or text changed.  Called by the window core.
void picture_overlay_changed();
