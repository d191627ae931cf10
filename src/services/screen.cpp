// screen.cpp -- the screen: two 640 x 480 pages of 32-bit pixels, the colours,
// the window title, the counted screen lock and the dirty rows of the visible page.
//
// The pages are fixed static arrays made once; open_screen only clears them and
// asks the back-end for its window.  The game thread draws on the work page;
// the window thread of the back-end reads the visible page under the same
// reentrant lock, and show_page copies (never exchanges) the work page over the
// visible page.  Nothing here allocates memory.
//
// Two kinds of work are put off until someone could see their result:
//  - show_page's copy.  A page is a view of one of two pixel buffers.  After
//    show_page both pages view the work page's buffer; the first write to
//    either page gives it the other buffer: a copy of the shared one, or,
//    for clear_screen, which overwrites every pixel, no copy at all.
//  - clear_screen's fill.  A clear only marks every 16-pixel run of every row
//    ("chunk") of the work page's buffer as holding the background colour;
//    drawing fills a chunk before it writes into it (put_image writes the
//    image straight over the colour), and anyone who takes a page through
//    work_page, visible_page or shown_page gets it with every chunk filled.
// So a frame that nobody looks at costs only what it draws, and the pages
// anyone reads hold exactly what the plain copy and fill would have left.

#include "services/screen.h"

#include "services/fatal.h"
#include "services/image.h"
#include "port/platform.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#endif

namespace {

constexpr uint32_t DEFAULT_FOREGROUND = 0xFFFFFFFF;
constexpr uint32_t DEFAULT_BACKGROUND = 0xFF000000;
constexpr int PAGE_PITCH = SCREEN_WIDTH * 4;
constexpr int TITLE_CHARS = 127;
constexpr uint64_t ALL_CHUNKS = (uint64_t{1} << CLEAR_CHUNKS) - 1;
static_assert(CLEAR_CHUNKS * CLEAR_CHUNK == SCREEN_WIDTH && CLEAR_CHUNKS < 64);

// The two pixel buffers, one after the other, in one static block with room
// to start them on a 2 MB boundary: on Linux that lets them live in huge
// memory pages (see open_screen), where a blit, which steps 2560 bytes a row,
// no longer needs a new address translation every other row.
constexpr int PAGE_WORDS = SCREEN_WIDTH * SCREEN_HEIGHT;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
constexpr std::size_t BUFFER_ALIGN = std::size_t{2} << 20;
#else
constexpr std::size_t BUFFER_ALIGN = 64;
#endif
alignas(64) uint32_t page_block[SCREEN_PAGES * PAGE_WORDS + BUFFER_ALIGN / sizeof(uint32_t)];

// The first pixel of buffer b.
uint32_t* page_memory(int b) {
    const auto at = reinterpret_cast<uintptr_t>(page_block);
    const uintptr_t start = (at + BUFFER_ALIGN - 1) / BUFFER_ALIGN * BUFFER_ALIGN;
    return reinterpret_cast<uint32_t*>(start) + static_cast<std::size_t>(b) * PAGE_WORDS;
}
// The fills owed by each buffer (a set bit: that chunk holds the colour).
DeferredClear owed[SCREEN_PAGES];
// The buffer each page views; both pages view one buffer after show_page.
int buffer_of[SCREEN_PAGES] = {0, 1};
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
    std::fill(page_memory(index), page_memory(index) + PAGE_WORDS, colour);
    owed[index].any = false;
    std::fill(owed[index].chunks, owed[index].chunks + SCREEN_HEIGHT, uint64_t{0});
}

// Fills chunk k of row y of buffer b with its owed colour.
void fill_chunk(int b, int y, int k, uint32_t colour) {
    uint32_t* d = page_memory(b) + y * SCREEN_WIDTH + k * CLEAR_CHUNK;
    for (int i = 0; i < CLEAR_CHUNK; ++i) d[i] = colour;
}

// Pays every fill buffer b owes.  Under the lock.
void settle_buffer(int b) {
    DeferredClear& o = owed[b];
    if (!o.any) return;
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        uint64_t m = o.chunks[y];
        if (m == ALL_CHUNKS) {
            uint32_t* d = page_memory(b) + y * SCREEN_WIDTH;
            std::fill(d, d + SCREEN_WIDTH, o.colour);
        } else {
            while (m != 0) {
                fill_chunk(b, y, __builtin_ctzll(m), o.colour);
                m &= m - 1;
            }
        }
        o.chunks[y] = 0;
    }
    o.any = false;
}

