// audio_out.cpp -- the offline render of a headless run's sound (audio_out.h).
// The sound module mixes on the game thread here: cues start their sounds at
// once, and every tick mixes the next 480 frames into a fixed buffer that
// goes straight to the file.
#include "platform/audio_out.h"

#include "port/system.h"
#include "platform/run.h"
#include "port/notice.h"
#include "sound/sound.h"
#include "sound/wav.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

std::FILE* g_file = nullptr;
FileWrite g_write;
unsigned long long g_frames = 0;
bool g_failed = false;
int16_t g_block[SOUND_TICK_FRAMES * 2];

void audio_out_cue(int id, int x) { sound_start(id, x); }

} // namespace

bool audio_out_open(const char* path) {
    const int fd = file_write_begin(&g_write, path, 0644);
    g_file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (g_file == nullptr) {
        if (fd >= 0) {
            ::close(fd);
            file_write_abort(&g_write);
        }
        notice("cannot create the sound file %s", path != nullptr ? path : "");
        return false;
    }
    // The header is written again with the lengths at the end.
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, 0);
    g_failed = std::fwrite(header, 1, sizeof header, g_file) != sizeof header;
    g_frames = 0;
    sound_init();
    sound_reset();
    set_audio_sink(audio_out_cue);
    return true;
}

void audio_out_tick() {
    if (g_file == nullptr) return;
    sound_render(g_block, SOUND_TICK_FRAMES);
    if (std::fwrite(g_block, sizeof g_block, 1, g_file) != 1) g_failed = true;
    g_frames += SOUND_TICK_FRAMES;
}

void audio_out_finish() {
    if (g_file == nullptr) return;
    set_audio_sink(nullptr);
    std::FILE* f = g_file;
    g_file = nullptr;
    // A RIFF file holds at most 4 GB: a run that long is refused, not cut.
    const unsigned long long limit = (0xFFFFFFFFull - WAV_HEADER_BYTES) / 4;
    bool ok = !g_failed && g_frames <= limit;
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, static_cast<uint32_t>(ok ? g_frames : 0));
    ok = ok && std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, f) == sizeof header;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) file_write_abort(&g_write);
    if (!ok || !file_write_commit(&g_write, FILE_COMMIT_REPLACE))
        notice("cannot write the sound file %s", g_write.target);
}
