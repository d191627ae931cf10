// fuzz_seam.h -- how a harness survives a fatal report: the fatal hook
// throws FatalExit back to the harness, which checks the status and the
// report text instead of losing the process.
#pragma once

#include "services/fatal.h"

#include <string>

struct FatalExit {
    int status;
    std::string report; // "" for a quiet end_program
};

inline void throw_fatal_exit(int status, const char* report) { throw FatalExit{status, report ? report : ""}; }

// Installs the hook; call at the start of every input (cheap).
inline void catch_fatal_reports() { set_fatal_hook(throw_fatal_exit); }
