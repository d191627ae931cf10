// image.cpp -- off-screen images and blitting them onto the work page.
//
// Images are made at start-up and kept for the whole run: each lives in one
// 16-byte aligned block (rows 16-byte aligned too) chained from a module list,
// so nothing is ever freed and nothing is lost.  put_image clips the image
// rectangle to the page once and then works row by row on whole pixels, in
// three modes (transparent, solid, xor), allocating nothing.  An image cannot
// be drawn onto the page it is.
//
// Each image also has one byte per row, set when its pixels are loaded
// (image_changed): whether the row is wholly key colour, has no key pixel, or
// some.  A transparent blit skips the first kind, copies the second like a
// solid one and tests pixel by pixel only the rows that need it.

#include "services/image.h"

#include "services/fatal.h"
#include "services/screen.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// Anything larger than this is refused as "out of memory" before asking the
// system (a sprite is 64 x 64; even a full page is 1.2 MB).
constexpr int64_t MAX_IMAGE_BYTES = int64_t{256} << 20;

// Every image ever made, so they stay reachable for the whole run.
struct ImageBlock {
    Image image;
    uint8_t* kinds; // height bytes, made with the image
    ImageBlock* next;
};
ImageBlock* all_images = nullptr;

// The loop over a blit's rows is also built for AVX2, picked when the
// program starts where the processor has it (GCC on x86-64 Linux): the same
// operations on twice the pixels per instruction.  The row steps are inlined
// into it, so each variant has its own.  Not under ThreadSanitizer: the
// loader runs the picking code before the sanitizer has started, and it
// crashes there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define ROW_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define ROW_LOOP
#endif
#define ROW_STEP inline __attribute__((always_inline))

// One row of a transparent blit.  Blocks of 8 pixels written as selects, not
// branches, so the compiler turns each block into a few vector operations;
// every pixel is still tested once.
ROW_STEP void transparent_row(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) {
            const uint32_t c = s[i + j] & 0x00FFFFFFu;
            const uint32_t old = d[i + j];
            d[i + j] = c != TRANSPARENT_KEY ? c : old;
        }
    for (; i < n; ++i) {
        const uint32_t c = s[i] & 0x00FFFFFFu;
        if (c != TRANSPARENT_KEY) d[i] = c;
    }
}

ROW_STEP void xor_row(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) d[i + j] ^= s[i + j];
    for (; i < n; ++i) d[i] ^= s[i];
}

// The same two rows over a run of the page that still owes its clear: the
// page pixels there are `under`, so they are written without being read.
ROW_STEP void transparent_row_over(const uint32_t* __restrict s, uint32_t* __restrict d, int n, uint32_t under) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) {
            const uint32_t c = s[i + j] & 0x00FFFFFFu;
            d[i + j] = c != TRANSPARENT_KEY ? c : under;
        }
    for (; i < n; ++i) {
        const uint32_t c = s[i] & 0x00FFFFFFu;
        d[i] = c != TRANSPARENT_KEY ? c : under;
    }
}

ROW_STEP void xor_row_over(const uint32_t* __restrict s, uint32_t* __restrict d, int n, uint32_t under) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) d[i + j] = s[i + j] ^ under;
    for (; i < n; ++i) d[i] = s[i] ^ under;
}

ROW_STEP void fill_run(uint32_t* d, int n, uint32_t colour) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) d[i + j] = colour;
    for (; i < n; ++i) d[i] = colour;
}

// A row every pixel of which is written: copied (solid) or copied without
// alpha (transparent, no key pixel), in blocks of 8 pixels; when n is not a
// multiple of 8 the last block overlaps the one before and writes some
// pixels twice, with the same values.
template <bool MASK>
ROW_STEP void opaque_row(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
    constexpr uint32_t keep = MASK ? 0x00FFFFFFu : 0xFFFFFFFFu;
    if (n < 8) {
        for (int i = 0; i < n; ++i) d[i] = s[i] & keep;
        return;
    }
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) d[i + j] = s[i + j] & keep;
    if (i < n)
        for (int j = 0; j < 8; ++j) d[n - 8 + j] = s[n - 8 + j] & keep;
}

// Fills one whole chunk (16 pixels, 64-byte aligned in the page).
ROW_STEP void fill_chunk(uint32_t* d, uint32_t colour) {
    for (int j = 0; j < CLEAR_CHUNK; ++j) d[j] = colour;
}

