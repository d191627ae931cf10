// banner.h -- a short message over the picture ("Screenshot saved: ..."),
// shown by the window back-ends for about two seconds.  Like the pause
// overlay it is drawn over the page they show, never into the game's pages,
// so pictures, recordings and screenshots never contain it.  Set on the game
// thread, read on the window's thread.
#pragma once

#include <cstdint>

enum { BANNER_CHARS = 80, BANNER_MS = 2000 };

// Shows text (cut to the overlay's line, its start dropped when too long)
// from now_ms for BANNER_MS.  Called by the window back-ends' banner field.
void banner_set(const char* text, long long now_ms);
// The banner to show at now_ms in out (BANNER_CHARS), "" when none.
// Returns a number that changes whenever what is shown changes.
unsigned banner_current(char* out, long long now_ms);
// A steady clock in milliseconds, for the two calls above.
long long banner_clock_ms();
// Draws text on a dark band at the foot of a 640 x 480 buffer of 0xAARRGGBB
// pixels (row pitch in pixels).  With over_picture the band darkens the
// picture there; without, the buffer is cleared to transparent first, for a
// presenter to blend over the picture.
void banner_draw(uint32_t* pixels, int pitch, const char* text, bool over_picture);
