// screen.cpp -- the screen: two 640 x 480 pages of 32-bit pixels, the colours,
// the window title, the counted screen lock and the dirty rows of the visible page.
//
// The pages are fixed static arrays made once; open_screen only clears them and
// asks the back-end for its window.  The game thread draws on the work page;
// the window thread of the back-end reads the visible page under the same
// reentrant lock, and show_page copies (never exchanges) the work page over the
// visible page.  Nothing here allocates memory.

#include "services/screen.h"

#include "services/fatal.h"
#include "services/image.h"
#include "services/platform.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace {

constexpr uint32_t DEFAULT_FOREGROUND = 0xFFFFFFFF;
constexpr uint32_t DEFAULT_BACKGROUND = 0xFF000000;
constexpr int PAGE_PITCH = SCREEN_WIDTH * 4;
constexpr int TITLE_CHARS = 127;

alignas(64) uint32_t page_memory[SCREEN_PAGES][SCREEN_WIDTH * SCREEN_HEIGHT];
Image pages[SCREEN_PAGES];

// Read by both threads; written under the lock.
std::atomic<bool> is_open{false};
int page_count = 0;
int work_index = 0;
int visible_index = 0;
uint32_t fg_color = DEFAULT_FOREGROUND;
uint32_t bg_color = DEFAULT_BACKGROUND;
char title[TITLE_CHARS + 1] = "";

// The lock shared with the window thread, and how deep this thread holds it
// (so an unlock without a lock is ignored instead of freeing someone's lock).
std::recursive_mutex screen_mutex;
thread_local int lock_depth = 0;

// Dirty rows of the visible page, kept as one range (empty when first > last).
int dirty_first = 1;
int dirty_last = 0;

void fill_page(int index, uint32_t colour) {
    std::fill(page_memory[index], page_memory[index] + SCREEN_WIDTH * SCREEN_HEIGHT, colour);
}

} // namespace

int open_screen(int mode, int depth, int page_number, int /*flags*/, int /*refresh*/) {
    if (mode != 18 || depth != SCREEN_DEPTH || page_number < 1 || page_number > SCREEN_PAGES)
        return ERR_ILLEGAL_CALL;
    const bool reopening = is_open.load();
    {
        const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
        for (int i = 0; i < SCREEN_PAGES; ++i) {
            pages[i].bytes_per_pixel = 4;
            pages[i].width = SCREEN_WIDTH;
            pages[i].height = SCREEN_HEIGHT;
            pages[i].pitch = PAGE_PITCH;
            pages[i].pixels = page_memory[i];
            fill_page(i, bg_color);
        }
        page_count = page_number;
        work_index = 0;
        visible_index = 0;
        dirty_first = 0;
        dirty_last = SCREEN_HEIGHT - 1;
        is_open = true;
    }
    // A second open_screen only resets the pages: there is one window.
    if (reopening) return 0;
    if (platform()->open_window(SCREEN_WIDTH, SCREEN_HEIGHT, title) != 0) {
        const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
        is_open = false;
        return ERR_ILLEGAL_CALL;
    }
    return 0;
}

bool screen_is_open() { return is_open; }

void screen_size(int* width, int* height, int* depth) {
    if (width) *width = SCREEN_WIDTH;
    if (height) *height = SCREEN_HEIGHT;
    if (depth) *depth = SCREEN_DEPTH;
}

int set_pages(int work, int visible) {
    if (!is_open) return ERR_ILLEGAL_CALL;
    if (work < -1 || work >= page_count || visible < -1 || visible >= page_count)
        return ERR_ILLEGAL_CALL;
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    if (work != -1) work_index = work;
    if (visible != -1 && visible != visible_index) {
        visible_index = visible;
        dirty_first = 0;
        dirty_last = SCREEN_HEIGHT - 1;
    }
    return 0;
}

namespace {
bool pixels_on = true;
}

void set_pixel_work(bool on) { pixels_on = on; }
bool pixel_work() { return pixels_on; }

int show_page() {
    if (!is_open) return ERR_ILLEGAL_CALL;
    if (work_index == visible_index || !pixels_on) return 0;
    lock_screen();
    std::memcpy(page_memory[visible_index], page_memory[work_index], sizeof page_memory[0]);
    mark_visible_dirty(-1, -1);
    unlock_screen(-1, -1); // work is not visible here: marks nothing more
    // Outside the lock, so a back-end may take it while it presents.
    platform()->present();
    return 0;
}

int set_window_title(const char* text) {
    if (text == nullptr) return ERR_ILLEGAL_CALL;
    std::size_t n = 0;
    while (n < TITLE_CHARS && text[n] != '\0') ++n;
    std::memcpy(title, text, n);
    title[n] = '\0';
    if (is_open) platform()->set_title(title);
    return 0;
}

const char* window_title() { return title; }

int set_color(uint32_t foreground, uint32_t background, int flags, uint32_t* old_fg,
              uint32_t* old_bg) {
    if (old_fg) *old_fg = fg_color;
    if (old_bg) *old_bg = bg_color;
    if (!(flags & KEEP_FOREGROUND)) fg_color = foreground;
    if (!(flags & KEEP_BACKGROUND)) bg_color = background;
    return 0;
}

uint32_t foreground_color() { return fg_color; }
uint32_t background_color() { return bg_color; }

int clear_screen() {
    if (!is_open) return ERR_ILLEGAL_CALL;
    if (!pixels_on) return 0;
    lock_screen();
    fill_page(work_index, bg_color);
    unlock_screen(-1, -1);
    return 0;
}

void lock_screen() {
    screen_mutex.lock();
    ++lock_depth;
}

void unlock_screen(int first_row, int last_row) {
    // An unlock by a thread that holds no lock would free a lock it does not own.
    if (lock_depth == 0) return;
    if (is_open && work_index == visible_index)
        mark_visible_dirty(first_row, last_row);
    --lock_depth;
    screen_mutex.unlock();
}

Image* work_page() { return is_open ? &pages[work_index] : nullptr; }
Image* visible_page() { return is_open ? &pages[visible_index] : nullptr; }

bool take_dirty() {
    int first = 0;
    int last = 0;
    return take_dirty_rows(&first, &last);
}

bool take_dirty_rows(int* first, int* last) {
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    const bool any = dirty_first <= dirty_last;
    if (first) *first = any ? dirty_first : 0;
    if (last) *last = any ? dirty_last : -1;
    dirty_first = 1;
    dirty_last = 0;
    return any;
}

void mark_visible_dirty(int first_row, int last_row) {
    if (first_row == -1 && last_row == -1) {
        first_row = 0;
        last_row = SCREEN_HEIGHT - 1;
    }
    first_row = std::max(first_row, 0);
    last_row = std::min(last_row, SCREEN_HEIGHT - 1);
    if (first_row > last_row) return;
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    if (dirty_first > dirty_last) {
        dirty_first = first_row;
        dirty_last = last_row;
    } else {
        dirty_first = std::min(dirty_first, first_row);
        dirty_last = std::max(dirty_last, last_row);
    }
}

bool work_is_visible() { return is_open && work_index == visible_index; }

void close_screen_for_tests() {
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    is_open = false;
    page_count = 0;
    work_index = 0;
    visible_index = 0;
    fg_color = DEFAULT_FOREGROUND;
    bg_color = DEFAULT_BACKGROUND;
    title[0] = '\0';
    dirty_first = 1;
    dirty_last = 0;
}
