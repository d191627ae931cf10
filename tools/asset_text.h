// asset_text.h -- the parser of the text sources under assets/ (palette,
// sprites, levels), shared by mkassets and the asset fuzz harness.
//
// Every reader takes the file's text (or reads the file) and returns what it
// describes; any malformed source stops with a message naming the file and
// line ("mkassets: <file>:<line>: <what>") and exit status 1.  A harness may
// set asset_fail_hook to get the message instead (the hook must not return).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace asset_text {

namespace fs = std::filesystem;

// One sprite the game loads: its file name, size, and (for the walking-left
// poses) the sprite whose mirror image it is.
struct SpriteShape {
    const char* name;
    int width;
    int height;
    const char* mirror_of; // nullptr: drawn in assets/sprites/<name>.txt
};

inline constexpr SpriteShape SPRITES[] = {
    {"block", 32, 32, nullptr},      {"moving", 32, 32, nullptr},
    {"seed", 32, 32, nullptr},       {"egg", 32, 32, nullptr},
    {"ladder", 32, 32, nullptr},     {"player", 32, 32, nullptr},
    {"player1", 32, 32, nullptr},    {"player-l1", 32, 32, "player"},
    {"player-l2", 32, 32, "player1"}, {"player-u1", 32, 32, nullptr},
    {"player-u2", 32, 32, nullptr},  {"swan-r1", 32, 32, nullptr},
    {"swan-r2", 32, 32, nullptr},    {"swan-l1", 32, 32, "swan-r1"},
    {"swan-l2", 32, 32, "swan-r2"},  {"swan-u1", 32, 32, nullptr},
    {"swan-u2", 32, 32, nullptr},    {"duck-r2", 64, 64, nullptr},
};

// Level legend: source character -> cell code.
struct LegendEntry {
    char ch;
    int code;
    uint32_t rgb; // colour of the code in the level file's palette
};

inline constexpr LegendEntry LEGEND[] = {
    {'.', 0, 0x000000}, // empty
    {'#', 1, 0x3CB043}, // block
    {'S', 2, 0xFFFFFF}, // swan start
    {'s', 3, 0xC8A040}, // seed
    {'H', 4, 0xFF40FF}, // ladder
    {'P', 5, 0xFF3030}, // player start
    {'D', 6, 0x3070FF}, // duck
    {'o', 7, 0xFFFF40}, // egg
    {'|', 8, 0x40E0E0}, // vertical lift
    {'-', 9, 0xFF9020}, // horizontal lift
};

inline constexpr int LEVEL_WIDTH = 40;
inline constexpr int LEVEL_MAX_ROWS = 25;
inline constexpr int LEVEL_COUNT = 9;

// Set by the fuzz harness: receives the message instead of the exit.
inline void (*asset_fail_hook)(const std::string& message) = nullptr;

[[noreturn]] inline void fail(const fs::path& file, int line, const std::string& what) {
    const std::string message = "mkassets: " + file.string() + (line > 0 ? ":" + std::to_string(line) : "") +
                                ": " + what + "\n";
    if (asset_fail_hook != nullptr) asset_fail_hook(message);
    std::fputs(message.c_str(), stderr);
    std::exit(1);
}

// A source file's lines, each with its 1-based line number, with comment
// lines (starting with '#' followed by a blank or nothing) and blank lines
// dropped, and trailing blanks and carriage returns cut.  Grid lines never
// start with "# ", so a level row of blocks ("####...") is kept.
struct Line {
    int number;
    std::string text;
};

inline std::vector<Line> split_lines(const std::string& all) {
    std::vector<Line> out;
    int number = 0;
    size_t at = 0;
    while (at < all.size()) {
        size_t eol = all.find('\n', at);
        if (eol == std::string::npos) eol = all.size();
        std::string text = all.substr(at, eol - at);
        at = eol + 1;
        number++;
        while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
            text.pop_back();
        if (text.empty()) continue;
        if (text[0] == '#' && (text.size() == 1 || text[1] == ' ')) continue;
        out.push_back({number, text});
    }
    return out;
}

