// solver.cpp -- finds key input that completes levels with the real game code,
// headless and without waiting, and writes it as recordings.
//
//   solver [--seed N] [--dir GAMEDIR] [--out DIR] [--game] [--all] [--beam W] [--cache FILE]
//          [--plans FILE]... [--stuck FILE] [LEVEL...]
//
// For each LEVEL (1 to 27) it sets a new game straight at that level
// (LEVEL_SETUP), answers the "Level" box, and searches: a beam of game states,
// each branched by holding one of nine key sets for a few frames, states that
// lose a life dropped, the rest ranked by eggs taken and by the distance to the
// nearest egg left over the level's cells (walking, falling, ladders, lifts and
// one-cell jumps).  When every branch is lost, the search starts the level
// again counting the places its beam was cornered against states there (six
// such attempts, then wider beams).  The keys found are played once more
// through the tick hook, which logs every tick's input as the recording
// "level-L.rec". With --game it plays one whole game from the title screen the
// same way, level by level, and writes "game.rec" (or, when a level defeats it,
// "game-partial.rec", ending the game with Escape there), which the program
// replays with --replay.  Every figure is printed per level.  With --cache FILE
// the plans found are kept by the game state at the start of their level, so a
// rerun after a level was changed searches again only where the game now
// differs; --plans FILE (any number) reads more such files without writing
// them, so two solvers running side by side can use each other's plans.  A
// level whose start is not in the cache is first tried with every plan there:
// a plan found from another start of the same level often clears it (without
// swans only the score differs), and only a plan that takes every egg without
// losing a life is taken.
#include "../tests/headless_driver.h"
#include "actors/duck.h"
#include "actors/player.h"
#include "map/map.h"
#include "services/bmp.h"
#include "lib/level_grid.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint8_t ACTIONS[] = {0,      K_LEFT,          K_RIGHT,         K_UP,           K_DOWN,
                               K_UP | K_LEFT, K_UP | K_RIGHT, K_DOWN | K_LEFT, K_DOWN | K_RIGHT};
constexpr int KEY_SETS = sizeof ACTIONS;
// Branches: each key set held for the macro's frames, and Left or Right alone
// for two frames, so the player can line up with narrow openings.
constexpr int ACTION_COUNT = KEY_SETS + 2;
uint8_t action_keys(int a) { return a < KEY_SETS ? ACTIONS[a] : static_cast<uint8_t>(a == KEY_SETS ? K_LEFT : K_RIGHT); }

// --- hooks: boxes answered with Space, keys of a plan, every tick logged ------

bool g_box_waiting = false;
int g_boxes = 0;
std::string g_last_box;
const std::vector<uint8_t>* g_plan = nullptr; // keys per frame of the level being played
long g_frames_started = 0;                    // PLAY_FRAME calls started on this level
RecordWriter* g_writer = nullptr;             // where the ticks go, when logging
int g_duck_weight = 8;                        // worth lost per pixel the duck comes nearer than 192
int g_through = LAST_LEVEL;                   // --game: the last level to search; the game ends after it

void on_event(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 || std::strcmp(name, "title") == 0) {
        g_box_waiting = true;
        g_boxes++;
        g_last_box = name;
    }
}

