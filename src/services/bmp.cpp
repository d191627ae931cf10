// bmp.cpp -- reading Windows bitmap files into images and pages, and writing
// the work page as a screenshot.
//
// The reader takes every common header (12, 40, 56, 108 and 124 bytes), bit
// depths 1, 4, 8, 16, 24 and 32, bit-field masks, palettes and both row
// orders, and clips the picture to the target.  It trusts nothing in the file:
// all sizes and offsets are computed in 64 bits, every read is checked against
// the end of the data, and it never holds more than one bounded chunk of a row
// at a time, so a file that claims a huge picture costs nothing beyond what the
// target can hold.  The same reader runs over a file or over bytes in memory.
//
// The writer writes the file whole or not at all (file_write_begin in
// system.h): a failed screenshot leaves the previous one intact and no
// temporary file behind.

#include "services/bmp.h"

#include "port/system.h"
#include "port/datadir.h"
#include "services/fatal.h"
#include "services/image.h"
#include "services/screen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int MAX_PATH_CHARS = 4096;

// --- where the bytes come from ---------------------------------------------

struct Source {
    const uint8_t* memory = nullptr; // bytes in memory, or
    FILE* file = nullptr;            // an open file
    uint64_t size = 0;

    // Points at n bytes from offset (copied into buf for a file, which must
    // hold n bytes); null when they are not all there.
    const uint8_t* view(uint64_t offset, size_t n, uint8_t* buf) const {
        if (offset > size || n > size - offset) return nullptr;
        if (memory) return memory + offset;
        if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return nullptr;
        if (std::fread(buf, 1, n, file) != n) return nullptr;
        return buf;
    }
};

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// --- colour channels ---------------------------------------------------------

// One channel taken from a pixel value by its mask and widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0; // position of the mask's lowest bit
    int bits = 0;  // from the lowest to the highest bit of the mask

    void set(uint32_t m) {
        mask = m;
        shift = 0;
        bits = 0;
        if (m == 0) return;
        while (!(m & 1u)) {
            m >>= 1;
            ++shift;
        }
        while (m != 0) {
            m >>= 1;
            ++bits;
        }
    }

    uint32_t get(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return (v >> (bits - 8)) & 0xFFu;
        // Fewer than 8 bits: move to the top and repeat the top bits below.
        uint32_t r = v << (8 - bits);
        for (int s = 8 - 2 * bits; s > -bits; s -= bits) r |= s >= 0 ? v << s : v >> -s;
        return r & 0xFFu;
    }
};

struct Format {
    int bits_per_pixel = 0;
    uint32_t palette[256] = {};
    Channel red, green, blue, alpha;
    bool alpha_opaque = false; // 16- and 24-bit files: alpha 0xFF
};

// Converts n pixels of one stored row, starting at a byte boundary.
void convert_run(const Format& f, const uint8_t* src, int n, uint32_t* dst) {
    switch (f.bits_per_pixel) {
    case 1:
        for (int i = 0; i < n; ++i) dst[i] = f.palette[(src[i >> 3] >> (7 - (i & 7))) & 1];
        return;
    case 4:
        for (int i = 0; i < n; ++i) dst[i] = f.palette[(src[i >> 1] >> ((i & 1) ? 0 : 4)) & 15];
        return;
    case 8:
        for (int i = 0; i < n; ++i) dst[i] = f.palette[src[i]];
        return;
    default:
        break;
    }
    const int bytes = f.bits_per_pixel / 8;
    for (int i = 0; i < n; ++i) {
        const uint8_t* p = src + i * bytes;
        uint32_t v = p[0] | static_cast<uint32_t>(p[1]) << 8;
        if (bytes >= 3) v |= static_cast<uint32_t>(p[2]) << 16;
        if (bytes == 4) v |= static_cast<uint32_t>(p[3]) << 24;
        const uint32_t a = f.alpha_opaque ? 0xFFu : f.alpha.get(v);
        dst[i] = a << 24 | f.red.get(v) << 16 | f.green.get(v) << 8 | f.blue.get(v);
    }
}

// Pixels converted per step: keeps the buffers small and, for packed depths,
// every step starting on a byte boundary.
constexpr int CHUNK_PIXELS = 1024;

