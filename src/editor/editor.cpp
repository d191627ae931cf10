// editor.cpp -- the level editor's screen (module "editor"): input, the
// tools driven by it, and the drawing.  editor.h lays out the page and lists
// the keys.
#include "editor/editor.h"

#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "map/map.h"
#include "services/draw.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "services/screen.h"
#include "services/text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static constexpr const char MODULE_NAME[] = "editor";

bool editor_running = false;
EditorState editor{};
EditReport editor_report{};

namespace {

// Colours (0xAARRGGBB).
constexpr uint32_t C_BACK = 0xFF000000;      // bars and rows of text
constexpr uint32_t C_EMPTY = 0xFF141C2C;     // an empty cell
constexpr uint32_t C_OUTSIDE = 0xFF06080C;   // the area past the level
constexpr uint32_t C_GRID = 0xFF34405A;
constexpr uint32_t C_TEXT = 0xFFD8D8D8;
constexpr uint32_t C_DIM = 0xFF8890A0;
constexpr uint32_t C_KEY = 0xFFFFD040;       // a key's name, the chosen tool and cell
constexpr uint32_t C_BAD = 0xFFFF4040;       // out of reach, problems
constexpr uint32_t C_GOOD = 0xFF60E060;
constexpr uint32_t C_CURSOR = 0xFFFFFF60;
constexpr uint32_t C_SELECT = 0xFF40E0FF;
constexpr uint32_t C_BUTTON = 0xFF283044;

constexpr int MESSAGE_FRAMES = 400;  // a message stays 4 s before the problems show again
constexpr int LONG_PRESS_FRAMES = 50; // a finger held 0.5 s names what it is on
constexpr int TOUCH_SLOP = 8;         // pixels a finger may move and still be a press

const char* const CODE_NAMES[EDITOR_CODES] = {
    "empty", "block", "swan start", "seed", "ladder", "player's start", "duck's start (and cage)",
    "egg", "lift (up and down)", "lift (side to side)",
};
const char* const TOOL_LABELS[TOOL_COUNT] = {"Pen", "Box", "Lin", "Pik", "Sel"};
const char* const TOOL_NAMES[TOOL_COUNT] = {"pencil (B)", "rectangle fill (R)", "line (L)", "picker (K)",
                                            "select, copy, cut, paste, move (S)"};
const char* const ROUND_NAMES[4] = {"", "swans", "duck", "both"};

// The palette row: ten cells, then the tools, then four buttons.
constexpr int PALETTE_CELL_W = 32;
enum {
    TOOLS_X = 328,
    BUTTONS_X = TOOLS_X + TOOL_COUNT * 32 + 8,
    BUTTON_UNDO = 0, BUTTON_REDO, BUTTON_GRID, BUTTON_ZOOM, BUTTON_COUNT,
};
const char* const BUTTON_LABELS[BUTTON_COUNT] = {"Und", "Red", "Grd", "Zm"};
const char* const BUTTON_NAMES[BUTTON_COUNT] = {"undo (Ctrl+Z)", "redo (Ctrl+Y)", "grid on or off (G)",
                                                "zoom: fit, 1x, 2x (Z, Ctrl+wheel, pinch)"};

// The command bar's buttons: label, the request, x and width in pixels.
struct BarButton {
    const char* label;
    int request;
    int x, w;
};
const BarButton BAR[] = {
    {"Save", EDITOR_SAVE, 0, 40},       {"Play", EDITOR_PLAY, 40, 40},
    {"Prove", EDITOR_PROVE, 80, 48},    {"Watch", EDITOR_WATCH, 128, 48},
    {"Publish", EDITOR_PUBLISH, 176, 64}, {"Help", -1, 240, 40},
    {"Round", -2, 280, 96},
};
constexpr int BAR_COUNT = static_cast<int>(sizeof BAR / sizeof BAR[0]);
constexpr int BAR_TEXT_X = 384; // the proof's state
// Publish's form, over the level.
constexpr int FORM_X = 32, FORM_Y = EDITOR_AREA_Y + 24, FORM_W = SCREEN_WIDTH - 64;

// What the frame's input is doing.
struct Drag {
    int button;        // 0: none; POINTER_LEFT (or a finger), POINTER_RIGHT, POINTER_MIDDLE
    int code;          // the cell it draws
    int last_col, last_row;
    int start_x, start_y; // page pixels where it began
    bool moving;       // a select drag that moves the selection
    bool painted;      // a pencil stroke that began
};

Drag drag{};
int frame = 0;
int message_frame = -MESSAGE_FRAMES;
unsigned checked_changes = ~0u;
bool redraw = true;
char hover[EDITOR_TEXT_CHARS] = "";
int hover_x = -1, hover_y = -1;
int previous_tool = TOOL_PENCIL;

// Touch: the fingers down (by the back-end's id), what they are doing.
struct Finger {
    bool down;
    int id, x, y, start_x, start_y, start_frame;
};
Finger fingers[POINTER_FINGERS]{};
bool touch_gesture = false;       // two fingers: scroll and zoom until all are up
int pinch_start = 0;              // the fingers' distance when the pinch began (or last zoomed)
int pan_x = 0, pan_y = 0;         // their midpoint last frame

int cell_px() { return editor.zoom == ZOOM_FIT ? 16 : editor.zoom == ZOOM_ONE ? 32 : 64; }

void clamp_scroll() {
    const int s = cell_px();
    const int max_x = EDIT_WIDTH * s - SCREEN_WIDTH, max_y = edit_level.height * s - EDITOR_AREA_H;
    editor.scroll_x = max_x <= 0 ? 0 : editor.scroll_x < 0 ? 0 : editor.scroll_x > max_x ? max_x : editor.scroll_x;
    editor.scroll_y = max_y <= 0 ? 0 : editor.scroll_y < 0 ? 0 : editor.scroll_y > max_y ? max_y : editor.scroll_y;
}

int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The view scrolls so the cursor's cell is on it.
void follow_cursor() {
    const int s = cell_px();
    const int x = editor.cursor_col * s, y = editor.cursor_row * s;
    if (x < editor.scroll_x) editor.scroll_x = x;
    if (x + s > editor.scroll_x + SCREEN_WIDTH) editor.scroll_x = x + s - SCREEN_WIDTH;
    if (y < editor.scroll_y) editor.scroll_y = y;
    if (y + s > editor.scroll_y + EDITOR_AREA_H) editor.scroll_y = y + s - EDITOR_AREA_H;
    clamp_scroll();
}

// A new zoom, keeping the level's point under page pixel (px, py) in place.
void set_zoom(int zoom, int px, int py) {
    zoom = clampi(zoom, 0, ZOOM_COUNT - 1);
    if (zoom == editor.zoom) return;
    const int before = cell_px();
    const int lx = editor.scroll_x + px, ly = editor.scroll_y + (py - EDITOR_AREA_Y);
    editor.zoom = zoom;
    const int after = cell_px();
    editor.scroll_x = lx * after / before - px;
    editor.scroll_y = ly * after / before - (py - EDITOR_AREA_Y);
    clamp_scroll();
    redraw = true;
}

void keep_cursor_in_level() {
    editor.cursor_col = clampi(editor.cursor_col, 0, EDIT_WIDTH - 1);
    editor.cursor_row = clampi(editor.cursor_row, 0, edit_level.height - 1);
}

void run_checks() {
    if (checked_changes == edit_changes) return;
    checked_changes = edit_changes;
    EDIT_CHECK(&editor_report);
    keep_cursor_in_level();
    clamp_scroll();
    redraw = true;
}

void changed() {
    editor.unsaved = true;
    editor.leaving = false;
    run_checks();
}

void order(int* a, int* b) {
    if (*a > *b) {
        const int t = *a;
        *a = *b;
        *b = t;
    }
}

void choose_tool(int tool) {
    if (tool != TOOL_PICK) previous_tool = tool;
    editor.tool = tool;
    editor.anchored = false;
    redraw = true;
}

// --- what a press does at a cell (mouse, finger, or Space at the cursor) -----------

// Begins the tool's action at (col, row): code is what it draws.
void act_begin(int col, int row, int code, int button) {
    drag.button = button;
    drag.code = code;
    drag.last_col = col;
    drag.last_row = row;
    drag.moving = false;
    drag.painted = false;
    switch (editor.tool) {
    case TOOL_PENCIL:
        EDIT_STROKE_BEGIN();
        EDIT_PAINT(col, row, code);
        drag.painted = true;
        break;
    case TOOL_RECT:
    case TOOL_LINE:
        editor.anchored = true;
        editor.anchor_col = col;
        editor.anchor_row = row;
        break;
    case TOOL_PICK:
        editor.code = EDIT_GET(col, row);
        if (editor.code >= EDITOR_CODES) editor.code = CELL_EMPTY;
        choose_tool(previous_tool);
        drag.button = 0;
        break;
    case TOOL_SELECT:
        if (editor.selected && col >= editor.sel_c0 && col <= editor.sel_c1 && row >= editor.sel_r0 &&
            row <= editor.sel_r1) {
            drag.moving = true; // the selection is dragged from this cell
            editor.anchor_col = col;
            editor.anchor_row = row;
        } else {
            editor.selected = false;
            editor.anchored = true;
            editor.anchor_col = col;
            editor.anchor_row = row;
        }
        break;
    default:
        break;
    }
    redraw = true;
}

// The press moved on to (col, row).
void act_move(int col, int row) {
    if (col == drag.last_col && row == drag.last_row) return;
    if (editor.tool == TOOL_PENCIL && drag.painted) {
        // Every cell between the last and this one, so a fast stroke leaves no gaps.
        int c = drag.last_col, r = drag.last_row;
        const int dc = std::abs(col - c), dr = -std::abs(row - r);
        const int sc = c < col ? 1 : -1, sr = r < row ? 1 : -1;
        int err = dc + dr;
        while (c != col || r != row) {
            const int e2 = 2 * err;
            if (e2 >= dr) { err += dr; c += sc; }
            if (e2 <= dc) { err += dc; r += sr; }
            EDIT_PAINT(c, r, drag.code);
        }
    }
    drag.last_col = col;
    drag.last_row = row;
    redraw = true;
}

// The press ended at (col, row).
void act_end(int col, int row) {
    act_move(col, row);
    switch (editor.tool) {
    case TOOL_PENCIL:
        if (drag.painted) EDIT_STROKE_END();
        break;
    case TOOL_RECT:
        if (editor.anchored) EDIT_FILL(editor.anchor_col, editor.anchor_row, col, row, drag.code);
        editor.anchored = false;
        break;
    case TOOL_LINE:
        if (editor.anchored) EDIT_LINE(editor.anchor_col, editor.anchor_row, col, row, drag.code);
        editor.anchored = false;
        break;
    case TOOL_SELECT:
        if (drag.moving) {
            const int nc = editor.sel_c0 + col - editor.anchor_col, nr = editor.sel_r0 + row - editor.anchor_row;
            if (nc != editor.sel_c0 || nr != editor.sel_r0) {
                EDIT_MOVE(editor.sel_c0, editor.sel_r0, editor.sel_c1, editor.sel_r1, nc, nr);
                const int w = editor.sel_c1 - editor.sel_c0, h = editor.sel_r1 - editor.sel_r0;
                editor.sel_c0 = clampi(nc, 0, EDIT_WIDTH - 1);
                editor.sel_r0 = clampi(nr, 0, edit_level.height - 1);
                editor.sel_c1 = clampi(nc + w, 0, EDIT_WIDTH - 1);
                editor.sel_r1 = clampi(nr + h, 0, edit_level.height - 1);
            }
        } else if (editor.anchored) {
            editor.sel_c0 = editor.anchor_col;
            editor.sel_r0 = editor.anchor_row;
            editor.sel_c1 = clampi(col, 0, EDIT_WIDTH - 1);
            editor.sel_r1 = clampi(row, 0, edit_level.height - 1);
            order(&editor.sel_c0, &editor.sel_c1);
            order(&editor.sel_r0, &editor.sel_r1);
            editor.selected = true;
        }
        editor.anchored = false;
        break;
    default:
        break;
    }
    drag = Drag{};
    changed();
}

// A press that is given up (a second finger came): what it drew is undone.
void act_cancel() {
    if (drag.button == 0) return;
    if (editor.tool == TOOL_PENCIL && drag.painted) {
        EDIT_STROKE_END();
        EDIT_UNDO();
    }
    editor.anchored = false;
    drag = Drag{};
    changed();
}

// Space or Enter at the cursor: a click, in two halves for the tools with two corners.
void act_at_cursor() {
    const int col = editor.cursor_col, row = editor.cursor_row;
    if ((editor.tool == TOOL_RECT || editor.tool == TOOL_LINE || editor.tool == TOOL_SELECT) && editor.anchored) {
        drag.button = POINTER_LEFT;
        drag.code = editor.code;
        drag.last_col = col;
        drag.last_row = row;
        act_end(col, row);
        return;
    }
    act_begin(col, row, editor.code, POINTER_LEFT);
    if (editor.tool == TOOL_PENCIL) act_end(col, row);
    else if (editor.tool == TOOL_SELECT) drag = Drag{}; // the first corner waits for the second press
    else if (drag.button != 0) drag = Drag{};
}

// --- the pointer ----------------------------------------------------------------------

enum Place { PLACE_NONE, PLACE_BAR, PLACE_AREA, PLACE_PALETTE, PLACE_TOOL, PLACE_BUTTON };

// What lies under page pixel (x, y): the place and its index.
Place place_at(int x, int y, int* index) {
    *index = -1;
    if (y < EDITOR_BAR_H) {
        for (int i = 0; i < BAR_COUNT; i++)
            if (x >= BAR[i].x && x < BAR[i].x + BAR[i].w) *index = i;
        return *index >= 0 ? PLACE_BAR : PLACE_NONE;
    }
    if (y >= EDITOR_AREA_Y && y < EDITOR_AREA_Y + EDITOR_AREA_H) return PLACE_AREA;
    if (y >= EDITOR_PALETTE_Y && y < EDITOR_PALETTE_Y + EDITOR_PALETTE_H) {
        if (x < EDITOR_CODES * PALETTE_CELL_W) {
            *index = x / PALETTE_CELL_W;
            return PLACE_PALETTE;
        }
        if (x >= TOOLS_X && x < TOOLS_X + TOOL_COUNT * 32) {
            *index = (x - TOOLS_X) / 32;
            return PLACE_TOOL;
        }
        if (x >= BUTTONS_X && x < BUTTONS_X + BUTTON_COUNT * 32) {
            *index = (x - BUTTONS_X) / 32;
            return PLACE_BUTTON;
        }
    }
    return PLACE_NONE;
}

// The name of what lies under (x, y), for the status line.
void name_at(int x, int y, char* out, int size) {
    int i = 0, col = 0, row = 0;
    switch (place_at(x, y, &i)) {
    case PLACE_PALETTE: std::snprintf(out, static_cast<size_t>(size), "%d: %s", i, CODE_NAMES[i]); return;
    case PLACE_TOOL: std::snprintf(out, static_cast<size_t>(size), "%s", TOOL_NAMES[i]); return;
    case PLACE_BUTTON: std::snprintf(out, static_cast<size_t>(size), "%s", BUTTON_NAMES[i]); return;
    case PLACE_AREA:
        if (EDITOR_CELL_AT(x, y, &col, &row)) {
            const int c = EDIT_GET(col, row);
            std::snprintf(out, static_cast<size_t>(size), "%s at %d,%d", c < EDITOR_CODES ? CODE_NAMES[c] : "?", col, row);
            return;
        }
        break;
    default:
        break;
    }
    out[0] = '\0';
}

void set_hover(int x, int y) {
    if (x == hover_x && y == hover_y) return;
    hover_x = x;
    hover_y = y;
    char now[EDITOR_TEXT_CHARS];
    if (x < 0) now[0] = '\0';
    else name_at(x, y, now, sizeof now);
    if (std::strcmp(now, hover) != 0) {
        std::snprintf(hover, sizeof hover, "%s", now);
        redraw = true;
    }
}

int bar_act(int i) {
    if (BAR[i].request == -1) {
        editor.help = !editor.help;
        redraw = true;
        return EDITOR_NOTHING;
    }
    if (BAR[i].request == -2) {
        editor.round = editor.round % 3 + 1;
        redraw = true;
        return EDITOR_NOTHING;
    }
    return BAR[i].request;
}

void button_act(int i) {
    switch (i) {
    case BUTTON_UNDO: if (EDIT_UNDO()) changed(); break;
    case BUTTON_REDO: if (EDIT_REDO()) changed(); break;
    case BUTTON_GRID: editor.grid = !editor.grid; break;
    case BUTTON_ZOOM: set_zoom((editor.zoom + 1) % ZOOM_COUNT, SCREEN_WIDTH / 2, EDITOR_AREA_Y + EDITOR_AREA_H / 2); break;
    default: break;
    }
    redraw = true;
}

// A press (mouse button or one finger) at (x, y).
int press(int x, int y, int button) {
    int i = 0, col = 0, row = 0;
    editor.leaving = false;
    if (editor.form) {
        // A field is chosen by a press on its row; the bar's Publish publishes.
        for (int f = 0; f < EDITOR_FORM_FIELDS; f++)
            if (y >= FORM_Y + 40 + f * 24 && y < FORM_Y + 60 + f * 24) editor.form_field = f;
        redraw = true;
        if (place_at(x, y, &i) == PLACE_BAR && BAR[i].request == EDITOR_PUBLISH) return EDITOR_PUBLISH;
        return EDITOR_NOTHING;
    }
    switch (place_at(x, y, &i)) {
    case PLACE_BAR: return bar_act(i);
    case PLACE_PALETTE:
        editor.code = i;
        if (editor.tool == TOOL_PICK || editor.tool == TOOL_SELECT) choose_tool(TOOL_PENCIL);
        redraw = true;
        return EDITOR_NOTHING;
    case PLACE_TOOL: choose_tool(i); return EDITOR_NOTHING;
    case PLACE_BUTTON: button_act(i); return EDITOR_NOTHING;
    case PLACE_AREA:
        if (editor.help) {
            editor.help = false;
            redraw = true;
            return EDITOR_NOTHING;
        }
        if (button == POINTER_MIDDLE) {
            drag.button = POINTER_MIDDLE;
            drag.start_x = x;
            drag.start_y = y;
            return EDITOR_NOTHING;
        }
        if (!EDITOR_CELL_AT(x, y, &col, &row)) return EDITOR_NOTHING;
        editor.cursor_col = col;
        editor.cursor_row = row;
        act_begin(col, row, button == POINTER_RIGHT ? CELL_EMPTY : editor.code, button);
        drag.start_x = x;
        drag.start_y = y;
        return EDITOR_NOTHING;
    default:
        return EDITOR_NOTHING;
    }
}

// The cell under (x, y), clamped into the level (a drag past its edge stays on it).
void clamped_cell(int x, int y, int* col, int* row) {
    const int s = cell_px();
    *col = clampi((x + editor.scroll_x) / s, 0, EDIT_WIDTH - 1);
    const int ly = y - EDITOR_AREA_Y + editor.scroll_y;
    *row = clampi(ly < 0 ? 0 : ly / s, 0, edit_level.height - 1);
}

void pointer_moved(int x, int y) {
    if (drag.button == POINTER_MIDDLE) {
        editor.scroll_x -= x - drag.start_x;
        editor.scroll_y -= y - drag.start_y;
        drag.start_x = x;
        drag.start_y = y;
        clamp_scroll();
        redraw = true;
        return;
    }
    int col = 0, row = 0;
    if (drag.button != 0) {
        clamped_cell(x, y, &col, &row);
        editor.cursor_col = col;
        editor.cursor_row = row;
        act_move(col, row);
        return;
    }
    if (EDITOR_CELL_AT(x, y, &col, &row) && (col != editor.cursor_col || row != editor.cursor_row)) {
        editor.cursor_col = col;
        editor.cursor_row = row;
        redraw = true;
    }
}

void released(int x, int y, int button) {
    if (drag.button == 0 || drag.button != button) return;
    if (drag.button == POINTER_MIDDLE) {
        drag = Drag{};
        return;
    }
    int col = 0, row = 0;
    clamped_cell(x, y, &col, &row);
    act_end(col, row);
}

void wheel(int notches) {
    const bool ctrl = key_down(29), shift = key_down(KEY_LSHIFT);
    if (ctrl) {
        PointerState p;
        pointer_state(&p);
        set_zoom(editor.zoom + (notches > 0 ? 1 : -1), p.x, p.y);
        return;
    }
    const int step = cell_px() * 3 * notches;
    if (shift) editor.scroll_x -= step;
    else editor.scroll_y -= step;
    clamp_scroll();
    redraw = true;
}

// --- touch ---------------------------------------------------------------------------

Finger* finger_of(int id) {
    for (Finger& f : fingers)
        if (f.down && f.id == id) return &f;
    return nullptr;
}

int fingers_down() {
    int n = 0;
    for (const Finger& f : fingers) n += f.down ? 1 : 0;
    return n;
}

// The first two fingers' midpoint and distance.
void two_fingers(int* mx, int* my, int* dist) {
    const Finger* a = nullptr;
    const Finger* b = nullptr;
    for (const Finger& f : fingers)
        if (f.down) (a == nullptr ? a : b) = &f;
    if (a == nullptr || b == nullptr) return;
    *mx = (a->x + b->x) / 2;
    *my = (a->y + b->y) / 2;
    const int dx = a->x - b->x, dy = a->y - b->y;
    *dist = static_cast<int>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
}

int touch(const PointerEvent& e) {
    int request = EDITOR_NOTHING;
    if (e.kind == POINTER_TOUCH_DOWN) {
        Finger* f = nullptr;
        for (Finger& g : fingers)
            if (!g.down && f == nullptr) f = &g;
        if (f == nullptr) return request;
        *f = Finger{true, e.value, e.x, e.y, e.x, e.y, frame};
        if (fingers_down() == 1) {
            touch_gesture = false;
            int i = 0;
            const Place p = place_at(e.x, e.y, &i);
            if (p == PLACE_PALETTE || p == PLACE_TOOL || p == PLACE_BUTTON) {
                set_hover(e.x, e.y); // named while the finger is on it; a tap chooses it
            } else {
                request = press(e.x, e.y, POINTER_LEFT);
            }
        } else if (!touch_gesture) {
            act_cancel(); // a second finger: the first was not drawing after all
            touch_gesture = true;
            two_fingers(&pan_x, &pan_y, &pinch_start);
        }
        return request;
    }
    Finger* f = finger_of(e.value);
    if (f == nullptr) return request;
    f->x = e.x;
    f->y = e.y;
    if (e.kind == POINTER_TOUCH_MOVE) {
        if (touch_gesture) {
            int mx = pan_x, my = pan_y, dist = pinch_start;
            two_fingers(&mx, &my, &dist);
            editor.scroll_x -= mx - pan_x;
            editor.scroll_y -= my - pan_y;
            pan_x = mx;
            pan_y = my;
            clamp_scroll();
            if (pinch_start > 0 && dist * 10 > pinch_start * 16) {
                set_zoom(editor.zoom + 1, mx, my);
                pinch_start = dist;
            } else if (dist * 10 < pinch_start * 6) {
                set_zoom(editor.zoom - 1, mx, my);
                pinch_start = dist;
            }
            redraw = true;
        } else if (drag.button != 0) {
            pointer_moved(e.x, e.y);
        }
        return request;
    }
    // Up.
    if (!touch_gesture && fingers_down() == 1) {
        int i = 0;
        const Place p = place_at(f->start_x, f->start_y, &i);
        const bool still = std::abs(e.x - f->start_x) <= TOUCH_SLOP && std::abs(e.y - f->start_y) <= TOUCH_SLOP;
        if (p == PLACE_PALETTE || p == PLACE_TOOL || p == PLACE_BUTTON) {
            // A tap chooses; a long press only named it.
            if (still && frame - f->start_frame < LONG_PRESS_FRAMES) request = press(f->start_x, f->start_y, POINTER_LEFT);
        } else {
            released(e.x, e.y, POINTER_LEFT);
        }
    }
    f->down = false;
    if (fingers_down() == 0) touch_gesture = false;
    return request;
}

// --- Publish's form --------------------------------------------------------------------

const char* const FORM_LABELS[EDITOR_FORM_FIELDS] = {"Title", "Author", "Licence", "Description"};

// A key while the form is open: typing, Backspace, Tab or Enter to the next
// field (Enter on the last publishes), Up and Down, Esc closes it.
int form_key(const std::string& k) {
    redraw = true;
    char* field = editor.form_text[editor.form_field];
    const int len = static_cast<int>(std::strlen(field));
    const int c = static_cast<unsigned char>(k[0]);
    if (c == 255 && k.size() == 2) {
        const int x = static_cast<unsigned char>(k[1]);
        if (x == 72 && editor.form_field > 0) editor.form_field--;
        if (x == 80 && editor.form_field < EDITOR_FORM_FIELDS - 1) editor.form_field++;
        if (x == 67) return EDITOR_PUBLISH; // F9 again
        return EDITOR_NOTHING;
    }
    switch (c) {
    case 27: EDITOR_FORM(false); break;
    case 8:
        if (len > 0) field[len - 1] = '\0';
        break;
    case 9: editor.form_field = (editor.form_field + 1) % EDITOR_FORM_FIELDS; break;
    case 13:
        if (editor.form_field == EDITOR_FORM_FIELDS - 1) return EDITOR_PUBLISH;
        editor.form_field++;
        break;
    default:
        if (c >= 32 && c != 127 && len < EDITOR_FORM_CHARS - 1) {
            field[len] = static_cast<char>(c);
            field[len + 1] = '\0';
        }
        break;
    }
    return EDITOR_NOTHING;
}

// --- keys ----------------------------------------------------------------------------

int key(const std::string& k) {
    if (k.empty()) return EDITOR_NOTHING;
    if (editor.form) return form_key(k);
    const int c = static_cast<unsigned char>(k[0]);
    if (c == 255 && k.size() == 2) {
        const int x = static_cast<unsigned char>(k[1]);
        switch (x) {
        case 72: editor.cursor_row--; break; // Up
        case 80: editor.cursor_row++; break; // Down
        case 75: editor.cursor_col--; break; // Left
        case 77: editor.cursor_col++; break; // Right
        case 73: EDIT_RESIZE(edit_level.height + 1); changed(); break; // Page Up
        case 81: EDIT_RESIZE(edit_level.height - 1); changed(); break; // Page Down
        case 83: // Delete: the selection emptied
            if (editor.selected) {
                EDIT_FILL(editor.sel_c0, editor.sel_r0, editor.sel_c1, editor.sel_r1, CELL_EMPTY);
                changed();
            }
            break;
        case 59: editor.help = !editor.help; break; // F1
        case 60: return EDITOR_SAVE;                // F2
        case 63: return EDITOR_PLAY;                // F5
        case 64: return EDITOR_PROVE;               // F6
        case 65: return EDITOR_WATCH;               // F7
        case 67: return EDITOR_PUBLISH;             // F9
        default: break;
        }
        keep_cursor_in_level();
        if (drag.button != 0) act_move(editor.cursor_col, editor.cursor_row);
        follow_cursor();
        redraw = true;
        return EDITOR_NOTHING;
    }
    if (c != 27) editor.leaving = false;
    switch (c) {
    case 27: // Escape
        if (editor.help) editor.help = false;
        else if (editor.anchored || editor.selected) editor.anchored = editor.selected = false;
        else if (!editor.unsaved || editor.leaving) return EDITOR_QUIT;
        else {
            editor.leaving = true;
            EDITOR_SAY("Not saved: Esc again leaves without saving, F2 saves");
        }
        break;
    case 13:
    case ' ': act_at_cursor(); break;
    case 26: if (EDIT_UNDO()) changed(); break; // Ctrl+Z
    case 25: if (EDIT_REDO()) changed(); break; // Ctrl+Y
    case 19: return EDITOR_SAVE;                // Ctrl+S
    case 3:  // Ctrl+C
    case 24: // Ctrl+X
        if (!editor.selected) {
            EDITOR_SAY("Nothing selected: S, then two corners");
            break;
        }
        if (c == 3) EDIT_COPY(editor.sel_c0, editor.sel_r0, editor.sel_c1, editor.sel_r1);
        else EDIT_CUT(editor.sel_c0, editor.sel_r0, editor.sel_c1, editor.sel_r1);
        changed();
        break;
    case 22: // Ctrl+V
        if (edit_clip.w == 0) {
            EDITOR_SAY("Nothing to paste: copy or cut a selection first");
            break;
        }
        EDIT_PASTE(editor.cursor_col, editor.cursor_row);
        editor.selected = true;
        editor.sel_c0 = editor.cursor_col;
        editor.sel_r0 = editor.cursor_row;
        editor.sel_c1 = clampi(editor.cursor_col + edit_clip.w - 1, 0, EDIT_WIDTH - 1);
        editor.sel_r1 = clampi(editor.cursor_row + edit_clip.h - 1, 0, edit_level.height - 1);
        changed();
        break;
    case 9: editor.round = editor.round % 3 + 1; break; // Tab
    case ']': return EDITOR_NEXT_FILE;
    case '[': return EDITOR_PREV_FILE;
    case 'b': case 'B': choose_tool(TOOL_PENCIL); break;
    case 'r': case 'R': choose_tool(TOOL_RECT); break;
    case 'l': case 'L': choose_tool(TOOL_LINE); break;
    case 'k': case 'K': choose_tool(TOOL_PICK); break;
    case 's': case 'S': choose_tool(TOOL_SELECT); break;
    case 'g': case 'G': editor.grid = !editor.grid; break;
    case 'z': case 'Z': set_zoom((editor.zoom + 1) % ZOOM_COUNT, SCREEN_WIDTH / 2, EDITOR_AREA_Y + EDITOR_AREA_H / 2); break;
    case '+': case '=': set_zoom(editor.zoom + 1, SCREEN_WIDTH / 2, EDITOR_AREA_Y + EDITOR_AREA_H / 2); break;
    case '-': set_zoom(editor.zoom - 1, SCREEN_WIDTH / 2, EDITOR_AREA_Y + EDITOR_AREA_H / 2); break;
    default:
        if (c >= '0' && c <= '9') {
            editor.code = c - '0';
            if (editor.tool == TOOL_PICK || editor.tool == TOOL_SELECT) choose_tool(TOOL_PENCIL);
        }
        break;
    }
    redraw = true;
    return EDITOR_NOTHING;
}

// --- drawing --------------------------------------------------------------------------

struct Clip {
    int x0, y0, x1, y1; // inclusive-exclusive
};
constexpr Clip PAGE_CLIP{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT};
constexpr Clip AREA_CLIP{0, EDITOR_AREA_Y, SCREEN_WIDTH, EDITOR_AREA_Y + EDITOR_AREA_H};

Image* page = nullptr; // the work page while drawing

void fill(int x, int y, int w, int h, uint32_t color, const Clip& clip) {
    const int x0 = x < clip.x0 ? clip.x0 : x, x1 = x + w > clip.x1 ? clip.x1 : x + w;
    const int y0 = y < clip.y0 ? clip.y0 : y, y1 = y + h > clip.y1 ? clip.y1 : y + h;
    for (int r = y0; r < y1; r++) {
        uint32_t* row = page->row(r);
        for (int c = x0; c < x1; c++) row[c] = color;
    }
}

void box(int x, int y, int w, int h, int thick, uint32_t color, const Clip& clip) {
    fill(x, y, w, thick, color, clip);
    fill(x, y + h - thick, w, thick, color, clip);
    fill(x, y, thick, h, color, clip);
    fill(x + w - thick, y, thick, h, color, clip);
}

// The image scaled to w x h with its top-left at (x, y); transparent pixels skipped unless solid.
void blit(const Image* img, int x, int y, int w, int h, bool solid, const Clip& clip) {
    if (img == nullptr || w <= 0 || h <= 0) return;
    const int x0 = x < clip.x0 ? clip.x0 : x, x1 = x + w > clip.x1 ? clip.x1 : x + w;
    const int y0 = y < clip.y0 ? clip.y0 : y, y1 = y + h > clip.y1 ? clip.y1 : y + h;
    for (int r = y0; r < y1; r++) {
        const uint32_t* src = img->row((r - y) * img->height / h);
        uint32_t* dst = page->row(r);
        for (int c = x0; c < x1; c++) {
            const uint32_t p = src[(c - x) * img->width / w];
            if (solid || (p & 0x00FFFFFFu) != TRANSPARENT_KEY) dst[c] = p | 0xFF000000u;
        }
    }
}

void text(int x, int y, uint32_t color, const char* s) {
    CHECK(set_color(color, 0, KEEP_BACKGROUND));
    CHECK(draw_text(static_cast<float>(x), static_cast<float>(y), s));
}

// Cell code c drawn in the s x s square at (x, y).
void draw_code(int c, int x, int y, int s, const Clip& clip) {
    switch (c) {
    case CELL_EMPTY: return;
    case CELL_SWAN: blit(swan_images[0], x, y, s, s, false, clip); return;
    case CELL_PLAYER: blit(player_images[0], x, y, s, s, false, clip); return;
    case CELL_DUCK: blit(duck_images[0], x, y, s, s, false, clip); return;
    case CELL_LADDER: blit(cell_images[CELL_LADDER], x, y, s, s, true, clip); return;
    case CELL_LIFT_V:
    case CELL_LIFT_H: {
        blit(cell_images[c], x, y, s, s, false, clip);
        // Which way it moves: two small arrowheads.
        const int m = s / 2, a = s / 8 > 1 ? s / 8 : 1;
        for (int k = 0; k < a; k++) {
            if (c == CELL_LIFT_V) {
                fill(x + m - k, y + s / 2 + 2 + k, 2 * k + 1, 1, C_KEY, clip);
                fill(x + m - k, y + s - 2 - k, 2 * k + 1, 1, C_KEY, clip);
            } else {
                fill(x + s / 4 + k, y + s * 3 / 4 - k, 1, 2 * k + 1, C_KEY, clip);
                fill(x + s * 3 / 4 - k, y + s * 3 / 4 - k, 1, 2 * k + 1, C_KEY, clip);
            }
        }
        return;
    }
    default:
        if (c > 0 && c < CELL_IMAGE_SLOTS) blit(cell_images[c], x, y, s, s, false, clip);
        else fill(x + s / 4, y + s / 4, s / 2, s / 2, C_BAD, clip); // a code the game has no picture for
        return;
    }
}

void draw_level() {
    const int s = cell_px();
    fill(0, EDITOR_AREA_Y, SCREEN_WIDTH, EDITOR_AREA_H, C_OUTSIDE, PAGE_CLIP);
    const int c0 = editor.scroll_x / s, r0 = editor.scroll_y / s;
    for (int row = r0; row < edit_level.height && row <= r0 + EDITOR_AREA_H / s; row++)
        for (int col = c0; col < EDIT_WIDTH && col <= c0 + SCREEN_WIDTH / s; col++) {
            const int x = col * s - editor.scroll_x, y = EDITOR_AREA_Y + row * s - editor.scroll_y;
            fill(x, y, s, s, C_EMPTY, AREA_CLIP);
            draw_code(edit_level.cell[row * EDIT_WIDTH + col], x, y, s, AREA_CLIP);
            if (editor.grid) {
                fill(x, y, s, 1, C_GRID, AREA_CLIP);
                fill(x, y, 1, s, C_GRID, AREA_CLIP);
            }
        }
    auto cell_box = [&](int col, int row, int w, int h, int thick, uint32_t color) {
        box(col * s - editor.scroll_x, EDITOR_AREA_Y + row * s - editor.scroll_y, w * s, h * s, thick, color, AREA_CLIP);
    };
    // Eggs and seed out of reach.
    if (editor_report.reach_checked)
        for (int i = 0; i < editor_report.lost && i < EDIT_CELLS; i++)
            cell_box(editor_report.lost_at[i].col, editor_report.lost_at[i].row, 1, 1, s >= 32 ? 3 : 2, C_BAD);
    // What the tool is about to do.
    if (editor.anchored) {
        int a = editor.anchor_col, b = editor.cursor_col, c = editor.anchor_row, d = editor.cursor_row;
        if (editor.tool == TOOL_LINE) {
            // The cells the line will cover: the same walk EDIT_LINE takes.
            const int dc = std::abs(b - a), dr = -std::abs(d - c), sc = a < b ? 1 : -1, sr = c < d ? 1 : -1;
            int err = dc + dr, col = a, row = c;
            for (;;) {
                cell_box(col, row, 1, 1, 1, C_SELECT);
                if (col == b && row == d) break;
                const int e2 = 2 * err;
                if (e2 >= dr) { err += dr; col += sc; }
                if (e2 <= dc) { err += dc; row += sr; }
            }
        } else {
            order(&a, &b);
            order(&c, &d);
            cell_box(a, c, b - a + 1, d - c + 1, 2, C_SELECT);
        }
    }
    if (editor.selected) {
        int dc = 0, dr = 0;
        if (drag.moving) {
            dc = drag.last_col - editor.anchor_col;
            dr = drag.last_row - editor.anchor_row;
        }
        cell_box(editor.sel_c0 + dc, editor.sel_r0 + dr, editor.sel_c1 - editor.sel_c0 + 1,
                 editor.sel_r1 - editor.sel_r0 + 1, 2, C_SELECT);
    }
    cell_box(editor.cursor_col, editor.cursor_row, 1, 1, 1, C_CURSOR);
}

void draw_palette() {
    fill(0, EDITOR_PALETTE_Y, SCREEN_WIDTH, EDITOR_PALETTE_H, C_BACK, PAGE_CLIP);
    for (int c = 0; c < EDITOR_CODES; c++) {
        const int x = c * PALETTE_CELL_W;
        fill(x + 1, EDITOR_PALETTE_Y + 1, 30, 30, C_EMPTY, PAGE_CLIP);
        draw_code(c, x + 3, EDITOR_PALETTE_Y + 3, 26, PAGE_CLIP);
        if (c == editor.code) box(x, EDITOR_PALETTE_Y, 32, 32, 2, C_KEY, PAGE_CLIP);
    }
    for (int t = 0; t < TOOL_COUNT; t++) {
        const int x = TOOLS_X + t * 32;
        fill(x + 1, EDITOR_PALETTE_Y + 1, 30, 30, C_BUTTON, PAGE_CLIP);
        text(x + 4, EDITOR_PALETTE_Y + 8, t == editor.tool ? C_KEY : C_TEXT, TOOL_LABELS[t]);
        if (t == editor.tool) box(x, EDITOR_PALETTE_Y, 32, 32, 2, C_KEY, PAGE_CLIP);
    }
    for (int b = 0; b < BUTTON_COUNT; b++) {
        const int x = BUTTONS_X + b * 32;
        fill(x + 1, EDITOR_PALETTE_Y + 1, 30, 30, C_BUTTON, PAGE_CLIP);
        const bool off = (b == BUTTON_UNDO && EDIT_UNDO_STEPS() == 0) || (b == BUTTON_REDO && EDIT_REDO_STEPS() == 0);
        text(x + 4, EDITOR_PALETTE_Y + 8, off ? C_DIM : C_TEXT, BUTTON_LABELS[b]);
    }
}

void draw_bar() {
    fill(0, 0, SCREEN_WIDTH, EDITOR_BAR_H, C_BACK, PAGE_CLIP);
    for (int i = 0; i < BAR_COUNT; i++) {
        fill(BAR[i].x + 1, 0, BAR[i].w - 2, EDITOR_BAR_H, C_BUTTON, PAGE_CLIP);
        char label[24];
        if (BAR[i].request == -2) std::snprintf(label, sizeof label, "Round:%s", ROUND_NAMES[editor.round]);
        else std::snprintf(label, sizeof label, "%s", BAR[i].label);
        text(BAR[i].x + 4, 0, C_TEXT, label);
    }
    text(BAR_TEXT_X, 0, C_KEY, editor.proof);
}

void draw_lines() {
    fill(0, EDITOR_STATUS_Y, SCREEN_WIDTH, 32, C_BACK, PAGE_CLIP);
    const EditReport& r = editor_report;
    char reach[32];
    if (!r.reach_checked) std::snprintf(reach, sizeof reach, "reachable: ?");
    else if (r.lost == 0) std::snprintf(reach, sizeof reach, "reachable: all");
    else std::snprintf(reach, sizeof reach, "reachable: %d not", r.lost);
    char line[EDITOR_TEXT_CHARS * 2];
    std::snprintf(line, sizeof line, "%s%s %dr eggs %d seeds %d swans %d %s", editor.name, editor.unsaved ? "*" : "",
                  edit_level.height, r.eggs, r.seeds, r.swans, reach);
    line[EDITOR_TEXT_CHARS - 1] = '\0';
    text(0, EDITOR_STATUS_Y, r.lost > 0 || !r.reach_checked ? C_BAD : C_TEXT, line);
    const int used = static_cast<int>(std::strlen(line));
    const int room = 80 - used - 1;
    if (room > 4 && hover[0] != '\0') {
        char h[EDITOR_TEXT_CHARS];
        std::snprintf(h, sizeof h, "%.*s", room, hover);
        text(SCREEN_WIDTH - 8 * static_cast<int>(std::strlen(h)), EDITOR_STATUS_Y, C_KEY, h);
    }
    if (frame - message_frame < MESSAGE_FRAMES && editor.message[0] != '\0') {
        text(0, EDITOR_PROBLEM_Y, C_GOOD, editor.message);
    } else if (r.reach_checked && r.lost > 0) {
        // Which: "out of reach: egg 12,5; seed 3,4; ..." as far as the line goes.
        char p[EDITOR_TEXT_CHARS + 32];
        int n = std::snprintf(p, sizeof p, "out of reach:");
        for (int i = 0; i < r.lost && i < EDIT_CELLS && n < 64; i++)
            n += std::snprintf(p + n, sizeof p - static_cast<size_t>(n), "%s %s %d,%d", i > 0 ? ";" : "",
                               r.lost_at[i].code == CELL_SEED ? "seed" : "egg", r.lost_at[i].col, r.lost_at[i].row);
        if (n >= 64 && r.lost > 1) std::snprintf(p + 64, sizeof p - 64, " ... (%d in all)", r.lost);
        p[EDITOR_TEXT_CHARS - 1] = '\0';
        text(0, EDITOR_PROBLEM_Y, C_BAD, p);
    } else if (r.problems > 0) {
        char p[EDITOR_TEXT_CHARS + 24];
        if (r.problems > 1) std::snprintf(p, sizeof p, "%.68s (+%d more)", r.problem[0], r.problems - 1);
        else std::snprintf(p, sizeof p, "%.79s", r.problem[0]);
        p[EDITOR_TEXT_CHARS - 1] = '\0';
        text(0, EDITOR_PROBLEM_Y, C_BAD, p);
    } else {
        text(0, EDITOR_PROBLEM_Y, C_GOOD, "The level keeps every rule the game needs.");
    }
}

const char* const HELP[] = {
    "Level editor keys",
    "",
    "Mouse: left draws, right erases, middle drags the view, wheel scrolls",
    "  (Shift: across, Ctrl: zoom).  Touch: one finger draws, two scroll and zoom.",
    "Arrows move the cursor; Space or Enter draws there (a pad: D-pad and A).",
    "0-9 choose a cell: 0 empty 1 block 2 swan 3 seed 4 ladder 5 player",
    "    6 duck 7 egg 8 lift up-down 9 lift side-to-side",
    "B pencil  R rectangle  L line  K picker  S select  G grid  Z zoom",
    "Ctrl+Z undo  Ctrl+Y redo  Ctrl+C copy  Ctrl+X cut  Ctrl+V paste",
    "Delete empties the selection; drag it with the select tool to move it.",
    "Page Up / Page Down: a row more or less.  Tab: the round to play and prove.",
    "[ and ]: a pack folder's level file before or after (edit --edit FOLDER).",
    "F2 save  F5 play (Esc comes back)  F6 prove (again: cancel)",
    "F7 watch the proof  F9 publish a pack  F1 this page  Esc leave",
};

void draw_form() {
    const int h = 40 + EDITOR_FORM_FIELDS * 24 + 24 + editor.form_problems * 18 + 16;
    fill(FORM_X, FORM_Y, FORM_W, h, C_BACK, PAGE_CLIP);
    box(FORM_X, FORM_Y, FORM_W, h, 1, C_KEY, PAGE_CLIP);
    text(FORM_X + 8, FORM_Y + 8, C_KEY, "Publish a level pack: Enter on the last line (or F9) publishes, Esc closes");
    for (int f = 0; f < EDITOR_FORM_FIELDS; f++) {
        const int y = FORM_Y + 40 + f * 24;
        char line[EDITOR_TEXT_CHARS + 16];
        std::snprintf(line, sizeof line, "%-12s %s%s", FORM_LABELS[f], editor.form_text[f],
                      f == editor.form_field ? "_" : "");
        if (f == editor.form_field) fill(FORM_X + 4, y - 2, FORM_W - 8, 20, C_BUTTON, PAGE_CLIP);
        text(FORM_X + 8, y, f == editor.form_field ? C_CURSOR : C_TEXT, line);
    }
    const int py = FORM_Y + 40 + EDITOR_FORM_FIELDS * 24 + 8;
    for (int i = 0; i < editor.form_problems && i < EDITOR_FORM_PROBLEMS; i++)
        text(FORM_X + 8, py + i * 18, C_BAD, editor.form_problem[i]);
}

void draw_help() {
    const int n = static_cast<int>(sizeof HELP / sizeof HELP[0]);
    fill(16, EDITOR_AREA_Y + 16, SCREEN_WIDTH - 32, n * 18 + 16, C_BACK, PAGE_CLIP);
    box(16, EDITOR_AREA_Y + 16, SCREEN_WIDTH - 32, n * 18 + 16, 1, C_KEY, PAGE_CLIP);
    for (int i = 0; i < n; i++) text(24, EDITOR_AREA_Y + 24 + i * 18, i == 0 ? C_KEY : C_TEXT, HELP[i]);
}

} // namespace