void on_tick(long)
{
    int queued[1];
    int nq = 0;
    if (g_box_waiting) {
        keyboard_queue(' ');
        queued[nq++] = ' ';
        g_box_waiting = false;
    }
    if (g_plan != nullptr) {
        const long f = g_frames_started;
        hold_keys(f < static_cast<long>(g_plan->size()) ? (*g_plan)[static_cast<size_t>(f)] : 0);
    }
    if (g_writer != nullptr) {
        unsigned char held[128];
        keyboard_held_table(held);
        record_line(g_writer, held, queued, nq);
    }
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The cell graph and the distance map are in lib/level_grid.h.

// How far the player is from the nearest egg left, in pixels along the grid.
long heuristic(Grid* g, uint64_t key)
{
    const std::vector<int>& dist = egg_distances(g, key);
    const int mx = player_x - scroll_x + 16, my = player_y - scroll_y + 16;
    const int c = std::clamp(mx >> 5, 0, g->w - 1), r = std::clamp(my >> 5, 0, g->h - 1);
    const int k = r * g->w + c;
    const int d = dist[k];
    if (d >= (1 << 20)) return 1L << 30;
    // Inside the cell: how far to the centre of the best next cell (or the
    // egg's own centre once there).
    int best = k;
    if (d > 0)
        for (int to : g->forward[k])
            if (dist[to] < dist[best]) best = to;
    const int tx = (best % g->w) * 32 + 16, ty = (best / g->w) * 32 + 16;
    return static_cast<long>(d) * 40 + std::abs(tx - mx) + std::abs(ty - my);
}

// How much a state is worth less for having the free duck close by: the duck
// is slow but flies through everything, so a plan that keeps its distance
// can circle round the level's loops instead of being cornered.
long duck_penalty()
{
    if (duck_active != 1) return 0;
    const int px = player_x - scroll_x + 16, py = player_y - scroll_y + 16;
    const int dx = std::abs(duck_x + 32 - px), dy = std::abs(duck_y + 40 - py);
    const int d = std::max(dx, dy);
    return d < 192 ? static_cast<long>(192 - d) * g_duck_weight : 0;
}

// --- the search -----------------------------------------------------------------

struct Step {
    int parent; // index in the step history, -1 for the root
    uint8_t keys;
    uint8_t frames;
};

struct Candidate {
    long score;
    int step;
    int snap;
    uint64_t key;
    uint64_t cell;
};

struct SearchResult {
    bool found = false;
    std::vector<uint8_t> plan;
    long expansions = 0;
    long frames_run = 0;
    int best_eggs = 0, best_x = 0, best_y = 0;
};

int g_beam = 12;
int g_macro = 8;
// Where failed searches were cornered: for each map cell with the eggs left,
// how many attempts at the level had their beam there in the last
// DANGER_GENERATIONS generations before every branch was lost.  The next
// attempt counts it against states there, so it leaves earlier by another
// way (up a ladder before the duck comes, away from a swan's floor).
std::unordered_map<uint64_t, long> g_danger;
constexpr int DANGER_GENERATIONS = 60;
constexpr long DANGER_WEIGHT = 50000; // half an egg a failed attempt
std::string g_stuck_shot; // --stuck FILE: a picture of the best state of a failed search

// Plans already found, by the game state at the level's first frame: a rerun
// after a level was changed searches only the levels whose start differs.
// One line a plan in the cache file: "<state hash> <keys of each frame, hex>".
std::unordered_map<uint64_t, std::vector<uint8_t>> g_cache;
std::string g_cache_path;
std::vector<std::string> g_plan_paths; // --plans: read, never written

uint64_t state_hash(const Snapshot& s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&s);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof s; i++) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

void load_cache_file(const std::string& path)
{
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (f == nullptr) return;
    unsigned long long h = 0;
    static char keys[1 << 20];
    while (std::fscanf(f, "%llx %1048575s", &h, keys) == 2) {
        std::vector<uint8_t> plan;
        for (size_t i = 0; keys[i] && keys[i + 1]; i += 2) {
            const char two[3] = {keys[i], keys[i + 1], 0};
            plan.push_back(static_cast<uint8_t>(std::strtoul(two, nullptr, 16)));
        }
        g_cache[h] = plan;
    }
    std::fclose(f);
}

// Reads the cache file and the --plans files again (another solver may have
// added plans since).
void load_cache()
{
    load_cache_file(g_cache_path);
    for (const std::string& path : g_plan_paths) load_cache_file(path);
}

void save_to_cache(uint64_t h, const std::vector<uint8_t>& plan)
{
    g_cache[h] = plan;
    std::FILE* f = g_cache_path.empty() ? nullptr : std::fopen(g_cache_path.c_str(), "a");
    if (f == nullptr) return;
    std::fprintf(f, "%llx ", static_cast<unsigned long long>(h));
    for (uint8_t k : plan) std::fprintf(f, "%02x", k);
    std::fprintf(f, "\n");
    std::fclose(f);
}

// Runs one frame with these keys held; false when it cost a life or ended the game.
bool frame_ok(uint8_t keys, int lives_before)
{
    hold_keys(keys);
    const int boxes = g_boxes;
    PLAY_FRAME();
    return lives == lives_before && g_boxes == boxes && quit_code != 1;
}

