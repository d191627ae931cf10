// random.h -- the game's random numbers (a 32-bit Mersenne Twister).
#pragma once

#include <cstdint>

// Reseeds: the seed's integer part (toward zero), low 32 bits, fills the
// state by word[i] = word[i-1] * 1664525 + 1013904223; -1 seeds from the clock.
void seed_random(double seed);

// The next number in [0, 1): a tempered word / 2^32.  Seeds with 0x50000 if
// nothing has seeded the generator yet.
double random_unit();

// The whole generator state, for snapshots.
struct RandomState {
    uint32_t word[624];
    int index;
    bool seeded;
};
void random_get_state(RandomState* out);
void random_set_state(const RandomState& in);

// The effective 32-bit seed of the last seeding (0x50000 before any); the
// recorder writes it into a recording's header.
uint32_t random_seed_used();

// The 32-bit seed that seed_random(seed) uses (the clock's bits for -1).
uint32_t random_seed_from_double(double seed);

// The seed a run fixes (--seed, or the recording replayed), if any: the
// shell's start-up seeds from it, and from the clock when none is fixed.  Set
// by run control when the back-end is chosen (select_platform).
void fix_run_seed(bool fixed, uint32_t seed);
bool run_seed(uint32_t* seed);
