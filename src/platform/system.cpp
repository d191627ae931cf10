// system.cpp -- system.h on POSIX systems.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int file_create_new(const char* path, int mode) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
}

int file_open_read(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK); }

bool file_replace(const char* from, const char* to) { return std::rename(from, to) == 0; }

void file_make_dir(const char* path) { ::mkdir(path, 0700); }

long file_process_id() { return static_cast<long>(::getpid()); }

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
