// reach.cpp -- where the player can get to in a level (reach.h).
//
// The graph.  A node is a free cell (not a block, inside the map) that the
// body can be in, or a lift's shaft as a whole.  What the body can do in a
// cell depends on what holds it there:
//
//   resting  a floor under it (a block, a ladder's top, a horizontal lift's
//            track), a ladder in it, or a vertical lift's shaft, where the
//            lift may be under it;
//   in the air, otherwise.
//
// From a resting cell the player walks left and right (into any free cell; an
// unsupported one is air and he falls from it), climbs up a ladder (onto the
// cell above its top, where its top holds him, or on up through a floor the
// ladder runs through), climbs down a ladder from in it or from its top, rides
// a lift to anywhere in its shaft, and jumps, from a floor or a ladder's top
// (never while on the ladder: Up climbs there) when the cell above is free.
// From the air he falls one row, drifting at most one column over, or comes to
// rest beside him (a floor or a ladder under his side).
//
// The jump.  PLAYER_UPDATE starts one when Up is held on a floor, a lift or a
// ladder's top with 2 pixels free above the head, and lifts the body 2 pixels
// a frame for 16 frames and 1 pixel for the last 8 (JUMP_FRAMES = 24,
// JUMP_SLOW_BELOW = 8): 40 pixels, a row and a quarter, while Left or Right
// moves it 2 pixels a frame (STEP_PIXELS), 48 pixels by the top.  Gravity
// then pulls 4 pixels a frame (FALL_PIXELS), with the same 2 pixels sideways.
// In cells, from a standing place (c, r), with the row above free:
//   - the top of the arc is the row above, r - 1, from column c - 2 to c + 2,
//     as far as free cells go from c (32 pixels of rise take 16 frames and
//     32 pixels sideways, a column; the 21-pixel body started anywhere over
//     column c reaches into the next but one by the top);
//   - the head rises 8 pixels into row r - 2 over those columns: it takes an
//     egg or seed in the bottom half of a cell there, and catches a ladder
//     there (Up then climbs);
//   - from the top it is a fall, and the fall's moves give the rest: a step
//     up (one row, up to three columns over) and gaps of up to 3 columns at
//     the same height.
// The player's code crosses a gap of 2 columns to the same height or a row
// up, and of 3 to a row down; two rows up are out of reach (40 < 64 pixels).
// tests/test_reach.cpp runs the real player's jumps from every toe-hold of
// small maps and checks that the graph reaches wherever he comes to rest.
//
// Where the graph is generous (it may say "reachable" for what is not, never
// the other way):
//   - the body is a cell wide here; the real one is 21 pixels and can stand
//     with one foot over a gap; the fall drifts a column a row where the
//     real one drifts half a column, and rests on any floor beside it;
//   - a vertical lift carries the player to every free cell of its column
//     between the blocks above and below it, both ways, though it turns
//     earlier (at eggs, ladders and 48 pixels under a block);
//   - a horizontal lift's track is floor all along, and open to fall through;
//   - the swans and the duck are not there, and time never runs out.
// The answers.  An egg or seed is out of reach when no reached node puts the
// body on its cell and no reached jump takes it from below.  A trap is a
// reached resting place from which some reachable egg can no longer be
// reached: found by going back from each egg along the graph's moves.
//
// Everything lives in fixed tables made for the largest level (1000 cells);
// the graph is rebuilt by every check, and nothing is allocated.
#include "proof/reach.h"

#include "actors/player.h"
#include "map/map.h"

#include <cstdint>

static constexpr const char MODULE_NAME[] = "reach";

// --- shared state ----------------------------------------------------------

int reach_eggs = 0, reach_seeds = 0;
int reach_eggs_lost = 0;
int reach_lost_count = 0;
Table<ReachPlace, REACH_CELLS> reach_lost;
int reach_trap_count = 0;
Table<ReachPlace, REACH_CELLS> reach_traps;

// --- module state ----------------------------------------------------------

