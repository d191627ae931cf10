// difficulty.cpp -- how hard each level is: one table row per level, measured
// with the real game code, headless and without drawing (lib/difficulty.h).
//
//   difficulty [--seeds N] [--dir GAMEDIR] [--recordings DIR] [--md FILE]
//              [--plot FILE.bmp] [LEVEL...]
//
// For each LEVEL (default 1 to 27) and seeds 1 to N (default 50): the ticks
// until the first life is lost when the player stands still (median, 10th
// percentile, lowest), the same for the scripted novice (median) with the
// share of seeds in which it takes half its eggs and all of them, the
// reactive novice's share of seeds in which it clears the level with three
// lives and takes half its eggs and its median lives lost, the ticks
// of the solver's recording of the level (RECDIR/level-L.rec) and its
// closest approach to a swan or the duck, and the level's eggs, swans, lifts
// and ladders.  Runs are capped at the level's 500 time units (25,000 ticks).
// --md writes the table with how it was measured as Markdown; --plot draws
// the novice's and the idle player's median survival per level and, below,
// the reactive novice's clear rate per level as an 8-bit run-length BMP.
#include "lib/bmp_write.h"
#include "lib/difficulty.h"

#include "main/snapshot.h"
#include "services/text.h"

#include <chrono>
#include <cstdlib>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace difficulty;

struct Row {
    LevelRow m;
    SolverRun solver;
};

std::string pass_name(int lvl)
{
    if (SWANS_ON_AT(lvl) && DUCK_FREE_AT(lvl)) return "both";
    if (DUCK_FREE_AT(lvl)) return "duck";
    return "swans";
}

std::string table_line(const Row& r)
{
    char line[256];
    const LevelRow& m = r.m;
    std::snprintf(line, sizeof line,
                  "| %2d | %d | %-5s | %5d | %5d | %5d | %5d | %3.0f%% | %3.0f%% | %3.0f%% | %3.0f%% | %3.1f | %5ld | %4d | %2d | %2d | %d | %d |",
                  m.level, LEVEL_FILE_OF(m.level), pass_name(m.level).c_str(), m.idle_median, m.idle_p10,
                  m.idle_min, m.novice_median, 100 * m.novice_half, 100 * m.novice_all, 100 * m.reactive_clear,
                  100 * m.reactive_half, m.reactive_lives, r.solver.ok ? r.solver.ticks : -1L,
                  r.solver.ok ? r.solver.closest : -1, m.counts.eggs, m.counts.swans, m.counts.lifts, m.counts.ladders);
    return line;
}

const char* TABLE_HEAD =
    "| level | file | enemies | idle median | idle p10 | idle min | novice median | novice half eggs | novice all eggs "
    "| reactive clears | reactive half eggs | reactive lives lost "
    "| solver ticks | solver closest px | eggs | swans | lifts | ladders |\n"
    "|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|";

// --- the plot: an 8-bit run-length BMP drawn with the game's font -------------

struct Canvas {
    int w, h;
    std::vector<uint8_t> px; // palette indices, top row first
    void fill(int x0, int y0, int x1, int y1, uint8_t c)
    {
        for (int y = std::max(0, y0); y <= std::min(h - 1, y1); y++)
            for (int x = std::max(0, x0); x <= std::min(w - 1, x1); x++) px[static_cast<size_t>(y * w + x)] = c;
    }
    // A line one pixel wide from (x0, y0) to (x1, y1), both ends drawn.
    void line(int x0, int y0, int x1, int y1, uint8_t c)
    {
        const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= n; i++) {
            const int x = n == 0 ? x0 : x0 + (x1 - x0) * i / n, y = n == 0 ? y0 : y0 + (y1 - y0) * i / n;
            fill(x, y, x, y, c);
        }
    }
    void text(int x, int y, const std::string& s, uint8_t c)
    {
        for (size_t i = 0; i < s.size(); i++) {
            const uint8_t* g = font_glyph(static_cast<uint8_t>(s[i]));
            for (int r = 0; r < 16; r++)
                for (int b = 0; b < 8; b++)
                    if ((g[r] >> (7 - b)) & 1) fill(x + 8 * static_cast<int>(i) + b, y + r, x + 8 * static_cast<int>(i) + b, y + r, c);
        }
    }
};

enum : uint8_t { C_BACK, C_AXIS, C_TEXT, C_SWANS, C_DUCK, C_BOTH, C_IDLE, C_GRID, C_COUNT };
constexpr uint32_t PALETTE[C_COUNT] = {0x101018, 0xB0B0B0, 0xF0F0F0, 0xE0A030, 0x50A0E0, 0xD05050, 0xF0F0F0, 0x303040};

