// bench_platform.cpp -- costs of the platform services the game calls every
// frame (random numbers, key polls under the screen lock, the tick of the
// headless back-end) and of reading and writing recordings.
#include "services/clock.h"
#include "services/keyboard.h"
#include "port/platform.h"
#include "platform/run.h"
#include "services/random.h"
#include "platform/record.h"
#include "services/screen.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

void open_headless() {
    run_reset_for_tests();
    run_options.fast = true;
    if (!screen_is_open()) open_screen(18, 32, 2, 0, 0);
}

void BM_RandomUnit(benchmark::State& state) {
    seed_random(12345);
    for (auto _ : state) benchmark::DoNotOptimize(random_unit());
}
BENCHMARK(BM_RandomUnit);

// One frame's keyboard work of the player and the shell: four arrows, Escape
// and one read of the queue.
void BM_FrameKeyPolls(benchmark::State& state) {
    open_headless();
    keyboard_set_held(KEY_RIGHT, true);
    for (auto _ : state) {
        int n = key_down(KEY_UP) + key_down(KEY_DOWN) + key_down(KEY_LEFT) + key_down(KEY_RIGHT) +
                key_down(KEY_ESCAPE);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(read_key());
    }
    keyboard_reset();
}
BENCHMARK(BM_FrameKeyPolls);

void BM_HeadlessFastTick(benchmark::State& state) {
    open_headless();
    for (auto _ : state) sleep_ms(10);
    run_reset_for_tests();
}
BENCHMARK(BM_HeadlessFastTick);

// An hour of play (360000 ticks) in typical runs of held arrows and presses.
std::string hour_of_play() {
    std::string text = "clovenfeld-recording 1\nseed 1\n";
    for (int i = 0; i < 6000; ++i) {
        text += std::to_string(20 + i % 40) + "x 77|\n";
        text += "77 72|\n";
        text += "18x |\n";
        text += "|32\n";
    }
    return text;
}

void BM_ParseRecordingHour(benchmark::State& state) {
    const std::string text = hour_of_play();
    Recording rec;
    std::string err;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse_recording(text.data(), text.size(), &rec, &err));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["ticks"] = static_cast<double>(rec.ticks);
}
BENCHMARK(BM_ParseRecordingHour)->Unit(benchmark::kMillisecond);

void BM_RecordLine(benchmark::State& state) {
    RecordWriter w;
    const std::string path = "/tmp/clovenfeld_bench_record.txt";
    if (!record_open(&w, path.c_str(), 1)) {
        state.SkipWithError("cannot create the recording");
        return;
    }
    unsigned char held[128] = {};
    const int space[] = {32};
    long i = 0;
    for (auto _ : state) {
        held[77] = (i / 30) % 2; // runs of 30 equal ticks
        record_line(&w, held, (i % 97 == 0) ? space : nullptr, (i % 97 == 0) ? 1 : 0);
        ++i;
    }
    record_close(&w);
    std::remove(path.c_str());
}
BENCHMARK(BM_RecordLine);

} // namespace
