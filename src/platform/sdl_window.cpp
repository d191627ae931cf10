// sdl_window.cpp -- the window back-end on SDL2.  run_with_window() keeps the
// process's main thread for SDL (video, events, rendering) and runs the game on
// a second thread.  The game thread asks the main thread to open, retitle and
// close the window and waits for the answer; present() only raises a flag, and
// the main thread copies the newest visible page under the screen lock (one
// page copy, no more) and then, without the lock, uploads and renders it
// scaled to the window (window_layout.h), never waiting for the display.  F11
// and Alt+Enter toggle desktop fullscreen on the main thread.  Key and
// gamepad events go through the shared key map (keymap.h) into the held-key
// table and the key queue.  The close button ends the program with status 0
// at the game thread's next tick; the window goes first, and the process ends
// without waiting for the rest of SDL (a sound device may take a while to
// drain).  The window carries the program's icon, and its class is the
// desktop entry's id, so desktops match it to the menu entry.
#include "platform/platform.h"
#include "platform/run.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "platform/key_route.h"
#include "platform/keymap.h"
#include "platform/banner.h"
#include "platform/overlay.h"
#include "platform/sdl_audio.h"
#include "platform/session.h"
#include "services/screen.h"
#include "sound/sound.h"
#include "platform/window_layout.h"
#include "platform/notice.h"

#include "icon_pixels.h" // made by mkassets from assets/icon.txt

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// --- shared between the game thread and the main thread ----------------------

std::mutex g_mx;
std::condition_variable g_cv;
bool g_running = false;          // run_with_window is on the main thread
std::thread::id g_main_thread;
bool g_open_requested = false;
bool g_open_done = false;
int g_open_result = 1;
bool g_close_requested = false;
bool g_window_gone = false;      // the program is ending and its window is gone
bool g_closed = false;           // SDL is shut down for good
bool g_title_changed = false;
char g_title[128] = "";
bool g_game_done = false;
std::atomic<bool> g_present{false};
// The game thread is ending the process: the window shows nothing more.
std::atomic<bool> g_closing{false};
// run_with_window is returning; any other exit() comes from the X library.
std::atomic<bool> g_exit_expected{false};
// The close button (or Alt+F4, or the window manager) asked the program to
// end: the game thread ends it at its next tick.
std::atomic<bool> g_close_button{false};
// Paused: the game thread waits in its tick until this is cleared (P again)
// or the program is asked to end.  Set and cleared on the main thread.
std::atomic<bool> g_paused{false};

// --- main thread only ------------------------------------------------------------

bool g_video_ok = false;
SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
SDL_Texture* g_texture = nullptr;
int g_width = SCREEN_WIDTH, g_height = SCREEN_HEIGHT;
// The visible page as last taken, so the upload runs without the screen lock.
alignas(64) uint32_t g_frame[SCREEN_WIDTH * SCREEN_HEIGHT];
bool g_frame_stale = true;   // the texture needs every row again
// The display's refresh period: pages are rendered no more often.
std::chrono::microseconds g_render_interval{16666};

// Open gamepads by key-map slot; a slot is free when controller is null.
struct Pad {
    SDL_GameController* controller;
    SDL_JoystickID id;
};
Pad g_pads[KEYMAP_MAX_PADS] = {};

// The pause overlay's texture, and its drawing (below, with the pause).
SDL_Texture* g_overlay_texture = nullptr;
void draw_overlay(const SDL_Rect& dst);
// The banner's texture and the banner it shows (banner_current's number).
SDL_Texture* g_banner_texture = nullptr;
unsigned g_banner_shown = 0;
bool banner_changed();
void draw_banner(const SDL_Rect& dst);

void copy_title(const char* title) {
    std::snprintf(g_title, sizeof g_title, "%s", title ? title : "");
}

