// test_hud_contrast.cpp -- the HUD reads over the bricks: in the first
// picture of every level, each magenta or yellow glyph pixel that lies over a
// block is compared with the brick pixel under it (the block sprite at that
// place of its cell) by the WCAG contrast ratio.  At least 99% of them reach
// 3:1 and the median reaches 4.5:1.
#include "test_shell_util.h"

#include "main/snapshot.h"
#include "map/map.h"
#include "services/bmp.h"

#include <algorithm>
#include <cmath>

using namespace shell_test;

namespace {

double channel(uint32_t c)
{
    const double v = static_cast<double>(c & 0xFF) / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double luminance(uint32_t rgb)
{
    return 0.2126 * channel(rgb >> 16) + 0.7152 * channel(rgb >> 8) + 0.0722 * channel(rgb);
}

double contrast(uint32_t a, uint32_t b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

// Leaves the animation counters as a new game finds them, so that a game
// replayed later in this process plays as recorded.
class HudContrast : public ShellTest {
protected:
    void TearDown() override
    {
        LEVEL_SETUP(1, 1);
        ShellTest::TearDown();
    }
};

TEST_F(HudContrast, GlyphsOverBricksReachThreeToOneAndAMedianOfFourAndAHalf)
{
    fs::current_path(GAME_DIR);
    Image* block = create_image(32, 32, 0xFF000000u);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(load_bitmap("gfx\\block.bmp", block), 0);

    std::vector<double> ratios;
    for (int lvl = 1; lvl <= LAST_LEVEL; lvl++) {
        SCOPED_TRACE("level " + std::to_string(lvl));
        LEVEL_SETUP(lvl, 1);
        LEVEL_START();
        PLAY_FRAME();
        int over_bricks = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < view_width; x++) {
                const uint32_t p = pixel(x, y);
                if (p != 0xFF00FFu && p != 0xFFFF00u) continue; // not a glyph pixel
                const int mx = x - scroll_x, my = y - scroll_y;
                const int col = mx >> 5, row = my >> 5;
                if (col < 0 || row < 0 || col >= map_width || row >= map_height) continue;
                if (cells[row * map_width + col].code != CELL_BLOCK) continue;
                ratios.push_back(contrast(p, block->row(my & 31)[mx & 31] & 0xFFFFFFu));
                over_bricks++;
            }
        if (lvl == 1) {
            EXPECT_GT(over_bricks, 300) << "level 1's HUD lies on its top row of blocks";
        }
    }
    ASSERT_FALSE(ratios.empty());
    std::sort(ratios.begin(), ratios.end());
    const size_t below = static_cast<size_t>(std::lower_bound(ratios.begin(), ratios.end(), 3.0) - ratios.begin());
    EXPECT_LE(below * 100, ratios.size()) << below << " of " << ratios.size() << " glyph pixels under 3:1";
    EXPECT_GE(ratios[ratios.size() / 2], 4.5) << "median of " << ratios.size();
}
