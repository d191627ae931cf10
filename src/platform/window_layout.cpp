// window_layout.cpp -- the page's rectangle in a window and the window's
// starting scale (see window_layout.h).
#include "platform/window_layout.h"

#include "services/screen.h"

#include <algorithm>

PageRect page_rect(int out_w, int out_h, bool fit) {
    out_w = std::max(out_w, 1);
    out_h = std::max(out_h, 1);
    const int scale = std::min(out_w / SCREEN_WIDTH, out_h / SCREEN_HEIGHT);
    int w, h;
    if (!fit && scale >= 1) {
        w = scale * SCREEN_WIDTH;
        h = scale * SCREEN_HEIGHT;
    } else if (static_cast<long long>(out_w) * 3 <= static_cast<long long>(out_h) * 4) {
        w = out_w; // narrower than 4:3: full width
        h = static_cast<int>(static_cast<long long>(out_w) * 3 / 4);
    } else {
        h = out_h;
        w = static_cast<int>(static_cast<long long>(out_h) * 4 / 3);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    return PageRect{(out_w - w) / 2, (out_h - h) / 2, w, h};
}

bool page_point(const PageRect& r, int x, int y, int* px, int* py) {
    const int w = std::max(r.w, 1), h = std::max(r.h, 1);
    // Floor division, so the bar's pixel left of the page is -1, not 0.
    const long long dx = static_cast<long long>(x - r.x) * SCREEN_WIDTH;
    const long long dy = static_cast<long long>(y - r.y) * SCREEN_HEIGHT;
    const long long fx = dx >= 0 ? dx / w : -((-dx + w - 1) / w);
    const long long fy = dy >= 0 ? dy / h : -((-dy + h - 1) / h);
    *px = static_cast<int>(std::clamp<long long>(fx, 0, SCREEN_WIDTH - 1));
    *py = static_cast<int>(std::clamp<long long>(fy, 0, SCREEN_HEIGHT - 1));
    return fx >= 0 && fx < SCREEN_WIDTH && fy >= 0 && fy < SCREEN_HEIGHT;
}

int start_scale(int usable_w, int usable_h) {
    // 95%, not less: a desktop panel takes some 40 px of a 1080-line screen,
    // and 2x (960 lines) must still be chosen there.
    const long long room_w = static_cast<long long>(std::max(usable_w, 0)) * 95 / 100;
    const long long room_h = static_cast<long long>(std::max(usable_h, 0)) * 95 / 100;
    const long long scale = std::min(room_w / SCREEN_WIDTH, room_h / SCREEN_HEIGHT);
    return static_cast<int>(std::clamp<long long>(scale, 1, WINDOW_SCALE_MAX));
}
