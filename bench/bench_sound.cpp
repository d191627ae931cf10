// bench_sound.cpp -- the mixer with all eight voices busy, one game tick
// (480 frames) per iteration.  The voices play the heaviest sounds (the
// jingles' two parts, the filtered noise and the band-passed saws) and are
// restarted in turn as they end, so none falls silent.  Reported: frames
// mixed per second and the real-time factor (frames/s over 48000).
#include "sound/cue_queue.h"
#include "sound/sound.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

const int BUSY[SOUND_VOICES] = {SOUND_ALL_COMPLETED, SOUND_GAME_OVER, SOUND_LEVEL_CLEAR, SOUND_LEVEL_START,
                                SOUND_LIFE_LOST, SOUND_DUCK_FREE, SOUND_EXTRA_LIFE, SOUND_FALL};

void BM_MixEightBusyVoices(benchmark::State& state) {
    sound_init();
    sound_reset();
    int16_t out[2 * SOUND_TICK_FRAMES];
    long tick = 0;
    for (auto _ : state) {
        if (sound_voices_busy() < SOUND_VOICES)
            for (int i = 0; i < SOUND_VOICES; ++i) sound_start(BUSY[(i + tick) % SOUND_VOICES], 80 * i);
        sound_render(out, SOUND_TICK_FRAMES);
        benchmark::DoNotOptimize(out);
        ++tick;
    }
    const double frames = static_cast<double>(state.iterations()) * static_cast<double>(SOUND_TICK_FRAMES);
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(frames / static_cast<double>(SOUND_RATE), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixEightBusyVoices);

// From the tick that cues a sound to its first sample leaving the mixer: the
// cue waits in the queue for the next 512-frame pull of the audio device,
// which starts it and mixes.  Measured here: the frames into that pull before
// the first non-zero sample (at most one buffer, 512 frames = 10.7 ms, is
// the aim), and the pull's own time.
void BM_CueToFirstSample(benchmark::State& state) {
    sound_init();
    CueQueue queue;
    int16_t out[2 * 512];
    int first = -1;
    for (auto _ : state) {
        sound_reset();
        cue_push(&queue, Cue{SOUND_EGG, 320, 0});
        Cue c; // the audio callback's work
        while (cue_pop(&queue, &c)) sound_start(c.id, c.x);
        sound_render(out, 512);
        first = -1;
        for (int i = 0; i < 512 && first < 0; ++i)
            if (out[2 * i] != 0 || out[2 * i + 1] != 0) first = i;
        benchmark::DoNotOptimize(out);
    }
    state.counters["first_sample_frame"] = first;
    state.counters["worst_ms"] = (512.0 + first) * 1000.0 / static_cast<double>(SOUND_RATE);
}
BENCHMARK(BM_CueToFirstSample);

} // namespace
