// test_replay.cpp -- the recordings found by the solver, played back: the
// whole game from the title screen through the real program (headless, fast),
// and each level's own recording in this process, every one completing its
// levels without losing a life.
#include "test_shell_util.h"

#include "main/snapshot.h"
#include "services/record.h"

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace shell_test;

namespace {

const std::string RECORDINGS = std::string(SOURCE_DIR) + "/assets/recordings";

// The number after "# <label> " in a recording's comment lines, or -1.
long comment_number(const std::string& path, const std::string& label)
{
    std::ifstream in(path);
    std::string line;
    const std::string head = "# " + label + " ";
    while (std::getline(in, line))
        if (line.rfind(head, 0) == 0) return std::atol(line.c_str() + head.size());
    return -1;
}

// Runs the game program on a recording and returns what it printed.
std::string run_program(const std::string& recording, int* status)
{
    const std::string cmd = std::string("cd '") + GAME_DIR + "' && ./clovenfeld --headless --fast --replay '" +
                            recording + "' --events 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    if (p == nullptr) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
    return out;
}

int count_lines_with(const std::string& text, const std::string& what)
{
    int n = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.find(what) != std::string::npos) n++;
    return n;
}

} // namespace

// The game recording from the title screen: all 27 levels completed, no life
// lost, and the final score it names.
TEST(ReplayGame, GameRecordingCompletesEveryLevelWithItsScore)
{
    const std::string path = RECORDINGS + "/game.rec";
    ASSERT_TRUE(fs::exists(path)) << "no game recording under " << RECORDINGS;
    const long expected = comment_number(path, "final score");
    ASSERT_GT(expected, 0) << "the recording names its final score";
    EXPECT_EQ(comment_number(path, "levels completed"), LAST_LEVEL);

    int status = 0;
    const std::string out = run_program(path, &status);
    EXPECT_EQ(status, 0) << out.substr(0, 2000);
    EXPECT_EQ(count_lines_with(out, " title"), 2); // before the game and after it
    EXPECT_EQ(count_lines_with(out, " level:"), LAST_LEVEL);
    EXPECT_EQ(count_lines_with(out, "infobox:All levels completed!"), 1);
    EXPECT_EQ(count_lines_with(out, "infobox:Final Score: " + std::to_string(expected)), 1);
    EXPECT_EQ(count_lines_with(out, "You lost a life!"), 0);
    EXPECT_EQ(count_lines_with(out, "Time Up!"), 0);
    EXPECT_EQ(count_lines_with(out, "Game Over"), 0);
}

using ReplayLevel = ShellTest;

// Each level's own recording: a new game put at that level with the
// recording's seed, its box answered and its frames played from the file.
TEST_F(ReplayLevel, EachLevelRecordingTakesEveryEggWithoutLosingALife)
{
    int replayed = 0;
    for (int lvl = 1; lvl <= LAST_LEVEL; lvl++) {
        const std::string path = RECORDINGS + "/level-" + std::to_string(lvl) + ".rec";
        SCOPED_TRACE(path);
        ASSERT_TRUE(fs::exists(path));
        Recording rec;
        std::string error;
        ASSERT_TRUE(load_recording(path.c_str(), &rec, &error)) << error;
        const long frames = comment_number(path, "frames");
        ASSERT_GT(frames, 0);

        platform_reset_for_tests();
        run_options.headless = true;
        run_options.fast = true;
        set_event_hook(event_hook);
        events.clear();
        fs::current_path(GAME_DIR);
        headless_use_recording(&rec);
        close_screen_for_tests();
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0); // applies the recording's line 0
        set_pages(0, 1);
        LEVEL_SETUP(lvl, rec.seed);
        LEVEL_START();
        long played = 0;
        // Stop before the recording runs out: a replay that runs dry ends the program.
        while (quit_code == 0 && current_tick() + 1 < rec.ticks) {
            PLAY_FRAME();
            played++;
        }
        EXPECT_EQ(quit_code, 2);
        EXPECT_EQ(eggs_taken, egg_total);
        EXPECT_EQ(lives, START_LIVES);
        EXPECT_EQ(played, frames);
        EXPECT_FALSE(saw("infobox:You lost a life!"));
        headless_use_recording(nullptr);
        replayed++;
    }
    EXPECT_EQ(replayed, LAST_LEVEL);
}
