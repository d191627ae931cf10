// proof_file.h -- a level's proof as a recording: the prover's plan written as
// the level recording players and tests replay, and a level recording played
// back to see where it ends.
//
// A level recording plays one level on its own: a new game put at the level
// with the recording's seed (LEVEL_SETUP), the level started, its "Level"
// box answered with Space, then one line of keys a tick.  Its comment lines
// name the level, and the frames and score of its play.
#pragma once

#include <cstdint>

// Writes the prover's plan (proof_keys, proof_frame_count) as the recording
// of level with seed at path, by playing it once more in the game: every
// tick's input is a line.  Written whole or not at all (never through a
// link).  False with a reason in why (size chars) when the file cannot be
// written, or when the play does not complete the level.
bool write_level_proof(const char* path, int level, uint32_t seed, char* why, int size);

// Where a level recording's play ended.
struct LevelReplay {
    bool completed = false; // the level's last egg taken, no life lost
    long frames = 0;        // frames played
    int score = 0;          // the score then
    int lives_lost = 0;
};

// Plays the level recording at path as level (with the recording's seed)
// headless, until the level ends, a life is lost or the recording runs out.
// False with a reason in why when the file cannot be read as a recording.
bool replay_level_recording(const char* path, int level, LevelReplay* out, char* why, int size);
