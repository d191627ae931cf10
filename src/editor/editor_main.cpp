// editor_main.cpp -- the editor's run (module "editor"): the frames of the
// screen, and what its requests do: save, play, prove, watch and publish.
#include "editor/editor.h"

#include "editor/edit_file.h"
#include "editor/edit_prove.h"
#include "main/shell.h"
#include "main/snapshot.h"
#include "port/datadir.h"
#include "services/clock.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "services/screen.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

static constexpr const char MODULE_NAME[] = "editor";

bool (*editor_record_start)(const char* path, int level, uint32_t seed) = nullptr;
void (*editor_record_stop)() = nullptr;
int (*editor_watch)(const char* path, char* why, int size) = nullptr;
void (*editor_kept)(const char* path, int what) = nullptr;
bool (*editor_publish)(const EditorPublish& what, char* said, int said_size,
                       char problem[EDITOR_FORM_PROBLEMS][EDITOR_TEXT_CHARS], int* problems) = nullptr;
int editor_file = 1;

namespace {

constexpr char EDITOR_TITLE[] = "Clovenfeld Returns - level editor";

// Where the level is saved ("" until it has a name), the file a play reads,
// and the recording of the last play.
std::string level_path, play_path, rec_path;
// A pack's folder being edited ("" for a level file alone): its levels/N.bmp
// and proofs/level-L.rec.
std::string pack_dir;

// The last part of a path, for the bar.
const char* base_name(const char* path) {
    const char* b = path;
    for (const char* p = path; *p != '\0'; p++)
        if (*p == '/' || *p == '\\') b = p + 1;
    return b;
}

// A name for a level saved without one: level-N.bmp in the working folder, the first not taken.
std::string free_name() {
    std::error_code ec;
    for (int n = 1;; n++) {
        std::string name = "level-" + std::to_string(n) + ".bmp";
        if (!std::filesystem::exists(std::filesystem::symlink_status(name, ec))) return name;
    }
}

// The proofs of the three rounds: where each is kept, and edit_changes when
// it was found (a proof is of the level as it stood then).
constexpr double PROVE_BUDGET = 60; // seconds a round
struct RoundProof {
    bool proven;
    unsigned changes;
    std::string path;
};
RoundProof proofs[4];
bool proving_all = false; // F6 goes on to the next round without a fresh proof

bool fresh(int round) { return proofs[round].proven && proofs[round].changes == edit_changes; }

// Where the proof of a level (1 to 27) is kept: a pack folder's proofs/, or
// beside the level file ("" while it has no name).
std::string proof_of_level(int level) {
    if (!pack_dir.empty()) return pack_dir + "/proofs/level-" + std::to_string(level) + ".rec";
    if (level_path.empty()) return std::string();
    return level_path.substr(0, level_path.rfind('.')) + "-proof-" + std::to_string(level) + ".rec";
}
std::string proof_path(int round) { return proof_of_level(editor_file + 9 * (round - 1)); }

void start_proof(int round) {
    editor.round = round;
    const std::string keep = proof_path(round);
    if (!pack_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(pack_dir + "/proofs", ec);
    }
    if (!EDIT_PROVE_START(editor_file, round, PROVE_BUDGET, 1, keep.empty() ? nullptr : keep.c_str())) {
        EDITOR_SAY("Cannot prove: %.60s", edit_proof.reason);
        proving_all = false;
    }
}

// F6: cancels the proof that runs, or proves the round chosen and then the
// others that have no fresh proof.
void prove() {
    if (edit_proof.state == EDIT_PROOF_RUNNING) {
        EDIT_PROVE_CANCEL();
        proving_all = false;
        EDITOR_SAY("Proof cancelled");
        return;
    }
    if (editor_report.starts != 1) {
        EDITOR_SAY("A level needs one player's start to be proved");
        return;
    }
    proving_all = true;
    start_proof(editor.round);
}

const char* const ROUND_WORDS[4] = {"", "swans", "duck", "both"};

// Each frame: the proof's news, and the bar's line.
void follow_proof() {
    static int shown_state = -1;
    if (edit_proof.state == EDIT_PROOF_RUNNING) EDIT_PROVE_TICK();
    const int r = edit_proof.round >= 1 && edit_proof.round <= 3 ? edit_proof.round : editor.round;
    if (edit_proof.state != shown_state) {
        shown_state = edit_proof.state;
        switch (edit_proof.state) {
        case EDIT_PROOF_PROVEN:
            proofs[r] = RoundProof{true, edit_proof.changes, edit_proof.recording};
            EDITOR_SAY("Round %d (%s): proven, %ld ticks; F7 watches it", r, ROUND_WORDS[r], edit_proof.ticks);
            break;
        case EDIT_PROOF_NOT_COMPLETABLE:
        case EDIT_PROOF_UNDECIDED:
        case EDIT_PROOF_FAILED:
            proving_all = false;
            EDITOR_SAY("Round %d: %.66s", r, edit_proof.reason);
            break;
        default: break;
        }
        // On to the next round without a fresh proof.
        if (edit_proof.state == EDIT_PROOF_PROVEN && proving_all) {
            int next = 0;
            for (int k = 1; k <= 3 && next == 0; k++)
                if (!fresh(k)) next = k;
            if (next != 0 && !EDIT_PROVE_STALE()) start_proof(next);
            else proving_all = false;
        }
    }
    char line[EDITOR_TEXT_CHARS];
    if (edit_proof.state == EDIT_PROOF_RUNNING) {
        std::snprintf(line, sizeof line, "proving %s %.0fs (F6 stops)", ROUND_WORDS[r], edit_proof.seconds);
    } else {
        int n = std::snprintf(line, sizeof line, "proofs:");
        for (int k = 1; k <= 3; k++)
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %c:%s", "?SDB"[k],
                               fresh(k) ? "ok" : proofs[k].proven ? "stale" : "-");
    }
    if (std::strcmp(line, editor.proof) != 0) {
        std::snprintf(editor.proof, sizeof editor.proof, "%s", line);
        EDITOR_DRAW(true);
    }
}

