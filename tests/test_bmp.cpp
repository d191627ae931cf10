// test_bmp.cpp -- tests of the BMP reader and writer: every depth and header,
// both row orders, clipping to the target, malformed and hostile files, and
// the screenshot's exact bytes and its safe replacement of an older file.
// Test files are built by the encoder in test_gfx_util.h.

#include "test_gfx_util.h"

#include "services/fatal.h"
#include "services/screen.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

uint32_t opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

// A palette of distinct colours for index i.
std::vector<uint32_t> test_palette(int n) {
    std::vector<uint32_t> p;
    for (int i = 0; i < n; ++i) p.push_back((uint32_t(i) * 0x3B5D1Fu + 0x102030u) & 0xFFFFFFu);
    return p;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string temp_dir() {
    char tmpl[] = "/tmp/clovenfeld_bmp_XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "/tmp";
}

// The names in a folder, sorted.
std::vector<std::string> folder_entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t current_umask() {
    const mode_t m = umask(022);
    umask(m);
    return m;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Saves the screenshot with files limited to max_bytes and exits with the
// result (run in a death-test child).
[[noreturn]] void save_with_file_size_limit(const char* path, rlim_t max_bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    lim.rlim_cur = max_bytes;
    lim.rlim_max = max_bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
    std::exit(save_bitmap(path));
}

} // namespace

// ---------------------------------------------------------------------------
// Bit depths

using BmpLoadDepth = GfxTest;

TEST_F(BmpLoadDepth, PaletteDepthsConvertThroughThePalette) {
    for (int bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        BmpSpec s;
        s.bpp = static_cast<uint16_t>(bpp);
        s.width = 13; // odd widths exercise the packing and the row padding
        s.height = 5;
        s.palette = test_palette(1 << bpp);
        const int n = 1 << bpp;
        s.pixel = [n](int x, int y) { return uint32_t((x * 7 + y * 3) % n); };
        Image* img = create_image(13, 5, 0x12345678);
        ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(img->row(y)[x], opaque(s.palette[(x * 7 + y * 3) % n])) << x << "," << y;
    }
}

TEST_F(BmpLoadDepth, SixteenBitsDefaultIs555WithWidenedChannels) {
    BmpSpec s;
    s.bpp = 16;
    s.width = 3;
    s.height = 1;
    // red 31, green 0, blue 16; red 1, green 31, blue 0; the top bit is unused.
    const uint32_t v[3] = {31u << 10 | 16u, 1u << 10 | 31u << 5, 0x8000u};
    s.pixel = [&](int x, int) { return v[x]; };
    Image* img = create_image(3, 1, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0xFFFF0084u); // 16 -> 0x80 | 0x04
    EXPECT_EQ(img->row(0)[1], 0xFF08FF00u); // 1 -> 0x08
    EXPECT_EQ(img->row(0)[2], 0xFF000000u); // alpha of 16-bit files is always 0xFF
}

TEST_F(BmpLoadDepth, SixteenBitsWithBitFieldsUsesTheMasks) {
    BmpSpec s;
    s.bpp = 16;
    s.compression = 3;
    s.masks_after_header = true;
    s.masks[0] = 0xF800;
    s.masks[1] = 0x07E0;
    s.masks[2] = 0x001F;
    s.width = 2;
    s.height = 1;
    const uint32_t v[2] = {0xF800u | 0x20u << 5, 0x0001u};
    s.pixel = [&](int x, int) { return v[x]; };
    Image* img = create_image(2, 1, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0xFFFF8200u); // 6-bit 32 -> 0x80 | 0x02
    EXPECT_EQ(img->row(0)[1], 0xFF000008u);
}

TEST_F(BmpLoadDepth, NarrowMasksRepeatTheirTopBits) {
    // 4-4-4 in a 16-bit file and a one-bit red channel: 0xA -> 0xAA, 1 bit -> 0xFF.
    BmpSpec s;
    s.bpp = 16;
    s.compression = 3;
    s.header_size = 56;
    s.masks[0] = 0x8000; // one bit
    s.masks[1] = 0x00F0;
    s.masks[2] = 0x000F;
    s.masks[3] = 0x0F00; // ignored: 16-bit files are opaque
    s.width = 1;
    s.height = 1;
    s.pixel = [](int, int) { return 0x80A3u; };
    Image* img = create_image(1, 1, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0xFFFFAA33u);
}

TEST_F(BmpLoadDepth, TwentyFourBitsWithPaddedRowsIsOpaque) {
    BmpSpec s;
    s.bpp = 24;
    s.width = 3; // 9 bytes + 3 of padding per row
    s.height = 3;
    s.pixel = [](int x, int y) { return uint32_t(0x010203 * (x + 1) + 0x300000 * y); };
    ASSERT_EQ(bmp_stride(s), 12u);
    Image* img = create_image(3, 3, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(img->row(y)[x], opaque(s.pixel(x, y)));
}

TEST_F(BmpLoadDepth, ThirtyTwoBitsKeepsStoredAlphaEvenZero) {
    BmpSpec s;
    s.bpp = 32;
    s.width = 2;
    s.height = 1;
    const uint32_t v[2] = {0x00FF0000u, 0x7F123456u};
    s.pixel = [&](int x, int) { return v[x]; };
    Image* img = create_image(2, 1, 0xFFFFFFFF);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0x00FF0000u);
    EXPECT_EQ(img->row(0)[1], 0x7F123456u);
    // Alpha 0 still draws as its colour in both modes.
    set_color(0, 0xFF00FF00, KEEP_FOREGROUND);
    clear_screen();
    ASSERT_EQ(put_image(0, 0, img, BLIT_TRANSPARENT), 0);
    EXPECT_EQ(px(0, 0), 0x00FF0000u);
    ASSERT_EQ(put_image(0, 1, img, BLIT_SOLID), 0);
    EXPECT_EQ(px(0, 1), 0x00FF0000u);
}

TEST_F(BmpLoadDepth, ThirtyTwoBitFieldsTakeAlphaOnlyFromAnAlphaMask) {
    const uint32_t stored = 0x80C0FFEEu;
    BmpSpec s;
    s.bpp = 32;
    s.compression = 3;
    s.width = 1;
    s.height = 1;
    s.pixel = [&](int, int) { return stored; };
    // Short header: three masks after it, so no alpha mask -> alpha 0.
    s.masks_after_header = true;
    s.masks[0] = 0x000000FF; // red in the lowest byte: the channels swap
    s.masks[1] = 0x0000FF00;
    s.masks[2] = 0x00FF0000;
    Image* img = create_image(1, 1, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0x00EEFFC0u);
    // 108-byte header with an alpha mask.
    s.masks_after_header = false;
    s.header_size = 108;
    s.masks[3] = 0xFF000000;
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    EXPECT_EQ(img->row(0)[0], 0x80EEFFC0u);
}

// ---------------------------------------------------------------------------
// Headers and row order

using BmpLoadHeader = GfxTest;

TEST_F(BmpLoadHeader, EveryAcceptedHeaderSizeGivesTheSamePicture) {
    auto colour = [](int x, int y) { return uint32_t(0x00A000 + x * 0x10 + y * 0x100000); };
    for (uint32_t hs : {12u, 40u, 56u, 108u, 124u}) {
        SCOPED_TRACE(hs);
        BmpSpec s;
        s.header_size = hs;
        s.bpp = 24;
        s.width = 5;
        s.height = 3;
        s.pixel = colour;
        Image* img = create_image(5, 3, 0);
        ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) ASSERT_EQ(img->row(y)[x], opaque(colour(x, y)));
    }
}