// The modifier flags of SDL's modifier state.
int keymap_mods(Uint16 mod) {
    return ((mod & KMOD_SHIFT) ? KEYMOD_SHIFT : 0) | ((mod & KMOD_CTRL) ? KEYMOD_CTRL : 0) |
           ((mod & KMOD_ALT) ? KEYMOD_ALT : 0) | ((mod & KMOD_NUM) ? KEYMOD_NUM : 0);
}

void close_pads() {
    for (int i = 0; i < KEYMAP_MAX_PADS; ++i) {
        if (g_pads[i].controller) SDL_GameControllerClose(g_pads[i].controller);
        g_pads[i] = Pad{};
    }
    keymap_pads_reset();
}

// The program's icon, scaled up by whole pixels for the window manager's task
// bar and switcher (64 x 64; smaller sizes are exact halves of it).
constexpr int ICON_SCALE = 4;
constexpr int ICON_SIDE = ICON_PIXELS_SIZE * ICON_SCALE;
uint32_t g_icon[ICON_SIDE * ICON_SIDE];

void set_window_icon() {
    for (int y = 0; y < ICON_SIDE; ++y)
        for (int x = 0; x < ICON_SIDE; ++x)
            g_icon[y * ICON_SIDE + x] = ICON_PIXELS[y / ICON_SCALE * ICON_PIXELS_SIZE + x / ICON_SCALE];
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(g_icon, ICON_SIDE, ICON_SIDE, 32, ICON_SIDE * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return; // the window works without it
    SDL_SetWindowIcon(g_window, icon);
    SDL_FreeSurface(icon);
}

#ifndef CLOVENFELD_APP_ID
#error "CLOVENFELD_APP_ID, the desktop entry's id, comes from CMakeLists.txt"
#endif

// Before SDL starts its video: the window's class (X11) and application id
// (Wayland) are the desktop entry's id, unless the player set them.
void name_window_class() {
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", CLOVENFELD_APP_ID, 0);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", CLOVENFELD_APP_ID, 0);
}

void destroy_window() {
    if (g_overlay_texture) SDL_DestroyTexture(g_overlay_texture);
    g_overlay_texture = nullptr;
    if (g_banner_texture) SDL_DestroyTexture(g_banner_texture);
    g_banner_texture = nullptr;
    if (g_texture) SDL_DestroyTexture(g_texture);
    if (g_renderer) SDL_DestroyRenderer(g_renderer);
    if (g_window) SDL_DestroyWindow(g_window);
    g_texture = nullptr;
    g_renderer = nullptr;
    g_window = nullptr;
}

