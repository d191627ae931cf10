// wav.cpp -- the WAV header of 16-bit stereo PCM at SOUND_RATE (see wav.h).
#include "sound/wav.h"

#include "sound/sound.h"

#include <cstring>

namespace {

void put(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

void wav_header(uint8_t out[WAV_HEADER_BYTES], uint32_t frames) {
    constexpr uint32_t CHANNELS = 2, BITS = 16, BLOCK = CHANNELS * BITS / 8;
    const uint32_t data = frames * BLOCK;
    std::memcpy(out, "RIFF", 4);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    std::memcpy(out + 36, "data", 4);
    put(out + 4, 36 + data, 4);
    put(out + 16, 16, 4);          // fmt chunk size
    put(out + 20, 1, 2);           // PCM
    put(out + 22, CHANNELS, 2);
    put(out + 24, SOUND_RATE, 4);
    put(out + 28, SOUND_RATE * BLOCK, 4);
    put(out + 32, BLOCK, 2);
    put(out + 34, BITS, 2);
    put(out + 40, data, 4);
}
