// run.h -- run control, with the back-ends above the game: choosing a
// back-end, the run's options, the tick counter, what the run does with the
// shell's events (--events, --stop-at), stopping a run with a shot of the
// work page, the input funnel from a window into the keyboard, recording and
// headless replay.  The back-ends report input and ticks here.
#pragma once

#include <string>

#include "port/platform.h"
#include "services/game_events.h"

#include <cstdint>

// How a run is set up; filled from the command line by the shell.
struct RunOptions {
    bool headless = false;
    const char* replay_path = nullptr; // headless: play this recording back
    bool watch = false;                // --watch: replay_path in the window, with the viewer's controls
    int practice_level = 0;            // --level N: a practice game of level N from the title screen
    const char* record_path = nullptr; // window: write the input to this recording
    bool seed_given = false;
    uint32_t seed = 0;                 // --seed N (also stored in recordings)
    bool fast = false;                 // headless: skip the real waits
    long stop_tick = -1;               // headless: stop after this many ticks
    const char* stop_event = nullptr;  // headless: stop when this event is announced
    const char* shot_path = nullptr;   // where to save the work page when stopping
    bool print_events = false;         // --events: print "tick <n> <name>" for every event
    // The window's size and mode.
    int window_scale = 0;              // --scale N (1 to 8); 0 = fit the desktop
    bool window_fit = false;           // --fit: any 4:3 size, not whole scales
    bool fullscreen = false;           // --fullscreen: start in desktop fullscreen
    // Sound.
    bool mute = false;                 // --mute: start muted (M toggles it)
    int volume = -1;                   // --volume N (0 to 100); -1 = as it was
    const char* audio_out_path = nullptr; // headless: render the run's sound to this WAV file
};

extern RunOptions run_options;

// Ticks (sleep_ms calls) since the program started.
long current_tick();

// The shell's events (game_events.h) as run control hears them: printed with
// --events, and a headless run given --stop-at with that name saves the work
// page to the shot file and ends with status 0.  A test or tool may also
// install a hook, which hears them first.
void set_event_hook(void (*hook)(const char* name));

// --- shared by the back-ends (run.cpp) ---------------------------------------

// Where the game's sound cues go after the run control has seen them (printed
// as "tick N sound:NAME" with --events): a back-end's audio output, or null.
// Called by the back-ends when they open and close their audio.
void set_audio_sink(void (*sink)(int id, int x));

// The run's input at open_window, the same for every back-end: an empty
// keyboard, the recording to make started (--record; a file that cannot be
// created ends the run with status 2), and the first line of the recording
// being replayed applied.  Called by the back-ends' open_window.
void run_open();
// One tick, the same for every back-end, after its wait: counts the tick,
// renders its sound for --audio-out, runs the test's tick hook, ends the run
// if run_request_end was called, applies the replayed recording's next line
// (the run stops when it runs out), then the window's input (recording_tick),
// and stops at run_options.stop_tick.  Called by the back-ends' tick.
void run_tick();
// The window's close button: the run ends at the next tick, before its input
// (any thread).
void run_request_end();
bool run_end_requested();
// Where the swans and the duck stood on the overview map at the last tick
// (page pixels), while the player wants them shown (an assist); stamp
// changes whenever they moved.  Any thread.  Read by the presenters.
int run_map_spots(MapSpot* out, int max, unsigned* stamp);
// Ends the run as a stop does: saves the work page to run_options.shot_path
// when given, then end_program(0).
[[noreturn]] void run_stop();

// Key input as the window reports it.  Without a recording it goes straight
// to the keyboard; while a recording is made it is buffered and handed over at
// the next tick boundary by recording_tick(), so a replay sees exactly what
// the game saw.  Called on the window thread.
enum InputEventKind { INPUT_KEY_DOWN, INPUT_KEY_UP, INPUT_CLEAR_HELD, INPUT_QUEUE };
void input_event(InputEventKind kind, int value);
// Starts recording to path with the effective seed in the header; false if
// the file cannot be created.
bool recording_start(const char* path);
// The same for a recording of one level played alone from its start with
// seed (LEVEL_SETUP), as a level's proof is: the level editor's plays.
bool recording_start_level(const char* path, int level, uint32_t seed);
bool recording_active();
// Game thread, at open_window (tick 0) and at every tick: hands over the
// pause menu's quit (input_quit_game), applies the buffered input, marks the
// tick boundary (keyboard_tick_boundary) and writes this tick's line.  Called
// by the window back-ends, recording or not.
void recording_tick();