// Main thread: creates the window, its renderer and the streaming texture.
int create_window(const char* title) {
    if (!g_video_ok) return ERR_ILLEGAL_CALL;
    int scale = run_options.window_scale;
    if (scale < 1 || scale > WINDOW_SCALE_MAX) {
        SDL_Rect desk;
        scale = SDL_GetDisplayUsableBounds(0, &desk) == 0 ? start_scale(desk.w, desk.h) : 1;
    }
    Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (run_options.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED_DISPLAY(0), SDL_WINDOWPOS_CENTERED_DISPLAY(0),
                                g_width * scale, g_height * scale, flags);
    if (g_window) {
        set_window_icon();
        SDL_SetWindowMinimumSize(g_window, g_width / 2, g_height / 2);
        SDL_ShowCursor(run_options.fullscreen ? SDL_DISABLE : SDL_ENABLE);
        g_renderer = SDL_CreateRenderer(g_window, -1, 0);
        if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (g_renderer)
        g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      g_width, g_height);
    if (!g_texture) {
        notice("cannot open the window: %s", SDL_GetError());
        destroy_window();
        return ERR_ILLEGAL_CALL;
    }
    SDL_SetTextureBlendMode(g_texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(g_texture, SDL_ScaleModeNearest);
    g_frame_stale = true;
    SDL_DisplayMode mode;
    const int hz = SDL_GetWindowDisplayMode(g_window, &mode) == 0 ? mode.refresh_rate : 0;
    g_render_interval = std::chrono::microseconds(1000000 / (hz >= 30 && hz <= 1000 ? hz : 60));
    SDL_StartTextInput();
    SDL_RaiseWindow(g_window);
    return 0;
}

// Main thread: takes the newest visible page (if it changed) and shows it,
// scaled to the window's device pixels and centred on black.  The screen lock
// is held only while the changed rows are copied out of the page.
void render(bool force) {
    if (!g_window || g_closing) return;
    if (banner_changed()) force = true;
    int first = 0, last = -1;
    lock_screen();
    const Image* page = screen_is_open() ? shown_page() : nullptr;
    if (!g_closing && page != nullptr && page->pixels != nullptr && page->width == SCREEN_WIDTH &&
        page->height == SCREEN_HEIGHT && (take_dirty_rows(&first, &last) || force || g_frame_stale)) {
        if (g_frame_stale) first = 0, last = SCREEN_HEIGHT - 1;
        const auto* src = reinterpret_cast<const unsigned char*>(page->pixels);
        for (int y = first; y <= last; ++y)
            std::memcpy(&g_frame[y * SCREEN_WIDTH], src + static_cast<size_t>(y) * page->pitch, SCREEN_WIDTH * 4);
    }
    unlock_screen(1, 0); // reading marks no row dirty
    if (g_closing) return;
    const bool copied = first <= last;
    if (copied) {
        const SDL_Rect rows = {0, first, SCREEN_WIDTH, last - first + 1};
        SDL_UpdateTexture(g_texture, &rows, &g_frame[first * SCREEN_WIDTH], SCREEN_WIDTH * 4);
        g_frame_stale = false;
    }
    if (!copied && !force) return;
    int out_w = 0, out_h = 0;
    if (SDL_GetRendererOutputSize(g_renderer, &out_w, &out_h) != 0) SDL_GetWindowSize(g_window, &out_w, &out_h);
    const PageRect r = page_rect(out_w, out_h, run_options.window_fit);
    const SDL_Rect dst = {r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, &dst);
    if (g_paused) draw_overlay(dst);
    draw_banner(dst);
    SDL_RenderPresent(g_renderer);
}

bool is_fullscreen() { return g_window && (SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN) != 0; }

// Main thread: desktop fullscreen on or off; the pointer is hidden while on.
// The player's choice is remembered for the next start.
void toggle_fullscreen() {
    if (!g_window) return;
    SDL_SetWindowFullscreen(g_window, is_fullscreen() ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_ShowCursor(is_fullscreen() ? SDL_DISABLE : SDL_ENABLE);
    session_note_fullscreen(is_fullscreen());
}

// --- pause and its overlay (main thread) -------------------------------------------

bool g_overlay_stale = true;
alignas(64) uint32_t g_overlay[SCREEN_WIDTH * SCREEN_HEIGHT];

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
    g_overlay_stale = true;
}

// The close button, Alt+F4, the window manager or the pause menu's Quit: the
// game thread ends the program at its next tick.  Set under the lock, so a
// game thread waiting in the pause cannot miss it.
void request_close() {
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_close_button = true;
    }
    g_cv.notify_all();
}

void toggle_mute() {
    sound_set_muted(!sound_muted());
    session_note_mute(sound_muted());
}

// Builds the overlay's picture (translucent black and the text) when its
// text changed, and shows it over the page at the page's place.
void draw_overlay(const SDL_Rect& dst) {
    if (!g_overlay_texture) {
        g_overlay_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                              SCREEN_WIDTH, SCREEN_HEIGHT);
        if (!g_overlay_texture) return;
        SDL_SetTextureBlendMode(g_overlay_texture, SDL_BLENDMODE_BLEND);
        SDL_SetTextureScaleMode(g_overlay_texture, SDL_ScaleModeNearest);
        g_overlay_stale = true;
    }
    if (g_overlay_stale) {
        OverlayText text;
        pause_menu_text(&text);
        overlay_draw(g_overlay, SCREEN_WIDTH, text, false);
        SDL_UpdateTexture(g_overlay_texture, nullptr, g_overlay, SCREEN_WIDTH * 4);
        g_overlay_stale = false;
    }
    SDL_RenderCopy(g_renderer, g_overlay_texture, nullptr, &dst);
}

