// sdl_window.cpp -- the window back-end on SDL2: what only SDL does for the
// shared window core (window_core.h), which runs the game on a second thread
// and keeps the process's main thread for SDL (video, events, rendering).
// The main thread uploads the newest page the core copied out and renders it
// scaled to the window (window_layout.h), never waiting for the display, with
// the pause overlay and the banner over it.  F11 and Alt+Enter toggle desktop
// fullscreen.  Key and gamepad events go to the core's routing and through
// the shared key map (keymap.h) into the held-key table and the key queue.
// The window carries the program's icon, and its class is the desktop
// entry's id, so desktops match it to the menu entry.
#include "port/platform.h"
#include "platform/run.h"

#include "services/fatal.h"
#include "services/pointer.h"
#include "platform/keymap.h"
#include "platform/sdl_audio.h"
#include "services/screen.h"
#include "platform/window_core.h"
#include "platform/window_layout.h"
#include "platform/window_picture.h"
#include "port/notice.h"

#include "icon_pixels.h" // made by mkassets from assets/icon.txt

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

// exit() called while the window runs comes from the X library (below).
std::atomic<bool> g_exit_expected{false};

// --- main thread only ------------------------------------------------------------

bool g_video_ok = false;
SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
SDL_Texture* g_texture = nullptr;
bool g_frame_stale = true;   // the texture needs every row again
// The pause overlay and the banner, blended over the page (window_picture.h).
SDL_Texture* g_layers[LAYER_COUNT] = {};

// Open gamepads by key-map slot (window_pad_added), null where none.
SDL_GameController* g_pads[KEYMAP_MAX_PADS] = {};

bool is_fullscreen() { return g_window && (SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN) != 0; }

// The pointer is hidden over the fullscreen game.  The window manager may
// change fullscreen too: called whenever the window changes.
void show_cursor() { SDL_ShowCursor(is_fullscreen() ? SDL_DISABLE : SDL_ENABLE); }

// The modifier flags of SDL's modifier state.
int keymap_mods(Uint16 mod) {
    return ((mod & KMOD_SHIFT) ? KEYMOD_SHIFT : 0) | ((mod & KMOD_CTRL) ? KEYMOD_CTRL : 0) |
           ((mod & KMOD_ALT) ? KEYMOD_ALT : 0) | ((mod & KMOD_NUM) ? KEYMOD_NUM : 0);
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
    for (SDL_Texture*& layer : g_layers) {
        if (layer) SDL_DestroyTexture(layer);
        layer = nullptr;
    }
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
    SDL_Rect desk = {0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(0, &desk) != 0) desk = SDL_Rect{0, 0, 0, 0};
    int w = 0, h = 0;
    window_open_size(desk.w, desk.h, &w, &h);
    Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (run_options.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED_DISPLAY(0), SDL_WINDOWPOS_CENTERED_DISPLAY(0), w, h, flags);
    if (g_window) {
        set_window_icon();
        SDL_SetWindowMinimumSize(g_window, window_page_width() / 2, window_page_height() / 2);
        SDL_ShowCursor(run_options.fullscreen ? SDL_DISABLE : SDL_ENABLE);
        g_renderer = SDL_CreateRenderer(g_window, -1, 0);
        if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (g_renderer)
        g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      window_page_width(), window_page_height());
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
    window_set_refresh_hz(hz);
    SDL_StartTextInput();
    SDL_RaiseWindow(g_window);
    return 0;
}

// A layer (window_picture.h) blended over the page at dst, its texture made
// when first needed and filled again when its pixels changed.
void show_layer(PictureLayer which, const SDL_Rect& dst) {
    bool changed = false;
    const uint32_t* pixels = picture_layer(which, &changed);
    if (!pixels) return;
    SDL_Texture*& texture = g_layers[which];
    if (!texture) {
        texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, SCREEN_WIDTH,
                                    SCREEN_HEIGHT);
        if (!texture) return;
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
        changed = true;
    }
    if (changed) SDL_UpdateTexture(texture, nullptr, pixels, SCREEN_WIDTH * 4);
    SDL_RenderCopy(g_renderer, texture, nullptr, &dst);
}

