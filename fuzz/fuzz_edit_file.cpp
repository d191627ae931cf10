// fuzz_edit_file.cpp -- libFuzzer harness for the level editor's reader of
// level files: any bytes open or are refused with a one-line reason, leaving
// the level being edited as it was; bytes that open save back to the very
// same bytes, and every cell is the byte the game reads for it.
#include "fuzz_seam.h"

#include "editor/edit_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t u32(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

unsigned char saved[EDIT_FILE_MAX_BYTES];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    static bool started = false;
    if (!started) {
        EDIT_FILE_NEW(15);
        started = true;
    }
    const EditLevel before = edit_level;
    const int n = size < size_t{EDIT_FILE_MAX_BYTES + 16} ? static_cast<int>(size) : EDIT_FILE_MAX_BYTES + 16;
    char why[EDIT_FILE_WHY_CHARS] = "";
    if (!EDIT_FILE_OPEN_BYTES(data, n, why, sizeof why)) {
        if (why[0] == '\0' || std::strchr(why, '\n') != nullptr) std::abort();
        if (std::memcmp(&before, &edit_level, sizeof before) != 0) std::abort();
        return 0;
    }
    if (EDIT_FILE_BYTES(saved, sizeof saved) != n || std::memcmp(saved, data, static_cast<size_t>(n)) != 0) std::abort();
    const int h = edit_level.height;
    const uint32_t offset = u32(data + 10);
    for (int row = 0; row < h; row++)
        for (int col = 0; col < EDIT_WIDTH; col++)
            if (edit_level.cell[row * EDIT_WIDTH + col] != data[offset + static_cast<uint32_t>((h - 1 - row) * EDIT_WIDTH + col)])
                std::abort();
    return 0;
}