SearchResult search_level(int max_generations)
{
    SearchResult res;
    Grid grid;
    build_grid(&grid);
    const int lives0 = lives;
    std::vector<Step> steps;
    std::vector<Snapshot> beam(static_cast<size_t>(g_beam));
    std::vector<Snapshot> children(static_cast<size_t>(g_beam * ACTION_COUNT));
    std::vector<int> beam_step;
    std::unordered_map<uint64_t, int> visits;
    std::vector<std::vector<uint64_t>> recent(DANGER_GENERATIONS); // cells of the last beams, a ring

    // The first frame runs without keys: the keys held while the level's box
    // waits are chosen before the search.
    std::vector<uint8_t> prefix = {0};
    if (!frame_ok(0, lives0)) return res;
    res.frames_run++;
    if (quit_code == 2) {
        res.found = true;
        res.plan = prefix;
        return res;
    }
    SNAPSHOT_TAKE(&beam[0]);
    beam_step.push_back(-1);

    for (int gen = 0; gen < max_generations && !beam_step.empty(); gen++) {
        std::vector<Candidate> cands;
        std::unordered_map<uint64_t, size_t> seen;
        int nchild = 0;
        for (size_t b = 0; b < beam_step.size(); b++) {
            for (int a = 0; a < ACTION_COUNT; a++) {
                SNAPSHOT_RESTORE(beam[b]);
                bool ok = true;
                int f = 0;
                const int frames = a < KEY_SETS ? g_macro : 2;
                for (; f < frames; f++) {
                    res.frames_run++;
                    if (!frame_ok(action_keys(a), lives0)) {
                        ok = false;
                        break;
                    }
                    if (quit_code == 2) break;
                }
                res.expansions++;
                if (!ok) continue;
                if (quit_code == 2) {
                    steps.push_back(Step{beam_step[b], action_keys(a), static_cast<uint8_t>(f + 1)});
                    std::vector<uint8_t> tail;
                    for (int s = static_cast<int>(steps.size()) - 1; s >= 0; s = steps[s].parent)
                        for (int i = 0; i < steps[s].frames; i++) tail.push_back(steps[s].keys);
                    std::reverse(tail.begin(), tail.end());
                    res.plan = prefix;
                    res.plan.insert(res.plan.end(), tail.begin(), tail.end());
                    res.found = true;
                    return res;
                }
                if (eggs_taken >= res.best_eggs) {
                    res.best_eggs = eggs_taken;
                    res.best_x = player_x - scroll_x;
                    res.best_y = player_y - scroll_y;
                }
                const uint64_t eggs_key = eggs_left_key();
                const int mx = player_x - scroll_x, my = player_y - scroll_y;
                const uint64_t place = (static_cast<uint64_t>(mx >> 2) << 40) ^
                                       (static_cast<uint64_t>(my >> 2) << 20) ^
                                       static_cast<uint64_t>(jump_count);
                const uint64_t dedupe = place * 0x9E3779B97F4A7C15ull ^ eggs_key;
                const uint64_t coarse = ((static_cast<uint64_t>(mx >> 3) << 32) ^ static_cast<uint64_t>(my >> 3)) *
                                            0x9E3779B97F4A7C15ull ^ eggs_key;
                const auto v = visits.find(coarse);
                const long seen_before = v == visits.end() ? 0 : v->second;
                const uint64_t cell_key = ((static_cast<uint64_t>(mx >> 5) << 32) ^ static_cast<uint64_t>(my >> 5)) *
                                              0x9E3779B97F4A7C15ull ^ eggs_key;
                const auto danger = g_danger.find(cell_key);
                const long score = static_cast<long>(eggs_taken) * 100000 - heuristic(&grid, eggs_key) -
                                   seen_before * 6 - duck_penalty() -
                                   (danger == g_danger.end() ? 0 : danger->second * DANGER_WEIGHT);
                auto it = seen.find(dedupe);
                if (it != seen.end()) {
                    Candidate& c = cands[it->second];
                    if (c.score >= score) continue;
                    SNAPSHOT_TAKE(&children[c.snap]);
                    steps.push_back(Step{beam_step[b], action_keys(a), static_cast<uint8_t>(frames)});
                    c.score = score;
                    c.step = static_cast<int>(steps.size()) - 1;
                    continue;
                }
                SNAPSHOT_TAKE(&children[nchild]);
                steps.push_back(Step{beam_step[b], action_keys(a), static_cast<uint8_t>(frames)});
                seen.emplace(dedupe, cands.size());
                cands.push_back(Candidate{score, static_cast<int>(steps.size()) - 1, nchild, coarse, cell_key});
                nchild++;
            }
        }
        if ((cands.empty() || gen + 1 == max_generations) && !g_stuck_shot.empty()) {
            // The best state one step before the end: run one frame with the
            // pixel work on, which draws it, and keep the picture.
            SNAPSHOT_RESTORE(beam[0]);
            set_pixel_work(true);
            frame_ok(0, lives0);
            save_bitmap(g_stuck_shot.c_str());
            set_pixel_work(false);
        }
        if (cands.empty()) {
            std::vector<uint64_t> cornered;
            for (const auto& ring : recent) cornered.insert(cornered.end(), ring.begin(), ring.end());
            std::sort(cornered.begin(), cornered.end());
            cornered.erase(std::unique(cornered.begin(), cornered.end()), cornered.end());
            for (uint64_t k : cornered) g_danger[k]++;
        }
        if (cands.empty() || gen + 1 == max_generations) {
            std::printf("  search stopped at generation %d (frame ~%d): every branch lost a life or ran out; "
                        "best had %d eggs at map (%d, %d)\n",
                        gen, gen * g_macro, res.best_eggs, res.best_x, res.best_y);
        }
        std::sort(cands.begin(), cands.end(),
                  [](const Candidate& x, const Candidate& y) { return x.score > y.score; });
        // Keep the beam spread out: at most three states per cell of the map
        // with the same eggs left, so one swan cannot catch the whole beam.
        {
            std::unordered_map<uint64_t, int> per_cell;
            std::vector<Candidate> kept;
            for (const Candidate& c : cands) {
                if (kept.size() >= static_cast<size_t>(g_beam)) break;
                if (++per_cell[c.cell] > 3) continue;
                kept.push_back(c);
            }
            cands.swap(kept);
        }
        beam_step.clear();
        std::vector<uint64_t>& ring = recent[static_cast<size_t>(gen % DANGER_GENERATIONS)];
        ring.clear();
        for (size_t i = 0; i < cands.size(); i++) {
            beam[i] = children[cands[i].snap];
            beam_step.push_back(cands[i].step);
            visits[cands[i].key]++;
            ring.push_back(cands[i].cell);
        }
    }
    return res;
}

