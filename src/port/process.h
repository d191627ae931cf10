// process.h -- a child process of our own program, for work the game's
// modules cannot do beside the game in one process (they are one set of
// state a process): started, its output read without waiting, and ended.
// process.cpp on POSIX systems (posix_spawn; none in the browser, which
// will use a worker), win32_process.cpp on Windows (CreateProcess).
//
// The child's standard output and standard error come through one pipe,
// read as bytes; its standard input is empty.  Nothing is allocated after
// the start.
#pragma once

enum {
    PROCESS_ARGS = 24,        // arguments at most, the program's path first
    PROCESS_COMMAND_CHARS = 8192,
};

enum ProcessState { PROCESS_NONE, PROCESS_RUNNING, PROCESS_EXITED };

struct Process {
    int state = PROCESS_NONE;
    int status = 0;           // the exit status once PROCESS_EXITED (-1: killed, or ended by a signal)
    long long pid = 0;        // the process id
    long long handle = 0;     // Windows: the process handle
    long long out = -1;       // the read end of its output pipe (a descriptor, or a Windows handle)
};

// Starts argv[0] (a path, not searched for) with argv[1..] (null-ended, at
// most PROCESS_ARGS); false with the reason in why (size chars).
bool process_start(Process* p, const char* const* argv, char* why, int size);

// Reads what the child has written since, up to cap bytes, without waiting:
// the bytes read, 0 when there is nothing now, -1 once the output has ended.
int process_read(Process* p, char* buf, int cap);

// Sees whether the child has ended, without waiting: PROCESS_RUNNING, or
// PROCESS_EXITED with p->status.  Its output may still hold bytes to read.
int process_poll(Process* p);

// Ends the child at once if it runs, waits for it, and closes the pipe.
// Also what a finished child is closed with.  p is then PROCESS_NONE.
void process_end(Process* p);

// The system's folder for temporary files ($TMPDIR, else /tmp; the user's
// temporary folder on Windows), with "/" between names.  False when it does
// not fit.
bool process_temp_dir(char* out, int size);

// This process's id.
long long process_self_id();
