// win32_audio.h -- the window's sound on Windows: a waveOut device at 48 kHz
// stereo, fed by the sound module's mixer on a thread of its own.  The game
// thread's cues reach that thread through the lock-free cue queue; without a
// device the game plays on silently, with one line on standard error.
#pragma once

// Opens the default output device and takes the run's sound cues; false when
// there is none.  Called by run_with_window on the main thread.
bool win32_audio_open();
// Stops the sound and closes the device.  Called when the window closes.
void win32_audio_close();