// --- driving the shell --------------------------------------------------------

struct LevelFigures {
    int level = 0;
    bool solved = false;
    double seconds = 0;
    long frames = 0;
    int score = 0;
    long expansions = 0;
    long frames_run = 0;
};

// Whether `p`, played from `start`, takes every egg of the level without a
// box (a life lost or the time up).  Leaves the game anywhere.
bool plan_clears(const Snapshot& start, const std::vector<uint8_t>& p)
{
    SNAPSHOT_RESTORE(start);
    g_box_waiting = false;
    const int lives0 = lives, boxes = g_boxes;
    g_plan = &p;
    g_frames_started = 0;
    while (quit_code == 0 && g_boxes == boxes && g_frames_started <= static_cast<long>(p.size())) {
        g_frames_started++;
        PLAY_FRAME();
    }
    g_plan = nullptr;
    return quit_code == 2 && lives == lives0 && g_boxes == boxes;
}

// Searches the level that LEVEL_START has just begun, then plays the keys
// found through the tick hook (logging them when a recording is written).
// Leaves the game after the level's last frame.
LevelFigures solve_and_play(int max_generations)
{
    LevelFigures fig;
    fig.level = level;
    const auto t0 = std::chrono::steady_clock::now();
    static Snapshot start;
    SNAPSHOT_TAKE(&start);
    RecordWriter* writer = g_writer;
    g_writer = nullptr;
    const std::vector<uint8_t>* saved_plan = g_plan;
    g_plan = nullptr;
    SearchResult res;
    const int beam0 = g_beam;
    const uint64_t start_hash = state_hash(start);
    load_cache();
    const auto cached = g_cache.find(start_hash);
    // The search only needs each frame's outcome: skip the pixel work.
    set_pixel_work(false);
    if (cached != g_cache.end()) {
        res.found = true;
        res.plan = cached->second;
        std::printf("  level %d: plan from the cache\n", level);
    } else {
        const int lvl = level;
        for (const auto& entry : g_cache) {
            if (plan_clears(start, entry.second)) {
                res.found = true;
                res.plan = entry.second;
                std::printf("  level %d: a cached plan from another start clears it\n", lvl);
                break;
            }
        }
    }
    // Six attempts that learn where they were cornered, then wider beams.
    g_danger.clear();
    for (int attempt = 0; attempt < 9 && !res.found; attempt++) {
        SNAPSHOT_RESTORE(start);
        g_box_waiting = false;
        SearchResult r = search_level(max_generations);
        r.expansions += res.expansions;
        r.frames_run += res.frames_run;
        res = r;
        if (res.found) break;
        if (attempt >= 5) g_beam = g_beam * 5 / 2;
        std::printf("  level %d: trying again with a beam of %d\n", level, g_beam);
    }
    g_beam = beam0;
    set_pixel_work(true);
    fig.seconds = seconds_since(t0);
    fig.expansions = res.expansions;
    fig.frames_run = res.frames_run;
    SNAPSHOT_RESTORE(start);
    g_box_waiting = false;
    g_writer = writer;
    g_plan = saved_plan;
    if (!res.found) return fig;
    if (cached == g_cache.end()) save_to_cache(start_hash, res.plan);

    static std::vector<uint8_t> plan;
    plan = res.plan;
    const int lives0 = lives;
    g_plan = &plan;
    g_frames_started = 0;
    const int boxes = g_boxes;
    while (quit_code == 0) {
        g_frames_started++;
        PLAY_FRAME();
    }
    fig.frames = g_frames_started;
    fig.score = score;
    fig.solved = quit_code == 2 && lives == lives0 && g_boxes == boxes;
    g_plan = nullptr;
    return fig;
}

