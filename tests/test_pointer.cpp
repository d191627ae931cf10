// test_pointer.cpp -- the pointer: its ring of changes, the rules of the
// picture's edge, fingers, and where a device pixel falls on the page.
#include "services/pointer.h"
#include "services/screen.h"
#include "platform/window_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<PointerEvent> drain() {
    std::vector<PointerEvent> out;
    PointerEvent e;
    while (pointer_next(&e)) out.push_back(e);
    return out;
}

void expect_event(const PointerEvent& e, int kind, int x, int y, int value) {
    EXPECT_EQ(e.kind, kind);
    EXPECT_EQ(e.x, x);
    EXPECT_EQ(e.y, y);
    EXPECT_EQ(e.value, value);
}

struct Pointer : ::testing::Test {
    void SetUp() override { pointer_reset(); }
    void TearDown() override { pointer_reset(); }
};

} // namespace

// A click shorter than a frame is read whole; moves in a row are one, at the
// newest place, but never across a press; a full ring loses its oldest.
TEST_F(Pointer, RingKeepsEveryPressAndTheNewestPlace) {
    pointer_report(POINTER_MOVE, 10, 10, 0, true);
    pointer_report(POINTER_MOVE, 20, 30, 0, true);
    pointer_report(POINTER_DOWN, 21, 31, POINTER_LEFT, true);
    pointer_report(POINTER_MOVE, 25, 35, 0, true);
    pointer_report(POINTER_UP, 26, 36, POINTER_LEFT, true);
    pointer_report(POINTER_WHEEL, 0, 0, 1, true);
    pointer_report(POINTER_WHEEL, 0, 0, 2, true);
    pointer_report(POINTER_WHEEL, 0, 0, -1, true);
    const std::vector<PointerEvent> got = drain();
    ASSERT_EQ(got.size(), 6u);
    expect_event(got[0], POINTER_MOVE, 20, 30, 0);
    expect_event(got[1], POINTER_DOWN, 21, 31, POINTER_LEFT);
    expect_event(got[2], POINTER_MOVE, 25, 35, 0);
    expect_event(got[3], POINTER_UP, 26, 36, POINTER_LEFT);
    expect_event(got[4], POINTER_WHEEL, 26, 36, 3);
    expect_event(got[5], POINTER_WHEEL, 26, 36, -1);
    PointerState s;
    pointer_state(&s);
    EXPECT_TRUE(s.inside);
    EXPECT_EQ(s.buttons, 0);

    for (int i = 0; i < POINTER_RING + 6; i++) pointer_report(i % 2 ? POINTER_UP : POINTER_DOWN, i, 0, POINTER_RIGHT, true);
    const std::vector<PointerEvent> kept = drain();
    ASSERT_EQ(kept.size(), static_cast<size_t>(POINTER_RING));
    expect_event(kept.front(), POINTER_DOWN, 6, 0, POINTER_RIGHT);
    expect_event(kept.back(), POINTER_UP, POINTER_RING + 5, 0, POINTER_RIGHT);
}

// Off the page the mouse has left, unless it drags; a press off the page is
// not the page's, a let-go anywhere is; places stay on the page.
TEST_F(Pointer, ThePicturesEdge) {
    pointer_report(POINTER_MOVE, 5, 5, 0, true);
    pointer_report(POINTER_MOVE, 0, 0, 0, false);
    pointer_report(POINTER_MOVE, 0, 0, 0, false); // left once, said once
    pointer_report(POINTER_DOWN, 0, 0, POINTER_LEFT, false);
    PointerState s;
    pointer_state(&s);
    EXPECT_FALSE(s.inside);
    EXPECT_EQ(s.buttons, 0);

    pointer_report(POINTER_DOWN, 600, 400, POINTER_LEFT, true);
    pointer_report(POINTER_MOVE, 900, -40, 0, false); // dragged past the corner
    pointer_report(POINTER_LEAVE, 0, 0, 0, false);    // the window says it left: still dragging
    pointer_report(POINTER_UP, 900, -40, POINTER_LEFT, false);
    pointer_report(POINTER_UP, 900, -40, POINTER_LEFT, false); // never pressed again: nothing
    const std::vector<PointerEvent> got = drain();
    ASSERT_EQ(got.size(), 5u);
    expect_event(got[0], POINTER_MOVE, 5, 5, 0);
    expect_event(got[1], POINTER_LEAVE, 5, 5, 0);
    expect_event(got[2], POINTER_DOWN, 600, 400, POINTER_LEFT);
    expect_event(got[3], POINTER_MOVE, SCREEN_WIDTH - 1, 0, 0);
    expect_event(got[4], POINTER_UP, SCREEN_WIDTH - 1, 0, POINTER_LEFT);
}

