// platform_sdl.cpp -- the window back-end on SDL2.  run_with_window() keeps the
// process's main thread for SDL (video, events, rendering) and runs the game on
// a second thread.  The game thread asks the main thread to open, retitle and
// close the window and waits for the answer; present() only raises a flag, and
// the main thread copies the newest visible page into a streaming texture
// under the screen lock and renders it, never waiting for the display.  Key
// events become PC set-1 scan codes in the held-key table and code page 437
// characters or BIOS extended codes in the key queue.
#include "services/platform.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/keyboard.h"
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

// PC set-1 scan code of a key (0 = none the game knows).
int scan_code_of(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return 2 + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) return 59 + (sc - SDL_SCANCODE_F1);
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: return 1;
    case SDL_SCANCODE_0: return 11;
    case SDL_SCANCODE_MINUS: return 12;
    case SDL_SCANCODE_EQUALS: return 13;
    case SDL_SCANCODE_BACKSPACE: return 14;
    case SDL_SCANCODE_TAB: return 15;
    case SDL_SCANCODE_Q: return 16;
    case SDL_SCANCODE_W: return 17;
    case SDL_SCANCODE_E: return 18;
    case SDL_SCANCODE_R: return 19;
    case SDL_SCANCODE_T: return 20;
    case SDL_SCANCODE_Y: return 21;
    case SDL_SCANCODE_U: return 22;
    case SDL_SCANCODE_I: return 23;
    case SDL_SCANCODE_O: return 24;
    case SDL_SCANCODE_P: return 25;
    case SDL_SCANCODE_LEFTBRACKET: return 26;
    case SDL_SCANCODE_RIGHTBRACKET: return 27;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return 28;
    case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL: return 29;
    case SDL_SCANCODE_A: return 30;
    case SDL_SCANCODE_S: return 31;
    case SDL_SCANCODE_D: return 32;
    case SDL_SCANCODE_F: return 33;
    case SDL_SCANCODE_G: return 34;
    case SDL_SCANCODE_H: return 35;
    case SDL_SCANCODE_J: return 36;
    case SDL_SCANCODE_K: return 37;
    case SDL_SCANCODE_L: return 38;
    case SDL_SCANCODE_SEMICOLON: return 39;
    case SDL_SCANCODE_APOSTROPHE: return 40;
    case SDL_SCANCODE_GRAVE: return 41;
    case SDL_SCANCODE_LSHIFT: return 42;
    case SDL_SCANCODE_BACKSLASH: case SDL_SCANCODE_NONUSBACKSLASH: return 43;
    case SDL_SCANCODE_Z: return 44;
    case SDL_SCANCODE_X: return 45;
    case SDL_SCANCODE_C: return 46;
    case SDL_SCANCODE_V: return 47;
    case SDL_SCANCODE_B: return 48;
    case SDL_SCANCODE_N: return 49;
    case SDL_SCANCODE_M: return 50;
    case SDL_SCANCODE_COMMA: return 51;
    case SDL_SCANCODE_PERIOD: return 52;
    case SDL_SCANCODE_SLASH: case SDL_SCANCODE_KP_DIVIDE: return 53;
    case SDL_SCANCODE_RSHIFT: return 54;
    case SDL_SCANCODE_KP_MULTIPLY: return 55;
    case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: return 56;
    case SDL_SCANCODE_SPACE: return 57;
    case SDL_SCANCODE_CAPSLOCK: return 58;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 69;
    case SDL_SCANCODE_SCROLLLOCK: return 70;
    case SDL_SCANCODE_HOME: case SDL_SCANCODE_KP_7: return 71;
    case SDL_SCANCODE_UP: case SDL_SCANCODE_KP_8: return 72;
    case SDL_SCANCODE_PAGEUP: case SDL_SCANCODE_KP_9: return 73;
    case SDL_SCANCODE_KP_MINUS: return 74;
    case SDL_SCANCODE_LEFT: case SDL_SCANCODE_KP_4: return 75;
    case SDL_SCANCODE_KP_5: return 76;
    case SDL_SCANCODE_RIGHT: case SDL_SCANCODE_KP_6: return 77;
    case SDL_SCANCODE_KP_PLUS: return 78;
    case SDL_SCANCODE_END: case SDL_SCANCODE_KP_1: return 79;
    case SDL_SCANCODE_DOWN: case SDL_SCANCODE_KP_2: return 80;
    case SDL_SCANCODE_PAGEDOWN: case SDL_SCANCODE_KP_3: return 81;
    case SDL_SCANCODE_INSERT: case SDL_SCANCODE_KP_0: return 82;
    case SDL_SCANCODE_DELETE: case SDL_SCANCODE_KP_PERIOD: return 83;
    case SDL_SCANCODE_F11: return 87;
    case SDL_SCANCODE_F12: return 88;
    default: return 0;
    }
}

