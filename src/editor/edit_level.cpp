// edit_level.cpp -- the level being edited, its tools, history and rules
// (edit_level.h).
#include "editor/edit_level.h"

#include "map/map.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static constexpr const char MODULE_NAME[] = "edit";

EditLevel edit_level;
EditClip edit_clip;
unsigned edit_changes = 0;

namespace {

// The history: history[(first + i) % EDIT_HISTORY] for i below kept, the
// level shown at index now.  A step past the last drops the redo steps; a
// step with the ring full drops the oldest.
Table<EditLevel, EDIT_HISTORY> history;
int first = 0, kept = 0, now = 0;
bool in_stroke = false;

EditLevel& history_at(int i) { return history[(first + i) % EDIT_HISTORY]; }

bool inside(int col, int row) { return col >= 0 && col < EDIT_WIDTH && row >= 0 && row < edit_level.height; }

void history_restart() {
    first = 0;
    kept = 1;
    now = 0;
    history_at(0) = edit_level;
    in_stroke = false;
    edit_changes++;
}

// Ends a step: the level as it stands becomes the newest in the history,
// unless nothing changed.
void commit() {
    PROC("EDIT_COMMIT");
    const EditLevel& shown = history_at(now);
    if (shown.height == edit_level.height && std::memcmp(shown.cell, edit_level.cell, sizeof shown.cell) == 0) return;
    kept = now + 1;
    if (kept == EDIT_HISTORY) { // full: the oldest goes
        first = (first + 1) % EDIT_HISTORY;
        kept--;
    }
    history_at(kept) = edit_level;
    now = kept;
    kept++;
    edit_changes++;
}

void end_stroke() {
    if (!in_stroke) return;
    in_stroke = false;
    commit();
}

// Sets one cell; the one start of the player (and of the duck) moves here.
void put(int col, int row, int code) {
    if (!inside(col, row)) return;
    if (code == CELL_PLAYER || code == CELL_DUCK)
        for (int k = 0; k < EDIT_WIDTH * edit_level.height; k++)
            if (edit_level.cell[k] == code) edit_level.cell[k] = CELL_EMPTY;
    edit_level.cell[row * EDIT_WIDTH + col] = static_cast<unsigned char>(code);
}

void order(int* a, int* b) {
    if (*a > *b) {
        const int t = *a;
        *a = *b;
        *b = t;
    }
}

void copy_rect(int c0, int r0, int c1, int r1) {
    order(&c0, &c1);
    order(&r0, &r1);
    if (c0 < 0) c0 = 0;
    if (r0 < 0) r0 = 0;
    if (c1 >= EDIT_WIDTH) c1 = EDIT_WIDTH - 1;
    if (r1 >= edit_level.height) r1 = edit_level.height - 1;
    if (c1 < c0 || r1 < r0) return; // nothing of it inside: the clipboard stays
    edit_clip.w = c1 - c0 + 1;
    edit_clip.h = r1 - r0 + 1;
    for (int r = 0; r < edit_clip.h; r++)
        for (int c = 0; c < edit_clip.w; c++)
            edit_clip.cell[r * edit_clip.w + c] = edit_level.cell[(r0 + r) * EDIT_WIDTH + c0 + c];
}

void fill_rect(int c0, int r0, int c1, int r1, int code) {
    order(&c0, &c1);
    order(&r0, &r1);
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++)
            if (inside(c, r)) put(c, r, code);
}

void paste(const EditClip& clip, int col, int row) {
    for (int r = 0; r < clip.h; r++)
        for (int c = 0; c < clip.w; c++) put(col + c, row + r, clip.cell[r * clip.w + c]);
}

int clamp_height(int h) { return h < EDIT_MIN_HEIGHT ? EDIT_MIN_HEIGHT : h > EDIT_MAX_HEIGHT ? EDIT_MAX_HEIGHT : h; }

