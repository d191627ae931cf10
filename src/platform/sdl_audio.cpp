// sdl_audio.cpp -- the window's sound device on SDL2 (see sdl_audio.h).  The
// sound module's voices belong to the audio thread: cues are only queued by
// the game thread, and sound_start and sound_render run in the callback.
#include "platform/sdl_audio.h"

#include "platform/audio_feed.h"

#include "platform/run.h"
#include "port/notice.h"
#include "sound/cue_queue.h"
#include "sound/sound.h"

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>

namespace {

SDL_AudioDeviceID g_device = 0;
bool g_said = false;      // the one line about having no sound was written
bool g_subsystem = false; // SDL's audio is started

void say_silent(const char* why) {
    if (g_said) return;
    g_said = true;
    notice("no sound (%s); the game plays on silently", why);
}

// ALSA's library writes its own lines to standard error when it finds no
// sound card; the game says one line of its own instead.  SDL loads the
// library itself, so its error handler is set through the same one.
void alsa_quiet(const char*, int, const char*, int, const char*, ...) {}
void quiet_alsa() {
    void* lib = dlopen("libasound.so.2", RTLD_LAZY);
    if (lib == nullptr) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(lib, "snd_lib_error_set_handler"))) set(alsa_quiet);
}

void callback(void*, Uint8* stream, int len) {
    audio_feed_fill(reinterpret_cast<int16_t*>(stream), len / 4);
}

} // namespace

bool sdl_audio_open() {
    if (g_device != 0) return true;
    if (!g_subsystem) {
        quiet_alsa();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            say_silent(SDL_GetError());
            return false;
        }
        g_subsystem = true;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = SOUND_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = callback;
    // SDL converts whatever the device wants; the mixer always makes 48 kHz stereo.
    g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_device == 0) {
        say_silent(SDL_GetError());
        return false;
    }
    audio_feed_open();
    SDL_PauseAudioDevice(g_device, 0);
    return true;
}

void sdl_audio_close() {
    set_audio_sink(nullptr);
    if (g_device != 0) SDL_CloseAudioDevice(g_device);
    g_device = 0;
    if (g_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_subsystem = false;
}

void sdl_audio_device_added() {
    if (g_subsystem && g_device == 0) sdl_audio_open();
}

void sdl_audio_device_removed(uint32_t which) {
    if (g_device == 0 || which != g_device) return;
    set_audio_sink(nullptr);
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    say_silent("the sound device went away");
}