// The navigation key a key stands for (keypad keys only with Num Lock off).
SDL_Scancode navigation_key(SDL_Scancode sc, Uint16 mod) {
    const bool num = (mod & KMOD_NUM) != 0;
    switch (sc) {
    case SDL_SCANCODE_KP_8: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_UP;
    case SDL_SCANCODE_KP_2: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_DOWN;
    case SDL_SCANCODE_KP_4: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_LEFT;
    case SDL_SCANCODE_KP_6: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_RIGHT;
    case SDL_SCANCODE_KP_7: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_HOME;
    case SDL_SCANCODE_KP_1: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_END;
    case SDL_SCANCODE_KP_9: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_PAGEUP;
    case SDL_SCANCODE_KP_3: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_PAGEDOWN;
    case SDL_SCANCODE_KP_0: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_INSERT;
    case SDL_SCANCODE_KP_PERIOD: return num ? SDL_SCANCODE_UNKNOWN : SDL_SCANCODE_DELETE;
    default: return sc;
    }
}

// The PC keyboard BIOS extended code of a key that makes no character
// (0 = none): cursor keys alone give their scan code; Shift, Ctrl and Alt
// select other codes for the function keys and the cursor block.
int extended_code_of(SDL_Scancode key, Uint16 mod) {
    const bool shift = (mod & KMOD_SHIFT) != 0, ctrl = (mod & KMOD_CTRL) != 0, alt = (mod & KMOD_ALT) != 0;
    if (key >= SDL_SCANCODE_F1 && key <= SDL_SCANCODE_F10) {
        const int i = key - SDL_SCANCODE_F1;
        return alt ? 104 + i : ctrl ? 94 + i : shift ? 84 + i : 59 + i;
    }
    if (key == SDL_SCANCODE_F11 || key == SDL_SCANCODE_F12) {
        const int i = key - SDL_SCANCODE_F11;
        return alt ? 139 + i : ctrl ? 137 + i : shift ? 135 + i : 133 + i;
    }
    struct Nav { SDL_Scancode key; int plain, with_ctrl, with_alt; };
    static const Nav nav[] = {
        {SDL_SCANCODE_UP, 72, 141, 152},     {SDL_SCANCODE_DOWN, 80, 145, 160},
        {SDL_SCANCODE_LEFT, 75, 115, 155},   {SDL_SCANCODE_RIGHT, 77, 116, 157},
        {SDL_SCANCODE_HOME, 71, 119, 151},   {SDL_SCANCODE_END, 79, 117, 159},
        {SDL_SCANCODE_PAGEUP, 73, 132, 153}, {SDL_SCANCODE_PAGEDOWN, 81, 118, 161},
        {SDL_SCANCODE_INSERT, 82, 146, 162}, {SDL_SCANCODE_DELETE, 83, 147, 163},
    };
    for (const Nav& n : nav)
        if (n.key == key) return alt ? n.with_alt : ctrl ? n.with_ctrl : n.plain;
    return 0;
}

// Unicode of the code page 437 characters 128 to 255.
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Code page 437 value of a Unicode character, -1 if it has none.
int cp437_of(uint32_t cp) {
    if (cp < 128) return static_cast<int>(cp);
    for (int i = 0; i < 128; ++i)
        if (kCp437High[i] == cp) return 128 + i;
    return -1;
}

// Queues the characters of an SDL text-input event (UTF-8).
void queue_text(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) { cp = *p; extra = 0; }
        else if ((*p & 0xE0) == 0xC0) { cp = *p & 0x1F; extra = 1; }
        else if ((*p & 0xF0) == 0xE0) { cp = *p & 0x0F; extra = 2; }
        else if ((*p & 0xF8) == 0xF0) { cp = *p & 0x07; extra = 3; }
        else { ++p; continue; }
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (*p & 0x3F);
        }
        if (!ok) continue;
        const int c = cp437_of(cp);
        if (c >= 0) input_event(INPUT_QUEUE, c);
    }
}

void handle_key_down(const SDL_KeyboardEvent& k) {
    const SDL_Scancode sc = k.keysym.scancode;
    const Uint16 mod = k.keysym.mod;
    const int scan = scan_code_of(sc);
    if (scan > 0) input_event(INPUT_KEY_DOWN, scan);
    // Keys whose characters SDL does not send as text.
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: input_event(INPUT_QUEUE, 27); return;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: input_event(INPUT_QUEUE, 13); return;
    case SDL_SCANCODE_BACKSPACE: input_event(INPUT_QUEUE, 8); return;
    case SDL_SCANCODE_TAB: input_event(INPUT_QUEUE, 9); return;
    default: break;
    }
    // Ctrl with a letter types the control character 1 to 26.
    if ((mod & KMOD_CTRL) && !(mod & KMOD_ALT) && sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
        input_event(INPUT_QUEUE, 1 + (sc - SDL_SCANCODE_A));
        return;
    }
    const int ext = extended_code_of(navigation_key(sc, mod), mod);
    if (ext > 0) input_event(INPUT_QUEUE, 255 + 256 * ext);
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
    case SDL_KEYDOWN: handle_key_down(e.key); break;
    case SDL_KEYUP: {
        const int scan = scan_code_of(e.key.keysym.scancode);
        if (scan > 0) input_event(INPUT_KEY_UP, scan);
        break;
    }
    case SDL_TEXTINPUT: queue_text(e.text.text); break;
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