int load_from(const Source& src, Image* target) {
    if (!screen_is_open()) return ERR_ILLEGAL_CALL;
    if (target == nullptr) target = work_page();
    if (target == nullptr || target->bytes_per_pixel != 4 || target->pixels == nullptr ||
        target->width <= 0 || target->height <= 0)
        return ERR_ILLEGAL_CALL;

    uint8_t buf[64];
    const uint8_t* p = src.view(0, 1, buf);
    if (p == nullptr || p[0] != 'B') return ERR_FILE_IO;

    // File header and the size of the info header.
    p = src.view(0, 18, buf);
    if (p == nullptr) return ERR_FILE_IO;
    const uint16_t type = get16(p);
    const uint32_t data_offset = get32(p + 10);
    const uint32_t header_size = get32(p + 14);
    if (header_size != 12 && header_size != 40 && header_size != 56 && header_size != 108 &&
        header_size != 124)
        return ERR_FILE_IO;

    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t bpp = 0;
    uint32_t compression = 0;
    bool header_masks = false;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (header_size == 12) {
        p = src.view(14, 12, buf);
        if (p == nullptr) return ERR_FILE_IO;
        width = get16(p + 4);
        height = get16(p + 6);
        planes = get16(p + 8);
        bpp = get16(p + 10);
    } else {
        const size_t n = header_size == 40 ? 40 : 56;
        p = src.view(14, n, buf);
        if (p == nullptr) return ERR_FILE_IO;
        width = static_cast<int32_t>(get32(p + 4));
        height = static_cast<int32_t>(get32(p + 8));
        planes = get16(p + 12);
        bpp = get16(p + 14);
        compression = get32(p + 16);
        if (n == 56) {
            header_masks = true;
            for (int i = 0; i < 4; ++i) masks[i] = get32(p + 40 + 4 * i);
        }
    }

    if (type != 0x4D42 || planes > 1 || width <= 0 || height == 0 || compression > 3)
        return ERR_FILE_IO;
    const bool top_down = height < 0;
    if (top_down && compression != 0 && compression != 3) return ERR_FILE_IO;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return ERR_FILE_IO;
    const int64_t rows = top_down ? -height : height;

    Format f;
    f.bits_per_pixel = static_cast<int>(bpp);
    const uint64_t after_header = 14 + uint64_t{header_size};
    if (bpp <= 8) {
        // The palette: 1 << bpp entries of blue, green, red (and one spare byte).
        const int entries = 1 << bpp;
        const size_t entry_size = header_size == 12 ? 3 : 4;
        uint8_t pal[256 * 4];
        p = src.view(after_header, entries * entry_size, pal);
        if (p == nullptr) return ERR_FILE_IO;
        for (int i = 0; i < entries; ++i) {
            const uint8_t* e = p + i * entry_size;
            f.palette[i] = 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
        }
    } else {
        if (compression == 3) {
            if (!header_masks) {
                p = src.view(after_header, 12, buf);
                if (p == nullptr) return ERR_FILE_IO;
                for (int i = 0; i < 3; ++i) masks[i] = get32(p + 4 * i);
                masks[3] = 0;
            }
        } else if (bpp == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
            masks[3] = 0;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0xFF00;
            masks[2] = 0xFF;
            masks[3] = 0xFF000000u;
        }
        f.red.set(masks[0]);
        f.green.set(masks[1]);
        f.blue.set(masks[2]);
        f.alpha.set(bpp == 32 ? masks[3] : 0);
        f.alpha_opaque = bpp != 32;
    }

    // Rows of stride bytes from the pixel data offset; how many are there?
    const int64_t stride = (width * bpp + 31) / 32 * 4;
    const uint64_t available =
        data_offset > src.size ? 0 : (src.size - data_offset) / static_cast<uint64_t>(stride);
    const int target_w = static_cast<int>(std::min<int64_t>(width, target->width));
    const int target_h = static_cast<int>(std::min<int64_t>(rows, target->height));

    // Only the stored rows that land on the target are converted: file row i
    // is picture row i (top-down) or rows - 1 - i (bottom-up).
    const int64_t first = top_down ? 0 : rows - target_h;
    const int64_t last = top_down ? target_h - 1 : rows - 1;
    const int64_t rows_there =
        available > static_cast<uint64_t>(rows) ? rows : static_cast<int64_t>(available);
    const int64_t last_read = std::min(last, rows_there - 1);

    uint8_t chunk[CHUNK_PIXELS * 4];
    int dirty_top = target_h;
    int dirty_bottom = -1;
    lock_screen();
    if (is_page_image(target)) settle_page_image(target); // rows not read may keep what it had
    for (int64_t i = first; i <= last_read; ++i) {
        const int y = static_cast<int>(top_down ? i : rows - 1 - i);
        uint32_t* out = target->row(y);
        const uint64_t row_start = data_offset + static_cast<uint64_t>(i) * stride;
        for (int x = 0; x < target_w; x += CHUNK_PIXELS) {
            const int n = std::min(CHUNK_PIXELS, target_w - x);
            const uint64_t at = row_start + static_cast<uint64_t>(x) * bpp / 8;
            const size_t bytes = (static_cast<size_t>(n) * bpp + 7) / 8;
            const uint8_t* s = src.view(at, bytes, chunk);
            if (s == nullptr) { // the file changed under us: stop here
                image_changed(target); // the rows read so far are new
                if (target == visible_page()) mark_visible_dirty(dirty_top, dirty_bottom);
                unlock_screen(1, 0);
                return ERR_FILE_IO;
            }
            convert_run(f, s, n, out + x);
        }
        dirty_top = std::min(dirty_top, y);
        dirty_bottom = std::max(dirty_bottom, y);
    }
    image_changed(target); // put_image's row kinds follow the new pixels
    if (target == visible_page()) mark_visible_dirty(dirty_top, dirty_bottom);
    unlock_screen(1, 0);
    return available < static_cast<uint64_t>(rows) ? ERR_FILE_IO : ERR_NONE;
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

} // namespace

