// web.cpp -- the browser back-end (emscripten).  The game runs on the
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
//   run yields to the browser only about every 50 ms (a browser makes a
//   zero-delay timer wait about 4 ms), and looks for pads and a screenshot
//   only then.
// - Run control: ticks, the test hook, a replayed recording, the recording
//   and the stop tick are the run control's (run_tick); the web back-end adds
//   the waits, the canvas and the keys.
// - Keys: keydown / keyup / blur on the canvas feed input_event through the
//   key map; the game's keys do not reach the page (no scrolling).
// - Touch: the page's on-screen controls call web_touch_key with the HID
//   usage of the key they stand for, which takes the keyboard's path.
// - Gamepads: the Gamepad API is read once a tick (and while paused); each
//   change of a button or of the left stick goes through the key map.
// - Sound: the game's cues are mixed by the sound module when Web Audio asks
//   for samples (see "sound" below); M and the page's button mute it.
// - Recording: with --record (the page's ?record=1) the input of every tick
//   is written to the in-memory file system from the start of the game; when
//   the page's button stops it, or the game ends, the file is offered as a
//   download (clovenfeld.rec) and stays in the file system.
// - Screenshot: a screen.bmp the game wrote is offered as a download and
//   removed from the virtual file system.
// - The page (web/page.js) shows what the game writes to standard error and
//   its exit status; see there for the URL parameters.
#include "platform/platform.h"
#include "platform/run.h"

#include "services/fatal.h"
#include "services/image.h"
#include "platform/keymap.h"
#include "services/screen.h"

#include "platform/overlay.h"
#include "platform/run.h"
#include "platform/session.h"
#include "platform/notice.h"
#include "sound/cue_queue.h"
#include "sound/sound.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char kCanvas[] = "#screen";
constexpr double kFastYieldMs = 50.0;  // a fast run yields to the browser this often
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

EM_JS(void, web_offer_file, (const char* path, const char* name, const char* type), {
    const data = FS.readFile(UTF8ToString(path));
    const url = URL.createObjectURL(new Blob([data], {type: UTF8ToString(type)}));
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
    const Image* page = screen_is_open() ? shown_page() : nullptr;
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

// --- sound ---------------------------------------------------------------------------
// Web Audio pulls the mixer's samples through a ScriptProcessorNode of 512
// frames, which the page creates at the first key press, click or touch (a
// browser starts no sound before one).  The game's cues wait in a queue until
// the next pull starts them.

CueQueue g_cues;
constexpr int kAudioFrames = 4096;
int16_t g_audio[kAudioFrames * 2];

EM_JS(void, web_note_sound, (const char* name), {
    const n = UTF8ToString(name);
    const counts = Module["soundCounts"] || (Module["soundCounts"] = {});
    counts[n] = (counts[n] || 0) + 1;
});

EM_JS(void, web_audio_listen, (), {
    if (Module["audioListening"]) return;
    Module["audioListening"] = true;
    function start() {
        if (!Module["audioContext"]) {
            const Context = window.AudioContext || window.webkitAudioContext;
            if (!Context) return;
            let ctx;
            try { ctx = new Context({sampleRate: 48000}); } catch (e) { ctx = new Context(); }
            const node = ctx.createScriptProcessor(512, 0, 2);
            Module["audioPeak"] = 0;
            node.onaudioprocess = function(ev) {
                const out = ev.outputBuffer;
                const n = out.length;
                const left = out.getChannelData(0), right = out.getChannelData(1);
                if (!Module["running"] || !Module["_web_audio_fill"]) { left.fill(0); right.fill(0); return; }
                const at = Module["_web_audio_fill"](n) >> 1;
                let peak = Module["audioPeak"];
                for (let i = 0; i < n; i++) {
                    const l = HEAP16[at + 2 * i], r = HEAP16[at + 2 * i + 1];
                    left[i] = l / 32768;
                    right[i] = r / 32768;
                    const a = l < 0 ? -l : l;
                    if (a > peak) peak = a;
                }
                Module["audioPeak"] = peak;
            };
            node.connect(ctx.destination);
            Module["audioContext"] = ctx;
            Module["audioNode"] = node;
        }
        if (Module["audioContext"].state !== "running") Module["audioContext"].resume().catch(function() {});
    }
    for (const what of ["keydown", "pointerdown", "touchstart"])
        document.addEventListener(what, start, {capture: true, passive: true});
});

// --- pause -----------------------------------------------------------------------
// P (or Pause) pauses and resumes; a hidden tab pauses (the page calls
// web_pause).  While paused no tick passes: the tick waits, showing the last
// picture dimmed with the overlay's text, until P.

bool g_paused = false;
uint32_t g_overlay_argb[SCREEN_WIDTH * SCREEN_HEIGHT];

void paint_paused() {
    lock_screen();
    const Image* page = screen_is_open() ? shown_page() : nullptr;
    if (page != nullptr)
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            std::memcpy(g_overlay_argb + y * SCREEN_WIDTH, page->row(y), SCREEN_WIDTH * 4);
    unlock_screen(1, 0);
    if (page == nullptr) return;
    OverlayText text;
    // In the page only P and M act while paused (the keys are changed in the
    // settings text; the browser has its own fullscreen).
    overlay_pause_text(&text, nullptr, "P resume \xFA M sound");
    overlay_draw(g_overlay_argb, SCREEN_WIDTH, text, true);
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) {
        const uint32_t w = g_overlay_argb[i];
        g_rgba[i] = 0xFF000000u | (w & 0x0000FF00u) | ((w >> 16) & 0xFFu) | ((w & 0xFFu) << 16);
    }
    web_put_rows(g_rgba, SCREEN_WIDTH, 0, SCREEN_HEIGHT);
    // The next picture after the pause is put whole again.
    mark_visible_dirty(-1, -1);
}

void set_paused(bool on) {
    if (on == g_paused) return;
    g_paused = on;
    if (on) input_event(INPUT_CLEAR_HELD, 0);
}

EM_JS(void, web_store_settings, (), {
    try {
        if (FS.analyzePath("/settings.ini").exists)
            localStorage.setItem("clovenfeld.settings", FS.readFile("/settings.ini", {encoding: "utf8"}));
    } catch (e) {}
});

void web_audio_cue(int id, int x) {
    cue_push(&g_cues, Cue{static_cast<int16_t>(id), static_cast<int16_t>(x), static_cast<uint32_t>(current_tick())});
    web_note_sound(sound_name(id));
}

} // namespace