bool plot(const std::string& path, const std::vector<Row>& rows)
{
    Canvas cv{640, 580, std::vector<uint8_t>(640 * 580, C_BACK)};
    const int x0 = 72, y0 = 40, y1 = 272, w = 20;
    // Ticks on a log scale from 100 to the cap, so the short lives show too.
    auto y_of = [&](int ticks) {
        const double f = std::log(std::max(ticks, 100) / 100.0) / std::log(TICK_CAP / 100.0);
        return y1 - static_cast<int>((y1 - y0) * f + 0.5);
    };
    cv.text(8, 8, "Median ticks survived per level (seeds 1-" + std::to_string(rows.front().m.idle.size()) + ", log scale)",
            C_TEXT);
    for (int t : {100, 300, 1000, 3000, 10000, TICK_CAP}) {
        cv.fill(x0, y_of(t), x0 + 27 * w, y_of(t), C_GRID);
        const std::string label = std::to_string(t);
        cv.text(x0 - 8 - 8 * static_cast<int>(label.size()), y_of(t) - 8, label, C_AXIS);
    }
    for (const Row& r : rows) {
        const int x = x0 + (r.m.level - 1) * w;
        const uint8_t c = SWANS_ON_AT(r.m.level) && DUCK_FREE_AT(r.m.level) ? C_BOTH
                          : DUCK_FREE_AT(r.m.level)                          ? C_DUCK
                                                                             : C_SWANS;
        cv.fill(x + 3, y_of(r.m.novice_median), x + w - 4, y1, c);
        cv.fill(x + 1, y_of(r.m.idle_median) - 1, x + w - 2, y_of(r.m.idle_median), C_IDLE);
        const std::string n = std::to_string(r.m.level);
        cv.text(x + w / 2 - 4 * static_cast<int>(n.size()), y1 + 4, n, C_AXIS);
    }
    cv.fill(x0, y1, x0 + 27 * w, y1, C_AXIS);
    cv.fill(x0 - 1, y0, x0 - 1, y1, C_AXIS);
    cv.fill(16, 298, 27, 309, C_SWANS);
    cv.text(32, 296, "novice: swans", C_TEXT);
    cv.fill(150, 298, 161, 309, C_DUCK);
    cv.text(166, 296, "duck", C_TEXT);
    cv.fill(214, 298, 225, 309, C_BOTH);
    cv.text(230, 296, "both", C_TEXT);
    cv.fill(280, 303, 292, 304, C_IDLE);
    cv.text(298, 296, "standing still", C_TEXT);
    // Below: the reactive novice's clear rate per level, a line through each
    // round, and ticks where it took half the eggs.
    const int c0 = 356, c1 = 532;
    auto y_share = [&](double share) { return c1 - static_cast<int>(std::lround((c1 - c0) * share)); };
    cv.text(8, 326, "Reactive novice: seeds cleared (dots), half the eggs taken (marks)", C_TEXT);
    for (int p = 0; p <= 100; p += 25) {
        cv.fill(x0, y_share(p / 100.0), x0 + 27 * w, y_share(p / 100.0), C_GRID);
        const std::string label = std::to_string(p) + "%";
        cv.text(x0 - 8 - 8 * static_cast<int>(label.size()), y_share(p / 100.0) - 8, label, C_AXIS);
    }
    const Row* prev = nullptr;
    for (const Row& r : rows) {
        const int x = x0 + (r.m.level - 1) * w + w / 2;
        const uint8_t c = SWANS_ON_AT(r.m.level) && DUCK_FREE_AT(r.m.level) ? C_BOTH
                          : DUCK_FREE_AT(r.m.level)                          ? C_DUCK
                                                                             : C_SWANS;
        const int y = y_share(r.m.reactive_clear);
        if (prev != nullptr && prev->m.level == r.m.level - 1 && (prev->m.level - 1) / LEVEL_FILES == (r.m.level - 1) / LEVEL_FILES)
            cv.line(x - w, y_share(prev->m.reactive_clear), x, y, c);
        cv.fill(x - 3, y - 3, x + 3, y + 3, c);
        cv.fill(x - 5, y_share(r.m.reactive_half), x + 5, y_share(r.m.reactive_half), C_IDLE);
        const std::string n = std::to_string(r.m.level);
        cv.text(x - 4 * static_cast<int>(n.size()), c1 + 4, n, C_AXIS);
        prev = &r;
    }
    cv.fill(x0, c1, x0 + 27 * w, c1, C_AXIS);
    cv.fill(x0 - 1, c0, x0 - 1, c1, C_AXIS);
    cv.text(x0, c1 + 24, "(levels 1-9 swans, 10-18 duck, 19-27 both; colours as above)", C_AXIS);
    return write_bytes(path, bmp_indexed8(cv.w, cv.h, cv.px.data(), PALETTE, C_COUNT, true));
}

