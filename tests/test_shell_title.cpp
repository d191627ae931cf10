// test_shell_title.cpp -- tests of the title screen, the message box, the
// centring rule, the command line and whole runs of the game program.
#include "test_shell_util.h"

#include "main/options.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace shell_test;

TEST(ShellCentre, HalfEvenRounding)
{
    const struct { int a, half; } cases[] = {
        {0, 0}, {2, 1}, {1, 0}, {3, 2}, {5, 2}, {7, 4}, {-1, 0}, {-3, -2}, {-5, -2}, {-4, -2},
        {640 - 8 * 17, 252}, {640 - 180, 230}, {480 - 70, 205}, {640 + 180, 410}, {480 + 70, 275},
    };
    for (const auto& c : cases) EXPECT_EQ(HALF_EVEN(c.a), c.half) << "a = " << c.a;
}

using ShellTitle = ShellTest;

TEST_F(ShellTitle, TitleLinesAndTheirPlaces)
{
    high_score = 1234;
    FILL_TITLE_LINES();
    EXPECT_EQ(std::string(WINDOW_TITLE), std::string("Clovenfeld Returns [Version 0.5 (2026)] ") + WEB_ADDRESS);

    TITLE();
    EXPECT_TRUE(saw("title"));
    const uint32_t yellow = 0xFFFF00;
    EXPECT_TRUE(text_at("High Score : 1234", 252, 162, yellow));
    EXPECT_TRUE(text_at("Clovenfeld Returns", 248, 50, yellow));
    EXPECT_TRUE(text_at("Press [Escape] to Quit", 232, 210, yellow));
    EXPECT_TRUE(text_at(WEB_ADDRESS, CENTRED_X(static_cast<int>(std::strlen(WEB_ADDRESS))), 226, yellow));
    // Line 3 is empty: its rows hold nothing.
    for (int x = 32; x < 608; x++)
        for (int y = 98; y < 114; y++) ASSERT_EQ(pixel(x, y), 0u) << x << "," << y;
}

TEST_F(ShellTitle, BrickFramePlatformAndSwans)
{
    FILL_TITLE_LINES();
    TITLE();
    const Image* brick = shell_images[1];
    const Image* swan_r = shell_images[3];
    const uint32_t black = background_color() & 0xFFFFFF;
    auto brick_at = [&](int x, int y) {
        for (int yy = 0; yy < 32; yy++)
            for (int xx = 0; xx < 32; xx++)
                if (pixel(x + xx, y + yy) != ((brick->row(yy)[xx] ^ black) & 0xFFFFFF)) return false;
        return true;
    };
    for (int i = 0; i < 20; i++) {
        EXPECT_TRUE(brick_at(32 * i, 0)) << "top " << i;
        EXPECT_TRUE(brick_at(32 * i, 448)) << "bottom " << i;
    }
    for (int j = 1; j <= 13; j++) {
        EXPECT_TRUE(brick_at(0, 32 * j)) << "left " << j;
        EXPECT_TRUE(brick_at(608, 32 * j)) << "right " << j;
    }
    for (int i = 1; i <= 8; i++) EXPECT_TRUE(brick_at(32 * i + 160, 320)) << "platform " << i;
    EXPECT_FALSE(brick_at(160, 320)); // the platform starts at x 192
    EXPECT_EQ(pixel(100, 300), 0u);

    // The right-facing swans: every opaque pixel of the sprite is on the page.
    int opaque = 0;
    for (int yy = 0; yy < 32; yy++)
        for (int xx = 0; xx < 32; xx++) {
            const uint32_t p = swan_r->row(yy)[xx] & 0xFFFFFF;
            if (p == 0xFF00FF) continue;
            opaque++;
            ASSERT_EQ(pixel(32 + xx, 416 + yy), p);
            ASSERT_EQ(pixel(192 + xx, 288 + yy), p);
        }
    EXPECT_GT(opaque, 0);
}

TEST_F(ShellTitle, EarlierPressesAndOtherKeysDoNotStartTheGame)
{
    FILL_TITLE_LINES();
    keyboard_queue(' '); // made before the picture: thrown away
    const long start = current_tick();
    quiet_until_tick = start + 6;
    extra_key = KEY_CLOSE_CODE; // the close button is just another key
    TITLE();
    EXPECT_GE(current_tick(), start + 6);
    EXPECT_LE(current_tick(), start + 8);
}

TEST_F(ShellTitle, EscapeHeldOnTheTitleEndsTheProgramWithStatus0)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FILL_TITLE_LINES();
    press_space = false;
    EXPECT_EXIT(
        {
            hold_escape = true;
            TITLE();
            std::exit(7); // not reached
        },
        ::testing::ExitedWithCode(0), "");
}

using ShellInfobox = ShellTest;

