// system.cpp -- system.h on POSIX systems.
#include "port/system.h"

#include <dirent.h>
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

bool file_game_data_dir(char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return join(out, size, xdg, "/clovenfeld");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return join(out, size, home, "/.local/share/clovenfeld");
    out[0] = '\0';
    return false;
}

bool file_is_real_dir(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_new_dir(const char* path) { return ::mkdir(path, 0700) == 0; }

bool file_remove_dir(const char* path) { return ::rmdir(path) == 0; }

bool file_list_dir(const char* path, void (*each)(const char* name, void* ctx), void* ctx) {
    DIR* d = ::opendir(path);
    if (d == nullptr) return false;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        each(e->d_name, ctx);
    }
    ::closedir(d);
    return true;
}

int file_open_regular(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}
