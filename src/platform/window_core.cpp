// window_core.cpp -- the window back-ends' shared core (window_core.h).
#include "platform/window_core.h"

#include "platform/banner.h"
#include "platform/bindings.h"
#include "platform/key_route.h"
#include "platform/keymap.h"
#include "platform/overlay.h"
#include "platform/run.h"
#include "platform/session.h"
#include "platform/viewer.h"
#include "platform/window_layout.h"
#include "platform/window_picture.h"
#include "services/fatal.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "services/image.h"
#include "services/screen.h"
#include "sound/sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// --- shared between the game thread and the main thread ----------------------------

std::mutex g_mx;
std::condition_variable g_cv;
const WindowDriver* g_driver = nullptr;
bool g_running = false;          // window_run is on the main thread
std::thread::id g_main_thread;
bool g_open_requested = false;
bool g_open_done = false;
int g_open_result = 1;
bool g_close_requested = false;
bool g_window_gone = false;      // the program is ending and its window is gone
bool g_closed = false;           // the window system is shut down for good
bool g_title_changed = false;
char g_title[128] = "";
bool g_game_done = false;
std::atomic<bool> g_present{false};
// The game thread is ending the process: the window shows nothing more.
std::atomic<bool> g_closing{false};
// Paused: the game thread waits in its tick until this is cleared (P again)
// or the program is asked to end.  Set and cleared on the main thread.
std::atomic<bool> g_paused{false};
int g_width = SCREEN_WIDTH, g_height = SCREEN_HEIGHT;

// --- main thread only ------------------------------------------------------------------

bool g_window_open = false;
// The back-end's id of the pad in each key-map slot.
bool g_pad_used[KEYMAP_MAX_PADS] = {};
int g_pad_id[KEYMAP_MAX_PADS] = {};
// The display's refresh period: pages are shown no more often.
std::chrono::microseconds g_render_interval{16666};

void wake() {
    if (g_driver != nullptr && g_driver->wake != nullptr) g_driver->wake();
}

void copy_title(const char* title) { std::snprintf(g_title, sizeof g_title, "%s", title ? title : ""); }

bool on_main_thread() { return g_running && std::this_thread::get_id() == g_main_thread; }

void toggle_mute() {
    sound_set_muted(!sound_muted());
    session_note_mute(sound_muted());
}

void toggle_fullscreen() {
    if (!g_window_open) return;
    g_driver->set_fullscreen(!g_driver->fullscreen());
    session_note_fullscreen(g_driver->fullscreen());
}

void overlay_changed() {
    picture_overlay_changed();
    if (g_driver->overlay_changed != nullptr) g_driver->overlay_changed();
}

void set_paused(bool on) {
    if (on == g_paused) return;
    if (on) {
        // Nothing stays held through a pause that the game would not see let go.
        input_event(INPUT_CLEAR_HELD, 0);
        keymap_pads_reset();
        pause_menu_open();
    }
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_paused = on;
    }
    g_cv.notify_all();
    overlay_changed();
}

// A key pressed while paused: the pause menu's.  The game sees none of them.
void menu_key(int usage) {
    switch (pause_menu_key(usage)) {
    case PAUSE_RESUME: set_paused(false); break;
    case PAUSE_MUTE: toggle_mute(); break;
    case PAUSE_FULLSCREEN: toggle_fullscreen(); break;
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
    case PAUSE_STAY: break;
    }
    overlay_changed();
}

// Watching a recording: the viewer's action, under the lock so the game
// thread's wait cannot miss it.  Closing the viewer ends the program at the
// next tick, as the close button does.
bool watch_act(ViewerAction action) {
    bool changed;
    {
        std::lock_guard<std::mutex> lock(g_mx);
        changed = viewer_act(action);
        if (action == VIEW_CLOSE) run_request_end();
    }
    g_cv.notify_all();
    return changed;
}