const char* EDITOR_CODE_NAME(int c) { return c >= 0 && c < EDITOR_CODES ? CODE_NAMES[c] : "unknown"; }

bool EDITOR_CELL_AT(int x, int y, int* col, int* row) {
    if (y < EDITOR_AREA_Y || y >= EDITOR_AREA_Y + EDITOR_AREA_H || x < 0 || x >= SCREEN_WIDTH) return false;
    const int s = cell_px();
    const int c = (x + editor.scroll_x) / s, r = (y - EDITOR_AREA_Y + editor.scroll_y) / s;
    if (c < 0 || c >= EDIT_WIDTH || r < 0 || r >= edit_level.height) return false;
    *col = c;
    *row = r;
    return true;
}

void EDITOR_START(const char* name) {
    PROC("EDITOR_START");
    const EditorState fresh{};
    editor = fresh;
    editor.tool = TOOL_PENCIL;
    editor.code = CELL_BLOCK;
    editor.zoom = ZOOM_FIT;
    editor.grid = true;
    editor.round = 1;
    editor.cursor_col = EDIT_WIDTH / 2;
    editor.cursor_row = edit_level.height / 2;
    std::snprintf(editor.name, sizeof editor.name, "%.40s", name != nullptr ? name : "new level");
    drag = Drag{};
    for (Finger& f : fingers) f = Finger{};
    touch_gesture = false;
    previous_tool = TOOL_PENCIL;
    hover[0] = '\0';
    hover_x = hover_y = -1;
    message_frame = -MESSAGE_FRAMES;
    checked_changes = ~0u;
    run_checks();
    redraw = true;
}

