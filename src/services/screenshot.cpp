// screenshot.cpp -- the S key's picture (screenshot.h).
#include "services/screenshot.h"

#include "port/notice.h"
#include "port/platform.h"
#include "port/system.h"
#include "services/bmp.h"
#include "services/fatal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int kSerials = 50; // shots a second, at most, outside the working folder

// A new shot in folder dir; true with where set when one was written.
bool save_in(const char* dir, char* where) {
    std::time_t now = std::time(nullptr);
    std::tm t {};
#ifdef _WIN32
    localtime_s(&t, &now);
#else
    localtime_r(&now, &t);
#endif
    const size_t dir_len = std::strlen(dir);
    const char* sep = dir_len > 0 && (dir[dir_len - 1] == '/' || dir[dir_len - 1] == '\\') ? "" : "/";
    for (int n = 1; n <= kSerials; ++n) {
        char name[64];
        screenshot_name(name, sizeof name, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, n);
        const int len = std::snprintf(where, SHOT_PATH_CHARS, "%s%s%s", dir, sep, name);
        if (len < 0 || len >= SHOT_PATH_CHARS - 40) break; // save_bitmap's room for its temporary name
        errno = 0;
        if (save_bitmap_new(where) == ERR_NONE) return true;
        if (errno != EEXIST) break;
    }
    where[0] = '\0';
    return false;
}

// Says where the shot went: standard error, and the window's banner.
void tell(const char* line, const char* banner) {
    notice("%s", line);
    if (platform()->banner != nullptr) platform()->banner(banner);
}

} // namespace

void screenshot_name(char* out, int size, int year, int month, int day, int hour, int minute, int second, int n) {
    char serial[16] = "";
    if (n > 1) std::snprintf(serial, sizeof serial, "-%d", n);
    std::snprintf(out, static_cast<size_t>(size), "clovenfeld-%04d%02d%02d-%02d%02d%02d%s.bmp", year, month, day,
                  hour, minute, second, serial);
}

int save_screenshot(char* where) {
    where[0] = '\0';
    char line[SHOT_PATH_CHARS + 64], banner[SHOT_PATH_CHARS + 32];
    const int err = save_bitmap("screen.bmp");
    if (err == ERR_NONE) {
        std::snprintf(where, SHOT_PATH_CHARS, "screen.bmp");
    } else {
        char dir[SHOT_PATH_CHARS];
        bool saved = file_pictures_dir(dir, sizeof dir) && save_in(dir, where);
        if (!saved && file_game_config_dir(dir, sizeof dir)) {
            // The settings folder may not be there yet: make it (and its parent).
            char parent[SHOT_PATH_CHARS];
            std::snprintf(parent, sizeof parent, "%s", dir);
            if (char* cut = std::strrchr(parent, '/'); cut != nullptr && cut != parent) *cut = '\0';
            file_make_dir(parent);
            file_make_dir(dir);
            saved = save_in(dir, where);
        }
        if (!saved) {
            std::snprintf(line, sizeof line, "cannot save a screenshot: screen.bmp (error %d: %s) and no folder of "
                          "yours can be written", err, error_text(err));
            tell(line, "Screenshot not saved: no folder can be written");
            return err;
        }
    }
    std::snprintf(line, sizeof line, "screenshot saved to %s", where);
    std::snprintf(banner, sizeof banner, "Screenshot saved to %s", where);
    tell(line, banner);
    return ERR_NONE;
}
