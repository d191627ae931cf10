// sound_device.cpp -- play_sound hands the game's cues to the device in use.
#include "sound/sound_device.h"

#include "sound/sound.h"

#include <atomic>

namespace {
std::atomic<const SoundDevice*> g_device{nullptr};
}

void sound_set_device(const SoundDevice* device) { g_device = device; }

const SoundDevice* sound_device() { return g_device.load(); }

void play_sound(int id, int x) {
    if (id < 0 || id >= SOUND_COUNT) return;
    const SoundDevice* d = g_device.load();
    if (d == nullptr || d->cue == nullptr) return;
    d->cue(id, x < 0 ? 0 : x > 639 ? 639 : x);
}
