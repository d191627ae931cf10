// test_run.cpp -- run control (platform/run.cpp) over the headless back-end:
// ticks and the tick hook, replays applied line by line, the end of a replay,
// the stop tick with its shot, announced events (--stop-at, --events, hooks),
// and the recording of window input at tick boundaries, which every back-end
// shares.
#include "services/clock.h"
#include "services/keyboard.h"
#include "port/platform.h"
#include "platform/run.h"
#include "services/game_events.h"
#include "services/random.h"
#include "platform/record.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string temp_path(const char* name) {
    return std::string("/tmp/clovenfeld_run_") + std::to_string(getpid()) + "_" + name;
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

long file_size(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Appends n to s, after a blank unless s is empty.  (Built in two steps:
// "" or " " + std::to_string(n) trips a false -Wrestrict in g++ 12 at -O2.)
void append_number(std::string& s, int n) {
    if (!s.empty()) s += ' ';
    s += std::to_string(n);
}

std::string held_keys() {
    std::string s;
    for (int i = 0; i < 128; ++i)
        if (key_down(i)) append_number(s, i);
    return s;
}

std::string drain_queue() {
    std::string s;
    for (std::string k = read_key(); !k.empty(); k = read_key()) {
        if (!s.empty()) s += ' ';
        const int c = static_cast<unsigned char>(k[0]);
        s += std::to_string(k.size() == 2 ? 255 + 256 * static_cast<unsigned char>(k[1]) : c);
    }
    return s;
}

class RunControl : public ::testing::Test {
protected:
    void SetUp() override {
        run_reset_for_tests();
        close_screen_for_tests();
        run_options.fast = true;
    }
    void TearDown() override {
        run_reset_for_tests();
        keyboard_reset();
        close_screen_for_tests();
    }
    void open() { ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0); }
};

std::vector<long> g_hook_ticks;
std::vector<std::string> g_hook_held; // the held keys the hook saw
void record_hook(long tick) {
    g_hook_ticks.push_back(tick);
    g_hook_held.push_back(held_keys());
}

std::vector<std::string> g_events;
void event_hook(const char* name) { g_events.emplace_back(name); }

} // namespace

TEST_F(RunControl, HeadlessIsTheDefaultAndEachSleepIsOneTick) {
    EXPECT_EQ(platform(), &headless_platform);
    open();
    g_hook_ticks.clear();
    g_hook_held.clear();
    set_tick_hook(record_hook);
    const long before = current_tick();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sleep_ms(10), 0);
    EXPECT_EQ(current_tick(), before + 5);
    ASSERT_EQ(g_hook_ticks.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(g_hook_ticks[i], before + 1 + i);
}

TEST_F(RunControl, ReplayAppliesLineZeroAtOpenAndLineIAfterTheIthSleep) {
    Recording rec;
    std::string err;
    const std::string text =
        "clovenfeld-recording 1\nseed 7\n"
        "77|\n"          // tick 0: at open
        "2x 72 77|32\n"  // ticks 1, 2
        "|115 18687\n"   // tick 3: nothing held, 's' and Up queued
        "42|\n";         // tick 4: either Shift holds both
    ASSERT_TRUE(parse_recording(text.data(), text.size(), &rec, &err)) << err;
    run_use_recording(&rec);
    g_hook_held.clear();
    set_tick_hook(record_hook);

    open();
    EXPECT_EQ(held_keys(), "77");
    EXPECT_EQ(drain_queue(), "");
    sleep_ms(10);
    EXPECT_EQ(held_keys(), "72 77");
    EXPECT_EQ(drain_queue(), "32");
    sleep_ms(10);
    EXPECT_EQ(held_keys(), "72 77");
    EXPECT_EQ(drain_queue(), "32");
    sleep_ms(10);
    EXPECT_EQ(held_keys(), "");
    EXPECT_EQ(drain_queue(), "115 18687");
    sleep_ms(10);
    EXPECT_EQ(held_keys(), "42 54");
    // The hook runs before the tick's line: it saw the previous tick's keys.
    const std::vector<std::string> seen = {"77", "72 77", "72 77", ""};
    EXPECT_EQ(g_hook_held, seen);
    // The recording has run out: the next tick ends the run with status 0.
    EXPECT_EXIT(sleep_ms(10), ::testing::ExitedWithCode(0), "");
}

TEST_F(RunControl, QueuedKeysOfAReplayKeepUnreadOnesAndDropTheOldest) {
    Recording rec;
    std::string err;
    std::string text = "clovenfeld-recording 1\nseed 7\n|\n|";
    for (int i = 0; i < 20; ++i) {
        text += ' ';
        text += std::to_string('a' + i);
    }
    text += "\n";
    ASSERT_TRUE(parse_recording(text.data(), text.size(), &rec, &err)) << err;
    run_use_recording(&rec);
    open();
    sleep_ms(10);
    std::string want;
    for (int i = 5; i < 20; ++i) append_number(want, 'a' + i);
    EXPECT_EQ(drain_queue(), want);
}

