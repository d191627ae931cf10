// headless.cpp -- the back-end without a window (the default): no
// thread, no display.  Each tick really waits unless the run is fast; the
// run control does the rest (run_tick: the tick count, a test's tick hook, a
// replayed recording's input, the stop).  Its sound goes to --audio-out.
#include "port/platform.h"
#include "platform/run.h"

#include "platform/audio_out.h"
#include "services/fatal.h"

#include <chrono>
#include <thread>

namespace {

int headless_open(int, int, const char*) {
    // The offline render starts with the screen, at tick 0.
    static bool audio_opened = false;
    if (run_options.audio_out_path != nullptr && !audio_opened) {
        if (!audio_out_open(run_options.audio_out_path)) end_program(2);
        audio_opened = true;
    }
    run_open();
    return 0;
}

void headless_set_title(const char*) {}
void headless_present() {}
void headless_close() { audio_out_finish(); }

void headless_tick(int ms) {
    if (!run_options.fast && ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    run_tick();
}

} // namespace

const Platform headless_platform = {
    "headless", headless_open, headless_set_title, headless_present, headless_tick, headless_close, false, false, nullptr,
};
