// test_screen.cpp -- tests of the screen (opening, pages, show_page, title,
// colours, the counted lock and dirty rows) and of images and blits.

#include "test_gfx_util.h"

#include "services/draw.h"
#include "services/fatal.h"
#include "services/text.h"
#include "services/screen.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

// ---------------------------------------------------------------------------
// Opening the screen

TEST(ScreenOpen, OnlyMode18At32BitsOpens) {
    close_screen_for_tests();
    EXPECT_EQ(open_screen(12, 32, 2, 0, 0), ERR_ILLEGAL_CALL);
    EXPECT_EQ(open_screen(18, 16, 2, 0, 0), ERR_ILLEGAL_CALL);
    EXPECT_EQ(open_screen(18, 32, 3, 0, 0), ERR_ILLEGAL_CALL);
    EXPECT_FALSE(screen_is_open());
    EXPECT_EQ(work_page(), nullptr);
    ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    EXPECT_TRUE(screen_is_open());
    int w = 0, h = 0, d = 0;
    screen_size(&w, &h, &d);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(d, 32);
}

TEST(ScreenOpen, BothPagesStartBlackWithWorkAndVisibleZero) {
    close_screen_for_tests();
    ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    for (Image* page : {work_page(), visible_page()}) {
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->width, 640);
        EXPECT_EQ(page->height, 480);
        EXPECT_EQ(page->pitch, 2560);
        EXPECT_EQ(page->bytes_per_pixel, 4);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(page->pixels) % 16, 0u);
    }
    EXPECT_EQ(work_page(), visible_page());
    ASSERT_EQ(set_pages(1, 0), 0);
    for (int p = 0; p < 2; ++p) {
        Image* page = p ? work_page() : visible_page();
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) ASSERT_EQ(page->row(y)[x], 0xFF000000u);
    }
}

TEST(ScreenOpen, ServicesNeedAnOpenScreen) {
    close_screen_for_tests();
    int err = -1;
    EXPECT_EQ(create_image(8, 8, 0, &err), nullptr);
    EXPECT_EQ(err, ERR_ILLEGAL_CALL);
    EXPECT_EQ(put_image(0, 0, nullptr, BLIT_SOLID), ERR_ILLEGAL_CALL);
    EXPECT_EQ(draw_text(0, 0, "x"), ERR_ILLEGAL_CALL);
    EXPECT_EQ(clear_screen(), ERR_ILLEGAL_CALL);
    EXPECT_EQ(show_page(), ERR_ILLEGAL_CALL);
    EXPECT_EQ(set_pages(0, 1), ERR_ILLEGAL_CALL);
}

// With pixel work off (the solver's searches) the drawing services still
// check their arguments but leave both pages untouched; on again, they draw.
TEST(ScreenPixelWork, OffLeavesThePagesAloneAndOnDrawsAgain) {
    close_screen_for_tests();
    ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    ASSERT_EQ(set_pages(0, 1), 0);
    Image* sprite = create_image(32, 32, 0xFF123456);
    ASSERT_NE(sprite, nullptr);
    set_color(0xFFFFFFFF, 0xFF00FF00, 0);

    set_pixel_work(false);
    EXPECT_EQ(clear_screen(), 0);
    EXPECT_EQ(put_image(0, 0, sprite, BLIT_SOLID), 0);
    EXPECT_EQ(draw_line(0, 0, 100, 100, LINE_FILLED_BOX), 0);
    EXPECT_EQ(draw_text(0, 40, "HUD"), 0);
    EXPECT_EQ(show_page(), 0);
    EXPECT_EQ(put_image(0, 0, nullptr, BLIT_SOLID), ERR_ILLEGAL_CALL);
    EXPECT_EQ(draw_text(0, 0, nullptr), ERR_ILLEGAL_CALL);
    for (Image* page : {work_page(), visible_page()})
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 640; x += 5) ASSERT_EQ(page->row(y)[x], 0xFF000000u) << x << "," << y;

    set_pixel_work(true);
    EXPECT_EQ(clear_screen(), 0);
    EXPECT_EQ(put_image(0, 0, sprite, BLIT_SOLID), 0);
    EXPECT_EQ(work_page()->row(5)[5], 0xFF123456u);
    EXPECT_EQ(work_page()->row(200)[200], 0xFF00FF00u);
    EXPECT_EQ(show_page(), 0);
    EXPECT_EQ(visible_page()->row(5)[5], 0xFF123456u);
}

