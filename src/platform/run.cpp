// run.cpp -- what every back-end shares: the choice of back-end, the run
// options, the tick counter, announced events (--stop-at, --events, hooks),
// stopping a run with a shot of the work page, and the buffering of window
// input while a recording is made.
#include "port/platform.h"
#include "platform/run.h"

#include "services/bmp.h"
#include "services/fatal.h"
#include "services/keyboard.h"
#include "services/random.h"
#include "sound/sound.h"
#include "sound/sound_device.h"
#include "platform/audio_out.h"
#include "platform/record.h"
#include "platform/session.h"
#include "platform/viewer.h"
#include "port/notice.h"
#include "services/game_events.h"
#include "platform/records.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

RunOptions run_options;

namespace {

std::atomic<void (*)(int, int)> g_audio_sink{nullptr};

void announce_sound(const char* name);
void hear_event(const char* name);

// The game's sounds pass the run control: --events prints them as
// "tick N sound:NAME" (and --stop-at may stop on one), then they go to the
// back-end's audio output, if any.
void run_sound_cue(int id, int x) {
    if (run_options.print_events || run_options.stop_event != nullptr) {
        char name[48];
        std::snprintf(name, sizeof name, "sound:%s", sound_name(id));
        announce_sound(name);
    }
    if (viewer_skipping()) return; // a skip to the next level is silent
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

// The recording being replayed, if any: read from --replay, or a test's.
Recording g_loaded;
const Recording* g_replay = nullptr;
ReplayCursor g_cursor;
bool g_replay_started = false;
std::string g_load_error;
std::atomic<bool> g_end_requested{false}; // the window's close button (run_request_end)

// A replayed tick's input: the held table as the recording has it, and its keys queued.
ReplayCheck g_check;

// The replay's state hash at this line against the recording's: the first
// difference is kept, and said once on a replay that is not being verified.
void check_hash(const TickInput& in) {
    if (!in.check_hash || g_check.desync_after > 0) return;
    const long long at = g_cursor.delivered - 1; // the state after this many ticks
    GameState st;
    report_game_state(&st);
    g_check.hashes_checked++;
    if ((st.hash & RECORD_HASH_MASK) == in.state_hash) {
        g_check.last_good = at;
        return;
    }
    g_check.desync_after = at;
    if (!g_check.quiet)
        notice("recording desync at tick %lld (state hash differs after tick %lld)", g_check.last_good, at);
}

void apply_replayed(const TickInput& in) {
    keyboard_clear_held();
    for (int code = 0; code < 128; ++code)
        if (in.held[code]) keyboard_set_held(code, true);
    for (int i = 0; i < in.queued_count; ++i) keyboard_queue(in.queued[i]);
}

// Where the swans and the duck stand on the overview map, taken at each
// tick for the presenter of a window or page while the player wants them
// shown (an assist).
std::mutex g_spots_mutex;
MapSpot g_spots[MAP_SPOTS_MAX];
int g_spot_count = 0;
unsigned g_spots_stamp = 0;

void note_spots() {
    if (run_options.headless || !session_assists().enemies_on_map) return;
    MapSpot now[MAP_SPOTS_MAX];
    const int n = report_game_spots(now, MAP_SPOTS_MAX);
    std::lock_guard<std::mutex> lock(g_spots_mutex);
    if (n == g_spot_count && std::memcmp(now, g_spots, sizeof(MapSpot) * static_cast<size_t>(n)) == 0) return;
    std::memcpy(g_spots, now, sizeof(MapSpot) * static_cast<size_t>(n));
    g_spot_count = n;
    g_spots_stamp++;
}

// The pause menu's quit on its way to the game (input_quit_game).
std::atomic<bool> g_quit_asked{false};
int g_quit_held = 0;             // the scan code its press holds until the next tick (game thread)
bool g_escape_after_box = false; // Escape waits for the box to close (game thread)

// A press of the key with that scan code, typing code, let go at the next tick.
void quit_press(int scan_code, int code) {
    input_event(INPUT_KEY_DOWN, scan_code);
    input_event(INPUT_QUEUE, code);
    g_quit_held = scan_code;
}

// A practice game asked for (input_practice), waiting for the title screen.
std::atomic<int> g_practice_asked{0};
// The level editor asked for (input_editor), waiting for the title screen.
std::atomic<bool> g_editor_asked{false};

// At a tick boundary, before the buffered input is applied.
void hand_over_quit() {
    if (g_editor_asked.load() && shell_wait() == SHELL_ON_TITLE && g_editor_asked.exchange(false))
        input_event(INPUT_QUEUE, KEY_EDITOR_CODE);
    if (g_practice_asked.load() > 0 && shell_wait() == SHELL_ON_TITLE)
        input_event(INPUT_QUEUE, practice_key_code(g_practice_asked.exchange(0)));
    if (g_quit_held != 0) {
        input_event(INPUT_KEY_UP, g_quit_held);
        g_quit_held = 0;
        return;
    }
    const int wait = shell_wait();
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

void set_audio_sink(void (*sink)(int id, int x)) { g_audio_sink = sink; }

void select_platform(const Platform* p) {
    install_platform(p ? p : &headless_platform);
    set_event_listener(hear_event);
    sound_init();
    sound_set_muted(run_options.mute);
    if (run_options.volume >= 0) sound_set_volume(run_options.volume);
    sound_set_device(&g_run_sound);
    if (run_options.replay_path != nullptr) {
        uint32_t seed = 0;
        const char* error = nullptr;
        if (!replay_load(run_options.replay_path, &seed, &error)) {
            notice("bad recording %s: %s", run_options.replay_path, error ? error : "unreadable");
            end_program(2);
        }
        run_options.seed_given = true;
        run_options.seed = seed;
        play_assists = g_loaded.play_assists; // the replay plays as the game was played
        // A window holds the last picture; a page, which cannot close
        // itself, ends the run and says so.
        if (run_options.watch) viewer_start(g_loaded.ticks, !platform()->stays_open);
    } else {
        play_assists = session_play_assists();
    }
    fix_run_seed(run_options.seed_given, run_options.seed);
}

long current_tick() { return g_tick.load(); }

void set_tick_hook(void (*hook)(long tick)) { g_tick_hook = hook; }
void set_event_hook(void (*hook)(const char* name)) {
    g_event_hook = hook;
    set_event_listener(hear_event);
}

void run_stop() {
    if (run_options.shot_path != nullptr) {
        const int err = save_bitmap(run_options.shot_path);
        if (err != 0) {
            notice("cannot save %s (error %d: %s)", run_options.shot_path, err, error_text(err));
            end_program(err);
        }
    }
    end_program(0);
}

// --- the tick: the same for every back-end -------------------------------------------

void run_open() {
    keyboard_reset();
    if (run_options.practice_level > 0 && g_replay == nullptr) input_practice(run_options.practice_level);
    if (run_options.record_path != nullptr && !recording_active() && !recording_start(run_options.record_path)) {
        notice("cannot create the recording %s", run_options.record_path);
        end_program(2);
    }
    if (g_replay != nullptr) {
        replay_start(&g_cursor, g_replay);
        g_replay_started = true;
        TickInput in;
        if (replay_next(&g_cursor, &in)) apply_replayed(in);
    }
}

void run_tick() {
    const long tick = ++g_tick;
    audio_out_tick(); // the sound of the tick that just ended, for --audio-out
    if (g_tick_hook) g_tick_hook(tick);
    // A close request ends the program as Escape on the title screen does,
    // at any moment.  It ends before this tick's input is taken, so a
    // recording ends here too: its replay runs out at this same tick, with
    // the same last picture.
    if (g_end_requested) end_program(0);
    if (g_replay != nullptr && g_replay_started) {
        TickInput in;
        if (!replay_next(&g_cursor, &in)) {
            replay_check_end();
            run_stop();
        }
        check_hash(in);
        apply_replayed(in);
        viewer_note_tick(tick);
    }
    recording_tick();
    note_spots();
    // The assists the player set take effect at the next new game, unless a
    // recording is made or played (its header names the play's).
    if (g_replay == nullptr && !g_recording.load()) play_assists = session_play_assists();
    // A level or game played while an assist that changes play is set (even
    // one set for the next game) counts as assisted in the records.
    records_set_assisted(assists_on(play_assists));
    if (run_options.stop_tick >= 0 && tick >= run_options.stop_tick) run_stop();
}

bool watch_may_tick() {
    if (!viewer_on()) return true;
    if (g_replay != nullptr && g_replay_started && g_cursor.delivered >= g_replay->ticks) {
        replay_check_end();
        if (!viewer_note_end()) return true; // the run ends at this tick
    }
    if (viewer_take_tick()) return true;
    static long held_at = -1;
    if (held_at != g_tick && run_options.print_events) {
        held_at = g_tick;
        std::printf("tick %ld view:held\n", held_at);
        std::fflush(stdout);
    }
    return false;
}

void watch_hold() {
    if (!viewer_on() || !viewer_note_end()) return;
    for (;;) platform()->tick(10); // the tick waits until the viewer is closed
}

int run_map_spots(MapSpot* out, int max, unsigned* stamp) {
    std::lock_guard<std::mutex> lock(g_spots_mutex);
    *stamp = g_spots_stamp;
    const int n = g_spot_count < max ? g_spot_count : max;
    for (int i = 0; i < n; i++) out[i] = g_spots[i];
    return n;
}

void run_request_end() { g_end_requested = true; }
bool run_end_requested() { return g_end_requested.load(); }

void run_use_recording(const Recording* rec) {
    replay_finish(&g_cursor);
    play_assists = rec != nullptr ? rec->play_assists : PlayAssists{};
    g_replay = rec;
    g_replay_started = false;
    const bool quiet = g_check.quiet;
    g_check = ReplayCheck{};
    g_check.quiet = quiet;
}

const ReplayCheck& replay_check() { return g_check; }

int replay_start_level() { return g_replay != nullptr ? g_replay->start_level : 0; }

void replay_set_quiet(bool quiet) { g_check.quiet = quiet; }

void replay_check_end() {
    if (g_replay == nullptr || g_check.end_checked) return;
    g_check.end_checked = true;
    g_check.ticks = g_cursor.delivered;
    GameState st;
    report_game_state(&st);
    g_check.end_state = st;
    if (g_replay->version < 2) return; // no end line to hold it against
    const Recording& r = *g_replay;
    g_check.end_ok = g_cursor.delivered == r.end_ticks && st.hash == r.end_hash && st.score == r.end_score &&
                     st.eggs == r.end_eggs && st.lives == r.end_lives;
    if (!g_check.end_ok && g_check.desync_after == 0 && !g_check.quiet)
        notice("recording desync at its end (tick %lld): the state differs from its end line", static_cast<long long>(g_cursor.delivered));
}

namespace {
const char* g_preloaded = nullptr; // the path replay_preload read into g_loaded
}

bool replay_preload(const char* path, std::string* pack, std::string* error) {
    g_preloaded = nullptr;
    g_load_error.clear();
    if (!load_recording(path, &g_loaded, &g_load_error)) {
        *error = g_load_error;
        return false;
    }
    g_preloaded = path;
    *pack = g_loaded.pack;
    return true;
}

bool replay_load(const char* path, uint32_t* seed, const char** error) {
    if (g_preloaded != nullptr && std::strcmp(g_preloaded, path) == 0) {
        g_preloaded = nullptr; // taken once
        *seed = g_loaded.seed;
        run_use_recording(&g_loaded);
        return true;
    }
    g_load_error.clear();
    if (!load_recording(path, &g_loaded, &g_load_error)) {
        *error = g_load_error.c_str();
        return false;
    }
    *seed = g_loaded.seed;
    run_use_recording(&g_loaded);
    return true;
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
    if (match) run_stop();
}

// A sound the game played, as an event: printed and matched like the shell's
// events, but not given to the event hook, which follows what the shell shows.
void announce_sound(const char* name) { announce(name); }

} // namespace

void input_quit_game() { g_quit_asked = true; }

void input_editor() { g_editor_asked = true; }

void input_practice(int level) {
    if (level >= 1 && level <= 27) g_practice_asked = level;
}

namespace {

// The listener of the shell's events (set_event_listener).
void hear_event(const char* name) {
    viewer_note_event(name);
    records_hear(name, current_tick()); // nothing unless the run keeps records (records_start)
    if (g_event_hook) g_event_hook(name);
    announce(name);
}

} // namespace

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

bool recording_start(const char* path) { return recording_start_level(path, 0, random_seed_used()); }

bool recording_start_level(const char* path, int level, uint32_t seed) {
    recording_stop();
    if (!(level == 0 ? record_open(&g_writer, path, seed) : record_open(&g_writer, path, record_header_now(seed, level))))
        return false;
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

void run_reset_for_tests() {
    recording_stop();
    install_platform(&headless_platform);
    set_event_listener(hear_event);
    fix_run_seed(false, 0);
    g_tick = 0;
    g_event_hook = nullptr;
    g_tick_hook = nullptr;
    note_shell_wait(SHELL_PLAYS);
    g_quit_asked = false;
    g_practice_asked = 0;
    g_quit_held = 0;
    g_escape_after_box = false;
    run_options = RunOptions{};
    g_end_requested = false;
    run_use_recording(nullptr);
    viewer_stop();
}
