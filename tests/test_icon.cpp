// test_icon.cpp -- the program's icon as mkassets writes it for the install:
// each PNG is read back with a small reader of our own (chunk CRCs, the zlib
// stream of stored blocks and its Adler-32 checked) and must show the 16 x 16
// source scaled by a whole number, transparent where nothing is drawn.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t crc32_bits(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

uint32_t adler32_bytes(const Bytes& d) {
    uint32_t a = 1, b = 0;
    for (uint8_t v : d) b = (b + (a = (a + v) % 65521)) % 65521;
    return b << 16 | a;
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | p[2] << 8 | p[3]; }

// The pixels (RGBA as 0xRRGGBBAA, rows top first) of an 8-bit RGBA PNG made
// of stored deflate blocks with filter type 0; empty on any fault.
std::vector<uint32_t> read_png(const std::string& path, int* size) {
    std::ifstream in(path, std::ios::binary);
    const Bytes f((std::istreambuf_iterator<char>(in)), {});
    const Bytes sig = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (f.size() < 8 || !std::equal(sig.begin(), sig.end(), f.begin())) return {};
    Bytes z, raw;
    size_t at = 8;
    for (std::string type; type != "IEND"; at += 12 + be32(&f[at])) {
        if (at + 12 > f.size() || at + 12 + be32(&f[at]) > f.size()) return {};
        const uint32_t len = be32(&f[at]);
        type.assign(f.begin() + long(at) + 4, f.begin() + long(at) + 8);
        if (crc32_bits(&f[at + 4], len + 4) != be32(&f[at + 8 + len])) return {};
        if (type == "IHDR") { // square, 8 bits, RGBA, deflate, filter 0, no interlace
            if (be32(&f[at + 8]) != be32(&f[at + 12]) || Bytes(&f[at + 16], &f[at + 21]) != Bytes{8, 6, 0, 0, 0})
                return {};
            *size = int(be32(&f[at + 8]));
        }
        if (type == "IDAT") z.insert(z.end(), &f[at + 8], &f[at + 8 + len]);
    }
    if (z.size() < 6 || (z[0] * 256 + z[1]) % 31 != 0 || (z[0] & 0x0F) != 8) return {};
    at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > z.size() || (z[at] & 6) != 0) return {}; // stored blocks only
        last = z[at] & 1;
        const size_t n = z[at + 1] | z[at + 2] << 8;
        if ((n ^ 0xFFFF) != size_t(z[at + 3] | z[at + 4] << 8) || at + 5 + n > z.size()) return {};
        raw.insert(raw.end(), z.begin() + long(at) + 5, z.begin() + long(at + 5 + n));
        at += 5 + n;
    }
    const size_t row = size_t(*size) * 4 + 1;
    if (at + 4 != z.size() || adler32_bytes(raw) != be32(&z[at]) || raw.size() != row * size_t(*size)) return {};
    std::vector<uint32_t> px;
    for (size_t y = 0; y < size_t(*size); y++) {
        if (raw[y * row] != 0) return {};
        for (size_t x = 0; x < size_t(*size); x++) px.push_back(be32(&raw[y * row + 1 + 4 * x]));
    }
    return px;
}

} // namespace

TEST(Icon, EverySizeIsTheSourceScaledByAWholeNumber) {
    // The reader's own checks against their published values.
    ASSERT_EQ(crc32_bits(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
    ASSERT_EQ(adler32_bytes({'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'}), 0x11E60398u);

    const std::string dir = std::string(GAME_DIR) + "/../icons/";
    int n = 0;
    const std::vector<uint32_t> small = read_png(dir + "16.png", &n);
    ASSERT_EQ(small.size(), 256u) << "unreadable";
    EXPECT_EQ(small[0], 0x00000000u) << "nothing drawn: fully transparent";
    EXPECT_EQ(small[6 * 16 + 7], 0xF4ECD8FFu) << "eggshell, opaque";
    EXPECT_EQ(small[14 * 16], 0x3A1E16FFu) << "mortar";
    for (int want : {32, 48, 64, 128, 256}) {
        const std::vector<uint32_t> big = read_png(dir + std::to_string(want) + ".png", &n);
        ASSERT_EQ(n, want);
        ASSERT_EQ(big.size(), size_t(n * n)) << n << " px: unreadable";
        int wrong = 0;
        for (int i = 0; i < n * n; i++) wrong += big[size_t(i)] != small[size_t(i / n * 16 / n * 16 + i % n * 16 / n)];
        EXPECT_EQ(wrong, 0) << n << " px";
    }
}
