// fatal.cpp -- the error texts, the per-thread procedure context and the two
// ways a run ends: the fatal error report (one report on standard error, exit
// status = the error number) and end_program (a quiet exit with a status).
// Both close the window first and leave with _exit, so no static destructor
// runs while the window thread may still be using the screen.
#include "services/fatal.h"

#include "port/platform.h"
#include "port/system.h"

#include <cstdio>
#include <unistd.h>

namespace {

const char* const kErrorTexts[18] = {
    "",
    "illegal function call",
    "file not found",
    "file I/O error",
    "out of memory",
    "illegal resume",
    "out of bounds array access",
    "null pointer access",
    "no privileges",
    "\"interrupted\" signal",
    "\"illegal instruction\" signal",
    "\"floating point error\" signal",
    "\"segmentation violation\" signal",
    "\"termination request\" signal",
    "\"abnormal termination\" signal",
    "\"quit request\" signal",
    "return without gosub",
    "end of file",
};

FatalHook g_fatal_hook = nullptr; // set only by the fuzz harnesses and tools


bool has_text(const char* s) { return s != nullptr && s[0] != '\0'; }

// Writes all of buf to fd, retrying short writes; used where stdio may be
// in any state.
void write_all(int fd, const char* buf, int len) {
    while (len > 0) {
        const ssize_t n = ::write(fd, buf, static_cast<size_t>(len));
        if (n <= 0) return;
        buf += n;
        len -= static_cast<int>(n);
    }
}

// Closes the window (and finishes a recording) and ends the process.
[[noreturn]] void leave(int status) {
    std::fflush(nullptr);
    if (const Platform* p = platform(); p != nullptr && p->close_window != nullptr) p->close_window();
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace

constinit thread_local ProcContext proc_context = {"main", "{MODLEVEL}"};

const char* error_text(int n) {
    if (n < 0 || n > 17) return "";
    return kErrorTexts[n];
}

int format_fatal_report(char* out, int size, int number, int line,
                        const char* module, const char* procedure) {
    if (out == nullptr || size <= 0) return 0;
    int len = 0;
    // Appends like snprintf but never past the buffer; the report is cut, not lost.
    auto append = [&](const char* fmt, auto... args) {
        if (len >= size - 1) return;
        const int n = std::snprintf(out + len, static_cast<size_t>(size - len), fmt, args...);
        if (n < 0) return;
        len = (n >= size - len) ? size - 1 : len + n;
    };
    out[0] = '\0';
    append("\nAborting due to runtime error %d", number);
    // Only numbers that have a text get one; a negative number has none.
    if (number >= 0 && number < 18) append(" (%s)", error_text(number));
    if (line > 0) append(" at line %d", line);
    const char* where = line > 0 ? "of" : "in";
    if (has_text(module)) {
        if (has_text(procedure)) append(" %s %s::%s()\n\n", where, module, procedure);
        else append(" %s %s()\n\n", where, module);
    } else {
        append("%s", "\n\n");
    }
    return len;
}

void fatal_error(int number, int line, const char* module, const char* procedure) {
    char report[1024];
    const int len = format_fatal_report(report, sizeof report, number, line, module, procedure);
    if (g_fatal_hook != nullptr) g_fatal_hook(number, report);
    std::fflush(nullptr);
    write_all(2, report, len);
    show_notices_without_console(report);
    leave(number);
}

void end_program(int status) {
    if (g_fatal_hook != nullptr) g_fatal_hook(status, "");
    leave(status);
}

bool program_can_end() { return !platform()->stays_open; }

void set_fatal_hook(FatalHook hook) { g_fatal_hook = hook; }

const char* current_module() { return proc_context.module; }
const char* current_procedure() { return proc_context.procedure; }

void reset_procedure_context() {
    proc_context = ProcContext{"main", "{MODLEVEL}"};
}

void check_service(int err, int line) {
    if (err != 0) fatal_error(err, line, proc_context.module, proc_context.procedure);
}

void table_index_error(int line) { fatal_error(ERR_BOUNDS, line, proc_context.module, proc_context.procedure); }