// Gives page p a buffer of its own before it is written: a copy of the
// shared one, or when `overwritten` (every pixel is about to be replaced)
// the other buffer as it is.  Under the lock.
void own_buffer(int p, bool overwritten) {
    if (page_count < 2 || buffer_of[0] != buffer_of[1]) return;
    const int shared = buffer_of[p];
    const int spare = 1 - shared;
    if (!overwritten) {
        std::memcpy(page_memory(spare), page_memory(shared), PAGE_WORDS * sizeof(uint32_t));
        owed[spare] = owed[shared];
    }
    buffer_of[p] = spare;
    pages[p].pixels = page_memory(spare);
}

} // namespace

int open_screen(int mode, int depth, int page_number, int /*flags*/, int /*refresh*/) {
    if (mode != 18 || depth != SCREEN_DEPTH || page_number < 1 || page_number > SCREEN_PAGES)
        return ERR_ILLEGAL_CALL;
    const bool reopening = is_open.load();
#if defined(__linux__) && !defined(__EMSCRIPTEN__) && defined(MADV_HUGEPAGE)
    // Asked before the pages are first written; a refusal changes nothing.
    if (!reopening) madvise(page_memory(0), SCREEN_PAGES * PAGE_WORDS * sizeof(uint32_t), MADV_HUGEPAGE);
#endif
    {
        const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
        for (int i = 0; i < SCREEN_PAGES; ++i) {
            pages[i].bytes_per_pixel = 4;
            pages[i].width = SCREEN_WIDTH;
            pages[i].height = SCREEN_HEIGHT;
            pages[i].pitch = PAGE_PITCH;
            buffer_of[i] = i;
            pages[i].pixels = page_memory(i);
            pages[i].row_kinds = nullptr; // pages change all the time: tested pixel by pixel
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
    // A window reads the visible page on its own thread: the owed fills are
    // paid here, on the game thread, so it need not pay them under the lock.
    if (platform()->reads_shown_page) settle_buffer(buffer_of[work_index]);
    // The visible page now views the work page's buffer (see the top).
    buffer_of[visible_index] = buffer_of[work_index];
    pages[visible_index].pixels = pages[work_index].pixels;
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
    // Owed, not written (see the top).
    own_buffer(work_index, true);
    DeferredClear& o = owed[buffer_of[work_index]];
    std::fill(o.chunks, o.chunks + SCREEN_HEIGHT, ALL_CHUNKS);
    o.colour = bg_color;
    o.any = true;
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

namespace {
// A page as anyone outside the drawing services takes it: its own buffer,
// every fill paid, free to read and write.
Image* settled_page(int p) {
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    own_buffer(p, false);
    settle_buffer(buffer_of[p]);
    return &pages[p];
}
} // namespace

Image* work_page() { return is_open ? settled_page(work_index) : nullptr; }
Image* visible_page() { return is_open ? settled_page(visible_index) : nullptr; }

const Image* shown_page() {
    if (!is_open) return nullptr;
    const std::lock_guard<std::recursive_mutex> guard(screen_mutex);
    settle_buffer(buffer_of[visible_index]);
    return &pages[visible_index];
}

Image* page_for_drawing() {
    if (!is_open) return nullptr;
    own_buffer(work_index, false);
    return &pages[work_index];
}

DeferredClear* work_deferred_clear() { return &owed[buffer_of[work_index]]; }

void settle_rect(int x0, int y0, int x1, int y1) {
    DeferredClear& o = owed[buffer_of[work_index]];
    if (!o.any) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min<int>(x1, SCREEN_WIDTH);
    y1 = std::min<int>(y1, SCREEN_HEIGHT);
    if (x0 >= x1 || y0 >= y1) return;
    const uint64_t span = chunk_span(x0, x1);
    for (int y = y0; y < y1; ++y) {
        uint64_t m = o.chunks[y] & span;
        if (m == 0) continue;
        o.chunks[y] &= ~m;
        while (m != 0) {
            fill_chunk(buffer_of[work_index], y, __builtin_ctzll(m), o.colour);
            m &= m - 1;
        }
    }
}

bool is_page_image(const Image* image) {
    return image == &pages[0] || image == &pages[1];
}

void settle_page_image(const Image* image) {
    for (int p = 0; p < SCREEN_PAGES; ++p)
        if (image == &pages[p] && is_open) {
            own_buffer(p, false);
            settle_buffer(buffer_of[p]);
        }
}

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
    for (int b = 0; b < SCREEN_PAGES; ++b) {
        settle_buffer(b);
        buffer_of[b] = b;
        pages[b].pixels = page_memory(b);
    }
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
