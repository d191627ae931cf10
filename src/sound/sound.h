// sound.h -- the game's sounds (module "sound"): a small chip-style synthesiser
// and an eight-voice stereo mixer.  Pure code: no platform, no files, no
// clock, no global random numbers.  The samples written are a pure function of
// the sequence of sound_start / sound_render calls (and the volume and mute
// settings between them).  sound_start and sound_render belong to one thread
// (the audio side, fed by cue_queue.h); the volume and mute may be set from
// any thread.
//
// The sounds (sound_catalogue.h) are made from text (assets/sounds/<name>.txt,
// read by sound_text.h) that the build embeds in the program.  No heap is
// used: the tables are fixed and filled once by sound_init.
#pragma once

#include "sound/sound_catalogue.h"

#include <atomic>
#include <cstdint>

enum {
    SOUND_TICK_FRAMES = 480,   // frames per game tick (100 ticks a second)
    SOUND_VOICES = 8,          // sounds playing at once
    SOUND_FADE_FRAMES = 192,   // a restarted or stolen voice fades out over 4 ms first
};

// Shared state owned by the sound module (read-only outside it; set through
// sound_set_volume and sound_set_muted, from any thread).
extern std::atomic<int> sound_master_volume; // 0..100
extern std::atomic<bool> sound_master_muted;

// The length of the sound alone, in frames (0 out of range).  Called by the
// game's callers, the tools and tests.
int sound_length_frames(int id);

// Builds the sound table once from the embedded text; later calls do nothing.
// A text that does not parse leaves every sound silent and its message in
// sound_init_error.  Called at start-up (and by sound_start if nobody did).
void sound_init();

// "" after a good sound_init, else the parser's message.  Called by tests.
const char* sound_init_error();

// The embedded sound text, as the build made it ("[name]" lines before each
// file's text).  Called by tests and the fuzz seeds' maker.
const char* sound_text();

// Silences every voice at once and forgets the step alternation: a new run.
// Called by the game on a new run and by tests.
void sound_reset();

// Starts sound id now; x is the screen x (0..639) that sets the pan
// (centre 320, +-0.6 at the edges, equal power).  A sound of a kind already
// playing restarts that kind's voice (after a 4 ms fade); with every voice
// busy the oldest is faded out and taken.  Called by the game thread's cue
// consumer (the audio side).
void sound_start(int id, int x);

// Mixes the next frames into out, interleaved stereo L,R, and advances the
// voices.  Called by the audio callback, the tools, tests and benchmarks.
void sound_render(int16_t* out, int frames);

// Master volume in percent (0..100, clamped; default 100) and mute; both
// change smoothly over about 10 ms.  Called by the game's options.
void sound_set_volume(int percent);
int sound_volume();
void sound_set_muted(bool muted);
bool sound_muted();

// Voices sounding now (playing or fading).  Called by tests.
int sound_voices_busy();
