// sdl_audio.h -- the window's sound: an SDL audio device at 48 kHz stereo
// with 512-frame buffers, fed by the audio feed (audio_feed.h).  The game
// thread's cues reach the audio thread through a lock-free queue; the audio callback
// never takes the screen lock and never blocks.  Without a device (none
// present, SDL_AUDIODRIVER=dummy, one unplugged in mid-game) the game plays
// on silently, with at most one line on standard error; a device that comes
// back is opened again.  All calls are made on the window's main thread.
#pragma once

#include <cstdint>

// Opens the default output device and takes the run's sound cues; false when
// there is none (the game is silent).  Called when the window opens.
bool sdl_audio_open();
// Closes the device.  Called when SDL shuts down.
void sdl_audio_close();
// An audio output device appeared or went away (SDL_AUDIODEVICEADDED /
// SDL_AUDIODEVICEREMOVED, with the event's which): reopens or closes ours.
void sdl_audio_device_added();
void sdl_audio_device_removed(uint32_t which);