ROW_STEP void blit_row(const uint32_t* s, uint32_t* d, int n, BlitMode mode) {
    switch (mode) {
    case BLIT_TRANSPARENT: transparent_row(s, d, n); break;
    case BLIT_SOLID: std::memcpy(d, s, static_cast<std::size_t>(n) * 4); break;
    case BLIT_XOR: xor_row(s, d, n); break;
    }
}

ROW_STEP void blit_row_over(const uint32_t* s, uint32_t* d, int n, BlitMode mode, uint32_t under) {
    switch (mode) {
    case BLIT_TRANSPARENT: transparent_row_over(s, d, n, under); break;
    case BLIT_SOLID: std::memcpy(d, s, static_cast<std::size_t>(n) * 4); break;
    case BLIT_XOR: xor_row_over(s, d, n, under); break;
    }
}

// The rows y0 .. y1 - 1 of a clipped blit (image corner at px, py).
// Where a row's chunks still owe the clear, the image is written over the
// clear colour and the rest of those chunks is filled; elsewhere it is drawn
// over what the page holds.  Called by put_image under the lock.
ROW_LOOP void draw_rows(const Image* image, Image* page, BlitMode mode, int px, int py, int x0, int y0,
                        int x1, int y1) {
    // Everything the loop needs is read once: pixel stores could otherwise
    // be taken to change the images' and owed fills' fields.
    DeferredClear* owed = work_deferred_clear();
    uint64_t* const chunks = owed->chunks;
    const bool any_owed = owed->any;
    const uint32_t colour = owed->colour;
    const int n = x1 - x0;
    const uint64_t span = chunk_span(x0, x1);
    const int first_chunk = x0 / CLEAR_CHUNK, last_chunk = (x1 - 1) / CLEAR_CHUNK;
    const uint64_t first_bit = uint64_t{1} << first_chunk, last_bit = uint64_t{1} << last_chunk;
    const long src_pitch = image->pitch / 4, dst_pitch = page->pitch / 4;
    const uint32_t* s = image->row(y0 - py) + (x0 - px);
    uint32_t* row = page->row(y0);
    // Solid rows are all copied; xor rows and unplanned images go pixel by pixel.
    const uint8_t* kinds = mode == BLIT_TRANSPARENT && image->row_kinds ? image->row_kinds + (y0 - py) : nullptr;
    const uint8_t every = mode == BLIT_SOLID ? ROW_OPAQUE : ROW_MIXED;
    for (int yy = y0; yy < y1; ++yy, s += src_pitch, row += dst_pitch) {
        const uint64_t due = any_owed ? chunks[yy] & span : 0;
        const uint8_t kind = kinds ? kinds[yy - y0] : every;
        // Nothing drawn: owed chunks stay owed, as good as filled.
        if (kind == ROW_KEY) continue;
        if (kind == ROW_OPAQUE) {
            // Every pixel of x0 .. x1 - 1 is written: of the owed chunks
            // only the two at the ends need their fill, outside it.  They
            // are filled whole first and the row written over them.
            if (due != 0) {
                chunks[yy] &= ~due;
                if (due & first_bit) fill_chunk(row + first_chunk * CLEAR_CHUNK, colour);
                if (due & last_bit) fill_chunk(row + last_chunk * CLEAR_CHUNK, colour);
            }
            if (mode == BLIT_SOLID) opaque_row<false>(s, row + x0, n);
            else opaque_row<true>(s, row + x0, n);
            continue;
        }
        if (due == 0) {
            blit_row(s, row + x0, n, mode);
            continue;
        }
        chunks[yy] &= ~due;
        if (due == span) {
            // Every chunk owes (the usual case): the end chunks are filled
            // whole and the row written over the clear colour in one go.
            fill_chunk(row + first_chunk * CLEAR_CHUNK, colour);
            fill_chunk(row + last_chunk * CLEAR_CHUNK, colour);
            blit_row_over(s, row + x0, n, mode, colour);
            continue;
        }
        // Runs of neighbouring chunks that all owe or all do not.
        for (int k = first_chunk; k <= last_chunk;) {
            const bool owes = (due >> k) & 1;
            int j = k;
            while (j < last_chunk && static_cast<bool>((due >> (j + 1)) & 1) == owes) j++;
            const int c0 = k * CLEAR_CHUNK, c1 = (j + 1) * CLEAR_CHUNK;
            const int a = x0 > c0 ? x0 : c0, b = x1 < c1 ? x1 : c1;
            if (owes) {
                fill_run(row + c0, a - c0, colour);
                blit_row_over(s + (a - x0), row + a, b - a, mode, colour);
                fill_run(row + b, c1 - b, colour);
            } else {
                blit_row(s + (a - x0), row + a, b - a, mode);
            }
            k = j + 1;
        }
    }
}

} // namespace

