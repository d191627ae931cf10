// sound_device.h -- the game's side of sound: play_sound, called where a
// sound's event happens, and the device a back-end fills to hear it.  The
// game never waits for a sound, never learns whether one played, and nothing
// here touches a game variable or the game's random numbers: a run with
// sound and one without play exactly alike.
#pragma once

// What a back-end gives the game's sounds.  cue is called on the game thread
// with a sound id (sound.h) and the screen x it comes from.
struct SoundDevice {
    const char* name;
    void (*cue)(int id, int x);
};

// The device in use; null (the start) plays nothing.  Called by the run
// control when the back-end is chosen, and by tests.
void sound_set_device(const SoundDevice* device);
// The device in use (null: none), so a search can silence it and put it back.
const SoundDevice* sound_device();

// Plays sound id (SOUND_EGG, ...) from screen x (0 to 639; others are
// clamped).  An id out of range is ignored.  Called by the game.
void play_sound(int id, int x);
