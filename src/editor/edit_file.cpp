// edit_file.cpp -- reading and writing the editor's level files (edit_file.h).
#include "editor/edit_file.h"

#include "port/system.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

static constexpr const char MODULE_NAME[] = "edit";

unsigned char edit_file_bytes[EDIT_FILE_MAX_BYTES];
int edit_file_size = 0;
int edit_file_offset = 0;
int edit_file_height = 0;
unsigned edit_file_changes = 0;

namespace {

// The colours of the level legend (assets/README.md), by cell code; the
// other entries of the game's palette are dark grey.
constexpr unsigned LEGEND_RGB[] = {0x000000, 0x3CB043, 0xFFFFFF, 0xC8A040, 0xFF40FF,
                                   0xFF3030, 0x3070FF, 0xFFFF40, 0x40E0E0, 0xFF9020};
constexpr unsigned UNUSED_RGB = 0x202020;
constexpr int HIGHEST_CODE = 10; // the codes the game knows (LEVEL_FILE_CHECK)

// Where one read is put before it is checked, so a refused file changes nothing.
unsigned char scratch[EDIT_FILE_MAX_BYTES + 1];
unsigned char saved[EDIT_FILE_MAX_BYTES];

unsigned get16(const unsigned char* p) { return p[0] | static_cast<unsigned>(p[1]) << 8; }
unsigned get32(const unsigned char* p) { return get16(p) | get16(p + 2) << 16; }
void put16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, unsigned v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

// Checks size bytes as a level file and takes its cells into the editor.
bool take(const unsigned char* b, long size, const char* name, char* why, int why_size) {
    const size_t n = static_cast<size_t>(why_size);
    if (size > EDIT_FILE_MAX_BYTES) {
        std::snprintf(why, n, "%s is larger than %d KB: not a level file", name, EDIT_FILE_MAX_BYTES / 1024);
        return false;
    }
    if (size < EDIT_FILE_HEADER || b[0] != 'B' || b[1] != 'M') {
        std::snprintf(why, n, "%s is not a BMP file", name);
        return false;
    }
    const unsigned header = get32(b + 14), offset = get32(b + 10), bits = get16(b + 28), packing = get32(b + 30);
    const int w = static_cast<int>(get32(b + 18)), h = static_cast<int>(get32(b + 22));
    if (header < 40 || header > 124) {
        std::snprintf(why, n, "%s has a BMP header the game does not read (%u bytes)", name, header);
        return false;
    }
    if (bits != 8) {
        std::snprintf(why, n, "%s is not an 8-bit BMP file (%u bits a pixel)", name, bits);
        return false;
    }
    if (packing != 0) {
        std::snprintf(why, n, "%s is compressed: a level file stores its cells whole", name);
        return false;
    }
    if (w != EDIT_WIDTH) {
        std::snprintf(why, n, "%s is %d cells wide: the editor takes levels %d wide", name, w, EDIT_WIDTH);
        return false;
    }
    if (h < EDIT_MIN_HEIGHT || h > EDIT_MAX_HEIGHT) {
        std::snprintf(why, n, "%s has %d rows: the editor takes %d to %d", name, h, EDIT_MIN_HEIGHT, EDIT_MAX_HEIGHT);
        return false;
    }
    const long cells = static_cast<long>(w) * h;
    if (offset < 14 + header || offset > static_cast<unsigned>(size) || cells > size - static_cast<long>(offset)) {
        std::snprintf(why, n, "%s ends before its %d x %d cells", name, w, h);
        return false;
    }
    // Rows bottom up, as the game reads them.
    unsigned char grid[EDIT_CELLS];
    for (int row = 0; row < h; row++) {
        const unsigned char* from = b + offset + static_cast<long>(h - 1 - row) * w;
        for (int col = 0; col < w; col++) {
            if (from[col] > HIGHEST_CODE) {
                std::snprintf(why, n, "%s: cell (%d, %d) holds %d, which is no cell the game knows", name, col, row,
                              from[col]);
                return false;
            }
            grid[row * w + col] = from[col];
        }
    }
    if (!EDIT_OPEN(grid, w, h)) {
        std::snprintf(why, n, "%s cannot be edited", name);
        return false;
    }
    std::memmove(edit_file_bytes, b, static_cast<size_t>(size));
    edit_file_size = static_cast<int>(size);
    edit_file_offset = static_cast<int>(offset);
    edit_file_height = h;
    edit_file_changes = edit_changes;
    return true;
}

// The game's layout for the level as it stands, palette entries taken from
// the file kept where it has them.
int game_layout(unsigned char* out, int cap) {
    const int h = edit_level.height;
    const int cells = EDIT_WIDTH * h;
    const int offset = EDIT_FILE_HEADER + 4 * EDIT_FILE_COLOURS;
    if (cap < offset + cells) return 0;
    std::memset(out, 0, static_cast<size_t>(offset));
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, static_cast<unsigned>(offset + cells));
    put32(out + 10, offset);
    put32(out + 14, 40);
    put32(out + 18, EDIT_WIDTH);
    put32(out + 22, static_cast<unsigned>(h));
    put16(out + 26, 1);
    put16(out + 28, 8);
    put32(out + 34, static_cast<unsigned>(cells));
    put32(out + 38, 2834); // 72 dots per inch
    put32(out + 42, 2834);
    put32(out + 46, EDIT_FILE_COLOURS);
    // The palette of the file kept: from the end of its info header to its cells.
    int kept = 0;
    const unsigned char* palette = nullptr;
    if (edit_file_size > 0) {
        const int start = 14 + static_cast<int>(get32(edit_file_bytes + 14));
        kept = (edit_file_offset - start) / 4;
        kept = kept < 0 ? 0 : kept > EDIT_FILE_COLOURS ? EDIT_FILE_COLOURS : kept;
        palette = edit_file_bytes + start;
    }
    for (int i = 0; i < EDIT_FILE_COLOURS; i++) {
        const unsigned rgb = i < kept ? get32(palette + 4 * i) & 0xFFFFFF
                             : i < static_cast<int>(sizeof LEGEND_RGB / sizeof LEGEND_RGB[0]) ? LEGEND_RGB[i]
                                                                                                  : UNUSED_RGB;
        put32(out + EDIT_FILE_HEADER + 4 * i, rgb);
    }
    for (int row = 0; row < h; row++) // bottom row first
        std::memcpy(out + offset + (h - 1 - row) * EDIT_WIDTH, edit_level.cell + row * EDIT_WIDTH, EDIT_WIDTH);
    return offset + cells;
}

} // namespace