namespace {

// What is in each cell, as flags.
enum : uint8_t { F_SOLID = 1, F_LADDER = 2, F_SHAFT = 4, F_TRACK = 8, F_ITEM = 16 };

// A move that only touches its cell (the head in an egg's cell at the top of
// a jump) rather than putting the body there.
constexpr uint16_t TOUCH = 0x8000;
constexpr uint16_t NODE_MASK = 0x7FFF;

// A resting cell has at most 2 walks, 2 climbs, 1 ride and a jump's 5 tops
// with 5 touches or catches (15), a cell in the air 2 falls and 2 rests and
// the fall below (5); a shaft leads to each of its cells once.
constexpr int EDGE_CAPACITY = 16 * REACH_CELLS;

int width = 0, height = 0, cell_count = 0;
Table<uint8_t, REACH_CELLS> flags;
Table<int16_t, REACH_CELLS> shaft_of; // the shaft node a cell belongs to, or -1

// The moves out of each node (first_out[n] to first_out[n + 1] - 1 in out_to)
// and into it (the same in in_from), with the TOUCH bit on touching moves.
Table<int, REACH_NODES + 1> first_out, first_in;
Table<uint16_t, EDGE_CAPACITY> out_to, in_from;
Table<int, REACH_NODES + 1> fill_at;

Table<uint8_t, REACH_NODES> reached;   // 1: the body gets there
Table<uint8_t, REACH_CELLS> touched;   // 1: the head gets into the cell
Table<int16_t, REACH_NODES> queue;
Table<uint8_t, REACH_NODES> back_seen; // scratch of the walk back from one egg
Table<int16_t, REACH_NODES> eggs_behind; // reachable eggs each node can still get to
Table<int16_t, REACH_NODES> node_distance; // moves to the nearest egg (REACH_EGG_DISTANCES)

// --- cells -----------------------------------------------------------------

bool inside(int c, int r) { return c >= 0 && r >= 0 && c < width && r < height; }
int index_of(int c, int r) { return r * width + c; }
bool has(int c, int r, uint8_t f) { return inside(c, r) && (flags[index_of(c, r)] & f) != 0; }
bool is_free(int c, int r) { return inside(c, r) && (flags[index_of(c, r)] & F_SOLID) == 0; }
bool is_solid(int c, int r) { return !is_free(c, r); }

// The body stands in (c, r): a floor, a ladder's top or a track under it, or
// a lift's shaft around it.
bool supported(int c, int r) {
    return is_free(c, r) && (is_solid(c, r + 1) || has(c, r + 1, F_LADDER) || has(c, r + 1, F_TRACK) ||
                             has(c, r, F_SHAFT));
}

bool resting(int c, int r) { return supported(c, r) || has(c, r, F_LADDER); }

// The cell flags, the shafts of the vertical lifts and the tracks of the
// horizontal ones, from the table as loaded (a lift is looked at where it was
// loaded: its grid square).
void read_cells() {
    for (int k = 0; k < cell_count; k++) {
        const int code = cells[k].code;
        uint8_t f = 0;
        if (code == CELL_BLOCK) f = F_SOLID;
        else if (code == CELL_LADDER) f = F_LADDER;
        else if (code == CELL_EGG || code == CELL_SEED) f = F_ITEM;
        flags[k] = f;
        shaft_of[k] = -1;
    }
    for (int k = 0; k < cell_count; k++) {
        const int code = cells[k].code;
        const int c = k % width, r = k / width;
        if (code == CELL_LIFT_V) {
            int top = r;
            while (is_free(c, top - 1)) top--;
            for (int rr = top; is_free(c, rr); rr++) {
                flags[index_of(c, rr)] |= F_SHAFT;
                shaft_of[index_of(c, rr)] = static_cast<int16_t>(cell_count + index_of(c, top));
            }
        } else if (code == CELL_LIFT_H) {
            for (int cc = c; is_free(cc, r); cc--) flags[index_of(cc, r)] |= F_TRACK;
            for (int cc = c; is_free(cc, r); cc++) flags[index_of(cc, r)] |= F_TRACK;
        }
    }
}

// --- moves -----------------------------------------------------------------

// Calls emit(to) for every move out of node n (to carries TOUCH for a touch).
template <typename Emit>
void moves_of(int n, Emit emit) {
    if (n >= cell_count) {
        // A shaft: every cell of its column.
        const int top = n - cell_count;
        const int c = top % width;
        for (int r = top / width; has(c, r, F_SHAFT); r++) emit(index_of(c, r));
        return;
    }
    const int c = n % width, r = n / width;
    if (is_solid(c, r)) return;
    auto to = [&](int cc, int rr) { emit(index_of(cc, rr)); };
    if (!resting(c, r)) {
        if (is_free(c, r + 1)) to(c, r + 1);
        for (int side = -1; side <= 1; side += 2) {
            if (is_free(c + side, r + 1)) to(c + side, r + 1);
            if (resting(c + side, r)) to(c + side, r);
        }
        return;
    }
    for (int side = -1; side <= 1; side += 2)
        if (is_free(c + side, r)) to(c + side, r);
    const bool on_ladder = has(c, r, F_LADDER);
    if (on_ladder && is_free(c, r - 1)) to(c, r - 1);
    if (is_free(c, r + 1) && (on_ladder || has(c, r + 1, F_LADDER))) to(c, r + 1);
    if (shaft_of[n] >= 0) emit(shaft_of[n]);
    if (on_ladder || !supported(c, r) || !is_free(c, r - 1)) return;
    // The jump: the tops of its arc in the row above, out to two columns
    // each way while the cells stay free, and the head in the row above that.
    for (int side = -1; side <= 1; side += 2) {
        for (int d = (side < 0 ? 0 : 1); d <= 2; d++) {
            const int cc = c + side * d;
            if (!is_free(cc, r - 1)) break;
            to(cc, r - 1);
            if (has(cc, r - 2, F_LADDER)) to(cc, r - 2);
            else if (has(cc, r - 2, F_ITEM)) emit(static_cast<uint16_t>(index_of(cc, r - 2) | TOUCH));
        }
    }
}

// Builds the moves out of and into every node, in two passes each.
void build_graph() {
    const int nodes = 2 * cell_count;
    for (int n = 0; n <= nodes; n++) first_out[n] = first_in[n] = 0;
    for (int n = 0; n < nodes; n++)
        moves_of(n, [&](int to) {
            first_out[n + 1] += 1;
            first_in[(to & NODE_MASK) + 1] += 1;
        });
    for (int n = 0; n < nodes; n++) {
        first_out[n + 1] += first_out[n];
        first_in[n + 1] += first_in[n];
    }
    for (int n = 0; n < nodes; n++) fill_at[n] = first_in[n];
    for (int n = 0; n < nodes; n++) {
        int at = first_out[n];
        moves_of(n, [&](int to) {
            out_to[at++] = static_cast<uint16_t>(to);
            in_from[fill_at[to & NODE_MASK]++] = static_cast<uint16_t>(n | (to & TOUCH));
        });
    }
}

// --- the walks -------------------------------------------------------------

// Marks reached[] and touched[] from node start.
void walk_forward(int start) {
    const int nodes = 2 * cell_count;
    for (int n = 0; n < nodes; n++) reached[n] = 0;
    for (int k = 0; k < cell_count; k++) touched[k] = 0;
    int head = 0, tail = 0;
    reached[start] = 1;
    queue[tail++] = static_cast<int16_t>(start);
    while (head < tail) {
        const int n = queue[head++];
        if (n < cell_count) touched[n] = 1;
        for (int e = first_out[n]; e < first_out[n + 1]; e++) {
            const int to = out_to[e] & NODE_MASK;
            if (out_to[e] & TOUCH) {
                touched[to] = 1;
            } else if (!reached[to]) {
                reached[to] = 1;
                queue[tail++] = static_cast<int16_t>(to);
            }
        }
    }
}

// Counts, in eggs_behind[], one more for every node from which the egg in
// cell k can be reached: back along the moves from the cell, and from the
// jumps whose heads touch it.
void walk_back_from(int k) {
    const int nodes = 2 * cell_count;
    for (int n = 0; n < nodes; n++) back_seen[n] = 0;
    int head = 0, tail = 0;
    back_seen[k] = 1;
    queue[tail++] = static_cast<int16_t>(k);
    while (head < tail) {
        const int n = queue[head++];
        eggs_behind[n] += 1;
        for (int e = first_in[n]; e < first_in[n + 1]; e++) {
            const int from = in_from[e] & NODE_MASK;
            // A touch reaches the egg's own cell only, not the cells behind it.
            if ((in_from[e] & TOUCH) && n != k) continue;
            if (!back_seen[from]) {
                back_seen[from] = 1;
                queue[tail++] = static_cast<int16_t>(from);
            }
        }
    }
}

} // namespace

