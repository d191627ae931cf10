// main.cpp -- the game program's entry: reads the command line, picks the
// window or the headless back-end and runs the game shell.
#include "editor/edit_publish.h"
#include "editor/editor.h"
#include "main/options.h"
#include "main/pack_command.h"
#include "main/prove_command.h"
#include "main/verify_command.h"
#include "main/play_main.h"
#include "main/shell.h"
#include "port/datadir.h"
#include "port/notice.h"
#include "port/system.h"
#include "port/platform.h"
#include "platform/pack.h"
#include "platform/record.h"
#include "platform/records.h"
#include "platform/session.h"
#include "platform/settings.h"
#include "platform/run.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* edit_path = nullptr;

int edit_main() { return EDITOR_MAIN(edit_path); }

void editor_from_title() { EDITOR_RUN(nullptr); }

// What the editor calls in the rooms above it: Watch, Publish and, unless
// the whole run is recorded, the recordings of its plays.
void give_the_editor_its_services(bool record_plays) {
    if (record_plays) {
        editor_record_start = recording_start_level;
        editor_record_stop = recording_stop;
    }
    editor_watch = run_watch_level;
    editor_publish = PUBLISH_FROM_EDITOR;
}

// The window back-end of this system.
void select_window_platform() {
#ifdef _WIN32
    select_platform(&windows_platform);
#else
    select_platform(&sdl_platform);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    file_plain_std_streams();
    CommandLine cl;
    if (parse_options(argc, argv, &cl, nullptr) != OPTIONS_OK) {
        show_notices_without_console(USAGE_TEXT); // started from the desktop: nowhere else to say it
        return OPTIONS_BAD;
    }
    if (cl.show_help) {
        print_usage(stdout);
        return 0;
    }
    if (cl.show_version) {
        std::printf("%s\n", VERSION_TEXT);
        return 0;
    }
    // The records sit beside the settings file in use: the player's own, or --settings FILE.
    char settings[SETTINGS_PATH_CHARS], records[RECORDS_PATH_CHARS];
    const char* settings_in_use = cl.settings_path;
    if (settings_in_use == nullptr && settings_default_path(settings, sizeof settings)) settings_in_use = settings;
    const bool records_known = settings_in_use != nullptr && records_path_beside(settings_in_use, records, sizeof records);
    if (cl.show_records) {
        if (records_known) return records_print(records, stdout, stderr);
        std::printf("No records: no settings folder (set HOME or XDG_CONFIG_HOME).\n");
        return 0;
    }
    if (cl.list_packs) return LIST_PACKS_COMMAND(cl);
    if (cl.verify_pack != nullptr) return VERIFY_PACK_COMMAND(cl);
    if (cl.install_pack != nullptr) return INSTALL_PACK_COMMAND(cl);
    if (cl.pack != nullptr && !USE_PACK(cl.pack)) return OPTIONS_BAD;
    if (cl.prove_path != nullptr || cl.prove_all) return PROVE_COMMAND(cl);
    if (cl.verify_count > 0) return VERIFY_COMMAND(cl);
    run_options = cl.run;
    choose_data_dir(cl.data_dir);
    if (cl.edit) {
        // The editor keeps the player's settings (the window's size, the keys) but no records.
        session_start(cl.no_settings ? nullptr : cl.settings_path, !cl.no_settings, &run_options);
        // A pack's zip is unpacked beside it, an installed pack's id is its folder.
        static std::string folder;
        std::string error;
        if (cl.edit_path != nullptr && !EDIT_FOLDER_OF(cl.edit_path, &folder, &error)) {
            notice("cannot edit %s: %s", cl.edit_path, error.c_str());
            return OPTIONS_BAD;
        }
        edit_path = cl.edit_path != nullptr ? folder.c_str() : nullptr;
        give_the_editor_its_services(true);
        select_window_platform();
        return run_with_window(edit_main);
    }
    if (run_options.replay_path != nullptr) {
        // A recording made in a pack plays that pack's levels (read once here).
        std::string pack, error;
        char why[256];
        if (!replay_preload(run_options.replay_path, &pack, &error)) {
            notice("bad recording %s: %s", run_options.replay_path, error.c_str());
            return OPTIONS_BAD;
        }
        if (!USE_PACK_OF_RECORDING(pack.c_str(), why, sizeof why)) {
            std::fprintf(stderr, "clovenfeld: %s: %s\n", run_options.replay_path, why);
            return OPTIONS_BAD;
        }
    }
    // A window run reads the player's settings; a headless one only a file named.
    session_start(cl.no_settings ? nullptr : cl.settings_path, !cl.no_settings && !run_options.headless,
                  &run_options);

    // The window plays the level pack the player chose last (the settings'
    // pack), unless --pack or a recording names one.
    if (cl.pack == nullptr && !run_options.headless && run_options.replay_path == nullptr) {
        char id[PACK_ID_CHARS], dir[PACK_PATH_CHARS];
        session_pack(id, sizeof id);
        if (std::strcmp(id, PACK_BUILT_IN) != 0) {
            if (pack_installed_dir(id, dir, sizeof dir)) pack_use(dir, id);
            else notice("level pack %s is not installed: playing the game's own levels", id);
        }
    }
    // Play in the window keeps records; watching a recording does not.
    if (!run_options.headless && run_options.replay_path == nullptr && !cl.no_settings && records_known)
        records_start(records);

    if (run_options.headless) {
        // A replayed recording is read here; its seed then seeds the game.
        select_platform(&headless_platform);
        return PLAY_MAIN();
    }
    // The title screen opens the editor (the pause menu's E); its plays are
    // recorded unless the whole run is.
    title_editor = editor_from_title;
    give_the_editor_its_services(run_options.record_path == nullptr);
    select_window_platform();
    return run_with_window(PLAY_MAIN);
}