void watch() {
    const RoundProof& p = proofs[editor.round];
    if (!p.proven) {
        EDITOR_SAY("No proof of round %d yet: F6 proves it", editor.round);
        return;
    }
    if (editor_watch == nullptr) {
        EDITOR_SAY("Watching needs the window");
        return;
    }
    char why[160];
    const int result = editor_watch(p.path.c_str(), why, sizeof why);
    if (result < 0) EDITOR_SAY("Cannot watch: %.60s", why);
    else if (!fresh(editor.round)) EDITOR_SAY("That proof was of the level before its last changes");
    EDITOR_DRAW(true);
}

// F9: opens the form; on it, F9 or Enter on its last line publishes.
void publish() {
    if (!editor.form) {
        EDITOR_FORM(true);
        return;
    }
    editor.form_problems = 0;
    auto problem = [](const char* text) {
        if (editor.form_problems < EDITOR_FORM_PROBLEMS)
            std::snprintf(editor.form_problem[editor.form_problems++], EDITOR_TEXT_CHARS, "%.79s", text);
    };
    if (level_path.empty() || editor.unsaved) problem("the level is not saved: F2 saves it");
    if (editor.form_text[0][0] == '\0') problem("the pack needs a title");
    if (editor.form_text[1][0] == '\0') problem("the pack needs an author");
    if (editor_publish == nullptr) problem("publishing needs the program's packs");
    if (editor.form_problems > 0) return;
    // The level files and their proofs: the one level (its proofs of this
    // session that are fresh), or every level file of the pack's folder with
    // the proofs kept there (Publish finds those made of another file).
    static std::string files[10], kept[28], where;
    EditorPublish what{};
    for (int f = 0; f < EDITOR_FORM_FIELDS; f++) what.text[f] = editor.form_text[f];
    std::error_code ec;
    for (int n = 1; n <= 9; n++) {
        files[n].clear();
        if (pack_dir.empty() && n == 1) files[n] = level_path;
        const std::string in_pack = pack_dir + "/levels/" + std::to_string(n) + ".bmp";
        if (!pack_dir.empty() && std::filesystem::is_regular_file(in_pack, ec)) files[n] = in_pack;
        what.level[n] = files[n].c_str();
    }
    for (int level = 1; level <= 27; level++) {
        kept[level].clear();
        const int n = (level - 1) % 9 + 1, round = (level - 1) / 9 + 1;
        if (pack_dir.empty() && n == 1 && fresh(round)) kept[level] = proofs[round].path;
        if (!pack_dir.empty() && !files[n].empty() && std::filesystem::is_regular_file(proof_of_level(level), ec))
            kept[level] = proof_of_level(level);
        what.proof[level] = kept[level].c_str();
    }
    // The pack's folder goes beside the level file, or beside the pack's folder.
    where = std::filesystem::absolute(pack_dir.empty() ? level_path : pack_dir, ec).parent_path().string();
    what.dir = where.c_str();
    char said[EDITOR_TEXT_CHARS];
    if (!editor_publish(what, said, sizeof said, editor.form_problem, &editor.form_problems)) {
        if (editor.form_problems == 0) problem("the pack could not be written");
        return;
    }
    EDITOR_FORM(false);
    EDITOR_SAY("%s", said);
    if (editor_kept != nullptr) {
        const char* dir = std::strchr(said, ':');
        if (dir != nullptr) editor_kept(dir + 2, EDITOR_KEPT_PACK);
    }
}

