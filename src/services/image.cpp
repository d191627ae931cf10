// image.cpp -- off-screen images and blitting them onto the work page.
//
// Images are made at start-up and kept for the whole run: each lives in one
// 16-byte aligned block (rows 16-byte aligned too) chained from a module list,
// so nothing is ever freed and nothing is lost.  put_image clips the image
// rectangle to the page once and then works row by row on whole pixels, in
// three modes (transparent, solid, xor), allocating nothing.  An image cannot
// be drawn onto the page it is.

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
    ImageBlock* next;
};
ImageBlock* all_images = nullptr;

// Far outside the page but small enough that x + width never overflows.
constexpr int COORD_LIMIT = 1 << 26;

// One row of a transparent blit.  Blocks of 8 pixels written as selects, not
// branches, so the compiler turns each block into a few vector operations;
// every pixel is still tested once.
void transparent_row(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
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

void xor_row(const uint32_t* __restrict s, uint32_t* __restrict d, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) d[i + j] ^= s[i + j];
    for (; i < n; ++i) d[i] ^= s[i];
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
    if (pixels == nullptr || block == nullptr) {
        if (pixels) ::operator delete(pixels, std::align_val_t{16});
        delete block;
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
    block->next = all_images;
    all_images = block;
    return &block->image;
}

int round_coord(float v) {
    if (std::isnan(v)) return -COORD_LIMIT;
    const double r = std::round(static_cast<double>(v)); // halves away from zero
    if (r < -COORD_LIMIT) return -COORD_LIMIT;
    if (r > COORD_LIMIT) return COORD_LIMIT;
    return static_cast<int>(r);
}

int put_image(float x, float y, const Image* image, BlitMode mode) {
    if (!screen_is_open() || image == nullptr || image->bytes_per_pixel != 4 ||
        image->pixels == nullptr)
        return ERR_ILLEGAL_CALL;
    if (mode != BLIT_TRANSPARENT && mode != BLIT_SOLID && mode != BLIT_XOR) return ERR_ILLEGAL_CALL;
    // A page cannot be drawn onto itself (source and target rows would overlap).
    if (image->pixels == work_page()->pixels) return ERR_ILLEGAL_CALL;
    if (!pixel_work()) return 0;
    const int px = round_coord(x);
    const int py = round_coord(y);
    Image* page = work_page();
    // Clip the rectangle (px, py) .. (px + w - 1, py + h - 1) to the page.
    const int x0 = px < 0 ? 0 : px;
    const int y0 = py < 0 ? 0 : py;
    const int x1 = px + image->width > page->width ? page->width : px + image->width;
    const int y1 = py + image->height > page->height ? page->height : py + image->height;
    if (x0 >= x1 || y0 >= y1) return 0;
    const int n = x1 - x0;
    const int sx = x0 - px;

    lock_screen();
    for (int yy = y0; yy < y1; ++yy) {
        const uint32_t* s = image->row(yy - py) + sx;
        uint32_t* d = page->row(yy) + x0;
        switch (mode) {
        case BLIT_TRANSPARENT:
            transparent_row(s, d, n);
            break;
        case BLIT_SOLID:
            std::memcpy(d, s, static_cast<std::size_t>(n) * 4);
            break;
        case BLIT_XOR:
            xor_row(s, d, n);
            break;
        }
    }
    unlock_screen(y0, y1 - 1);
    return 0;
}
