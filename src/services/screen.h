// screen.h -- the screen: one 640 x 480 window with two pages of 32-bit pixels.
//
// Every drawing service writes the work page; the window shows the visible
// page.  show_page copies the finished work page over the visible page (a
// copy, never an exchange), so a half-drawn frame is never seen.  The window
// thread of the back-end reads the visible page under the same counted screen
// lock that the drawing services hold while they write.
#pragma once

#include <cstdint>

struct Image;

// Colours are 0xAARRGGBB; in memory a pixel is one little-endian word (B, G, R, A).
constexpr uint32_t TRANSPARENT_KEY = 0x00FF00FF; // low 24 bits of "nothing here"

enum { SCREEN_WIDTH = 640, SCREEN_HEIGHT = 480, SCREEN_DEPTH = 32, SCREEN_PAGES = 2 };

// set_color flag bits.
enum { KEEP_FOREGROUND = 1, KEEP_BACKGROUND = 2 };

// Opens the window (mode 18 = 640 x 480), depth 32, with `pages` pages, both
// black; work and visible page 0.  Error 1 if the mode cannot be set.
// Called once by the shell at start-up.
int open_screen(int mode, int depth, int pages, int flags, int refresh);

// True once open_screen has succeeded.
bool screen_is_open();

// Width, height and depth of the open screen (640, 480, 32).  Called by the shell.
void screen_size(int* width, int* height, int* depth);

// Selects the work and visible pages (-1 keeps the current one).
int set_pages(int work, int visible);

// Copies the work page over the visible page and asks the window to show it.
// Does nothing when both are the same page.  Never waits for the display.
int show_page();

// Keeps the first 127 characters as the window title, now or at open_screen.
int set_window_title(const char* text);
const char* window_title();

// Sets the colours; flags KEEP_FOREGROUND / KEEP_BACKGROUND leave one alone.
// The previous colours are returned through old_fg / old_bg when given.
int set_color(uint32_t foreground, uint32_t background, int flags,
              uint32_t* old_fg = nullptr, uint32_t* old_bg = nullptr);
uint32_t foreground_color();
uint32_t background_color();

// Fills the whole work page with the background colour.
int clear_screen();

// The counted, reentrant screen lock shared with the window thread.  The
// drawing services leave it with the rows they wrote, so those rows are marked
// dirty when the work page is the visible page.  An unlock by a thread that
// does not hold the lock is ignored.  Called by the shell and the services.
void lock_screen();
void unlock_screen(int first_row = -1, int last_row = -1);

// True while the screen is open and the work page is the visible page.
// Called by the services to decide whether drawing makes rows dirty.
bool work_is_visible();

// The pages as images (640 x 480, pitch 2560).  Used by the services, the
// back-ends and tests; the game itself never touches pixels directly.  Each
// call makes the page ready to be read and written: it settles what the
// screen put off (a clear's fill, show_page's copy), so take the page again
// after drawing or showing rather than keeping the pointer's pixels.
Image* work_page();
Image* visible_page();
// The visible page for reading only, without the copy visible_page may make:
// the window thread takes it under the screen lock and reads it there.
const Image* shown_page();

// Rows of the visible page changed since the window last took them; the
// window thread calls take_dirty() under the lock and gets whether any were.
bool take_dirty();
// The same, also giving the range of dirty rows (first > last when none).
bool take_dirty_rows(int* first, int* last);
// Marks rows dirty (-1, -1 = all; clipped to the page; first > last marks
// nothing).  Called by the services.
void mark_visible_dirty(int first_row, int last_row);

// Pixel work on or off.  Off, the drawing services (clear_screen, show_page,
// put_image, draw_line, draw_text) check their arguments and return as usual
// but write no pixels: a search tool that runs the game's frames thousands of
// times only for their outcome skips the drawing, which no game rule reads.
// On by default; the game itself never turns it off.
void set_pixel_work(bool on);
bool pixel_work();

// --- for the drawing services only (under the screen lock) ---------------------

// A clear is owed, not written, until someone draws into or reads the page:
// chunks[y] has bit k set while pixels 16k..16k+15 of row y still owe the
// colour.  `any` is false when nothing is owed.
enum { CLEAR_CHUNK = 16, CLEAR_CHUNKS = SCREEN_WIDTH / CLEAR_CHUNK };
struct DeferredClear {
    uint64_t chunks[SCREEN_HEIGHT];
    uint32_t colour;
    bool any;
};
// The chunk bits that columns x0 .. x1 - 1 (inside the page) touch.
inline uint64_t chunk_span(int x0, int x1) {
    const int first = x0 / CLEAR_CHUNK, last = (x1 - 1) / CLEAR_CHUNK;
    return ((uint64_t{2} << last) - 1) & ~((uint64_t{1} << first) - 1);
}
// The work page, given a buffer of its own (owed fills stay owed); null when
// no screen is open.  The caller then settles or honours the owed fills of
// what it writes.  Called by put_image, draw_line, draw_text.
Image* page_for_drawing();
// The owed fills of the work page.  Called by put_image.
DeferredClear* work_deferred_clear();
// Pays the owed fills of the work page in columns x0 .. x1 - 1 of rows
// y0 .. y1 - 1 (clipped to the page).  Called by draw_line and draw_text.
void settle_rect(int x0, int y0, int x1, int y1);
// Whether an image is one of the pages; a page drawn as an image is settled
// first.  Called by put_image and load_bitmap.
bool is_page_image(const Image* image);
void settle_page_image(const Image* image);

// For tests: closes the screen without ending the process, so the next
// open_screen opens it again.
void close_screen_for_tests();