// Watching: the tick waits as long as the speed says, then for as long as
// the viewer is paused (a step lets one tick through) or holds the last
// picture, and ends early when the program is to end.
// Each tick is due a speed's wait after the one before (not after the frame
// was made, so fast speeds keep their rate); after a pause, or when far
// behind, from now.
void watch_wait(int ms) {
    static Clock::time_point due = Clock::now();
    std::unique_lock<std::mutex> lock(g_mx);
    const auto now = Clock::now();
    if (!run_options.fast) {
        due += std::chrono::microseconds(viewer_wait_us(ms));
        if (due < now - std::chrono::milliseconds(100)) due = now;
        g_cv.wait_until(lock, due, [] { return run_end_requested(); });
    }
    if (!watch_may_tick()) {
        g_cv.wait(lock, [] { return run_end_requested() || watch_may_tick(); });
        due = Clock::now();
    }
}

// The program is ending: the window goes first, the game thread hears of it
// at once and ends the process, and the rest is shut down meanwhile for as
// long as the process lasts (closing a sound device may wait for it to drain).
void close_for_good() {
    g_driver->take_away();
    g_window_open = false;
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_window_gone = true;
    }
    g_cv.notify_all();
    g_driver->shut_down();
    std::lock_guard<std::mutex> lock(g_mx);
    g_closed = true;
    g_cv.notify_all();
}

} // namespace

// --- the game thread's side ---------------------------------------------------------------

int window_open(int width, int height, const char* title) {
    if (width > 0 && height > 0) {
        g_width = width;
        g_height = height;
    }
    run_open();
    int result = ERR_ILLEGAL_CALL;
    {
        std::unique_lock<std::mutex> lock(g_mx);
        if (!g_running || on_main_thread() || g_closed || g_window_gone) return ERR_ILLEGAL_CALL;
        copy_title(title);
        g_open_done = false;
        g_open_requested = true;
        wake();
        if (g_cv.wait_for(lock, std::chrono::seconds(20), [] { return g_open_done; })) result = g_open_result;
    }
    recording_tick(); // the input of tick 0
    return result;
}

void window_set_title(const char* title) {
    std::lock_guard<std::mutex> lock(g_mx);
    copy_title(title);
    g_title_changed = true;
    wake();
}

void window_present() {
    g_present = true;
    wake();
}

void window_banner(const char* text) {
    banner_set(text, banner_clock_ms());
    window_present();
}

void window_tick(int ms) {
    if (viewer_on()) {
        watch_wait(ms);
        run_tick();
        return;
    }
    // The game's speed (an assist) stretches the wait; the ticks stay ticks.
    if (!run_options.fast && ms > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(ms * 100000LL / session_assists().game_speed));
    if (g_paused) {
        // Paused: no tick passes until P (or the end of the program).
        std::unique_lock<std::mutex> lock(g_mx);
        g_cv.wait(lock, [] { return !g_paused || run_end_requested(); });
    }
    run_tick();
}

void window_close() {
    recording_stop();
    session_save(); // the player's fullscreen, window scale, mute and keys
    g_closing = true; // from here on the window shows nothing
    if (on_main_thread()) {
        g_driver->take_away();
        g_driver->shut_down();
        return;
    }
    // A fatal error may come in the middle of drawing, with this thread
    // holding the (counted) screen lock while the main thread waits for it
    // to take a page.  Let go of it at every depth, so the main thread can
    // get on and close the window; the process ends right after.
    for (int i = 0; i < 256; ++i) unlock_screen(1, 0);
    std::unique_lock<std::mutex> lock(g_mx);
    if (!g_running || g_closed) return;
    g_close_requested = true;
    wake();
    // The main thread looks at least every few milliseconds and takes the
    // window away first; if it is stuck (a display that stopped answering),
    // the process ends without it.
    g_cv.wait_for(lock, std::chrono::milliseconds(250), [] { return g_window_gone || g_closed; });
}

// --- the main thread -----------------------------------------------------------------------