// Main thread: takes the newest visible page (if it changed) and shows it,
// scaled to the window's device pixels and centred on black, the layers over
// it.  The rows that changed are uploaded to the texture.
void render(bool force) {
    int first = 0, last = -1;
    if (!g_window || !picture_update(force, g_frame_stale, &first, &last)) return;
    if (first <= last) {
        const SDL_Rect rows = {0, first, SCREEN_WIDTH, last - first + 1};
        SDL_UpdateTexture(g_texture, &rows, picture_page() + first * SCREEN_WIDTH, SCREEN_WIDTH * 4);
        g_frame_stale = false;
    }
    int out_w = 0, out_h = 0;
    if (SDL_GetRendererOutputSize(g_renderer, &out_w, &out_h) != 0) SDL_GetWindowSize(g_window, &out_w, &out_h);
    const PageRect r = page_rect(out_w, out_h, run_options.window_fit);
    const SDL_Rect dst = {r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, &dst);
    show_layer(LAYER_ASSISTS, dst);
    show_layer(LAYER_OVERLAY, dst);
    show_layer(LAYER_BANNER, dst);
    show_layer(LAYER_VIEWER, dst);
    SDL_RenderPresent(g_renderer);
}

// Main thread: desktop fullscreen on or off; the pointer is hidden while on.
void set_fullscreen(bool on) {
    if (!g_window) return;
    SDL_SetWindowFullscreen(g_window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    show_cursor();
}

// --- gamepads (main thread) ------------------------------------------------------

SDL_JoystickID pad_id(SDL_GameController* c) { return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c)); }

// A pad was plugged in (or was there at start): open it into a free slot.
void pad_added(int device_index) {
    SDL_GameController* c = SDL_GameControllerOpen(device_index);
    if (!c) return;
    const int slot = window_pad_added(pad_id(c));
    if (slot >= 0) g_pads[slot] = c;
    else SDL_GameControllerClose(c); // reported twice, or more pads than slots
}

void pad_removed(SDL_JoystickID id) {
    const int slot = window_pad_removed(id);
    if (slot < 0) return;
    SDL_GameControllerClose(g_pads[slot]);
    g_pads[slot] = nullptr;
}

void close_pads() {
    for (SDL_GameController* c : g_pads)
        if (c) pad_removed(pad_id(c));
    keymap_pads_reset();
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

// --- the pointer (main thread) -----------------------------------------------------

// The output's size in device pixels, and (x, y) given in the window's own
// units (which differ on a high-density display) in those pixels.
void pointer_pixels(float x, float y, int* ox, int* oy, int* out_w, int* out_h) {
    int win_w = 0, win_h = 0;
    SDL_GetWindowSize(g_window, &win_w, &win_h);
    if (SDL_GetRendererOutputSize(g_renderer, out_w, out_h) != 0) *out_w = win_w, *out_h = win_h;
    *ox = win_w > 0 ? static_cast<int>(x * *out_w / win_w) : 0;
    *oy = win_h > 0 ? static_cast<int>(y * *out_h / win_h) : 0;
}

int pointer_button_of(Uint8 b) {
    switch (b) {
    case SDL_BUTTON_LEFT: return POINTER_LEFT;
    case SDL_BUTTON_RIGHT: return POINTER_RIGHT;
    case SDL_BUTTON_MIDDLE: return POINTER_MIDDLE;
    default: return 0;
    }
}

void pointer_event(const SDL_Event& e) {
    if (!g_window) return;
    int x, y, w, h;
    switch (e.type) {
    case SDL_MOUSEMOTION:
        if (e.motion.which == SDL_TOUCH_MOUSEID) return; // a finger, reported as one below
        pointer_pixels(static_cast<float>(e.motion.x), static_cast<float>(e.motion.y), &x, &y, &w, &h);
        window_pointer(w, h, POINTER_MOVE, x, y, 0);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (e.button.which == SDL_TOUCH_MOUSEID) return;
        pointer_pixels(static_cast<float>(e.button.x), static_cast<float>(e.button.y), &x, &y, &w, &h);
        window_pointer(w, h, e.type == SDL_MOUSEBUTTONDOWN ? POINTER_DOWN : POINTER_UP, x, y, pointer_button_of(e.button.button));
        break;
    case SDL_MOUSEWHEEL:
        if (e.wheel.which == SDL_TOUCH_MOUSEID) return;
        window_pointer(0, 0, POINTER_WHEEL, 0, 0, e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y);
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
        int win_w = 0, win_h = 0;
        SDL_GetWindowSize(g_window, &win_w, &win_h);
        pointer_pixels(e.tfinger.x * win_w, e.tfinger.y * win_h, &x, &y, &w, &h);
        const int kind = e.type == SDL_FINGERDOWN   ? POINTER_TOUCH_DOWN
                         : e.type == SDL_FINGERUP ? POINTER_TOUCH_UP
                                                  : POINTER_TOUCH_MOVE;
        window_pointer(w, h, kind, x, y, static_cast<int>(e.tfinger.fingerId & 0x7fffffff));
        break;
    }
    default: break;
    }
}