TEST_F(ShellInfobox, BoxFrameMessageAndPressSpace)
{
    set_color(0xFF000000, 0xFF123456, 0);
    clear_screen();
    INFOBOX("You lost a life!");
    EXPECT_TRUE(saw("infobox:You lost a life!"));
    const uint32_t yellow = 0xFFFF00, magenta = 0xFF00FF, paper = 0x123456;
    EXPECT_TRUE(text_at("You lost a life!", 256, 220, yellow));
    EXPECT_TRUE(text_at("Press Space", 276, 240, yellow));
    // The outer outline (230, 205)-(410, 275) and the one 2 pixels up and left.
    for (int x = 230; x <= 410; x++) {
        EXPECT_EQ(pixel(x, 205), magenta) << x;
        EXPECT_EQ(pixel(x, 275), magenta) << x;
    }
    for (int y = 205; y <= 275; y++) {
        EXPECT_EQ(pixel(230, y), magenta) << y;
        EXPECT_EQ(pixel(410, y), magenta) << y;
    }
    EXPECT_EQ(pixel(228, 203), magenta);
    EXPECT_EQ(pixel(408, 273), magenta);
    EXPECT_EQ(pixel(228, 273), magenta);
    EXPECT_EQ(pixel(408, 203), magenta);
    // Black inside, the old picture outside.
    EXPECT_EQ(pixel(240, 210), 0u);
    EXPECT_EQ(pixel(400, 270), 0u);
    EXPECT_EQ(pixel(409, 274), 0u);
    EXPECT_EQ(pixel(227, 203), paper);
    EXPECT_EQ(pixel(411, 276), paper);
    EXPECT_EQ(pixel(409, 276), paper);
    EXPECT_EQ(pixel(0, 0), paper);
}

TEST_F(ShellInfobox, EmptyMessageDrawsOnlyTheBoxAndPressSpace)
{
    set_color(0xFF000000, 0xFF000000, 0);
    clear_screen();
    INFOBOX("");
    EXPECT_TRUE(saw("infobox:"));
    for (int y = 220; y < 236; y++)
        for (int x = 231; x < 408; x++) ASSERT_EQ(pixel(x, y), 0u) << x << "," << y;
    EXPECT_TRUE(text_at("Press Space", 276, 240, 0xFFFF00));
}

TEST_F(ShellInfobox, WaitsForANewSpaceAndIgnoresEscape)
{
    keyboard_queue(' ');
    keyboard_queue(' ');
    const long start = current_tick();
    quiet_until_tick = start + 4;
    hold_escape = true; // Escape does nothing in a box
    INFOBOX("Game Over");
    EXPECT_GE(current_tick(), start + 4);
    EXPECT_LE(current_tick(), start + 6);
}

TEST_F(ShellInfobox, LongFinalScoreMessageIsCentredWholly)
{
    set_color(0xFF000000, 0xFF000000, 0);
    clear_screen();
    INFOBOX(std::string("Final Score: -2147483648"));
    EXPECT_TRUE(text_at("Final Score: -2147483648", 224, 220, 0xFFFF00));
    EXPECT_TRUE(saw("infobox:Final Score: -2147483648"));
}

// --- the command line ---------------------------------------------------------

namespace {

int parse(std::initializer_list<const char*> args, CommandLine* cl)
{
    std::vector<const char*> argv = {"clovenfeld"};
    argv.insert(argv.end(), args.begin(), args.end());
    FILE* sink = std::tmpfile();
    const int r = parse_options(static_cast<int>(argv.size()), argv.data(), cl, sink);
    std::fclose(sink);
    return r;
}

} // namespace

TEST(ShellOptions, DefaultsPlayTheGameInAWindow)
{
    CommandLine cl;
    ASSERT_EQ(parse({}, &cl), OPTIONS_OK);
    EXPECT_FALSE(cl.run.headless);
    EXPECT_FALSE(cl.run.seed_given);
    EXPECT_FALSE(cl.run.fast);
    EXPECT_EQ(cl.run.stop_tick, -1);
    EXPECT_EQ(cl.run.replay_path, nullptr);
    EXPECT_EQ(cl.run.record_path, nullptr);
    EXPECT_EQ(cl.run.stop_event, nullptr);
    EXPECT_EQ(cl.run.shot_path, nullptr);
    EXPECT_FALSE(cl.run.print_events);
    EXPECT_FALSE(cl.show_help);
    EXPECT_FALSE(cl.show_version);
}