// The next frames of sound for Web Audio (at most 4096, interleaved stereo),
// after starting the cues that came since the last pull.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* web_audio_fill(int frames) {
    if (frames > kAudioFrames) frames = kAudioFrames;
    Cue c;
    while (cue_pop(&g_cues, &c)) sound_start(c.id, c.x);
    sound_render(g_audio, frames < 0 ? 0 : frames);
    return g_audio;
}

// The page's mute button; the choice is kept in the page's storage.  Called
// by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_audio_set_muted(int muted) {
    sound_set_muted(muted != 0);
    session_note_mute(muted != 0);
    session_save();
    web_store_settings();
}

// The tab was hidden: the game pauses until P.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_pause() { set_paused(true); }
extern "C" EMSCRIPTEN_KEEPALIVE int web_is_paused() { return g_paused ? 1 : 0; }
extern "C" EMSCRIPTEN_KEEPALIVE int web_audio_muted() { return sound_muted() ? 1 : 0; }

// Ends the recording and offers it as a download; false when none was being
// made.  Called by the page's button and when the game ends.
extern "C" EMSCRIPTEN_KEEPALIVE int web_record_stop() {
    if (!recording_active()) return 0;
    recording_stop();
    web_offer_file(run_options.record_path, "clovenfeld.rec", "application/octet-stream");
    return 1;
}
extern "C" EMSCRIPTEN_KEEPALIVE int web_is_recording() { return recording_active() ? 1 : 0; }

// A touch control went down or up: the key of HID usage `usage`, as the
// keyboard gives it (while paused no press reaches the game).  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_touch_key(int usage, int down) {
    if (usage <= 0 || usage >= USAGE_LIMIT) return;
    if (down == 0) {
        keymap_key_up(usage);
    } else if (!g_paused) {
        keymap_key_down(usage, 0);
        if (usage == USAGE_SPACE) keymap_text(" "); // Space types its character, as the key does
    }
}

