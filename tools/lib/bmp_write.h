// bmp_write.h -- the tools' one BMP writer: bottom-up Windows bitmaps built in
// memory (24-bit colour, or 8-bit palette indices stored whole or run-length
// coded), and the one whole-file write the tools share.  mkassets writes the
// game's sprites and levels with it, contact_sheet its sheets, difficulty its
// plot.  (The game's own page writer is save_bitmap, services/bmp.h.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A 24-bit bitmap of width x height pixels given as 0xRRGGBB, top row first.
std::vector<uint8_t> bmp_rgb24(int width, int height, const uint32_t* rgb);

// An 8-bit bitmap of width x height palette indices, top row first, with a
// palette of `colours` entries (0xRRGGBB; the header says that many are
// used).  With rle the rows are coded as runs of at most 255 (BI_RLE8, a
// repeat count and an index per run), else stored whole.
std::vector<uint8_t> bmp_indexed8(int width, int height, const uint8_t* index, const uint32_t* palette,
                                  int colours, bool rle);

// Writes bytes to path whole or not at all (file_write_begin, port/system.h):
// false when it cannot, whatever was at path left as it was.
bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
