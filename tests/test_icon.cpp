// test_icon.cpp -- the program's icon as mkassets writes it for the install:
// each PNG is read back here with its own small reader (chunk CRCs, the zlib
// stream and its Adler-32 checked), is the size its name says, and shows the
// 16 x 16 source scaled by a whole number, transparent where nothing is drawn.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

uint32_t crc32_bits(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

uint32_t adler32_bytes(const std::vector<uint8_t>& d) {
    uint64_t a = 1, b = 0;
    for (uint8_t v : d) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    return static_cast<uint32_t>(b << 16 | a);
}

uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
}

struct Rgba {
    int width = 0, height = 0;
    std::vector<uint8_t> px; // 4 bytes a pixel, rows top first
    uint32_t at(int x, int y) const { return be32(&px[static_cast<size_t>((y * width + x) * 4)]); }
};

// Reads an 8-bit RGBA PNG made of stored deflate blocks; fails the test on
// anything else or on a bad check value.
Rgba read_png(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), {});
    Rgba img;
    const uint8_t sig[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (f.size() < 8 || !std::equal(sig, sig + 8, f.begin())) {
        ADD_FAILURE() << path << ": no PNG signature";
        return img;
    }
    std::vector<uint8_t> z;
    bool ended = false;
    for (size_t at = 8; at + 12 <= f.size() && !ended; ) {
        const uint32_t len = be32(&f[at]);
        if (at + 12 + len > f.size()) break;
        const std::string type(f.begin() + static_cast<long>(at) + 4, f.begin() + static_cast<long>(at) + 8);
        const uint8_t* data = &f[at + 8];
        EXPECT_EQ(crc32_bits(&f[at + 4], len + 4), be32(data + len)) << path << " " << type;
        if (type == "IHDR") {
            img.width = static_cast<int>(be32(data));
            img.height = static_cast<int>(be32(data + 4));
            EXPECT_EQ(std::vector<uint8_t>(data + 8, data + 13), (std::vector<uint8_t>{8, 6, 0, 0, 0}));
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + len);
        }
        ended = type == "IEND";
        at += 12 + len;
    }
    EXPECT_TRUE(ended) << path << ": no IEND";
    if (z.size() < 6 || (z[0] * 256 + z[1]) % 31 != 0 || (z[0] & 0x0F) != 8) {
        ADD_FAILURE() << path << ": bad zlib header";
        return img;
    }
    std::vector<uint8_t> raw;
    size_t at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > z.size() || (z[at] & 6) != 0) {
            ADD_FAILURE() << path << ": not a stored block";
            return img;
        }
        last = z[at] & 1;
        const size_t n = z[at + 1] | z[at + 2] << 8;
        EXPECT_EQ(n ^ 0xFFFF, static_cast<size_t>(z[at + 3] | z[at + 4] << 8));
        if (at + 5 + n > z.size()) {
            ADD_FAILURE() << path << ": block runs past the data";
            return img;
        }
        raw.insert(raw.end(), z.begin() + static_cast<long>(at) + 5, z.begin() + static_cast<long>(at + 5 + n));
        at += 5 + n;
    }
    EXPECT_EQ(at + 4, z.size());
    if (at + 4 <= z.size()) {
        EXPECT_EQ(adler32_bytes(raw), be32(&z[at])) << path;
    }
    const size_t row = static_cast<size_t>(img.width) * 4 + 1;
    if (raw.size() != row * static_cast<size_t>(img.height)) {
        ADD_FAILURE() << path << ": " << raw.size() << " bytes of rows";
        return img;
    }
    for (int y = 0; y < img.height; y++) {
        EXPECT_EQ(raw[y * row], 0) << "filter type of row " << y;
        img.px.insert(img.px.end(), raw.begin() + static_cast<long>(y * row + 1),
                      raw.begin() + static_cast<long>((y + 1) * row));
    }
    return img;
}

} // namespace

TEST(Icon, EverySizeIsTheSourceScaledByAWholeNumber) {
    // The reader's check values against their published ones.
    ASSERT_EQ(crc32_bits(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
    ASSERT_EQ(adler32_bytes({'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'}), 0x11E60398u);

    const std::string dir = std::string(GAME_DIR) + "/../icons/";
    const Rgba small = read_png(dir + "16.png");
    ASSERT_EQ(small.width, 16);
    ASSERT_EQ(small.height, 16);
    EXPECT_EQ(small.at(0, 0), 0x00000000u) << "nothing drawn: fully transparent";
    EXPECT_EQ(small.at(7, 6), 0xF4ECD8FFu) << "eggshell, opaque";
    EXPECT_EQ(small.at(0, 14), 0x3A1E16FFu) << "mortar";
    for (int n : {32, 48, 64, 128, 256}) {
        SCOPED_TRACE(n);
        const Rgba big = read_png(dir + std::to_string(n) + ".png");
        ASSERT_EQ(big.width, n);
        ASSERT_EQ(big.height, n);
        int wrong = 0;
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++) wrong += big.at(x, y) != small.at(x * 16 / n, y * 16 / n);
        EXPECT_EQ(wrong, 0);
    }
}
