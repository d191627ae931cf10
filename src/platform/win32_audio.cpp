// win32_audio.cpp -- the window's sound on waveOut (win32_audio.h).  Four
// buffers of 1024 frames (about 85 ms in all) circle between the device and
// a feeding thread, which wakes on the device's event, takes the queued
// cues and mixes each buffer the device has finished with.  The sound
// module's voices belong to that thread alone.
#include "platform/win32_audio.h"

#include "platform/run.h"
#include "port/notice.h"
#include "platform/audio_feed.h"
#include "sound/sound.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace {

enum { BUFFERS = 4, FRAMES = 1024 };

HWAVEOUT g_device = nullptr;
HANDLE g_done = nullptr;           // the device signals a finished buffer
WAVEHDR g_headers[BUFFERS] = {};
int16_t g_samples[BUFFERS][FRAMES * 2];
std::thread g_feeder;
std::atomic<bool> g_stop{false};

void fill(WAVEHDR* h) {
    audio_feed_fill(reinterpret_cast<int16_t*>(h->lpData), FRAMES);
    h->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    waveOutWrite(g_device, h, sizeof *h);
}

void feed() {
    while (!g_stop) {
        WaitForSingleObject(g_done, 50);
        for (WAVEHDR& h : g_headers)
            if (!g_stop && (h.dwFlags & WHDR_DONE)) fill(&h);
    }
}

} // namespace

bool win32_audio_open() {
    if (g_device != nullptr) return true;
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = SOUND_RATE;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = SOUND_RATE * 4;
    g_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const MMRESULT r = waveOutOpen(&g_device, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(g_done), 0, CALLBACK_EVENT);
    if (r != MMSYSERR_NOERROR) {
        g_device = nullptr;
        CloseHandle(g_done);
        g_done = nullptr;
        notice("no sound (no output device, error %u); the game plays on silently", r);
        return false;
    }
    for (int i = 0; i < BUFFERS; ++i) {
        g_headers[i] = WAVEHDR{};
        g_headers[i].lpData = reinterpret_cast<LPSTR>(g_samples[i]);
        g_headers[i].dwBufferLength = sizeof g_samples[i];
        waveOutPrepareHeader(g_device, &g_headers[i], sizeof g_headers[i]);
        g_headers[i].dwFlags |= WHDR_DONE; // ready to be filled
    }
    g_stop = false;
    audio_feed_open();
    g_feeder = std::thread(feed);
    SetEvent(g_done);
    return true;
}

void win32_audio_close() {
    set_audio_sink(nullptr);
    if (g_device == nullptr) return;
    g_stop = true;
    SetEvent(g_done);
    if (g_feeder.joinable()) g_feeder.join();
    waveOutReset(g_device);
    for (WAVEHDR& h : g_headers) waveOutUnprepareHeader(g_device, &h, sizeof h);
    waveOutClose(g_device);
    CloseHandle(g_done);
    g_device = nullptr;
    g_done = nullptr;
}