// The banner over the picture (banner.h): its texture is drawn again when
// what it shows changed, and shown while there is one.
alignas(64) uint32_t g_banner[SCREEN_WIDTH * SCREEN_HEIGHT];
char g_banner_text[BANNER_CHARS] = "";

bool banner_changed() {
    char text[BANNER_CHARS];
    const unsigned now = banner_current(text, banner_clock_ms());
    if (now == g_banner_shown) return false;
    g_banner_shown = now;
    std::memcpy(g_banner_text, text, sizeof text);
    if (g_banner_texture && g_banner_text[0] != '\0') {
        banner_draw(g_banner, SCREEN_WIDTH, g_banner_text, false);
        SDL_UpdateTexture(g_banner_texture, nullptr, g_banner, SCREEN_WIDTH * 4);
    }
    return true;
}

void draw_banner(const SDL_Rect& dst) {
    if (g_banner_text[0] == '\0') return;
    if (!g_banner_texture) {
        g_banner_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                             SCREEN_WIDTH, SCREEN_HEIGHT);
        if (!g_banner_texture) return;
        SDL_SetTextureBlendMode(g_banner_texture, SDL_BLENDMODE_BLEND);
        SDL_SetTextureScaleMode(g_banner_texture, SDL_ScaleModeNearest);
        banner_draw(g_banner, SCREEN_WIDTH, g_banner_text, false);
        SDL_UpdateTexture(g_banner_texture, nullptr, g_banner, SCREEN_WIDTH * 4);
    }
    SDL_RenderCopy(g_renderer, g_banner_texture, nullptr, &dst);
}

// A key pressed while paused.  The game sees none of them.
void paused_key(const SDL_KeyboardEvent& k) {
    g_overlay_stale = true;
    switch (pause_menu_key(k.keysym.scancode)) {
    case PAUSE_RESUME: set_paused(false); break;
    case PAUSE_MUTE: toggle_mute(); break;
    case PAUSE_FULLSCREEN: toggle_fullscreen(); break;
    case PAUSE_QUIT: // the game ends as the player's Escape ends it
        input_quit_game();
        set_paused(false);
        break;
    case PAUSE_STAY: break;
    }
}

// --- gamepads (main thread) ------------------------------------------------------

int pad_slot(SDL_JoystickID id) {
    for (int i = 0; i < KEYMAP_MAX_PADS; ++i)
        if (g_pads[i].controller && g_pads[i].id == id) return i;
    return -1;
}

// A pad was plugged in (or was there at start): open it into a free slot.
void pad_added(int device_index) {
    SDL_GameController* c = SDL_GameControllerOpen(device_index);
    if (!c) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c));
    if (pad_slot(id) >= 0) { // reported twice: already open
        SDL_GameControllerClose(c);
        return;
    }
    for (int i = 0; i < KEYMAP_MAX_PADS; ++i) {
        if (!g_pads[i].controller) {
            g_pads[i] = Pad{c, id};
            keymap_pad_removed(i); // starts with nothing held
            return;
        }
    }
    SDL_GameControllerClose(c); // more pads than slots: this one is not used
}

void pad_removed(SDL_JoystickID id) {
    const int slot = pad_slot(id);
    if (slot < 0) return;
    keymap_pad_removed(slot);
    SDL_GameControllerClose(g_pads[slot].controller);
    g_pads[slot] = Pad{};
}

