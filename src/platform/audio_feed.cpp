// audio_feed.cpp -- cues in, mixed frames out (audio_feed.h).
#include "platform/audio_feed.h"

#include "platform/run.h"
#include "sound/cue_queue.h"
#include "sound/sound.h"

namespace {

CueQueue g_cues;

} // namespace

void audio_feed_open() {
    sound_init();
    sound_reset();
    cue_clear(&g_cues);
    set_audio_sink(audio_feed_cue);
}

void audio_feed_cue(int id, int x) {
    cue_push(&g_cues, Cue{static_cast<int16_t>(id), static_cast<int16_t>(x), static_cast<uint32_t>(current_tick())});
}

void audio_feed_fill(int16_t* out, int frames) {
    Cue c;
    while (cue_pop(&g_cues, &c)) sound_start(c.id, c.x);
    sound_render(out, frames);
}