void add_problem(EditReport* out, const char* text) {
    if (out->problems < 4) std::snprintf(out->problem[out->problems], sizeof out->problem[0], "%s", text);
    out->problems++;
}

} // namespace

void EDIT_NEW(int h) {
    PROC("EDIT_NEW");
    std::memset(&edit_level, 0, sizeof edit_level);
    edit_level.height = clamp_height(h);
    for (int r = 0; r < edit_level.height; r++)
        for (int c = 0; c < EDIT_WIDTH; c++)
            if (r == 0 || r == edit_level.height - 1 || c == 0 || c == EDIT_WIDTH - 1)
                edit_level.cell[r * EDIT_WIDTH + c] = CELL_BLOCK;
    edit_level.cell[(edit_level.height - 2) * EDIT_WIDTH + 20] = CELL_PLAYER;
    history_restart();
}

bool EDIT_OPEN(const unsigned char* cells, int w, int h) {
    PROC("EDIT_OPEN");
    if (w != EDIT_WIDTH || h < EDIT_MIN_HEIGHT || h > EDIT_MAX_HEIGHT) return false;
    std::memset(&edit_level, 0, sizeof edit_level);
    edit_level.height = h;
    std::memcpy(edit_level.cell, cells, static_cast<size_t>(w) * h);
    history_restart();
    return true;
}

int EDIT_GET(int col, int row) {
    if (!inside(col, row)) return CELL_BLOCK;
    return edit_level.cell[row * EDIT_WIDTH + col];
}

void EDIT_STROKE_BEGIN() {
    end_stroke();
    in_stroke = true;
}

void EDIT_PAINT(int col, int row, int code) {
    PROC("EDIT_PAINT");
    put(col, row, code);
    if (!in_stroke) commit();
}

void EDIT_STROKE_END() { end_stroke(); }

void EDIT_FILL(int c0, int r0, int c1, int r1, int code) {
    PROC("EDIT_FILL");
    end_stroke();
    fill_rect(c0, r0, c1, r1, code);
    commit();
}

void EDIT_LINE(int c0, int r0, int c1, int r1, int code) {
    PROC("EDIT_LINE");
    end_stroke();
    // Every cell the straight line from centre to centre passes: steps of
    // one column or one row along the longer way.
    const int dc = std::abs(c1 - c0), dr = std::abs(r1 - r0);
    const int sc = c0 < c1 ? 1 : -1, sr = r0 < r1 ? 1 : -1;
    int err = dc - dr, c = c0, r = r0;
    for (;;) {
        put(c, r, code);
        if (c == c1 && r == r1) break;
        const int e2 = 2 * err;
        if (e2 > -dr) {
            err -= dr;
            c += sc;
        }
        if (e2 < dc) {
            err += dc;
            r += sr;
        }
    }
    commit();
}

void EDIT_COPY(int c0, int r0, int c1, int r1) {
    end_stroke();
    copy_rect(c0, r0, c1, r1);
}

void EDIT_CUT(int c0, int r0, int c1, int r1) {
    PROC("EDIT_CUT");
    end_stroke();
    copy_rect(c0, r0, c1, r1);
    fill_rect(c0, r0, c1, r1, CELL_EMPTY);
    commit();
}

void EDIT_PASTE(int col, int row) {
    PROC("EDIT_PASTE");
    end_stroke();
    paste(edit_clip, col, row);
    commit();
}

void EDIT_MOVE(int c0, int r0, int c1, int r1, int col, int row) {
    PROC("EDIT_MOVE");
    end_stroke();
    static EditClip saved, moving;
    saved = edit_clip;
    copy_rect(c0, r0, c1, r1);
    moving = edit_clip;
    edit_clip = saved;
    fill_rect(c0, r0, c1, r1, CELL_EMPTY);
    paste(moving, col, row);
    commit();
}

