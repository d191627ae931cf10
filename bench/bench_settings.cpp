// bench_settings.cpp -- the settings file at start-up and on a change: loading
// a typical file (every key, a few comments) from disk, and making the text
// to save after one value changed.

#include "platform/settings.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char TYPICAL[] = "# Clovenfeld Returns settings: one \"key = value\" a line.\n"
                       "scale = 2\nfit = false\nfullscreen = false\n"
                       "# quieter in the evening\nvolume = 60\nmute = false\npause_on_focus_loss = true\n"
                       "key.left = ArrowLeft, KeyA\nkey.right = ArrowRight, KeyD\nkey.up = ArrowUp, KeyW\n"
                       "key.down = ArrowDown, KeyS\nkey.space = Space\nkey.escape = Escape\nkey.screenshot = F5\n"
                       "key.pause = KeyP, Pause\nkey.mute = KeyM\nkey.fullscreen = F11\n"
                       "pad.a = space\npad.b = escape\npad.start = pause\npad.back = escape\n";

void BM_Settings_LoadTypicalFile(benchmark::State& state) {
    const std::string path = "/tmp/bench_settings_" + std::to_string(getpid()) + ".ini";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(TYPICAL, 1, sizeof TYPICAL - 1, f) != sizeof TYPICAL - 1) std::abort();
    std::fclose(f);
    auto text = std::make_unique<SettingsText>();
    Settings s;
    for (auto _ : state) {
        if (settings_load(path.c_str(), text.get(), &s, nullptr, nullptr) != SETTINGS_LOADED) std::abort();
        benchmark::DoNotOptimize(s);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_Settings_LoadTypicalFile);

void BM_Settings_UpdateOneValue(benchmark::State& state) {
    auto text = std::make_unique<SettingsText>(), out = std::make_unique<SettingsText>();
    text->size = static_cast<int>(sizeof TYPICAL - 1);
    std::memcpy(text->bytes, TYPICAL, sizeof TYPICAL - 1);
    Settings s;
    settings_parse(text->bytes, text->size, "bench", &s, nullptr, nullptr);
    s.volume = 61;
    for (auto _ : state) {
        if (!settings_update_text(*text, s, out.get())) std::abort();
        benchmark::DoNotOptimize(out->size);
    }
}
BENCHMARK(BM_Settings_UpdateOneValue);

} // namespace
