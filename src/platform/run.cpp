// run.cpp -- what both back-ends share: the choice of back-end, the run
// options, the tick counter, announced events (--stop-at, --events, hooks),
// stopping a run with a shot of the work page, and the buffering of window
// input while a recording is made.
#include "platform/platform.h"
#include "platform/run.h"

#include "services/bmp.h"
#include "services/fatal.h"
#include "services/keyboard.h"
#include "services/random.h"
#include "sound/sound.h"
#include "sound/sound_device.h"
#include "platform/record.h"
#include "platform/notice.h"
#include "test_hooks.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

RunOptions run_options;

namespace {

const Platform* g_platform = &headless_platform;
std::atomic<void (*)(int, int)> g_audio_sink{nullptr};

void announce_sound(const char* name);

// The game's sounds pass the run control: --events prints them as
// "tick N sound:NAME" (and --stop-at may stop on one), then they go to the
// back-end's audio output, if any.
void run_sound_cue(int id, int x) {
    if (run_options.print_events || run_options.stop_event != nullptr) {
        char name[48];
        std::snprintf(name, sizeof name, "sound:%s", sound_name(id));
        announce_sound(name);
    }
    if (auto sink = g_audio_sink.load()) sink(id, x);
}
const SoundDevice g_run_sound = {"run", run_sound_cue};
std::atomic<long> g_tick{0};
void (*g_event_hook)(const char*) = nullptr;
void (*g_tick_hook)(long) = nullptr;

// Window input waiting for the next tick boundary while recording.
struct InputEvent {
    InputEventKind kind;
    int value;
};
constexpr int kMaxPendingEvents = 1024;
std::mutex g_input_mutex;
InputEvent g_pending[kMaxPendingEvents];
int g_pending_count = 0;
std::atomic<bool> g_recording{false};
RecordWriter g_writer;

// The pause menu's quit on its way to the game (input_quit_game).
std::atomic<int> g_shell_wait{SHELL_PLAYS};
std::atomic<bool> g_quit_asked{false};
int g_quit_held = 0;             // the scan code its press holds until the next tick (game thread)
bool g_escape_after_box = false; // Escape waits for the box to close (game thread)

// A press of the key with that scan code, typing code, let go at the next tick.
void quit_press(int scan_code, int code) {
    input_event(INPUT_KEY_DOWN, scan_code);
    input_event(INPUT_QUEUE, code);
    g_quit_held = scan_code;
}

// At a tick boundary, before the buffered input is applied.
void hand_over_quit() {
    if (g_quit_held != 0) {
        input_event(INPUT_KEY_UP, g_quit_held);
        g_quit_held = 0;
        return;
    }
    const int wait = g_shell_wait.load();
    if (g_quit_asked.exchange(false)) {
        g_escape_after_box = wait == SHELL_IN_BOX;
        if (g_escape_after_box) quit_press(57, ' '); // Space
        else quit_press(KEY_ESCAPE, 27);
    } else if (g_escape_after_box && wait != SHELL_IN_BOX) {
        g_escape_after_box = false;
        if (wait == SHELL_PLAYS) quit_press(KEY_ESCAPE, 27);
    }
}

void apply_event(const InputEvent& e) {
    switch (e.kind) {
    case INPUT_KEY_DOWN: keyboard_press(e.value); break;
    case INPUT_KEY_UP: keyboard_release(e.value); break;
    case INPUT_CLEAR_HELD: keyboard_clear_held(); break;
    case INPUT_QUEUE: keyboard_queue(e.value); break;
    }
}

} // namespace

const Platform* platform() { return g_platform; }

void set_audio_sink(void (*sink)(int id, int x)) { g_audio_sink = sink; }

void select_platform(const Platform* p) {
    g_platform = p ? p : &headless_platform;
    sound_init();
    sound_set_muted(run_options.mute);
    if (run_options.volume >= 0) sound_set_volume(run_options.volume);
    sound_set_device(&g_run_sound);
    if (g_platform == &headless_platform && run_options.replay_path != nullptr) {
        uint32_t seed = 0;
        const char* error = nullptr;
        if (!headless_load_replay(run_options.replay_path, &seed, &error)) {
            notice("bad recording %s: %s", run_options.replay_path, error ? error : "unreadable");
            end_program(2);
        }
        run_options.seed_given = true;
        run_options.seed = seed;
    }
}

