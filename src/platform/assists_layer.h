// assists_layer.h -- what the presenters (a window's, the browser page's)
// show of the assists while they are on: a small tag at the picture's foot
// naming them ("Assists: 70% ladder lives 9 map"), and the swans and the
// duck as dots over the overview map when the player asks for them.  Drawn
// over the picture shown, never into the game's pages.  Called on the
// presenter's thread.
#pragma once

#include <cstdint>

// Looks at the assists and where the swans and the duck stand now; returns a
// number that changes whenever the drawing would.  Nothing is shown while a
// recording is watched (its own assists are the play's).
unsigned assists_layer_look();
// Whether the last look found anything to show.
bool assists_layer_shown();
// The rows the drawing covers (first > last: none).
void assists_layer_rows(int* first, int* last);
// Draws what the last look found into a 640 x 480 buffer (row pitch in
// pixels): over the picture (its box dims the picture), or alone on a
// buffer cleared to transparent for blending.  Pixels are 0xAARRGGBB, or
// with rgba R, G, B, A bytes in memory (the browser's canvas).
void assists_layer_draw(uint32_t* pixels, int pitch, bool over_picture, bool rgba);
