// solver.cpp -- the shipped recordings found again with the game's prover
// (src/proof/prove.h), headless and without waiting.
//
//   solver [--seed N] [--dir GAMEDIR] [--out DIR] [--budget SECONDS] [--tidy] [--game [--through L]] [--all] [LEVEL...]
//
// Each LEVEL (1 to 27) is proved on its own and written as "level-L.rec", as
// --prove writes it.  With --game one whole game is played from the title
// screen, each level proved as the game reaches it (PROVE_HERE, from the
// game as it stands) and played by its plan through the tick hook, which
// logs every tick: "game.rec", or, when a level is not proven within the
// budget (or after level L of --through), "game-partial.rec", which ends the
// game with Escape in that level's first frame so every level before still
// replays.  With --tidy each proof is made simpler to store first
// (PROOF_TIDY: fewer changes of keys, so a smaller file).  Every figure is
// printed per level.  Exit status 0 when all asked
// for was proven.
#include "../tests/headless_driver.h"
#include "platform/proof_file.h"
#include "proof/prove.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool g_tidy = false; // --tidy
constexpr double kTidySeconds = 60;

// --- hooks: boxes answered with Space, the plan's keys, every tick logged ------

bool g_box_waiting = false;
const unsigned char* g_plan = nullptr; // keys per frame of the level being played
int g_plan_frames = 0;
long g_frames_started = 0; // PLAY_FRAME calls started on this level
RecordWriter* g_writer = nullptr;

void on_event(const char* name) {
    if (std::string(name).rfind("infobox:", 0) == 0 || std::string(name) == "title") g_box_waiting = true;
}

void on_tick(long) {
    int queued[1];
    int nq = 0;
    if (g_box_waiting) {
        keyboard_queue(' ');
        queued[nq++] = ' ';
        g_box_waiting = false;
    }
    const unsigned char keys = g_plan != nullptr && g_frames_started < g_plan_frames ? g_plan[g_frames_started] : 0;
    hold_keys((keys & PROOF_LEFT ? K_LEFT : 0) | (keys & PROOF_RIGHT ? K_RIGHT : 0) | (keys & PROOF_UP ? K_UP : 0) |
              (keys & PROOF_DOWN ? K_DOWN : 0) | (keys & 0x80 ? K_ESCAPE : 0));
    if (g_writer != nullptr) {
        unsigned char held[128];
        keyboard_held_table(held);
        record_line(g_writer, held, queued, nq);
    }
}

void print_figures(int level, int answer, long ticks, int score) {
    std::printf("level %2d file %d: %-15s %6.2f s  %6ld ticks  score %5d  (%lld frames searched)\n", level,
                LEVEL_FILE_OF(level),
                answer == PROOF_PROVEN ? "proven" : answer == PROOF_NOT_COMPLETABLE ? "NOT COMPLETABLE" : "UNDECIDED",
                proof_seconds, ticks, score, proof_frames_searched);
    std::fflush(stdout);
}

bool prove_single(int level, uint32_t seed, double budget, const std::string& out) {
    const std::string path = out + "/level-" + std::to_string(level) + ".rec";
    const int answer = PROVE_LEVEL(level, seed, budget);
    if (g_tidy) PROOF_TIDY(kTidySeconds);
    char why[512] = "";
    LevelReplay replay;
    const bool ok = answer == PROOF_PROVEN && write_level_proof(path.c_str(), level, seed, why, sizeof why) &&
                    replay_level_recording(path.c_str(), level, &replay, why, sizeof why) && replay.completed;
    print_figures(level, answer, replay.frames, replay.score);
    if (why[0] != '\0') std::fprintf(stderr, "solver: %s\n", why);
    return ok;
}