int pad_button(Uint8 button) {
    switch (button) {
    case SDL_CONTROLLER_BUTTON_A: return PAD_A;
    case SDL_CONTROLLER_BUTTON_B: return PAD_B;
    case SDL_CONTROLLER_BUTTON_X: return PAD_X;
    case SDL_CONTROLLER_BUTTON_Y: return PAD_Y;
    case SDL_CONTROLLER_BUTTON_START: return PAD_START;
    case SDL_CONTROLLER_BUTTON_BACK: return PAD_BACK;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return PAD_DPAD_UP;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return PAD_DPAD_DOWN;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return PAD_DPAD_LEFT;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return PAD_DPAD_RIGHT;
    default: return PAD_OTHER;
    }
}

int pad_axis(Uint8 axis) {
    if (axis == SDL_CONTROLLER_AXIS_LEFTX) return PAD_LEFT_X;
    if (axis == SDL_CONTROLLER_AXIS_LEFTY) return PAD_LEFT_Y;
    return PAD_OTHER_AXIS;
}

// A key pressed or let go: to the window, the pause menu or the game (key_route.h).
void route_key(const SDL_KeyboardEvent& k, bool* redraw) {
    const SDL_Scancode sc = k.keysym.scancode;
    const bool down = k.type == SDL_KEYDOWN;
    switch (key_route(sc, down, k.repeat != 0, keymap_mods(k.keysym.mod), g_paused)) {
    case ROUTE_GAME:
        if (down) keymap_key_down(sc, keymap_mods(k.keysym.mod));
        else keymap_key_up(sc);
        return;
    case ROUTE_FULLSCREEN: toggle_fullscreen(); break;
    case ROUTE_MUTE: toggle_mute(); break;
    case ROUTE_PAUSE: set_paused(true); break;
    case ROUTE_MENU: paused_key(k); break;
    case ROUTE_NONE: return;
    }
    *redraw = true;
}

void handle_event(const SDL_Event& e, bool* redraw) {
    switch (e.type) {
    // SDL scancodes are HID usages.
    case SDL_KEYDOWN:
    case SDL_KEYUP: route_key(e.key, redraw); break;
    case SDL_AUDIODEVICEADDED:
        if (!e.adevice.iscapture) sdl_audio_device_added();
        break;
    case SDL_AUDIODEVICEREMOVED:
        if (!e.adevice.iscapture) sdl_audio_device_removed(e.adevice.which);
        break;
    case SDL_TEXTINPUT:
        if (!g_paused) keymap_text(e.text.text);
        break;
    case SDL_QUIT:
        // The key code the close button has always queued, then the end.
        input_event(INPUT_QUEUE, KEY_CLOSE_CODE);
        request_close(); // a paused game thread wakes to end
        break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            input_event(INPUT_CLEAR_HELD, 0);
            key_route_reset();
            keymap_pads_reset();
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
        case SDL_WINDOWEVENT_MINIMIZED:
            // Another window took the keys: the game waits (P resumes it).
            input_event(INPUT_CLEAR_HELD, 0);
            keymap_pads_reset();
            if (session_pause_on_focus_loss()) set_paused(true);
            *redraw = true;
            break;
        case SDL_WINDOWEVENT_RESIZED:
            // The player's own resize: its whole scale is remembered.
            if (!is_fullscreen() && e.window.data1 > 0 && e.window.data2 > 0) {
                const int s = std::min(e.window.data1 / g_width, e.window.data2 / g_height);
                if (s >= 1 && s <= WINDOW_SCALE_MAX) session_note_scale(s);
            }
            SDL_ShowCursor(is_fullscreen() ? SDL_DISABLE : SDL_ENABLE);
            *redraw = true;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // The window manager may change fullscreen too: keep the pointer right.
            SDL_ShowCursor(is_fullscreen() ? SDL_DISABLE : SDL_ENABLE);
            *redraw = true;
            break;
        default: break;
        }
        break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        g_frame_stale = true;
        *redraw = true;
        break;
    case SDL_CONTROLLERDEVICEADDED: pad_added(e.cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED: pad_removed(e.cdevice.which); break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        if (const int slot = pad_slot(e.cbutton.which); slot >= 0)
            // A button bound to a window action acts as its key does.
            switch (keymap_pad_button(slot, pad_button(e.cbutton.button), e.type == SDL_CONTROLLERBUTTONDOWN)) {
            case BIND_PAUSE: set_paused(!g_paused); *redraw = true; break;
            case BIND_MUTE: toggle_mute(); break;
            case BIND_FULLSCREEN: toggle_fullscreen(); *redraw = true; break;
            default: break;
            }
        break;
    case SDL_CONTROLLERAXISMOTION:
        if (const int slot = pad_slot(e.caxis.which); slot >= 0)
            keymap_pad_axis(slot, pad_axis(e.caxis.axis), e.caxis.value);
        break;
    default: break;
    }
}

