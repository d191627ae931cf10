// window_core.h -- what the window back-ends (SDL, Win32) share, so each of
// them holds only what its window system alone can do.
//
// The game runs on a second thread; the window lives on the process's main
// thread (window_run).  The game thread asks the main thread to open,
// retitle and close the window and waits for the answer; present() only
// raises a flag, and the main thread shows the newest page when the display
// can take one.  The tick waits, then waits out a pause, then hands over to
// the run control (run_tick).  Keys are routed by one rule (key_route.h):
// pause, mute and fullscreen belong to the window, the pause menu takes
// every press while paused, the rest is the game's.  Watching a recording
// (viewer.h), the keys and pad buttons that are not the window's are the
// viewer's, and the tick waits as the viewer says.  The close button ends
// the program at the game thread's next tick.
#pragma once

#include <cstdint>

// What a window back-end fills in.  Every call comes on the main thread
// unless it says otherwise.
struct WindowDriver {
    // Opens the window (window_open_size, fullscreen with run_options'); 0,
    // or an error number when it cannot.  Calls window_set_refresh_hz.
    int (*create)(const char* title);
    void (*retitle)(const char* title);
    // Takes the window away: the program is ending.
    void (*take_away)();
    // Shuts down the rest (sound, pads, the window system); may be slow.
    void (*shut_down)();
    // Waits up to ms for the window system's events and handles them;
    // redraw is set when the window must be drawn again at once.
    void (*wait_events)(int ms, bool* redraw);
    // Shows the newest page (window_take_page) when it changed, or at once
    // with force.
    void (*render)(bool force);
    // Fullscreen on or off (the pointer hidden while on), and whether it is.
    void (*set_fullscreen)(bool on);
    bool (*fullscreen)();
    // The pause overlay's state or text changed: the window is to be drawn
    // again.  Null when the next render shows it anyway.
    void (*overlay_changed)();
    // Any thread: ends wait_events early.  Null when it returns within a few
    // milliseconds anyway.
    void (*wake)();
};

// --- the Platform fields of a window back-end (game thread) -------------------------
int window_open(int width, int height, const char* title);
void window_set_title(const char* title);
void window_present();
void window_banner(const char* text);
void window_tick(int ms);
void window_close();

// Runs game_main on a second thread and the window's loop on this (the main)
// thread until the game ends; returns its status.  Called by the back-end's
// run_with_window between its own start-up and shut-down.
int window_run(const WindowDriver& driver, int (*game_main)());

// --- for the back-ends, on the main thread ---------------------------------------------
// A key (HID usage) went down or up; mods are KEYMOD_* flags.  True when the
// window is to be drawn again (a window key acted).
bool window_key(int usage, bool down, bool repeat, int mods);
// A pad's button (PadButton) went down or up in slot pad; a button bound to
// pause, mute or fullscreen acts as its key does.  True as window_key.
bool window_pad_button(int pad, int button, bool down);
// Typed text (UTF-8): the game's, unless paused or watching.
void window_text(const char* utf8);
// A pad's stick moved (PadAxis): the game's, unless watching.
void window_pad_axis(int pad, int axis, int value);
// Pads that come and go by the back-end's own ids: a new pad takes the first
// free key-map slot (starting with nothing held); the slot, or -1 when the id
// has one already or every slot is taken.
int window_pad_added(int id);
// The key-map slot of the pad with id, or -1.
int window_pad_slot(int id);
// The pad with id went away: what it held is let go.  Its slot, or -1.
int window_pad_removed(int id);
// The pointer (pointer.h): a report of kind (PointerEventKind) at (x, y)
// device pixels of an output of out_w x out_h, on which the page lies as
// render lays it out (page_rect); value is the button, the wheel's notches
// or the finger's id.
void window_pointer(int out_w, int out_h, int kind, int x, int y, int value);
// The window got or lost the keys (lost also when minimised).
void window_focus(bool gained);
// The close button (or Alt+F4, or the window manager).
void window_close_button();
bool window_paused();
// From here on the window shows nothing: the program is ending.
bool window_closing();
// The display's refresh rate: pages are shown no more often (30 to 1000 Hz;
// anything else counts as 60).
void window_set_refresh_hz(int hz);
// The size the window opens at in device pixels: --scale's, or the largest
// whole scale that fits a usable desktop of usable_w x usable_h (0 x 0 when
// unknown: 1x).
void window_open_size(int usable_w, int usable_h, int* w, int* h);
// The player resized the window to w x h device pixels: a whole scale is
// remembered for the next start (not while fullscreen).
void window_resized(int w, int h);
// The window's size in pages (640 x 480 unless opened otherwise).
int window_page_width();
int window_page_height();
// Copies the rows of the visible page that changed (all of them with all)
// into frame (640 x 480 pixels); first and last give the rows copied (first
// > last: none).  Holds the screen lock only while it copies.
void window_take_page(uint32_t* frame, bool all, int* first, int* last);
