// process.cpp -- process.h on POSIX systems (posix_spawn).  The browser has
// no child processes: there process_start says so.
#include "port/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#if !defined(__EMSCRIPTEN__)
#include <spawn.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

bool process_start(Process* p, const char* const* argv, char* why, int size) {
    const size_t n = static_cast<size_t>(size);
    *p = Process{};
#if defined(__EMSCRIPTEN__)
    (void)argv;
    std::snprintf(why, n, "no child processes in the browser");
    return false;
#else
    int count = 0;
    while (argv[count] != nullptr) count++;
    if (count == 0 || count > PROCESS_ARGS) {
        std::snprintf(why, n, "a child process takes 1 to %d arguments", PROCESS_ARGS);
        return false;
    }
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        std::snprintf(why, n, "cannot make a pipe: %s", std::strerror(errno));
        return false;
    }
    // Our end is never inherited and never waits; the child's end is its
    // standard output and error.
    ::fcntl(pipe_fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(pipe_fds[0], F_SETFL, ::fcntl(pipe_fds[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(pipe_fds[1], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    pid_t pid = 0;
    const int err = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (err != 0) {
        ::close(pipe_fds[0]);
        std::snprintf(why, n, "cannot start %s: %s", argv[0], std::strerror(err));
        return false;
    }
    p->pid = pid;
    p->out = pipe_fds[0];
    p->state = PROCESS_RUNNING;
    return true;
#endif
}

int process_read(Process* p, char* buf, int cap) {
    if (p->out < 0 || cap <= 0) return -1;
    for (;;) {
        const ssize_t r = ::read(static_cast<int>(p->out), buf, static_cast<size_t>(cap));
        if (r > 0) return static_cast<int>(r);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return -1;
    }
}

int process_poll(Process* p) {
    if (p->state != PROCESS_RUNNING) return p->state;
    int st = 0;
    const pid_t r = ::waitpid(static_cast<pid_t>(p->pid), &st, WNOHANG);
    if (r == 0) return PROCESS_RUNNING;
    p->state = PROCESS_EXITED;
    p->status = r > 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return p->state;
}

void process_end(Process* p) {
    if (p->state == PROCESS_RUNNING && process_poll(p) == PROCESS_RUNNING) {
        ::kill(static_cast<pid_t>(p->pid), SIGKILL);
        int st = 0;
        while (::waitpid(static_cast<pid_t>(p->pid), &st, 0) < 0 && errno == EINTR) {
        }
    }
    if (p->out >= 0) ::close(static_cast<int>(p->out));
    *p = Process{};
}

bool process_temp_dir(char* out, int size) {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] != '/') dir = "/tmp";
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s", dir);
    if (n <= 0 || n >= size) return false;
    for (int i = n - 1; i > 0 && out[i] == '/'; i--) out[i] = '\0';
    return true;
}

long long process_self_id() { return static_cast<long long>(::getpid()); }
