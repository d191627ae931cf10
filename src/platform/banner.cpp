// banner.cpp -- the message over the picture (banner.h).
#include "platform/banner.h"

#include "services/text.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kBandTop = kHeight - 40, kBandRows = 28;

std::mutex g_mx;
char g_text[BANNER_CHARS] = "";
long long g_until = 0;
unsigned g_serial = 0; // counts the banners set

} // namespace

void banner_set(const char* text, long long now_ms) {
    if (text == nullptr) return;
    const size_t n = std::strlen(text), room = BANNER_CHARS - 1;
    std::lock_guard<std::mutex> lock(g_mx);
    // A long path keeps its end, the file's name.
    if (n <= room) std::snprintf(g_text, sizeof g_text, "%s", text);
    else std::snprintf(g_text, sizeof g_text, "...%s", text + n - (room - 3));
    g_until = now_ms + BANNER_MS;
    ++g_serial;
}

unsigned banner_current(char* out, long long now_ms) {
    std::lock_guard<std::mutex> lock(g_mx);
    const bool on = g_text[0] != '\0' && now_ms < g_until;
    std::snprintf(out, BANNER_CHARS, "%s", on ? g_text : "");
    return g_serial * 2 + (on ? 1 : 0);
}

long long banner_clock_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void banner_draw(uint32_t* pixels, int pitch, const char* text, bool over_picture) {
    if (!over_picture)
        for (int y = 0; y < kHeight; ++y) std::memset(pixels + static_cast<long>(y) * pitch, 0, kWidth * 4);
    const int n = static_cast<int>(std::strlen(text));
    if (n == 0) return;
    const int x0 = (kWidth - 8 * n) / 2;
    const int left = x0 - 8 < 0 ? 0 : x0 - 8, right = x0 + 8 * n + 8 > kWidth ? kWidth : x0 + 8 * n + 8;
    for (int y = kBandTop; y < kBandTop + kBandRows; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * pitch;
        for (int x = left; x < right; ++x)
            // The picture shows through, dimmed as under the pause overlay.
            row[x] = over_picture ? 0xFF000000u | ((row[x] >> 2) & 0x003F3F3Fu) : 0xA0000000u;
    }
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(text[i]));
        for (int r = 0; r < 16; ++r) {
            uint32_t* row = pixels + static_cast<long>(kBandTop + 6 + r) * pitch;
            for (int bit = 0; bit < 8; ++bit)
                if (glyph[r] & (0x80 >> bit)) row[x0 + 8 * i + bit] = 0xFFFFFFFFu;
        }
    }
}
