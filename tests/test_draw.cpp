// test_draw.cpp -- tests of boxes and lines, of text drawing and of the font.

#include "test_gfx_util.h"

#include "services/draw.h"
#include "services/fatal.h"
#include "services/text.h"
#include "services/screen.h"

#include <string>

namespace {

constexpr uint32_t BG = 0xFF000000;
constexpr uint32_t FG = 0xFFFFFF00;

// Counts the pixels of the work page equal to colour; reports their bounds.
int count_colour(uint32_t colour, int* x0 = nullptr, int* y0 = nullptr, int* x1 = nullptr,
                 int* y1 = nullptr) {
    int n = 0, minx = 9999, miny = 9999, maxx = -1, maxy = -1;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (work_page()->row(y)[x] == colour) {
                ++n;
                minx = std::min(minx, x);
                maxx = std::max(maxx, x);
                miny = std::min(miny, y);
                maxy = std::max(maxy, y);
            }
    if (x0) *x0 = minx;
    if (y0) *y0 = miny;
    if (x1) *x1 = maxx;
    if (y1) *y1 = maxy;
    return n;
}

// The glyph as 16 lines of '#' and '.'.
std::string glyph_art(uint8_t c) {
    std::string s;
    const uint8_t* g = font_glyph(c);
    for (int r = 0; r < 16; ++r) {
        for (int b = 0; b < 8; ++b) s += (g[r] & (0x80 >> b)) ? '#' : '.';
        s += '\n';
    }
    return s;
}

} // namespace

class DrawTest : public GfxTest {
protected:
    void SetUp() override {
        GfxTest::SetUp();
        set_color(FG, BG, 0);
    }
};

// ---------------------------------------------------------------------------
// Boxes and lines

using DrawLine = DrawTest;

TEST_F(DrawLine, ZeroWidthBoxIsAVerticalLine) {
    ASSERT_EQ(draw_line(5, 5, 5, 85, LINE_BOX), 0);
    int x0, y0, x1, y1;
    EXPECT_EQ(count_colour(FG, &x0, &y0, &x1, &y1), 81);
    EXPECT_EQ(x0, 5);
    EXPECT_EQ(x1, 5);
    EXPECT_EQ(y0, 5);
    EXPECT_EQ(y1, 85);
}

TEST_F(DrawLine, BoxOrdersCornersAndDrawsOnlyTheOutline) {
    ASSERT_EQ(draw_line(30, 40, 10, 20, LINE_BOX), 0); // corners given backwards
    // 21 x 21 outline: 4 * 21 - 4 pixels.
    int x0, y0, x1, y1;
    EXPECT_EQ(count_colour(FG, &x0, &y0, &x1, &y1), 80);
    EXPECT_EQ(x0, 10);
    EXPECT_EQ(y0, 20);
    EXPECT_EQ(x1, 30);
    EXPECT_EQ(y1, 40);
    EXPECT_EQ(px(10, 20), FG);
    EXPECT_EQ(px(30, 40), FG);
    EXPECT_EQ(px(20, 30), BG); // inside stays
    ASSERT_EQ(draw_line(3, 3, 3, 3, LINE_BOX), 0); // a single pixel
    EXPECT_EQ(count_colour(FG), 81);
}

TEST_F(DrawLine, FilledBoxFillsEdgesIncluded) {
    ASSERT_EQ(draw_line(12.5f, 9, 3, 1, LINE_FILLED_BOX), 0); // 12.5 -> 13
    int x0, y0, x1, y1;
    EXPECT_EQ(count_colour(FG, &x0, &y0, &x1, &y1), 11 * 9);
    EXPECT_EQ(x0, 3);
    EXPECT_EQ(x1, 13);
    EXPECT_EQ(y0, 1);
    EXPECT_EQ(y1, 9);
}

TEST_F(DrawLine, ClippedBoxesDrawOnlyTheirVisibleParts) {
    // Left and top edges off the page: only the right and bottom edges show.
    ASSERT_EQ(draw_line(-10, -10, 20, 30, LINE_BOX), 0);
    EXPECT_EQ(count_colour(FG), 31 + 21 - 1);
    EXPECT_EQ(px(20, 0), FG);
    EXPECT_EQ(px(0, 30), FG);
    EXPECT_EQ(px(0, 0), BG);
    clear_screen();
    // A box around the whole page draws nothing on it.
    ASSERT_EQ(draw_line(-1, -1, 640, 480, LINE_BOX), 0);
    EXPECT_EQ(count_colour(FG), 0);
    // The same box filled covers every pixel.
    ASSERT_EQ(draw_line(-1, -1, 640, 480, LINE_FILLED_BOX), 0);
    EXPECT_EQ(count_colour(FG), 640 * 480);
    clear_screen();
    for (LineKind k : {LINE_BOX, LINE_FILLED_BOX}) {
        ASSERT_EQ(draw_line(700, 10, 800, 20, k), 0);
        ASSERT_EQ(draw_line(10, -50, 20, -1, k), 0);
        ASSERT_EQ(draw_line(-3e9f, -3e9f, 3e9f, -1, k), 0);
    }
    EXPECT_EQ(count_colour(FG), 0);
    ASSERT_EQ(draw_line(-3e9f, 479, 3e9f, 479, LINE_BOX), 0); // absurd ends clamp safely
    EXPECT_EQ(count_colour(FG), 640);
}

