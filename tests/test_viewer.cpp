// test_viewer.cpp -- the recording viewer's controls (which ticks may pass,
// how long each waits) and its progress line, and --watch on the command line.
#include "main/options.h"
#include "platform/keycodes.h"
#include "platform/viewer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

// How many of n asks for a tick are let through.
int ticks_let_through(int n) {
    int passed = 0;
    for (int i = 0; i < n; ++i) passed += viewer_take_tick() ? 1 : 0;
    return passed;
}

} // namespace

TEST(Viewer, PauseStepSpeedSkipAndEnd) {
    viewer_start(1000, true);
    EXPECT_EQ(ticks_let_through(5), 5);
    EXPECT_EQ(viewer_wait_us(10), 10000);

    // Space pauses; each step lets exactly one tick through, however often asked.
    EXPECT_TRUE(viewer_act(viewer_key_action(USAGE_SPACE)));
    EXPECT_EQ(ticks_let_through(5), 0);
    viewer_act(viewer_key_action(USAGE_RIGHT));
    viewer_act(viewer_key_action(USAGE_RIGHT));
    EXPECT_EQ(ticks_let_through(5), 2);
    viewer_act(VIEW_PAUSE);
    EXPECT_EQ(ticks_let_through(3), 3);
    // A step while playing stops the play where it is.
    viewer_act(VIEW_STEP);
    EXPECT_EQ(ticks_let_through(3), 0);
    viewer_act(VIEW_PAUSE);

    // Speeds from half to eight times, no further either way.
    std::vector<long long> waits;
    for (int i = 0; i < 6; ++i, viewer_act(VIEW_SLOWER)) waits.push_back(viewer_wait_us(10));
    for (int i = 0; i < 6; ++i, viewer_act(VIEW_FASTER)) waits.push_back(viewer_wait_us(10));
    EXPECT_EQ(waits, (std::vector<long long>{10000, 20000, 20000, 20000, 20000, 20000, 20000, 10000, 5000, 2500,
                                             1250, 1250}));

    // The next level: no waits until a level starts (or the title shows).
    viewer_act(VIEW_PAUSE);
    viewer_act(viewer_key_action(USAGE_A + ('N' - 'A')));
    EXPECT_TRUE(viewer_skipping());
    EXPECT_FALSE(viewer_paused()); // a skip plays
    EXPECT_EQ(viewer_wait_us(10), 0);
    viewer_note_event("infobox:Level 2");
    EXPECT_TRUE(viewer_skipping());
    viewer_note_event("level:2");
    EXPECT_FALSE(viewer_skipping());
    EXPECT_EQ(viewer_wait_us(10), 1250);

    // At the end a window holds the last picture: no tick, no step.
    EXPECT_TRUE(viewer_note_end());
    viewer_act(VIEW_PAUSE);
    viewer_act(VIEW_STEP);
    EXPECT_EQ(ticks_let_through(3), 0);
    EXPECT_FALSE(viewer_closed());
    viewer_act(viewer_key_action(USAGE_ESCAPE));
    EXPECT_TRUE(viewer_closed());

    // A page does not hold: the run ends when the recording does.
    viewer_start(10, false);
    EXPECT_FALSE(viewer_note_end());
    EXPECT_EQ(ticks_let_through(1), 1);
    // Keys the viewer does not know do nothing (the game's keys are the recording's).
    EXPECT_EQ(viewer_key_action(USAGE_A + ('S' - 'A')), VIEW_NONE);
    EXPECT_FALSE(viewer_act(VIEW_NONE));
    viewer_stop();
    EXPECT_FALSE(viewer_act(VIEW_PAUSE)); // not watching
}

TEST(Viewer, TheProgressLineShowsTheShareShownAndHides) {
    static uint32_t layer[480 * 640];
    viewer_start(400, true);
    for (long long tick : {0LL, 100LL, 400LL}) {
        viewer_note_tick(tick);
        ViewerView v;
        viewer_view(&v, 1000000);
        EXPECT_FALSE(v.text); // no key for a while, playing: the line alone
        std::fill(std::begin(layer), std::end(layer), 0x12345678u);
        viewer_draw(layer, 640, v, false);
        int done = 0;
        for (int x = 0; x < 640; ++x) done += layer[479 * 640 + x] == 0xFFFFD040u ? 1 : 0;
        EXPECT_EQ(done, tick * 640 / 400) << tick;
        EXPECT_EQ(layer[470 * 640 + 5], 0u) << "the rows above the line are left clear";
        EXPECT_EQ(layer[400 * 640 + 5], 0x12345678u) << "the drawing reaches no higher than its band";
    }
    // Paused: the state and the keys are written over the picture's foot.
    ViewerView v;
    const unsigned playing_stamp = viewer_view(&v, 1000000);
    viewer_act(VIEW_PAUSE);
    EXPECT_NE(viewer_view(&v, 1000000), playing_stamp) << "the presenter would not draw the pause";
    EXPECT_TRUE(v.text);
    char text[96];
    viewer_text(text, sizeof text, v);
    EXPECT_STREQ(text, "Paused \xFA 1x \xFA tick 400 of 400");
    viewer_act(VIEW_HIDE);
    viewer_view(&v, 1000000);
    std::fill(std::begin(layer), std::end(layer), 0x12345678u);
    viewer_draw(layer, 640, v, false);
    for (int y = 450; y < 480; ++y) EXPECT_EQ(layer[y * 640 + 320], 0u) << y;
    viewer_stop();
}

TEST(ViewerOptions, WatchOpensTheWindowAndGoesWithNoHeadlessRun) {
    auto parse = [](std::vector<const char*> args, CommandLine* cl) {
        args.insert(args.begin(), "clovenfeld");
        FILE* sink = std::tmpfile();
        const int r = parse_options(static_cast<int>(args.size()), args.data(), cl, sink);
        std::fclose(sink);
        return r;
    };
    CommandLine cl;
    ASSERT_EQ(parse({"--watch", "a.rec", "--scale", "2"}, &cl), OPTIONS_OK);
    EXPECT_TRUE(cl.run.watch);
    EXPECT_FALSE(cl.run.headless);
    EXPECT_STREQ(cl.run.replay_path, "a.rec");
    for (auto args : std::vector<std::vector<const char*>>{{"--watch"},
                                                          {"--watch", "a.rec", "--headless"},
                                                          {"--watch", "a.rec", "--replay", "b.rec"},
                                                          {"--watch", "a.rec", "--record", "b.rec"},
                                                          {"--watch", "a.rec", "--verify", "b.rec"}})
        EXPECT_EQ(parse(args, &cl), OPTIONS_BAD) << args.back();
}