TEST_F(RunControl, StopTickSavesTheShotAndEndsWithZero) {
    const std::string shot = temp_path("shot.bmp");
    std::remove(shot.c_str());
    run_options.stop_tick = 3;
    run_options.shot_path = shot.c_str();
    open();
    sleep_ms(10);
    sleep_ms(10);
    EXPECT_EQ(current_tick(), 2);
    EXPECT_EXIT(sleep_ms(10), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(file_size(shot), 1228854);
    std::remove(shot.c_str());
}

TEST_F(RunControl, ShotThatCannotBeWrittenIsReported) {
    run_options.stop_tick = 1;
    run_options.shot_path = "/nonexistent/dir/shot.bmp";
    open();
    EXPECT_EXIT(sleep_ms(10), ::testing::ExitedWithCode(2), "cannot save /nonexistent/dir/shot.bmp");
}

TEST_F(RunControl, EventsReachTheHookThePrintoutAndTheStop) {
    open();
    g_events.clear();
    set_event_hook(event_hook);
    announce_event("title");
    announce_event("infobox:Level 1");
    EXPECT_EQ(g_events, (std::vector<std::string>{"title", "infobox:Level 1"}));

    run_options.print_events = true;
    sleep_ms(10);
    sleep_ms(10);
    testing::internal::CaptureStdout();
    announce_event("level:1");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "tick 2 level:1\n");
    run_options.print_events = false;

    run_options.stop_event = "infobox:Level 2";
    announce_event("infobox:Level 1");
    announce_event("infobox:Level 20"); // an exact name must match exactly
    EXPECT_EXIT(announce_event("infobox:Level 2"), ::testing::ExitedWithCode(0), "");
    run_options.stop_event = "infobox:Final*";
    announce_event("infobox:Level 3");
    EXPECT_EXIT(announce_event("infobox:Final Score: 120"), ::testing::ExitedWithCode(0), "");
    run_options.stop_event = "*";
    EXPECT_EXIT(announce_event("frame"), ::testing::ExitedWithCode(0), "");
}

TEST_F(RunControl, SelectingHeadlessReadsTheReplayAndItsSeed) {
    const std::string path = temp_path("seed.txt");
    write_file(path, "clovenfeld-recording 1\nseed 4000000000\n57|32\n");
    run_options.replay_path = path.c_str();
    select_platform(&headless_platform);
    EXPECT_TRUE(run_options.seed_given);
    EXPECT_EQ(run_options.seed, 4000000000u);
    open();
    EXPECT_TRUE(key_down(57));
    EXPECT_EQ(read_key(), " ");
    std::remove(path.c_str());
}

TEST_F(RunControl, MalformedReplayEndsWithStatusTwoAndAMessage) {
    const std::string path = temp_path("bad.txt");
    write_file(path, "clovenfeld-recording 1\nseed 1\n|\n200|\n");
    run_options.replay_path = path.c_str();
    EXPECT_EXIT(select_platform(&headless_platform), ::testing::ExitedWithCode(2), "line 4: scan code 200");
    run_options.replay_path = "/nonexistent/rec.txt";
    EXPECT_EXIT(select_platform(&headless_platform), ::testing::ExitedWithCode(2), "bad recording");
    std::remove(path.c_str());
}

TEST_F(RunControl, WindowInputIsRecordedAtTickBoundariesAndReplaysTheSame) {
    const std::string path = temp_path("rec.txt");
    open();
    seed_random(31337);
    ASSERT_TRUE(recording_start(path.c_str()));
    // What the window thread would report, tick by tick; the game side
    // applies and writes it at each boundary.
    std::vector<std::string> seen_held, seen_queue;
    auto boundary = [&] {
        recording_tick();
        seen_held.push_back(held_keys());
        seen_queue.push_back(drain_queue());
    };
    boundary(); // tick 0
    input_event(INPUT_KEY_DOWN, 77);
    EXPECT_FALSE(key_down(77)); // buffered until the boundary
    boundary();
    input_event(INPUT_KEY_DOWN, 57);
    input_event(INPUT_QUEUE, ' ');
    input_event(INPUT_KEY_UP, 57); // pressed and released within one tick: held for it
    boundary();
    boundary();
    input_event(INPUT_QUEUE, 255 + 256 * 72);
    input_event(INPUT_QUEUE, 999); // not a key code: neither applied nor written
    input_event(INPUT_CLEAR_HELD, 0);
    boundary();
    input_event(INPUT_KEY_DOWN, 54);
    boundary();
    recording_stop();
    EXPECT_FALSE(recording_active());
    input_event(INPUT_KEY_DOWN, 80); // not recording: straight to the table
    EXPECT_TRUE(key_down(80));

    Recording rec;
    std::string err;
    ASSERT_TRUE(load_recording(path.c_str(), &rec, &err)) << err;
    EXPECT_EQ(rec.seed, 31337u);
    ASSERT_EQ(rec.ticks, 6);

    // The replay gives the game exactly what it saw while recording.
    keyboard_reset();
    run_use_recording(&rec);
    close_screen_for_tests();
    open();
    std::vector<std::string> replay_held, replay_queue;
    for (int t = 0; t < 6; ++t) {
        if (t > 0) sleep_ms(10);
        replay_held.push_back(held_keys());
        replay_queue.push_back(drain_queue());
    }
    EXPECT_EQ(replay_held, seen_held);
    EXPECT_EQ(replay_queue, seen_queue);
    const std::vector<std::string> want_held = {"", "77", "57 77", "77", "", "42 54"};
    const std::vector<std::string> want_queue = {"", "", "32", "", "18687", ""};
    EXPECT_EQ(seen_held, want_held);
    EXPECT_EQ(seen_queue, want_queue);
    std::remove(path.c_str());
}
