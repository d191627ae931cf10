// win32_window.cpp -- the window back-end on Windows' own window system
// (USER32 and GDI), as sdl_window.cpp is on SDL: what only Windows does for
// the shared window core (window_core.h), which runs the game on a second
// thread and keeps the process's main thread for the window and its messages
// (an event wakes that thread).  The newest page the core copied out is
// stretched to the window with StretchDIBits (whole scales, or --fit;
// window_layout.h), centred on black.  F11 and Alt+Enter toggle a borderless
// window over the monitor.  Key messages carry the set-1 scan code and the
// extended flag: win32_keys.h turns them into HID usages, so recordings made
// here replay anywhere; WM_CHAR brings the typed text.  Pads come through
// XInput (loaded when present), the sound through waveOut (win32_audio.h).
#include "port/platform.h"
#include "platform/run.h"

#include "platform/keymap.h"
#include "platform/win32_audio.h"
#include "platform/win32_keys.h"
#include "platform/window_core.h"
#include "platform/window_layout.h"
#include "platform/window_picture.h"
#include "port/notice.h"
#include "services/fatal.h"
#include "services/pointer.h"
#include "services/screen.h"

#include <windows.h>
#include <mmsystem.h>
#include <windowsx.h>

#include <algorithm>

namespace {

// Wakes the main thread's wait (any thread).
HANDLE g_wake = nullptr;

// --- main thread only ------------------------------------------------------------

HWND g_window = nullptr;
bool g_fullscreen = false;
WINDOWPLACEMENT g_placement = {sizeof(WINDOWPLACEMENT), 0, 0, {}, {}, {}};
LONGLONG g_qpc_rate = 1;    // QueryPerformanceCounter ticks a second

LONGLONG now_qpc() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Shows the page scaled and centred, the rest of the window black.
void paint(HDC dc) {
    if (!picture_page() || window_closing()) return;
    RECT client;
    GetClientRect(g_window, &client);
    const int out_w = client.right, out_h = client.bottom;
    if (out_w <= 0 || out_h <= 0) return;
    const PageRect r = page_rect(out_w, out_h, run_options.window_fit);
    const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT bands[4] = {{0, 0, out_w, r.y}, {0, r.y + r.h, out_w, out_h},
                           {0, r.y, r.x, r.y + r.h}, {r.x + r.w, r.y, out_w, r.y + r.h}};
    for (const RECT& b : bands)
        if (b.right > b.left && b.bottom > b.top) FillRect(dc, &b, black);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = SCREEN_WIDTH;
    bi.bmiHeader.biHeight = -SCREEN_HEIGHT; // top-down rows, as the page is
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, COLORONCOLOR); // nearest pixel: no blending
    StretchDIBits(dc, r.x, r.y, r.w, r.h, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, picture_composed(), &bi,
                  DIB_RGB_COLORS, SRCCOPY);
}

void render(bool force) {
    int first = 0, last = -1;
    if (!g_window || !picture_update(force, false, &first, &last)) return;
    if (HDC dc = GetDC(g_window)) {
        paint(dc);
        ReleaseDC(g_window, dc);
    }
}

// --- fullscreen, mute, pause (main thread) -------------------------------------------

const DWORD WINDOWED_STYLE = WS_OVERLAPPEDWINDOW;

