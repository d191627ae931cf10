// keyboard.cpp -- the held-key table (128 entries by PC set-1 scan code) and
// the ring of 16 typed keys (15 kept).  The back-end feeds both, the game reads
// them; every touch happens under the counted screen lock shared with the
// window thread.
#include "services/keyboard.h"

#include <atomic>

#include "services/screen.h"

#include <cstring>

namespace {

constexpr int kHeldKeys = 128;
constexpr int kQueueSize = 16;

unsigned char g_held[kHeldKeys];
// Taps shorter than a tick: pressed since the last boundary, and let go while so.
unsigned char g_fresh[kHeldKeys];
unsigned char g_release_owed[kHeldKeys];
// Whether any entry of g_fresh or g_release_owed is set: most ticks have none.
bool g_any_fresh = false;
bool g_any_owed = false;
int g_queue[kQueueSize];
int g_read = 0;
int g_write = 0;

// Holds the screen lock for one keyboard operation.
struct KeyLock {
    KeyLock() { lock_screen(); }
    ~KeyLock() { unlock_screen(1, 0); } // an empty range: marks no row dirty
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;
};

// A code the queue can carry: a character 0 to 255, or 255 + 256 * e for an
// extended code e of 0 to 255.
bool valid_queue_code(int code) {
    if (code < 0) return false;
    if (code < 256) return true;
    return code <= 255 + 256 * 255 && (code & 255) == 255;
}

// Sets a held entry; the caller holds the lock.
void set_held_locked(int scan_code, unsigned char v) {
    if (scan_code == KEY_LSHIFT || scan_code == KEY_RSHIFT) {
        g_held[KEY_LSHIFT] = v;
        g_held[KEY_RSHIFT] = v;
    } else {
        g_held[scan_code] = v;
    }
}

void clear_latch_locked() {
    if (g_any_fresh) std::memset(g_fresh, 0, sizeof g_fresh);
    if (g_any_owed) std::memset(g_release_owed, 0, sizeof g_release_owed);
    g_any_fresh = g_any_owed = false;
}

} // namespace

bool key_down(int scan_code) {
    if (scan_code < 0 || scan_code >= kHeldKeys) return false;
    if (!screen_is_open()) return false;
    KeyLock lock;
    return g_held[scan_code] != 0;
}

std::string read_key() {
    if (!screen_is_open()) return std::string();
    int code;
    {
        KeyLock lock;
        if (g_read == g_write) return std::string();
        code = g_queue[g_read];
        g_read = (g_read + 1) % kQueueSize;
    }
    if (code < 256) return std::string(1, static_cast<char>(code));
    char two[2] = {static_cast<char>(255), static_cast<char>((code >> 8) & 255)};
    return std::string(two, 2);
}

void keyboard_set_held(int scan_code, bool down) {
    if (scan_code < 0 || scan_code >= kHeldKeys) return;
    KeyLock lock;
    set_held_locked(scan_code, down ? 1 : 0);
}

void keyboard_press(int scan_code) {
    if (scan_code < 0 || scan_code >= kHeldKeys) return;
    KeyLock lock;
    g_fresh[scan_code] = 1;
    g_any_fresh = true;
    g_release_owed[scan_code] = 0;
    set_held_locked(scan_code, 1);
}

void keyboard_release(int scan_code) {
    if (scan_code < 0 || scan_code >= kHeldKeys) return;
    KeyLock lock;
    if (g_fresh[scan_code]) {
        g_release_owed[scan_code] = 1;
        g_any_owed = true;
    } else {
        set_held_locked(scan_code, 0);
    }
}

void keyboard_tick_boundary() {
    KeyLock lock;
    if (g_any_owed) {
        g_any_owed = false;
        for (int k = 0; k < kHeldKeys; ++k) {
            if (g_release_owed[k] && !g_fresh[k]) {
                g_release_owed[k] = 0;
                set_held_locked(k, 0);
            }
            if (g_release_owed[k]) g_any_owed = true;
        }
    }
    if (g_any_fresh) std::memset(g_fresh, 0, sizeof g_fresh);
    g_any_fresh = false;
}

void keyboard_clear_held() {
    KeyLock lock;
    std::memset(g_held, 0, sizeof g_held);
    clear_latch_locked();
}

void keyboard_queue(int code) {
    if (!valid_queue_code(code)) return;
    KeyLock lock;
    g_queue[g_write] = code;
    g_write = (g_write + 1) % kQueueSize;
    if (g_write == g_read) g_read = (g_read + 1) % kQueueSize;
}

namespace {
std::atomic<bool> g_text_wanted{false};
} // namespace

void keyboard_want_text(bool on) { g_text_wanted = on; }
bool keyboard_text_wanted() { return g_text_wanted.load(); }

void keyboard_reset() {
    KeyLock lock;
    std::memset(g_held, 0, sizeof g_held);
    clear_latch_locked();
    g_read = g_write = 0;
}

void keyboard_held_table(unsigned char out[128]) {
    KeyLock lock;
    std::memcpy(out, g_held, sizeof g_held);
}

void keyboard_get_state(KeyboardState* out) {
    static_assert(sizeof out->held == sizeof g_held && sizeof out->queue == sizeof g_queue);
    KeyLock lock;
    std::memcpy(out->held, g_held, sizeof g_held);
    std::memcpy(out->queue, g_queue, sizeof g_queue);
    out->read = g_read;
    out->write = g_write;
}

void keyboard_set_state(const KeyboardState& in) {
    KeyLock lock;
    std::memcpy(g_held, in.held, sizeof g_held);
    std::memcpy(g_queue, in.queue, sizeof g_queue);
    // A queue position outside the ring would index past it: keep it inside.
    g_read = ((in.read % kQueueSize) + kQueueSize) % kQueueSize;
    g_write = ((in.write % kQueueSize) + kQueueSize) % kQueueSize;
}
