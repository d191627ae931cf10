// contact_sheet.cpp -- pictures of the built sprites and levels, for looking at.
//
// Usage: contact_sheet <game dir> <out dir>.  Reads <game dir>/gfx/*.bmp and
// <game dir>/levels/1..9.bmp as the game would get them and writes, into
// <out dir>, sprites.bmp / sprites.png (every sprite at 4x on black, the
// walking poses side by side) and level-<n>.bmp / level-<n>.png (every level
// as a full map, 32 pixels per cell, each cell drawn with its sprite; swans,
// the player and the caged duck at their start cells).  The PNG writer uses
// stored (uncompressed) deflate blocks, so no compression library is needed;
// the BMP files are the tools' writer's (lib/bmp_write.h).
#include "lib/bmp_write.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t MAGENTA = 0xFF00FF;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb; // row 0 at the top
    uint32_t& at(int x, int y) { return rgb[static_cast<size_t>(y * width + x)]; }
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y * width + x)]; }
};

Picture blank(int w, int h, uint32_t colour) {
    Picture p;
    p.width = w;
    p.height = h;
    p.rgb.assign(static_cast<size_t>(w * h), colour);
    return p;
}

std::vector<uint8_t> read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "contact_sheet: cannot open %s\n", file.string().c_str());
        std::exit(1);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Reads the bottom-up 24-bit sprites and 8-bit levels that mkassets writes.
// For 8-bit files the pixel value is returned (the cell code), not a colour.
Picture read_bmp(const fs::path& file) {
    const std::vector<uint8_t> b = read_all(file);
    const uint32_t offset = u32(b, 10);
    Picture p;
    p.width = static_cast<int>(u32(b, 18));
    p.height = static_cast<int>(u32(b, 22));
    const int bits = b.size() > 29 ? b[28] : 0;
    if (p.width <= 0 || p.height <= 0 || p.width > 4096 || p.height > 4096 || (bits != 24 && bits != 8)) {
        std::fprintf(stderr, "contact_sheet: %s is not a bitmap this tool reads\n", file.string().c_str());
        std::exit(1);
    }
    const int bpp = bits / 8;
    const size_t row_bytes = static_cast<size_t>((p.width * bpp + 3) / 4 * 4);
    p.rgb.assign(static_cast<size_t>(p.width * p.height), 0);
    for (int y = 0; y < p.height; y++) {
        const size_t row = offset + row_bytes * static_cast<size_t>(p.height - 1 - y);
        for (int x = 0; x < p.width; x++) {
            const size_t at = row + static_cast<size_t>(x * bpp);
            if (at + bpp > b.size()) continue;
            p.at(x, y) = bpp == 1 ? b[at] : (b[at] | b[at + 1] << 8 | b[at + 2] << 16);
        }
    }
    return p;
}

// Draws src at (x, y), scaled by s, skipping magenta.
void blit(Picture& dst, const Picture& src, int x, int y, int s = 1) {
    for (int sy = 0; sy < src.height * s; sy++)
        for (int sx = 0; sx < src.width * s; sx++) {
            const uint32_t c = src.at(sx / s, sy / s);
            const int dx = x + sx, dy = y + sy;
            if (c == MAGENTA || dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
            dst.at(dx, dy) = c;
        }
}

void box(Picture& dst, int x1, int y1, int x2, int y2, uint32_t c) {
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++)
            if ((y == y1 || y == y2 || x == x1 || x == x2) && x >= 0 && y >= 0 && x < dst.width && y < dst.height)
                dst.at(x, y) = c;
}

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    static std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<uint8_t> png_file(const Picture& p) {
    std::vector<uint8_t> raw; // filter byte 0, then RGB, per row
    for (int y = 0; y < p.height; y++) {
        raw.push_back(0);
        for (int x = 0; x < p.width; x++) {
            const uint32_t c = p.at(x, y);
            raw.push_back((c >> 16) & 0xFF);
            raw.push_back((c >> 8) & 0xFF);
            raw.push_back(c & 0xFF);
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.push_back(n & 0xFF);
        z.push_back(n >> 8);
        z.push_back(~n & 0xFF);
        z.push_back((~n >> 8) & 0xFF);
        z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
        if (at + n >= raw.size()) break;
    }
    const uint32_t adler = b << 16 | a;
    for (int i = 3; i >= 0; i--) z.push_back((adler >> (8 * i)) & 0xFF);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        const uint32_t n = static_cast<uint32_t>(data.size());
        for (int i = 3; i >= 0; i--) out.push_back((n >> (8 * i)) & 0xFF);
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.insert(out.end(), body.begin(), body.end());
        const uint32_t c = crc32(body.data(), body.size());
        for (int i = 3; i >= 0; i--) out.push_back((c >> (8 * i)) & 0xFF);
    };
    std::vector<uint8_t> ihdr;
    for (uint32_t v : {static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height)})
        for (int i = 3; i >= 0; i--) ihdr.push_back((v >> (8 * i)) & 0xFF);
    for (uint8_t v : {8, 2, 0, 0, 0}) ihdr.push_back(v);
    chunk("IHDR", ihdr);
    chunk("IDAT", z);
    chunk("IEND", {});
    return out;
}

