// prove_command.h -- the program's --prove: a level file, or the shipped
// levels, proved completable by the prover with recordings that replay.
#pragma once

#include "main/options.h"

// Runs --prove as the command line asks (cl.prove_path or cl.prove_all) and
// returns the exit status: 0 proven, 20 not completable, 21 undecided, 2 for
// a file that is not a level or a recording that cannot be written.
int PROVE_COMMAND(const CommandLine& cl);
