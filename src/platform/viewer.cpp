// viewer.cpp -- watching a recording: its controls and progress line (viewer.h).
#include "platform/viewer.h"

#include "platform/bindings.h"
#include "platform/keycodes.h"
#include "services/text.h"

#include <atomic>
#include <cstdio>
#include <cstring>

const int VIEWER_SPEED_X2[VIEWER_SPEEDS] = {1, 2, 4, 8, 16};

// 0x1A, 0x18 and 0x19 are the code page's arrows, 0xFA its middle dot.
const char VIEWER_KEYS_TEXT[] = "Space pause \xFA \x1A step \xFA \x18\x19 speed \xFA N next level \xFA H hide \xFA Esc close";

namespace {

// HID usages of the keys the viewer alone knows.
enum { USAGE_MINUS = 45, USAGE_EQUALS = 46, USAGE_PERIOD = 55, USAGE_KP_MINUS = 86, USAGE_KP_PLUS = 87 };
constexpr int usage_of(char letter) { return USAGE_A + (letter - 'A'); }

// The line of text stays this long after a key.
constexpr long long kTextMs = 3000;

std::atomic<bool> g_on{false}, g_hold{false};
std::atomic<bool> g_paused{false}, g_skipping{false}, g_ended{false}, g_hidden{false}, g_closed{false};
std::atomic<int> g_speed{VIEWER_NORMAL_SPEED};
std::atomic<int> g_steps{0};
std::atomic<long long> g_tick{0}, g_total{0};
std::atomic<long long> g_key_ms{-kTextMs}; // when the last action came (viewer_view's clock)
std::atomic<long long> g_now_ms{0};        // the clock as last read by viewer_view

// Colours of the line: what has been shown, what is still to come, the text.
constexpr uint32_t kDone = 0xFFFFD040u, kToCome = 0xC0303040u, kBand = 0xA0000000u, kWhite = 0xFFFFFFFFu;
constexpr int kWidth = 640, kHeight = 480, kLineRows = 3, kTextRows = 18;

} // namespace

void viewer_start(long long total, bool hold_at_end) {
    g_total = total;
    g_hold = hold_at_end;
    g_tick = 0;
    g_speed = VIEWER_NORMAL_SPEED;
    g_steps = 0;
    g_paused = g_skipping = g_ended = g_hidden = g_closed = false;
    g_key_ms = -kTextMs;
    g_on = true;
}

void viewer_stop() { g_on = false; }
bool viewer_on() { return g_on.load(); }

ViewerAction viewer_key_action(int usage) {
    switch (usage) {
    case USAGE_SPACE: case USAGE_P: case USAGE_PAUSE: return VIEW_PAUSE;
    case USAGE_RIGHT: case USAGE_PERIOD: return VIEW_STEP;
    case USAGE_UP: case USAGE_EQUALS: case USAGE_KP_PLUS: return VIEW_FASTER;
    case USAGE_DOWN: case USAGE_MINUS: case USAGE_KP_MINUS: return VIEW_SLOWER;
    case USAGE_PAGEDOWN: return VIEW_NEXT_LEVEL;
    case USAGE_ESCAPE: return VIEW_CLOSE;
    default: break;
    }
    if (usage == usage_of('N')) return VIEW_NEXT_LEVEL;
    if (usage == usage_of('H')) return VIEW_HIDE;
    if (usage == usage_of('Q')) return VIEW_CLOSE;
    return VIEW_NONE;
}

ViewerAction viewer_pad_action(int button) {
    switch (button) {
    case PAD_START: return VIEW_PAUSE;
    case PAD_A: case PAD_DPAD_RIGHT: return VIEW_STEP;
    case PAD_DPAD_UP: return VIEW_FASTER;
    case PAD_DPAD_DOWN: return VIEW_SLOWER;
    case PAD_Y: return VIEW_NEXT_LEVEL;
    case PAD_BACK: return VIEW_CLOSE;
    default: return VIEW_NONE;
    }
}

bool viewer_act(ViewerAction action) {
    if (!g_on || action == VIEW_NONE) return false;
    g_key_ms = g_now_ms.load();
    switch (action) {
    case VIEW_PAUSE:
        g_paused = !g_paused;
        g_steps = 0;
        g_skipping = false;
        break;
    case VIEW_STEP:
        g_skipping = false;
        if (!g_paused) g_paused = true; // the first press stops the play where it is
        else if (!g_ended) g_steps++;
        break;
    case VIEW_SLOWER:
        if (g_speed > 0) g_speed--;
        break;
    case VIEW_FASTER:
        if (g_speed < VIEWER_SPEEDS - 1) g_speed++;
        break;
    case VIEW_NEXT_LEVEL:
        if (g_ended) break;
        g_skipping = true;
        g_paused = false;
        g_steps = 0;
        break;
    case VIEW_HIDE: g_hidden = !g_hidden; break;
    case VIEW_CLOSE: g_closed = true; break;
    case VIEW_NONE: break;
    }
    return true;
}