void EDIT_FILE_NEW(int h) {
    PROC("EDIT_FILE_NEW");
    EDIT_NEW(h);
    edit_file_size = 0;
    edit_file_offset = 0;
    edit_file_height = 0;
    edit_file_changes = edit_changes;
}

bool EDIT_FILE_OPEN_BYTES(const unsigned char* data, int size, char* why, int why_size) {
    PROC("EDIT_FILE_OPEN_BYTES");
    if (data == nullptr || size < 0) size = 0;
    const long n = size > EDIT_FILE_MAX_BYTES ? EDIT_FILE_MAX_BYTES + 1 : size;
    if (n > 0) std::memcpy(scratch, data, static_cast<size_t>(n));
    return take(scratch, size, "the level file", why, why_size);
}

bool EDIT_FILE_OPEN(const char* path, char* why, int why_size) {
    PROC("EDIT_FILE_OPEN");
    const int fd = file_open_read(path);
    if (fd < 0) {
        std::snprintf(why, static_cast<size_t>(why_size), "cannot read %s: %s", path, std::strerror(errno));
        return false;
    }
    long got = 0;
    for (;;) {
        const ssize_t r = ::read(fd, scratch + got, sizeof scratch - static_cast<size_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            const int e = errno;
            ::close(fd);
            std::snprintf(why, static_cast<size_t>(why_size), "cannot read %s: %s", path, std::strerror(e));
            return false;
        }
        if (r == 0 || got + r >= static_cast<long>(sizeof scratch)) {
            got += r;
            break;
        }
        got += r;
    }
    ::close(fd);
    return take(scratch, got, path, why, why_size);
}

int EDIT_FILE_BYTES(unsigned char* out, int cap) {
    PROC("EDIT_FILE_BYTES");
    const int h = edit_level.height;
    if (edit_file_size == 0 || h != edit_file_height) return game_layout(out, cap);
    if (cap < edit_file_size) return 0;
    std::memcpy(out, edit_file_bytes, static_cast<size_t>(edit_file_size));
    for (int row = 0; row < h; row++)
        std::memcpy(out + edit_file_offset + (h - 1 - row) * EDIT_WIDTH, edit_level.cell + row * EDIT_WIDTH, EDIT_WIDTH);
    return edit_file_size;
}

bool EDIT_FILE_WRITE(const char* path, const unsigned char* bytes, int size, char* why, int why_size) {
    PROC("EDIT_FILE_WRITE");
    const size_t n = static_cast<size_t>(why_size);
    FileWrite w;
    const int fd = file_write_begin(&w, path, 0644);
    if (fd < 0) {
        std::snprintf(why, n, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    long done = 0;
    while (done < size) {
        const ssize_t r = ::write(fd, bytes + done, static_cast<size_t>(size - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    const int e = errno;
    if (::close(fd) != 0 || done < size) {
        std::snprintf(why, n, "cannot write %s: %s", path, std::strerror(done < size ? e : errno));
        file_write_abort(&w);
        return false;
    }
    if (!file_write_commit(&w, FILE_COMMIT_REPLACE)) {
        std::snprintf(why, n, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    return true;
}

bool EDIT_FILE_SAVE(const char* path, char* why, int why_size) {
    PROC("EDIT_FILE_SAVE");
    const bool fresh = edit_file_size == 0 || edit_level.height != edit_file_height;
    const int size = EDIT_FILE_BYTES(saved, sizeof saved);
    if (size == 0) {
        std::snprintf(why, static_cast<size_t>(why_size), "the level does not fit in a level file");
        return false;
    }
    if (!EDIT_FILE_WRITE(path, saved, size, why, why_size)) return false;
    std::memcpy(edit_file_bytes, saved, static_cast<size_t>(size));
    edit_file_size = size;
    if (fresh) edit_file_offset = EDIT_FILE_HEADER + 4 * EDIT_FILE_COLOURS;
    edit_file_height = edit_level.height;
    edit_file_changes = edit_changes;
    return true;
}