// --- the procedures --------------------------------------------------------

int REACH_FROM(int col, int row) {
    PROC("REACH_FROM");
    reach_eggs = reach_seeds = reach_eggs_lost = 0;
    reach_lost_count = reach_trap_count = 0;
    // A level with no cells (or no rows, or more than a level holds) has
    // nothing in it to reach.
    const bool usable = map_width > 0 && map_height > 0 && map_width <= REACH_CELLS &&
                        map_height <= REACH_CELLS && map_width * map_height <= REACH_CELLS &&
                        last_cell >= map_width * map_height - 1;
    width = usable ? map_width : 0;
    height = usable ? map_height : 0;
    cell_count = width * height;
    if (cell_count == 0) return 0;
    read_cells();
    build_graph();
    const int nodes = 2 * cell_count;
    if (is_free(col, row)) {
        walk_forward(index_of(col, row));
    } else {
        for (int n = 0; n < nodes; n++) reached[n] = 0;
        for (int k = 0; k < cell_count; k++) touched[k] = 0;
    }

    int eggs_in_reach = 0;
    for (int n = 0; n < nodes; n++) eggs_behind[n] = 0;
    for (int k = 0; k < cell_count; k++) {
        const int code = cells[k].code;
        if (code != CELL_EGG && code != CELL_SEED) continue;
        if (code == CELL_EGG) reach_eggs += 1;
        else reach_seeds += 1;
        if (touched[k]) {
            if (code == CELL_EGG) {
                eggs_in_reach += 1;
                walk_back_from(k);
            }
            continue;
        }
        if (code == CELL_EGG) reach_eggs_lost += 1;
        reach_lost[reach_lost_count++] = ReachPlace{k % width, k / width, code};
    }
    for (int k = 0; k < cell_count; k++) {
        if (!reached[k] || !resting(k % width, k / width) || eggs_behind[k] == eggs_in_reach) continue;
        reach_traps[reach_trap_count++] = ReachPlace{k % width, k / width, cells[k].code};
    }
    return reach_eggs_lost;
}

