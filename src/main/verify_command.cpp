// verify_command.cpp -- --verify (verify_command.h).
//
// Each recording plays in this process, headless, fast and with drawing off,
// from the state the shell had just after it started (kept the first time)
// or from its level put straight at the start.  The run checks each state
// hash as it reaches it; the end line is checked when the recording runs
// out or the game ends, whichever comes first.  The end of the program that
// a replay would reach is caught here, through the fatal hook, and the next
// recording plays.
#include "main/verify_command.h"

#include "main/pack_command.h"
#include "main/shell.h"
#include "main/snapshot.h"
#include "platform/record.h"
#include "platform/run.h"
#include "port/datadir.h"
#include "services/bmp.h"
#include "services/fatal.h"
#include "services/random.h"
#include "services/screen.h"
#include "services/sha256.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Thrown by the fatal hook: the played game ended the program.
struct ProgramEnded {
    int status;
    std::string report;
};

void end_here(int status, const char* report) { throw ProgramEnded{status, report != nullptr ? report : ""}; }

int first_level = 0, last_level = 0;

void hear(const char* name) {
    if (std::strncmp(name, "level:", 6) != 0) return;
    const int n = std::atoi(name + 6);
    if (first_level == 0 || n < first_level) first_level = n;
    if (n > last_level) last_level = n;
}

bool shell_started = false;
Snapshot started_state; // the game just after SHELL_STARTUP

// The first differing level file of a recording, or -1.
int differing_level(const Recording& rec) {
    for (int i = 0; i < static_cast<int>(rec.levels.size()); i++) {
        const RecordLevel& l = rec.levels[static_cast<size_t>(i)];
        std::string game_name = l.path;
        for (char& c : game_name)
            if (c == '/') c = '\\';
        char path[GAME_PATH_CHARS], hex[65] = "missing";
        std::FILE* f = nullptr;
        if (open_game_file(game_name.c_str(), path, sizeof path, &f) == 0 && f != nullptr) {
            std::fclose(f);
            if (!sha256_file(path, hex)) std::strcpy(hex, "missing");
        }
        if (l.sha256 != hex) return i;
    }
    return -1;
}

} // namespace

bool PLAY_RECORDING(const Recording& rec, void (*tick_hook)(long tick), std::string* failure, ReplayCheck* check) {
    run_reset_for_tests();
    run_options.headless = true;
    run_options.fast = true;
    run_options.seed_given = true;
    run_options.seed = rec.seed;
    select_platform(&headless_platform);
    set_event_hook(hear);
    set_tick_hook(tick_hook);
    replay_set_quiet(true);
    run_use_recording(&rec);
    const int drawing = drawing_on;
    drawing_on = 0;
    set_fatal_hook(end_here);
    bool ok = true;
    try {
        if (!shell_started) {
            SHELL_STARTUP(); // opens the screen: the recording's first line
            SNAPSHOT_TAKE(&started_state);
            shell_started = true;
        } else {
            SNAPSHOT_RESTORE(started_state);
            seed_random(static_cast<double>(rec.seed));
            close_screen_for_tests();
            CHECK(open_screen(18, 32, 2, 0, 0));
            set_pages(0, 1);
        }
        if (rec.start_level == 0) {
            for (;;) {
                FILL_TITLE_LINES();
                TITLE();
                PLAY_GAME();
            }
        }
        PLAY_LEVEL_ALONE(rec.start_level, rec.seed);
        replay_check_end();
    } catch (const ProgramEnded& e) {
        replay_check_end();
        if (!e.report.empty()) {
            ok = false;
            *failure = e.report;
            while (!failure->empty() && (failure->back() == '\n' || failure->back() == '\r')) failure->pop_back();
            for (char& c : *failure)
                if (c == '\n' || c == '\r') c = ' ';
        }
    }
    set_fatal_hook(nullptr);
    drawing_on = drawing;
    *check = replay_check();
    run_use_recording(nullptr);
    set_tick_hook(nullptr);
    return ok;
}

int VERIFY_RECORDING(const char* path, char* line, int size) {
    const size_t n = static_cast<size_t>(size);
    Recording rec;
    std::string error;
    if (!load_recording(path, &rec, &error)) {
        std::snprintf(line, n, "bad recording: %s", error.c_str());
        return VERIFY_BAD_FILE;
    }
    if (rec.version >= 2 && rec.behaviour != GAME_BEHAVIOUR) {
        std::snprintf(line, n, "made by behaviour %d, this game is behaviour %d", rec.behaviour,
                      static_cast<int>(GAME_BEHAVIOUR));
        return VERIFY_FAILED;
    }
    const int differs = differing_level(rec);
    if (differs >= 0) {
        const RecordLevel& l = rec.levels[static_cast<size_t>(differs)];
        std::snprintf(line, n, "level file differs: level %d (%s)", l.level, l.path.c_str());
        return VERIFY_FAILED;
    }
    first_level = last_level = 0;
    std::string failure;
    ReplayCheck check;
    const bool played = PLAY_RECORDING(rec, nullptr, &failure, &check);
    if (!played) {
        std::snprintf(line, n, "the game failed: %s", failure.c_str());
        return VERIFY_FAILED;
    }
    if (check.desync_after > 0) {
        std::snprintf(line, n, "desync at tick %lld (state hash differs after tick %lld)", check.last_good,
                      check.desync_after);
        return VERIFY_FAILED;
    }
    if (rec.version >= 2 && !check.end_ok) {
        std::snprintf(line, n, "desync at tick %lld (state hash differs after tick %lld)", check.last_good,
                      check.ticks);
        return VERIFY_FAILED;
    }
    if (rec.start_level > 0) first_level = last_level = rec.start_level;
    const int final_score = rec.version >= 2 ? check.end_state.score : score;
    const long long ticks = rec.version >= 2 ? rec.end_ticks : static_cast<long long>(rec.ticks);
    char levels[32];
    if (first_level == 0) std::snprintf(levels, sizeof levels, "no level");
    else if (first_level == last_level) std::snprintf(levels, sizeof levels, "level %d", first_level);
    else std::snprintf(levels, sizeof levels, "levels %d\u2013%d", first_level, last_level);
    std::snprintf(line, n, "ok: %s, ticks %lld, score %d, v%d%s%s", levels, ticks, final_score, rec.version,
                  assists_on(rec.play_assists) ? ", assists " : "",
                  assists_on(rec.play_assists) ? rec.assists.c_str() : "");
    return VERIFY_OK;
}

int VERIFY_COMMAND(const CommandLine& cl) {
    choose_data_dir(cl.data_dir);
    if (cl.pack != nullptr && !USE_PACK(cl.pack)) return VERIFY_BAD_FILE;
    int worst = VERIFY_OK;
    for (int i = 0; i < cl.verify_count; i++) {
        char line[1024];
        // A recording made in a pack needs that pack's levels.
        Recording rec;
        std::string error;
        int status = VERIFY_OK;
        if (load_recording(cl.verify_files[i], &rec, &error) && !USE_PACK_OF_RECORDING(rec.pack.c_str(), line, sizeof line))
            status = VERIFY_FAILED;
        else
            status = VERIFY_RECORDING(cl.verify_files[i], line, sizeof line);
        std::printf("%s: %s\n", cl.verify_files[i], line);
        std::fflush(stdout);
        if (status == VERIFY_BAD_FILE || (status == VERIFY_FAILED && worst == VERIFY_OK)) worst = status;
    }
    return worst;
}
