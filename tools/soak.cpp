// soak.cpp -- long random play through every level, headless with full
// drawing, checking the game's invariants after every frame.
//
//   soak [--frames N] [--seed N] [--per-level N] [--dir GAMEDIR] [--twice]
//
// Levels 1 to 27 are played in turn, each started with LEVEL_SETUP and given
// --per-level frames (2000) before the next; a level completed or a game lost
// starts that level again.  The input is the tool's own seeded random walk,
// biased towards real movement: a key set (mostly Left or Right, sometimes
// with Up to jump, Up or Down alone for ladders) held for 8 to 60 frames.
// Every box is answered with Space.  After every frame it checks:
//   - 0 <= eggs_taken <= egg_total;
//   - every active swan inside the grid, and never aligned inside a block;
//   - the player within a screen of the map;
//   - every lift on its track (its row or column, inside the map);
// and it counts heap allocations made during frames (a hook on the allocator)
// and the resident memory.  The game's sounds are mixed as a window's audio
// callback mixes them, 480 frames a frame, counted with the frame.  A fatal error ends the run with its report and
// status, as in the game.  Every 1,000 frames it hashes the whole game state
// and the work page; with --twice the run is made again in the same process
// and every hash must match.  Exit status 0 when everything held, 1 when a
// check failed.
#include "../tests/headless_driver.h"
#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"
#include "services/fatal.h"
#include "services/image.h"
#include "sound/sound.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

// --- counting heap allocations ------------------------------------------------
//
// Counted only while g_counting is set (during frames).  Without AddressSanitizer
// malloc itself is replaced (operator new comes through it); with it, whose
// runtime owns malloc, operator new is counted instead.

namespace {
volatile long g_allocations = 0;
volatile bool g_counting = false;
} // namespace

#if defined(__SANITIZE_ADDRESS__)
void* operator new(size_t n) {
    if (g_counting) g_allocations = g_allocations + 1;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#else
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
    if (g_counting) g_allocations = g_allocations + 1;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
    if (g_counting) g_allocations = g_allocations + 1;
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
    if (g_counting) g_allocations = g_allocations + 1;
    return __libc_realloc(p, n);
}
#endif

