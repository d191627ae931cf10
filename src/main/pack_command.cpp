// pack_command.cpp -- --pack, --verify-pack, --install-pack and --packs
// (pack_command.h).  A pack's proofs are replayed by VERIFY_RECORDING with
// the pack's level files in use; a zip is checked from a folder unpacked
// inside the packs folder, and nothing is written anywhere else.
#include "main/pack_command.h"

#include "main/shell.h"
#include "main/verify_command.h"
#include "platform/pack.h"
#include "platform/record.h"
#include "port/datadir.h"
#include "port/notice.h"
#include "port/system.h"
#include "services/sha256.h"

#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// This game's version number, the last word of VERSION_TEXT.
const char* game_version() {
    const char* space = std::strrchr(VERSION_TEXT, ' ');
    return space != nullptr ? space + 1 : VERSION_TEXT;
}

void sha256_bytes(const std::vector<unsigned char>& bytes, char hex[65]) {
    Sha256 s;
    sha256_begin(&s);
    sha256_add(&s, bytes.data(), bytes.size());
    sha256_hex(&s, hex);
}

// The folder to play or check a pack's files from: the pack's own folder,
// or for a zip <packs>/<prefix><id>, written afresh.
bool folder_of(const char* path, const PackFiles& files, const char* prefix, char* dir, int size, std::string* error) {
    if (!pack_is_zip_name(path) || file_is_real_dir(path)) {
        if (std::snprintf(dir, static_cast<size_t>(size), "%s", path) >= size) return false;
        return true;
    }
    PackInfo info;
    char problem[PACK_PROBLEM_CHARS];
    if (!pack_ini_parse(files.ini.data(), static_cast<int>(files.ini.size()), "pack.ini", &info, problem, sizeof problem)) {
        *error = problem;
        return false;
    }
    char packs[PACK_PATH_CHARS];
    if (!pack_packs_dir(packs, sizeof packs, true)) {
        *error = "no packs folder to unpack the zip in (set XDG_DATA_HOME or HOME)";
        return false;
    }
    const int n = std::snprintf(dir, static_cast<size_t>(size), "%s/%s%s", packs, prefix, info.id);
    if (n <= 0 || n >= size) return false;
    pack_remove_folder(dir);
    return pack_write_folder(files, dir, error);
}

// The pack --pack named, once read: recordings of its id play it.
char given_id[PACK_ID_CHARS] = "";
char given_dir[PACK_PATH_CHARS] = "";

