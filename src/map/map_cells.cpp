// map_cells.cpp -- the queries other modules put to the cell table: the code
// at a grid square, the eggs left, and the two contact tests that turn lifts.
//
// Boxes include both edges.  The contact tests compare the corners of one box
// with the spans of the other, which is not the same as a plain overlap test:
// a lift strip wider than the player on both sides, with the player reaching
// above and below it, does not count as touching.
#include "map/map.h"

#include <climits>
#include <cstdint>

#include "actors/player.h"

static constexpr const char MODULE_NAME[] = "map";

namespace {

// An index that does not fit 32 bits becomes -1, so the table still refuses it.
int narrow_index(int64_t index) {
    return (index < INT_MIN || index > INT_MAX) ? -1 : static_cast<int>(index);
}

bool within(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v <= hi; }

} // namespace

void map_cells_changed() { cells_stamp += 1; }

void map_code_changed(int k, int old_code, int new_code) {
    if (old_code == new_code) return;
    const bool lift = old_code == CELL_LIFT_V || old_code == CELL_LIFT_H || new_code == CELL_LIFT_V ||
                      new_code == CELL_LIFT_H;
    // A cell on its own square is found there whatever its code: no list holds it.
    const MapCell& c = cells[k];
    const bool own_square =
        map_width > 0 && k <= last_cell && c.x == 32 * (k % map_width) && c.y == 32 * (k / map_width);
    if (lift || !own_square) cells_stamp += 1;
}

int MAP_GET(int col, int row) {
    PROC("MAP_GET");
    // No check of col against the width: past a row's end reads the next row.
    const int code = cells[narrow_index(static_cast<int64_t>(map_width) * row + col)].code;
    return (code == CELL_LIFT_V || code == CELL_LIFT_H) ? CELL_EMPTY : code;
}

int MAP_EGGS() {
    PROC("MAP_EGGS");
    int eggs = 0;
    for (int k = 0; k <= last_cell; k++)
        if (cells[k].code == CELL_EGG) eggs++;
    return eggs;
}

int MAP_COLLIDE(int i, int dx, int dy) {
    PROC("MAP_COLLIDE");
    const MapCell& moving = cells[i];
    const int64_t bx = static_cast<int64_t>(moving.x) + dx;
    const int64_t by = static_cast<int64_t>(moving.y) + dy;
    for (int j = 0; j <= last_cell; j++) {
        if (j == i) continue;
        const MapCell& other = cells[j];
        if (other.code < 1) continue;
        // The top 16 rows of the moved cell against the other's full square.
        if (within(bx, other.x - 31LL, other.x + 31LL) && within(by, other.y - 15LL, other.y + 31LL))
            return 1;
    }
    return 0;
}

int MAP_HITPLAYER(int i, int dx, int dy) {
    PROC("MAP_HITPLAYER");
    const MapCell& cell = cells[i];
    // The cell's top strip in screen pixels: bx..bx+31 across, by..by+15 down.
    const int64_t bx = static_cast<int64_t>(cell.x) + dx + scroll_x;
    const int64_t by = static_cast<int64_t>(cell.y) + dy + scroll_y;
    // The player's body: px..px+16 across, py..py+31 down.
    const int64_t px = static_cast<int64_t>(player_x) + 8;
    const int64_t py = player_y;
    // The player's side edges in the strip's columns: its top or bottom edge
    // in the strip's rows.
    if (within(px, bx, bx + 31) || within(px + 16, bx, bx + 31))
        if (within(py, by, by + 15) || within(py + 31, by, by + 15)) return 1;
    // The strip's side edges in the player's columns: its bottom or top edge
    // in the player's rows.
    if (within(bx, px, px + 16) || within(bx + 31, px, px + 16))
        if (within(by + 15, py, py + 31) || within(by, py, py + 31)) return 1;
    return 0;
}