TEST(ShellOptions, EveryOptionIsRead)
{
    CommandLine cl;
    ASSERT_EQ(parse({"--headless", "--fast", "--seed", "4294967295", "--stop-tick", "900", "--stop-at",
                     "level:2", "--shot", "s.bmp", "--events"},
                    &cl),
              OPTIONS_OK);
    EXPECT_TRUE(cl.run.headless);
    EXPECT_TRUE(cl.run.fast);
    EXPECT_TRUE(cl.run.seed_given);
    EXPECT_EQ(cl.run.seed, 4294967295u);
    EXPECT_EQ(cl.run.stop_tick, 900);
    EXPECT_STREQ(cl.run.stop_event, "level:2");
    EXPECT_STREQ(cl.run.shot_path, "s.bmp");
    EXPECT_TRUE(cl.run.print_events);

    ASSERT_EQ(parse({"--replay", "r.txt"}, &cl), OPTIONS_OK);
    EXPECT_STREQ(cl.run.replay_path, "r.txt");
    EXPECT_TRUE(cl.run.headless); // a replay has no window
    ASSERT_EQ(parse({"--record", "r.txt", "--seed", "0"}, &cl), OPTIONS_OK);
    EXPECT_STREQ(cl.run.record_path, "r.txt");
    EXPECT_TRUE(cl.run.seed_given);
    EXPECT_EQ(cl.run.seed, 0u);
    ASSERT_EQ(parse({"--mute", "--no-settings", "--settings", "s.cfg", "--volume", "40", "--audio-out", "a.wav"}, &cl),
              OPTIONS_OK);
    EXPECT_TRUE(cl.run.mute);
    EXPECT_TRUE(cl.no_settings);
    EXPECT_STREQ(cl.settings_path, "s.cfg");
    EXPECT_EQ(cl.run.volume, 40);
    EXPECT_STREQ(cl.run.audio_out_path, "a.wav");
    EXPECT_TRUE(cl.run.headless); // the sound file is written without a window
    EXPECT_FALSE(cl.run.fast || cl.run.print_events || cl.run.window_fit || cl.run.fullscreen || cl.show_help);
    ASSERT_EQ(parse({"--version"}, &cl), OPTIONS_OK);
    EXPECT_TRUE(cl.show_version);
    ASSERT_EQ(parse({"--help"}, &cl), OPTIONS_OK);
    EXPECT_TRUE(cl.show_help);
}

TEST(ShellOptions, BadOptionsAreRefused)
{
    CommandLine cl;
    EXPECT_EQ(parse({"--bogus"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"level1"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--seed"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--seed", "-1"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--seed", "4294967296"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--seed", "12x"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--stop-tick", ""}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--stop-tick", "-5"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--shot"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--headless", "--record", "r.txt"}, &cl), OPTIONS_BAD);
    EXPECT_EQ(parse({"--replay", "a", "--record", "b"}, &cl), OPTIONS_BAD);
}

// --- the real program, headless -------------------------------------------------

namespace {

struct ProgramRun {
    int status;
    std::string out;
};

// Runs the game program with a shell command line; collects stdout.
ProgramRun run_game(const std::string& args)
{
    const std::string cmd = "\"" GAME_DIR "/clovenfeld\" " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    ProgramRun r{-1, ""};
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

} // namespace

TEST(ShellProgram, VersionHelpAndBadOptions)
{
    ProgramRun r = run_game("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Clovenfeld Returns 0.5\n");
    r = run_game("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--replay"), std::string::npos);
    r = run_game("--no-such-option");
    EXPECT_EQ(r.status, 2);
    r = run_game("--stop-tick");
    EXPECT_EQ(r.status, 2);
}

TEST(ShellProgram, HeadlessRunStopsAtTheTitleWithAShot)
{
    const auto dir = fs::temp_directory_path() / ("clovenfeld-prog-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string shot = (dir / "title.bmp").string();
    const ProgramRun r = run_game("--headless --fast --seed 5 --events --stop-at title --shot \"" + shot + "\"");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" title\n"), std::string::npos) << r.out;
    ASSERT_TRUE(fs::exists(shot));
    EXPECT_EQ(fs::file_size(shot), 1228854u);
    fs::remove_all(dir);
}

TEST(ShellProgram, ReplayedGameReachesLevelOneAndEndsOnEscape)
{
    // Space on the title, Space on "Level 1", then Escape held in play,
    // Space on "Final Score: 0", and Escape held on the next title screen.
    const auto dir = fs::temp_directory_path() / ("clovenfeld-replay-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto saved = fs::current_path();
    fs::copy(fs::path(GAME_DIR) / "gfx", dir / "gfx", fs::copy_options::recursive);
    fs::current_path(dir);
    write_level(1, still_level()); // the program runs in dir
    const std::string rec = (dir / "game.txt").string();
    {
        std::ofstream out(rec);
        out << "clovenfeld-recording 1\nseed 99\n|\n"
               "3x |\n|32\n3x |\n|32\n3x |\n3x 1|\n3x |\n|32\n3x |\n30x 1|\n";
    }
    const ProgramRun r = run_game("--replay \"" + rec + "\" --fast --events");
    fs::current_path(saved);
    EXPECT_EQ(r.status, 0) << r.out;
    const char* expected[] = {" title\n", " infobox:Level 1\n", " level:1\n", " infobox:Final Score: 0\n"};
    size_t at = 0;
    for (const char* e : expected) {
        const size_t found = r.out.find(e, at);
        ASSERT_NE(found, std::string::npos) << "missing" << e << "in\n" << r.out;
        at = found;
    }
    EXPECT_EQ(r.out.find("Game Over"), std::string::npos);
    // Then the title screen again, where the held Escape ends the program.
    EXPECT_NE(r.out.find(" title\n", at), std::string::npos) << r.out;
    fs::remove_all(dir);
}
