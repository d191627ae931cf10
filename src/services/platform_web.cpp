// platform_web.cpp -- the browser back-end (emscripten).  The game runs on the
// page's only thread; every tick hands control back to the browser through
// Asyncify (emscripten_sleep), and only then do key events arrive and does
// the page get painted, so the game never sees input in the middle of a tick.
//
// - Picture: at each tick the dirty rows of the visible page are turned from
//   0xAARRGGBB words (B, G, R, A in memory) into opaque R, G, B, A bytes and
//   put on the 2-D canvas #screen with putImageData.
// - Time: a tick waits until its deadline (the previous one + ms), so late
//   browser timers do not slow the game down; after a stall (a hidden tab)
//   the deadline starts again from now instead of racing to catch up.  A fast
//   run yields to the browser only about every 16 ms.
// - Run control: ticks, the test hook, a replayed recording and the stop tick
//   are the headless back-end's; the web back-end adds the waits, the canvas
//   and the keys.
// - Keys: keydown / keyup / blur on the canvas feed input_event through the
//   key map; the game's keys do not reach the page (no scrolling).
// - Screenshot: a screen.bmp the game wrote is offered as a download and
//   removed from the virtual file system.
// - The page (web/page.js) shows what the game writes to standard error and
//   its exit status; see there for the URL parameters.
#include "services/platform.h"

#include "services/image.h"
#include "services/screen.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <unistd.h>

namespace {

constexpr double kFastYieldMs = 16.0;  // a fast run yields to the browser this often
constexpr double kMaxLagMs = 100.0;    // further behind than this, the deadline restarts

// The canvas picture: R, G, B, A bytes of the whole page.
uint32_t g_rgba[SCREEN_WIDTH * SCREEN_HEIGHT];
bool g_open = false;
double g_deadline = 0.0;   // when the current tick's wait ends (ms, emscripten_get_now)
double g_last_yield = 0.0; // fast runs: when control last went to the browser

// clang-format off
EM_JS(void, web_put_rows, (const void* rgba, int width, int first, int count), {
    const canvas = Module["canvas"];
    if (!canvas) return;
    if (!Module["screenContext"]) Module["screenContext"] = canvas.getContext("2d", {alpha: false});
    const bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba + first * width * 4, count * width * 4);
    Module["screenContext"].putImageData(new ImageData(bytes, width, count), 0, first);
});

EM_JS(void, web_set_title, (const char* title), {
    document.title = UTF8ToString(title);
});

EM_JS(void, web_note_tick, (double tick), {
    Module["tick"] = tick;
});

EM_JS(void, web_offer_file, (const char* path, const char* name), {
    const data = FS.readFile(UTF8ToString(path));
    const url = URL.createObjectURL(new Blob([data], {type: "image/bmp"}));
    const a = document.createElement("a");
    a.href = url;
    a.download = UTF8ToString(name);
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(function() { URL.revokeObjectURL(url); }, 60000);
});
// clang-format on

// Converts the dirty rows of the visible page and puts them on the canvas.
void paint() {
    int first = 1, last = 0;
    lock_screen();
    const Image* page = screen_is_open() ? visible_page() : nullptr;
    if (page != nullptr && take_dirty_rows(&first, &last)) {
        for (int y = first; y <= last; ++y) {
            const uint32_t* in = page->row(y);
            uint32_t* out = g_rgba + y * SCREEN_WIDTH;
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                const uint32_t w = in[x]; // 0xAARRGGBB -> bytes R, G, B, 255
                out[x] = 0xFF000000u | (w & 0x0000FF00u) | ((w >> 16) & 0xFFu) | ((w & 0xFFu) << 16);
            }
        }
    }
    unlock_screen(1, 0); // reading marks no row dirty
    if (page != nullptr && first <= last) web_put_rows(g_rgba, SCREEN_WIDTH, first, last - first + 1);
}

// Offers a screenshot the game saved since the last tick.
void offer_screenshot() {
    if (::access("screen.bmp", F_OK) != 0) return;
    web_offer_file("screen.bmp", "screen.bmp");
    ::unlink("screen.bmp");
}

int web_open(int width, int height, const char* title) {
    if (width != SCREEN_WIDTH || height != SCREEN_HEIGHT) return 1;
    const int r = headless_platform.open_window(width, height, title);
    if (r != 0) return r;
    web_set_title(title ? title : "");
    g_open = true;
    g_deadline = g_last_yield = emscripten_get_now();
    paint();
    return 0;
}

void web_title(const char* title) { web_set_title(title ? title : ""); }

// The page is painted at the next tick, when the browser gets control.
void web_present() {}

void web_tick(int ms) {
    offer_screenshot();
    const double now = emscripten_get_now();
    if (!run_options.fast) {
        g_deadline += ms;
        if (g_deadline < now - kMaxLagMs) g_deadline = now;
        paint();
        const double wait = g_deadline - now;
        emscripten_sleep(wait > 0.0 ? static_cast<unsigned>(wait + 0.5) : 0u);
    } else if (now - g_last_yield >= kFastYieldMs) {
        paint();
        emscripten_sleep(0);
        g_last_yield = emscripten_get_now();
    }
    // Counts the tick, runs the test hook, applies a replayed tick's input
    // and stops at the stop tick.
    headless_platform.tick(0);
    web_note_tick(static_cast<double>(current_tick()));
}

void web_close() {
    if (!g_open) return;
    web_note_tick(static_cast<double>(current_tick()));
    paint();
    g_open = false;
}

} // namespace

const Platform web_platform = {"browser", web_open, web_title, web_present, web_tick, web_close};
