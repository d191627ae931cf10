// headless.cpp -- the back-end without a window (the default): no
// thread, no display.  Each tick really waits unless the run is fast, counts
// itself, lets a test press keys through its tick hook, applies the next line
// of a replayed recording, and ends the run at the stop tick or when the
// replay runs out.
#include "platform/platform.h"
#include "platform/run.h"

#include "platform/audio_out.h"
#include "services/fatal.h"
#include "services/keyboard.h"
#include "platform/record.h"
#include "test_hooks.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

Recording g_loaded;                     // a recording read from --replay
const Recording* g_replay = nullptr;    // the one in use, if any
ReplayCursor g_cursor;
bool g_replay_started = false;
std::string g_load_error;

void apply_input(const TickInput& in) {
    keyboard_clear_held();
    for (int code = 0; code < 128; ++code)
        if (in.held[code]) keyboard_set_held(code, true);
    for (int i = 0; i < in.queued_count; ++i) keyboard_queue(in.queued[i]);
}

int headless_open(int, int, const char*) {
    keyboard_reset();
    // The offline render starts with the screen, at tick 0.
    static bool audio_opened = false;
    if (run_options.audio_out_path != nullptr && !audio_opened) {
        if (!audio_out_open(run_options.audio_out_path)) end_program(2);
        audio_opened = true;
    }
    if (g_replay != nullptr) {
        replay_start(&g_cursor, g_replay);
        g_replay_started = true;
        TickInput in;
        if (replay_next(&g_cursor, &in)) apply_input(in);
    }
    return 0;
}

void headless_set_title(const char*) {}
void headless_present() {}
void headless_close() { audio_out_finish(); }

void headless_tick(int ms) {
    if (!run_options.fast && ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const long tick = platform_count_tick();
    audio_out_tick(); // the sound of the tick that just ended
    platform_run_tick_hook(tick);
    if (g_replay != nullptr && g_replay_started) {
        TickInput in;
        if (!replay_next(&g_cursor, &in)) platform_stop_run();
        apply_input(in);
    }
    platform_check_stop_tick(tick);
}

} // namespace

const Platform headless_platform = {
    "headless", headless_open, headless_set_title, headless_present, headless_tick, headless_close, false, false, nullptr,
};

void headless_use_recording(const Recording* rec) {
    replay_finish(&g_cursor);
    g_replay = rec;
    g_replay_started = false;
}

bool headless_load_replay(const char* path, uint32_t* seed, const char** error) {
    g_load_error.clear();
    if (!load_recording(path, &g_loaded, &g_load_error)) {
        *error = g_load_error.c_str();
        return false;
    }
    *seed = g_loaded.seed;
    headless_use_recording(&g_loaded);
    return true;
}
