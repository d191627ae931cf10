// edit_prove.cpp -- the level being edited proved in a child process
// (edit_prove.h).
#include "editor/edit_prove.h"

#include "editor/edit_file.h"
#include "port/datadir.h"
#include "port/process.h"
#include "services/sha256.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

static constexpr const char MODULE_NAME[] = "edit";

EditProof edit_proof;
char edit_prove_program[FILE_PATH_CHARS] = "";

namespace {

constexpr int EXIT_PROVEN = 0, EXIT_NOT_COMPLETABLE = 20, EXIT_UNDECIDED = 21;

Process child;
char run_dir[FILE_PATH_CHARS] = ""; // the temporary folder of the last start ("" when none is kept)
char kept_as[FILE_PATH_CHARS] = ""; // where a proof found is copied ("": left in run_dir)
int runs = 0;                       // folders made, for their names
char line[512];                     // the child's line being read
int line_used = 0;
char failure[EDIT_PROOF_TEXT_CHARS]; // its last "clovenfeld: ..." line
bool said_answer = false;
unsigned char level_file[EDIT_FILE_MAX_BYTES];

// Copies text into a text of edit_proof, cut to fit.
void set(char* to, const char* text) {
    int i = 0;
    for (; i < EDIT_PROOF_TEXT_CHARS - 1 && text[i] != '\0'; i++) to[i] = text[i];
    to[i] = '\0';
}

void remove_each(const char* name, void* ctx) {
    char path[FILE_PATH_CHARS + 256];
    std::snprintf(path, sizeof path, "%s/%s", static_cast<const char*>(ctx), name);
    std::remove(path);
}

// Removes the temporary folder and what the child wrote in it.
void remove_run_dir() {
    if (run_dir[0] == '\0') return;
    file_list_dir(run_dir, remove_each, run_dir);
    file_remove_dir(run_dir);
    run_dir[0] = '\0';
}

// Copies the file from to to, whole or not at all.
bool copy_file(const char* from, const char* to) {
    const int in = file_open_read(from);
    if (in < 0) return false;
    FileWrite w;
    const int out = file_write_begin(&w, to, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char chunk[16384];
    bool ok = true;
    for (;;) {
        const ssize_t r = ::read(in, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) ok = false;
        if (r <= 0) break;
        for (ssize_t done = 0; ok && done < r;) {
            const ssize_t n = ::write(out, chunk + done, static_cast<size_t>(r - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += n;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0 || !ok) {
        file_write_abort(&w);
        return false;
    }
    return file_write_commit(&w, FILE_COMMIT_REPLACE);
}

// Ends the child and removes the temporary folder.
void stop() {
    process_end(&child);
    remove_run_dir();
}

bool fail(const char* why) {
    edit_proof.state = EDIT_PROOF_FAILED;
    set(edit_proof.reason, why);
    edit_proof.progress[0] = '\0';
    remove_run_dir();
    return false;
}

// One line of the child's output.
void take_line(const char* text) {
    EditProof& p = edit_proof;
    double seconds = 0;
    long long frames = 0;
    if (std::sscanf(text, "progress %lf %lld", &seconds, &frames) == 2) {
        p.seconds = seconds;
        p.frames_searched = frames;
        std::snprintf(p.progress, sizeof p.progress, "proving level %d: %.1f s of %.0f, %lld frames searched", p.level,
                      seconds, p.budget, frames);
        return;
    }
    if (std::strncmp(text, "proven in ", 10) == 0) {
        const char* paren = std::strrchr(text, '(');
        long ticks = 0;
        int score = 0;
        if (std::sscanf(text, "proven in %lf", &seconds) == 1 && paren != nullptr &&
            std::sscanf(paren, "(%ld ticks, score %d)", &ticks, &score) == 2) {
            p.seconds = seconds;
            p.ticks = ticks;
            p.score = score;
            said_answer = true;
        }
        return;
    }
    int col = 0, row = 0;
    if (std::sscanf(text, "not completable: egg at cell (%d, %d)", &col, &row) == 2) {
        p.lost_col = col;
        p.lost_row = row;
        std::snprintf(p.reason, sizeof p.reason, "not completable: the egg at cell (%d, %d) cannot be reached", col, row);
        said_answer = true;
        return;
    }
    if (std::sscanf(text, "undecided after %lf", &seconds) == 1) {
        p.seconds = seconds;
        std::snprintf(p.reason, sizeof p.reason, "undecided: no way through found in %.1f s", seconds);
        said_answer = true;
        return;
    }
    if (std::strncmp(text, "clovenfeld: ", 12) == 0) set(failure, text + 12);
}

// The child has ended with status: the answer.
void finish(int status) {
    EditProof& p = edit_proof;
    p.progress[0] = '\0';
    if (status == EXIT_PROVEN && said_answer) {
        p.state = EDIT_PROOF_PROVEN;
        std::snprintf(p.reason, sizeof p.reason, "proven: %ld ticks, score %d (found in %.1f s)", p.ticks, p.score,
                      p.seconds);
        return;
    }
    if (status == EXIT_NOT_COMPLETABLE && said_answer) {
        p.state = EDIT_PROOF_NOT_COMPLETABLE;
        return;
    }
    if (status == EXIT_UNDECIDED && said_answer) {
        p.state = EDIT_PROOF_UNDECIDED;
        if (failure[0] != '\0') std::snprintf(p.reason, sizeof p.reason, "undecided: %.200s", failure);
        return;
    }
    char why[EDIT_PROOF_TEXT_CHARS];
    if (failure[0] != '\0') set(why, failure);
    else if (status < 0) set(why, "the prover stopped short");
    else std::snprintf(why, sizeof why, "the prover ended with status %d", status);
    fail(why);
}

} // namespace

bool EDIT_PROVE_START(int file, int round, double budget, uint32_t seed, const char* keep_as) {
    PROC("EDIT_PROVE_START");
    EDIT_PROVE_CANCEL();
    stop();
    EditProof& p = edit_proof;
    p = EditProof{};
    p.state = EDIT_PROOF_RUNNING;
    p.file = file;
    p.round = round;
    p.level = file + 9 * (round - 1);
    p.seed = seed;
    p.budget = budget;
    p.changes = edit_changes;
    p.lost_col = p.lost_row = -1;
    line_used = 0;
    failure[0] = '\0';
    said_answer = false;
    if (file < 1 || file > 9 || round < 1 || round > 3) return fail("a level file is 1 to 9 and a round 1 to 3");
    if (!(budget > 0) || budget > 86400) return fail("a budget is more than 0 and at most 86,400 seconds");

    // The level as it stands, in a folder of our own.
    char temp[FILE_PATH_CHARS];
    if (!process_temp_dir(temp, sizeof temp)) return fail("no temporary folder");
    bool made = false;
    for (int tries = 0; tries < 100 && !made; tries++) {
        const int n = std::snprintf(run_dir, sizeof run_dir, "%s/clovenfeld-proof-%lld-%d", temp, process_self_id(), ++runs);
        if (n <= 0 || n >= static_cast<int>(sizeof run_dir) - 32) break;
        made = file_new_dir(run_dir);
    }
    if (!made) {
        run_dir[0] = '\0';
        return fail("cannot make a temporary folder for the proof");
    }
    const int size = EDIT_FILE_BYTES(level_file, sizeof level_file);
    char level_path[FILE_PATH_CHARS + 32];
    std::snprintf(level_path, sizeof level_path, "%s/level.bmp", run_dir);
    std::snprintf(p.recording, sizeof p.recording, "%.4000s/level-%d.rec", run_dir, p.level);
    char why[EDIT_PROOF_TEXT_CHARS] = "the level does not fit in a level file";
    if (size == 0 || !EDIT_FILE_WRITE(level_path, level_file, size, why, sizeof why)) return fail(why);
    Sha256 s;
    sha256_begin(&s);
    sha256_add(&s, level_file, static_cast<size_t>(size));
    sha256_hex(&s, p.sha256);

    char program[FILE_PATH_CHARS];
    if (edit_prove_program[0] != '\0') std::snprintf(program, sizeof program, "%s", edit_prove_program);
    else if (!file_executable_path(program, sizeof program)) return fail("cannot find this program to run the prover");
    char level_arg[16], seed_arg[16], budget_arg[32];
    std::snprintf(level_arg, sizeof level_arg, "%d", p.level);
    std::snprintf(seed_arg, sizeof seed_arg, "%u", seed);
    std::snprintf(budget_arg, sizeof budget_arg, "%g", budget);
    const char* argv[PROCESS_ARGS + 1] = {program, "--prove", level_path, "--level", level_arg, "--seed", seed_arg,
                                          "--budget", budget_arg, "--out", p.recording, "--progress", "--no-settings"};
    int argc = 13;
    if (data_dir()[0] != '\0') {
        argv[argc++] = "--data";
        argv[argc++] = data_dir();
    }
    argv[argc] = nullptr;
    if (!process_start(&child, argv, why, sizeof why)) return fail(why);
    std::snprintf(p.progress, sizeof p.progress, "proving level %d: starting", p.level);
    if (keep_as != nullptr) std::snprintf(kept_as, sizeof kept_as, "%s", keep_as);
    else kept_as[0] = '\0';
    return true;
}

void EDIT_PROVE_TICK() {
    PROC("EDIT_PROVE_TICK");
    if (edit_proof.state != EDIT_PROOF_RUNNING || child.state == PROCESS_NONE) return;
    char buf[4096];
    int got = 0;
    while ((got = process_read(&child, buf, sizeof buf)) > 0) {
        for (int i = 0; i < got; i++) {
            if (buf[i] == '\n' || buf[i] == '\r') {
                line[line_used] = '\0';
                if (line_used > 0) take_line(line);
                line_used = 0;
            } else if (line_used < static_cast<int>(sizeof line) - 1) {
                line[line_used++] = buf[i];
            }
        }
    }
    // Done once its output has ended and it has exited.
    if (got == 0 || process_poll(&child) != PROCESS_EXITED) return;
    if (line_used > 0) {
        line[line_used] = '\0';
        take_line(line);
        line_used = 0;
    }
    const int status = child.status;
    process_end(&child);
    finish(status);
    if (edit_proof.state != EDIT_PROOF_PROVEN) remove_run_dir(); // nothing in it is wanted
    if (edit_proof.state == EDIT_PROOF_PROVEN && kept_as[0] != '\0') {
        if (!copy_file(edit_proof.recording, kept_as)) {
            char why[EDIT_PROOF_TEXT_CHARS];
            std::snprintf(why, sizeof why, "proven, but the proof cannot be written to %.180s", kept_as);
            fail(why);
            return;
        }
        std::snprintf(edit_proof.recording, sizeof edit_proof.recording, "%s", kept_as);
        remove_run_dir();
    }
}

void EDIT_PROVE_CANCEL() {
    PROC("EDIT_PROVE_CANCEL");
    if (edit_proof.state != EDIT_PROOF_RUNNING) return;
    stop();
    edit_proof.state = EDIT_PROOF_CANCELLED;
    edit_proof.progress[0] = '\0';
    set(edit_proof.reason, "cancelled");
    edit_proof.recording[0] = '\0';
}

bool EDIT_PROVE_STALE() { return edit_proof.state != EDIT_PROOF_IDLE && edit_proof.changes != edit_changes; }

void EDIT_PROVE_END() {
    PROC("EDIT_PROVE_END");
    EDIT_PROVE_CANCEL();
    stop();
}