TEST_F(BmpLoadHeader, SmallHeaderPaletteHasThreeByteEntries) {
    BmpSpec s;
    s.header_size = 12;
    s.bpp = 8;
    s.width = 4;
    s.height = 2;
    s.palette = test_palette(256);
    s.pixel = [](int x, int y) { return uint32_t(250 + x - y); };
    Image* img = create_image(4, 2, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(img->row(y)[x], opaque(s.palette[250 + x - y]));
}

TEST_F(BmpLoadHeader, TopDownAndBottomUpLoadTheSamePixels) {
    BmpSpec s;
    s.bpp = 24;
    s.width = 6;
    s.height = 4;
    s.pixel = [](int x, int y) { return uint32_t(x * 40 + y * 0x4000); };
    Image* a = create_image(6, 4, 0);
    Image* b = create_image(6, 4, 0);
    ASSERT_EQ(load_bytes(make_bmp(s), a), 0);
    s.height = -4;
    ASSERT_EQ(load_bytes(make_bmp(s), b), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(a->row(y)[x], b->row(y)[x]);
            EXPECT_EQ(a->row(y)[x], opaque(s.pixel(x, y)));
        }
}

TEST_F(BmpLoadHeader, RunLengthCodesAreReadAsPlainRowsButNotTopDown) {
    BmpSpec s;
    s.bpp = 8;
    s.width = 4;
    s.height = 2;
    s.palette = test_palette(256);
    s.pixel = [](int x, int y) { return uint32_t(x + 4 * y); };
    Image* img = create_image(4, 2, 0);
    for (uint32_t c : {1u, 2u}) {
        s.compression = c;
        s.height = 2;
        ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
        EXPECT_EQ(img->row(1)[3], opaque(s.palette[7]));
        s.height = -2;
        EXPECT_EQ(load_bytes(make_bmp(s), img), ERR_FILE_IO);
    }
}

// ---------------------------------------------------------------------------
// Clipping to the target

using BmpLoadClip = GfxTest;

TEST_F(BmpLoadClip, LargerFileKeepsItsTopLeftCorner) {
    for (int32_t h : {48, -48}) {
        BmpSpec s;
        s.bpp = 24;
        s.width = 48;
        s.height = h;
        s.pixel = [](int x, int y) { return uint32_t(x << 8 | y); };
        Image* img = create_image(32, 32, 0xFF64FF64);
        ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) ASSERT_EQ(img->row(y)[x], opaque(uint32_t(x << 8 | y)));
        // Row padding past the width keeps the fill.
        EXPECT_EQ(img->pitch, 128);
    }
}