// The player answered Y to the pause menu's "Quit? Y/N".  The game is handed
// what ends it as the player would, through input_event (so a recording has
// it): at the next tick an Escape press, let go a tick later, which in play
// ends the game (its "Final Score" box, then the title) and on the title
// screen ends the program; in a message box, where Escape does nothing, a
// Space press that closes the box, then the Escape press at the first tick
// of play after it (none when the title comes first: the game was over).
// Called by the window back-ends before they resume (any thread).
void input_quit_game();
// A practice game of level (1 to 27) asked for (--level, the pause menu's
// level list on the title screen, the page's picker): on the title screen
// the game is handed the practice code of that level (practice_key_code) at
// the next tick, through input_event, so a recording has it.  Asked
// elsewhere, it waits for the title screen.  Any thread.
void input_practice(int level);
// The level editor asked for: opened once the title screen waits.  Any thread.
void input_editor();
// Writes what is pending and closes the file (at the end of the run).
void recording_stop();

// Watching (run_options.watch): true when the next tick may pass now (the
// viewer plays, or a step was asked for).  When the recording has given all
// its ticks, its end is checked against the game (once) and, where the viewer
// holds the last picture, no tick passes any more.  A tick held prints
// "tick N view:held" once with --events.  Called by the back-ends' tick,
// after the wait the viewer's speed asks for, until it says yes.
bool watch_may_tick();
// Watching in a window: the game is over before the recording ran out (a
// level recording's level ended); the viewer holds the last picture until it
// is closed, and this never returns.  Otherwise returns at once.
void watch_hold();

// Reads the recording at path to replay from the next open_window; on a
// malformed file returns false with the reason in *error.  Called by
// select_platform.
bool replay_load(const char* path, uint32_t* seed, const char** error);

// Reads the recording at path ahead of the run and gives the level pack it
// names in *pack ("" for the built-in one); the run's replay_load of the same
// path then takes it as read, so a stream is read only once.  False with the
// reason in *error on a malformed file.  Called by main() before the
// back-end is chosen, to put the recording's pack in use.
bool replay_preload(const char* path, std::string* pack, std::string* error);

// --- the back-ends, and choosing one ---------------------------------------------

extern const Platform headless_platform;
extern const Platform sdl_platform;
extern const Platform windows_platform; // in the Windows build only
extern const Platform web_platform;     // in the browser build only

// Installs the back-end (install_platform; null: headless) and sets up the
// run for it: the sound, the listener of the shell's events, and the seed the
// shell starts from (fix_run_seed).  For headless with run_options.replay_path
// set it also reads the recording now (a malformed one: a message and exit
// status 2) and puts the recording's seed into run_options.seed / seed_given.
// Called by main() after the command line is parsed.
void select_platform(const Platform* p);

// Window back-end: runs game_main on a second thread while the calling (main)
// thread owns the window system; returns the status game_main ended with.
int run_with_window(int (*game_main)());

// --- seams for tests, tools and benchmarks (tests/headless_driver.h) --------------

struct Recording;

// Headless: called at every tick with the tick number, before the recorded
// input of that tick is applied; tests use it to press keys.
void set_tick_hook(void (*hook)(long tick));

// Forgets hooks, replay, recording, options, the fixed seed and the tick
// count, and installs the headless back-end.
void run_reset_for_tests();

// Replays this recording from the next open_window (null = none).  The
// recording must stay alive while it is used.  The program uses it for --replay.
void run_use_recording(const Recording* rec);

// What a replay of a version 2 recording found: its state hashes and its end
// line against the game's.  A difference is said on standard error, unless
// quiet (--verify says it its own way).
struct ReplayCheck {
    bool quiet = false;
    long long hashes_checked = 0;
    long long last_good = 0;     // the last state hash that agreed (0: the start)
    long long desync_after = 0;  // the first that differed (0: none)
    bool end_checked = false, end_ok = false; // end_ok: version 2 only
    long long ticks = 0;         // ticks replayed when the end was checked
    GameState end_state{};
};
const ReplayCheck& replay_check();
// The level a recording being replayed starts at (0: the title screen, or no
// replay).
int replay_start_level();
void replay_set_quiet(bool quiet);
// Compares the game now with the recording's end line (once; the run calls
// it when the recording runs out, --verify also when the game ends first).
void replay_check_end();
