// overlay.h -- the pause overlay: the last picture dimmed, with a few lines
// of text in the game's own 8 x 16 font, centred.  The back-ends draw it over
// the page they show (never into the game's pages), so the game's pictures,
// recordings and S screenshots never contain it.  Pure drawing over a caller's
// 640 x 480 buffer of 0xAARRGGBB pixels.
#pragma once

#include <cstdint>

enum { OVERLAY_WIDTH = 640, OVERLAY_HEIGHT = 480, OVERLAY_MAX_LINES = 6, OVERLAY_LINE_CHARS = 80 };

// What the overlay shows.
struct OverlayText {
    char lines[OVERLAY_MAX_LINES][OVERLAY_LINE_CHARS]; // code page 437 bytes
    int count;
};

// The text for the pause overlay: "Paused", the help line (null = the
// window's: P, M, F11, K and Esc), and the question or message of the moment
// (null or "" = none) under them.
void overlay_pause_text(OverlayText* out, const char* question, const char* help = nullptr);

// Draws the overlay into pixels (row pitch in pixels).  With over_picture the
// pixels already hold the picture, which is darkened; without, the buffer is
// filled with translucent black for a presenter to blend over the picture.
// Text is drawn opaque: the first line yellow, the rest white.
void overlay_draw(uint32_t* pixels, int pitch, const OverlayText& text, bool over_picture);
