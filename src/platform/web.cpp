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
// - Keys: keydown / keyup on the page (wherever its focus is, but for form
//   controls and dialogs) and the window's blur are routed as the window
//   back-ends route them (key_route.h): to the game through the key map, to
//   mute and pause, or, while paused, to the desktop's pause menu
//   (overlay.h: K changes the keys, kept in the page's storage); the game's
//   keys do not reach the page (no scrolling).
// - Touch: the page's on-screen controls call web_touch_key with the HID
//   usage of the key they stand for, which takes the keyboard's path, except
//   that Esc during play asks "Quit? Y/N" first and, while paused, Start / OK
//   resumes; the page's Pause, Yes and No buttons and a tap on the paused
//   picture call web_pause, web_resume and web_quit_answer.
// - Gamepads: the Gamepad API is read once a tick (and while paused); each
//   change of a button or of the left stick goes through the key map, but
//   Back (a button standing for Escape) during play asks "Quit?" first, and
//   while paused the buttons answer the menu (see poll_pads).
// - The page hears of the pause menu and the sound (Module.onGameState) and
//   of every event the game announces (Module.onGameEvent: the boxes' text,
//   each level's score), which it says in an aria-live region.
// - Sound: the game's cues are mixed by the sound module when Web Audio asks
//   for samples (see "sound" below); M and the page's button mute it.
// - Recording: with --record (the page's ?record=1) the input of every tick
//   is written to the in-memory file system from the start of the game; when
//   the page's button stops it, or the game ends, the file is offered as a
//   download (clovenfeld.rec) and stays in the file system.
// - Watching (--watch, the page's Watch): the keys, the page's controls and
//   a pad's buttons are the viewer's (viewer.h): pause, a tick forward,
//   speed, the next level; the tick waits as the viewer says, and the page
//   draws the progress line over the canvas (Module.onViewState).
// - Screenshot: a screen.bmp the game wrote is offered as a download and
//   removed from the virtual file system.
// - The page (web/page.js) shows what the game writes to standard error and
//   its exit status; see there for the URL parameters.
#include "port/platform.h"
#include "platform/run.h"

#include "services/fatal.h"
#include "services/image.h"
#include "platform/keymap.h"
#include "services/pointer.h"
#include "services/screen.h"

#include "platform/assists_layer.h"
#include "platform/key_route.h"
#include "platform/overlay.h"
#include "platform/run.h"
#include "platform/records.h"
#include "platform/session.h"
#include "services/game_events.h"
#include "platform/viewer.h"
#include "port/notice.h"
#include "platform/audio_feed.h"
#include "sound/sound.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

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
    // The assists' tag and the enemies on the map go over the picture: their
    // rows are converted again from the page each time, then drawn over.
    assists_layer_look();
    int over_first = 1, over_last = 0;
    assists_layer_rows(&over_first, &over_last);
    lock_screen();
    const Image* page = screen_is_open() ? shown_page() : nullptr;
    const bool dirty = page != nullptr && take_dirty_rows(&first, &last);
    if (page != nullptr && over_first <= over_last) {
        if (!dirty || over_first < first) first = over_first;
        if (!dirty || over_last > last) last = over_last;
    }
    if (page != nullptr)
        for (int y = first; y <= last; ++y) {
            const uint32_t* in = page->row(y);
            uint32_t* out = g_rgba + y * SCREEN_WIDTH;
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                const uint32_t w = in[x]; // 0xAARRGGBB -> bytes R, G, B, 255
                out[x] = 0xFF000000u | (w & 0x0000FF00u) | ((w >> 16) & 0xFFu) | ((w & 0xFFu) << 16);
            }
        }
    unlock_screen(1, 0); // reading marks no row dirty
    if (page == nullptr) return;
    if (over_first <= over_last) assists_layer_draw(g_rgba, SCREEN_WIDTH, true, true);
    if (first <= last) web_put_rows(g_rgba, SCREEN_WIDTH, first, last - first + 1);
}

