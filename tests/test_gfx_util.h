// test_gfx_util.h -- helpers for the graphics service tests: a fixture that
// starts each test on a freshly opened, black screen, and a small BMP encoder
// of our own (written from the file format, not from the reader) that builds
// test files byte by byte.
#pragma once

#include "services/bmp.h"
#include "services/image.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

// Every test starts with a freshly opened screen: both pages black, work =
// visible = page 0, foreground white, background black.
class GfxTest : public ::testing::Test {
protected:
    void SetUp() override {
        close_screen_for_tests();
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    }
    void TearDown() override {
        set_pages(0, 1);
        set_color(0xFFFFFFFF, 0xFF000000, 0);
    }
    static uint32_t px(int x, int y) { return work_page()->row(y)[x]; }
    static void fill_page(Image* page, uint32_t c) {
        for (int y = 0; y < page->height; ++y)
            for (int x = 0; x < page->width; ++x) page->row(y)[x] = c;
    }
};

// Describes one BMP file to build.
struct BmpSpec {
    uint32_t header_size = 40;  // 12, 40, 56, 108, 124 (or anything, to test refusal)
    int32_t width = 4;
    int32_t height = 4;         // negative: rows stored top to bottom
    uint16_t planes = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;        // 0x00RRGGBB entries (1 << bpp of them for bpp <= 8)
    bool masks_after_header = false;      // three masks (r, g, b) after a short header
    uint32_t masks[4] = {0, 0, 0, 0};     // r, g, b, a: written into headers of 56 bytes and more
    // The stored value of pixel (x, y), y counted from the top of the picture:
    // a palette index, or the raw 16-, 24- or 32-bit value.
    std::function<uint32_t(int x, int y)> pixel = [](int, int) { return 0u; };
};

inline void put_le(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Bytes per stored row of the described file (padded to 4 bytes).
inline size_t bmp_stride(const BmpSpec& s) {
    return (static_cast<size_t>(s.width) * s.bpp + 31) / 32 * 4;
}

inline std::vector<uint8_t> make_bmp(const BmpSpec& s) {
    std::vector<uint8_t> info;
    put_le(info, s.header_size, 4);
    if (s.header_size == 12) {
        put_le(info, static_cast<uint16_t>(s.width), 2);
        put_le(info, static_cast<uint16_t>(s.height), 2);
        put_le(info, s.planes, 2);
        put_le(info, s.bpp, 2);
    } else {
        put_le(info, static_cast<uint32_t>(s.width), 4);
        put_le(info, static_cast<uint32_t>(s.height), 4);
        put_le(info, s.planes, 2);
        put_le(info, s.bpp, 2);
        put_le(info, s.compression, 4);
        put_le(info, 0, 4);    // image size
        put_le(info, 2834, 4); // resolution
        put_le(info, 2834, 4);
        put_le(info, 0, 4);    // colours used
        put_le(info, 0, 4);    // important colours
        if (s.header_size >= 56)
            for (uint32_t m : s.masks) put_le(info, m, 4);
        while (info.size() < s.header_size) info.push_back(0);
    }
    std::vector<uint8_t> extra;
    if (s.masks_after_header)
        for (int i = 0; i < 3; ++i) put_le(extra, s.masks[i], 4);
    for (uint32_t c : s.palette) {
        put_le(extra, c, 3);
        if (s.header_size != 12) extra.push_back(0);
    }

    const int rows = s.height < 0 ? -s.height : s.height;
    const int width = s.width > 0 ? s.width : 0; // a bad width still gets a header
    const size_t stride = (static_cast<size_t>(width) * s.bpp + 31) / 32 * 4;
    std::vector<uint8_t> pixels(stride * rows, 0);
    for (int r = 0; r < rows; ++r) {
        const int y = s.height < 0 ? r : rows - 1 - r;
        uint8_t* row = pixels.data() + stride * r;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = s.pixel(x, y);
            switch (s.bpp) {
            case 1: row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8)); break;
            case 4: row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
            default:
                for (int b = 0; b < s.bpp / 8 && b < 4; ++b)
                    row[x * (s.bpp / 8) + b] = static_cast<uint8_t>(v >> (8 * b));
            }
        }
    }

    const uint32_t offset = static_cast<uint32_t>(14 + info.size() + extra.size());
    std::vector<uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    put_le(file, offset + pixels.size(), 4);
    put_le(file, 0, 4);
    put_le(file, offset, 4);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), extra.begin(), extra.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

inline int load_bytes(const std::vector<uint8_t>& file, Image* target) {
    return load_bitmap_from_memory(file.data(), file.size(), target);
}
