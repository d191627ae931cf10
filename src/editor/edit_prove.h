// edit_prove.h -- proving the level being edited in the background (module
// "edit").
//
// The game's modules are one set of state a process, and the editor uses
// them (its checks load the map, Play runs the game), so the prover runs in
// a child process of our own program (process.h): the level as it stands is
// written to a new folder of the system's temporary folder, and the child
// runs `--prove LEVEL.bmp --level N --seed S --budget B --out REC --progress`
// there.  EDIT_PROVE_TICK, called every tick, reads the child's lines
// without waiting and keeps edit_proof up to date; nothing is allocated
// after the start.
//
// A level file of a pack plays three rounds: file N (1 to 9) is level N
// with the swans, N + 9 with the duck free and N + 18 with both (pack.h).
#pragma once

#include "port/system.h"

#include <cstdint>

enum EditProofState {
    EDIT_PROOF_IDLE,            // none started
    EDIT_PROOF_RUNNING,
    EDIT_PROOF_PROVEN,          // ticks, score and the recording
    EDIT_PROOF_NOT_COMPLETABLE, // the reason names the egg out of reach
    EDIT_PROOF_UNDECIDED,       // the budget ran out
    EDIT_PROOF_FAILED,          // the child could not start or stopped short: the reason says why
    EDIT_PROOF_CANCELLED,
};

enum { EDIT_PROOF_TEXT_CHARS = 256 };

struct EditProof {
    int state;
    int file, round, level;      // the level file's number (1-9), the round (1-3), the level they play
    uint32_t seed;
    double budget;               // seconds
    unsigned changes;            // edit_changes at the start: the answer is stale once it differs
    char sha256[65];             // of the level file proved (what a pack's proof names)
    double seconds;              // of the search so far, or in all at the end
    long long frames_searched;
    long ticks;                  // proven: the ticks of the proof, and its score
    int score;
    int lost_col, lost_row;      // not completable: the egg out of reach; else -1
    char progress[EDIT_PROOF_TEXT_CHARS]; // the progress line to show
    char reason[EDIT_PROOF_TEXT_CHARS];   // the answer in words (one line)
    char recording[FILE_PATH_CHARS];      // proven: the proof recording
};

// Shared state owned by the module.
extern EditProof edit_proof;                         // the proof running, or the last one
extern char edit_prove_program[FILE_PATH_CHARS];     // the program run as the prover; "" for this one

// Starts proving the level being edited as round (1 to 3) of level file
// file (1 to 9), within budget seconds, with seed.  A proof still running
// is cancelled first.  With keep_as (or null), a proof found is copied there
// (written whole, never through a link) and edit_proof.recording names it;
// else the recording stays in the temporary folder until the next start or
// EDIT_PROVE_END.  False, with edit_proof FAILED and the reason, when it
// cannot start.
bool EDIT_PROVE_START(int file, int round, double budget, uint32_t seed, const char* keep_as);

// Reads what the child said since the last call and, once it has ended,
// the answer.  Never waits.  Called every tick while edit_proof is RUNNING.
void EDIT_PROVE_TICK();

// Ends the proof running at once, and removes its temporary folder (nothing
// when none runs).
void EDIT_PROVE_CANCEL();

// True when the level has changed since the proof began.
bool EDIT_PROVE_STALE();

// Cancels any proof and removes the temporary folder (the editor is closing).
void EDIT_PROVE_END();