// --- sound ---------------------------------------------------------------------------
// Web Audio pulls the mixer's samples through a ScriptProcessorNode of 512
// frames, which the page creates at the first key press, click or touch (a
// browser starts no sound before one).  The game's cues wait in a queue until
// the next pull starts them.

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
// P (or Pause, the pad's Start, the page's Pause button) pauses; a hidden tab
// pauses (the page calls web_pause).  While paused no tick passes: the tick
// waits, showing the last picture dimmed with the pause menu of the desktop
// (overlay.h), until it resumes.  Keys answer the menu as on the desktop; a
// touch Esc or a pad's Back during play pauses asking "Quit? Y/N", and No
// to that question resumes the game.

bool g_paused = false;
bool g_overlay_stale = false; // the menu changed: the paused picture is put again
bool g_asked_in_play = false; // "Quit?" came from a touch Esc or a pad's Back during play
uint32_t g_overlay_argb[SCREEN_WIDTH * SCREEN_HEIGHT];

// clang-format off
EM_JS(void, web_note_state, (int menu, int muted), {
    if (Module["onGameState"]) Module["onGameState"](menu, muted);
});

// Fullscreen as the page's button gives it (a key press lets a page go fullscreen).
EM_JS(void, web_page_fullscreen, (), {
    if (Module["toggleFullscreen"]) Module["toggleFullscreen"]();
});
// clang-format on

// 0 playing, 1 paused, 2 asking "Quit? Y/N", 3 asking for keys, 4 the
// assists, 5 the level list, 6 the records.
int menu_state() { return g_paused ? 1 + static_cast<int>(pause_menu_state()) : 0; }

void note_state() { web_note_state(menu_state(), sound_muted() ? 1 : 0); }

void paint_paused() {
    lock_screen();
    const Image* page = screen_is_open() ? shown_page() : nullptr;
    if (page != nullptr)
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            std::memcpy(g_overlay_argb + y * SCREEN_WIDTH, page->row(y), SCREEN_WIDTH * 4);
    unlock_screen(1, 0);
    if (page == nullptr) return;
    OverlayText text;
    pause_menu_text(&text);
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
    g_asked_in_play = false;
    if (on) {
        // Nothing stays held through a pause that the game would not see let go.
        input_event(INPUT_CLEAR_HELD, 0);
        keymap_pads_reset();
        pause_menu_open();
    }
    g_overlay_stale = true;
    note_state();
}

EM_JS(void, web_store_settings, (), {
    try {
        if (FS.analyzePath("/settings.ini").exists)
            localStorage.setItem("clovenfeld.settings", FS.readFile("/settings.ini", {encoding: "utf8"}));
    } catch (e) {}
});

// The records (records.h) kept in the page's storage, and shown on the page.
EM_JS(void, web_store_records, (), {
    try {
        if (!FS.analyzePath("/records.ini").exists) return;
        const text = FS.readFile("/records.ini", {encoding: "utf8"});
        localStorage.setItem("clovenfeld.records", text);
        if (Module["onRecords"]) Module["onRecords"](text);
    } catch (e) {}
});

// The page counts each sound (its tests listen for them).
void web_audio_cue(int id, int x) {
    audio_feed_cue(id, x);
    web_note_sound(sound_name(id));
}

} // namespace

extern "C" void web_audio_set_muted(int muted);