TEST_F(BmpLoadClip, SmallerFileLeavesTheRestOfTheTarget) {
    BmpSpec s;
    s.bpp = 24;
    s.width = 16;
    s.height = 16;
    s.pixel = [](int, int) { return 0x0000FFu; };
    Image* img = create_image(32, 32, 0xFF64FF64);
    ASSERT_EQ(load_bytes(make_bmp(s), img), 0);
    int kept = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool inside = x < 16 && y < 16;
            EXPECT_EQ(img->row(y)[x], inside ? 0xFF0000FFu : 0xFF64FF64u);
            kept += !inside;
        }
    EXPECT_EQ(kept, 768);
}

TEST_F(BmpLoadClip, NullTargetIsTheWorkPageAndVisibleRowsTurnDirty) {
    BmpSpec s;
    s.bpp = 24;
    s.width = 700;
    s.height = 3;
    s.pixel = [](int x, int) { return uint32_t(x); };
    take_dirty();
    ASSERT_EQ(load_bytes(make_bmp(s), nullptr), 0);
    EXPECT_EQ(px(639, 2), opaque(639));
    EXPECT_EQ(px(0, 3), 0xFF000000u);
    int first = 0, last = 0;
    ASSERT_TRUE(take_dirty_rows(&first, &last)); // work page 0 is also visible
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 2);
    // Into a page that is not shown: nothing dirty.
    ASSERT_EQ(set_pages(0, 1), 0);
    take_dirty();
    ASSERT_EQ(load_bytes(make_bmp(s), nullptr), 0);
    EXPECT_FALSE(take_dirty());
}

// ---------------------------------------------------------------------------
// Malformed and hostile files

using BmpMalformed = GfxTest;

