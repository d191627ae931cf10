// test_map_util.h -- helpers shared by the map tests: a tiny 8-bit level
// bitmap writer, a per-test scratch folder to run in, the headless screen,
// and the exact text of a fatal error report.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"
#include "services/screen.h"

namespace maptest {

// Cell code of a level-drawing character:
//   . empty  # block  S swan  $ seed  H ladder  P player  D duck  o egg
//   v vertical lift  h horizontal lift  digits: the code itself (for 10+ use raw bytes)
inline uint8_t code_of(char c) {
    switch (c) {
    case '#': return CELL_BLOCK;
    case 'S': return CELL_SWAN;
    case '$': return CELL_SEED;
    case 'H': return CELL_LADDER;
    case 'P': return CELL_PLAYER;
    case 'D': return CELL_DUCK;
    case 'o': return CELL_EGG;
    case 'v': return CELL_LIFT_V;
    case 'h': return CELL_LIFT_H;
    case 'X': return 11; // not a level code: drawing it is an error
    case 'T': return 10;
    default: return CELL_EMPTY;
    }
}

inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; k++) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// An 8-bit bitmap with the given width and height fields and the cell bytes
// in file order (the first byte is the bottom-left cell), starting at offset
// off_bits (54-byte header, a 256-colour palette, then zero padding).
inline std::vector<uint8_t> level_bmp(int32_t width, int32_t height, const std::vector<uint8_t>& file_cells,
                                      uint32_t off_bits = 54 + 1024) {
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<uint32_t>(off_bits + file_cells.size()));
    put32(out, 0);
    put32(out, off_bits);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    out.push_back(1);
    out.push_back(0); // planes
    out.push_back(8);
    out.push_back(0); // bits per pixel
    for (int k = 0; k < 6; k++) put32(out, k == 4 ? 256 : 0);
    for (int k = 0; k < 256; k++) put32(out, static_cast<uint32_t>(k * 0x010101));
    while (out.size() < off_bits) out.push_back(0);
    out.insert(out.end(), file_cells.begin(), file_cells.end());
    return out;
}

// The bitmap of a level drawn as text rows, top row first.
inline std::vector<uint8_t> grid_bmp(const std::vector<std::string>& rows) {
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(rows[0].size());
    std::vector<uint8_t> file_cells;
    for (int stored = 0; stored < h; stored++)
        for (char c : rows[h - 1 - stored]) file_cells.push_back(code_of(c));
    return level_bmp(w, h, file_cells);
}

// Rows of a w-wide, h-high empty level with the given characters placed.
inline std::vector<std::string> empty_rows(int w, int h) {
    return std::vector<std::string>(h, std::string(w, '.'));
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
}

// Writes levels/<n>.bmp in the current folder.
inline void write_level(int n, const std::vector<uint8_t>& bytes) {
    write_file("levels/" + std::to_string(n) + ".bmp", bytes);
}

inline void write_grid(int n, const std::vector<std::string>& rows) { write_level(n, grid_bmp(rows)); }

// Opens the headless screen once per process.
void ensure_screen();

// Number (from 1) of the first line of a source file under src/ that holds
// needle, or 0.
int source_line(const char* file, const char* needle);

// The exact fatal error report of the map module.
std::string map_report(int number, const char* text, int line, const char* procedure);

// Runs each test in a fresh scratch folder holding an empty levels/ (and
// gfx/ when asked), with a freshly created cell table and a neutral player.
class MapFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string saved_cwd_;
    std::string scratch_;
};

} // namespace maptest