long current_tick() { return g_tick.load(); }

long platform_count_tick() { return ++g_tick; }

void platform_run_tick_hook(long tick) {
    if (g_tick_hook) g_tick_hook(tick);
}

void set_tick_hook(void (*hook)(long tick)) { g_tick_hook = hook; }
void set_event_hook(void (*hook)(const char* name)) { g_event_hook = hook; }

void platform_stop_run() {
    if (run_options.shot_path != nullptr) {
        const int err = save_bitmap(run_options.shot_path);
        if (err != 0) {
            notice("cannot save %s (error %d: %s)", run_options.shot_path, err, error_text(err));
            end_program(err);
        }
    }
    end_program(0);
}

void platform_check_stop_tick(long tick) {
    if (run_options.stop_tick >= 0 && tick >= run_options.stop_tick) platform_stop_run();
}

namespace {

// Prints the event with --events and stops the run when --stop-at names it.
void announce(const char* name) {
    if (run_options.print_events) {
        std::printf("tick %ld %s\n", current_tick(), name);
        std::fflush(stdout);
    }
    const char* want = run_options.stop_event;
    if (want == nullptr) return;
    const size_t n = std::strlen(want);
    const bool match = (n > 0 && want[n - 1] == '*') ? std::strncmp(name, want, n - 1) == 0
                                                      : std::strcmp(name, want) == 0;
    if (match) platform_stop_run();
}

// A sound the game played, as an event: printed and matched like the shell's
// events, but not given to the event hook, which follows what the shell shows.
void announce_sound(const char* name) { announce(name); }

} // namespace

void note_shell_wait(int wait) { g_shell_wait = wait; }

void input_quit_game() { g_quit_asked = true; }

void announce_event(const char* name) {
    if (name == nullptr) return;
    if (g_event_hook) g_event_hook(name);
    announce(name);
}

// --- recording ----------------------------------------------------------------

void input_event(InputEventKind kind, int value) {
    if (!g_recording.load()) {
        apply_event(InputEvent{kind, value});
        return;
    }
    std::lock_guard<std::mutex> lock(g_input_mutex);
    // A flood beyond the buffer within one tick is dropped; the recording
    // still holds exactly what the game was given.
    if (g_pending_count < kMaxPendingEvents) g_pending[g_pending_count++] = InputEvent{kind, value};
}

bool recording_start(const char* path) {
    recording_stop();
    if (!record_open(&g_writer, path, random_seed_used())) return false;
    {
        std::lock_guard<std::mutex> lock(g_input_mutex);
        g_pending_count = 0;
    }
    g_recording = true;
    return true;
}

bool recording_active() { return g_recording.load(); }

void recording_tick() {
    hand_over_quit();
    if (!g_recording.load()) {
        keyboard_tick_boundary(); // the coming tick sees every key pressed so far
        return;
    }
    static InputEvent events[kMaxPendingEvents];
    static int queued[kMaxPendingEvents];
    int count;
    {
        std::lock_guard<std::mutex> lock(g_input_mutex);
        count = g_pending_count;
        std::memcpy(events, g_pending, sizeof(InputEvent) * static_cast<size_t>(count));
        g_pending_count = 0;
    }
    int queued_count = 0;
    for (int i = 0; i < count; ++i) {
        apply_event(events[i]);
        if (events[i].kind == INPUT_QUEUE && valid_key_code(events[i].value)) queued[queued_count++] = events[i].value;
    }
    keyboard_tick_boundary(); // the coming tick sees this input: so does its line
    unsigned char held[128];
    keyboard_held_table(held);
    record_line(&g_writer, held, queued, queued_count);
}

void recording_stop() {
    if (!g_recording.exchange(false)) return;
    record_close(&g_writer);
}

void platform_reset_for_tests() {
    recording_stop();
    g_platform = &headless_platform;
    g_tick = 0;
    g_event_hook = nullptr;
    g_tick_hook = nullptr;
    g_shell_wait = SHELL_PLAYS;
    g_quit_asked = false;
    g_quit_held = 0;
    g_escape_after_box = false;
    run_options = RunOptions{};
    headless_use_recording(nullptr);
}
