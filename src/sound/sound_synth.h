// sound_synth.h -- one sound playing: its parts' oscillators, envelopes,
// pitch and filters (module "sound_synth").  Renders mono floats; the mixer
// pans and limits them.
#pragma once

#include "sound/sound_catalogue.h"

struct PartState {
    float phase;     // 0..1
    float inc;       // phase step per frame
    float ic1, ic2;  // filter state
    float fa1, fa2, fa3, fk; // filter coefficients
    uint16_t lfsr;
    float noise;     // the register's output, held between clocks
    float inv_attack, inv_decay;
    int note;        // index of the note playing
    int note_pos;    // frames into that note
    int ctl_left;    // frames until pitch and filter are worked out again
};

struct SoundPlay {
    const SoundDef* def;
    int pos;         // frames since the start
    bool odd;        // every other start of its kind: parts shift by `alternate`
    PartState part[SOUND_PARTS];
};

// Starts def from its first frame; odd = this is an odd start of its kind.
// Called by the mixer.
void synth_start(SoundPlay* p, const SoundDef* def, bool odd);

// Adds the next n frames of the sound to out[0..n) and advances it.
// Called by the mixer.
void synth_render(SoundPlay* p, float* out, int n);

// True once every part has ended.  Called by the mixer.
bool synth_done(const SoundPlay* p);
