// prove_command.cpp -- --prove LEVEL.bmp and --prove --all (prove_command.h).
//
// Headless and without waiting: the shell starts (it needs the sprites of the
// data folder), the prover searches, and a plan it found is written as a
// level recording and played back from the file before "proven" is said.
// One line of answer on standard output:
//   proven in T s: FILE.rec (N ticks, score S)
//   not completable: egg at cell (x, y) cannot be reached
//   undecided after T s
// With --progress, lines before it while the search goes on, at most four a
// second (what the level editor shows while it proves in the background):
//   progress T FRAMES
#include "main/prove_command.h"

#include "main/shell.h"
#include "main/snapshot.h"
#include "platform/proof_file.h"
#include "platform/run.h"
#include "port/datadir.h"
#include "port/notice.h"
#include "port/system.h"
#include "proof/prove.h"
#include "services/clock.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int STATUS_BAD = 2;

double progress_shown = -1; // the seconds of the last progress line

void print_progress(double seconds, long long frames) {
    if (progress_shown >= 0 && seconds - progress_shown < 0.25) return;
    progress_shown = seconds;
    std::printf("progress %.2f %lld\n", seconds, frames);
    std::fflush(stdout);
}

void start_headless(const CommandLine& cl) {
    run_options = cl.run;
    run_options.headless = true;
    run_options.fast = true;
    choose_data_dir(cl.data_dir);
    select_platform(&headless_platform);
    SHELL_STARTUP();
}

// The answer of one proof, with the recording written to out and replayed.
// Prints the line when print is true.  Returns the exit status.
struct Proved {
    int status = PROOF_UNDECIDED;
    double seconds = 0;
    long frames = 0;
    int score = 0;
};

Proved prove_one(int level, uint32_t seed, double budget, const char* out, bool print) {
    Proved p;
    const double started = clock_seconds();
    PROVE_LEVEL(level, seed, budget);
    p.status = proof_answer;
    char why[512] = "";
    if (p.status == PROOF_PROVEN) {
        LevelReplay replay;
        if (!write_level_proof(out, level, seed, why, sizeof why)) {
            p.status = why[0] == 't' ? static_cast<int>(PROOF_UNDECIDED) : STATUS_BAD; // "the plan does not complete ..."
        } else if (!replay_level_recording(out, level, &replay, why, sizeof why) || !replay.completed) {
            if (why[0] == '\0') std::snprintf(why, sizeof why, "%s does not complete level %d when replayed", out, level);
            std::remove(out);
            p.status = PROOF_UNDECIDED;
        } else {
            p.frames = replay.frames;
            p.score = replay.score;
        }
    }
    p.seconds = clock_seconds() - started;
    if (!print) return p;
    if (p.status == PROOF_PROVEN) {
        std::printf("proven in %.1f s: %s (%ld ticks, score %d)\n", p.seconds, out, p.frames, p.score);
    } else if (p.status == PROOF_NOT_COMPLETABLE) {
        std::printf("not completable: egg at cell (%d, %d) cannot be reached\n", proof_lost_col, proof_lost_row);
    } else if (p.status == STATUS_BAD) {
        std::fprintf(stderr, "clovenfeld: %s\n", why);
    } else {
        if (why[0] != '\0') std::fprintf(stderr, "clovenfeld: %s\n", why);
        std::printf("undecided after %.1f s\n", p.seconds);
    }
    std::fflush(stdout);
    return p;
}

// The recording's name for a level file proved as level: "<file's name
// without .bmp>-level<N>.rec" in the working folder.
std::string default_out(const char* level_path, int level) {
    std::string name = level_path;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0) name.resize(name.size() - 4);
    return name + "-level" + std::to_string(level) + ".rec";
}

int prove_all(const CommandLine& cl, uint32_t seed) {
    const std::string folder = cl.prove_out != nullptr ? cl.prove_out : "";
    std::printf("| level | file | enemies | answer | seconds | frames searched | frames/s | ticks | score |\n"
                "|---:|---:|---|---|---:|---:|---:|---:|---:|\n");
    int worst = 0;
    double total = 0;
    for (int level = 1; level <= LAST_LEVEL; level++) {
        std::string out = folder.empty() ? std::string() : folder + "/level-" + std::to_string(level) + ".rec";
        char temp[64];
        if (out.empty()) {
            std::snprintf(temp, sizeof temp, ".clovenfeld-proof-%d.rec", level);
            out = temp;
        }
        const Proved p = prove_one(level, seed, cl.prove_budget, out.c_str(), false);
        if (folder.empty()) std::remove(out.c_str());
        total += p.seconds;
        const char* answer = p.status == PROOF_PROVEN ? "proven"
                             : p.status == PROOF_NOT_COMPLETABLE ? "not completable"
                             : p.status == STATUS_BAD ? "not written"
                                                      : "undecided";
        const char* enemies = SWANS_ON_AT(level) && DUCK_FREE_AT(level) ? "both"
                              : DUCK_FREE_AT(level)                      ? "duck"
                                                                         : "swans";
        std::printf("| %d | %d | %s | %s | %.2f | %lld | %.0f | %ld | %d |\n", level, LEVEL_FILE_OF(level), enemies,
                    answer, proof_seconds, proof_frames_searched,
                    proof_seconds > 0 ? proof_frames_searched / proof_seconds : 0.0, p.frames, p.score);
        std::fflush(stdout);
        if (p.status != PROOF_PROVEN && worst == 0) worst = p.status;
    }
    std::printf("all 27 in %.1f s\n", total);
    return worst;
}

} // namespace

int PROVE_COMMAND(const CommandLine& cl) {
    const uint32_t seed = cl.run.seed_given ? cl.run.seed : 1;
    if (cl.prove_all) {
        // The folder for the recordings is made if need be, before any search.
        if (cl.prove_out != nullptr) {
            file_make_dir(cl.prove_out);
            struct stat st {};
            if (stat(cl.prove_out, &st) != 0 || !S_ISDIR(st.st_mode)) {
                std::fprintf(stderr, "clovenfeld: cannot make the folder %s\n", cl.prove_out);
                return STATUS_BAD;
            }
        }
        start_headless(cl);
        return prove_all(cl, seed);
    }
    const int level = cl.prove_level > 0 ? cl.prove_level : 1;
    char why[512];
    if (!LEVEL_FILE_CHECK(cl.prove_path, why, sizeof why)) {
        std::fprintf(stderr, "clovenfeld: %s\n", why);
        return STATUS_BAD;
    }
    if (!set_level_path(LEVEL_FILE_OF(level), cl.prove_path)) {
        std::fprintf(stderr, "clovenfeld: the level file's name is too long: %s\n", cl.prove_path);
        return STATUS_BAD;
    }
    const std::string out = cl.prove_out != nullptr ? cl.prove_out : default_out(cl.prove_path, level);
    start_headless(cl);
    if (cl.prove_progress) proof_progress = print_progress;
    const int status = prove_one(level, seed, cl.prove_budget, out.c_str(), true).status;
    proof_progress = nullptr;
    return status;
}
