// bmp_write.cpp -- the tools' BMP writer (bmp_write.h).
#include "bmp_write.h"

#include "port/system.h"

#include <cstdio>
#include <unistd.h>

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// The 14-byte file header and 40-byte info header of a bottom-up bitmap and
// its palette (colours entries).
std::vector<uint8_t> headers(int width, int height, int bits, uint32_t compression, const uint32_t* palette,
                             int colours, uint32_t image_bytes) {
    const uint32_t offset = 54 + 4 * static_cast<uint32_t>(colours);
    std::vector<uint8_t> b;
    b.reserve(offset + image_bytes);
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + image_bytes);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<uint32_t>(width));
    put32(b, static_cast<uint32_t>(height)); // positive: rows stored bottom-up
    put16(b, 1);
    put16(b, static_cast<uint32_t>(bits));
    put32(b, compression);
    put32(b, image_bytes);
    put32(b, 2834); // 72 dots per inch
    put32(b, 2834);
    put32(b, static_cast<uint32_t>(colours));
    put32(b, 0);
    for (int i = 0; i < colours; i++) put32(b, palette[i] & 0xFFFFFF);
    return b;
}

uint32_t row_bytes(int width, int bytes_per_pixel) {
    return static_cast<uint32_t>((width * bytes_per_pixel + 3) / 4 * 4);
}

} // namespace

std::vector<uint8_t> bmp_rgb24(int width, int height, const uint32_t* rgb) {
    const uint32_t stride = row_bytes(width, 3);
    std::vector<uint8_t> b = headers(width, height, 24, 0, nullptr, 0, stride * static_cast<uint32_t>(height));
    for (int y = height - 1; y >= 0; y--) {
        const uint32_t* row = rgb + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; x++) {
            b.push_back(row[x] & 0xFF);
            b.push_back((row[x] >> 8) & 0xFF);
            b.push_back((row[x] >> 16) & 0xFF);
        }
        for (uint32_t pad = static_cast<uint32_t>(width * 3); pad < stride; pad++) b.push_back(0);
    }
    return b;
}

std::vector<uint8_t> bmp_indexed8(int width, int height, const uint8_t* index, const uint32_t* palette,
                                  int colours, bool rle) {
    std::vector<uint8_t> data;
    for (int y = height - 1; y >= 0; y--) { // bottom row first
        const uint8_t* row = index + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (!rle) {
            data.insert(data.end(), row, row + width);
            data.resize(data.size() + (row_bytes(width, 1) - static_cast<uint32_t>(width)), 0);
            continue;
        }
        for (int x = 0; x < width;) {
            int n = 1;
            while (x + n < width && n < 255 && row[x + n] == row[x]) n++;
            data.push_back(static_cast<uint8_t>(n));
            data.push_back(row[x]);
            x += n;
        }
        data.push_back(0);
        data.push_back(y == 0 ? 1 : 0); // end of line, or of the picture
    }
    std::vector<uint8_t> b =
        headers(width, height, 8, rle ? 1 : 0, palette, colours, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FileWrite w;
    const int fd = file_write_begin(&w, path.c_str(), 0644);
    if (fd < 0) return false;
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        ::close(fd);
        file_write_abort(&w);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) {
        file_write_abort(&w);
        return false;
    }
    return file_write_commit(&w, FILE_COMMIT_REPLACE);
}