int window_run(const WindowDriver& driver, int (*game_main)()) {
    g_driver = &driver;
    g_closing = false;
    g_paused = false;
    g_window_open = false;
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_running = true;
        g_main_thread = std::this_thread::get_id();
        g_game_done = false;
        g_window_gone = false;
        g_closed = false;
    }
    int status = 0;
    std::thread game([&] {
        reset_procedure_context();
        const int s = game_main();
        std::lock_guard<std::mutex> lock(g_mx);
        status = s;
        g_game_done = true;
        g_cv.notify_all();
        wake();
    });

    auto last_look = Clock::now();
    for (;;) {
        bool open = false, close = false, retitle = false;
        char title[sizeof g_title];
        {
            std::unique_lock<std::mutex> lock(g_mx);
            if (g_game_done) break;
            if (g_closed) {
                // The window system is gone; the game thread ends the process.
                g_cv.wait(lock, [] { return g_game_done; });
                break;
            }
            open = g_open_requested;
            close = g_close_requested;
            retitle = g_title_changed;
            g_open_requested = g_title_changed = false;
            std::memcpy(title, g_title, sizeof title);
        }
        if (open) {
            picture_reset();
            const int r = driver.create(title);
            g_window_open = r == 0;
            std::lock_guard<std::mutex> lock(g_mx);
            g_open_result = r;
            g_open_done = true;
            g_cv.notify_all();
        }
        if (retitle && g_window_open) driver.retitle(title);
        if (close) {
            close_for_good();
            continue;
        }
        // Until the next page may be shown there is nothing to do but wait
        // for events (a key wakes the wait at once); after that, look for a
        // presented page every 3 ms.
        const auto until_due =
            std::chrono::duration_cast<std::chrono::milliseconds>(last_look + g_render_interval - Clock::now());
        const int wait_ms = g_window_open ? static_cast<int>(std::clamp<long long>(until_due.count(), 3, 20)) : 3;
        bool redraw = false;
        driver.wait_events(wait_ms, &redraw);
        // Show a new page when one was presented, at most as often as the
        // display refreshes (more pages than that are never seen and only
        // take time from the game); now and then also look for rows changed
        // without a present (a page made visible).
        const auto now = Clock::now();
        const bool due = now - last_look >= g_render_interval;
        if ((due && g_present.exchange(false)) || redraw || now - last_look > std::chrono::milliseconds(50)) {
            driver.render(redraw);
            last_look = now;
        }
    }
    game.join();
    {
        std::lock_guard<std::mutex> lock(g_mx);
        if (!g_closed) {
            driver.take_away();
            driver.shut_down();
        }
        g_closed = true;
        g_running = false;
    }
    return status;
}

bool window_key(int usage, bool down, bool repeat, int mods) {
    if (viewer_on()) {
        // Watching: the window keeps its keys and the rest are the viewer's;
        // the game hears only the recording.  A step repeats while held.
        const KeyRoute route = key_route(usage, down, repeat, mods, false);
        if (route == ROUTE_FULLSCREEN) toggle_fullscreen();
        if (route == ROUTE_MUTE) toggle_mute();
        if (route == ROUTE_FULLSCREEN || route == ROUTE_MUTE) return true;
        const ViewerAction action = down ? viewer_key_action(usage) : VIEW_NONE;
        return (!repeat || action == VIEW_STEP) && watch_act(action);
    }
    switch (key_route(usage, down, repeat, mods, g_paused)) {
    case ROUTE_GAME:
        if (down) keymap_key_down(usage, mods);
        else keymap_key_up(usage);
        return false;
    case ROUTE_FULLSCREEN: toggle_fullscreen(); return true;
    case ROUTE_MUTE: toggle_mute(); return true;
    case ROUTE_PAUSE: set_paused(true); return true;
    case ROUTE_MENU: menu_key(usage); return true;
    case ROUTE_NONE: return false;
    }
    return false;
}

bool window_pad_button(int pad, int button, bool down) {
    if (viewer_on()) {
        if (!down) return false;
        switch (keymap_pad_action(button)) {
        case BIND_MUTE: toggle_mute(); return true;
        case BIND_FULLSCREEN: toggle_fullscreen(); return true;
        default: return watch_act(viewer_pad_action(button));
        }
    }
    switch (keymap_pad_button(pad, button, down)) {
    case BIND_PAUSE: set_paused(!g_paused); return true;
    case BIND_MUTE: toggle_mute(); return false;
    case BIND_FULLSCREEN: toggle_fullscreen(); return true;
    default: return false;
    }
}

