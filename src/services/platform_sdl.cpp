// platform_sdl.cpp -- the window back-end on SDL2.  run_with_window() keeps the
// process's main thread for SDL (video, events, rendering) and runs the game on
// a second thread.  The game thread asks the main thread to open, retitle and
// close the window and waits for the answer; present() only raises a flag, and
// the main thread copies the newest visible page into a streaming texture
// under the screen lock and renders it, never waiting for the display.  Key
// events go through the shared key map (keymap.h) into the held-key table and
// the key queue.
#include "services/platform.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "services/keymap.h"
#include "services/screen.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

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
bool g_closed = false;           // SDL is shut down for good
bool g_title_changed = false;
char g_title[128] = "";
bool g_game_done = false;
std::atomic<bool> g_present{false};

// --- main thread only ------------------------------------------------------------

bool g_video_ok = false;
SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
SDL_Texture* g_texture = nullptr;
int g_width = 640, g_height = 480;

void copy_title(const char* title) {
    std::snprintf(g_title, sizeof g_title, "%s", title ? title : "");
}

// The modifier flags of SDL's modifier state.
int keymap_mods(Uint16 mod) {
    return ((mod & KMOD_SHIFT) ? KEYMOD_SHIFT : 0) | ((mod & KMOD_CTRL) ? KEYMOD_CTRL : 0) |
           ((mod & KMOD_ALT) ? KEYMOD_ALT : 0) | ((mod & KMOD_NUM) ? KEYMOD_NUM : 0);
}

void destroy_window() {
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
    g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, g_width, g_height,
                                SDL_WINDOW_SHOWN);
    if (g_window) {
        g_renderer = SDL_CreateRenderer(g_window, -1, 0);
        if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (g_renderer)
        g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      g_width, g_height);
    if (!g_texture) {
        std::fprintf(stderr, "clovenfeld: cannot open the window: %s\n", SDL_GetError());
        destroy_window();
        return ERR_ILLEGAL_CALL;
    }
    SDL_SetTextureBlendMode(g_texture, SDL_BLENDMODE_NONE);
    SDL_StartTextInput();
    SDL_RaiseWindow(g_window);
    return 0;
}

// Main thread: takes the newest visible page (if it changed) and shows it.
void render(bool force) {
    if (!g_window) return;
    bool copied = false;
    lock_screen();
    Image* page = screen_is_open() ? visible_page() : nullptr;
    if (page != nullptr && page->pixels != nullptr && (take_dirty() || force)) {
        SDL_UpdateTexture(g_texture, nullptr, page->pixels, page->pitch);
        copied = true;
    }
    unlock_screen(1, 0); // reading marks no row dirty
    if (!copied && !force) return;
    // One window pixel per page pixel, at the top left, even when a window
    // manager has made the window larger than asked.
    const SDL_Rect dst = {0, 0, g_width, g_height};
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, &dst);
    SDL_RenderPresent(g_renderer);
}

void handle_event(const SDL_Event& e, bool* redraw) {
    switch (e.type) {
    // SDL scancodes are HID usages.
    case SDL_KEYDOWN: keymap_key_down(e.key.keysym.scancode, keymap_mods(e.key.keysym.mod)); break;
    case SDL_KEYUP: keymap_key_up(e.key.keysym.scancode); break;
    case SDL_TEXTINPUT: keymap_text(e.text.text); break;
    case SDL_QUIT: input_event(INPUT_QUEUE, KEY_CLOSE_CODE); break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST: input_event(INPUT_CLEAR_HELD, 0); break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: *redraw = true; break;
        default: break;
        }
        break;
    default: break;
    }
}

// Main thread: shuts SDL down for good.
void shut_down_sdl() {
    destroy_window();
    if (g_video_ok) SDL_Quit();
    g_video_ok = false;
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
        std::fprintf(stderr, "clovenfeld: cannot create the recording %s\n", run_options.record_path);
        end_program(2);
    }
    int result = ERR_ILLEGAL_CALL;
    {
        std::unique_lock<std::mutex> lock(g_mx);
        if (!g_running || on_main_thread() || g_closed) return ERR_ILLEGAL_CALL;
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

void sdl_tick(int ms) {
    if (!run_options.fast && ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const long tick = platform_count_tick();
    platform_run_tick_hook(tick);
    recording_tick();
    platform_check_stop_tick(tick);
}

void sdl_close() {
    recording_stop();
    if (on_main_thread()) {
        shut_down_sdl();
        return;
    }
    std::unique_lock<std::mutex> lock(g_mx);
    if (!g_running || g_closed) return;
    g_close_requested = true;
    // The main thread may be waiting for the screen lock that this thread
    // holds; then the process ends without a tidy close.
    g_cv.wait_for(lock, std::chrono::milliseconds(500), [] { return g_closed; });
}

} // namespace

const Platform sdl_platform = {"window", sdl_open, sdl_set_title, sdl_present, sdl_tick, sdl_close};

int run_with_window(int (*game_main)()) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); // Ctrl+C and SIGTERM still end the program
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    g_video_ok = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!g_video_ok) std::fprintf(stderr, "clovenfeld: no video: %s\n", SDL_GetError());
    // With no display SDL falls back to a driver that shows nothing and takes
    // no keys; the game would wait for ever.  Refuse it unless asked for.
    if (g_video_ok) {
        const char* driver = SDL_GetCurrentVideoDriver();
        const char* asked = SDL_getenv("SDL_VIDEODRIVER");
        const bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        if (invisible && (asked == nullptr || std::strcmp(asked, driver) != 0)) {
            std::fprintf(stderr, "clovenfeld: no display to open the window on (try --headless)\n");
            SDL_Quit();
            g_video_ok = false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(g_mx);
        g_running = true;
        g_main_thread = std::this_thread::get_id();
        g_game_done = false;
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
            shut_down_sdl();
            std::lock_guard<std::mutex> lock(g_mx);
            g_closed = true;
            g_cv.notify_all();
            continue;
        }
        bool redraw = false;
        if (g_video_ok) {
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, 3)) {
                handle_event(e, &redraw);
                while (SDL_PollEvent(&e)) handle_event(e, &redraw);
            }
        } else {
            std::unique_lock<std::mutex> lock(g_mx);
            g_cv.wait_for(lock, std::chrono::milliseconds(3));
        }
        // Show a new page when one was presented; now and then also look
        // for rows changed without a present (a page made visible).
        const auto now = std::chrono::steady_clock::now();
        if (g_present.exchange(false) || redraw || now - last_look > std::chrono::milliseconds(50)) {
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
    return status;
}
