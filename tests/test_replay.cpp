// test_replay.cpp -- the recordings found by the solver, played back: the
// whole game from the title screen the way the program runs it (headless,
// fast), and each level's own recording in this process, every one completing
// its levels without losing a life.  Each replay is also the picture check:
// every 500 ticks it hashes the work and visible pages and compares them with
// the hashes kept in tests/replay_hashes_*.txt, so a drawing change that moves
// one pixel anywhere in the game fails here.  Each recording is played once.
//
// To record the hashes again after an intended change of the pictures:
//   CLOVENFELD_WRITE_HASHES=1 ./clovenfeld_tests --gtest_filter='Replay*'
#include "test_shell_util.h"

#include "main/options.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
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

constexpr long HASH_EVERY = 500;

// 64-bit FNV-1a over the pixel words of a page, row by row.
uint64_t page_hash(const Image* page)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (int y = 0; y < page->height; y++) {
        const uint32_t* row = page->row(y);
        for (int x = 0; x < page->width; x++) h = (h ^ row[x]) * 0x100000001b3ull;
    }
    return h;
}

// "<tick> <work page hash> <visible page hash>"
std::string hash_line(long tick)
{
    char line[64];
    std::snprintf(line, sizeof line, "%ld %016llx %016llx", tick,
                  static_cast<unsigned long long>(page_hash(work_page())),
                  static_cast<unsigned long long>(page_hash(visible_page())));
    return line;
}

std::string hash_file(const std::string& which)
{
    return std::string(SOURCE_DIR) + "/tests/replay_hashes_" + which + ".txt";
}

// Compares the hash lines of a replay with the kept ones, or with
// CLOVENFELD_WRITE_HASHES set, keeps these instead.
void check_hashes(const std::string& which, const std::vector<std::string>& got)
{
    const std::string path = hash_file(which);
    if (std::getenv("CLOVENFELD_WRITE_HASHES") != nullptr) {
        std::ofstream out(path);
        for (const auto& line : got) out << line << "\n";
        ASSERT_TRUE(out.good()) << path;
        return;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in.good()) << "no picture hashes in " << path;
    std::vector<std::string> want;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) want.push_back(line);
    ASSERT_FALSE(want.empty());
    for (size_t i = 0; i < want.size() && i < got.size(); i++)
        ASSERT_EQ(got[i], want[i]) << "the picture differs (\"<recording> <tick> <work> <visible>\")";
    EXPECT_EQ(got.size(), want.size());
}

// The seed piles on the map now.
int seeds_on_map()
{
    int n = 0;
    for (int k = 0; k <= last_cell; k++) n += cells[k].code == CELL_SEED;
    return n;
}

// The child of run_game: prints every 500th tick's hash line on stdout, and
// "took egg N" / "took seed N" for each egg and seed pile the frame that
// ended at tick N took, and "ticks N" at every tick.
void print_hash_line(long tick)
{
    static int eggs_before = 0, seeds_before = 0;
    const int seeds = seeds_on_map();
    // eggs_taken only grows within a level; a new level starts it at 0.
    for (int i = eggs_before; i < eggs_taken; i++) std::printf("took egg %ld\n", tick - 1);
    for (int i = seeds; i < seeds_before; i++) std::printf("took seed %ld\n", tick - 1);
    eggs_before = eggs_taken;
    seeds_before = seeds;
    if (tick % HASH_EVERY == 0) std::printf("hash game %s\n", hash_line(tick).c_str());
    std::printf("ticks %ld\n", tick);
    std::fflush(stdout); // the run ends with _exit
}