void say(std::FILE* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void say(std::FILE* out, const char* format, ...) {
    if (out == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fflush(out);
}

} // namespace

int PACK_CHECK(const char* dir, const PackFiles& files, std::FILE* out, PackInfo* info, int* failed_level) {
    *failed_level = 0;
    char problem[PACK_PROBLEM_CHARS];
    if (!pack_ini_parse(files.ini.data(), static_cast<int>(files.ini.size()), "pack.ini", info, problem, sizeof problem)) {
        say(out, "%s\n", problem);
        return PACK_FAILED;
    }
    if (pack_version_compare(info->game, game_version()) > 0) {
        say(out, "%s: needs game %s; this is %s\n", info->id, info->game, game_version());
        return PACK_FAILED;
    }
    // The level files: each one named in pack.ini, there, and with its hash.
    std::string file_fault[PACK_FILES + 1];
    for (int n = 1; n <= PACK_FILES; ++n) {
        if (!info->has_file[n] && files.has_level[n]) file_fault[n] = "not named in pack.ini";
        if (info->has_file[n] && !files.has_level[n]) file_fault[n] = "missing (pack.ini names it)";
        if (info->has_file[n] && files.has_level[n]) {
            char hex[65];
            sha256_bytes(files.level[n], hex);
            if (std::strcmp(hex, info->sha256[n]) != 0) file_fault[n] = "SHA-256 differs from pack.ini";
        }
    }
    char dir_path[PACK_PATH_CHARS];
    std::snprintf(dir_path, sizeof dir_path, "%s", dir);
    if (!pack_use(dir_path, info->id)) {
        say(out, "%s: path too long\n", dir);
        return PACK_FAILED;
    }
    int played = 0, failed = 0;
    for (int level = 1; level <= PACK_LEVELS; ++level) {
        const int file = pack_file_of(level);
        if (!info->has_file[file] && !files.has_level[file]) continue; // a missing file: nothing to prove
        ++played;
        std::string fault = file_fault[file];
        char proof[PACK_PATH_CHARS + 32];
        std::snprintf(proof, sizeof proof, "%s/proofs/level-%d.rec", dir, level);
        char line[1024] = "";
        if (fault.empty() && !files.has_proof[level]) fault = "no proof (proofs/level-" + std::to_string(level) + ".rec)";
        if (fault.empty()) {
            Recording rec;
            std::string error;
            if (!parse_recording(reinterpret_cast<const char*>(files.proof[level].data()), files.proof[level].size(), &rec,
                                 &error))
                fault = "bad proof: " + error;
            else if (rec.start_level != level)
                fault = rec.start_level == 0 ? std::string("the proof starts at the title screen, not at the level")
                                             : "the proof plays level " + std::to_string(rec.start_level);
            else if (!rec.pack.empty() && rec.pack != info->id)
                fault = "the proof was made in pack " + rec.pack;
        }
        if (fault.empty()) {
            quit_code = 0;
            const int status = VERIFY_RECORDING(proof, line, sizeof line);
            if (status != VERIFY_OK) fault = std::string("proof fails: ") + line;
            else if (quit_code != 2) fault = "the proof does not complete the level";
        }
        if (fault.empty()) {
            // "ok: level 4, ticks 1210, score 150, v2" -> "ok, ticks 1210, score 150"
            const char* ticks = std::strstr(line, "ticks ");
            std::string shown = ticks != nullptr ? ticks : line;
            const size_t v = shown.find(", v2");
            if (v != std::string::npos) shown.erase(v, 4);
            say(out, "level %d (levels/%d.bmp): ok, %s\n", level, file, shown.c_str());
        } else {
            say(out, "level %d (levels/%d.bmp): %s\n", level, file, fault.c_str());
            if (*failed_level == 0) *failed_level = level;
            ++failed;
        }
    }
    pack_use(nullptr, nullptr);
    if (failed > 0) say(out, "%s: %d of %d levels failed\n", info->id, failed, played);
    else say(out, "%s: ok, %d levels proved\n", info->id, played);
    return failed > 0 ? PACK_FAILED : PACK_OK;
}

int VERIFY_PACK_COMMAND(const CommandLine& cl) {
    choose_data_dir(cl.data_dir);
    PackFiles files;
    std::string error;
    if (!pack_read(cl.verify_pack, &files, &error)) {
        std::printf("%s: %s\n", cl.verify_pack, error.c_str());
        return PACK_BAD_FILE;
    }
    char dir[PACK_PATH_CHARS];
    if (!folder_of(cl.verify_pack, files, ".check-", dir, sizeof dir, &error)) {
        std::printf("%s: %s\n", cl.verify_pack, error.c_str());
        return PACK_BAD_FILE;
    }
    PackInfo info;
    int failed_level = 0;
    const int status = PACK_CHECK(dir, files, stdout, &info, &failed_level);
    if (std::strcmp(dir, cl.verify_pack) != 0) pack_remove_folder(dir);
    return status;
}

int INSTALL_PACK_COMMAND(const CommandLine& cl) {
    choose_data_dir(cl.data_dir);
    PackFiles files;
    std::string error;
    if (!pack_read(cl.install_pack, &files, &error)) {
        std::printf("%s: not installed: %s\n", cl.install_pack, error.c_str());
        return PACK_BAD_FILE;
    }
    PackInfo info;
    char problem[PACK_PROBLEM_CHARS];
    if (!pack_ini_parse(files.ini.data(), static_cast<int>(files.ini.size()), "pack.ini", &info, problem, sizeof problem)) {
        std::printf("%s: not installed: %s\n", cl.install_pack, problem);
        return PACK_FAILED;
    }
    char packs[PACK_PATH_CHARS];
    if (!pack_packs_dir(packs, sizeof packs, true)) {
        std::printf("%s: not installed: no packs folder (set XDG_DATA_HOME or HOME; a link is not taken)\n",
                    cl.install_pack);
        return PACK_BAD_FILE;
    }
    // Written beside its place, checked there, then put in place whole.
    char temp[PACK_PATH_CHARS + 64], final_dir[PACK_PATH_CHARS + 64], old[PACK_PATH_CHARS + 64];
    const long pid = static_cast<long>(getpid());
    std::snprintf(temp, sizeof temp, "%s/.install-%s-%ld", packs, info.id, pid);
    std::snprintf(final_dir, sizeof final_dir, "%s/%s", packs, info.id);
    std::snprintf(old, sizeof old, "%s/.old-%s-%ld", packs, info.id, pid);
    pack_remove_folder(temp);
    if (!pack_write_folder(files, temp, &error)) {
        std::printf("%s: not installed: %s\n", cl.install_pack, error.c_str());
        return PACK_BAD_FILE;
    }
    int failed_level = 0;
    const int status = PACK_CHECK(temp, files, stdout, &info, &failed_level);
    if (status != PACK_OK) {
        pack_remove_folder(temp);
        if (failed_level > 0) std::printf("%s: not installed: level %d fails (above)\n", cl.install_pack, failed_level);
        else std::printf("%s: not installed (above)\n", cl.install_pack);
        return status;
    }
    bool had_old = false;
    if (file_is_real_dir(final_dir)) {
        if (std::rename(final_dir, old) != 0) {
            pack_remove_folder(temp);
            std::printf("%s: not installed: the installed %s cannot be moved aside\n", cl.install_pack, info.id);
            return PACK_BAD_FILE;
        }
        had_old = true;
    }
    if (std::rename(temp, final_dir) != 0) {
        const int e = errno;
        pack_remove_folder(temp);
        if (had_old) std::rename(old, final_dir);
        std::printf("%s: not installed: %s cannot be made (%s)\n", cl.install_pack, final_dir, std::strerror(e));
        return PACK_BAD_FILE;
    }
    if (had_old) pack_remove_folder(old);
    std::printf("installed %s \"%s\" %s in %s\n", info.id, info.title, info.version, final_dir);
    return PACK_OK;
}

int LIST_PACKS_COMMAND(const CommandLine&) {
    char packs[PACK_PATH_CHARS];
    const bool have = pack_packs_dir(packs, sizeof packs, false);
    std::printf("%-20s %s\n", PACK_BUILT_IN, "\"Clovenfeld\" (built in)");
    if (!have) return PACK_OK;
    for (const PackInfo& p : pack_list_installed()) {
        int files = 0;
        for (int n = 1; n <= PACK_FILES; ++n) files += p.has_file[n] ? 1 : 0;
        std::printf("%-20s \"%s\" %s by %s, %d level file%s\n", p.id, p.title, p.version, p.author, files,
                    files == 1 ? "" : "s");
    }
    return PACK_OK;
}

bool USE_PACK(const char* given) {
    if (given == nullptr || std::strcmp(given, PACK_BUILT_IN) == 0) return pack_use(nullptr, nullptr);
    char dir[PACK_PATH_CHARS], installed[PACK_PATH_CHARS];
    // An installed pack's id, when no file or folder has that name.
    const int fd = file_open_read(given);
    if (fd >= 0) {
        std::FILE* f = fdopen(fd, "rb");
        if (f != nullptr) std::fclose(f);
    }
    if (fd < 0 && !file_is_real_dir(given) && pack_installed_dir(given, installed, sizeof installed)) given = installed;
    PackFiles files;
    std::string error;
    PackInfo info;
    char problem[PACK_PROBLEM_CHARS];
    if (!pack_read(given, &files, &error)) {
        notice("pack %s: %s", given, error.c_str());
        return false;
    }
    if (!pack_ini_parse(files.ini.data(), static_cast<int>(files.ini.size()), "pack.ini", &info, problem, sizeof problem)) {
        notice("pack %s: %s", given, problem);
        return false;
    }
    if (!folder_of(given, files, ".play-", dir, sizeof dir, &error)) {
        notice("pack %s: %s", given, error.c_str());
        return false;
    }
    if (!pack_use(dir, info.id)) return false;
    std::snprintf(given_id, sizeof given_id, "%s", info.id);
    std::snprintf(given_dir, sizeof given_dir, "%s", dir);
    return true;
}

bool USE_PACK_OF_RECORDING(const char* pack_id, char* why, int size) {
    // A recording that names no pack plays the one --pack gave, else the game's own.
    if (pack_id == nullptr || pack_id[0] == '\0')
        return given_id[0] != '\0' ? pack_use(given_dir, given_id) : pack_use(nullptr, nullptr);
    if (std::strcmp(pack_in_use(), pack_id) == 0) return true;
    if (std::strcmp(given_id, pack_id) == 0) return pack_use(given_dir, given_id);
    char dir[PACK_PATH_CHARS];
    if (pack_installed_dir(pack_id, dir, sizeof dir) && pack_use(dir, pack_id)) return true;
    std::snprintf(why, static_cast<size_t>(size), "needs pack %s, which is not installed (install it, or give --pack)",
                  pack_id);
    return false;
}

bool EDIT_FOLDER_OF(const char* named, std::string* folder, std::string* error) {
    *folder = named;
    std::error_code ec;
    const std::filesystem::path path(named);
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        if (file_is_real_dir(named) || !pack_is_zip_name(named)) return true;
        const std::filesystem::path beside = path.parent_path() / path.stem();
        if (std::filesystem::exists(std::filesystem::symlink_status(beside, ec))) {
            *error = beside.string() + " is there already: edit that folder, or move it away";
            return false;
        }
        PackFiles files;
        if (!pack_read(named, &files, error)) return false;
        if (!pack_write_folder(files, beside.string().c_str(), error)) return false;
        *folder = beside.string();
        return true;
    }
    char dir[PACK_PATH_CHARS];
    const int len = static_cast<int>(std::strlen(named));
    if (pack_id_valid(named, len) && path.extension() != ".bmp" && pack_installed_dir(named, dir, sizeof dir))
        *folder = dir;
    return true;
}