// ---------------------------------------------------------------------------
// Title and colours

TEST(ScreenTitle, KeepsTheFirst127Characters) {
    const std::string longer(200, 'q');
    ASSERT_EQ(set_window_title(longer.c_str()), 0);
    EXPECT_EQ(std::strlen(window_title()), 127u);
    EXPECT_EQ(std::string(window_title()), longer.substr(0, 127));
    ASSERT_EQ(set_window_title("Short"), 0);
    EXPECT_STREQ(window_title(), "Short");
    EXPECT_EQ(set_window_title(nullptr), ERR_ILLEGAL_CALL);
    EXPECT_STREQ(window_title(), "Short");
}

using ScreenColor = GfxTest;

TEST_F(ScreenColor, FlagsKeepOneColourAndOldOnesComeBack) {
    uint32_t fg = 0, bg = 0;
    set_color(0xFF112233, 0xFF445566, 0);
    set_color(0xFFCC6600, 0xDEADBEEF, KEEP_BACKGROUND, &fg, &bg);
    EXPECT_EQ(fg, 0xFF112233u);
    EXPECT_EQ(bg, 0xFF445566u);
    EXPECT_EQ(foreground_color(), 0xFFCC6600u);
    EXPECT_EQ(background_color(), 0xFF445566u);
    set_color(0x12345678, 0xFF000000, KEEP_FOREGROUND);
    EXPECT_EQ(foreground_color(), 0xFFCC6600u);
    EXPECT_EQ(background_color(), 0xFF000000u);
    set_color(1, 2, KEEP_FOREGROUND | KEEP_BACKGROUND);
    EXPECT_EQ(foreground_color(), 0xFFCC6600u);
    EXPECT_EQ(background_color(), 0xFF000000u);
}