// Our aims for the curve, each with whether the rows meet it (rows that are
// not measured are left out).
std::vector<std::string> aims(const std::vector<Row>& rows)
{
    std::vector<std::string> out;
    auto find = [&](int lvl) -> const Row* {
        for (const Row& r : rows)
            if (r.m.level == lvl) return &r;
        return nullptr;
    };
    auto verdict = [](bool ok) { return std::string(ok ? "met" : "NOT met"); };
    if (const Row* r = find(1)) {
        out.push_back("Level 1: a still player lasts at least 3000 ticks in every seed (lowest " +
                      std::to_string(r->m.idle_min) + "): " + verdict(r->m.idle_min >= 3000));
        out.push_back("Level 1: the novice takes every egg in at least 60% of seeds (" +
                      std::to_string(static_cast<int>(100 * r->m.novice_all + 0.5)) +
                      "%): " + verdict(r->m.novice_all >= 0.6));
    }
    auto pct = [](double share) { return std::to_string(static_cast<int>(std::lround(100 * share))) + "%"; };
    // The levels of round `pass` that fail `ok` against the level before,
    // each as " L (what after what)"; false when a level of the round has no row.
    auto round_steps = [&](int pass, auto ok, auto shown, std::string* failing) {
        for (int i = 2; i <= LEVEL_FILES; i++) {
            const Row* a = find(pass * LEVEL_FILES + i - 1);
            const Row* b = find(pass * LEVEL_FILES + i);
            if (a == nullptr || b == nullptr) return false;
            if (!ok(a->m, b->m)) *failing += " " + std::to_string(b->m.level) + " (" + shown(b->m) + " after " + shown(a->m) + ")";
        }
        return true;
    };
    {
        std::string failing;
        for (const Row& r : rows)
            if (r.m.idle_min < FAIR_START_TICKS)
                failing += " " + std::to_string(r.m.level) + " (" + std::to_string(r.m.idle_min) + ")";
        out.push_back("No unfair starts: on every level a still player lasts at least " + std::to_string(FAIR_START_TICKS) +
                      " ticks in every seed: " + (failing.empty() ? std::string("met") : "NOT met by" + failing));
    }
    for (const auto& [lvl, share] : {std::pair{1, 0.95}, std::pair{2, 0.70}})
        if (const Row* r = find(lvl))
            out.push_back("Level " + std::to_string(lvl) + ": the reactive novice clears it in at least " + pct(share) +
                          " of seeds (" + pct(r->m.reactive_clear) + "): " +
                          verdict(std::lround(100 * r->m.reactive_clear) >= std::lround(100 * share)));
    for (int pass = 0; pass < 3; pass++) {
        std::string failing;
        const bool complete = round_steps(
            pass, [](const auto& a, const auto& b) { return gentle_step(a.reactive_clear, b.reactive_clear); },
            [&](const auto& m) { return pct(m.reactive_clear); }, &failing);
        if (complete)
            out.push_back("Levels " + std::to_string(pass * LEVEL_FILES + 1) + "-" +
                          std::to_string(pass * LEVEL_FILES + LEVEL_FILES) +
                          ": the reactive novice's clear rate falls by at most 15 points from one level to the next: " +
                          (failing.empty() ? std::string("met") : "NOT met by" + failing));
        if (const Row* last = find(pass * LEVEL_FILES + LEVEL_FILES))
            out.push_back("Level " + std::to_string(last->m.level) + ", the last of its round: cleared in at least 10% of seeds (" +
                          pct(last->m.reactive_clear) + "): " + verdict(std::lround(100 * last->m.reactive_clear) >= 10));
    }
    for (int lvl : {10, 19})
        if (const Row* r = find(lvl))
            out.push_back("Level " + std::to_string(lvl) + ", the round starts again: cleared in at least 60% of seeds (" +
                          pct(r->m.reactive_clear) + "): " + verdict(std::lround(100 * r->m.reactive_clear) >= 60));
    for (int pass = 0; pass < 3; pass++) {
        std::string failing;
        if (!round_steps(
                pass, [](const auto& a, const auto& b) { return difficulty::fair_step(a.novice_median, b.novice_median); },
                [](const auto& m) { return std::to_string(m.novice_median); }, &failing))
            continue;
        out.push_back("Levels " + std::to_string(pass * LEVEL_FILES + 1) + "-" + std::to_string(pass * LEVEL_FILES + 9) +
                      ": no level's novice median more than 20% above the one before: " +
                      (failing.empty() ? std::string("met") : "NOT met by" + failing));
    }
    return out;
}