// Main thread: shuts SDL down for good, the window first.
void shut_down_sdl() {
    destroy_window();
    sdl_audio_close();
    close_pads();
    if (g_video_ok) SDL_Quit();
    g_video_ok = false;
}

// Main thread, asked by the game thread to close because the program ends:
// the window goes, the game thread hears of it at once and ends the process,
// and SDL is shut down meanwhile for as long as the process lasts (closing a
// sound device may wait for it to drain).
void close_for_good() {
    destroy_window();
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_window_gone = true;
    }
    g_cv.notify_all();
    shut_down_sdl();
    std::lock_guard<std::mutex> lock(g_mx);
    g_closed = true;
    g_cv.notify_all();
}

bool on_main_thread() { return g_running && std::this_thread::get_id() == g_main_thread; }

// --- the back-end --------------------------------------------------------------------

int sdl_open(int width, int height, const char* title) {
    if (width > 0 && height > 0) {
        g_width = width;
        g_height = height;
    }
    keyboard_reset();
    if (run_options.record_path != nullptr && !recording_start(run_options.record_path)) {
        notice("cannot create the recording %s", run_options.record_path);
        end_program(2);
    }
    int result = ERR_ILLEGAL_CALL;
    {
        std::unique_lock<std::mutex> lock(g_mx);
        if (!g_running || on_main_thread() || g_closed || g_window_gone) return ERR_ILLEGAL_CALL;
        copy_title(title);
        g_open_done = false;
        g_open_requested = true;
        if (g_cv.wait_for(lock, std::chrono::seconds(20), [] { return g_open_done; })) result = g_open_result;
    }
    recording_tick(); // the input of tick 0
    return result;
}

void sdl_set_title(const char* title) {
    std::lock_guard<std::mutex> lock(g_mx);
    copy_title(title);
    g_title_changed = true;
}

void sdl_present() { g_present = true; }

void sdl_banner(const char* text) {
    banner_set(text, banner_clock_ms());
    g_present = true;
}