void set_fullscreen(bool on) {
    if (!g_window || on == g_fullscreen) return;
    if (on) {
        GetWindowPlacement(g_window, &g_placement);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfo(MonitorFromWindow(g_window, MONITOR_DEFAULTTOPRIMARY), &mi);
        SetWindowLongPtr(g_window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
        SetWindowPos(g_window, HWND_TOP, mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right - mi.rcMonitor.left,
                     mi.rcMonitor.bottom - mi.rcMonitor.top, SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    } else {
        SetWindowLongPtr(g_window, GWL_STYLE, WINDOWED_STYLE | WS_VISIBLE);
        SetWindowPlacement(g_window, &g_placement);
        SetWindowPos(g_window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    }
    g_fullscreen = on;
    InvalidateRect(g_window, nullptr, FALSE);
}

bool is_fullscreen() { return g_fullscreen; }

// The pause overlay changed: the window is painted again.
void overlay_changed() {
    if (g_window) InvalidateRect(g_window, nullptr, FALSE);
}

int key_state(int vk) { return GetKeyState(vk); }

// A key pressed or let go: to the window, the pause menu or the game (key_route.h).
void key_message(WPARAM vk, LPARAM lp, bool down) {
    Win32Key key;
    if (win32_key(static_cast<unsigned>(vk), lp, down, key_state, &key))
        window_key(key.usage, key.down, key.repeat, key.mods);
}

// --- gamepads through XInput (main thread), loaded when the system has it -------------

struct PadState {
    WORD wButtons;
    BYTE bLeftTrigger, bRightTrigger;
    SHORT sThumbLX, sThumbLY, sThumbRX, sThumbRY;
};
struct PadReading {
    DWORD dwPacketNumber;
    PadState Gamepad;
};
using GetPadState = DWORD(WINAPI*)(DWORD, PadReading*);
GetPadState g_get_pad = nullptr;
enum { XPADS = 4 };
bool g_pad_connected[XPADS] = {};
PadState g_pad_last[XPADS] = {};
LONGLONG g_pad_next_search = 0; // when to look at the empty slots again

void load_xinput() {
    for (const char* dll : {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"})
        if (HMODULE m = LoadLibraryA(dll)) {
            g_get_pad = reinterpret_cast<GetPadState>(reinterpret_cast<void*>(GetProcAddress(m, "XInputGetState")));
            if (g_get_pad) return;
        }
}

void poll_pads() {
    if (!g_get_pad) return;
    static const struct { WORD mask; int button; } kButtons[] = {
        {0x1000, PAD_A}, {0x2000, PAD_B}, {0x4000, PAD_X}, {0x8000, PAD_Y}, {0x0010, PAD_START},
        {0x0020, PAD_BACK}, {0x0001, PAD_DPAD_UP}, {0x0002, PAD_DPAD_DOWN}, {0x0004, PAD_DPAD_LEFT},
        {0x0008, PAD_DPAD_RIGHT}};
    // An empty slot is slow to ask: those are looked at once a second.
    const LONGLONG now = now_qpc();
    const bool search = now >= g_pad_next_search;
    if (search) g_pad_next_search = now + g_qpc_rate;
    for (int i = 0; i < XPADS; ++i) {
        if (!g_pad_connected[i] && !search) continue;
        PadReading r{};
        const bool connected = g_get_pad(static_cast<DWORD>(i), &r) == ERROR_SUCCESS;
        if (!connected) {
            if (g_pad_connected[i]) keymap_pad_removed(i);
            g_pad_connected[i] = false;
            continue;
        }
        if (!g_pad_connected[i]) {
            keymap_pad_removed(i); // starts with nothing held
            g_pad_last[i] = PadState{};
            g_pad_connected[i] = true;
        }
        const PadState& was = g_pad_last[i];
        for (const auto& b : kButtons)
            if ((r.Gamepad.wButtons & b.mask) != (was.wButtons & b.mask))
                window_pad_button(i, b.button, (r.Gamepad.wButtons & b.mask) != 0);
        if (r.Gamepad.sThumbLX != was.sThumbLX) window_pad_axis(i, PAD_LEFT_X, r.Gamepad.sThumbLX);
        // XInput's stick is positive upwards, the key map's downwards.
        if (r.Gamepad.sThumbLY != was.sThumbLY) window_pad_axis(i, PAD_LEFT_Y, -1 - r.Gamepad.sThumbLY);
        g_pad_last[i] = r.Gamepad;
    }
}

// --- the window (main thread) ----------------------------------------------------------

const wchar_t CLASS_NAME[] = L"ClovenfeldWindow";

// The mouse over the client area (device pixels); a touch screen's fingers
// come as the mouse too.  The first move after the mouse came in asks for
// the message that says it left.
void mouse_message(HWND hwnd, UINT msg, LPARAM lp) {
    static bool tracking = false;
    RECT c;
    GetClientRect(hwnd, &c);
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!tracking) {
            TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, hwnd, 0};
            tracking = TrackMouseEvent(&t) != FALSE;
        }
        window_pointer(c.right, c.bottom, POINTER_MOVE, x, y, 0);
        break;
    case WM_MOUSELEAVE:
        tracking = false;
        window_pointer(0, 0, POINTER_LEAVE, 0, 0, 0);
        break;
    default: {
        const bool down = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN;
        const int button = (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP)   ? POINTER_LEFT
                           : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) ? POINTER_RIGHT
                                                                            : POINTER_MIDDLE;
        // Held, the mouse stays ours past the window's edge until let go.
        if (down) SetCapture(hwnd);
        window_pointer(c.right, c.bottom, down ? POINTER_DOWN : POINTER_UP, x, y, button);
        if (!down) {
            PointerState now;
            pointer_state(&now);
            if (!now.buttons) ReleaseCapture();
        }
        break;
    }
    }
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        mouse_message(hwnd, msg, lp);
        return 0;
    case WM_MOUSEWHEEL: {
        // Fine wheels send parts of a notch: they add up to whole ones.
        static int part = 0;
        part += GET_WHEEL_DELTA_WPARAM(wp);
        if (part / WHEEL_DELTA) window_pointer(0, 0, POINTER_WHEEL, 0, 0, part / WHEEL_DELTA);
        part %= WHEEL_DELTA;
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (msg == WM_SYSKEYDOWN && wp == VK_F4) break; // Alt+F4 closes, as everywhere
        key_message(wp, lp, true);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        key_message(wp, lp, false);
        return 0;
    case WM_CHAR: {
        char utf8[8];
        if (win32_char(static_cast<unsigned>(wp), utf8)) window_text(utf8);
        return 0;
    }
    case WM_SYSCHAR: return 0; // no beep for Alt+key
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_KEYMENU) return 0; // Alt and F10 do not open the window menu
        break;
    case WM_CLOSE: window_close_button(); return 0;
    case WM_SETFOCUS: window_focus(true); return 0;
    case WM_KILLFOCUS: window_focus(false); return 0;
    case WM_SIZE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_EXITSIZEMOVE: { // the player's own resize (not the opening size nor fullscreen)
        RECT c;
        GetClientRect(hwnd, &c);
        window_resized(c.right, c.bottom);
        return 0;
    }
    case WM_GETMINMAXINFO: {
        RECT r = {0, 0, window_page_width() / 2, window_page_height() / 2};
        AdjustWindowRectEx(&r, WINDOWED_STYLE, FALSE, 0);
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize.x = r.right - r.left;
        info->ptMinTrackSize.y = r.bottom - r.top;
        return 0;
    }
    case WM_SETCURSOR:
        if (g_fullscreen && LOWORD(lp) == HTCLIENT) {
            SetCursor(nullptr); // no pointer over the fullscreen game
            return TRUE;
        }
        break;
    case WM_ERASEBKGND: return 1; // paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        int first = 0, last = -1;
        picture_update(false, false, &first, &last);
        paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int create_window(const char* title) {
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = window_proc;
        wc.hInstance = inst;
        wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
        wc.hIconSm = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = CLASS_NAME;
        registered = RegisterClassExW(&wc) != 0;
        if (!registered) {
            notice("cannot open the window: no window class (%lu)", GetLastError());
            return ERR_ILLEGAL_CALL;
        }
    }
    RECT work;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) work = RECT{0, 0, 0, 0};
    int client_w = 0, client_h = 0;
    window_open_size(work.right - work.left, work.bottom - work.top, &client_w, &client_h);
    RECT r = {0, 0, client_w, client_h};
    AdjustWindowRectEx(&r, WINDOWED_STYLE, FALSE, 0);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = work.left + std::max(0, (static_cast<int>(work.right - work.left) - w) / 2);
    const int y = work.top + std::max(0, (static_cast<int>(work.bottom - work.top) - h) / 2);
    wchar_t wide[128];
    MultiByteToWideChar(CP_ACP, 0, title, -1, wide, 128);
    g_window = CreateWindowExW(0, CLASS_NAME, wide, WINDOWED_STYLE, x, y, w, h, nullptr, nullptr, inst, nullptr);
    if (!g_window) {
        notice("cannot open the window (%lu)", GetLastError());
        return ERR_ILLEGAL_CALL;
    }
    g_fullscreen = false;
    ShowWindow(g_window, SW_SHOWNORMAL);
    if (run_options.fullscreen) set_fullscreen(true);
    SetForegroundWindow(g_window);
    SetFocus(g_window);
    UpdateWindow(g_window);
    // Pages are rendered no more often than the display refreshes.
    HDC dc = GetDC(g_window);
    const int hz = dc ? GetDeviceCaps(dc, VREFRESH) : 0;
    if (dc) ReleaseDC(g_window, dc);
    window_set_refresh_hz(hz);
    return 0;
}