// Up to four fingers, in the order they touched; a finger never seen down is
// ignored; letting everything go reports each held button and finger up.
TEST_F(Pointer, FingersAndLettingEverythingGo) {
    for (int id = 1; id <= 5; id++) pointer_report(POINTER_TOUCH_DOWN, id * 10, id, id, true);
    pointer_report(POINTER_TOUCH_DOWN, 0, 0, 9, false); // starts off the page
    pointer_report(POINTER_TOUCH_UP, 0, 0, 5, true);    // the fifth was never followed
    pointer_report(POINTER_TOUCH_UP, 20, 2, 2, true);
    pointer_report(POINTER_TOUCH_MOVE, 33, 3, 3, true);
    pointer_report(POINTER_TOUCH_MOVE, 34, 4, 3, true);
    PointerState s;
    pointer_state(&s);
    ASSERT_EQ(s.fingers, 3);
    EXPECT_EQ(s.finger[0].id, 1);
    EXPECT_EQ(s.finger[1].id, 3);
    EXPECT_EQ(s.finger[1].x, 34);
    EXPECT_EQ(s.finger[2].id, 4);
    std::vector<PointerEvent> got = drain();
    ASSERT_EQ(got.size(), 6u); // four downs, one up, one move (the two moves of finger 3 are one)
    expect_event(got[4], POINTER_TOUCH_UP, 20, 2, 2);
    expect_event(got[5], POINTER_TOUCH_MOVE, 34, 4, 3);

    pointer_report(POINTER_DOWN, 7, 8, POINTER_MIDDLE, true);
    pointer_release_all();
    pointer_state(&s);
    EXPECT_EQ(s.fingers, 0);
    EXPECT_EQ(s.buttons, 0);
    got = drain();
    ASSERT_EQ(got.size(), 5u);
    expect_event(got[1], POINTER_UP, 7, 8, POINTER_MIDDLE);
    expect_event(got[2], POINTER_TOUCH_UP, 10, 1, 1);
    expect_event(got[4], POINTER_TOUCH_UP, 40, 4, 4);
}

// A device pixel on a page shown at 2x with bars, and on a fitted page.
TEST(WindowLayout, PagePointUnderAPixel) {
    const PageRect r = page_rect(1600, 1000, false); // 160, 20, 1280 x 960
    int x = -1, y = -1;
    EXPECT_TRUE(page_point(r, 160, 20, &x, &y));
    EXPECT_EQ(x * 1000 + y, 0);
    EXPECT_TRUE(page_point(r, 161 + 2 * 100, 21 + 2 * 50, &x, &y));
    EXPECT_EQ(x * 1000 + y, 100 * 1000 + 50);
    EXPECT_TRUE(page_point(r, 1439, 979, &x, &y));
    EXPECT_EQ(x * 1000 + y, 639 * 1000 + 479);
    EXPECT_FALSE(page_point(r, 159, 500, &x, &y)); // the bar's last pixel
    EXPECT_EQ(x * 1000 + y, 0 * 1000 + 240);
    EXPECT_FALSE(page_point(r, 1440, 980, &x, &y));
    EXPECT_EQ(x * 1000 + y, 639 * 1000 + 479);
    const PageRect fit = page_rect(1000, 1600, true); // 0, 425, 1000 x 750
    EXPECT_TRUE(page_point(fit, 999, 425 + 749, &x, &y));
    EXPECT_EQ(x * 1000 + y, 639 * 1000 + 479);
    EXPECT_FALSE(page_point(fit, 500, 424, &x, &y));
}
