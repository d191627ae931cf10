// editor_main.cpp -- the editor's run (module "editor"): the frames of the
// screen, and what its requests do: save, play, prove, watch and publish.
#include "editor/editor.h"

#include "editor/edit_file.h"
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

namespace {

constexpr char EDITOR_TITLE[] = "Clovenfeld Returns - level editor";

// Where the level is saved ("" until it has a name), the file a play reads,
// and the recording of the last play.
std::string level_path, play_path, rec_path;

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

void save() {
    if (level_path.empty()) level_path = free_name();
    char why[EDIT_FILE_WHY_CHARS];
    if (!EDIT_FILE_SAVE(level_path.c_str(), why, sizeof why)) {
        EDITOR_SAY("Not saved: %.60s", why);
        return;
    }
    std::snprintf(editor.name, sizeof editor.name, "%.40s", base_name(level_path.c_str()));
    EDITOR_SAVED();
    EDITOR_SAY("Saved %.60s", level_path.c_str());
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
    if (!set_level_path(1, to)) {
        std::snprintf(why, static_cast<size_t>(why_size), "the path is too long");
        return -1;
    }
    const int level_number = 1 + 9 * (editor.round - 1);
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
    set_level_path(1, "");
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
    level_path.clear();
    EDIT_FILE_NEW(EDIT_MIN_HEIGHT);
    char why[EDIT_FILE_WHY_CHARS] = "";
    bool opened = false;
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
    rec_path = level_path.empty() ? "level-play.rec" : level_path.substr(0, level_path.rfind('.')) + "-play.rec";
    keyboard_reset();
    pointer_reset();
    EDITOR_DRAW(true);
    for (;;) {
        switch (EDITOR_INPUT()) {
        case EDITOR_QUIT:
            std::filesystem::remove(play_path, ec);
            set_window_title(title_before);
            keyboard_reset();
            pointer_reset();
            return;
        case EDITOR_SAVE: save(); break;
        case EDITOR_PLAY: play(); break;
        default: break;
        }
        EDITOR_DRAW(false);
        sleep_ms(10);
    }
}
