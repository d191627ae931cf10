// system.cpp -- system.h on POSIX systems.
#include "port/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int file_create_new(const char* path, int mode) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
}

int file_open_read(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK); }

bool file_replace(const char* from, const char* to) { return std::rename(from, to) == 0; }

void file_make_dir(const char* path) { ::mkdir(path, 0700); }

bool file_executable_path(char* out, int size) {
    if (out == nullptr || size <= 1) return false;
#if defined(__linux__)
    const ssize_t n = ::readlink("/proc/self/exe", out, static_cast<size_t>(size - 1));
    if (n <= 0 || n >= size - 1) return false; // a full buffer may be a cut-off path
    out[n] = '\0';
    return true;
#else
    return false;
#endif
}

void file_plain_std_streams() {}

bool file_unix_data_places() { return true; }

void show_notices_without_console(const char*) {}

bool file_move_new(const char* from, const char* to) {
    // A hard link is made only where nothing is; the temporary name goes after.
    if (::link(from, to) == 0) {
        ::unlink(from);
        return true;
    }
    if (errno == EEXIST) return false;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    // A file system without hard links: a rename that refuses a target.
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from, to) == 0;
}

namespace {

bool is_dir(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// out = a + b, false when it does not fit (out is then "").
bool join(char* out, int size, const char* a, const char* b) {
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s%s", a, b);
    if (n >= 0 && n < size) return true;
    if (size > 0) out[0] = '\0';
    return false;
}

} // namespace

bool file_pictures_dir(char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    const char* xdg = std::getenv("XDG_PICTURES_DIR");
    if (xdg != nullptr && xdg[0] == '/' && is_dir(xdg)) return join(out, size, xdg, "");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/' && join(out, size, home, "/Pictures") && is_dir(out)) return true;
    out[0] = '\0';
    return false;
}

bool file_game_config_dir(char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return join(out, size, xdg, "/clovenfeld");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return join(out, size, home, "/.config/clovenfeld");
    out[0] = '\0';
    return false;
}