TEST_F(DrawLine, UnknownKindAndClosedScreenAreIllegal) {
    EXPECT_EQ(draw_line(0, 0, 1, 1, static_cast<LineKind>(5)), ERR_ILLEGAL_CALL);
    close_screen_for_tests();
    EXPECT_EQ(draw_line(0, 0, 1, 1, LINE_BOX), ERR_ILLEGAL_CALL);
}

// ---------------------------------------------------------------------------
// Text

using DrawText = DrawTest;

TEST_F(DrawText, TwoCharactersStayInTheirCellsAndSkipClearBits) {
    const uint32_t under = 0xFF0000AA;
    GfxTest::fill_page(work_page(), under);
    ASSERT_EQ(draw_text(10, 0, "A\xDB"), 0); // 'A' and the full block
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool in_cell = x >= 10 && x <= 25 && y <= 15;
            if (!in_cell) {
                ASSERT_EQ(px(x, y), under) << x << "," << y;
                continue;
            }
            const int i = (x - 10) / 8;
            const uint8_t bits = font_glyph(i ? 0xDB : 'A')[y];
            const bool set = bits & (0x80 >> ((x - 10) % 8));
            ASSERT_EQ(px(x, y), set ? FG : under) << x << "," << y;
        }
}

TEST_F(DrawText, ControlBytesAreGlyphsAndTextNeverWraps) {
    ASSERT_EQ(draw_text(0, 100, "\x01\n"), 0); // smiling face, then the glyph of 10
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) {
            const uint8_t bits = font_glyph(c < 8 ? 1 : 10)[r];
            ASSERT_EQ(px(c, 100 + r), (bits & (0x80 >> (c % 8))) ? FG : BG);
        }
    clear_screen();
    // 81 full blocks from x = 0: the page holds 80; nothing wraps to the next line.
    const std::string blocks(81, '\xDB');
    ASSERT_EQ(draw_text(0, 200, blocks.c_str()), 0);
    EXPECT_EQ(count_colour(FG), 640 * 16);
}

TEST_F(DrawText, ClipsPartlyVisibleTextAndIgnoresTextOffThePage) {
    ASSERT_EQ(draw_text(-4, -8, "\xDB\xDB"), 0);
    int x0, y0, x1, y1;
    EXPECT_EQ(count_colour(FG, &x0, &y0, &x1, &y1), 12 * 8);
    EXPECT_EQ(x1, 11);
    EXPECT_EQ(y1, 7);
    clear_screen();
    ASSERT_EQ(draw_text(636, 470, "\xDB\xDB"), 0);
    EXPECT_EQ(count_colour(FG), 4 * 10);
    clear_screen();
    ASSERT_EQ(draw_text(640, 0, "HELLO"), 0);
    ASSERT_EQ(draw_text(0, 480, "HELLO"), 0);
    ASSERT_EQ(draw_text(0, -16, "HELLO"), 0);
    ASSERT_EQ(draw_text(-40, 0, "HELLO"), 0);
    ASSERT_EQ(draw_text(-1e30f, 0, "HELLO"), 0);
    ASSERT_EQ(draw_text(0, 0, ""), 0);
    EXPECT_EQ(count_colour(FG), 0);
    EXPECT_EQ(draw_text(0, 0, nullptr), ERR_ILLEGAL_CALL);
}

TEST_F(DrawText, LongTextFarLeftOnlyShowsItsTail) {
    std::string text(1000, ' ');
    text.back() = '\xDB';
    ASSERT_EQ(draw_text(-8 * 999, 0, text.c_str()), 0);
    int x0, y0, x1, y1;
    EXPECT_EQ(count_colour(FG, &x0, &y0, &x1, &y1), 8 * 16);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 7);
}

// ---------------------------------------------------------------------------
// The font

TEST(Font, KnownGlyphsHaveTheirShapes) {
    EXPECT_EQ(glyph_art(1),
              "........\n"
              "........\n"
              ".######.\n"
              "#......#\n"
              "#.#..#.#\n"
              "#......#\n"
              "#......#\n"
              "#.####.#\n"
              "#..##..#\n"
              "#......#\n"
              "#......#\n"
              ".######.\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n");
    // 'A': apex on the third row.
    EXPECT_EQ(glyph_art('A').substr(0, 9 * 6),
              "........\n"
              "........\n"
              "...#....\n"
              "..###...\n"
              ".##.##..\n"
              "##...##.\n");
    // 176 light shade: a sparse dot pattern repeating every two rows.
    const uint8_t* shade = font_glyph(176);
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(shade[r], r % 2 ? 0x44 : 0x11);
    }
    for (int r = 0; r < 16; ++r) EXPECT_EQ(font_glyph(219)[r], 0xFF);
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(font_glyph(0)[r], 0);
        EXPECT_EQ(font_glyph(' ')[r], 0);
    }
}

TEST(Font, PrintableAsciiGlyphsAreDistinctAndInk) {
    // Every printable character but the space has ink, and no two share a shape.
    for (int c = 33; c < 127; ++c) {
        int ink = 0;
        for (int r = 0; r < 16; ++r) ink += font_glyph(static_cast<uint8_t>(c))[r] != 0;
        EXPECT_GT(ink, 0) << c;
        for (int d = 33; d < c; ++d)
            EXPECT_NE(glyph_art(static_cast<uint8_t>(c)), glyph_art(static_cast<uint8_t>(d)))
                << c << " " << d;
    }
    // Lower-case letters sit on the same baseline as upper-case: row 12 onwards is
    // empty except for descenders.
    for (const char c : std::string("ABCXYZacexz0189")) {
        for (int r = 12; r < 16; ++r) EXPECT_EQ(font_glyph(static_cast<uint8_t>(c))[r], 0) << c;
    }
}
