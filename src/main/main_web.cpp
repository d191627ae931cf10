// main_web.cpp -- the game program's entry in the browser.  The page turns
// its URL parameters into a command line (web/page.js); the game then runs on
// the web back-end, which shows the canvas and takes the keys, or replays a
// recording (shipped with the page or opened by the player), in the level
// pack the player chose on the page (--pack) or the built-in one.  --record
// writes to the page's in-memory file system; the page offers the file as a
// download when the recording stops.
#include "editor/editor.h"
#include "main/options.h"
#include "main/pack_command.h"
#include "main/play_main.h"
#include "main/shell.h"
#include "port/datadir.h"
#include "port/platform.h"
#include "platform/records.h"
#include "platform/session.h"
#include "platform/run.h"

#include <cstdio>

namespace {

const char* edit_path = nullptr;

void editor_from_title() { EDITOR_RUN(nullptr); }

} // namespace

int main(int argc, char** argv)
{
    CommandLine cl;
    if (parse_options(argc, argv, &cl, stderr) != OPTIONS_OK) return OPTIONS_BAD;
    run_options = cl.run;
    run_options.headless = false;
    choose_data_dir(cl.data_dir); // the page's files are preloaded into the working directory
    // The pack the player chose on the page, written into the file system
    // (/pack.zip, or the folder /pack) from the page's storage.
    if (cl.pack != nullptr && !USE_PACK(cl.pack)) return OPTIONS_BAD;
    // The page puts the settings it keeps in its storage at /settings.ini.
    session_start(cl.settings_path, false, &run_options);
    // Play keeps records beside the settings (/records.ini, from the page's
    // storage too); a replay or a recording watched does not.
    char records[RECORDS_PATH_CHARS];
    if (run_options.replay_path == nullptr && cl.settings_path != nullptr &&
        records_path_beside(cl.settings_path, records, sizeof records))
        records_start(records);
    // The title screen opens the level editor (the page's Editor button, the
    // pause menu's E); --edit opens it straight away.
    title_editor = editor_from_title;
    if (run_options.replay_path == nullptr) {
        editor_record_start = recording_start_level;
        editor_record_stop = recording_stop;
    }
    // A recording is read by the run control, and its seed seeds the game.
    select_platform(&web_platform);
    if (cl.edit) {
        edit_path = cl.edit_path;
        return EDITOR_MAIN(edit_path);
    }
    return PLAY_MAIN();
}
