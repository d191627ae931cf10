// level_grid.cpp -- the level as a graph of cells (level_grid.h).
#include "level_grid.h"

#include <algorithm>

int grid_code_at(int c, int r)
{
    if (c < 0 || r < 0 || c >= map_width || r >= map_height) return CELL_BLOCK;
    return cells[r * map_width + c].code;
}

void build_grid(Grid* g)
{
    const int w = map_width, h = map_height;
    g->w = w;
    g->h = h;
    g->forward.assign(static_cast<size_t>(w * h), {});
    g->backward.assign(static_cast<size_t>(w * h), {});
    g->dist_cache.clear();
    std::vector<char> solid(w * h), ladder(w * h), shaft(w * h), track(w * h);
    auto at = [&](int c, int r) { return r * w + c; };
    auto inside = [&](int c, int r) { return c >= 0 && r >= 0 && c < w && r < h; };
    auto is_solid = [&](int c, int r) { return !inside(c, r) || solid[at(c, r)]; };
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            solid[at(c, r)] = grid_code_at(c, r) == CELL_BLOCK;
            ladder[at(c, r)] = grid_code_at(c, r) == CELL_LADDER;
        }
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            const int code = grid_code_at(c, r);
            if (code == CELL_LIFT_V) {
                for (int rr = r; rr >= 0 && !is_solid(c, rr); rr--) shaft[at(c, rr)] = 1;
                for (int rr = r; rr < h && !is_solid(c, rr); rr++) shaft[at(c, rr)] = 1;
                // The lift carries the player one cell above its highest point.
            }
            if (code == CELL_LIFT_H) {
                for (int cc = c; cc >= 0 && !is_solid(cc, r); cc--) track[at(cc, r)] = 1;
                for (int cc = c; cc < w && !is_solid(cc, r); cc++) track[at(cc, r)] = 1;
            }
        }
    auto flag = [&](const std::vector<char>& v, int c, int r) { return inside(c, r) && v[at(c, r)]; };
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            if (is_solid(c, r)) continue;
            std::vector<int>& out = g->forward[at(c, r)];
            auto add = [&](int cc, int rr) {
                if (is_solid(cc, rr)) return;
                const int k = at(cc, rr);
                if (std::find(out.begin(), out.end(), k) == out.end()) out.push_back(k);
            };
            const bool on_ladder = flag(ladder, c, r) || flag(shaft, c, r);
            const bool supported = is_solid(c, r + 1) || flag(ladder, c, r + 1) || flag(track, c, r + 1) ||
                                   on_ladder;
            if (supported) {
                add(c - 1, r);
                add(c + 1, r);
                if (!is_solid(c, r - 1)) {
                    add(c, r - 1);
                    add(c - 1, r - 1);
                    add(c + 1, r - 1);
                }
            } else {
                add(c, r + 1);
                add(c - 1, r + 1);
                add(c + 1, r + 1);
                add(c - 1, r);
                add(c + 1, r);
            }
            if (on_ladder || flag(ladder, c, r + 1) || flag(track, c, r + 1)) add(c, r + 1);
            if (flag(shaft, c, r - 1) || flag(shaft, c, r)) add(c, r - 1);
        }
    for (int k = 0; k < w * h; k++)
        for (int to : g->forward[k]) g->backward[to].push_back(k);
}

uint64_t eggs_left_key()
{
    uint64_t key = 1469598103934665603ull;
    for (int i = 0; i <= last_cell; i++)
        if (cells[i].code == CELL_EGG) key = (key ^ static_cast<uint64_t>(i + 1)) * 1099511628211ull;
    return key;
}

const std::vector<int>& egg_distances(Grid* g, uint64_t key)
{
    auto found = g->dist_cache.find(key);
    if (found != g->dist_cache.end()) return found->second;
    std::vector<int> dist(static_cast<size_t>(g->w * g->h), 1 << 20);
    std::vector<int> queue;
    for (int i = 0; i <= last_cell && i < g->w * g->h; i++)
        if (cells[i].code == CELL_EGG) {
            dist[i] = 0;
            queue.push_back(i);
        }
    for (size_t q = 0; q < queue.size(); q++) {
        const int k = queue[q];
        for (int from : g->backward[k])
            if (dist[from] > dist[k] + 1) {
                dist[from] = dist[k] + 1;
                queue.push_back(from);
            }
    }
    return g->dist_cache.emplace(key, std::move(dist)).first->second;
}