namespace {

// --- options and the run's figures ---------------------------------------------

struct Options {
    long frames = 100000;
    uint32_t seed = 1;
    long per_level = 2000;
    const char* dir = ".";
    bool twice = false;
};

struct Figures {
    long frames = 0;
    long level_starts = 0;
    long lives_lost = 0;
    long sounds = 0;
    long levels_completed = 0;
    long eggs = 0;
    long frame_allocations = 0;
    long failures = 0;
    long rss_start_kb = 0, rss_end_kb = 0, rss_peak_kb = 0;
    double seconds = 0;
};

Options g_opt;
Figures g_fig;
uint64_t* g_hashes = nullptr; // one per 1,000 frames of the first run
long g_hash_count = 0;
bool g_box_waiting = false;
long g_frame = 0;

long rss_kb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void report_fatal(int status, const char* report) {
    // The report follows from fatal_error itself; this names where it came.
    if (report != nullptr && report[0] != '\0')
        std::fprintf(stderr, "soak: fatal error (status %d) at frame %ld on level %d\n", status, g_frame, level);
}

void on_event(const char* name) {
    if (std::strncmp(name, "infobox:", 8) == 0 || std::strcmp(name, "title") == 0) g_box_waiting = true;
}

void on_tick(long) {
    if (g_box_waiting) {
        keyboard_queue(' ');
        g_box_waiting = false;
    }
}

// The tool's own random numbers, apart from the game's.
struct Walk {
    uint64_t state;
    int keys = 0;
    int frames_left = 0;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
};

// The next frame's keys: a key set held for 8 to 60 frames, mostly walking.
int walk_keys(Walk* w) {
    if (w->frames_left == 0) {
        const uint32_t r = w->next() % 100;
        w->keys = r < 25   ? K_RIGHT
                  : r < 50 ? K_LEFT
                  : r < 60 ? K_UP | K_RIGHT
                  : r < 70 ? K_UP | K_LEFT
                  : r < 80 ? K_UP
                  : r < 90 ? K_DOWN
                  : r < 95 ? K_DOWN | (r & 1 ? K_LEFT : K_RIGHT)
                           : 0;
        w->frames_left = 8 + static_cast<int>(w->next() % 53);
    }
    w->frames_left--;
    return w->keys;
}

void fail(const char* what, long a, long b) {
    if (g_fig.failures++ < 20)
        std::fprintf(stderr, "soak: frame %ld, level %d: %s (%ld, %ld)\n", g_frame, level, what, a, b);
}

// The invariants of a running level.
void check_frame() {
    if (eggs_taken < 0 || eggs_taken > egg_total) fail("eggs taken outside 0..total", eggs_taken, egg_total);
    for (int i = 0; i < SWAN_SLOTS; ++i) {
        const Swan& s = swans.entry[i];
        if (!s.active) continue;
        if (s.col < 0 || s.col >= map_width || s.row < 0 || s.row >= map_height) {
            fail("swan outside the grid", s.col, s.row);
            continue;
        }
        if (s.sub_x == 0 && s.sub_y == 0 && cells.entry[s.row * map_width + s.col].code == CELL_BLOCK)
            fail("swan inside a block", s.col, s.row);
    }
    const long px = static_cast<long>(player_x) - scroll_x, py = static_cast<long>(player_y) - scroll_y;
    if (px < -640 || px > 32L * map_width + 640 || py < -480 || py > 32L * map_height + 480)
        fail("player more than a screen off the map", px, py);
    for (int i = 0; i <= last_cell; ++i) {
        const MapCell& c = cells.entry[i];
        if (c.code == CELL_LIFT_V && (c.x != 32 * c.col || c.y < 0 || c.y > 32 * map_height - 16))
            fail("vertical lift off its track", c.x, c.y);
        if (c.code == CELL_LIFT_H && (c.y != 32 * c.row || c.x < 0 || c.x > 32 * (map_width - 1)))
            fail("horizontal lift off its track", c.x, c.y);
    }
}

// FNV-1a over the game state and the picture on the work page.
uint64_t state_hash() {
    static Snapshot snap;
    std::memset(static_cast<void*>(&snap), 0, sizeof snap); // padding hashes as 0
    SNAPSHOT_TAKE(&snap);
    // Cells past the level's last, empty swan slots and key queue slots
    // already read keep values from earlier levels, which nothing reads:
    // they are left out.
    KeyboardState& kb = snap.keyboard;
    for (int k = 0; k < 16; ++k) {
        const int live = (k - kb.read + 16) % 16 < (kb.write - kb.read + 16) % 16;
        if (!live) kb.queue[k] = 0;
    }
    for (int k = snap.last_cell + 1; k < CELL_TABLE_SIZE; ++k) snap.cells.entry[k] = MapCell{};
    for (int k = 0; k < SWAN_SLOTS; ++k)
        if (!snap.swans.entry[k].active) snap.swans.entry[k] = Swan{};
    uint64_t h = 1469598103934665603ULL;
    auto mix = [&h](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (size_t k = 0; k < n; ++k) h = (h ^ b[k]) * 1099511628211ULL;
    };
    mix(&snap, sizeof snap);
    const Image* page = work_page();
    for (int y = 0; y < page->height; ++y) mix(page->row(y), static_cast<size_t>(page->width) * 4);
    return h;
}

// The sound: each cue starts its sound at once; every frame mixes 480 frames.
int16_t g_sound_block[SOUND_TICK_FRAMES * 2];
void soak_sound(int id, int x) {
    sound_start(id, x);
    g_fig.sounds++;
}

// One whole run: levels in turn until the frames are played.
void run(int pass) {
    Walk walk{0x9E3779B97F4A7C15ULL ^ g_opt.seed};
    g_frame = 0;
    long restarts = 0;
    int lvl = 1;
    while (g_frame < g_opt.frames) {
        const long level_end = g_frame + g_opt.per_level;
        LEVEL_SETUP(lvl, g_opt.seed * 131u + static_cast<uint32_t>(restarts));
        LEVEL_START();
        g_fig.level_starts++;
        restarts++;
        while (g_frame < level_end && g_frame < g_opt.frames) {
            const int lives_before = lives;
            const int eggs_before = eggs_taken;
            hold_keys(walk_keys(&walk));
            g_counting = true;
            PLAY_FRAME();
            sound_render(g_sound_block, SOUND_TICK_FRAMES); // the audio callback's share of the frame
            g_counting = false;
            g_frame++;
            if (lives < lives_before) g_fig.lives_lost++;
            if (eggs_taken > eggs_before) g_fig.eggs += eggs_taken - eggs_before;
            check_frame();
            if (g_frame % 1000 == 0) {
                const uint64_t h = state_hash();
                const long k = g_frame / 1000 - 1;
                if (pass == 1) g_hashes[g_hash_count++] = h;
                else if (g_hashes[k] != h) fail("state differs from the first run at this frame", k, 0);
                const long rss = rss_kb();
                if (pass == 1 && g_frame == 1000) g_fig.rss_start_kb = rss;
                if (rss > g_fig.rss_peak_kb) g_fig.rss_peak_kb = rss;
            }
            if (quit_code != 0) {
                if (quit_code == 2) g_fig.levels_completed++;
                break; // level completed or game lost: the level again
            }
        }
        if (g_frame >= level_end) lvl = lvl % LAST_LEVEL + 1;
    }
}

bool read_long(const char* text, long* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0) return false;
    *out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (std::strcmp(a, "--twice") == 0) {
            g_opt.twice = true;
        } else if (v != nullptr && std::strcmp(a, "--dir") == 0) {
            g_opt.dir = v;
            ++i;
        } else if (v != nullptr && read_long(v, &n) && std::strcmp(a, "--frames") == 0) {
            g_opt.frames = n;
            ++i;
        } else if (v != nullptr && read_long(v, &n) && n <= 0xFFFFFFFFL && std::strcmp(a, "--seed") == 0) {
            g_opt.seed = static_cast<uint32_t>(n);
            ++i;
        } else if (v != nullptr && read_long(v, &n) && n > 0 && std::strcmp(a, "--per-level") == 0) {
            g_opt.per_level = n;
            ++i;
        } else {
            std::fprintf(stderr, "usage: soak [--frames N] [--seed N] [--per-level N] [--dir GAMEDIR] [--twice]\n");
            return 2;
        }
    }
    if (chdir(g_opt.dir) != 0) {
        std::fprintf(stderr, "soak: cannot enter %s\n", g_opt.dir);
        return 2;
    }
    set_fatal_hook(report_fatal);
    headless_begin(-1, on_tick, on_event);
    sound_reset();
    set_audio_sink(soak_sound);
    g_hashes = new uint64_t[static_cast<size_t>(g_opt.frames / 1000 + 1)];
    const auto t0 = std::chrono::steady_clock::now();
    headless_start_shell();

    run(1);
    g_fig.frames = g_frame;
    g_fig.rss_end_kb = rss_kb();
    const long allocations_first = g_allocations;
    if (g_opt.twice) run(2);
    g_fig.frame_allocations = g_allocations;
    g_fig.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    if (g_fig.frame_allocations != 0) fail("heap allocations during frames", allocations_first, g_allocations);
    // Over a million frames the resident memory must stay within 1 MB.
    if (g_fig.frames >= 1000000 && g_fig.rss_end_kb - g_fig.rss_start_kb > 1024)
        fail("resident memory grew by more than 1 MB", g_fig.rss_start_kb, g_fig.rss_end_kb);
    std::printf("soak: %ld frames%s, seed %u, %ld level starts, %ld completed, %ld eggs, %ld lives lost\n",
                g_fig.frames, g_opt.twice ? " (twice, same hashes)" : "", g_opt.seed, g_fig.level_starts,
                g_fig.levels_completed, g_fig.eggs, g_fig.lives_lost);
    std::printf("soak: %ld sounds played and mixed\n", g_fig.sounds);
    std::printf("soak: %ld heap allocations during frames; RSS %ld kB after 1,000 frames, %ld kB at the end, "
                "peak %ld kB; %.1f s\n",
                g_fig.frame_allocations, g_fig.rss_start_kb, g_fig.rss_end_kb, g_fig.rss_peak_kb, g_fig.seconds);
    std::printf("soak: last state hash %016llx; %ld failures\n",
                static_cast<unsigned long long>(g_hash_count ? g_hashes[g_hash_count - 1] : 0), g_fig.failures);
    return g_fig.failures == 0 ? 0 : 1;
}