void handle_event(const SDL_Event& e, bool* redraw) {
    switch (e.type) {
    // SDL scancodes are HID usages.
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (window_key(e.key.keysym.scancode, e.type == SDL_KEYDOWN, e.key.repeat != 0, keymap_mods(e.key.keysym.mod)))
            *redraw = true;
        break;
    case SDL_AUDIODEVICEADDED:
        if (!e.adevice.iscapture) sdl_audio_device_added();
        break;
    case SDL_AUDIODEVICEREMOVED:
        if (!e.adevice.iscapture) sdl_audio_device_removed(e.adevice.which);
        break;
    case SDL_TEXTINPUT:
        window_text(e.text.text);
        break;
    case SDL_QUIT: window_close_button(); break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED: window_focus(true); break;
        case SDL_WINDOWEVENT_LEAVE: window_pointer(0, 0, POINTER_LEAVE, 0, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
        case SDL_WINDOWEVENT_MINIMIZED:
            window_focus(false);
            *redraw = true;
            break;
        case SDL_WINDOWEVENT_RESIZED:
            window_resized(e.window.data1, e.window.data2); // the player's own resize
            [[fallthrough]];
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            show_cursor();
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
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: pointer_event(e); break;
    case SDL_CONTROLLERDEVICEADDED: pad_added(e.cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED: pad_removed(e.cdevice.which); break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        if (const int slot = window_pad_slot(e.cbutton.which);
            slot >= 0 && window_pad_button(slot, pad_button(e.cbutton.button), e.type == SDL_CONTROLLERBUTTONDOWN))
            *redraw = true;
        break;
    case SDL_CONTROLLERAXISMOTION:
        if (const int slot = window_pad_slot(e.caxis.which); slot >= 0)
            window_pad_axis(slot, pad_axis(e.caxis.axis), e.caxis.value);
        break;
    default: break;
    }
}

// Main thread: shuts down the rest of SDL for good (the window is gone).
void shut_down_sdl() {
    sdl_audio_close();
    close_pads();
    if (g_video_ok) SDL_Quit();
    g_video_ok = false;
}

void retitle(const char* title) { SDL_SetWindowTitle(g_window, title); }

// Main thread: waits up to ms for SDL's events and handles them.  Without
// video there are none: it only waits.
void wait_events(int ms, bool* redraw) {
    if (!g_video_ok) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        return;
    }
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, ms)) {
        handle_event(e, redraw);
        while (SDL_PollEvent(&e)) handle_event(e, redraw);
    }
}

const WindowDriver kDriver = {create_window, retitle,       destroy_window, shut_down_sdl, wait_events,
                              render,        set_fullscreen, is_fullscreen,  nullptr,       nullptr};

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

const Platform sdl_platform = {"window",    window_open, window_set_title, window_present, window_tick,
                               window_close, false,       true,             window_banner};

int run_with_window(int (*game_main)()) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); // Ctrl+C and SIGTERM still end the program
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    static bool exit_watch = false;
    if (!exit_watch) exit_watch = std::atexit(unexpected_exit) == 0;
    g_exit_expected = false;
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
    const int status = window_run(kDriver, game_main);
    g_exit_expected = true;
    return status;
}
