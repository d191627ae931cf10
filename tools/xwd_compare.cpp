// xwd_compare.cpp -- checks a window's picture against the page it shows.
//
// Usage: xwd_compare CAPTURE.xwd PAGE.bmp SCALE X Y
// CAPTURE.xwd is an X window dump (xwd -id WINDOW) of the game window,
// PAGE.bmp a 32-bit page the game saved (S or --shot).  Every pixel of the
// capture must be the page's pixel (x - X) / SCALE, (y - Y) / SCALE inside the
// page's rectangle and black outside it.  Prints the capture's size and the
// count and first few of the pixels that differ; exit status 0 when none do,
// 1 when some do, 2 for a file it cannot read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb; // 0xRRGGBB, row 0 at the top
};

std::vector<unsigned char> read_all(const char* path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

uint32_t be32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at + 3]) << 24 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 1]) << 8 | b[at];
}

// A 32 bits-per-pixel ZPixmap dump, as xwd writes on a 24-bit TrueColor screen.
bool read_xwd(const char* path, Picture* out) {
    const std::vector<unsigned char> b = read_all(path);
    if (b.size() < 100) return false;
    const uint32_t header = be32(b, 0), format = be32(b, 8), w = be32(b, 16), h = be32(b, 20);
    const uint32_t order = be32(b, 28), bpp = be32(b, 44), line = be32(b, 48), ncolors = be32(b, 76);
    if (format != 2 || bpp != 32 || w == 0 || h == 0 || w > 16384 || h > 16384 || line < w * 4) return false;
    const size_t data = size_t(header) + size_t(ncolors) * 12;
    if (b.size() < data + size_t(line) * h) return false;
    out->width = int(w);
    out->height = int(h);
    out->rgb.resize(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const size_t at = data + size_t(y) * line + size_t(x) * 4;
            out->rgb[size_t(y) * w + x] = (order ? be32(b, at) : le32(b, at)) & 0xFFFFFF;
        }
    return true;
}

// A 32-bit bottom-up BMP as the game saves it.
bool read_bmp(const char* path, Picture* out) {
    const std::vector<unsigned char> b = read_all(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    const uint32_t data = le32(b, 10), w = le32(b, 18), h = le32(b, 22);
    if (b[28] != 32 || w == 0 || h == 0 || w > 4096 || h > 4096 || b.size() < data + size_t(w) * h * 4) return false;
    out->width = int(w);
    out->height = int(h);
    out->rgb.resize(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            out->rgb[size_t(y) * w + x] = le32(b, data + (size_t(h - 1 - y) * w + x) * 4) & 0xFFFFFF;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: xwd_compare CAPTURE.xwd PAGE.bmp SCALE X Y\n");
        return 2;
    }
    Picture cap, page;
    if (!read_xwd(argv[1], &cap)) return std::fprintf(stderr, "xwd_compare: cannot read %s\n", argv[1]), 2;
    if (!read_bmp(argv[2], &page)) return std::fprintf(stderr, "xwd_compare: cannot read %s\n", argv[2]), 2;
    const int scale = std::atoi(argv[3]), ox = std::atoi(argv[4]), oy = std::atoi(argv[5]);
    if (scale < 1) return std::fprintf(stderr, "xwd_compare: bad scale\n"), 2;
    long bad = 0, inside = 0;
    for (int y = 0; y < cap.height; ++y)
        for (int x = 0; x < cap.width; ++x) {
            const int px = x - ox, py = y - oy;
            const bool in = px >= 0 && py >= 0 && px < page.width * scale && py < page.height * scale;
            const uint32_t want = in ? page.rgb[size_t(py / scale) * page.width + px / scale] : 0;
            const uint32_t got = cap.rgb[size_t(y) * cap.width + x];
            inside += in;
            if (got != want && bad++ < 5)
                std::printf("pixel %d,%d is %06X, not %06X\n", x, y, unsigned(got), unsigned(want));
        }
    std::printf("capture %dx%d, page pixels shown %ld, pixels that differ %ld\n", cap.width, cap.height, inside, bad);
    return bad == 0 && inside == long(page.width) * page.height * scale * scale ? 0 : 1;
}