void write_or_stop(const fs::path& file, const std::vector<uint8_t>& bytes) {
    if (write_bytes(file.string(), bytes)) return;
    std::fprintf(stderr, "contact_sheet: cannot write %s\n", file.string().c_str());
    std::exit(1);
}

void save(const fs::path& dir, const std::string& name, const Picture& p) {
    write_or_stop(dir / (name + ".bmp"), bmp_rgb24(p.width, p.height, p.rgb.data()));
    write_or_stop(dir / (name + ".png"), png_file(p));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: contact_sheet <game dir> <out dir>\n");
        return 2;
    }
    const fs::path game = argv[1], out = argv[2];
    std::error_code ec;
    fs::create_directories(out, ec);
    auto sprite = [&](const char* name) { return read_bmp(game / "gfx" / (std::string(name) + ".bmp")); };

    // Sprites: rows of related poses at 4x, the duck below.
    const std::vector<std::vector<const char*>> rows = {
        {"block", "moving", "seed", "egg", "ladder"},
        {"player", "player1", "player-l1", "player-l2", "player-u1", "player-u2"},
        {"swan-r1", "swan-r2", "swan-l1", "swan-l2", "swan-u1", "swan-u2"},
    };
    Picture sheet = blank(6 * 144 + 16, 3 * 144 + 280, 0x000000);
    for (size_t r = 0; r < rows.size(); r++)
        for (size_t i = 0; i < rows[r].size(); i++) {
            const int x = 16 + static_cast<int>(i) * 144, y = 16 + static_cast<int>(r) * 144;
            box(sheet, x - 1, y - 1, x + 128, y + 128, 0x303030);
            blit(sheet, sprite(rows[r][i]), x, y, 4);
        }
    blit(sheet, sprite("duck-r2"), 16, 3 * 144 + 8, 4);
    // The duck and a player at 1:1 beside it, to judge their sizes together.
    blit(sheet, sprite("duck-r2"), 320, 3 * 144 + 8);
    blit(sheet, sprite("player"), 400, 3 * 144 + 40);
    blit(sheet, sprite("swan-r1"), 440, 3 * 144 + 40);
    save(out, "sprites", sheet);

    const char* cell_sprite[10] = {nullptr, "block", "swan-r1", "seed", "ladder", "player", "duck-r2", "egg",
                                   "moving", "moving"};
    for (int n = 1; n <= 9; n++) {
        const Picture level = read_bmp(game / "levels" / (std::to_string(n) + ".bmp"));
        Picture map = blank(level.width * 32, level.height * 32, 0x000000);
        // Cells first (ladders solid), then the actors on top, as in play.
        for (int pass = 0; pass < 2; pass++)
            for (int y = 0; y < level.height; y++)
                for (int x = 0; x < level.width; x++) {
                    const uint32_t code = level.at(x, y);
                    const bool actor = code == 2 || code == 5 || code == 6;
                    if (code == 0 || code > 9 || actor != (pass == 1)) continue;
                    const Picture s = sprite(cell_sprite[code]);
                    if (code == 4) {
                        for (int sy = 0; sy < 32; sy++)
                            for (int sx = 0; sx < 32; sx++) map.at(x * 32 + sx, y * 32 + sy) = s.at(sx, sy);
                    } else {
                        blit(map, s, x * 32, y * 32);
                    }
                    if (code == 6) { // the cage
                        const int a = x * 32 - 8, b = y * 32 - 8;
                        box(map, a, b, a + 80, b + 80, 0xCC6600);
                        box(map, a - 1, b - 1, a + 81, b + 81, 0xCC6600);
                        for (int d = 0; d <= 80; d += 16) {
                            box(map, a + d, b, a + d, b + 80, 0xCC6600);
                            box(map, a + d + 1, b, a + d + 1, b + 80, 0xCC6600);
                        }
                    }
                }
        save(out, "level-" + std::to_string(n), map);
    }
    std::printf("contact_sheet: wrote sprites and 9 levels to %s\n", out.string().c_str());
    return 0;
}
