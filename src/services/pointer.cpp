// pointer.cpp -- the pointer's state and its ring of changes (see pointer.h).
#include "services/pointer.h"

#include "services/screen.h"

namespace {

PointerState g_state;
PointerEvent g_ring[POINTER_RING];
int g_read = 0;
int g_count = 0;

// Holds the screen lock for one pointer operation.
struct PointerLock {
    PointerLock() { lock_screen(); }
    ~PointerLock() { unlock_screen(1, 0); } // an empty range: marks no row dirty
    PointerLock(const PointerLock&) = delete;
    PointerLock& operator=(const PointerLock&) = delete;
};

int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
int clamp_x(int x) { return clamp(x, 0, SCREEN_WIDTH - 1); }
int clamp_y(int y) { return clamp(y, 0, SCREEN_HEIGHT - 1); }

bool known_touch(int kind) { return kind == POINTER_TOUCH_DOWN || kind == POINTER_TOUCH_MOVE || kind == POINTER_TOUCH_UP; }

// Adds a change; the caller holds the lock.  A move right after a move (of
// the mouse, or of the same finger) takes its place.
void push_locked(int kind, int x, int y, int value) {
    if (g_count > 0) {
        PointerEvent& last = g_ring[(g_read + g_count - 1) % POINTER_RING];
        if (last.kind == kind && (kind == POINTER_MOVE || (kind == POINTER_TOUCH_MOVE && last.value == value))) {
            last.x = x;
            last.y = y;
            return;
        }
    }
    if (g_count == POINTER_RING) { // full: the oldest goes
        g_read = (g_read + 1) % POINTER_RING;
        g_count--;
    }
    g_ring[(g_read + g_count) % POINTER_RING] = {kind, x, y, value};
    g_count++;
}

int finger_index(int id) {
    for (int i = 0; i < g_state.fingers; i++)
        if (g_state.finger[i].id == id) return i;
    return -1;
}

} // namespace

void pointer_state(PointerState* out) {
    PointerLock lock;
    *out = g_state;
}

bool pointer_next(PointerEvent* out) {
    PointerLock lock;
    if (g_count == 0) return false;
    *out = g_ring[g_read];
    g_read = (g_read + 1) % POINTER_RING;
    g_count--;
    return true;
}

void pointer_report(int kind, int x, int y, int value, bool on_page) {
    switch (kind) {
    case POINTER_MOVE: {
        PointerState now;
        pointer_state(&now);
        if (on_page || now.buttons) pointer_move(x, y);
        else pointer_leave();
        break;
    }
    case POINTER_DOWN:
    case POINTER_TOUCH_DOWN:
        if (!on_page) break;
        if (kind == POINTER_DOWN) pointer_button(value, true, x, y);
        else pointer_touch(kind, value, x, y);
        break;
    case POINTER_UP: pointer_button(value, false, x, y); break;
    case POINTER_WHEEL: pointer_wheel(value); break;
    case POINTER_LEAVE: {
        PointerState now;
        pointer_state(&now);
        if (!now.buttons) pointer_leave();
        break;
    }
    case POINTER_TOUCH_MOVE:
    case POINTER_TOUCH_UP: pointer_touch(kind, value, x, y); break;
    default: break;
    }
}

void pointer_move(int x, int y) {
    PointerLock lock;
    g_state.inside = true;
    g_state.x = clamp_x(x);
    g_state.y = clamp_y(y);
    push_locked(POINTER_MOVE, g_state.x, g_state.y, 0);
}

void pointer_button(int button, bool down, int x, int y) {
    if (button != POINTER_LEFT && button != POINTER_RIGHT && button != POINTER_MIDDLE) return;
    PointerLock lock;
    const bool held = (g_state.buttons & button) != 0;
    if (held == down) return; // a second down (or an up never pressed here) says nothing new
    g_state.inside = true;
    g_state.x = clamp_x(x);
    g_state.y = clamp_y(y);
    g_state.buttons = down ? (g_state.buttons | button) : (g_state.buttons & ~button);
    push_locked(down ? POINTER_DOWN : POINTER_UP, g_state.x, g_state.y, button);
}

void pointer_wheel(int notches) {
    if (notches == 0) return;
    PointerLock lock;
    if (g_count > 0) { // notches in a row add up
        PointerEvent& last = g_ring[(g_read + g_count - 1) % POINTER_RING];
        if (last.kind == POINTER_WHEEL && (last.value > 0) == (notches > 0)) {
            last.value = clamp(last.value + notches, -1000, 1000);
            return;
        }
    }
    push_locked(POINTER_WHEEL, g_state.x, g_state.y, clamp(notches, -1000, 1000));
}

void pointer_leave() {
    PointerLock lock;
    if (!g_state.inside) return;
    g_state.inside = false;
    push_locked(POINTER_LEAVE, g_state.x, g_state.y, 0);
}

void pointer_touch(int kind, int id, int x, int y) {
    if (!known_touch(kind)) return;
    PointerLock lock;
    x = clamp_x(x);
    y = clamp_y(y);
    int i = finger_index(id);
    if (kind == POINTER_TOUCH_DOWN) {
        if (i >= 0) kind = POINTER_TOUCH_MOVE;              // down twice: it moved
        else if (g_state.fingers == POINTER_FINGERS) return; // one finger too many
        else i = g_state.fingers++;
    } else if (i < 0) {
        return; // a finger we never saw touch (or one too many)
    }
    g_state.finger[i] = {id, x, y};
    if (kind == POINTER_TOUCH_UP) {
        for (int k = i; k + 1 < g_state.fingers; k++) g_state.finger[k] = g_state.finger[k + 1];
        g_state.fingers--;
    }
    push_locked(kind, x, y, id);
}

void pointer_release_all() {
    PointerLock lock;
    for (int b = POINTER_LEFT; b <= POINTER_MIDDLE; b <<= 1)
        if (g_state.buttons & b) push_locked(POINTER_UP, g_state.x, g_state.y, b);
    g_state.buttons = 0;
    for (int i = 0; i < g_state.fingers; i++)
        push_locked(POINTER_TOUCH_UP, g_state.finger[i].x, g_state.finger[i].y, g_state.finger[i].id);
    g_state.fingers = 0;
}

void pointer_reset() {
    PointerLock lock;
    g_state = PointerState{};
    g_read = g_count = 0;
}
