// audio_out.h -- the offline render (--audio-out FILE): a headless run's
// sound written to a 16-bit 48 kHz stereo WAV file.  Each tick renders exactly
// SOUND_TICK_FRAMES frames from the cues the game gave before it, so the file
// is a pure function of the run: a replay's soundtrack, sample for sample,
// ticks x 480 frames long.  The file is written beside its name and renamed
// over it when complete, as screenshots are.
#pragma once

// Creates the temporary file and takes the run's sound cues; false (with a
// message on standard error) when it cannot be created.  Called by the
// headless back-end when it opens.
bool audio_out_open(const char* path);
// Renders one tick of sound into the file.  Called by the headless back-end
// at every tick.
void audio_out_tick();
// Completes the header and renames the file into place; a write that failed
// leaves no file and a message.  Called when the run ends.
void audio_out_finish();