namespace {

void toggle_mute() { web_audio_set_muted(sound_muted() ? 0 : 1); }

// The fullscreen key: the function keys are the browser's own (F11 makes the
// whole window fullscreen); any other key bound to it does what the page's
// Fullscreen button does.
void fullscreen_key(int usage) {
    if (usage < USAGE_F1 || usage > USAGE_F12) web_page_fullscreen();
}

// A key (HID usage) for the pause menu, from the keyboard, a touch control or
// a pad; keys changed with K are kept in the page's storage.
void menu_key(int usage) {
    const PauseMenuState before = pause_menu_state();
    const PauseAnswer answer = pause_menu_key(usage);
    if ((before == PAUSE_MENU_KEYS && pause_menu_state() != PAUSE_MENU_KEYS) || before == PAUSE_MENU_ASSISTS)
        web_store_settings(); // new keys, or an assist changed
    g_overlay_stale = true;
    switch (answer) {
    case PAUSE_RESUME: set_paused(false); break;
    case PAUSE_MUTE: toggle_mute(); break;
    case PAUSE_FULLSCREEN: fullscreen_key(usage); break;
    case PAUSE_QUIT: // the game ends as the player's Escape ends it
        input_quit_game();
        set_paused(false);
        break;
    case PAUSE_PRACTICE: // the title screen starts a practice game of the level chosen
        input_practice(pause_menu_practice_level());
        set_paused(false);
        break;
    case PAUSE_EDITOR: // the title screen opens the level editor
        input_editor();
        set_paused(false);
        break;
    case PAUSE_STAY:
        // No to a question asked during play: the play goes on.
        if (before == PAUSE_MENU_QUIT && pause_menu_state() == PAUSE_MENU_PAUSED && g_asked_in_play)
            set_paused(false);
        break;
    }
    note_state();
}

// A touch Esc or a pad's Back during play: the game pauses asking "Quit? Y/N".
void ask_quit() {
    set_paused(true);
    menu_key(USAGE_ESCAPE);
    g_asked_in_play = true;
}

// --- watching a recording ------------------------------------------------------------

// clang-format off
EM_JS(void, web_note_view, (double tick, double total, int speed_x2, int paused, int skipping, int ended, int hidden), {
    if (Module["onViewState"]) Module["onViewState"](tick, total, speed_x2, paused, skipping, ended, hidden);
});
// clang-format on

// Tells the page what the viewer shows (its progress line and controls).
void note_view() {
    ViewerView v;
    viewer_view(&v, static_cast<long long>(emscripten_get_now()));
    web_note_view(static_cast<double>(v.tick), static_cast<double>(v.total), v.speed_x2, v.paused, v.skipping, v.ended,
                  v.hidden);
}

// An action for the viewer from a key, a pad or the page; closing it ends
// the run at the next tick.
void view_act(ViewerAction action) {
    if (!viewer_act(action)) return;
    if (action == VIEW_CLOSE) run_request_end();
    note_view();
}

} // namespace

// The page's watching controls: a ViewerAction.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_view_act(int action) {
    if (action > VIEW_NONE && action <= VIEW_CLOSE) view_act(static_cast<ViewerAction>(action));
}

// The next frames of sound for Web Audio (at most 4096, interleaved stereo),
// after starting the cues that came since the last pull.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* web_audio_fill(int frames) {
    if (frames > kAudioFrames) frames = kAudioFrames;
    audio_feed_fill(g_audio, frames < 0 ? 0 : frames);
    return g_audio;
}

// The page's mute button; the choice is kept in the page's storage.  Called
// by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_audio_set_muted(int muted) {
    sound_set_muted(muted != 0);
    session_note_mute(muted != 0);
    session_save();
    web_store_settings();
    note_state();
}

// The tab was hidden, or the page's Pause button: the game pauses.  Called by the page.
// Watching, the viewer pauses instead.
extern "C" EMSCRIPTEN_KEEPALIVE void web_pause() {
    if (!viewer_on()) set_paused(true);
    else if (!viewer_paused()) view_act(VIEW_PAUSE);
}
// The page's Pause button again, or a tap on the paused picture.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_resume() {
    if (!viewer_on()) set_paused(false);
    else if (viewer_paused()) view_act(VIEW_PAUSE);
}
extern "C" EMSCRIPTEN_KEEPALIVE int web_is_paused() { return (viewer_on() ? viewer_paused() : g_paused) ? 1 : 0; }
// What the pause menu shows: 0 playing, 1 paused, 2 "Quit? Y/N", 3 a key
// asked for, 4 the assists, 5 the level list, 6 the records.
extern "C" EMSCRIPTEN_KEEPALIVE int web_menu_state() { return menu_state(); }
// A key (HID usage) for the pause menu from the page's buttons: A opens the
// assists, 1 to 4 change them, Escape goes back.  Only while paused.
// Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_menu_key(int usage) {
    if (g_paused && usage > 0 && usage < USAGE_LIMIT) menu_key(usage);
}
// Whether the game waits on its title screen, where the pause menu offers
// practice.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE int web_on_title() { return shell_wait() == SHELL_ON_TITLE ? 1 : 0; }
// The page's Yes (1) or No (0) to "Quit? Y/N", as the keys Y and N.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_quit_answer(int yes) {
    if (menu_state() == 2) menu_key(USAGE_A + ((yes != 0 ? 'Y' : 'N') - 'A'));
}
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