TEST_F(ScreenColor, ClearFillsOnlyTheWorkPage) {
    ASSERT_EQ(set_pages(0, 1), 0);
    set_color(0, 0xFF0000FF, KEEP_FOREGROUND);
    ASSERT_EQ(clear_screen(), 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(work_page()->row(y)[x], 0xFF0000FFu);
    EXPECT_EQ(visible_page()->row(240)[320], 0xFF000000u);
}

// ---------------------------------------------------------------------------
// Pages, show_page and dirty rows

using ScreenPages = GfxTest;

TEST_F(ScreenPages, ShowPageCopiesAndKeepsTheWorkPage) {
    ASSERT_EQ(set_pages(0, 1), 0);
    work_page()->row(0)[0] = 0xFF010203;
    work_page()->row(479)[639] = 0xFF040506;
    take_dirty();
    ASSERT_EQ(show_page(), 0);
    EXPECT_EQ(visible_page()->row(0)[0], 0xFF010203u);
    EXPECT_EQ(visible_page()->row(479)[639], 0xFF040506u);
    EXPECT_EQ(work_page()->row(0)[0], 0xFF010203u); // a copy, not an exchange
    EXPECT_NE(work_page(), visible_page());
    int first = -5, last = -5;
    ASSERT_TRUE(take_dirty_rows(&first, &last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 479);
    EXPECT_FALSE(take_dirty());
}

TEST_F(ScreenPages, ShowPageOnTheSamePageChangesNothing) {
    work_page()->row(10)[10] = 0xFFABCDEF;
    take_dirty();
    ASSERT_EQ(show_page(), 0);
    EXPECT_EQ(visible_page()->row(10)[10], 0xFFABCDEFu);
    EXPECT_FALSE(take_dirty());
    ASSERT_EQ(set_pages(1, 0), 0); // page 1 was never touched
    EXPECT_EQ(work_page()->row(10)[10], 0xFF000000u);
}

TEST_F(ScreenPages, SetPagesKeepsMinusOneAndRefusesBadPages) {
    ASSERT_EQ(set_pages(1, -1), 0);
    EXPECT_NE(work_page(), visible_page());
    Image* old_work = work_page();
    take_dirty();
    ASSERT_EQ(set_pages(-1, 1), 0); // a different page becomes visible
    EXPECT_EQ(work_page(), old_work);
    EXPECT_EQ(visible_page(), old_work);
    EXPECT_TRUE(take_dirty());
    ASSERT_EQ(set_pages(-1, 1), 0); // the same one again: nothing to redraw
    EXPECT_FALSE(take_dirty());
    EXPECT_EQ(set_pages(2, 0), ERR_ILLEGAL_CALL);
    EXPECT_EQ(set_pages(0, -2), ERR_ILLEGAL_CALL);
    EXPECT_EQ(work_page(), old_work);
}

TEST_F(ScreenPages, DrawingMarksRowsDirtyOnlyWhenTheWorkPageIsShown) {
    Image* img = create_image(4, 4, 0xFF00FF00);
    take_dirty();
    ASSERT_EQ(put_image(5, 100, img, BLIT_SOLID), 0);
    int first = 0, last = 0;
    ASSERT_TRUE(take_dirty_rows(&first, &last));
    EXPECT_EQ(first, 100);
    EXPECT_EQ(last, 103);
    ASSERT_EQ(set_pages(0, 1), 0);
    take_dirty();
    ASSERT_EQ(put_image(5, 100, img, BLIT_SOLID), 0);
    ASSERT_EQ(draw_text(0, 0, "A"), 0);
    ASSERT_EQ(draw_line(0, 0, 9, 9, LINE_FILLED_BOX), 0);
    EXPECT_FALSE(take_dirty());
}

// ---------------------------------------------------------------------------
// The counted screen lock

using ScreenLock = GfxTest;

TEST_F(ScreenLock, NestsAndIsHeldAgainstTheWindowThread) {
    lock_screen();
    lock_screen();
    std::atomic<bool> entered{false};
    std::thread window([&] {
        lock_screen();
        entered = true;
        unlock_screen();
    });
    unlock_screen();
    // Still held once: the other thread cannot have entered.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());
    unlock_screen();
    window.join();
    EXPECT_TRUE(entered.load());
}

TEST_F(ScreenLock, UnlockMarksItsRowsAndExtraUnlocksAreIgnored) {
    take_dirty();
    lock_screen();
    unlock_screen(7, 9);
    int first = 0, last = 0;
    ASSERT_TRUE(take_dirty_rows(&first, &last));
    EXPECT_EQ(first, 7);
    EXPECT_EQ(last, 9);
    lock_screen();
    unlock_screen(); // -1, -1: all rows
    ASSERT_TRUE(take_dirty_rows(&first, &last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 479);
    unlock_screen(); // not held: ignored, and marks nothing
    EXPECT_FALSE(take_dirty());
    // The lock still works afterwards from another thread.
    std::thread other([] {
        lock_screen();
        unlock_screen();
    });
    other.join();
}

// ---------------------------------------------------------------------------
// Images

using ImageCreate = GfxTest;

TEST_F(ImageCreate, PitchIsRoundedTo16AndPaddingIsFilled) {
    for (int w : {1, 3, 4, 5, 17, 64}) {
        SCOPED_TRACE(w);
        Image* img = create_image(w, 3, 0xFF64FF64);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->pitch, (w * 4 + 15) / 16 * 16);
        EXPECT_EQ(img->pitch % 16, 0);
        EXPECT_EQ(img->width, w);
        EXPECT_EQ(img->height, 3);
        EXPECT_EQ(img->bytes_per_pixel, 4);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(img->row(y)) % 16, 0u);
            for (int x = 0; x < img->pitch / 4; ++x) ASSERT_EQ(img->row(y)[x], 0xFF64FF64u);
        }
    }
}

