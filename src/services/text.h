// text.h -- text in the 8 x 16 code page 437 font.
#pragma once

#include <cstdint>

// Draws each byte of text as its 8 x 16 glyph from (x, y), character i at
// x + 8 * i, setting the pixels of set bits to the foreground colour and
// leaving the others alone; no control codes, no wrapping, clipped.
int draw_text(float x, float y, const char* text);

// The 16 rows of glyph c, top row first; bit 7 of a row is its leftmost pixel.
const uint8_t* font_glyph(uint8_t c);
