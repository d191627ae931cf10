// win32_process.cpp -- process.h on Windows (CreateProcess).  Paths are the
// system's narrow strings, as in win32_system.cpp.
#include "port/process.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Appends one argument to the command line, quoted as the C runtime reads it
// back: backslashes doubled before a quote, quotes escaped.
bool quote(char* line, size_t* at, size_t cap, const char* arg) {
    auto put = [&](char c) {
        if (*at + 1 >= cap) return false;
        line[(*at)++] = c;
        return true;
    };
    if (*at > 0 && !put(' ')) return false;
    if (!put('"')) return false;
    for (const char* s = arg;; s++) {
        size_t slashes = 0;
        while (*s == '\\') {
            slashes++;
            s++;
        }
        if (*s == '\0') {
            for (size_t i = 0; i < 2 * slashes; i++)
                if (!put('\\')) return false;
            break;
        }
        const size_t times = *s == '"' ? 2 * slashes + 1 : slashes;
        for (size_t i = 0; i < times; i++)
            if (!put('\\')) return false;
        if (!put(*s)) return false;
    }
    if (!put('"')) return false;
    line[*at] = '\0';
    return true;
}

} // namespace

bool process_start(Process* p, const char* const* argv, char* why, int size) {
    const size_t n = static_cast<size_t>(size);
    *p = Process{};
    static char line[PROCESS_COMMAND_CHARS];
    size_t at = 0;
    line[0] = '\0';
    int count = 0;
    for (; argv[count] != nullptr; count++)
        if (count >= PROCESS_ARGS || !quote(line, &at, sizeof line, argv[count])) {
            std::snprintf(why, n, "the command line of a child process is too long");
            return false;
        }
    if (count == 0) {
        std::snprintf(why, n, "a child process needs its program");
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        std::snprintf(why, n, "cannot make a pipe (error %lu)", GetLastError());
        return false;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = write_end;
    si.hStdError = write_end;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    const BOOL made = CreateProcessA(argv[0], line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    const DWORD err = GetLastError();
    CloseHandle(write_end);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!made) {
        CloseHandle(read_end);
        std::snprintf(why, n, "cannot start %s (error %lu)", argv[0], err);
        return false;
    }
    CloseHandle(pi.hThread);
    p->pid = pi.dwProcessId;
    p->handle = reinterpret_cast<long long>(pi.hProcess);
    p->out = reinterpret_cast<long long>(read_end);
    p->state = PROCESS_RUNNING;
    return true;
}

int process_read(Process* p, char* buf, int cap) {
    if (p->out < 0 || cap <= 0) return -1;
    HANDLE h = reinterpret_cast<HANDLE>(p->out);
    DWORD waiting = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &waiting, nullptr)) return -1; // the child's end is closed
    if (waiting == 0) return 0;
    DWORD got = 0;
    const DWORD want = waiting < static_cast<DWORD>(cap) ? waiting : static_cast<DWORD>(cap);
    if (!ReadFile(h, buf, want, &got, nullptr)) return -1;
    return static_cast<int>(got);
}

int process_poll(Process* p) {
    if (p->state != PROCESS_RUNNING) return p->state;
    HANDLE h = reinterpret_cast<HANDLE>(p->handle);
    if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return PROCESS_RUNNING;
    DWORD code = 0;
    p->status = GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
    p->state = PROCESS_EXITED;
    return p->state;
}

void process_end(Process* p) {
    if (p->handle != 0) {
        HANDLE h = reinterpret_cast<HANDLE>(p->handle);
        if (process_poll(p) == PROCESS_RUNNING) {
            TerminateProcess(h, 1);
            WaitForSingleObject(h, INFINITE);
        }
        CloseHandle(h);
    }
    if (p->out >= 0) CloseHandle(reinterpret_cast<HANDLE>(p->out));
    *p = Process{};
}

bool process_temp_dir(char* out, int size) {
    char path[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n > MAX_PATH || static_cast<int>(n) >= size) return false;
    std::memcpy(out, path, n + 1);
    for (DWORD i = 0; i < n; i++)
        if (out[i] == '\\') out[i] = '/';
    for (int i = static_cast<int>(n) - 1; i > 0 && out[i] == '/'; i--) out[i] = '\0';
    return true;
}

long long process_self_id() { return static_cast<long long>(GetCurrentProcessId()); }