long long viewer_wait_us(int ms) {
    if (g_skipping || ms <= 0) return 0;
    return static_cast<long long>(ms) * 2000 / VIEWER_SPEED_X2[g_speed.load()];
}

bool viewer_take_tick() {
    if (g_closed || g_ended) return false;
    if (!g_paused) return true;
    int steps = g_steps.load();
    while (steps > 0)
        if (g_steps.compare_exchange_weak(steps, steps - 1)) return true;
    return false;
}

bool viewer_skipping() { return g_on && g_skipping; }
bool viewer_paused() { return g_paused.load(); }

void viewer_note_tick(long long tick) { g_tick = tick; }

void viewer_note_event(const char* name) {
    if (g_skipping && (std::strncmp(name, "level:", 6) == 0 || std::strcmp(name, "title") == 0)) g_skipping = false;
}

bool viewer_note_end() {
    g_skipping = false;
    g_steps = 0;
    if (!g_hold) return false;
    g_ended = true;
    return true;
}

bool viewer_closed() { return g_closed.load(); }

unsigned viewer_view(ViewerView* out, long long now_ms) {
    g_now_ms = now_ms;
    ViewerView v{};
    v.tick = g_tick;
    v.total = g_total;
    v.speed_x2 = VIEWER_SPEED_X2[g_speed.load()];
    v.paused = g_paused;
    v.skipping = g_skipping;
    v.ended = g_ended;
    v.hidden = g_hidden;
    v.text = !v.hidden && (v.paused || v.skipping || v.ended || now_ms - g_key_ms.load() < kTextMs);
    *out = v;
    if (v.hidden) return 1;
    // What changes the drawing: the text and the length of the line.
    char text[96];
    viewer_text(text, sizeof text, v);
    unsigned h = 2166136261u;
    for (const char* p = v.text ? text : ""; *p; ++p) h = (h ^ static_cast<uint8_t>(*p)) * 16777619u;
    const long long done = v.total > 0 ? v.tick * kWidth / v.total : 0;
    return (h ^ static_cast<unsigned>(done)) * 16777619u | 2u;
}

void viewer_text(char* out, int size, const ViewerView& v) {
    // 0x10 is the code page's "play" triangle, 0xAB its one half.
    const char* state = v.ended ? "End" : v.skipping ? "Next level" : v.paused ? "Paused" : "\x10";
    char speed[16];
    if (v.speed_x2 == 1) std::snprintf(speed, sizeof speed, "\xAB" "x");
    else std::snprintf(speed, sizeof speed, "%dx", v.speed_x2 / 2);
    std::snprintf(out, static_cast<size_t>(size), "%s \xFA %s \xFA tick %lld of %lld", state, speed, v.tick, v.total);
}

namespace {

void put_text(uint32_t* pixels, int pitch, int x0, int y0, const char* text) {
    for (int i = 0; text[i] != '\0' && x0 + 8 * i + 8 <= kWidth; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(text[i]));
        for (int r = 0; r < 16; ++r) {
            uint32_t* row = pixels + static_cast<long>(y0 + r) * pitch;
            for (int bit = 0; bit < 8; ++bit)
                if (glyph[r] & (0x80 >> bit)) row[x0 + 8 * i + bit] = kWhite;
        }
    }
}

} // namespace

void viewer_draw(uint32_t* pixels, int pitch, const ViewerView& v, bool over_picture) {
    const int top = kHeight - 2 * kTextRows - kLineRows; // the most the drawing covers
    if (!over_picture)
        for (int y = top; y < kHeight; ++y) std::memset(pixels + static_cast<long>(y) * pitch, 0, kWidth * 4);
    if (v.hidden) return;
    if (v.text) {
        // Paused or at the end, the keys show under the state.
        const bool keys = v.paused || v.ended;
        const int band = kHeight - kLineRows - (keys ? 2 : 1) * kTextRows;
        for (int y = band; y < kHeight - kLineRows; ++y) {
            uint32_t* row = pixels + static_cast<long>(y) * pitch;
            for (int x = 0; x < kWidth; ++x)
                row[x] = over_picture ? 0xFF000000u | ((row[x] >> 2) & 0x003F3F3Fu) : kBand;
        }
        char text[96];
        viewer_text(text, sizeof text, v);
        put_text(pixels, pitch, 8, band + 2, text);
        if (keys) put_text(pixels, pitch, 8, band + 2 + kTextRows, VIEWER_KEYS_TEXT);
    }
    const long long done = v.total > 0 ? (v.tick >= v.total ? kWidth : v.tick * kWidth / v.total) : 0;
    for (int y = kHeight - kLineRows; y < kHeight; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * pitch;
        for (int x = 0; x < kWidth; ++x)
            // Over the picture, what is still to come shows the picture dimmed.
            row[x] = x < done ? kDone : over_picture ? 0xFF000000u | ((row[x] >> 1) & 0x007F7F7Fu) : kToCome;
    }
}
