// sound_catalogue.cpp -- the table of the game's sounds (see
// sound_catalogue.h): one row a sound, in SoundId order.
#include "sound/sound_catalogue.h"

#include <cstring>

namespace {

constexpr int EFFECT = 6 * SOUND_RATE / 10; // 0.6 s
constexpr int JINGLE = 3 * SOUND_RATE;      // 3 s

struct Entry {
    const char* name; // its text file's name
    int limit;        // frames it may last
};

constexpr Entry CATALOGUE[] = {
    {"egg", EFFECT},         {"seed", EFFECT},        {"jump", EFFECT},         {"land", EFFECT},
    {"step", EFFECT},        {"climb", EFFECT},       {"life-lost", EFFECT},    {"fall", EFFECT},
    {"time-low", EFFECT},    {"time-up", EFFECT},     {"level-start", JINGLE},  {"level-clear", JINGLE},
    {"extra-life", EFFECT},  {"duck-free", EFFECT},   {"game-over", JINGLE},    {"all-completed", JINGLE},
    {"start", EFFECT},
};
static_assert(sizeof CATALOGUE / sizeof CATALOGUE[0] == SOUND_COUNT, "one row a sound");

} // namespace

const char* sound_name(int id) { return (id >= 0 && id < SOUND_COUNT) ? CATALOGUE[id].name : ""; }

int sound_id_of(const char* name, int length) {
    for (int id = 0; id < SOUND_COUNT; ++id)
        if (static_cast<int>(std::strlen(CATALOGUE[id].name)) == length && std::memcmp(CATALOGUE[id].name, name, length) == 0)
            return id;
    return -1;
}

int sound_limit_frames(int id) { return (id >= 0 && id < SOUND_COUNT) ? CATALOGUE[id].limit : EFFECT; }