// The work as it stands, kept where editor_kept says (the browser's storage),
// once the level has stood still for a second after a change.
std::string keep_path;
void keep_work() {
    static unsigned kept = 0;
    static int still = 0;
    if (editor_kept == nullptr || kept == edit_changes) return;
    if (++still < 100) return;
    still = 0;
    kept = edit_changes;
    static unsigned char bytes[EDIT_FILE_MAX_BYTES];
    char why[EDIT_FILE_WHY_CHARS];
    const int size = EDIT_FILE_BYTES(bytes, sizeof bytes);
    if (size > 0 && EDIT_FILE_WRITE(keep_path.c_str(), bytes, size, why, sizeof why))
        editor_kept(keep_path.c_str(), EDITOR_KEPT_WORK);
}

// Opens level file n of the pack's folder (a new level where there is none).
void open_file(int n) {
    editor_file = n;
    level_path = pack_dir + "/levels/" + std::to_string(n) + ".bmp";
    for (RoundProof& p : proofs) p = RoundProof{};
    EDIT_PROVE_CANCEL();
    proving_all = false;
    EDIT_FILE_NEW(EDIT_MIN_HEIGHT);
    char why[EDIT_FILE_WHY_CHARS] = "";
    std::error_code ec;
    const bool there = std::filesystem::exists(std::filesystem::symlink_status(level_path, ec));
    const bool opened = there && EDIT_FILE_OPEN(level_path.c_str(), why, sizeof why);
    char name[EDITOR_TEXT_CHARS];
    std::snprintf(name, sizeof name, "levels/%d.bmp", n);
    EDITOR_START(name);
    if (there && !opened) {
        EDITOR_SAY("Cannot open levels/%d.bmp: %.50s", n, why);
        level_path.clear(); // never saved over a file it could not read
    } else if (!there) {
        EDITOR_SAY("levels/%d.bmp is new: F2 saves it", n);
    }
    rec_path = pack_dir + "/level-" + std::to_string(n) + "-play.rec";
}

// [ and ]: the pack's level file before or after this one.
void next_file(int step) {
    if (pack_dir.empty()) {
        EDITOR_SAY("One level file: --edit FOLDER edits a pack's nine");
        return;
    }
    if (editor.unsaved) {
        EDITOR_SAY("Not saved: F2 saves levels/%d.bmp first", editor_file);
        return;
    }
    open_file((editor_file - 1 + step + 9) % 9 + 1);
}

void save() {
    if (level_path.empty()) level_path = free_name();
    if (!pack_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(pack_dir + "/levels", ec);
    }
    char why[EDIT_FILE_WHY_CHARS];
    if (!EDIT_FILE_SAVE(level_path.c_str(), why, sizeof why)) {
        EDITOR_SAY("Not saved: %.60s", why);
        return;
    }
    if (pack_dir.empty()) std::snprintf(editor.name, sizeof editor.name, "%.40s", base_name(level_path.c_str()));
    EDITOR_SAVED();
    EDITOR_SAY("Saved %.60s", level_path.c_str());
    if (editor_kept != nullptr) editor_kept(level_path.c_str(), EDITOR_KEPT_SAVED);
}

void play() {
    if (editor_report.starts != 1) {
        EDITOR_SAY("A level needs one player's start to be played");
        return;
    }
    char why[EDIT_FILE_WHY_CHARS];
    const uint32_t seed = static_cast<uint32_t>(static_cast<long long>(clock_seconds() * 1000.0));
    const int quit = EDITOR_PLAY_LEVEL(play_path.c_str(), rec_path.c_str(), seed, why, sizeof why);
    if (quit < 0) EDITOR_SAY("Cannot play: %.60s", why);
    else if (quit == 2) EDITOR_SAY("Completed! The play is kept in %.40s", base_name(rec_path.c_str()));
    else if (quit == 0) EDITOR_SAY("A life lost: F5 plays again");
    else EDITOR_SAY("Left the level: F5 plays again");
    EDITOR_DRAW(true);
}

} // namespace