Image* create_image(int width, int height, uint32_t fill, int* err) {
    int dummy = 0;
    int& e = err ? *err : dummy;
    e = ERR_NONE;
    if (!screen_is_open() || width <= 0 || height <= 0) {
        e = ERR_ILLEGAL_CALL;
        return nullptr;
    }
    const int64_t pitch = (int64_t{width} * 4 + 15) / 16 * 16;
    // The pitch is tested first: within the limit, pitch x height stays
    // far below 2^63.
    if (pitch > MAX_IMAGE_BYTES || pitch * height > MAX_IMAGE_BYTES) {
        e = ERR_OUT_OF_MEMORY;
        return nullptr;
    }
    const int64_t bytes = pitch * height;
    auto* pixels = static_cast<uint32_t*>(
        ::operator new(static_cast<std::size_t>(bytes), std::align_val_t{16}, std::nothrow));
    auto* block = new (std::nothrow) ImageBlock;
    auto* kinds = new (std::nothrow) uint8_t[static_cast<std::size_t>(height)];
    if (pixels == nullptr || block == nullptr || kinds == nullptr) {
        if (pixels) ::operator delete(pixels, std::align_val_t{16});
        delete block;
        delete[] kinds;
        e = ERR_OUT_OF_MEMORY;
        return nullptr;
    }
    const int64_t words = bytes / 4;
    for (int64_t i = 0; i < words; ++i) pixels[i] = fill;
    block->image.bytes_per_pixel = 4;
    block->image.width = width;
    block->image.height = height;
    block->image.pitch = static_cast<int>(pitch);
    block->image.pixels = pixels;
    block->image.row_kinds = nullptr; // until image_changed
    block->kinds = kinds;
    block->next = all_images;
    all_images = block;
    return &block->image;
}

void image_changed(Image* image) {
    for (ImageBlock* b = all_images; b != nullptr; b = b->next) {
        if (&b->image != image) continue;
        for (int y = 0; y < image->height; ++y) {
            const uint32_t* p = image->row(y);
            int keys = 0;
            for (int x = 0; x < image->width; ++x) keys += (p[x] & 0x00FFFFFFu) == TRANSPARENT_KEY;
            b->kinds[y] = keys == image->width ? ROW_KEY : keys == 0 ? ROW_OPAQUE : ROW_MIXED;
        }
        image->row_kinds = b->kinds;
        return;
    }
}

int put_image(float x, float y, const Image* image, BlitMode mode) {
    if (!screen_is_open() || image == nullptr || image->bytes_per_pixel != 4 ||
        image->pixels == nullptr)
        return ERR_ILLEGAL_CALL;
    if (mode != BLIT_TRANSPARENT && mode != BLIT_SOLID && mode != BLIT_XOR) return ERR_ILLEGAL_CALL;
    lock_screen();
    // A page drawn as an image is read as it stands (its owed work paid).
    Image* page = page_for_drawing();
    if (is_page_image(image)) settle_page_image(image);
    // A page cannot be drawn onto itself (source and target rows would overlap).
    if (image->pixels == page->pixels) {
        unlock_screen(1, 0);
        return ERR_ILLEGAL_CALL;
    }
    if (!pixel_work()) {
        unlock_screen(1, 0);
        return 0;
    }
    const int px = round_coord(x);
    const int py = round_coord(y);
    // Clip the rectangle (px, py) .. (px + w - 1, py + h - 1) to the page.
    const int x0 = px < 0 ? 0 : px;
    const int y0 = py < 0 ? 0 : py;
    const int x1 = px + image->width > page->width ? page->width : px + image->width;
    const int y1 = py + image->height > page->height ? page->height : py + image->height;
    if (x0 >= x1 || y0 >= y1) {
        unlock_screen(1, 0);
        return 0;
    }
    draw_rows(image, page, mode, px, py, x0, y0, x1, y1);
    unlock_screen(y0, y1 - 1);
    return 0;
}