int window_pad_slot(int id) {
    for (int i = 0; i < KEYMAP_MAX_PADS; ++i)
        if (g_pad_used[i] && g_pad_id[i] == id) return i;
    return -1;
}

int window_pad_added(int id) {
    if (window_pad_slot(id) >= 0) return -1;
    for (int i = 0; i < KEYMAP_MAX_PADS; ++i) {
        if (g_pad_used[i]) continue;
        g_pad_used[i] = true;
        g_pad_id[i] = id;
        keymap_pad_removed(i);
        return i;
    }
    return -1;
}

int window_pad_removed(int id) {
    const int slot = window_pad_slot(id);
    if (slot >= 0) {
        g_pad_used[slot] = false;
        keymap_pad_removed(slot);
    }
    return slot;
}

void window_text(const char* utf8) {
    if (!g_paused && !viewer_on()) keymap_text(utf8);
}

void window_pad_axis(int pad, int axis, int value) {
    if (!viewer_on()) keymap_pad_axis(pad, axis, value);
}

void window_pointer(int out_w, int out_h, int kind, int x, int y, int value) {
    int px, py;
    const bool on = page_point(page_rect(out_w, out_h, run_options.window_fit), x, y, &px, &py);
    pointer_report(kind, px, py, value, on);
}

void window_focus(bool gained) {
    pointer_release_all();
    if (viewer_on()) {
        // The game's keys are the recording's alone: nothing to let go, and
        // a recording being watched goes on (it needs no one at the keys).
        key_route_reset();
        return;
    }
    input_event(INPUT_CLEAR_HELD, 0);
    keymap_pads_reset();
    key_route_reset();
    // Another window took the keys: the game waits (P resumes it).
    if (!gained && session_pause_on_focus_loss()) set_paused(true);
}

void window_close_button() {
    // The key code the close button has always queued, then the end.
    input_event(INPUT_QUEUE, KEY_CLOSE_CODE);
    {
        // Under the lock, so a paused game thread cannot miss it.
        std::lock_guard<std::mutex> lock(g_mx);
        run_request_end();
    }
    g_cv.notify_all();
}

bool window_paused() { return g_paused; }
bool window_closing() { return g_closing; }

void window_set_refresh_hz(int hz) {
    g_render_interval = std::chrono::microseconds(1000000 / (hz >= 30 && hz <= 1000 ? hz : 60));
}

void window_open_size(int usable_w, int usable_h, int* w, int* h) {
    int scale = run_options.window_scale;
    if (scale < 1 || scale > WINDOW_SCALE_MAX) scale = start_scale(usable_w, usable_h);
    *w = g_width * scale;
    *h = g_height * scale;
}

void window_resized(int w, int h) {
    if (g_driver->fullscreen()) return;
    const int scale = std::min(w / g_width, h / g_height);
    if (scale >= 1 && scale <= WINDOW_SCALE_MAX) session_note_scale(scale);
}

int window_page_width() { return g_width; }
int window_page_height() { return g_height; }

void window_take_page(uint32_t* frame, bool all, int* first, int* last) {
    *first = 0;
    *last = -1;
    lock_screen();
    const Image* page = screen_is_open() ? shown_page() : nullptr;
    if (!g_closing && page != nullptr && page->pixels != nullptr && page->width == SCREEN_WIDTH &&
        page->height == SCREEN_HEIGHT && (take_dirty_rows(first, last) || all)) {
        if (all) *first = 0, *last = SCREEN_HEIGHT - 1;
        const auto* src = reinterpret_cast<const unsigned char*>(page->pixels);
        for (int y = *first; y <= *last; ++y)
            std::memcpy(&frame[y * SCREEN_WIDTH], src + static_cast<size_t>(y) * page->pitch, SCREEN_WIDTH * 4);
    }
    unlock_screen(1, 0); // reading marks no row dirty
}