namespace {
BmpSpec small_24() {
    BmpSpec s;
    s.bpp = 24;
    s.width = 4;
    s.height = 4;
    s.pixel = [](int x, int y) { return uint32_t(0x111111 * (x + 1) + y); };
    return s;
}
} // namespace

TEST_F(BmpMalformed, HeaderFieldsOutsideTheFormatAreRefused) {
    struct Case {
        const char* what;
        std::function<void(BmpSpec&)> change;
    };
    const Case cases[] = {
        {"depth 0", [](BmpSpec& s) { s.bpp = 0; }},
        {"depth 2", [](BmpSpec& s) { s.bpp = 2; }},
        {"depth 15", [](BmpSpec& s) { s.bpp = 15; }},
        {"depth 64", [](BmpSpec& s) { s.bpp = 64; }},
        {"zero width", [](BmpSpec& s) { s.width = 0; }},
        {"negative width", [](BmpSpec& s) { s.width = -4; }},
        {"zero height", [](BmpSpec& s) { s.height = 0; }},
        {"two planes", [](BmpSpec& s) { s.planes = 2; }},
        {"compression 4", [](BmpSpec& s) { s.compression = 4; }},
        {"compression 2^31", [](BmpSpec& s) { s.compression = 0x80000000u; }},
        {"header 64", [](BmpSpec& s) { s.header_size = 64; }},
        {"header 0", [](BmpSpec& s) { s.header_size = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmpSpec s = small_24();
        c.change(s);
        Image* img = create_image(4, 4, 0xABCDEF01);
        EXPECT_EQ(load_bytes(make_bmp(s), img), ERR_FILE_IO);
        EXPECT_EQ(img->row(0)[0], 0xABCDEF01u);
    }
    // Planes 0 is accepted.
    BmpSpec s = small_24();
    s.planes = 0;
    Image* img = create_image(4, 4, 0);
    EXPECT_EQ(load_bytes(make_bmp(s), img), 0);
}

TEST_F(BmpMalformed, WrongSignatureIsRefused) {
    Image* img = create_image(4, 4, 0);
    std::vector<uint8_t> f = make_bmp(small_24());
    f[1] = 'A';
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    f[0] = 0xFD;
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    EXPECT_EQ(load_bitmap_from_memory(nullptr, 0, img), ERR_FILE_IO);
    EXPECT_EQ(load_bytes({}, img), ERR_FILE_IO);
}

TEST_F(BmpMalformed, EveryTruncationIsAnErrorAndStaysInBounds) {
    for (uint16_t bpp : {1, 8, 16, 24, 32}) {
        BmpSpec s = small_24();
        s.bpp = bpp;
        if (bpp <= 8) s.palette = test_palette(1 << bpp);
        const std::vector<uint8_t> f = make_bmp(s);
        Image* img = create_image(4, 4, 0);
        for (size_t n = 0; n < f.size(); ++n) {
            // Copy the prefix so ASan sees the real end of the data.
            const std::vector<uint8_t> cut(f.begin(), f.begin() + static_cast<long>(n));
            ASSERT_EQ(load_bytes(cut, img), ERR_FILE_IO) << "bpp " << bpp << " cut at " << n;
        }
        EXPECT_EQ(load_bytes(f, img), 0);
    }
}

TEST_F(BmpMalformed, ShortPaletteWritesNothing) {
    BmpSpec s = small_24();
    s.bpp = 8;
    s.palette = test_palette(16); // 256 entries expected
    Image* img = create_image(4, 4, 0x01020304);
    std::vector<uint8_t> f = make_bmp(s);
    f.resize(14 + 40 + 16 * 4 + 10); // cut inside the palette
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(img->row(y)[x], 0x01020304u);
}

TEST_F(BmpMalformed, TruncatedRowsKeepTheRowsReadSoFar) {
    BmpSpec s = small_24();
    s.width = 4;
    s.height = 4; // bottom-up: stored rows are y = 3, 2, 1, 0
    std::vector<uint8_t> f = make_bmp(s);
    f.resize(f.size() - 5); // the last stored row (y = 0) is cut short
    Image* img = create_image(4, 4, 0x5A5A5A5A);
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    // Rows 3, 2 and 1 were read; row 0 keeps the fill, not a half row.
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(img->row(0)[x], 0x5A5A5A5Au);
        for (int y = 1; y < 4; ++y) EXPECT_EQ(img->row(y)[x], opaque(s.pixel(x, y)));
    }
}

TEST_F(BmpMalformed, PixelOffsetPastTheEndIsAnError) {
    std::vector<uint8_t> f = make_bmp(small_24());
    f[10] = 0xFF;
    f[11] = 0xFF;
    f[12] = 0xFF;
    f[13] = 0x7F;
    Image* img = create_image(4, 4, 7);
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    EXPECT_EQ(img->row(3)[3], 7u);
}

TEST_F(BmpMalformed, HugeDimensionsOnlyCostWhatTheTargetHolds) {
    // Width 2^31 - 1: not one row is there; the target is untouched.
    for (int32_t h : {0x7FFFFFFF, -0x7FFFFFFF, static_cast<int32_t>(0x80000000u)}) {
        SCOPED_TRACE(h);
        std::vector<uint8_t> f = make_bmp(BmpSpec{}); // a 4 x 4 file, then patch the size in
        const uint32_t uh = static_cast<uint32_t>(h);
        for (int i = 0; i < 4; ++i) {
            f[18 + i] = static_cast<uint8_t>(0x7FFFFFFFu >> (8 * i));
            f[22 + i] = static_cast<uint8_t>(uh >> (8 * i));
        }
        Image* img = create_image(8, 8, 0x11111111);
        EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
        EXPECT_EQ(img->row(0)[0], 0x11111111u);
        EXPECT_EQ(img->row(7)[7], 0x11111111u);
    }
    // Two pixels wide but 2^31 - 1 rows claimed top-down with only 3 stored:
    // those 3 reach the target, then the missing rest is an error.
    BmpSpec s = small_24();
    s.width = 2;
    s.height = -3;
    std::vector<uint8_t> f = make_bmp(s);
    f[22] = 0x01; f[23] = 0x00; f[24] = 0x00; f[25] = 0x80; // -2^31 + 1
    Image* img = create_image(8, 8, 0x22222222);
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(img->row(y)[1], opaque(s.pixel(1, y)));
    EXPECT_EQ(img->row(3)[0], 0x22222222u);
    EXPECT_EQ(img->row(0)[2], 0x22222222u);
}

TEST_F(BmpMalformed, MasksMissingAfterAShortHeaderAreAnError) {
    BmpSpec s = small_24();
    s.bpp = 32;
    s.compression = 3;
    std::vector<uint8_t> f = make_bmp(s); // no masks written
    f.resize(14 + 40 + 8);
    Image* img = create_image(4, 4, 0);
    EXPECT_EQ(load_bytes(f, img), ERR_FILE_IO);
}

// ---------------------------------------------------------------------------
// Reading from files

using BmpLoadFile = GfxTest;

TEST_F(BmpLoadFile, BackslashPathsAreMappedAndMissingFilesReported) {
    const std::string dir = temp_dir();
    BmpSpec s = small_24();
    write_file(dir + "/pic.bmp", make_bmp(s));
    Image* img = create_image(4, 4, 0);
    EXPECT_EQ(load_bitmap((dir + "\\pic.bmp").c_str(), img), 0);
    EXPECT_EQ(img->row(2)[1], opaque(s.pixel(1, 2)));
    EXPECT_EQ(load_bitmap((dir + "\\nothing.bmp").c_str(), img), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(load_bitmap(dir.c_str(), img), ERR_FILE_NOT_FOUND); // a directory
    write_file(dir + "/bad.bmp", {'B', 'M', 1, 2});
    EXPECT_EQ(load_bitmap((dir + "/bad.bmp").c_str(), img), ERR_FILE_IO);
    std::remove((dir + "/pic.bmp").c_str());
    std::remove((dir + "/bad.bmp").c_str());
    rmdir(dir.c_str());

    char out[8];
    native_path("ab\\cdefghij", out, sizeof out);
    EXPECT_STREQ(out, "ab/cdef");
}

TEST_F(BmpLoadFile, NothingLoadsWithoutAScreen) {
    const std::vector<uint8_t> f = make_bmp(small_24());
    Image* img = create_image(4, 4, 0);
    close_screen_for_tests();
    EXPECT_EQ(load_bytes(f, img), ERR_ILLEGAL_CALL);
    EXPECT_EQ(load_bitmap("gfx\\none.bmp", img), ERR_ILLEGAL_CALL);
    EXPECT_EQ(save_bitmap("never.bmp"), ERR_ILLEGAL_CALL);
}

// ---------------------------------------------------------------------------
// Screenshots

using BmpSave = GfxTest;

TEST_F(BmpSave, BlackPageGivesTheExactFile) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/screen.bmp";
    set_color(0, 0xFF000000, KEEP_FOREGROUND);
    clear_screen();
    ASSERT_EQ(save_bitmap(path.c_str()), 0);
    const std::vector<uint8_t> f = read_file(path);
    ASSERT_EQ(f.size(), 1228854u);
    const uint8_t header[54] = {
        'B', 'M', 0x36, 0xC0, 0x12, 0x00, 0, 0, 0, 0, 54, 0, 0, 0,        // file header
        40, 0, 0, 0, 0x80, 0x02, 0, 0, 0xE0, 0x01, 0, 0, 1, 0, 32, 0,     // size, 640, 480, planes, bpp
        0, 0, 0, 0, 0x00, 0xC0, 0x12, 0x00, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, // compression, image size, 2834 x2
        0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 54; ++i) ASSERT_EQ(f[i], header[i]) << "header byte " << i;
    for (size_t i = 54; i < f.size(); i += 4) {
        ASSERT_EQ(f[i] | f[i + 1] | f[i + 2], 0) << i;
        ASSERT_EQ(f[i + 3], 0xFF) << i;
    }
    EXPECT_FALSE(file_exists(path + ".tmp"));
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// Every colour comes back; the alpha byte, whatever the page holds, is 0xFF.
TEST_F(BmpSave, RowsAreBottomToTopAndLoadBackOpaque) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/shot.bmp";
    Image* page = work_page();
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) page->row(y)[x] = uint32_t(x * 2654435761u ^ y * 40503u);
    ASSERT_EQ(save_bitmap(path.c_str()), 0);
    const std::vector<uint8_t> f = read_file(path);
    ASSERT_EQ(f.size(), 1228854u);
    // The first stored pixel is the bottom-left one.
    const uint32_t first = f[54] | f[55] << 8 | f[56] << 16 | uint32_t(f[57]) << 24;
    EXPECT_EQ(first, page->row(479)[0] | 0xFF000000u);

    Image* copy = create_image(640, 480, 0);
    ASSERT_EQ(load_bitmap(path.c_str(), copy), 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(copy->row(y)[x], page->row(y)[x] | 0xFF000000u) << x << "," << y;
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// The game's own sprites drawn as the game draws them (transparent, which
// clears the page's alpha byte where they draw) give a screenshot whose every
// pixel is opaque, with the page's colours: no viewer shows them as holes.
TEST_F(BmpSave, DrawnSpritesAreOpaqueInTheScreenshot) {
    set_color(0, 0xFF203040, KEEP_FOREGROUND);
    clear_screen();
    const struct { const char* name; int size; } sprites[] = {
        {"block", 32}, {"egg", 32}, {"ladder", 32}, {"player", 32}, {"swan-r1", 32}, {"duck-r2", 64}};
    int x = 0;
    for (const auto& sprite : sprites) {
        Image* img = create_image(sprite.size, sprite.size, 0);
        const std::string file = std::string(GAME_DIR) + "/gfx/" + sprite.name + ".bmp";
        ASSERT_EQ(load_bitmap(file.c_str(), img), 0) << file;
        ASSERT_EQ(put_image(x, 100, img, BLIT_TRANSPARENT), 0) << file;
        x += 70;
    }
    int drawn = 0; // page pixels the sprites drew (alpha 0 there)
    for (int y = 0; y < 480; ++y)
        for (int i = 0; i < 640; ++i) drawn += (px(i, y) >> 24) == 0;
    ASSERT_GT(drawn, 1000);
    const std::string dir = temp_dir();
    const std::string path = dir + "/screen.bmp";
    ASSERT_EQ(save_bitmap(path.c_str()), 0);
    const std::vector<uint8_t> f = read_file(path);
    ASSERT_EQ(f.size(), 1228854u);
    int clear = 0, other = 0;
    for (int y = 0; y < 480; ++y)
        for (int i = 0; i < 640; ++i) {
            const size_t at = 54 + (static_cast<size_t>(479 - y) * 640 + i) * 4;
            clear += f[at + 3] != 0xFF;
            other += static_cast<uint32_t>(f[at] | f[at + 1] << 8 | f[at + 2] << 16) != (px(i, y) & 0xFFFFFFu);
        }
    EXPECT_EQ(clear, 0) << "pixels of the screenshot that are not opaque";
    EXPECT_EQ(other, 0) << "pixels whose colour is not the page's";
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

TEST_F(BmpSave, MissingDirectoryIsCannotCreate) {
    EXPECT_EQ(save_bitmap("/nonexistent_dir_for_clovenfeld\\screen.bmp"), ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(file_exists("/nonexistent_dir_for_clovenfeld/screen.bmp"));
}

TEST_F(BmpSave, ALinkUnderTheOldTemporaryNameIsNeverWrittenThrough) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/screen.bmp";
    const std::string victim = dir + "/victim";
    const std::vector<uint8_t> precious = {'k', 'e', 'e', 'p'};
    write_file(victim, precious);
    ASSERT_EQ(symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
    ASSERT_EQ(save_bitmap(path.c_str()), 0);
    EXPECT_EQ(read_file(victim), precious);
    EXPECT_EQ(read_file(path).size(), 1228854u);
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~current_umask());
    EXPECT_EQ(folder_entries(dir), (std::vector<std::string>{"screen.bmp", "screen.bmp.tmp", "victim"}));
    std::filesystem::remove_all(dir);
}

TEST_F(BmpSave, FailedWriteKeepsTheEarlierScreenshot) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/screen.bmp";
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    write_file(path, old);
    // In a child process, a file size limit of 100 kB makes the write fail
    // part-way (root ignores permissions, so a read-only folder would not).
    EXPECT_EXIT(save_with_file_size_limit(path.c_str(), 100000),
                ::testing::ExitedWithCode(ERR_FILE_IO), "");
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"screen.bmp"}); // no temporary left
    // A later save that can complete replaces it.
    ASSERT_EQ(save_bitmap(path.c_str()), 0);
    EXPECT_EQ(read_file(path).size(), 1228854u);
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// A new shot never replaces a file, nor a link, already at its name.
TEST_F(BmpSave, SaveNewRefusesAnythingAlreadyThere) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/shot.bmp", link = dir + "/link.bmp";
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    write_file(path, old);
    ASSERT_EQ(symlink((dir + "/victim").c_str(), link.c_str()), 0);
    for (const std::string& target : {path, link}) {
        errno = 0;
        EXPECT_EQ(save_bitmap_new(target.c_str()), ERR_FILE_NOT_FOUND) << target;
        EXPECT_EQ(errno, EEXIST) << target;
    }
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(folder_entries(dir), (std::vector<std::string>{"link.bmp", "shot.bmp"})); // no temporary left
    ASSERT_EQ(save_bitmap_new((dir + "/new.bmp").c_str()), 0);
    EXPECT_EQ(read_file(dir + "/new.bmp").size(), 1228854u);
    std::filesystem::remove_all(dir);
}
