// datadir.cpp -- finds the folder that holds gfx/ and levels/ (see datadir.h).
// The search runs once at start-up over fixed buffers; the chosen folder is
// kept in one module-wide buffer that load_bitmap reads.
#include "port/datadir.h"

#include "port/notice.h"
#include "port/system.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#ifndef CLOVENFELD_INSTALLED_DATA
#define CLOVENFELD_INSTALLED_DATA "/usr/local/share/clovenfeld"
#endif

namespace {

char chosen_dir[DATA_DIR_CHARS] = "";
bool data_missing = false; // no folder holds the data: every game file is missing

bool is_dir(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// dir + "/" + name into out; false when it does not fit.
bool join(const char* dir, size_t dir_len, const char* name, char* out, size_t size) {
    const size_t name_len = std::strlen(name);
    if (dir_len + 1 + name_len >= size) return false;
    std::memcpy(out, dir, dir_len);
    out[dir_len] = '/';
    std::memcpy(out + dir_len + 1, name, name_len + 1);
    return true;
}

// True when the folder (its first len characters) holds both gfx/ and levels/.
bool holds_data(const char* dir, size_t len) {
    char path[DATA_DIR_CHARS + 16];
    if (len == 0 || len >= DATA_DIR_CHARS) return false;
    return join(dir, len, "gfx", path, sizeof path) && is_dir(path) &&
           join(dir, len, "levels", path, sizeof path) && is_dir(path);
}

// Takes dir + "/" + sub (sub may be "") as the answer when it holds the data.
bool try_dir(const char* dir, size_t len, const char* sub, char* out, int size) {
    char path[DATA_DIR_CHARS];
    size_t n = len;
    if (*sub != '\0') {
        if (!join(dir, len, sub, path, sizeof path)) return false;
        n = std::strlen(path);
    } else {
        if (len >= sizeof path) return false;
        std::memcpy(path, dir, len);
        path[len] = '\0';
    }
    if (n >= static_cast<size_t>(size) || !holds_data(path, n)) return false;
    std::memcpy(out, path, n + 1);
    return true;
}

// An XDG data folder holds the data in clovenfeld/, or in games/clovenfeld/
// as Debian lays out games (/usr/share/games/clovenfeld).
bool try_xdg_dir(const char* dir, size_t len, char* out, int size) {
    return try_dir(dir, len, "clovenfeld", out, size) || try_dir(dir, len, "games/clovenfeld", out, size);
}

// Only absolute folders count in the XDG variables (relative ones are ignored).
bool absolute(const char* p) { return p != nullptr && p[0] == '/'; }

} // namespace

bool find_data_dir(const DataDirPlaces& places, char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    out[0] = '\0';
    if (places.given != nullptr) {
        const size_t len = std::strlen(places.given);
        if (len >= static_cast<size_t>(size)) return false;
        std::memcpy(out, places.given, len + 1);
        return holds_data(out, len);
    }
    if (is_dir("gfx") && is_dir("levels")) return true; // the working directory
    if (places.executable != nullptr) {
        const char* slash = std::strrchr(places.executable, '/');
        if (slash != nullptr) {
            const size_t len = slash == places.executable ? 1 : static_cast<size_t>(slash - places.executable);
            if (try_dir(places.executable, len, "", out, size) ||
                (places.unix_places && (try_dir(places.executable, len, "../share/clovenfeld", out, size) ||
                                        try_dir(places.executable, len, "../share/games/clovenfeld", out, size))))
                return true;
        }
    }
    if (!places.unix_places) {
        out[0] = '\0';
        return false;
    }
    if (places.installed != nullptr && try_dir(places.installed, std::strlen(places.installed), "", out, size))
        return true;
    if (absolute(places.xdg_data_home)) {
        if (try_xdg_dir(places.xdg_data_home, std::strlen(places.xdg_data_home), out, size)) return true;
    } else if (absolute(places.home)) {
        if (try_dir(places.home, std::strlen(places.home), ".local/share/clovenfeld", out, size) ||
            try_dir(places.home, std::strlen(places.home), ".local/share/games/clovenfeld", out, size))
            return true;
    }
    const char* dirs = places.xdg_data_dirs != nullptr && places.xdg_data_dirs[0] != '\0'
                           ? places.xdg_data_dirs
                           : "/usr/local/share:/usr/share";
    for (const char* p = dirs; *p != '\0';) {
        const char* end = std::strchr(p, ':');
        const size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (len > 0 && p[0] == '/' && try_xdg_dir(p, len, out, size)) return true;
        p += len;
        if (*p == ':') p++;
    }
    out[0] = '\0';
    return false;
}

void choose_data_dir(const char* given) {
    char exe[DATA_DIR_CHARS];
    DataDirPlaces places;
    if (file_executable_path(exe, sizeof exe)) places.executable = exe;
    places.given = given;
    places.unix_places = file_unix_data_places();
    if (places.unix_places) {
        places.installed = CLOVENFELD_INSTALLED_DATA;
        places.xdg_data_home = std::getenv("XDG_DATA_HOME");
        places.home = std::getenv("HOME");
        places.xdg_data_dirs = std::getenv("XDG_DATA_DIRS");
    }
    data_missing = !find_data_dir(places, chosen_dir, sizeof chosen_dir);
    if (data_missing)
        notice("no folder holds the game's data (gfx/ and levels/)%s%s", given ? ": " : "; try --data DIR",
               given ? given : "");
}

const char* data_dir() { return chosen_dir; }

namespace {

// The level files set by set_level_path ("" where the data folder's is used).
char level_paths[LEVEL_PATH_FILES + 1][DATA_DIR_CHARS] = {};

// n when game_path is exactly "levels\\<n>.bmp" with n from 1 to 9, else 0.
int level_file_number(const char* game_path) {
    static const char prefix[] = "levels\\";
    if (std::strncmp(game_path, prefix, sizeof prefix - 1) != 0) return 0;
    const char* p = game_path + sizeof prefix - 1;
    if (p[0] < '1' || p[0] > '0' + LEVEL_PATH_FILES || std::strcmp(p + 1, ".bmp") != 0) return 0;
    return p[0] - '0';
}

} // namespace

bool set_level_path(int n, const char* path) {
    if (n < 1 || n > LEVEL_PATH_FILES) return false;
    if (path == nullptr) {
        level_paths[n][0] = '\0';
        return true;
    }
    if (path[0] == '\0' || std::strlen(path) >= sizeof level_paths[n]) return false;
    std::strcpy(level_paths[n], path);
    return true;
}

int data_file_path(const char* game_path, char* out, int size) {
    if (out == nullptr || size <= 0 || game_path == nullptr) return 1;
    out[0] = '\0';
    if (const int n = level_file_number(game_path); n > 0 && level_paths[n][0] != '\0') {
        if (std::strlen(level_paths[n]) >= static_cast<size_t>(size)) return 1;
        std::strcpy(out, level_paths[n]);
        return 0;
    }
    const size_t name_len = std::strlen(game_path);
    const bool absolute_name = game_path[0] == '/' || game_path[0] == '\\';
    if (data_missing && !absolute_name) return 2;
    const size_t dir_len = absolute_name ? 0 : std::strlen(chosen_dir);
    const size_t total = dir_len + (dir_len > 0 ? 1 : 0) + name_len;
    if (total >= static_cast<size_t>(size)) return 1;
    char* p = out;
    if (dir_len > 0) {
        std::memcpy(p, chosen_dir, dir_len);
        p += dir_len;
        *p++ = '/';
    }
    for (size_t i = 0; i < name_len; ++i) p[i] = game_path[i] == '\\' ? '/' : game_path[i];
    p[name_len] = '\0';
    return 0;
}

void set_data_dir(const char* dir) {
    chosen_dir[0] = '\0';
    data_missing = false;
    if (dir != nullptr && std::strlen(dir) < sizeof chosen_dir) std::strcpy(chosen_dir, dir);
}
