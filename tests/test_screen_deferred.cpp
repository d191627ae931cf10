// test_screen_deferred.cpp -- the screen's owed work (show_page's copy and
// clear_screen's fill, paid only when someone could see them) against a plain
// model that copies and fills at once: random runs of clears, blits in the
// three modes, boxes, text, shows, page swaps and reads through every
// accessor must leave both pages exactly as the model says.
#include "test_gfx_util.h"

#include "services/draw.h"
#include "services/text.h"

#include <array>
#include <random>

namespace {

constexpr int W = SCREEN_WIDTH, H = SCREEN_HEIGHT;
using Page = std::vector<uint32_t>;

struct Model {
    std::array<Page, 2> page{Page(W * H, 0xFF000000u), Page(W * H, 0xFF000000u)};
    int work = 0, visible = 0;

    void blit(const Image* img, int px, int py, BlitMode mode) {
        Page& d = page[work];
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x) {
                const int tx = px + x, ty = py + y;
                if (tx < 0 || ty < 0 || tx >= W || ty >= H) continue;
                const uint32_t s = img->row(y)[x];
                uint32_t& p = d[ty * W + tx];
                if (mode == BLIT_SOLID) p = s;
                else if (mode == BLIT_XOR) p ^= s;
                else if ((s & 0xFFFFFFu) != TRANSPARENT_KEY) p = s & 0xFFFFFFu;
            }
    }
    void box(int x1, int y1, int x2, int y2, uint32_t c) {
        for (int y = std::max(y1, 0); y <= std::min(y2, H - 1); ++y)
            for (int x = std::max(x1, 0); x <= std::min(x2, W - 1); ++x) page[work][y * W + x] = c;
    }
};

::testing::AssertionResult same(const Image* img, const Page& want, const char* what, int step) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (img->row(y)[x] != want[y * W + x])
                return ::testing::AssertionFailure() << what << " differs at (" << x << "," << y << ") after step "
                                                     << step << ": " << std::hex << img->row(y)[x] << " != "
                                                     << want[y * W + x];
    return ::testing::AssertionSuccess();
}

using ScreenDeferred = GfxTest;