bool write_markdown(const std::string& path, const std::vector<Row>& rows, int seeds, double seconds, double cpu,
                    const std::string& command, const std::string& plot_name)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    std::fprintf(f, "# How hard each level is\n\n");
    std::fprintf(f,
                 "Measured by `tools/difficulty` (its code is `tools/lib/difficulty.cpp`) with the game's own code, headless, "
                 "each level started as a new game put at it (`LEVEL_SETUP` with the seed, its box answered). Seeds 1 "
                 "to %d; every idle and novice run ends at the first life lost or at the level's 500 time units, "
                 "**25,000 ticks** (100 ticks a second), so 25000 means \"not caught before the time ran out\"; "
                 "the reactive novice plays with three lives (below).\n\n",
                 seeds);
    std::fprintf(f, "- **idle**: ticks until the first life is lost when the player holds no key from the start "
                    "(median, 10th percentile and lowest over the seeds).\n"
                    "- **novice**: a scripted player that walks towards the nearest egg over the level's floors, "
                    "ladders and lifts by the solver's distance map and reacts to nothing. It re-decides every 25 "
                    "ticks (250 ms) on what it saw 25 ticks before: the eggs it heads for are those left then, so it "
                    "stands a moment where an egg was and sets off late; between decisions it presses the keys that "
                    "take it to the next cell of that way (walk, climb, jump, step off), lining up with a ladder "
                    "first. Median ticks until its first life is lost (a run that takes every egg counts as "
                    "25000), and the share of seeds in which it took at least half of the eggs, and all of them.\n"
                    "- **reactive**: the reactive novice, a scripted player that walks towards the eggs as the novice "
                    "does but looks out for its foes as a person would. It sees what the screen shows: the whole "
                    "level's floors, ladders and eggs on the overview map, the swans and the free duck only inside "
                    "the 640 x 480 view, and every tick it decides on the picture of 25 ticks (250 ms) before, "
                    "where it sees itself, its foes and which way each was going. It flees a foe, away from the "
                    "nearest, when the two would meet within 60 ticks at the speeds it saw, when a swan coming its "
                    "way along the floor or the ladder is nearer than 80 px (between contact boxes), when the duck "
                    "is nearer than 64 px, or when a swan is nearer than 12 px whichever way it goes: up or down the "
                    "ladder where it stands or back along the floor (into any hole on the way), whichever way is "
                    "nearest the eggs, keeping to that way while the flight lasts. It waits when the way to the "
                    "eggs leads towards a swan nearer than 160 px on its floor (80 px above or below it). It lines "
                    "up with a ladder seeing its own place 3 ticks late: it holds the key until it sees itself in "
                    "line, so it overshoots by about 6 px, then corrects with taps of one tick, each followed by a "
                    "wait to see it. At a vertical lift it does what a person does: it never stands in the shaft "
                    "under the lift (a lift coming down turns back off the head of a player under it), but steps "
                    "out of it to the side with a floor and waits beside the shaft until the lift, where it saw it "
                    "250 ms before and going on as it went, is level with its floor; then it steps on, hopping when "
                    "the lift is a little higher than its feet, rides it and steps off at the floor its way leads "
                    "to. People differ, and so do tries: at the start and after each life lost it looks at the level "
                    "for 0 to 2 s before it sets off (it still flees what comes at it meanwhile), and of ways "
                    "equally near the eggs it takes the one its habit for that try picks; both are drawn from the "
                    "seed by the tool itself, never from the game's own random draws, the same way on every level "
                    "and round. **A run** is the level played as a new game put at it plays it, with the "
                    "**3 lives** of a new game: a life lost puts it back at the start (after another 250 ms to see "
                    "the new picture) with the eggs it took gone from the level, and Time Up costs a life and puts "
                    "the eggs back, as in the game. The run ends when the last egg is taken, which **clears** the "
                    "level, or when the last life is lost. Columns: the share of seeds in which it cleared the "
                    "level; the share in which it held at least half of the eggs at once; the median lives lost "
                    "(0 to 3; the middle two averaged for an even count of seeds).\n"
                    "- **solver**: the ticks of play of the recording `assets/recordings/level-L.rec` and the "
                    "closest its player came to a swan or the free duck (the gap between their contact boxes, px).\n"
                    "- eggs, swans, lifts (cells) and ladders (runs of ladder cells) of the level file.\n\n");
    std::fprintf(f, "Levels 1-9 have the swans (the duck caged), 10-18 the free duck without swans, 19-27 both. "
                    "Without swans nothing in the game depends on the seed; on levels 10-18 the seeds differ "
                    "only in the reactive novice's own draws (how long it looks before it sets off, its habit "
                    "among equal ways), so the idle and novice runs are alike in every seed.\n\n");
    std::fprintf(f, "%s\n", TABLE_HEAD);
    for (const Row& r : rows) std::fprintf(f, "%s\n", table_line(r).c_str());
    std::fprintf(f, "\nOur aims (a still player must last %d ticks, 10 s, in every seed of every level: no swan "
                    "starts on the player's floor walking towards them within reach, and the duck starts far enough "
                    "away; the clear rates are the reactive novice's):\n\n", FAIR_START_TICKS);
    for (const std::string& a : aims(rows)) std::fprintf(f, "- %s\n", a.c_str());
    if (!plot_name.empty())
        std::fprintf(f, "\n![Above: median ticks survived per level, log scale, bars the novice, white marks the player who stands still. Below: the reactive novice's share of seeds cleared per level, a line through each round, white marks the share in which it took half the eggs](%s)\n",
                     plot_name.c_str());
    std::fprintf(f,
                 "\nMade from `build/<dir>/game` (%.0f s here, %.0f s of processor time; one process):\n\n"
                 "    %s\n",
                 seconds, cpu, command.c_str());
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    int seeds = 50;
    std::string dir = ".", recordings = "../../../assets/recordings", md, plot_path;
    std::vector<int> levels;
    std::string command = "../tools/difficulty";
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--seeds") seeds = std::max(1, std::atoi(next().c_str()));
        else if (a == "--dir") dir = next();
        else if (a == "--recordings") recordings = next();
        else if (a == "--md") md = next();
        else if (a == "--plot") plot_path = next();
        else if (!a.empty() && a[0] >= '1' && a[0] <= '9') levels.push_back(std::atoi(a.c_str()));
        else {
            std::fprintf(stderr, "usage: difficulty [--seeds N] [--dir GAMEDIR] [--recordings DIR] [--md FILE] "
                                 "[--plot FILE.bmp] [LEVEL...]\n");
            return 2;
        }
        command += " " + a;
        if (a == "--seeds" || a == "--dir" || a == "--recordings" || a == "--md" || a == "--plot")
            command += " " + std::string(argv[i]);
    }
    if (levels.empty())
        for (int l = 1; l <= LAST_LEVEL; l++) levels.push_back(l);
    for (std::string* p : {&recordings, &md, &plot_path})
        if (!p->empty()) *p = fs::absolute(*p).string();
    fs::current_path(dir);

    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    open_session();
    std::printf("%s\n", TABLE_HEAD);
    std::fflush(stdout);
    std::vector<Row> rows;
    bool ok = true;
    for (int lvl : levels) {
        if (lvl < 1 || lvl > LAST_LEVEL) {
            std::fprintf(stderr, "difficulty: no level %d\n", lvl);
            return 2;
        }
        Row r;
        r.solver = solver_run(lvl, recordings + "/level-" + std::to_string(lvl) + ".rec");
        ok = ok && r.solver.ok;
        open_session();
        r.m = measure_level(lvl, seeds);
        rows.push_back(r);
        std::printf("%s\n", table_line(r).c_str());
        std::fflush(stdout);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    for (const std::string& a : aims(rows)) std::printf("%s\n", a.c_str());
    std::printf("%.1f s (%.1f s of processor time)\n", seconds, cpu);
    if (!plot_path.empty() && !plot(plot_path, rows)) {
        std::fprintf(stderr, "difficulty: cannot write %s\n", plot_path.c_str());
        return 2;
    }
    if (!md.empty() &&
        !write_markdown(md, rows, seeds, seconds, cpu, command,
                        plot_path.empty() ? "" : fs::path(plot_path).filename().string())) {
        std::fprintf(stderr, "difficulty: cannot write %s\n", md.c_str());
        return 2;
    }
    if (!ok) std::fprintf(stderr, "difficulty: a solver recording is missing or does not clear its level\n");
    return ok ? 0 : 1;
}