int REACH_LEVEL() {
    PROC("REACH_LEVEL");
    // The start cell: the body's middle column and its top row, in map pixels.
    return REACH_FROM((start_x - start_scroll_x + 16) >> 5, (start_y - start_scroll_y) >> 5);
}

void REACH_EGG_DISTANCES(Table<int16_t, REACH_CELLS>* out) {
    PROC("REACH_EGG_DISTANCES");
    for (int k = 0; k < REACH_CELLS; k++) (*out)[k] = REACH_FAR;
    const int nodes = 2 * cell_count;
    for (int n = 0; n < nodes; n++) node_distance[n] = REACH_FAR;
    int head = 0, tail = 0;
    for (int k = 0; k < cell_count; k++)
        if (cells[k].code == CELL_EGG) {
            node_distance[k] = 0;
            queue[tail++] = static_cast<int16_t>(k);
        }
    while (head < tail) {
        const int n = queue[head++];
        for (int e = first_in[n]; e < first_in[n + 1]; e++) {
            const int from = in_from[e] & NODE_MASK;
            // A touch takes the egg in its own cell, and leads nowhere on.
            if ((in_from[e] & TOUCH) && node_distance[n] != 0) continue;
            if (node_distance[from] == REACH_FAR) {
                node_distance[from] = static_cast<int16_t>(node_distance[n] + 1);
                queue[tail++] = static_cast<int16_t>(from);
            }
        }
    }
    for (int k = 0; k < cell_count; k++) (*out)[k] = node_distance[k];
}

int REACH_PLACE(int col, int row) {
    PROC("REACH_PLACE");
    if (!inside(col, row)) return 0;
    return reached[index_of(col, row)];
}
