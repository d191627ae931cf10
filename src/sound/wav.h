// wav.h -- the 44-byte header of a WAV file holding 16-bit stereo PCM at
// SOUND_RATE (module "wav").  Writing the file is the caller's business.
#pragma once

#include <cstdint>

enum { WAV_HEADER_BYTES = 44 };

// Fills out[0..43] for a file of `frames` stereo frames that follow the
// header (little-endian; data size 4 * frames bytes).  Called by the tools.
void wav_header(uint8_t out[WAV_HEADER_BYTES], uint32_t frames);
