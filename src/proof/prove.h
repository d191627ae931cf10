// prove.h -- finds key input that completes a level with the game's own code
// (module "prove").
//
// The prover plays the level's real frames (PLAY_FRAME, drawing off), so what
// it finds plays alike in the game: a search over the keys held, branching a
// state eight frames at a time with each of nine key sets (and two frames of
// Left or Right alone, to line up with narrow openings), dropping every
// branch that loses a life, keeping the best states of each step by the eggs
// taken and the distance to the nearest egg left over the level's cells
// (reach.h), with repeated states merged.  When every branch is lost it
// starts again, counting the places where it was cornered against states
// there; later attempts widen the search.  Its answer within a budget of
// seconds is honest: "proven" only with a plan that it has played from the
// level's start to the level's end, "not completable" only when reachability
// shows an egg out of reach, and "undecided" otherwise.
//
// Everything lives in fixed tables made once; states are play states
// (snapshot.h), a few kilobytes each.
#pragma once

#include "services/fatal.h"

#include <cstdint>

// The answers, which are also the exit statuses of --prove.
enum ProofAnswer { PROOF_PROVEN = 0, PROOF_NOT_COMPLETABLE = 20, PROOF_UNDECIDED = 21 };

// The keys of a frame of a plan, as bits.
enum { PROOF_LEFT = 1, PROOF_RIGHT = 2, PROOF_UP = 4, PROOF_DOWN = 8 };

// The longest plan: a level's whole time, 500 units of 50 frames.
enum { PROOF_FRAMES_MAX = 25000 };

// Shared state owned by the prover, filled by PROVE_HERE and PROVE_LEVEL.
extern int proof_answer;                          // a ProofAnswer
extern int proof_frame_count;                     // frames of the plan (proven)
extern Table<unsigned char, PROOF_FRAMES_MAX> proof_keys; // the keys of each frame of the plan
extern int proof_score;                           // the score when the plan ends (proven)
extern long long proof_frames_searched;           // frames the search played
extern double proof_seconds;                      // seconds it took
extern int proof_lost_col, proof_lost_row;        // the egg out of reach (not completable)
// Called by the search at every step with the seconds since PROVE_HERE began
// and the frames searched so far; null for none.  It must not touch the game.
// --prove --progress prints from it.
extern void (*proof_progress)(double seconds, long long frames_searched);

// Proves the level that LEVEL_START has just begun, from the game as it
// stands (box answered, no frame played yet), within budget seconds (at
// least one step of the search runs).  Leaves the game as it found it.
// Returns proof_answer.
int PROVE_HERE(double budget_seconds);

// A new game put at level (1 to 27: its file, swans and duck) with seed
// (LEVEL_SETUP), the level started with its box answered, then PROVE_HERE.
// The shell must have started (SHELL_STARTUP).  Leaves the game at the
// level's start.  Returns proof_answer.
int PROVE_LEVEL(int level, uint32_t seed, double budget_seconds);

// Checks a level file before it is played: a readable 8-bit BMP of 1 to 1000
// cells whose cells all hold codes the game knows (0 to 10) and one of them
// the player's start.  1 when it is, else 0 with the reason in why (size
// chars).  The game itself loads any file; this keeps the prover to levels a
// player can play.  Called by --prove.
int LEVEL_FILE_CHECK(const char* path, char* why, int size);

// Plays the plan from the level's start as PROVE_LEVEL leaves it (drawing
// off, boxes answered); 1 when the level is completed without a life lost,
// else 0.  Leaves the game where the plan ended.  Called by PROVE_HERE and
// by tests.
int PROOF_PLAYS_THROUGH();

// Makes a proven plan simpler to store: each run of up to 32 frames
// between two others takes the keys of the run before it, or of the one
// after it, where the plan then still completes the level (played to be
// sure); the plan then ends where the level does.  Stops trying after
// budget seconds.  Leaves the game at the level's start, as PROVE_HERE
// does.  Returns the runs merged.  Called by tools that ship proofs.
int PROOF_TIDY(double budget_seconds);