// One whole game from the title screen, as the program plays it.
bool prove_game(uint32_t seed, double budget, int through, const std::string& out) {
    static RecordWriter writer;
    const std::string path = out + "/game.rec";
    run_options.seed_given = true;
    run_options.seed = seed;
    fix_run_seed(true, seed);
    headless_start_shell(); // the game it names in the recording's header
    if (!record_open(&writer, path.c_str(), seed)) {
        std::fprintf(stderr, "solver: cannot write %s\n", path.c_str());
        return false;
    }
    std::fprintf(writer.file, "# one game from the title screen, each level as the prover found it\n");
    g_writer = &writer;
    // Line 0: the screen opens with no key held.
    const unsigned char none[128] = {};
    record_line(&writer, none, nullptr, 0);
    FILL_TITLE_LINES();
    TITLE();
    NEW_GAME();
    static unsigned char plan[PROOF_FRAMES_MAX];
    bool all = true;
    int completed = 0;
    double total = 0;
    do {
        g_plan = nullptr;
        g_frames_started = 0;
        LEVEL_START();
        int answer = PROOF_UNDECIDED;
        if (level <= through) answer = PROVE_HERE(budget);
        if (g_tidy) PROOF_TIDY(kTidySeconds);
        total += proof_seconds;
        if (answer == PROOF_PROVEN) {
            for (int f = 0; f < proof_frame_count; f++) plan[f] = proof_keys[f];
            g_plan_frames = proof_frame_count;
        } else {
            // Escape in the level's first frame ends the game here.
            plan[0] = plan[1] = 0x80;
            g_plan_frames = 2;
            all = false;
        }
        g_plan = plan;
        const int lives_before = lives, lvl = level;
        while (quit_code == 0) {
            g_frames_started++;
            PLAY_FRAME();
        }
        if (answer == PROOF_PROVEN) print_figures(lvl, answer, g_frames_started, score);
        if (answer != PROOF_PROVEN || quit_code != 2 || lives != lives_before) {
            all = false;
            break;
        }
        completed = lvl;
        LEVEL_END();
    } while (quit_code != 1);
    g_plan = nullptr;
    GAME_OVER_BOXES();
    std::printf("game: %d levels completed, final score %d, lives %d, search %.1f s, ticks %ld\n", completed, score,
                lives, total, current_tick());
    g_writer = nullptr;
    record_close(&writer);
    if (std::FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "# levels completed %d\n# final score %d\n", completed, score);
        std::fclose(f);
    }
    if (!all) fs::rename(path, out + "/game-partial.rec");
    return all;
}

} // namespace

int main(int argc, char** argv) {
    uint32_t seed = 1;
    std::string dir = ".", out = ".";
    double budget = 60;
    bool game = false;
    int through = LAST_LEVEL;
    std::vector<int> levels;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--seed") seed = static_cast<uint32_t>(std::strtoul(next().c_str(), nullptr, 10));
        else if (a == "--dir") dir = next();
        else if (a == "--out") out = next();
        else if (a == "--budget") budget = std::atof(next().c_str());
        else if (a == "--game") game = true;
        else if (a == "--tidy") g_tidy = true;
        else if (a == "--through") through = std::atoi(next().c_str());
        else if (a == "--all") for (int l = 1; l <= LAST_LEVEL; l++) levels.push_back(l);
        else if (!a.empty() && a[0] >= '1' && a[0] <= '9') levels.push_back(std::atoi(a.c_str()));
        else {
            std::fprintf(stderr, "usage: solver [--seed N] [--dir GAMEDIR] [--out DIR] [--budget SECONDS] "
                                 "[--tidy] [--game [--through L]] [--all] [LEVEL...]\n");
            return 2;
        }
    }
    out = fs::absolute(out).string();
    fs::create_directories(out);
    fs::current_path(dir);
    headless_begin(seed, on_tick, on_event);
    bool ok = true;
    if (game) ok = prove_game(seed, budget, through, out) && ok;
    else headless_start_shell();
    for (int l : levels) {
        if (l < 1 || l > LAST_LEVEL) {
            std::fprintf(stderr, "solver: no level %d\n", l);
            ok = false;
            continue;
        }
        ok = prove_single(l, seed, budget, out) && ok;
    }
    return ok ? 0 : 1;
}
