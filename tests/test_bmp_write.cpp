// test_bmp_write.cpp -- the tools' BMP writer: its plain files load back
// through the game's reader pixel for pixel (padded rows included), its
// run-length files decode to the picture, and a file is written whole.
#include "test_gfx_util.h"

#include "../tools/lib/bmp_write.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The palette indices of a BI_RLE8 file, top row first (runs and line ends only).
std::vector<uint8_t> decode_rle8(const std::vector<uint8_t>& b, int width, int height) {
    std::vector<uint8_t> px(static_cast<size_t>(width * height), 0xEE);
    int x = 0, y = height - 1;
    for (size_t at = get32(b, 10); at + 1 < b.size(); at += 2) {
        const int n = b[at], v = b[at + 1];
        if (n == 0 && v == 1) break;
        if (n == 0 && v == 0) {
            x = 0;
            --y;
            continue;
        }
        for (int i = 0; i < n && y >= 0 && x < width; ++i) px[static_cast<size_t>(y * width + x++)] = static_cast<uint8_t>(v);
    }
    return px;
}

} // namespace

using BmpWrite = GfxTest;

TEST_F(BmpWrite, PlainFilesLoadBackThroughTheGamesReader) {
    const int w = 3, h = 2; // rows of 9 and 3 bytes: both padded
    const uint32_t rgb[w * h] = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xABCDEF, 0x010203};
    Image* img = create_image(w, h, 0);
    ASSERT_EQ(load_bytes(bmp_rgb24(w, h, rgb), img), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_EQ(img->row(y)[x], 0xFF000000u | rgb[y * w + x]) << x << "," << y;

    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = static_cast<uint32_t>(i) * 0x010101u ^ 0x5A0000u;
    const uint8_t index[w * h] = {0, 7, 255, 9, 128, 1};
    ASSERT_EQ(load_bytes(bmp_indexed8(w, h, index, palette, 256, false), img), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_EQ(img->row(y)[x], 0xFF000000u | palette[index[y * w + x]]) << x << "," << y;
}

TEST(BmpWriteRle, RunsLongerThanAByteAndShortPalettesDecodeToThePicture) {
    const int w = 300, h = 3;
    std::vector<uint8_t> index(static_cast<size_t>(w * h), 2); // row 0: one colour, split into runs of 255
    for (int x = 0; x < w; ++x) index[static_cast<size_t>(w + x)] = static_cast<uint8_t>(x % 3);
    index[static_cast<size_t>(2 * w + w - 1)] = 1;
    const uint32_t palette[3] = {0x000000, 0xFFFFFF, 0x3060C0};
    const std::vector<uint8_t> b = bmp_indexed8(w, h, index.data(), palette, 3, true);
    EXPECT_EQ(get32(b, 2), b.size());
    EXPECT_EQ(get32(b, 10), 54u + 3 * 4); // the palette holds only the colours given
    EXPECT_EQ(get32(b, 30), 1u);          // BI_RLE8
    EXPECT_EQ(get32(b, 34), b.size() - get32(b, 10));
    EXPECT_EQ(get32(b, 46), 3u);
    EXPECT_EQ(get32(b, 54 + 2 * 4), 0x3060C0u);
    EXPECT_EQ(decode_rle8(b, w, h), index);
}

TEST(BmpWriteFile, WritesTheWholeFileOverAnOldOneOrNothing) {
    char tmpl[] = "/tmp/clovenfeld_bmp_write_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl, file = dir / "a.bmp";
    const uint32_t one = 0x123456;
    ASSERT_TRUE(write_bytes(file.string(), std::vector<uint8_t>(5000, 7)));
    const std::vector<uint8_t> bytes = bmp_rgb24(1, 1, &one);
    ASSERT_TRUE(write_bytes(file.string(), bytes));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);
    EXPECT_FALSE(write_bytes((dir / "missing" / "b.bmp").string(), bytes));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no temporary left
    std::filesystem::remove_all(dir);
}