void print_figures(const LevelFigures& f)
{
    std::printf("level %2d file %d: %s  %7.1f s  %6ld frames  score %6d  (%ld branches, %ld frames searched)\n",
                f.level, LEVEL_FILE_OF(f.level), f.solved ? "solved" : "FAILED", f.seconds, f.frames, f.score,
                f.expansions, f.frames_run);
    std::fflush(stdout);
}

bool open_log(RecordWriter* w, const std::string& path, uint32_t seed, const char* comment)
{
    if (!record_open(w, path.c_str(), seed)) {
        std::fprintf(stderr, "solver: cannot write %s\n", path.c_str());
        return false;
    }
    std::fprintf(w->file, "# %s\n", comment);
    return true;
}

// One level on its own: a new game put at the level, its box, the search and
// the play, logged from the opening of the screen.
// A picture of a level with its enemies: a new game put at the level, its
// box answered, `frames` frames played with no key held, and the work page
// saved as a BMP file.  For looking at levels the game reaches only late.
bool shoot_level(int lvl, uint32_t seed, int frames, const std::string& path)
{
    static const std::vector<uint8_t> nothing;
    keyboard_reset();
    g_plan = &nothing;
    g_frames_started = 0;
    LEVEL_SETUP(lvl, seed);
    LEVEL_START();
    for (int f = 0; f < frames && quit_code == 0; f++) {
        g_frames_started++;
        PLAY_FRAME();
    }
    return save_bitmap(path.c_str()) == 0;
}

bool solve_single(int lvl, uint32_t seed, const std::string& out_dir, int max_generations)
{
    static RecordWriter writer;
    char comment[96];
    std::snprintf(comment, sizeof comment, "level %d on its own (LEVEL_SETUP %d, seed %u)", lvl, lvl, seed);
    const std::string path = out_dir + "/level-" + std::to_string(lvl) + ".rec";
    if (!open_log(&writer, path, seed, comment)) return false;
    // The screen opens with no key held: line 0.
    keyboard_reset();
    unsigned char none[128] = {};
    record_line(&writer, none, nullptr, 0);
    g_writer = &writer;
    static const std::vector<uint8_t> nothing;
    g_plan = &nothing;
    g_frames_started = 0;
    LEVEL_SETUP(lvl, seed);
    LEVEL_START();
    LevelFigures fig = solve_and_play(max_generations);
    g_writer = nullptr;
    record_close(&writer);
    print_figures(fig);
    if (!fig.solved) {
        fs::remove(path);
    } else if (std::FILE* f = std::fopen(path.c_str(), "a")) {
        // Figures for the replay tests; '#' lines are skipped by the reader.
        std::fprintf(f, "# frames %ld\n# score %d\n", fig.frames, fig.score);
        std::fclose(f);
    }
    return fig.solved;
}