void EDITOR_SAY(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(editor.message, sizeof editor.message, format, args);
    va_end(args);
    message_frame = frame;
    redraw = true;
}

void EDITOR_FORM(bool open) {
    editor.form = open;
    editor.form_problems = 0;
    if (open && editor.form_text[2][0] == '\0') std::snprintf(editor.form_text[2], EDITOR_FORM_CHARS, "CC-BY-4.0");
    keyboard_want_text(open);
    redraw = true;
}

void EDITOR_SAVED() {
    editor.unsaved = false;
    editor.leaving = false;
    redraw = true;
}

int EDITOR_INPUT() {
    PROC("EDITOR_INPUT");
    frame++;
    if (frame - message_frame == MESSAGE_FRAMES) redraw = true;
    int request = EDITOR_NOTHING;
    PointerEvent e;
    while (request == EDITOR_NOTHING && pointer_next(&e)) {
        switch (e.kind) {
        case POINTER_MOVE:
            set_hover(e.x, e.y);
            pointer_moved(e.x, e.y);
            break;
        case POINTER_DOWN:
            if (drag.button == 0) request = press(e.x, e.y, e.value);
            break;
        case POINTER_UP: released(e.x, e.y, e.value); break;
        case POINTER_WHEEL: wheel(e.value); break;
        case POINTER_LEAVE: set_hover(-1, -1); break;
        default: request = touch(e); break;
        }
    }
    // A finger held on the palette names it.
    for (const Finger& f : fingers)
        if (f.down && !touch_gesture && frame - f.start_frame == LONG_PRESS_FRAMES) set_hover(f.x, f.y);
    while (request == EDITOR_NOTHING) {
        const std::string k = read_key();
        if (k.empty()) break;
        request = key(k);
    }
    run_checks();
    return request;
}

void EDITOR_DRAW(bool force) {
    PROC("EDITOR_DRAW");
    if (!force && !redraw) return;
    redraw = false;
    lock_screen();
    page = work_page();
    draw_level();
    draw_palette();
    draw_bar();
    draw_lines();
    if (editor.form) draw_form();
    else if (editor.help) draw_help();
    unlock_screen(0, SCREEN_HEIGHT - 1);
    CHECK(show_page());
}
