// watch_level.cpp -- a level's recording watched inside a run (run.h's
// run_watch_level): the level editor's Watch.  The run control replays it;
// this plays the level it names until the watch is over.
#include "platform/run.h"

#include "main/shell.h"
#include "main/snapshot.h"
#include "platform/record.h"

#include <cstdio>
#include <string>

int run_watch_level(const char* path, char* why, int size) {
    static Recording rec; // lives as long as its replay
    std::string error;
    if (!load_recording(path, &rec, &error)) {
        std::snprintf(why, static_cast<size_t>(size), "%s", error.c_str());
        return -1;
    }
    if (rec.start_level < 1) {
        std::snprintf(why, static_cast<size_t>(size), "not a recording of one level");
        return -1;
    }
    run_watch_begin(&rec);
    LEVEL_SETUP(rec.start_level, rec.seed);
    LEVEL_START();
    const int lives_before = lives;
    while (quit_code == 0 && lives == lives_before && !run_watch_over()) PLAY_FRAME();
    const int result = lives != lives_before ? 0 : quit_code == 2 ? 2 : 1;
    run_watch_end();
    return result;
}
