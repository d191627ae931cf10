// image.h -- off-screen images and blitting them onto the work page.
#pragma once

#include <cmath>
#include <cstdint>

// An off-screen rectangle of 32-bit pixels.  The pitch is the width x 4
// rounded up to a multiple of 16 bytes; rows run top to bottom and start on
// 16-byte boundaries.  An image never changes size after creation.
struct Image {
    int bytes_per_pixel; // 4
    int width;
    int height;
    int pitch;           // bytes from one row to the next
    uint32_t* pixels;    // height x pitch bytes
    // How a transparent blit makes each row (ROW_KEY, ROW_OPAQUE, ROW_MIXED),
    // decided by image_changed; null until then, and for the pages: then
    // every pixel is tested.
    const uint8_t* row_kinds;

    uint32_t* row(int y) { return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + static_cast<long>(y) * pitch); }
    const uint32_t* row(int y) const { return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) + static_cast<long>(y) * pitch); }
};

enum BlitMode { BLIT_TRANSPARENT, BLIT_SOLID, BLIT_XOR };

// Row kinds: every pixel the key colour, none of them, or some.
enum RowKind : uint8_t { ROW_KEY, ROW_OPAQUE, ROW_MIXED };

// A new image with every pixel word, row padding included, set to fill.
// Returns null and sets *err to 1 if no screen is open or a size is not
// positive, 4 if memory runs out; *err is 0 on success.  Images live for the
// whole run.  Called at start-up by every module that draws sprites.
Image* create_image(int width, int height, uint32_t fill, int* err = nullptr);

// Decides again how put_image makes each row of an image made by
// create_image, from its pixels as they are now; pages and null are ignored.
// load_bitmap calls it after writing an image; whoever writes an image's
// pixels directly afterwards must call it too before drawing the image (an
// image never passed here is drawn pixel by pixel, which is always right).
// Called by load_bitmap and tests.
void image_changed(Image* image);

// Draws the whole image with its top-left corner at (x, y), rounded half away
// from zero, clipped to the page.  Error 1 if no screen is open, the image
// is null, its mode unknown, or it is the work page itself.  transparent: skips pixels whose low 24 bits are 0xFF00FF and
// writes the others with alpha 0; solid: copies; xor: page ^= image.
int put_image(float x, float y, const Image* image, BlitMode mode);

// Rounds a coordinate to the nearest integer, halves away from zero, and
// clamps it far outside the page so later arithmetic cannot overflow.
// Inline: every drawing call rounds its corners.
inline int round_coord(float v) {
    constexpr int COORD_LIMIT = 1 << 26; // far outside the page, x + width cannot overflow
    if (std::isnan(v)) return -COORD_LIMIT;
    // Below 2^23 the integer part and the fraction are exact floats, so the
    // halves are found without a call (the common case: whole numbers).
    if (v > -8388608.0f && v < 8388608.0f) {
        const int whole = static_cast<int>(v); // towards zero
        const float frac = v - static_cast<float>(whole);
        return frac >= 0.5f ? whole + 1 : frac <= -0.5f ? whole - 1 : whole;
    }
    const double r = std::round(static_cast<double>(v)); // halves away from zero
    if (r < -COORD_LIMIT) return -COORD_LIMIT;
    if (r > COORD_LIMIT) return COORD_LIMIT;
    return static_cast<int>(r);
}
