// audio_feed.h -- the one way from the game's sound cues to a sound device's
// frames, for every audio driver (SDL, waveOut, Web Audio): the game thread
// hands each cue in through the run control's audio sink, and the device's
// own thread takes frames out, which first starts the sounds cued since.
// Between them is a lock-free queue (cue_queue.h), so neither waits.
#pragma once

#include <cstdint>

// Starts the mixer afresh, empties the queue and makes audio_feed_cue the run
// control's audio sink.
// Called by a driver when its device opens.
void audio_feed_open();
// A cue from the game (the run control's audio sink): a full queue (a device
// that stopped taking frames) drops it, never waits.
void audio_feed_cue(int id, int x);
// The next frames (interleaved stereo) after starting the queued cues.
// Called on the device's thread.
void audio_feed_fill(int16_t* out, int frames);
