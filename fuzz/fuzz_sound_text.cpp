// fuzz_sound_text.cpp -- libFuzzer harness for the sounds' text parser
// (sound/sound_text.h, what sound_init reads).
//
// The input is the whole text.  It is either read, into a table where every
// sound has one to four parts within its limits and plays a stretch of
// finite, bounded samples, or refused with one line of message that names
// the sound and line (or the missing sound).  The sanitizers catch the rest.
#include "sound/sound_synth.h"
#include "sound/sound_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

SoundDef table[SOUND_COUNT];
SoundPlay play;
float out[2048];

void check_refusal(const char* m) {
    if (m[0] == '\0' || std::strchr(m, '\n') != nullptr) std::abort();
    if (std::strncmp(m, "line ", 5) == 0 || std::strncmp(m, "sound '", 7) == 0) return;
    const char* colon = std::strchr(m, ':');
    if (colon == nullptr || sound_id_of(m, static_cast<int>(colon - m)) < 0) std::abort();
}

void check_sound(const SoundDef& d, int id) {
    if (d.part_count < 1 || d.part_count > SOUND_PARTS || d.length > sound_limit_frames(id)) std::abort();
    for (int i = 0; i < d.part_count; ++i) {
        const SoundPart& p = d.part[i];
        if (p.attack < SOUND_RATE / 500 || p.decay < SOUND_RATE / 500 || p.length > d.length) std::abort();
        if (p.note_count < 1 || p.note_count > SOUND_NOTES || p.wave < WAVE_SQUARE12 || p.wave > WAVE_NOISE)
            std::abort();
    }
    // Its first frames: finite and far from wild (eight parts' worth at most).
    synth_start(&play, &d, id & 1);
    std::memset(out, 0, sizeof out);
    synth_render(&play, out, 2048);
    for (float v : out)
        if (!std::isfinite(v) || std::fabs(v) > 8 * SOUND_PARTS) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char error[256];
    if (sound_text_parse(reinterpret_cast<const char*>(data), size, table, error, sizeof error)) {
        for (int id = 0; id < SOUND_COUNT; ++id) check_sound(table[id], id);
    } else {
        check_refusal(error);
    }
    return 0;
}
