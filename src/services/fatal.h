// fatal.h -- error numbers, the procedure context and the fatal error report.
//
// The game handles no failure of its own: every service that returns a nonzero
// error number and every table index outside its bounds ends the program with
// one report on standard error that names the error, the source line, the
// module and the innermost running procedure, and exits with the error number.
//
// Every game procedure opens with PROC("NAME") so the report can name it; each
// source file of the game defines MODULE_NAME first.  Code that runs outside
// any procedure runs as "{MODLEVEL}" of module "main".
#pragma once

#include <cstdint>

// Error numbers returned by the services.
enum {
    ERR_NONE = 0,
    ERR_ILLEGAL_CALL = 1,   // "illegal function call"
    ERR_FILE_NOT_FOUND = 2, // "file not found"
    ERR_FILE_IO = 3,        // "file I/O error"
    ERR_OUT_OF_MEMORY = 4,  // "out of memory"
    ERR_BOUNDS = 6,         // "out of bounds array access"
};

// The text of error number n (0 to 17), "" for any other number.
// Called by fatal_error and by tests.
const char* error_text(int n);

// Builds the report text into out (at most size - 1 characters, always
// terminated) and returns its length.  Split from fatal_error so tests can
// check the exact text without ending the process.
int format_fatal_report(char* out, int size, int number, int line,
                        const char* module, const char* procedure);

// Writes the report to standard error (where there is no console, a box
// shows it after the notice lines, system.h), closes the window and ends the
// process with the error number as its status.  Never returns.
// Called by CHECK, by Table on a bad index, and by the services' users.
[[noreturn]] void fatal_error(int number, int line, const char* module, const char* procedure);

// Closes the window and ends the process with the given status, writing
// nothing.  Called by TITLE on Escape and by tools that stop a run.
[[noreturn]] void end_program(int status);

// False where the program cannot end (in the browser a page cannot close
// itself): a quit then returns to the title screen as a new start.  Called by
// the title screen's wait.
bool program_can_end();

// The fuzz harnesses' seam.  When a hook is set, fatal_error and end_program
// call it first with the exit status and the report text ("" for
// end_program); a hook that does not return (it throws back to its harness)
// keeps the process alive, one that returns lets the run end as always.  The
// game never sets one.  Called by the fuzz harnesses and the soak tool.
using FatalHook = void (*)(int status, const char* report);
void set_fatal_hook(FatalHook hook);

// --- procedure context (one per thread) -------------------------------------

// The current module and procedure names of this thread.
const char* current_module();
const char* current_procedure();

// This thread's pair, shared variable of this module; read it through the
// procedures above.  Every game procedure sets it, so ProcScope is inline.
struct ProcContext {
    const char* module;
    const char* procedure;
};
extern constinit thread_local ProcContext proc_context;

// Makes (module, procedure) current for its lifetime and restores the
// previous pair when it goes out of scope, on every exit path.
class ProcScope {
public:
    ProcScope(const char* module, const char* procedure) : saved_(proc_context) {
        proc_context = ProcContext{module, procedure};
    }
    ~ProcScope() { proc_context = saved_; }
    ProcScope(const ProcScope&) = delete;
    ProcScope& operator=(const ProcScope&) = delete;

private:
    ProcContext saved_;
};

// Resets this thread's context to module "main", procedure "{MODLEVEL}".
// Called once at the top of the game thread.
void reset_procedure_context();

// PROC("MAP_LOAD") at the top of a procedure of a file that defines
// `static constexpr const char MODULE_NAME[] = "map";`.
#define PROC(name) const ProcScope proc_scope_guard_(MODULE_NAME, name)

// CHECK(load_bitmap(...)): a nonzero result ends the program, naming the line
// of the call and the current module and procedure.
void check_service(int err, int line);
#define CHECK(call) check_service((call), __LINE__)

// --- bounds-checked fixed tables ---------------------------------------------

// An index that remembers where it was written, so a bad index can be
// reported with the line of the access.  Converts implicitly from int.
struct TableIndex {
    int value;
    int line;
    // __builtin_LINE() in a default argument gives the line of the caller's
    // expression, where the int is converted: the line of the table access.
    TableIndex(int v, int at_line = __builtin_LINE()) : value(v), line(at_line) {}
};

[[noreturn]] void table_index_error(int line);

// A fixed table of N entries, indices 0 to N - 1, every access checked before
// memory is touched (error 6 on a bad index).
template <typename T, int N>
struct Table {
    T entry[N];

    static constexpr int size() { return N; }
    T& operator[](TableIndex i) {
        if (i.value < 0 || i.value >= N) table_index_error(i.line);
        return entry[i.value];
    }
    const T& operator[](TableIndex i) const {
        if (i.value < 0 || i.value >= N) table_index_error(i.line);
        return entry[i.value];
    }
};