TEST_F(ScreenDeferred, RandomDrawingMatchesEagerCopiesAndFills) {
    std::mt19937 rng(14);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Sprites with key pixels, opaque ones and odd sizes; 5 .. 9 also have
    // rows wholly key colour and rows with none, and their row kinds are
    // decided (so transparent blits skip and copy rows), then decided again
    // as their pixels change (see below).
    std::vector<Image*> sprites;
    auto paint = [&](Image* img, int k) {
        for (int y = 0; y < img->height; ++y) {
            const int row_style = k < 5 ? 3 : pick(0, 3); // 0 key, 1 opaque, 2 .. 3 as the old sprites
            for (int x = 0; x < img->width; ++x) {
                const bool key = row_style == 0 || (row_style >= 2 && k % 2 == 0 && (x + y) % 3 == 0) ||
                                 (row_style == 2 && pick(0, 7) == 0);
                img->row(y)[x] = key ? (pick(0, 1) ? 0xFFFF00FFu : 0x12FF00FFu) : 0xFF000000u | rng();
            }
        }
        if (k >= 5) image_changed(img);
    };
    for (int k = 0; k < 10; ++k) {
        const int w = k == 4 || k == 9 ? 64 : pick(1, 40), h = pick(1, 40);
        Image* img = create_image(w, h, 0);
        paint(img, k);
        sprites.push_back(img);
    }
    Model m;
    set_pages(0, 1);
    m.work = 0, m.visible = 1;
    for (int step = 0; step < 3000; ++step) {
        const int op = pick(0, 99);
        if (op < 8) {
            const uint32_t bg = pick(0, 1) ? 0xFF000000u : 0xFF000000u | rng();
            set_color(0, bg, KEEP_FOREGROUND);
            ASSERT_EQ(clear_screen(), 0);
            std::fill(m.page[m.work].begin(), m.page[m.work].end(), bg);
        } else if (op < 70) {
            const Image* img = sprites[pick(0, 9)];
            const int x = pick(-70, W + 5), y = pick(-70, H + 5);
            const BlitMode mode = static_cast<BlitMode>(pick(0, 2));
            ASSERT_EQ(put_image(static_cast<float>(x), static_cast<float>(y), img, mode), 0);
            m.blit(img, x, y, mode);
        } else if (op < 78) {
            const int x = pick(-20, W + 5), y = pick(-20, H + 5), w = pick(0, 60), h = pick(0, 30);
            const uint32_t c = 0xFF000000u | rng();
            set_color(c, 0, KEEP_BACKGROUND);
            ASSERT_EQ(draw_line(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + w),
                                static_cast<float>(y + h), LINE_FILLED_BOX), 0);
            m.box(x, y, x + w, y + h, c);
        } else if (op < 86) {
            ASSERT_EQ(show_page(), 0);
            if (m.work != m.visible) m.page[m.visible] = m.page[m.work];
        } else if (op < 87) {
            // New pixels for a sprite, written directly (then decided again)
            // or loaded from a file.
            const int k = pick(5, 9);
            if (pick(0, 1)) {
                paint(sprites[k], k);
            } else {
                BmpSpec f;
                f.bpp = 32;
                f.width = sprites[k]->width, f.height = sprites[k]->height;
                const int key_row = pick(0, f.height - 1), solid_row = pick(0, f.height - 1);
                const uint32_t seed = rng();
                f.pixel = [=](int x, int y) {
                    const uint32_t v = (seed + uint32_t(x) * 0x9E3779B9u + uint32_t(y) * 0x85EBCA6Bu) >> 8;
                    return y == key_row || (y != solid_row && v % 5 == 0) ? 0xFF00FFu : v;
                };
                const std::vector<uint8_t> bytes = make_bmp(f);
                ASSERT_EQ(load_bitmap_from_memory(bytes.data(), bytes.size(), sprites[k]), 0);
            }
        } else if (op < 89) {
            const int w = pick(0, 1), v = pick(0, 1);
            ASSERT_EQ(set_pages(w, v), 0);
            m.work = w, m.visible = v;
        } else if (op < 92) {
            // The visible page drawn onto the work page, where they differ.
            if (m.work == m.visible) continue;
            const int x = pick(-600, 600), y = pick(-400, 400);
            ASSERT_EQ(put_image(static_cast<float>(x), static_cast<float>(y), visible_page(), BLIT_SOLID), 0);
            const Page src = m.page[m.visible];
            for (int yy = std::max(0, y); yy < std::min(H, y + H); ++yy)
                for (int xx = std::max(0, x); xx < std::min(W, x + W); ++xx)
                    m.page[m.work][yy * W + xx] = src[(yy - y) * W + (xx - x)];
        } else if (op < 95) {
            lock_screen();
            ASSERT_TRUE(same(shown_page(), m.page[m.visible], "shown page", step));
            unlock_screen(1, 0);
        } else {
            ASSERT_TRUE(same(work_page(), m.page[m.work], "work page", step));
            ASSERT_TRUE(same(visible_page(), m.page[m.visible], "visible page", step));
            // A write through the work page never shows on the visible page.
            work_page()->row(7)[9] ^= 0x00FFFFFFu;
            m.page[m.work][7 * W + 9] ^= 0x00FFFFFFu;
        }
    }
    EXPECT_TRUE(same(work_page(), m.page[m.work], "work page", -1));
    EXPECT_TRUE(same(visible_page(), m.page[m.visible], "visible page", -1));
}

// Text over an owed clear: the glyph cells around the ink get the clear colour.
TEST_F(ScreenDeferred, TextAndBoxOutlinesOverAnOwedClear) {
    set_pages(0, 1);
    fill_page(work_page(), 0xFF123456u);
    set_color(0xFFFFFF00u, 0xFF0000FFu, 0);
    ASSERT_EQ(clear_screen(), 0);
    ASSERT_EQ(draw_text(3, 5, "Hi"), 0);
    ASSERT_EQ(draw_line(600, 470, 700, 500, LINE_BOX), 0);
    const Image* page = work_page();
    int ink = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = page->row(y)[x];
            ASSERT_TRUE(p == 0xFF0000FFu || p == 0xFFFFFF00u) << x << "," << y;
            if (p == 0xFFFFFF00u) ink++;
        }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(page->row(470)[639], 0xFFFFFF00u); // the box's top edge, clipped on the right
}

} // namespace
