// test_banner.cpp -- the message over the picture: shown for its two seconds
// only, a long path kept by its end, and drawn on its band alone.
#include "platform/banner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Banner, ShownForTwoSecondsAndDrawnOnItsBandOnly) {
    char text[BANNER_CHARS];
    const unsigned before = banner_current(text, 1000);
    banner_set("Screenshot saved to screen.bmp", 1000);
    const unsigned shown = banner_current(text, 1000);
    EXPECT_NE(shown, before);
    EXPECT_STREQ(text, "Screenshot saved to screen.bmp");
    EXPECT_EQ(banner_current(text, 1000 + BANNER_MS - 1), shown);
    EXPECT_NE(banner_current(text, 1000 + BANNER_MS), shown); // gone: the presenter draws again
    EXPECT_STREQ(text, "");

    const std::string path = "Screenshot saved to /home/player/" + std::string(100, 'p') + "/clovenfeld-1.bmp";
    banner_set(path.c_str(), 5000);
    banner_current(text, 5000);
    EXPECT_EQ(std::string(text).size(), size_t{BANNER_CHARS - 1});
    EXPECT_EQ(std::string(text).substr(0, 3), "...");
    EXPECT_EQ(path.substr(path.size() - 20), std::string(text).substr(BANNER_CHARS - 21));

    std::vector<uint32_t> pixels(640 * 480, 0xFF808080u);
    banner_draw(pixels.data(), 640, "Screenshot saved to screen.bmp", true);
    int changed_above = 0, white = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = pixels[y * 640 + x];
            if (y < 440 && p != 0xFF808080u) ++changed_above;
            if (p == 0xFFFFFFFFu) ++white;
        }
    EXPECT_EQ(changed_above, 0);
    EXPECT_GT(white, 30 * 8); // some ink for each letter
    banner_draw(pixels.data(), 640, "x", false);
    EXPECT_EQ(pixels[0], 0u); // transparent for a presenter to blend
}
