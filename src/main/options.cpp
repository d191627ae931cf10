// options.cpp -- reads the game program's command line.  With no options the
// game runs exactly as the player knows it, in a window; the rest serves
// tests and tools: headless runs, recordings, a fixed seed, stop conditions,
// a shot of the work page and a log of what the game showed.
#include "main/options.h"

#include "port/datadir.h"
#include "port/notice.h"
#include "platform/settings.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <initializer_list>


namespace {

// Reads a whole decimal number in [lo, hi]; false for anything else.
bool read_number(const char* text, long long lo, long long hi, long long* out)
{
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Says what is wrong with the command line: to err, or as a notice when err
// is null (the program's own standard error, the line kept for a box).
__attribute__((format(printf, 2, 3))) void complain(FILE* err, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (err == nullptr) {
        notice_v(format, args);
    } else {
        std::fputs("clovenfeld: ", err);
        std::vfprintf(err, format, args);
        std::fputc('\n', err);
    }
    va_end(args);
}

} // namespace

// The usage text, as --help prints it.
const char USAGE_TEXT[] =
        "usage: clovenfeld [options]\n"
        "  --help            this text\n"
        "  --version         print the version\n"
        "  --headless        run without a window (keys come from --replay or nowhere)\n"
        "  --replay FILE     play a recording back (implies --headless)\n"
        "  --watch FILE      play a recording back in the window, with the viewer's keys:\n"
        "                    Space or P pause, Right arrow or . one tick forward (paused),\n"
        "                    Up / Down or + / - speed (1/2x to 8x), N next level, H hide the\n"
        "                    progress line, Esc close\n"
        "  --record FILE     record the key input of a window run\n"
        "  --level N         a practice game of level N (1 to 27) from the title screen:\n"
        "                    it ends after that level and shows its score\n"
        "  --seed N          seed the random numbers with N (0 to 4294967295)\n"
        "  --fast            headless: do not wait out the 10 ms frame waits\n"
        "  --stop-tick N     headless: stop after N ticks\n"
        "  --stop-at EVENT   headless: stop when EVENT is announced (e.g. title, level:2)\n"
        "  --shot FILE       headless: save the work page to FILE when stopping\n"
        "  --events          print each announced event with its tick\n"
        "  --scale N         open the window at N times 640 x 480 (1 to 8)\n"
        "  --fit             fill the window at any 4:3 size, not whole scales\n"
        "  --fullscreen      start in fullscreen (F11 or Alt+Enter toggles it)\n"
        "  --mute            start with the sound off (M toggles it)\n"
        "  --volume N        sound volume, 0 to 100\n"
        "  --audio-out FILE  headless: write the run's sound to FILE (16-bit 48 kHz stereo WAV)\n"
        "  --settings FILE   read and save the settings in FILE instead of the player's own\n"
        "  --no-settings     read no settings file (and keep no records)\n"
        "  --records         print the records kept beside the settings file (records.ini) and exit\n"
        "  --data DIR        read gfx/ and levels/ from DIR (default: searched, see README)\n"
        "  --prove LEVEL.bmp [--level N] [--seed S] [--budget SECONDS] [--out FILE.rec] [--progress]\n"
        "                    find key input that completes the level file as level N (1 to 27,\n"
        "                    default 1), write it as a recording and say: proven (status 0),\n"
        "                    not completable (20) or undecided within the budget (21; default 60 s);\n"
        "                    --progress: a line \"progress SECONDS FRAMES\" up to 4 times a second\n"
        "  --prove --all [--out DIR]  the same for the 27 shipped levels, as a table\n"
        "  --pack FILE|DIR|ID  play a level pack: its folder, its zip (.cvpack, .zip) or the id\n"
        "                    of an installed pack (see --packs; clovenfeld is the built-in one)\n"
        "  --verify-pack FILE|DIR  check a pack: pack.ini, every level file's SHA-256 and every\n"
        "                    proof replayed; one line a level and a summary; status 0, or 22\n"
        "  --install-pack FILE|DIR  check a pack, then copy it into the packs folder\n"
        "                    ($XDG_DATA_HOME/clovenfeld/packs); one that fails is not installed\n"
        "  --packs           list the installed packs and exit\n"
        "  --edit [LEVEL.bmp|PACK]  the level editor, on that level file, a pack (its folder,\n"
        "                    its zip unpacked beside it, or an installed pack's id: its\n"
        "                    levels/1.bmp to 9.bmp) or a new level; F1 lists its keys\n"
        "  --verify FILE...  play each recording without a window and check it: one line each,\n"
        "                    status 0 when all are ok, 22 when one is not, 2 for a bad file\n";

void print_usage(FILE* to)
{
    std::fputs(USAGE_TEXT, to);
    std::fputs("settings file keys (\"key = value\" lines; see the README for its place):\n", to);
    SettingsKeyInfo key;
    for (int k = 0; settings_describe(k, &key); k++)
        std::fprintf(to, "  %-20s %s; default %s\n", key.name, key.values, key.fallback);
}

int parse_options(int argc, const char* const* argv, CommandLine* out, FILE* err)
{
    *out = CommandLine{};
    RunOptions& run = out->run;
    // Options that switch something on, and options that name a file or an
    // event (the replay and the sound file run headless).
    const struct { const char* name; bool* flag; } switches[] = {
        {"--help", &out->show_help}, {"--version", &out->show_version}, {"--headless", &run.headless},
        {"--fast", &run.fast},       {"--events", &run.print_events},   {"--no-settings", &out->no_settings},
        {"--mute", &run.mute},       {"--fit", &run.window_fit},        {"--fullscreen", &run.fullscreen},
        {"--records", &out->show_records}, {"--packs", &out->list_packs},
    };
    const struct { const char* name; const char** text; bool headless; } texts[] = {
        {"--replay", &run.replay_path, true},      {"--record", &run.record_path, false},
        {"--shot", &run.shot_path, false},         {"--stop-at", &run.stop_event, false},
        {"--settings", &out->settings_path, false}, {"--audio-out", &run.audio_out_path, true},
        {"--pack", &out->pack, false},             {"--verify-pack", &out->verify_pack, false},
        {"--install-pack", &out->install_pack, false},
    };
    bool budget_given = false;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        // Options that take a value read the next argument.
        auto value = [&](const char** v) {
            if (i + 1 >= argc) {
                complain(err, "%s needs a value", a);
                return false;
            }
            *v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        long long n = 0;
        // Options that take a number read it from the next argument into n.
        auto number = [&](long long lo, long long hi, const char* needs) {
            if (!value(&v)) return false;
            if (read_number(v, lo, hi, &n)) return true;
            complain(err, "%s needs %s, not \"%s\"", a, needs, v);
            return false;
        };
        bool known = false;
        for (const auto& o : switches) {
            if (std::strcmp(a, o.name) != 0) continue;
            *o.flag = known = true;
        }
        for (const auto& o : texts) {
            if (std::strcmp(a, o.name) != 0) continue;
            if (!value(o.text)) return OPTIONS_BAD;
            run.headless = run.headless || o.headless;
            known = true;
        }
        if (known) continue;
        if (std::strcmp(a, "--watch") == 0) {
            if (!value(&run.replay_path)) return OPTIONS_BAD;
            run.watch = true;
        } else if (std::strcmp(a, "--data") == 0) {
            if (!value(&v)) return OPTIONS_BAD;
            if (*v == '\0' || std::strlen(v) >= DATA_DIR_CHARS) {
                complain(err, "--data needs a folder name (under %d characters)", DATA_DIR_CHARS);
                return OPTIONS_BAD;
            }
            out->data_dir = v;
        } else if (std::strcmp(a, "--seed") == 0) {
            if (!number(0, 4294967295LL, "a number from 0 to 4294967295")) return OPTIONS_BAD;
            run.seed_given = true;
            run.seed = static_cast<uint32_t>(n);
        } else if (std::strcmp(a, "--stop-tick") == 0) {
            if (!number(0, 0x7FFFFFFFFFFFLL, "a number of ticks")) return OPTIONS_BAD;
            run.stop_tick = static_cast<long>(n);
        } else if (std::strcmp(a, "--scale") == 0) {
            if (!number(1, 8, "a whole number from 1 to 8")) return OPTIONS_BAD;
            run.window_scale = static_cast<int>(n);
        } else if (std::strcmp(a, "--prove") == 0) {
            if (i + 1 < argc && std::strcmp(argv[i + 1], "--all") == 0) {
                out->prove_all = true;
                i++;
            } else if (!value(&out->prove_path)) {
                return OPTIONS_BAD;
            } else if (*out->prove_path == '\0') {
                complain(err, "--prove needs a level file (or --all)");
                return OPTIONS_BAD;
            }
        } else if (std::strcmp(a, "--edit") == 0) {
            out->edit = true;
            if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) out->edit_path = argv[++i];
        } else if (std::strcmp(a, "--verify") == 0) {
            out->verify_files = argv + i + 1;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
                i++;
                out->verify_count++;
            }
            if (out->verify_count == 0) {
                complain(err, "--verify needs one or more recordings");
                return OPTIONS_BAD;
            }
        } else if (std::strcmp(a, "--level") == 0) {
            if (!number(1, 27, "a level from 1 to 27")) return OPTIONS_BAD;
            out->prove_level = static_cast<int>(n);
        } else if (std::strcmp(a, "--budget") == 0) {
            if (!value(&v)) return OPTIONS_BAD;
            char* end = nullptr;
            errno = 0;
            const double seconds = std::strtod(v, &end);
            if (errno != 0 || end == v || *end != '\0' || !(seconds > 0) || seconds > 86400) {
                complain(err, "--budget needs a number of seconds above 0 and at most 86400, not \"%s\"", v);
                return OPTIONS_BAD;
            }
            out->prove_budget = seconds;
            budget_given = true;
        } else if (std::strcmp(a, "--out") == 0) {
            if (!value(&out->prove_out)) return OPTIONS_BAD;
            if (*out->prove_out == '\0') {
                complain(err, "--out needs a file name");
                return OPTIONS_BAD;
            }
        } else if (std::strcmp(a, "--progress") == 0) {
            out->prove_progress = true;
        } else if (std::strcmp(a, "--volume") == 0) {
            if (!number(0, 100, "a whole number from 0 to 100")) return OPTIONS_BAD;
            run.volume = static_cast<int>(n);
        } else {
            complain(err, "unknown option \"%s\" (try --help)", a);
            return OPTIONS_BAD;
        }
    }
    const bool proving = out->prove_path != nullptr || out->prove_all;
    if (!proving && (out->prove_out != nullptr || budget_given || out->prove_progress)) {
        complain(err, "--budget, --out and --progress go with --prove");
        return OPTIONS_BAD;
    }
    // Without --prove, --level is a practice game of that level.
    if (!proving) out->run.practice_level = out->prove_level;
    if (out->run.practice_level != 0 && (out->run.replay_path != nullptr || out->verify_count > 0)) {
        complain(err, "--level plays a practice game: not with --replay, --watch or --verify");
        return OPTIONS_BAD;
    }
    if (out->prove_all && (out->prove_path != nullptr || out->prove_level != 0)) {
        complain(err, "--prove --all proves the shipped levels: no level file or --level with it");
        return OPTIONS_BAD;
    }
    if (proving && (out->run.replay_path != nullptr || out->run.record_path != nullptr)) {
        complain(err, "--prove runs on its own: not with --replay or --record");
        return OPTIONS_BAD;
    }
    if (out->verify_count > 0 && (proving || out->run.replay_path != nullptr || out->run.record_path != nullptr)) {
        complain(err, "--verify runs on its own: not with --prove, --replay or --record");
        return OPTIONS_BAD;
    }
    if (out->run.watch && (out->run.headless || out->run.record_path != nullptr || proving || out->verify_count > 0)) {
        complain(err, "--watch shows a recording in the window: not with --headless, --replay, --audio-out, "
                      "--record, --prove or --verify");
        return OPTIONS_BAD;
    }
    if (out->run.headless && out->run.record_path != nullptr) {
        complain(err, "--record works only with the window (not with --headless or --replay)");
        return OPTIONS_BAD;
    }
    const int pack_commands = (out->verify_pack != nullptr) + (out->install_pack != nullptr) + out->list_packs;
    if (pack_commands > 1 || (pack_commands == 1 && (proving || out->verify_count > 0 || out->pack != nullptr ||
                                                     out->run.replay_path != nullptr || out->run.record_path != nullptr))) {
        complain(err, "--verify-pack, --install-pack and --packs each run on their own");
        return OPTIONS_BAD;
    }
    if (out->edit && (proving || out->verify_count > 0 || pack_commands > 0 || out->run.headless ||
                      out->run.replay_path != nullptr || out->run.record_path != nullptr)) {
        complain(err, "--edit opens the level editor in the window: not with --headless, --replay, --watch, "
                      "--record, --prove, --verify or a pack command");
        return OPTIONS_BAD;
    }
    if (out->edit_path != nullptr && (*out->edit_path == '\0' || std::strlen(out->edit_path) >= 3000)) {
        complain(err, "--edit takes a level file's name (under 3000 characters)");
        return OPTIONS_BAD;
    }
    for (const char* named : {out->pack, out->verify_pack, out->install_pack})
        if (named != nullptr && (*named == '\0' || std::strlen(named) >= 3000)) {
            complain(err, "a pack is named by its file, folder or id (under 3000 characters)");
            return OPTIONS_BAD;
        }
    return OPTIONS_OK;
}
