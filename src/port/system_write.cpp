// system_write.cpp -- writing a file whole or not at all (system.h): the same
// on every system, on top of file_create_new, file_replace and file_move_new.
#include "port/system.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

int file_write_begin(FileWrite* w, const char* path, int mode) {
    w->temp[0] = '\0';
    const int n = std::snprintf(w->target, sizeof w->target, "%s", path != nullptr ? path : "");
    if (path == nullptr || n < 0 || n >= static_cast<int>(sizeof w->target)) {
        w->target[0] = '\0';
        errno = path == nullptr ? EINVAL : ENAMETOOLONG;
        return -1;
    }
    // The process id keeps two programs' temporaries apart; n, one writer's
    // from a name already taken.  temp has room for both after any target.
    const long process = static_cast<long>(::getpid());
    for (unsigned serial = 0; serial < 100; ++serial) {
        std::snprintf(w->temp, sizeof w->temp, "%s.%ld-%u.tmp", w->target, process, serial);
        const int fd = file_create_new(w->temp, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break; // anything there (a link included) is left alone
    }
    w->temp[0] = '\0';
    return -1;
}

bool file_write_commit(FileWrite* w, int how) {
    if (w->temp[0] == '\0') {
        errno = EINVAL;
        return false;
    }
    const bool moved = how == FILE_COMMIT_NEW ? file_move_new(w->temp, w->target) : file_replace(w->temp, w->target);
    if (!moved) {
        file_write_abort(w);
        return false;
    }
    w->temp[0] = '\0';
    return true;
}

void file_write_abort(FileWrite* w) {
    if (w->temp[0] == '\0') return;
    const int why = errno;
    std::remove(w->temp);
    errno = why;
    w->temp[0] = '\0';
}
