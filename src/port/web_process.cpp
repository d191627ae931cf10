// web_process.cpp -- process.h in the browser, where a page cannot start a
// process: the "child" is a worker running a second copy of the game's
// module (web/prove_worker.js, through the page's Module.prover).  The
// files the child reads (the level after --prove) go to it with the
// arguments; its output comes back line by line, and the file it writes
// (after --out) comes back when it ends, written where it was asked for.
#include "port/process.h"

#include <emscripten.h>

#include <cstdio>
#include <cstring>

// The page's side (web/page.js): 0 when no worker can start, else its number.
EM_JS(int, web_prover_start, (const char* args), {
    return Module.prover ? Module.prover.start(UTF8ToString(args)) : 0;
});
// Up to cap bytes of what it said since: the bytes, 0 for nothing now, -1 once it has ended and all was read.
EM_JS(int, web_prover_read, (int id, char* buf, int cap), {
    return Module.prover ? Module.prover.read(id, buf, cap) : -1;
});
// Its exit status once it has ended, else -1000.
EM_JS(int, web_prover_poll, (int id), {
    return Module.prover ? Module.prover.poll(id) : 2;
});
EM_JS(void, web_prover_end, (int id), {
    if (Module.prover) Module.prover.end(id);
});

bool process_start(Process* p, const char* const* argv, char* why, int size) {
    static char joined[PROCESS_COMMAND_CHARS];
    int n = 0;
    // The arguments after the program's name, one a line (none holds a line break).
    for (int i = 1; argv[i] != nullptr && i <= PROCESS_ARGS; i++) {
        const int len = static_cast<int>(std::strlen(argv[i]));
        if (std::strchr(argv[i], '\n') != nullptr || n + len + 2 > PROCESS_COMMAND_CHARS) {
            std::snprintf(why, static_cast<size_t>(size), "the prover's arguments do not fit");
            return false;
        }
        std::memcpy(joined + n, argv[i], static_cast<size_t>(len));
        n += len;
        joined[n++] = '\n';
    }
    joined[n > 0 ? n - 1 : 0] = '\0';
    const int id = web_prover_start(joined);
    if (id <= 0) {
        std::snprintf(why, static_cast<size_t>(size), "this browser cannot start the prover's worker");
        return false;
    }
    *p = Process{};
    p->state = PROCESS_RUNNING;
    p->pid = id;
    return true;
}

int process_read(Process* p, char* buf, int cap) {
    if (p->state == PROCESS_NONE) return -1;
    return web_prover_read(static_cast<int>(p->pid), buf, cap);
}

int process_poll(Process* p) {
    if (p->state != PROCESS_RUNNING) return p->state;
    const int status = web_prover_poll(static_cast<int>(p->pid));
    if (status == -1000) return PROCESS_RUNNING;
    p->state = PROCESS_EXITED;
    p->status = status;
    return PROCESS_EXITED;
}

void process_end(Process* p) {
    if (p->state != PROCESS_NONE) web_prover_end(static_cast<int>(p->pid));
    *p = Process{};
}

bool process_temp_dir(char* out, int size) {
    return std::snprintf(out, static_cast<size_t>(size), "/tmp") < size;
}

long long process_self_id() { return 1; }
