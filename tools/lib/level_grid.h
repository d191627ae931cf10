// level_grid.h -- the level as a graph of cells for the tools: which cells the
// player can reach from each cell in one move (walking, falling, ladders,
// lifts and one-cell jumps) and the distance from every cell to the nearest
// egg left.  The solver ranks its states by it; the difficulty measure's
// novice walks by it.  Reads the map as loaded (lifts at home).
#pragma once

#include "map/map.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

struct Grid {
    int w = 0, h = 0;
    std::vector<std::vector<int>> forward; // cells reachable from each cell in one move
    std::vector<std::vector<int>> backward;
    std::unordered_map<uint64_t, std::vector<int>> dist_cache; // by the set of eggs left
};

// The code of the cell at column c, row r; CELL_BLOCK outside the map.
int grid_code_at(int c, int r);

// Builds the moves between cells for the level as loaded (lifts at home).
void build_grid(Grid* g);

// The set of eggs left, as a hash of their table indices.
uint64_t eggs_left_key();

// The distance in moves from every cell to the nearest egg of the set `key`
// (eggs_left_key() of the map now), kept in g's cache by key.
const std::vector<int>& egg_distances(Grid* g, uint64_t key);
