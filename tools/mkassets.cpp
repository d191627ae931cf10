// mkassets.cpp -- turns the text sources under assets/ into the game's files.
//
// Usage: mkassets --level <level.txt> <level.bmp> turns one level text into
// its file (the level packs' levels, assets/packs/).
// Usage: mkassets <assets dir> <game dir> [<icon dir>].  Reads
// assets/palette.txt, every sprite assets/sprites/<name>.txt and every level
// assets/levels/<n>.txt, and writes <game dir>/gfx/<name>.bmp (24-bit,
// bottom-up, magenta where nothing is drawn) and <game dir>/levels/<n>.bmp
// (8-bit palette bitmap, one pixel per cell, palette index = cell code).  With
// an icon dir it also draws the program's icon, assets/icon.txt (16 x 16), as
// <icon dir>/<N>.png for N = 16, 32, 48, 64, 128, 192, 256 and 512: RGBA, scaled by whole
// numbers, transparent where nothing is drawn, the pictures up to 256 px in one
// <icon dir>/clovenfeld.ico for the Windows program, and <icon dir>/icon_pixels.h,
// the 16 x 16 pixels as a C++ table that the window back-end builds in.  The walking-left sprites are made here as
// mirror images of the walking-right ones, so the two can never drift apart.
// Any malformed source stops the tool with a message naming the file and line
// and a nonzero exit status, so a bad edit fails the build.  The tool has its
// own small PNG writer (zlib compresses the PNG data), writes BMP files with
// the tools' writer (lib/bmp_write.h) and does not need the game's services;
// the text sources are read by asset_text.h.
#include "asset_text.h"
#include "lib/bmp_write.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <zlib.h>

namespace fs = std::filesystem;
using namespace asset_text;

