// pointer.h -- the pointer: a mouse over the picture, and fingers on a touch
// screen, in page pixels.
//
// The back-ends feed it (through the window core, or the page's pointer
// events in the browser); the level editor reads it.  The game never reads
// it, so a pointer changes nothing in play and nothing in a recording.  Every
// touch happens under the counted screen lock, as the keyboard's does.
//
// Two views of the same input: the state now (where the pointer is, what is
// held, which fingers are down), and a ring of the changes since the last
// read, so a click shorter than a frame is never lost.  Moves in a row are
// kept as one (the newest place), so a fast mouse cannot push a press out.
#pragma once

enum PointerButton {
    POINTER_LEFT = 1,
    POINTER_RIGHT = 2,
    POINTER_MIDDLE = 4,
};

enum PointerEventKind {
    POINTER_MOVE = 1,   // the mouse moved to (x, y)
    POINTER_DOWN,       // button went down at (x, y)
    POINTER_UP,         // button went up at (x, y)
    POINTER_WHEEL,      // value notches (away from the player: positive)
    POINTER_LEAVE,      // the mouse left the picture
    POINTER_TOUCH_DOWN, // finger id touched at (x, y)
    POINTER_TOUCH_MOVE, // finger id moved to (x, y)
    POINTER_TOUCH_UP,   // finger id let go at (x, y) (also when the touch was cancelled)
};

struct PointerEvent {
    int kind;   // PointerEventKind
    int x, y;   // page pixels, inside the page (clamped to its edge)
    int value;  // the button (PointerButton), the wheel's notches, or the finger's id
};

enum {
    POINTER_FINGERS = 4,    // fingers followed at once; more are ignored
    POINTER_RING = 64,      // changes kept between reads; a full ring drops its oldest
};

struct PointerFinger {
    int id;   // the back-end's id of the touch
    int x, y; // page pixels
};

struct PointerState {
    bool inside;   // the mouse is over the picture
    int x, y;      // its last place in page pixels (clamped to the page)
    int buttons;   // PointerButton flags held
    int fingers;   // fingers down, 0 to POINTER_FINGERS
    PointerFinger finger[POINTER_FINGERS]; // in the order they touched
};

// The state now (a copy).
void pointer_state(PointerState* out);

// The oldest change not yet read, removed; false when there is none.
bool pointer_next(PointerEvent* out);

// --- fed by the back-ends (page pixels; outside the page is clamped) ----------

// One report of a back-end: kind (PointerEventKind) at (x, y), value the
// button, the wheel's notches or the finger's id, and whether the point lies
// on the page.  The rules of the picture's edge, the same for every
// back-end: off the page the mouse has left the picture, unless a button is
// held (a drag stays at the page's edge); a press or a touch that starts off
// the page is not the page's; a let-go counts wherever it happens.
void pointer_report(int kind, int x, int y, int value, bool on_page);

// The single changes pointer_report makes:
void pointer_move(int x, int y);
void pointer_button(int button, bool down, int x, int y);
void pointer_wheel(int notches);
void pointer_leave();
// A finger's phase: down, moved, or up (cancelled counts as up).
void pointer_touch(int kind, int id, int x, int y);

// Forgets everything: nothing held, no fingers, an empty ring (focus lost,
// and tests).  Buttons and fingers that were down are reported up first, so
// a reader never waits for an up that will not come.
void pointer_release_all();
void pointer_reset();