void EDIT_RESIZE(int h) {
    PROC("EDIT_RESIZE");
    end_stroke();
    h = clamp_height(h);
    const int old = edit_level.height;
    if (h == old) return;
    static EditLevel was;
    was = edit_level;
    std::memset(edit_level.cell, 0, sizeof edit_level.cell);
    edit_level.height = h;
    // The ceiling stays on top; rows come and go just under it, so the
    // floors keep their places over the bottom.
    for (int r = 0; r < h; r++) {
        const int from = r == 0 ? 0 : r - (h - old);
        for (int c = 0; c < EDIT_WIDTH; c++) {
            unsigned char v = (c == 0 || c == EDIT_WIDTH - 1) ? CELL_BLOCK : CELL_EMPTY;
            if (from >= 0 && (r == 0 || from >= 1)) v = was.cell[from * EDIT_WIDTH + c];
            edit_level.cell[r * EDIT_WIDTH + c] = v;
        }
    }
    commit();
}

bool EDIT_UNDO() {
    PROC("EDIT_UNDO");
    end_stroke();
    if (now == 0) return false;
    now--;
    edit_level = history_at(now);
    edit_changes++;
    return true;
}

bool EDIT_REDO() {
    PROC("EDIT_REDO");
    end_stroke();
    if (now + 1 >= kept) return false;
    now++;
    edit_level = history_at(now);
    edit_changes++;
    return true;
}

int EDIT_UNDO_STEPS() { return now; }
int EDIT_REDO_STEPS() { return kept - 1 - now; }

void EDIT_CHECK(EditReport* out) {
    PROC("EDIT_CHECK");
    *out = EditReport{};
    int start_col = -1, start_row = -1;
    bool swan_in_air = false;
    for (int r = 0; r < edit_level.height; r++) {
        for (int c = 0; c < EDIT_WIDTH; c++) {
            switch (edit_level.cell[r * EDIT_WIDTH + c]) {
            case CELL_EGG: out->eggs++; break;
            case CELL_SEED: out->seeds++; break;
            case CELL_LADDER: out->ladders++; break;
            case CELL_LIFT_V:
            case CELL_LIFT_H: out->lifts++; break;
            case CELL_SWAN:
                out->swans++;
                if (EDIT_GET(c, r + 1) != CELL_BLOCK) swan_in_air = true;
                break;
            case CELL_PLAYER:
                out->starts++;
                start_col = c;
                start_row = r;
                break;
            case CELL_DUCK:
                out->ducks++;
                break;
            default: break;
            }
        }
    }
    char line[96];
    if (out->starts == 0) add_problem(out, "no player's start: place one");
    if (out->starts > 1) {
        std::snprintf(line, sizeof line, "%d player's starts: keep one", out->starts);
        add_problem(out, line);
    }
    if (out->starts == 1 && (start_col < 9 || start_row < 7 || EDIT_GET(start_col, start_row + 1) != CELL_BLOCK))
        add_problem(out, "the player's start needs column 9 or more, row 7 or more, and a block under it");
    if (out->eggs == 0) add_problem(out, "no eggs: the level would end at once");
    if (swan_in_air) add_problem(out, "a swan's start needs a block under it");
    if (out->starts == 1) {
        MAP_LOAD_CELLS(edit_level.cell, EDIT_WIDTH, edit_level.height);
        REACH_LEVEL();
        out->reach_checked = true;
        out->lost = reach_lost_count;
        int eggs = 0;
        for (int i = 0; i < reach_lost_count; i++) {
            out->lost_at[i] = reach_lost[i];
            if (reach_lost[i].code == CELL_EGG) eggs++;
        }
        if (out->lost > 0) {
            std::snprintf(line, sizeof line, "out of reach: %d egg%s, %d seed%s", eggs, eggs == 1 ? "" : "s",
                          out->lost - eggs, out->lost - eggs == 1 ? "" : "s");
            add_problem(out, line);
        }
    }
    if (out->ducks != 1) add_problem(out, out->ducks ? "more than one duck's start: keep one" : "no duck's start: place one");
}