// The pointer over the canvas, in page pixels (the page works them out from
// the canvas's place and size): kind is a PointerEventKind, value the button
// (PointerButton), the wheel's notches or the finger's id.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_pointer(int kind, int x, int y, int value) {
    const bool on = x >= 0 && x < SCREEN_WIDTH && y >= 0 && y < SCREEN_HEIGHT;
    pointer_report(kind, x, y, value, on);
}

// A touch control went down or up: the key of HID usage `usage`, as the
// keyboard gives it, but Esc during play asks "Quit? Y/N" first (it sits
// near Start / OK).  While paused no press reaches the game: Start / OK
// resumes (saying No to "Quit?"), Esc answers the menu as its key does, and
// while a key is asked for each control is its key.  Called by the page.
extern "C" EMSCRIPTEN_KEEPALIVE void web_touch_key(int usage, int down) {
    if (usage <= 0 || usage >= USAGE_LIMIT) return;
    if (viewer_on()) {
        if (down != 0) view_act(viewer_key_action(usage));
        return;
    }
    if (down == 0) {
        keymap_key_up(usage);
    } else if (g_paused) {
        if (pause_menu_state() == PAUSE_MENU_KEYS || usage == USAGE_ESCAPE) menu_key(usage);
        else if (usage == USAGE_SPACE) set_paused(false);
    } else if (usage == USAGE_ESCAPE) {
        ask_quit();
    } else {
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

// clang-format off
// Whether the page keeps a key for where its focus is: every key in a form
// control (a text field, a file input) and in an open dialog; Space and Enter
// on a focused button, which they press.  Elsewhere (the picture, the page,
// a button after a click) the keys are the game's.
EM_JS(int, web_focus_keeps, (int presses), {
    if (document.querySelector("dialog[open]")) return 1;
    const el = document.activeElement;
    if (!el || el === document.body || el === Module["canvas"]) return 0;
    if (el.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(el.tagName)) return 1;
    return presses && /^(BUTTON|A|SUMMARY)$/.test(el.tagName) ? 1 : 0;
});
// clang-format on

// A key pressed or let go goes where it goes on the desktop (key_route.h):
// the mute and pause keys belong to the page and the game never sees them;
// while paused every press is the pause menu's, except the keys of the
// browser itself (Tab, Ctrl or Meta with a key, keys the game cannot name).
EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* e, void*) {
    const int usage = keymap_usage_of_code(e->code);
    const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    const bool character = one_character(e->key);
    if (web_focus_keeps(usage == USAGE_SPACE || usage == USAGE_RETURN || usage == USAGE_KP_ENTER)) {
        if (!down && usage != 0) keymap_key_up(usage); // nothing stays held
        return EM_FALSE;
    }
    const int mods = key_mods(*e, character);
    if (viewer_on()) {
        // Watching: the page keeps its keys, mute and fullscreen act, and the
        // viewer's keys are its own (a step repeats while held).
        const KeyRoute route = key_route(usage, down, e->repeat != 0, mods, false);
        if (route == ROUTE_MUTE) toggle_mute();
        if (route == ROUTE_FULLSCREEN) fullscreen_key(usage);
        const ViewerAction action = down ? viewer_key_action(usage) : VIEW_NONE;
        if (action != VIEW_NONE && (e->repeat == 0 || action == VIEW_STEP)) view_act(action);
        return action != VIEW_NONE && !page_keeps(usage, *e) ? EM_TRUE : EM_FALSE;
    }
    if (down && g_paused && (usage == 0 || usage == USAGE_TAB || e->ctrlKey || e->metaKey)) return EM_FALSE;
    switch (key_route(usage, down, e->repeat != 0, mods, g_paused)) {
    case ROUTE_GAME:
        if (down) {
            // Auto-repeat comes as more key-downs, as on the desktop.
            if (usage != 0) keymap_key_down(usage, mods);
            // The character a key types; Ctrl alone or Meta make none (AltGr,
            // reported as Ctrl+Alt on some systems, does).
            if (character && !e->metaKey && !(e->ctrlKey && !e->altKey)) keymap_text(e->key);
        } else if (usage != 0) {
            keymap_key_up(usage);
        }
        break;
    case ROUTE_FULLSCREEN: fullscreen_key(usage); break;
    case ROUTE_MUTE: toggle_mute(); break;
    case ROUTE_PAUSE: set_paused(true); break;
    case ROUTE_MENU: menu_key(usage); break;
    case ROUTE_NONE: break;
    }
    return page_keeps(usage, *e) ? EM_FALSE : EM_TRUE;
}

// The page's window gained or lost the focus: no key stays held that the game
// would not see released.
EM_BOOL on_focus(int, const EmscriptenFocusEvent*, void*) {
    if (!viewer_on()) input_event(INPUT_CLEAR_HELD, 0); // watching, the keys are the recording's
    key_route_reset();
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

// A pad button pressed while paused answers the menu: to "Quit? Y/N", A or
// Start (a button for Space or pause) is Yes and B or Back (Escape) is No;
// otherwise Start or A resumes, Back asks "Quit?" (or keeps a key asked
// for), and a button for mute mutes.
void pad_menu(int button) {
    const int action = keymap_pad_action(button);
    const bool ok = action == BIND_SPACE || action == BIND_PAUSE || (action == BIND_NONE && button == PAD_A);
    const bool back = action == BIND_ESCAPE || (action == BIND_NONE && button == PAD_B);
    switch (pause_menu_state()) {
    case PAUSE_MENU_QUIT:
        if (ok || back) menu_key(USAGE_A + ((ok ? 'Y' : 'N') - 'A'));
        break;
    case PAUSE_MENU_PAUSED:
        if (ok) set_paused(false);
        else if (back) menu_key(USAGE_ESCAPE);
        else if (action == BIND_MUTE) toggle_mute();
        break;
    case PAUSE_MENU_KEYS:
    case PAUSE_MENU_ASSISTS:
    case PAUSE_MENU_LEVELS:
    case PAUSE_MENU_RECORDS:
    case PAUSE_MENU_PACKS:
        if (back) menu_key(USAGE_ESCAPE);
        else if (action == BIND_PAUSE) set_paused(false);
        break;
    }
}

// The pads' changes since the last look, through the key map.  While paused
// presses answer the menu and the stick does nothing; during play a button
// standing for Escape (Back) asks "Quit? Y/N" instead.
void poll_pads() {
    web_read_pads(&g_pad_now[0][0], KEYMAP_MAX_PADS, kPadWords);
    for (int pad = 0; pad < KEYMAP_MAX_PADS; ++pad) {
        int* now = g_pad_now[pad];
        int* was = g_pad_was[pad];
        if (now[0] == 0) {
            if (was[0] != 0) keymap_pad_removed(pad);
        } else {
            for (int b = 0; b < PAD_BUTTON_COUNT; ++b) {
                if (now[1 + b] == was[1 + b]) continue;
                const bool down = now[1 + b] != 0;
                if (viewer_on()) {
                    if (down && keymap_pad_action(b) == BIND_MUTE) toggle_mute();
                    else if (down) view_act(viewer_pad_action(b));
                } else if (down && g_paused) {
                    pad_menu(b);
                } else if (down && keymap_pad_action(b) == BIND_ESCAPE) {
                    ask_quit();
                } else {
                    // A button bound to pause or mute acts as its key does.
                    const int action = keymap_pad_button(pad, b, down);
                    if (action == BIND_PAUSE) set_paused(true);
                    if (action == BIND_MUTE) toggle_mute();
                    if (action == BIND_FULLSCREEN) web_page_fullscreen();
                }
            }
            for (int a = 0; a < 2; ++a)
                if (!g_paused && !viewer_on() && now[1 + PAD_BUTTON_COUNT + a] != was[1 + PAD_BUTTON_COUNT + a])
                    keymap_pad_axis(pad, a == 0 ? PAD_LEFT_X : PAD_LEFT_Y, now[1 + PAD_BUTTON_COUNT + a]);
        }
        std::memcpy(was, now, sizeof g_pad_was[pad]);
    }
}

// clang-format off
EM_JS(void, web_note_event, (const char* name), {
    if (Module["onGameEvent"]) Module["onGameEvent"](UTF8ToString(name));
});
// clang-format on

// Every event the game announces goes to the page, which says what the
// picture shows (a box's text, a level's score) for those who cannot see it.
void page_hears(const char* name) { web_note_event(name); }

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
    // The keys reach the game wherever the focus is on the page (web_focus_keeps).
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_key);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_key);
    emscripten_set_focus_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_focus);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_focus);
    key_route_reset();
    set_event_hook(page_hears);
    records_set_save_hook(web_store_records);
    g_open = true;
    audio_feed_open();
    set_audio_sink(web_audio_cue);
    web_audio_listen();
    g_deadline = g_last_yield = emscripten_get_now();
    paint();
    note_state(); // the page's buttons say how the settings left the sound
    return 0;
}

