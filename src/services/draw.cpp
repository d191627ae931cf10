// draw.cpp -- boxes, filled boxes and straight lines on the work page.
//
// The corners are rounded, ordered and clipped to the page once; the outline
// or the fill is then written row by row in the foreground colour.  A box one
// pixel wide or high is a straight line.

#include "services/draw.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/screen.h"

#include <algorithm>
#include <cstdint>

namespace {

// Fills columns xa..xb of row y (page coordinates, already inside the page).
void fill_span(Image* page, int y, int xa, int xb, uint32_t colour) {
    uint32_t* d = page->row(y);
    for (int x = xa; x <= xb; ++x) d[x] = colour;
}

} // namespace

int draw_line(float fx1, float fy1, float fx2, float fy2, LineKind kind) {
    if (!screen_is_open()) return ERR_ILLEGAL_CALL;
    if (kind != LINE_BOX && kind != LINE_FILLED_BOX) return ERR_ILLEGAL_CALL;
    if (!pixel_work()) return 0;
    int x1 = round_coord(fx1);
    int y1 = round_coord(fy1);
    int x2 = round_coord(fx2);
    int y2 = round_coord(fy2);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);

    const int right = SCREEN_WIDTH - 1;
    const int bottom = SCREEN_HEIGHT - 1;
    if (x2 < 0 || y2 < 0 || x1 > right || y1 > bottom) return 0;
    const int cx1 = std::max(x1, 0);
    const int cy1 = std::max(y1, 0);
    const int cx2 = std::min(x2, right);
    const int cy2 = std::min(y2, bottom);
    const uint32_t colour = foreground_color();

    lock_screen();
    Image* page = page_for_drawing();
    settle_rect(cx1, cy1, cx2 + 1, cy2 + 1);
    if (kind == LINE_FILLED_BOX) {
        for (int y = cy1; y <= cy2; ++y) fill_span(page, y, cx1, cx2, colour);
    } else {
        // Top and bottom edges where they lie on the page, then the sides.
        if (y1 >= 0) fill_span(page, y1, cx1, cx2, colour);
        if (y2 <= bottom && y2 != y1) fill_span(page, y2, cx1, cx2, colour);
        for (int y = cy1; y <= cy2; ++y) {
            if (x1 >= 0) page->row(y)[x1] = colour;
            if (x2 <= right) page->row(y)[x2] = colour;
        }
    }
    unlock_screen(cy1, cy2);
    return 0;
}