void take_away() {
    if (g_window) DestroyWindow(g_window);
    g_window = nullptr;
}

void shut_down() {
    win32_audio_close();
    keymap_pads_reset();
}

void retitle(const char* title) {
    wchar_t wide[128];
    MultiByteToWideChar(CP_ACP, 0, title, -1, wide, 128);
    SetWindowTextW(g_window, wide);
}

// Waits up to ms for a message or the game thread's call, and handles them;
// the pads are read after each wait.
void wait_events(int ms, bool*) {
    MsgWaitForMultipleObjectsEx(1, &g_wake, static_cast<DWORD>(ms), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    poll_pads();
}

void wake_main() {
    if (g_wake) SetEvent(g_wake);
}

const WindowDriver kDriver = {create_window, retitle,       take_away,     shut_down,       wait_events,
                              render,        set_fullscreen, is_fullscreen, overlay_changed, wake_main};

} // namespace

const Platform windows_platform = {"window",     window_open, window_set_title, window_present, window_tick,
                                   window_close, false,       true,             window_banner};

int run_with_window(int (*game_main)()) {
    LARGE_INTEGER rate;
    QueryPerformanceFrequency(&rate);
    g_qpc_rate = rate.QuadPart > 0 ? rate.QuadPart : 1;
    timeBeginPeriod(1); // 10 ms waits last 10 ms, not a 15.6 ms timer step
    g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    load_xinput();
    win32_audio_open(); // welcome, not needed: without it the game plays silently
    const int status = window_run(kDriver, game_main);
    timeEndPeriod(1);
    return status;
}