TEST_F(ImageCreate, BadSizesAndHugeOnesAreRefused) {
    int err = -1;
    EXPECT_EQ(create_image(0, 5, 0, &err), nullptr);
    EXPECT_EQ(err, ERR_ILLEGAL_CALL);
    EXPECT_EQ(create_image(5, -1, 0, &err), nullptr);
    EXPECT_EQ(err, ERR_ILLEGAL_CALL);
    EXPECT_EQ(create_image(100000, 100000, 0, &err), nullptr);
    EXPECT_EQ(err, ERR_OUT_OF_MEMORY);
    EXPECT_EQ(create_image(0x7FFFFFFF, 0x7FFFFFFF, 0, &err), nullptr);
    EXPECT_EQ(err, ERR_OUT_OF_MEMORY);
    EXPECT_NE(create_image(2, 2, 0, &err), nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_NE(create_image(2, 2, 0), nullptr); // err may be left out
}

using PutImage = GfxTest;

TEST_F(PutImage, TransparentSkipsMagentaWhateverItsAlphaAndClearsAlpha) {
    set_color(0, 0xFFFF0000, KEEP_FOREGROUND);
    clear_screen();
    Image* img = create_image(4, 1, 0);
    img->row(0)[0] = 0xFFFF00FF;
    img->row(0)[1] = 0x00FF00FF;
    img->row(0)[2] = 0xFF12FF34;
    img->row(0)[3] = 0x80FF00FE; // close to magenta but not it
    ASSERT_EQ(put_image(10, 20, img, BLIT_TRANSPARENT), 0);
    EXPECT_EQ(px(10, 20), 0xFFFF0000u);
    EXPECT_EQ(px(11, 20), 0xFFFF0000u);
    EXPECT_EQ(px(12, 20), 0x0012FF34u);
    EXPECT_EQ(px(13, 20), 0x00FF00FEu);
    EXPECT_EQ(px(14, 20), 0xFFFF0000u);
    EXPECT_EQ(px(9, 20), 0xFFFF0000u);
}

TEST_F(PutImage, SolidCopiesAndXorCombinesAllBits) {
    Image* img = create_image(2, 2, 0xF0F0F0F0);
    img->row(1)[1] = 0xFFFF00FF;
    GfxTest::fill_page(work_page(), 0x0F0F0F0F);
    ASSERT_EQ(put_image(0, 0, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(0, 0), 0xF0F0F0F0u);
    EXPECT_EQ(px(1, 1), 0xFFFF00FFu); // solid draws magenta too
    EXPECT_EQ(px(2, 0), 0x0F0F0F0Fu);
    ASSERT_EQ(put_image(1, 0, img, BLIT_XOR), 0);
    EXPECT_EQ(px(1, 0), 0x00000000u);
    EXPECT_EQ(px(2, 0), 0xFFFFFFFFu);
    EXPECT_EQ(px(2, 1), 0xFFFF00FFu ^ 0x0F0F0F0Fu);
    ASSERT_EQ(put_image(1, 0, img, BLIT_XOR), 0); // twice = untouched
    EXPECT_EQ(px(2, 0), 0x0F0F0F0Fu);
}

TEST_F(PutImage, ClipsAtEveryEdge) {
    Image* img = create_image(32, 32, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) img->row(y)[x] = 0xFF000000u | uint32_t(y << 8 | x);
    ASSERT_EQ(put_image(-10, 0, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(0, 0), 0xFF00000Au); // column 10 lands on x = 0
    EXPECT_EQ(px(21, 31), 0xFF001F1Fu);
    EXPECT_EQ(px(22, 0), 0xFF000000u);
    ASSERT_EQ(put_image(630, 470, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(639, 479), 0xFF000909u);
    ASSERT_EQ(clear_screen(), 0);
    ASSERT_EQ(put_image(0, -31, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(5, 0), 0xFF001F05u);
    EXPECT_EQ(px(5, 1), 0xFF000000u);
    // Wholly outside: nothing drawn, still success.
    GfxTest::fill_page(work_page(), 0xFF123456);
    for (float x : {640.f, -32.f, 1e30f, -1e30f})
        ASSERT_EQ(put_image(x, 5, img, BLIT_SOLID), 0);
    for (float y : {480.f, -32.f, 3e9f})
        ASSERT_EQ(put_image(5, y, img, BLIT_SOLID), 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(px(x, y), 0xFF123456u);
}

TEST_F(PutImage, CoordinatesRoundHalfAwayFromZero) {
    EXPECT_EQ(round_coord(2.5f), 3);
    EXPECT_EQ(round_coord(-2.5f), -3);
    EXPECT_EQ(round_coord(0.5f), 1);
    EXPECT_EQ(round_coord(-0.5f), -1);
    EXPECT_EQ(round_coord(1.49f), 1);
    EXPECT_EQ(round_coord(-1.49f), -1);
    EXPECT_LT(round_coord(-1e30f), -100000);
    EXPECT_GT(round_coord(1e30f), 100000);
    Image* img = create_image(1, 1, 0xFF00FF00);
    ASSERT_EQ(put_image(0.5f, 1.5f, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(1, 2), 0xFF00FF00u);
    EXPECT_EQ(px(0, 1), 0xFF000000u);
    // -0.5 rounds to -1: the one-pixel image is wholly off the page.
    ASSERT_EQ(put_image(-0.5f, 5, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(0, 5), 0xFF000000u);
}

TEST_F(PutImage, NullImageAndUnknownModeAreIllegal) {
    EXPECT_EQ(put_image(0, 0, nullptr, BLIT_SOLID), ERR_ILLEGAL_CALL);
    Image* img = create_image(1, 1, 0);
    EXPECT_EQ(put_image(0, 0, img, static_cast<BlitMode>(7)), ERR_ILLEGAL_CALL);
    Image odd = *img;
    odd.bytes_per_pixel = 1;
    EXPECT_EQ(put_image(0, 0, &odd, BLIT_SOLID), ERR_ILLEGAL_CALL);
}

TEST_F(PutImage, APageCannotBeDrawnOntoItselfButTheOtherPageCan) {
    ASSERT_EQ(set_pages(0, 1), 0);
    visible_page()->row(0)[0] = 0xFF0000FF;
    EXPECT_EQ(put_image(1, 1, work_page(), BLIT_SOLID), ERR_ILLEGAL_CALL);
    EXPECT_EQ(px(1, 1), 0xFF000000u);
    ASSERT_EQ(put_image(1, 1, visible_page(), BLIT_SOLID), 0);
    EXPECT_EQ(px(1, 1), 0xFF0000FFu);
}

TEST_F(PutImage, LongRowsMatchAPixelByPixelReference) {
    // Widths around the 8-pixel blocks of the row loops, at odd offsets.
    for (int w : {1, 7, 8, 9, 15, 16, 17, 33}) {
        SCOPED_TRACE(w);
        Image* img = create_image(w, 2, 0);
        for (int x = 0; x < w; ++x) {
            img->row(0)[x] = x % 3 == 0 ? 0x12FF00FFu : 0xAB000000u | uint32_t(x * 0x10101);
            img->row(1)[x] = uint32_t(x) * 0x9E3779B9u;
        }
        for (BlitMode mode : {BLIT_TRANSPARENT, BLIT_SOLID, BLIT_XOR}) {
            GfxTest::fill_page(work_page(), 0x55AA55AA);
            ASSERT_EQ(put_image(3, 4, img, mode), 0);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t s = img->row(y)[x];
                    uint32_t want = 0x55AA55AA;
                    if (mode == BLIT_SOLID) want = s;
                    if (mode == BLIT_XOR) want ^= s;
                    if (mode == BLIT_TRANSPARENT && (s & 0xFFFFFF) != 0xFF00FF) want = s & 0xFFFFFF;
                    ASSERT_EQ(px(3 + x, 4 + y), want) << mode << " " << x << "," << y;
                }
            EXPECT_EQ(px(3 + w, 4), 0x55AA55AAu);
            EXPECT_EQ(px(2, 4), 0x55AA55AAu);
        }
    }
}
