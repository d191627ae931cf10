// random.cpp -- the game's random numbers: a 32-bit Mersenne Twister whose 624
// words are filled from the seed by the linear step
// word[i] = word[i-1] * 1664525 + 1013904223 (not the usual MT seeding), then
// regenerated and tempered as MT19937.  The effective 32-bit seed is kept so a
// recording can carry it.
#include "services/random.h"

#include "services/clock.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kWords = 624;
constexpr uint32_t kUnseededSeed = 0x50000;

uint32_t g_word[kWords];
int g_index = kWords;
bool g_seeded = false;
uint32_t g_seed_used = kUnseededSeed;

void fill_from(uint32_t s) {
    g_word[0] = s;
    for (int i = 1; i < kWords; ++i) g_word[i] = g_word[i - 1] * 1664525u + 1013904223u;
    g_index = kWords;
    g_seeded = true;
    g_seed_used = s;
}

void regenerate() {
    for (int i = 0; i < kWords; ++i) {
        const uint32_t y = (g_word[i] & 0x80000000u) | (g_word[(i + 1) % kWords] & 0x7FFFFFFFu);
        g_word[i] = g_word[(i + 397) % kWords] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    g_index = 0;
}

} // namespace

uint32_t random_seed_from_double(double seed) {
    if (seed == -1.0) {
        const double now = clock_seconds();
        uint64_t bits;
        std::memcpy(&bits, &now, sizeof bits);
        seed = static_cast<double>(static_cast<uint32_t>(bits) ^ static_cast<uint32_t>(bits >> 32));
    }
    // Drop the fraction and keep the low 32 bits of the integer, exactly for
    // every finite value (also those far outside 64 bits); no number: 0.
    if (!std::isfinite(seed)) return 0;
    double r = std::fmod(std::trunc(seed), 4294967296.0);
    if (r < 0) r += 4294967296.0;
    return static_cast<uint32_t>(r);
}

void seed_random(double seed) { fill_from(random_seed_from_double(seed)); }

double random_unit() {
    if (!g_seeded) fill_from(kUnseededSeed);
    if (g_index >= kWords) regenerate();
    uint32_t y = g_word[g_index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return static_cast<double>(y) / 4294967296.0;
}

uint32_t random_seed_used() { return g_seed_used; }

void random_get_state(RandomState* out) {
    std::memcpy(out->word, g_word, sizeof g_word);
    out->index = g_index;
    out->seeded = g_seeded;
}

void random_set_state(const RandomState& in) {
    std::memcpy(g_word, in.word, sizeof g_word);
    g_index = (in.index < 0 || in.index > kWords) ? kWords : in.index;
    g_seeded = in.seeded;
}

namespace {
bool g_run_seed_fixed = false;
uint32_t g_run_seed = 0;
} // namespace

void fix_run_seed(bool fixed, uint32_t seed) {
    g_run_seed_fixed = fixed;
    g_run_seed = seed;
}

bool run_seed(uint32_t* seed) {
    if (g_run_seed_fixed) *seed = g_run_seed;
    return g_run_seed_fixed;
}