namespace {

// --- keys ---------------------------------------------------------------------------

// The modifier flags of a key event.  The browser does not say whether Num
// Lock is on, but a keypad key that types a character tells.
int key_mods(const EmscriptenKeyboardEvent& e, bool types_character) {
    const bool keypad = std::strncmp(e.code, "Numpad", 6) == 0;
    return (e.shiftKey ? KEYMOD_SHIFT : 0) | (e.ctrlKey ? KEYMOD_CTRL : 0) | (e.altKey ? KEYMOD_ALT : 0) |
           (keypad && types_character ? KEYMOD_NUM : 0);
}

// True when KeyboardEvent.key is one character (its UTF-8 is one code point).
bool one_character(const char* key) {
    const unsigned char c = static_cast<unsigned char>(key[0]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    return n > 0 && std::strlen(key) == n;
}

// Keys the page keeps: Tab (moves the focus), the function keys (reload,
// fullscreen, tools) and anything with Ctrl, Alt or Meta.  The rest of the
// keys the game knows do not reach the page, so they never scroll it.
bool page_keeps(int usage, const EmscriptenKeyboardEvent& e) {
    if (e.ctrlKey || e.altKey || e.metaKey) return true;
    if (usage == USAGE_TAB || (usage >= USAGE_F1 && usage <= USAGE_F12)) return true;
    return keymap_scan_code(usage) == 0;
}

EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* e, void*) {
    const int usage = keymap_usage_of_code(e->code);
    const bool character = one_character(e->key);
    // The mute and pause keys belong to the page, as on the desktop: the game
    // never sees them; while paused no key reaches the game.
    const int action = usage != 0 ? keymap_window_action(usage) : BIND_NONE;
    if (action == BIND_MUTE || action == BIND_PAUSE || (g_paused && type == EMSCRIPTEN_EVENT_KEYDOWN)) {
        if (type == EMSCRIPTEN_EVENT_KEYDOWN && !e->repeat) {
            if (action == BIND_MUTE) web_audio_set_muted(sound_muted() ? 0 : 1);
            if (action == BIND_PAUSE) set_paused(!g_paused);
        }
        return EM_TRUE;
    }
    if (type == EMSCRIPTEN_EVENT_KEYDOWN) {
        // Auto-repeat comes as more key-downs, as on the desktop.
        if (usage != 0) keymap_key_down(usage, key_mods(*e, character));
        // The character a key types; Ctrl alone or Meta make none (AltGr,
        // reported as Ctrl+Alt on some systems, does).
        if (character && !e->metaKey && !(e->ctrlKey && !e->altKey)) keymap_text(e->key);
    } else if (usage != 0) {
        keymap_key_up(usage);
    }
    return page_keeps(usage, *e) ? EM_FALSE : EM_TRUE;
}

// Focus gained or lost: no key stays held that the game would not see released.
EM_BOOL on_focus(int, const EmscriptenFocusEvent*, void*) {
    input_event(INPUT_CLEAR_HELD, 0);
    return EM_FALSE;
}

// --- gamepads -----------------------------------------------------------------------
// web_read_pads fills kPadWords ints a pad: connected, the PadButton states in
// their order (A, Start, Back, D-pad up, down, left, right, B, X, Y) from the
// standard mapping, then the left stick's x and y (-32768 .. 32767).

constexpr int kPadWords = 1 + PAD_BUTTON_COUNT + 2;
int g_pad_now[KEYMAP_MAX_PADS][kPadWords];
int g_pad_was[KEYMAP_MAX_PADS][kPadWords];

// clang-format off
EM_JS(int, web_read_pads, (int* out, int pads, int words), {
    if (!navigator.getGamepads) return 0;
    let list;
    try { list = navigator.getGamepads(); } catch (e) { return 0; }
    const buttons = [0, 9, 8, 12, 13, 14, 15, 1, 2, 3];
    let seen = 0;
    for (let i = 0; i < pads; i++) {
        const p = list[i], at = (out >> 2) + i * words;
        HEAP32.fill(0, at, at + words);
        if (!p || p.connected === false) continue;
        seen++;
        HEAP32[at] = 1;
        for (let b = 0; b < buttons.length; b++) {
            const k = p.buttons[buttons[b]];
            HEAP32[at + 1 + b] = k && (k.pressed || k.value > 0.5) ? 1 : 0;
        }
        for (let a = 0; a < 2; a++) {
            const v = Number(p.axes[a]) || 0;
            HEAP32[at + 1 + buttons.length + a] = Math.max(-32768, Math.min(32767, Math.round(v * 32767)));
        }
    }
    if (seen && Module["onPadSeen"]) Module["onPadSeen"]();
    return seen;
});
// clang-format on

// The pads' changes since the last look, through the key map.
void poll_pads() {
    web_read_pads(&g_pad_now[0][0], KEYMAP_MAX_PADS, kPadWords);
    for (int pad = 0; pad < KEYMAP_MAX_PADS; ++pad) {
        int* now = g_pad_now[pad];
        int* was = g_pad_was[pad];
        if (now[0] == 0) {
            if (was[0] != 0) keymap_pad_removed(pad);
        } else {
            for (int b = 0; b < PAD_BUTTON_COUNT; ++b)
                if (now[1 + b] != was[1 + b]) {
                    // A button bound to pause or mute acts as its key does.
                    const int action = keymap_pad_button(pad, b, now[1 + b] != 0);
                    if (action == BIND_PAUSE) set_paused(!g_paused);
                    if (action == BIND_MUTE) web_audio_set_muted(sound_muted() ? 0 : 1);
                }
            for (int a = 0; a < 2; ++a)
                if (now[1 + PAD_BUTTON_COUNT + a] != was[1 + PAD_BUTTON_COUNT + a])
                    keymap_pad_axis(pad, a == 0 ? PAD_LEFT_X : PAD_LEFT_Y, now[1 + PAD_BUTTON_COUNT + a]);
        }
        std::memcpy(was, now, sizeof g_pad_was[pad]);
    }
}

// Offers a screenshot the game saved since the last tick.
void offer_screenshot() {
    if (::access("screen.bmp", F_OK) != 0) return;
    web_offer_file("screen.bmp", "screen.bmp", "image/bmp");
    ::unlink("screen.bmp");
}

int web_open(int width, int height, const char* title) {
    if (width != SCREEN_WIDTH || height != SCREEN_HEIGHT) return 1;
    run_open();
    recording_tick(); // the input of tick 0, as the window back-ends write it
    web_set_title(title ? title : "");
    emscripten_set_keydown_callback(kCanvas, nullptr, EM_TRUE, on_key);
    emscripten_set_keyup_callback(kCanvas, nullptr, EM_TRUE, on_key);
    emscripten_set_focus_callback(kCanvas, nullptr, EM_TRUE, on_focus);
    emscripten_set_blur_callback(kCanvas, nullptr, EM_TRUE, on_focus);
    g_open = true;
    sound_init();
    sound_reset();
    cue_clear(&g_cues);
    set_audio_sink(web_audio_cue);
    web_audio_listen();
    g_deadline = g_last_yield = emscripten_get_now();
    paint();
    return 0;
}

void web_title(const char* title) { web_set_title(title ? title : ""); }

// The page is painted at the next tick, when the browser gets control.
void web_present() {}

void web_tick(int ms) {
    if (g_paused) {
        paint_paused();
        while (g_paused) {
            emscripten_sleep(50);
            poll_pads();
        }
        g_deadline = emscripten_get_now();
    }
    const double now = emscripten_get_now();
    if (!run_options.fast) {
        offer_screenshot();
        poll_pads();
        g_deadline += ms;
        if (g_deadline < now - kMaxLagMs) g_deadline = now;
        paint();
        const double wait = g_deadline - now;
        emscripten_sleep(wait > 0.0 ? static_cast<unsigned>(wait + 0.5) : 0u);
    } else if (now - g_last_yield >= kFastYieldMs) {
        offer_screenshot();
        poll_pads();
        paint();
        emscripten_sleep(0);
        g_last_yield = emscripten_get_now();
    }
    run_tick(); // this tick's input goes to the game and into the recording
    web_note_tick(static_cast<double>(current_tick()));
}

void web_close() {
    if (!g_open) return;
    web_record_stop();
    web_note_tick(static_cast<double>(current_tick()));
    paint();
    emscripten_html5_remove_all_event_listeners();
    g_open = false;
}

} // namespace

// The page is read on the game's thread, by shown_page, which settles the
// owed fills itself: show_page need not pay them at every tick, only the
// ticks that are painted do (a fast run paints about every 50 ms).
const Platform web_platform = {"browser", web_open, web_title, web_present, web_tick, web_close, true, false, nullptr};