namespace {

void write_file(const fs::path& file, const std::vector<uint8_t>& bytes) {
    if (!write_bytes(file.string(), bytes)) fail(file, 0, "cannot write");
}

Picture mirror(const Picture& src) {
    Picture m = src;
    for (int y = 0; y < src.height; y++)
        for (int x = 0; x < src.width; x++)
            m.rgb[static_cast<size_t>(y * src.width + x)] =
                src.rgb[static_cast<size_t>(y * src.width + (src.width - 1 - x))];
    return m;
}

void write_sprite(const fs::path& file, const Picture& p) {
    write_file(file, bmp_rgb24(p.width, p.height, p.rgb.data()));
}

// --- the icon: PNG files ------------------------------------------------------

constexpr int ICON_SIZE = 16;
constexpr int ICON_SCALES[] = {1, 2, 3, 4, 8, 12, 16, 32}; // 192 and 512 px for the web page's manifest

void put32_be(std::vector<uint8_t>& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

void png_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32_be(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32_be(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An RGBA PNG of p scaled by a whole number; palette magenta becomes fully
// transparent.  Each row is filtered "up" (the difference from the row above),
// so a row repeated by the scaling is all zeros, and the image data is
// compressed by zlib at its best level: a few kilobytes at 256 px.
std::vector<uint8_t> png_file(const Picture& p, int scale) {
    const int w = p.width * scale, h = p.height * scale;
    const size_t stride = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> pixels; // RGBA rows, unfiltered
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const uint32_t c = p.rgb[static_cast<size_t>(y / scale * p.width + x / scale)];
            const bool clear = c == 0xFF00FF;
            for (uint32_t v : {c >> 16, c >> 8, c}) pixels.push_back(clear ? 0 : static_cast<uint8_t>(v));
            pixels.push_back(clear ? 0 : 255);
        }
    }
    std::vector<uint8_t> raw; // each row: filter type 2 (up), then the differences
    for (int y = 0; y < h; y++) {
        raw.push_back(2);
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * stride;
        for (size_t i = 0; i < stride; i++)
            raw.push_back(static_cast<uint8_t>(row[i] - (y > 0 ? pixels[static_cast<size_t>(y - 1) * stride + i] : 0)));
    }
    uLongf z_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> z(z_size);
    if (compress2(z.data(), &z_size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        std::fprintf(stderr, "mkassets: zlib could not compress the %d px icon\n", w);
        std::exit(1);
    }
    z.resize(z_size);

    std::vector<uint8_t> header;
    put32_be(header, static_cast<uint32_t>(w));
    put32_be(header, static_cast<uint32_t>(h));
    for (uint8_t v : {8, 6, 0, 0, 0}) header.push_back(v); // 8 bits, RGBA, deflate, filter 0, no interlace
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png_chunk(out, "IHDR", header);
    png_chunk(out, "IDAT", z);
    png_chunk(out, "IEND", {});
    return out;
}

// A Windows icon file holding the PNG files as they are (Windows reads PNG
// images inside an icon): the 6-byte header, one 16-byte entry per image
// (a width or height of 256 is written as 0), then the images.
std::vector<uint8_t> ico_file(const std::vector<std::pair<int, std::vector<uint8_t>>>& images) {
    std::vector<uint8_t> out;
    auto put16le = [&](uint32_t v) { out.push_back(v & 0xFF); out.push_back((v >> 8) & 0xFF); };
    put16le(0);
    put16le(1); // an icon
    put16le(static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const auto& [size, png] : images) {
        out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
        out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
        out.push_back(0); // no palette
        out.push_back(0);
        put16le(1);  // planes
        put16le(32); // bits per pixel
        put16le(static_cast<uint32_t>(png.size()) & 0xFFFF);
        put16le(static_cast<uint32_t>(png.size()) >> 16);
        put16le(offset & 0xFFFF);
        put16le(offset >> 16);
        offset += static_cast<uint32_t>(png.size());
    }
    for (const auto& image : images) out.insert(out.end(), image.second.begin(), image.second.end());
    return out;
}

// The icon as a header the window back-end includes: its pixels as
// 0xAARRGGBB, row by row from the top, alpha 0 where nothing is drawn.
std::vector<uint8_t> icon_header(const Picture& p) {
    std::string text = "// icon_pixels.h -- made by mkassets from assets/icon.txt: the program's icon,\n"
                       "// ICON_PIXELS_SIZE pixels square as 0xAARRGGBB, row by row from the top\n"
                       "// (alpha 0 where nothing is drawn).\n"
                       "#pragma once\n#include <cstdint>\n\n";
    text += "inline constexpr int ICON_PIXELS_SIZE = " + std::to_string(p.width) + ";\n";
    text += "inline constexpr uint32_t ICON_PIXELS[" + std::to_string(p.rgb.size()) + "] = {\n";
    for (size_t i = 0; i < p.rgb.size(); i++) {
        const uint32_t c = p.rgb[i];
        char word[16];
        std::snprintf(word, sizeof word, "0x%08X,", c == 0xFF00FF ? 0u : 0xFF000000u | c);
        text += (i % 8 == 0 ? "    " : " ") + std::string(word) + (i % 8 == 7 ? "\n" : "");
    }
    text += "};\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

void write_level(const fs::path& file, const Level& level) {
    uint32_t palette[256];
    for (int i = 0; i < 256; i++) {
        palette[i] = 0x202020; // unused codes: dark grey
        for (const LegendEntry& e : LEGEND)
            if (e.code == i) palette[i] = e.rgb;
    }
    write_file(file, bmp_indexed8(LEVEL_WIDTH, level.height, level.codes.data(), palette, 256, false));
}

} // namespace

int main(int argc, char** argv) {
    // One level file on its own, for a level pack (assets/packs/).
    if (argc == 4 && std::string(argv[1]) == "--level") {
        write_level(argv[3], read_level(argv[2]));
        return 0;
    }
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mkassets <assets dir> <game dir> [<icon dir>]\n"
                             "       mkassets --level <level.txt> <level.bmp>\n");
        return 2;
    }
    const fs::path assets = argv[1];
    const fs::path game = argv[2];
    std::error_code ec;
    fs::create_directories(game / "gfx", ec);
    fs::create_directories(game / "levels", ec);

    const auto palette = read_palette(assets / "palette.txt");

    // Every file in sprites/ must be one the game uses (a typo in a name
    // would otherwise be skipped silently).
    for (const auto& entry : fs::directory_iterator(assets / "sprites")) {
        if (entry.path().extension() != ".txt") continue;
        const std::string stem = entry.path().stem().string();
        bool known = false;
        for (const SpriteShape& s : SPRITES)
            if (stem == s.name && !s.mirror_of) known = true;
        if (!known) fail(entry.path(), 0, "is not a sprite the game uses (or is made as a mirror)");
    }

    std::map<std::string, Picture> pictures;
    for (const SpriteShape& s : SPRITES) {
        if (s.mirror_of) continue;
        pictures[s.name] = read_sprite(assets / "sprites" / (std::string(s.name) + ".txt"), s, palette);
    }
    for (const SpriteShape& s : SPRITES)
        if (s.mirror_of) pictures[s.name] = mirror(pictures.at(s.mirror_of));
    for (const SpriteShape& s : SPRITES) write_sprite(game / "gfx" / (std::string(s.name) + ".bmp"), pictures[s.name]);

    for (int n = 1; n <= LEVEL_COUNT; n++) {
        const std::string name = std::to_string(n);
        write_level(game / "levels" / (name + ".bmp"), read_level(assets / "levels" / (name + ".txt")));
    }
    if (argc == 4) {
        const fs::path icons = argv[3];
        fs::create_directories(icons, ec);
        const Picture icon = read_sprite(assets / "icon.txt", {"icon", ICON_SIZE, ICON_SIZE, nullptr}, palette);
        std::vector<std::pair<int, std::vector<uint8_t>>> images;
        for (int scale : ICON_SCALES) {
            images.emplace_back(ICON_SIZE * scale, png_file(icon, scale));
            write_file(icons / (std::to_string(ICON_SIZE * scale) + ".png"), images.back().second);
        }
        // An icon file holds pictures of at most 256 px (its size bytes stop there).
        std::erase_if(images, [](const auto& image) { return image.first > 256; });
        write_file(icons / "clovenfeld.ico", ico_file(images));
        write_file(icons / "icon_pixels.h", icon_header(icon));
    }
    std::printf("mkassets: %zu sprites, %d levels written to %s\n", std::size(SPRITES), LEVEL_COUNT,
                game.string().c_str());
    return 0;
}