void sdl_tick(int ms) {
    if (!run_options.fast && ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (g_paused) {
        // Paused: no tick passes until P (or the end of the program).
        std::unique_lock<std::mutex> lock(g_mx);
        g_cv.wait(lock, [] { return !g_paused || g_close_button; });
    }
    const long tick = platform_count_tick();
    platform_run_tick_hook(tick);
    // A close request ends the program as Escape on the title screen does,
    // at any moment.  It ends before this tick's input is taken, so the
    // recording ends here too: its replay runs out at this same tick, with
    // the same last picture.
    if (g_close_button) end_program(0);
    recording_tick();
    platform_check_stop_tick(tick);
}

void sdl_close() {
    recording_stop();
    session_save(); // the player's fullscreen, window scale, mute and keys
    g_closing = true; // from here on the window shows nothing
    if (on_main_thread()) {
        shut_down_sdl();
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
    // The main thread looks at least every few milliseconds and takes the
    // window away first; if it is stuck (a display that stopped answering),
    // the process ends without it.
    g_cv.wait_for(lock, std::chrono::milliseconds(250), [] { return g_window_gone || g_closed; });
}

// exit() called while the window runs comes from the X library, whose
// handler for a lost display connection exits the process while the game
// thread is still drawing.  End at once, with a clear message.
void unexpected_exit() {
    if (g_exit_expected) return;
    static const char text[] = "clovenfeld: the connection to the display was lost; the game ends\n";
    const ssize_t n = ::write(2, text, sizeof text - 1);
    (void)n;
    ::_exit(1);
}

} // namespace

const Platform sdl_platform = {"window", sdl_open, sdl_set_title, sdl_present, sdl_tick, sdl_close, false, true,
                               sdl_banner};

int run_with_window(int (*game_main)()) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); // Ctrl+C and SIGTERM still end the program
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    static bool exit_watch = false;
    if (!exit_watch) exit_watch = std::atexit(unexpected_exit) == 0;
    g_exit_expected = false;
    g_closing = false;
    g_close_button = false;
    g_paused = false;
    name_window_class();
    g_video_ok = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!g_video_ok) notice("no video: %s", SDL_GetError());
    // With no display SDL falls back to a driver that shows nothing and takes
    // no keys; the game would wait for ever.  Refuse it unless asked for.
    if (g_video_ok) {
        const char* driver = SDL_GetCurrentVideoDriver();
        const char* asked = SDL_getenv("SDL_VIDEODRIVER");
        const bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        if (invisible && (asked == nullptr || std::strcmp(asked, driver) != 0)) {
            notice("no display to open the window on (try --headless)");
            SDL_Quit();
            g_video_ok = false;
        }
    }
    // Gamepads are welcome but not needed: without them the keys still work.
    if (g_video_ok) SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    // Sound is welcome too: without a device the game plays on silently.
    if (g_video_ok) sdl_audio_open();
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
    });

    auto last_look = std::chrono::steady_clock::now();
    for (;;) {
        bool open = false, close = false, retitle = false;
        char title[sizeof g_title];
        {
            std::unique_lock<std::mutex> lock(g_mx);
            if (g_game_done) break;
            if (g_closed) {
                // SDL is gone; the game thread ends the process.
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
            const int r = create_window(title);
            std::lock_guard<std::mutex> lock(g_mx);
            g_open_result = r;
            g_open_done = true;
            g_cv.notify_all();
        }
        if (retitle && g_window) SDL_SetWindowTitle(g_window, title);
        if (close) {
            close_for_good();
            continue;
        }
        bool redraw = false;
        if (g_video_ok) {
            // Until the next page may be rendered there is nothing to do but
            // wait for events (a key wakes the wait at once); after that,
            // look for a presented page every 3 ms.
            const auto until_due = std::chrono::duration_cast<std::chrono::milliseconds>(
                last_look + g_render_interval - std::chrono::steady_clock::now());
            const int wait_ms = g_window ? static_cast<int>(std::clamp<long long>(until_due.count(), 3, 20)) : 3;
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, wait_ms)) {
                handle_event(e, &redraw);
                while (SDL_PollEvent(&e)) handle_event(e, &redraw);
            }
        } else {
            std::unique_lock<std::mutex> lock(g_mx);
            g_cv.wait_for(lock, std::chrono::milliseconds(3));
        }
        // Show a new page when one was presented, at most as often as the
        // display refreshes (more pages than that are never seen and only
        // take CPU time from the game); now and then also look for rows
        // changed without a present (a page made visible).
        const auto now = std::chrono::steady_clock::now();
        const bool due = now - last_look >= g_render_interval;
        if ((due && g_present.exchange(false)) || redraw || now - last_look > std::chrono::milliseconds(50)) {
            render(redraw);
            last_look = now;
        }
    }
    game.join();
    {
        std::lock_guard<std::mutex> lock(g_mx);
        if (!g_closed) shut_down_sdl();
        g_closed = true;
        g_running = false;
    }
    g_exit_expected = true;
    return status;
}
