// sound_text.h -- the sounds' text form and its parser (module "sound_text").
//
// The embedded text is every assets/sounds/<name>.txt, each after a line
// "[name]".  A sound is one to SOUND_PARTS parts; each part starts with a
// line `part` and sets `key = value` lines ('#' starts a comment):
//
//   wave       square12 | square25 | square50 | triangle | saw | noise
//   freq       Hz (a single tone), or
//   notes      a tune: "c5/2 e5/1 r/1 g#4/3 ..." (name, octave, length in
//              sixteenths at `tempo` beats a minute; r = a rest)
//   tempo      beats a minute for `notes` (default 150)
//   start      seconds after the sound's start that the layer begins
//   attack, sustain, decay
//              seconds; each note of a tune gets attack and decay, and holds
//              for the rest of its length (so no `sustain` with notes)
//   slide      octaves a second (pitch glide from each note's start)
//   vibrato    semitones of depth;   vibrato_rate  Hz
//   arp        semitone steps "0 7 12" taken every arp_step seconds; the last
//              is held unless arp_loop = 1
//   alternate  semitones added to every other start of this sound
//   filter     off | low | band | high (a state-variable filter);
//   cutoff     Hz;  cutoff_slide  octaves a second;  resonance  (Q, 0.5..8)
//   gain       dB (0 or less)
//   seed       1..32767, the noise register's start (default 1)
//
// For noise, freq is the rate the 15-bit register is clocked at.  Attack and
// decay are at least 2 ms; every sound must appear exactly once and fit its
// limit (sound_limit_frames).
#pragma once

#include "sound/sound_catalogue.h"

#include <cstddef>

// Parses text[0..size) into table[SOUND_COUNT].  On a fault writes a message
// naming the sound and the line within its file ("egg:4: unknown key 'wav'")
// into error (error_size bytes, always terminated) and returns false; table is
// then partly filled and must not be used.  No heap.  Called by sound_init,
// tests and the fuzz harness.
bool sound_text_parse(const char* text, size_t size, SoundDef* table, char* error, size_t error_size);