// Runs the game on a recording as the program does (its command line parsed,
// the headless back-end chosen, GAME_MAIN until the replay runs out), in a
// child process so the run ends as the program's does; returns what it
// printed: the --events lines and a "hash game ..." line every 500 ticks.
std::string run_game(const std::string& recording, int* status, const std::string& audio_out = "")
{
    int fds[2];
    std::fflush(nullptr);
    if (pipe(fds) != 0) {
        *status = -1;
        return "";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        if (chdir(GAME_DIR) != 0) _exit(97);
        run_reset_for_tests();
        close_screen_for_tests(); // so open_screen opens the (headless) window and starts the replay
        high_score = 0;
        const char* argv[] = {"clovenfeld", "--headless", "--fast", "--replay", recording.c_str(), "--events",
                              "--audio-out", audio_out.c_str()};
        CommandLine cl;
        if (parse_options(audio_out.empty() ? 6 : 8, argv, &cl, stderr) != OPTIONS_OK) _exit(98);
        run_options = cl.run;
        select_platform(&headless_platform);
        set_tick_hook(print_hash_line);
        GAME_MAIN();
        _exit(99); // never reached: the run ends when the replay runs out
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return out;
}

// The lines of text that start with prefix, prefix removed.
std::vector<std::string> lines_after(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
    return found;
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

// The soundtrack of the game recording (--audio-out): 480 frames a tick,
// an egg and a seed sound at the tick of each egg and seed pile taken,
// peaks at -1 dBFS or below, sound in every level's play, and the samples
// as kept (tests/sound_hash_game.txt; written again with the picture hashes).
void check_soundtrack(const std::string& out, const std::string& wav)
{
    std::ifstream in(wav, std::ios::binary);
    ASSERT_TRUE(in.good()) << "no sound file";
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::string> ticks = lines_after(out, "ticks ");
    ASSERT_FALSE(ticks.empty());
    const long last = std::atol(ticks.back().c_str());
    ASSERT_EQ(bytes.size(), 44u + static_cast<size_t>(last) * 480 * 4) << "not 480 frames a tick for " << last;

    for (const char* what : {"egg", "seed"}) {
        const std::vector<std::string> took = lines_after(out, std::string("took ") + what + " ");
        std::vector<std::string> played;
        for (const std::string& t : lines_after(out, "tick "))
            if (t.size() > 7 && t.substr(t.find(' ') + 1) == std::string("sound:") + what)
                played.push_back(t.substr(0, t.find(' ')));
        EXPECT_GT(took.size(), 10u);
        EXPECT_EQ(played, took) << what << " sounds against " << what << "s taken, by tick";
    }

    const int16_t* samples = reinterpret_cast<const int16_t*>(bytes.data() + 44);
    const size_t count = (bytes.size() - 44) / 2;
    int peak = 0;
    for (size_t i = 0; i < count; i++) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    EXPECT_LE(peak, 29204) << "the peak is over -1 dBFS";
    // Each level's play, from its start to the next box, is not silent.
    long start = -1;
    for (const std::string& t : lines_after(out, "tick ")) {
        const long tick = std::atol(t.c_str());
        if (t.find(" level:") != std::string::npos) start = tick;
        else if (start >= 0 && t.find(" infobox:") != std::string::npos) {
            double sum = 0;
            const size_t a = static_cast<size_t>(start) * 960, b = static_cast<size_t>(tick) * 960;
            for (size_t i = a; i < b && i < count; i++) sum += static_cast<double>(samples[i]) * samples[i];
            EXPECT_GT(std::sqrt(sum / static_cast<double>(b - a)), 30.0) << "silent play from tick " << start;
            start = -1;
        }
    }
    if (std::system("command -v sox >/dev/null") == 0) {
        const std::string stats = "sox \"" + wav + "\" -n stats 2>&1 | awk '/^Pk lev dB/ { print $4 }'";
        FILE* p = popen(stats.c_str(), "r");
        char line[64] = "";
        if (p && std::fgets(line, sizeof line, p)) {
            EXPECT_LE(std::atof(line), -1.0) << "sox's peak level";
        }
        if (p) pclose(p);
    }
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    char text[32];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    check_hashes("sound", {std::string("game.rec ") + text});
}

} // namespace

// The game recording from the title screen: all 27 levels completed, no life
// lost, the final score it names, and every 500th picture as kept.
TEST(ReplayGame, GameRecordingCompletesEveryLevelWithItsScore)
{
    const std::string path = RECORDINGS + "/game.rec";
    ASSERT_TRUE(fs::exists(path)) << "no game recording under " << RECORDINGS;
    const long expected = comment_number(path, "final score");
    ASSERT_GT(expected, 0) << "the recording names its final score";
    EXPECT_EQ(comment_number(path, "levels completed"), LAST_LEVEL);

    int status = 0;
    const std::string wav = "/tmp/clovenfeld-game-" + std::to_string(getpid()) + ".wav";
    const std::string out = run_game(path, &status, wav);
    EXPECT_EQ(status, 0) << out.substr(0, 2000);
    EXPECT_EQ(count_lines_with(out, " title"), 2); // before the game and after it
    EXPECT_EQ(count_lines_with(out, " level:"), LAST_LEVEL);
    EXPECT_EQ(count_lines_with(out, "infobox:All levels completed!"), 1);
    EXPECT_EQ(count_lines_with(out, "infobox:Final Score: " + std::to_string(expected)), 1);
    EXPECT_EQ(count_lines_with(out, "You lost a life!"), 0);
    EXPECT_EQ(count_lines_with(out, "Time Up!"), 0);
    EXPECT_EQ(count_lines_with(out, "Game Over"), 0);
    check_hashes("game", lines_after(out, "hash "));
    check_soundtrack(out, wav);
    std::remove(wav.c_str());
}

using ReplayLevel = ShellTest;

std::vector<std::string> level_hashes;
std::string level_name;

bool unexpected_box = false;

// Keeps every 500th tick's hash line (the recording answers the level's box
// itself).  A box the recording did not expect (a life lost) is closed here:
// left open, the replay would run dry waiting and end the process as a pass.
void level_tick_hook(long tick)
{
    if (tick % HASH_EVERY == 0) level_hashes.push_back(level_name + " " + hash_line(tick));
    if (unexpected_box) {
        keyboard_queue(' ');
        unexpected_box = false;
    }
}

void note_unexpected_box(const char* name)
{
    if (std::strncmp(name, "infobox:", 8) == 0 && std::strncmp(name, "infobox:Level ", 14) != 0) unexpected_box = true;
}

// Each level's own recording: a new game put at that level with the
// recording's seed, its box answered and its frames played from the file.
TEST_F(ReplayLevel, EachLevelRecordingTakesEveryEggWithoutLosingALife)
{
    int replayed = 0;
    level_hashes.clear();
    for (int lvl = 1; lvl <= LAST_LEVEL; lvl++) {
        const std::string path = RECORDINGS + "/level-" + std::to_string(lvl) + ".rec";
        SCOPED_TRACE(path);
        ASSERT_TRUE(fs::exists(path));
        Recording rec;
        std::string error;
        ASSERT_TRUE(load_recording(path.c_str(), &rec, &error)) << error;
        const long frames = comment_number(path, "frames");
        ASSERT_GT(frames, 0);

        run_reset_for_tests();
        run_options.headless = true;
        run_options.fast = true;
        set_event_hook(event_hook);
        on_event = note_unexpected_box;
        unexpected_box = false;
        level_name = "level-" + std::to_string(lvl);
        set_tick_hook(level_tick_hook);
        events.clear();
        fs::current_path(GAME_DIR);
        ASSERT_TRUE(headless_replay_level(&rec, lvl));
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
        run_use_recording(nullptr);
        replayed++;
    }
    EXPECT_EQ(replayed, LAST_LEVEL);
    check_hashes("levels", level_hashes);
}

// The real program replays a recording given as a pipe, a process
// substitution or a named FIFO (each readable only once) exactly as from the
// file: same events, same ticks, status 0.
TEST(ReplayGame, RecordingsThatAreStreamsReplayAsTheFileDoes)
{
    const std::string rec = RECORDINGS + "/game.rec";
    const std::string fifo = "/tmp/clovenfeld-replay-fifo-" + std::to_string(getpid());
    const std::string game = "\"" GAME_DIR "/clovenfeld\" --headless --fast --events --stop-at 'infobox:Level 3' --replay ";
    auto run = [&](const std::string& how) {
        const std::string cmd = "bash -c '" + how + "' 2>&1";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            const int st = pclose(p);
            out += "status " + std::to_string(WIFEXITED(st) ? WEXITSTATUS(st) : -1) + "\n";
        }
        return out;
    };
    auto quote = [](std::string s) { // inside bash -c '...'
        for (size_t i = 0; (i = s.find('\'', i)) != std::string::npos; i += 4) s.replace(i, 1, "'\\''");
        return s;
    };
    const std::string from_file = run(quote(game + "\"" + rec + "\""));
    ASSERT_NE(from_file.find("infobox:Level 3\nstatus 0\n"), std::string::npos) << from_file;
    EXPECT_EQ(run(quote("cat \"" + rec + "\" | " + game + "/dev/stdin")), from_file);
    EXPECT_EQ(run(quote(game + "<(cat \"" + rec + "\")")), from_file);
    EXPECT_EQ(run(quote("rm -f " + fifo + " && mkfifo " + fifo + " && (cat \"" + rec + "\" >" + fifo + " &) && " +
                        game + fifo + "; s=$?; rm -f " + fifo + "; exit $s")), from_file);
}