// One whole game from the title screen, as the program plays it.
bool solve_game(uint32_t seed, const std::string& out_dir, int max_generations)
{
    static RecordWriter writer;
    const std::string path = out_dir + "/game.rec";
    if (!open_log(&writer, path, seed, "one game from the title screen, level by level as the solver found them"))
        return false;
    g_writer = &writer;
    static const std::vector<uint8_t> nothing;
    g_plan = &nothing;
    run_options.seed_given = true;
    run_options.seed = seed;
    fix_run_seed(true, seed);
    // Line 0: the screen opens with no key held.
    unsigned char none[128] = {};
    record_line(&writer, none, nullptr, 0);
    headless_start_shell();
    FILL_TITLE_LINES();
    TITLE();
    NEW_GAME();
    bool all = true;
    int completed = 0;
    double total = 0;
    do {
        g_plan = &nothing;
        g_frames_started = 0;
        LEVEL_START();
        LevelFigures fig;
        if (level <= g_through) {
            fig = solve_and_play(max_generations);
            print_figures(fig);
            total += fig.seconds;
        }
        if (!fig.solved) {
            // Keep what was found: end the game with Escape in this level's
            // first frame, so the recording still replays every level before.
            all = false;
            static const std::vector<uint8_t> escape = {K_ESCAPE, K_ESCAPE};
            g_plan = &escape;
            g_frames_started = 0;
            while (quit_code == 0) {
                g_frames_started++;
                PLAY_FRAME();
            }
            break;
        }
        completed = level;
        LEVEL_END();
    } while (quit_code != 1);
    g_plan = &nothing;
    GAME_OVER_BOXES();
    std::printf("game: %d levels completed, final score %d, lives %d, search %.1f s, ticks %ld\n", completed,
                score, lives, total, current_tick());
    g_writer = nullptr;
    record_close(&writer);
    const std::string final_path = out_dir + (all ? "/game.rec" : "/game-partial.rec");
    if (std::FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "# levels completed %d\n# final score %d\n", completed, score);
        std::fclose(f);
    }
    if (final_path != path) fs::rename(path, final_path);
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    uint32_t seed = 1;
    std::string dir = ".";
    std::string out = ".";
    bool game = false;
    std::string shot;
    int shot_frames = 300;
    int max_generations = 3000;
    std::vector<int> levels;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--seed") seed = static_cast<uint32_t>(std::strtoul(next().c_str(), nullptr, 10));
        else if (a == "--dir") dir = next();
        else if (a == "--out") out = next();
        else if (a == "--game") game = true;
        else if (a == "--cache") g_cache_path = next();
        else if (a == "--plans") g_plan_paths.push_back(fs::absolute(next()).string());
        else if (a == "--shot") shot = next();
        else if (a == "--stuck") g_stuck_shot = fs::absolute(next()).string();
        else if (a == "--frames") shot_frames = std::max(0, std::atoi(next().c_str()));
        else if (a == "--through") g_through = std::clamp(std::atoi(next().c_str()), 1, static_cast<int>(LAST_LEVEL));
        else if (a == "--duck-weight") g_duck_weight = std::max(0, std::atoi(next().c_str()));
        else if (a == "--beam") g_beam = std::max(1, std::atoi(next().c_str()));
        else if (a == "--macro") g_macro = std::clamp(std::atoi(next().c_str()), 1, 64);
        else if (a == "--max-gen") max_generations = std::max(1, std::atoi(next().c_str()));
        else if (a == "--all") for (int l = 1; l <= LAST_LEVEL; l++) levels.push_back(l);
        else if (!a.empty() && a[0] >= '1' && a[0] <= '9') levels.push_back(std::atoi(a.c_str()));
        else {
            std::fprintf(stderr,
                         "usage: solver [--seed N] [--dir GAMEDIR] [--out DIR] [--game] [--all] "
                         "[--beam W] [--macro F] [--max-gen G] [--cache FILE] [--plans FILE] [--duck-weight K] [--through L] [--shot FILE [--frames N]] [--stuck FILE] [LEVEL...]\n");
            return 2;
        }
    }
    if (!g_cache_path.empty()) g_cache_path = fs::absolute(g_cache_path).string();
    load_cache();
    out = fs::absolute(out).string();
    fs::create_directories(out);
    fs::current_path(dir);

    headless_begin(seed, on_tick, on_event);

    bool ok = true;
    if (game) ok = solve_game(seed, out, max_generations) && ok;
    else headless_start_shell();
    for (int l : levels) {
        if (l < 1 || l > LAST_LEVEL) {
            std::fprintf(stderr, "solver: no level %d\n", l);
            ok = false;
            continue;
        }
        if (!shot.empty()) ok = shoot_level(l, seed, shot_frames, shot) && ok;
        else ok = solve_single(l, seed, out, max_generations) && ok;
    }
    return ok ? 0 : 1;
}