void native_path(const char* path, char* out, int size) {
    if (out == nullptr || size <= 0) return;
    int i = 0;
    if (path != nullptr)
        for (; i < size - 1 && path[i] != '\0'; ++i) out[i] = path[i] == '\\' ? '/' : path[i];
    out[i] = '\0';
}

int load_bitmap_from_memory(const uint8_t* data, size_t size, Image* target) {
    Source src;
    src.memory = data;
    src.size = data ? size : 0;
    return load_from(src, target);
}

static_assert(GAME_PATH_CHARS >= DATA_DIR_CHARS + 64, "a game file's path fits whatever the data folder");

int open_game_file(const char* game_path, char* path, int size, std::FILE** file) {
    *file = nullptr;
    if (const int err = data_file_path(game_path, path, size); err != ERR_NONE) return err;
    *file = std::fopen(path, "rb");
    return *file != nullptr ? ERR_NONE : ERR_FILE_NOT_FOUND;
}

int load_bitmap(const char* path, Image* target) {
    if (!screen_is_open()) return ERR_ILLEGAL_CALL;
    if (path == nullptr || std::strlen(path) >= MAX_PATH_CHARS) return ERR_FILE_NOT_FOUND;
    // Game paths are relative to the data folder chosen at start-up.
    char name[MAX_PATH_CHARS];
    if (data_file_path(path, name, sizeof name) != ERR_NONE) return ERR_FILE_NOT_FOUND;
    FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return ERR_FILE_NOT_FOUND;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        return ERR_FILE_NOT_FOUND;
    }
    Source src;
    src.file = file;
    src.size = static_cast<uint64_t>(st.st_size);
    const int err = load_from(src, target);
    std::fclose(file);
    return err;
}

namespace {

// save_bitmap and save_bitmap_new: the page into a temporary file beside
// path, then moved to path (over what is there, or only where nothing is).
int write_page(const char* path, bool replace) {
    if (!screen_is_open()) return ERR_ILLEGAL_CALL;
    if (path == nullptr || std::strlen(path) >= MAX_PATH_CHARS) return ERR_FILE_NOT_FOUND;
    char name[MAX_PATH_CHARS];
    // Whatever the extension, the screenshot is a BMP (the game writes no other format).
    native_path(path, name, sizeof name);
    static FileWrite shot; // the game thread's alone, as the row below
    const int fd = file_write_begin(&shot, name, 0644);
    if (fd < 0) return ERR_FILE_NOT_FOUND;
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        file_write_abort(&shot);
        return ERR_FILE_NOT_FOUND;
    }

    const Image* page = work_page();
    const uint32_t w = static_cast<uint32_t>(page->width);
    const uint32_t h = static_cast<uint32_t>(page->height);
    const uint32_t image_bytes = w * h * 4;
    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, 54 + image_bytes);
    put32(header + 10, 54);
    put32(header + 14, 40);
    put32(header + 18, w);
    put32(header + 22, h);
    put16(header + 26, 1);
    put16(header + 28, 32);
    put32(header + 30, 0);
    put32(header + 34, image_bytes);
    put32(header + 38, 2834);
    put32(header + 42, 2834);

    // Pixels are little-endian words in memory, which is the file's byte order.
    // Every pixel is written opaque: the page's alpha byte is the drawing's
    // own business (a transparent blit clears it), and a viewer that reads
    // it would show the sprites as holes.
    static_assert(std::endian::native == std::endian::little);
    static uint32_t row[SCREEN_WIDTH];
    bool ok = w <= SCREEN_WIDTH && std::fwrite(header, 1, sizeof header, file) == sizeof header;
    for (int y = page->height - 1; ok && y >= 0; --y) {
        const uint32_t* p = page->row(y);
        for (uint32_t x = 0; x < w; ++x) row[x] = p[x] | 0xFF000000u;
        ok = std::fwrite(row, 4, w, file) == w;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        file_write_abort(&shot);
        return ERR_FILE_IO;
    }
    return file_write_commit(&shot, replace ? FILE_COMMIT_REPLACE : FILE_COMMIT_NEW) ? ERR_NONE : ERR_FILE_NOT_FOUND;
}

} // namespace

int save_bitmap(const char* path) { return write_page(path, true); }

int save_bitmap_new(const char* path) { return write_page(path, false); }