inline std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) fail(file, 0, "cannot open");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// palette.txt: lines "c  RRGGBB  name".
inline std::map<char, uint32_t> parse_palette(const fs::path& file, const std::string& all) {
    std::map<char, uint32_t> palette;
    for (const Line& line : split_lines(all)) {
        const std::string& t = line.text;
        if (t.size() < 8 || t[1] != ' ')
            fail(file, line.number, "expected 'c  RRGGBB  name'");
        size_t at = 1;
        while (at < t.size() && t[at] == ' ') at++;
        const std::string hex = t.substr(at, 6);
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            fail(file, line.number, "colour must be six hex digits RRGGBB");
        if (palette.count(t[0])) fail(file, line.number, std::string("character '") + t[0] + "' defined twice");
        palette[t[0]] = static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    }
    if (!palette.count('.') || palette['.'] != 0xFF00FF)
        fail(file, 0, "'.' must be defined as FF00FF (nothing here)");
    return palette;
}

// A sprite as RGB values, row 0 at the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
};

inline Picture parse_sprite(const fs::path& file, const std::string& all, const SpriteShape& shape,
                            const std::map<char, uint32_t>& palette) {
    const std::vector<Line> lines = split_lines(all);
    Picture p;
    p.width = shape.width;
    p.height = shape.height;
    for (const Line& line : lines) {
        if (static_cast<int>(p.rgb.size()) == shape.width * shape.height)
            fail(file, line.number, "more than " + std::to_string(shape.height) + " rows");
        if (static_cast<int>(line.text.size()) != shape.width)
            fail(file, line.number, "row has " + std::to_string(line.text.size()) + " pixels, expected " +
                                        std::to_string(shape.width));
        for (size_t x = 0; x < line.text.size(); x++) {
            const auto it = palette.find(line.text[x]);
            if (it == palette.end())
                fail(file, line.number, std::string("unknown colour character '") + line.text[x] + "' in column " +
                                            std::to_string(x + 1));
            p.rgb.push_back(it->second);
        }
    }
    if (static_cast<int>(p.rgb.size()) != shape.width * shape.height)
        fail(file, 0, "has " + std::to_string(p.rgb.size() / static_cast<size_t>(shape.width)) + " rows, expected " +
                          std::to_string(shape.height));
    return p;
}

// A level's cell codes, row 0 at the top.
struct Level {
    int height = 0;
    std::vector<uint8_t> codes;
};

inline Level parse_level(const fs::path& file, const std::string& all) {
    Level level;
    for (const Line& line : split_lines(all)) {
        if (static_cast<int>(line.text.size()) != LEVEL_WIDTH)
            fail(file, line.number, "row has " + std::to_string(line.text.size()) + " cells, expected " +
                                        std::to_string(LEVEL_WIDTH));
        if (level.height == LEVEL_MAX_ROWS)
            fail(file, line.number, "more than " + std::to_string(LEVEL_MAX_ROWS) + " rows");
        for (size_t x = 0; x < line.text.size(); x++) {
            int code = -1;
            for (const LegendEntry& e : LEGEND)
                if (e.ch == line.text[x]) code = e.code;
            if (code < 0)
                fail(file, line.number, std::string("unknown cell character '") + line.text[x] + "' in column " +
                                            std::to_string(x + 1));
            level.codes.push_back(static_cast<uint8_t>(code));
        }
        level.height++;
    }
    if (level.height == 0) fail(file, 0, "has no rows");
    return level;
}

inline std::map<char, uint32_t> read_palette(const fs::path& file) { return parse_palette(file, read_text(file)); }
inline Picture read_sprite(const fs::path& file, const SpriteShape& shape, const std::map<char, uint32_t>& palette) {
    return parse_sprite(file, read_text(file), shape, palette);
}
inline Level read_level(const fs::path& file) { return parse_level(file, read_text(file)); }

} // namespace asset_text