void web_title(const char* title) { web_set_title(title ? title : ""); }

// The page is painted at the next tick, when the browser gets control.
void web_present() {}

// Watching: each tick is due a speed's wait after the one before; a skip to
// the next level runs as a fast run does.  While the viewer is paused the
// tick waits, showing the picture, until it plays or steps.
void watch_tick(int ms) {
    const double now = emscripten_get_now();
    if (!run_options.fast && !viewer_skipping()) {
        offer_screenshot();
        poll_pads();
        g_deadline += static_cast<double>(viewer_wait_us(ms)) / 1000.0;
        if (g_deadline < now - kMaxLagMs) g_deadline = now;
        paint();
        note_view();
        const double wait = g_deadline - now;
        emscripten_sleep(wait > 0.0 ? static_cast<unsigned>(wait + 0.5) : 0u);
    } else if (now - g_last_yield >= kFastYieldMs) {
        poll_pads();
        paint();
        note_view();
        emscripten_sleep(0);
        g_last_yield = emscripten_get_now();
    }
    if (!watch_may_tick()) {
        paint();
        note_view();
        while (!run_end_requested() && !watch_may_tick()) {
            emscripten_sleep(20);
            poll_pads();
        }
        g_deadline = g_last_yield = emscripten_get_now();
    }
    run_tick();
    web_note_tick(static_cast<double>(current_tick()));
}

void web_tick(int ms) {
    if (viewer_on()) {
        watch_tick(ms);
        return;
    }
    if (g_paused) {
        while (g_paused) {
            if (g_overlay_stale) {
                g_overlay_stale = false;
                paint_paused();
            }
            emscripten_sleep(50);
            poll_pads();
        }
        g_deadline = emscripten_get_now();
    }
    const double now = emscripten_get_now();
    if (!run_options.fast) {
        offer_screenshot();
        poll_pads();
        g_deadline += ms * 100.0 / session_assists().game_speed; // the game's speed (an assist)
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
    set_event_hook(nullptr);
    g_open = false;
}

} // namespace

// The page is read on the game's thread, by shown_page, which settles the
// owed fills itself: show_page need not pay them at every tick, only the
// ticks that are painted do (a fast run paints about every 50 ms).
const Platform web_platform = {"browser", web_open, web_title, web_present, web_tick, web_close, true, false, nullptr};