int EDITOR_PLAY_LEVEL(const char* to, const char* rec, uint32_t seed, char* why, int why_size) {
    PROC("EDITOR_PLAY_LEVEL");
    static unsigned char bytes[EDIT_FILE_MAX_BYTES];
    const int size = EDIT_FILE_BYTES(bytes, sizeof bytes);
    if (size == 0) {
        std::snprintf(why, static_cast<size_t>(why_size), "the level does not fit in a level file");
        return -1;
    }
    if (!EDIT_FILE_WRITE(to, bytes, size, why, why_size)) return -1;
    if (!set_level_path(editor_file, to)) {
        std::snprintf(why, static_cast<size_t>(why_size), "the path is too long");
        return -1;
    }
    const int level_number = editor_file + 9 * (editor.round - 1);
    keyboard_reset();
    pointer_reset();
    const bool recording = rec != nullptr && rec[0] != '\0' && editor_record_start != nullptr &&
                           editor_record_start(rec, level_number, seed);
    LEVEL_SETUP(level_number, seed);
    LEVEL_START();
    const int lives_before = lives;
    while (quit_code == 0 && lives == lives_before) PLAY_FRAME();
    if (recording && editor_record_stop != nullptr) editor_record_stop();
    keyboard_reset();
    pointer_reset();
    set_level_path(editor_file, "");
    return lives != lives_before ? 0 : quit_code;
}

int EDITOR_MAIN(const char* path) {
    reset_procedure_context();
    PROC("EDITOR_MAIN");
    SHELL_STARTUP();
    EDITOR_RUN(path);
    return 0;
}

void EDITOR_RUN(const char* path) {
    PROC("EDITOR_RUN");
    char title_before[128];
    std::snprintf(title_before, sizeof title_before, "%s", window_title());
    set_window_title(EDITOR_TITLE);
    editor_running = true;
    level_path.clear();
    pack_dir.clear();
    editor_file = 1;
    for (RoundProof& p : proofs) p = RoundProof{};
    proving_all = false;
    EDIT_FILE_NEW(EDIT_MIN_HEIGHT);
    char why[EDIT_FILE_WHY_CHARS] = "";
    bool opened = false;
    std::error_code dir_ec;
    if (path != nullptr && std::filesystem::is_directory(path, dir_ec)) {
        pack_dir = path;
        while (pack_dir.size() > 1 && (pack_dir.back() == '/' || pack_dir.back() == '\\')) pack_dir.pop_back();
        path = nullptr;
    }
    if (path != nullptr && path[0] != '\0') {
        level_path = path;
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(level_path, ec))) {
            opened = EDIT_FILE_OPEN(path, why, sizeof why);
            if (!opened) level_path.clear(); // never saved over a file it could not read
        }
    }
    EDITOR_START(level_path.empty() ? nullptr : base_name(level_path.c_str()));
    if (path != nullptr && path[0] != '\0' && !opened && why[0] != '\0') EDITOR_SAY("Cannot open it: %.60s", why);
    else if (!opened && !level_path.empty()) EDITOR_SAY("A new level: F2 saves it as %.40s", base_name(path));
    // The files a play uses, in the system's temporary folder.
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    const std::string stem = "clovenfeld-play-" + std::to_string(static_cast<long long>(clock_seconds() * 1000.0));
    play_path = (temp / (stem + ".bmp")).string();
    keep_path = (temp / (stem + "-work.bmp")).string();
    rec_path = level_path.empty() ? "level-play.rec" : level_path.substr(0, level_path.rfind('.')) + "-play.rec";
    if (!pack_dir.empty()) open_file(1);
    keyboard_reset();
    pointer_reset();
    EDITOR_DRAW(true);
    for (;;) {
        switch (EDITOR_INPUT()) {
        case EDITOR_QUIT:
            EDIT_PROVE_END();
            std::filesystem::remove(play_path, ec);
            std::filesystem::remove(keep_path, ec);
            set_window_title(title_before);
            editor_running = false;
            keyboard_reset();
            pointer_reset();
            return;
        case EDITOR_SAVE: save(); break;
        case EDITOR_PLAY: play(); break;
        case EDITOR_PROVE: prove(); break;
        case EDITOR_WATCH: watch(); break;
        case EDITOR_PUBLISH: publish(); break;
        case EDITOR_NEXT_FILE: next_file(1); break;
        case EDITOR_PREV_FILE: next_file(-1); break;
        default: break;
        }
        follow_proof();
        keep_work();
        EDITOR_DRAW(false);
        sleep_ms(10);
    }
}
