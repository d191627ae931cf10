// overlay.cpp -- the pause overlay's text and drawing (overlay.h).
#include "platform/overlay.h"

#include "services/text.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kDimBlack = 0xA0000000u;
constexpr uint32_t kYellow = 0xFFFFFF00u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

void put_line(uint32_t* pixels, int pitch, const char* line, int y, uint32_t colour) {
    const int n = static_cast<int>(std::strlen(line));
    const int x0 = (OVERLAY_WIDTH - 8 * n) / 2;
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(line[i]));
        for (int row = 0; row < 16; ++row) {
            if (y + row < 0 || y + row >= OVERLAY_HEIGHT) continue;
            uint32_t* out = pixels + static_cast<long>(y + row) * pitch;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = x0 + 8 * i + bit;
                if (x >= 0 && x < OVERLAY_WIDTH && (glyph[row] & (0x80 >> bit))) out[x] = colour;
            }
        }
    }
}

} // namespace

void overlay_pause_text(OverlayText* out, const char* question, const char* help) {
    *out = OverlayText{};
    // 0xFA is the code page's middle dot.
    std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Paused");
    std::snprintf(out->lines[1], OVERLAY_LINE_CHARS, "%s",
                  help ? help : "P resume \xFA M sound \xFA F11 fullscreen \xFA K keys \xFA Esc quit");
    out->count = 2;
    if (question != nullptr && question[0] != '\0') {
        std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "%s", question);
        out->count = 3;
    }
}

void overlay_draw(uint32_t* pixels, int pitch, const OverlayText& text, bool over_picture) {
    for (int y = 0; y < OVERLAY_HEIGHT; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * pitch;
        for (int x = 0; x < OVERLAY_WIDTH; ++x)
            row[x] = over_picture ? 0xFF000000u | ((row[x] >> 2) & 0x003F3F3Fu) : kDimBlack;
    }
    const int top = OVERLAY_HEIGHT / 2 - 16 * text.count;
    for (int i = 0; i < text.count && i < OVERLAY_MAX_LINES; ++i)
        put_line(pixels, pitch, text.lines[i], top + 32 * i, i == 0 ? kYellow : kWhite);
}
