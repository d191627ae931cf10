// text.cpp -- text in the 8 x 16 code page 437 font on the work page.
//
// Every byte is a glyph (no control codes, no wrapping); character i fills the
// cell at (x + 8 i, y).  Set bits take the foreground colour, clear bits leave
// the page alone, and the cells are clipped to the page.  The glyph data is
// the plain table in font_cp437.cpp.

#include "services/text.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/screen.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern const uint8_t font_cp437[256 * 16];

namespace {
constexpr int GLYPH_W = 8;
constexpr int GLYPH_H = 16;
} // namespace

const uint8_t* font_glyph(uint8_t c) { return &font_cp437[c * GLYPH_H]; }

int draw_text(float fx, float fy, const char* text) {
    if (!screen_is_open() || text == nullptr) return ERR_ILLEGAL_CALL;
    if (!pixel_work()) return 0;
    const int x = round_coord(fx);
    const int y = round_coord(fy);
    const int y0 = std::max(y, 0);
    const int y1 = std::min(y + GLYPH_H, static_cast<int>(SCREEN_HEIGHT)); // exclusive
    if (y0 >= y1 || x >= SCREEN_WIDTH) return 0;

    const uint32_t colour = foreground_color();
    lock_screen();
    Image* page = page_for_drawing();
    // The columns the text can reach: x to x + 8 x its length, within the page.
    const int64_t text_right = static_cast<int64_t>(x) + GLYPH_W * static_cast<int64_t>(std::strlen(text));
    if (text_right > 0) settle_rect(std::max(x, 0), y0, static_cast<int>(std::min<int64_t>(text_right, SCREEN_WIDTH)), y1);
    // 64-bit cell positions: a long text far to the left cannot overflow.
    int64_t cx = x;
    for (const char* p = text; *p != '\0' && cx < page->width; ++p, cx += GLYPH_W) {
        if (cx + GLYPH_W <= 0) continue;
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(*p));
        const int c0 = static_cast<int>(std::max<int64_t>(0, -cx));
        const int c1 = static_cast<int>(std::min<int64_t>(GLYPH_W, page->width - cx)); // exclusive
        for (int yy = y0; yy < y1; ++yy) {
            const uint8_t bits = glyph[yy - y];
            if (bits == 0) continue;
            uint32_t* d = page->row(yy) + cx;
            if (c0 == 0 && c1 == GLYPH_W) {
                // A whole glyph row: all 8 pixels rewritten, the clear bits
                // with what they held (one vector select).
                for (int c = 0; c < GLYPH_W; ++c) {
                    const uint32_t old = d[c];
                    d[c] = (bits >> (7 - c)) & 1u ? colour : old;
                }
            } else {
                for (int c = c0; c < c1; ++c)
                    if (bits & (0x80u >> c)) d[c] = colour;
            }
        }
    }
    unlock_screen(y0, y1 - 1);
    return 0;
}
