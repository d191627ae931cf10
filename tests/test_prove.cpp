// test_prove.cpp -- the prover: its recordings replay to the level's end in
// the game, its answers are honest (an egg out of reach is named, a budget
// too small says undecided, a file that is no level is refused), play states
// put back all that a level changes, and frames drawn or not move the world
// alike.
#include "test_shell_util.h"

#include "main/options.h"
#include "main/snapshot.h"
#include "platform/proof_file.h"
#include "platform/record.h"
#include "port/datadir.h"
#include "proof/prove.h"

#include <fstream>
#include <iterator>
#include <memory>

using namespace shell_test;

namespace {

class ProveTest : public ShellTest {
protected:
    void TearDown() override
    {
        drawing_on = 1;
        ShellTest::TearDown();
    }
    std::string out(const std::string& name) const { return (dir_ / name).string(); }
};

void run_pattern(int first, int last)
{
    for (int i = first; i < last && quit_code == 0; i++) {
        hold_pattern(i);
        PLAY_FRAME();
    }
}

} // namespace

// A proof of a shipped level with swans and one with the free duck, written
// as a recording: played back from the file by the prover's reader and by the
// run control's replay as the tests replay the shipped recordings, it ends
// the level at the plan's last frame with the plan's score and every life.
TEST_F(ProveTest, ProofsOfShippedLevelsReplayFromTheirFilesToTheLevelsEnd)
{
    fs::current_path(GAME_DIR);
    for (int lvl : {2, 10}) {
        SCOPED_TRACE(lvl);
        ASSERT_EQ(PROVE_LEVEL(lvl, 1, 120), PROOF_PROVEN);
        ASSERT_GT(proof_frame_count, 100);
        const int plan_frames = proof_frame_count, plan_score = proof_score;
        char why[256] = "";
        const std::string path = out("level-" + std::to_string(lvl) + ".rec");
        ASSERT_TRUE(write_level_proof(path.c_str(), lvl, 1, why, sizeof why)) << why;

        LevelReplay replay;
        ASSERT_TRUE(replay_level_recording(path.c_str(), lvl, &replay, why, sizeof why)) << why;
        EXPECT_TRUE(replay.completed);
        EXPECT_EQ(replay.frames, plan_frames);
        EXPECT_EQ(replay.score, plan_score);
        EXPECT_EQ(replay.lives_lost, 0);

        Recording rec;
        std::string error;
        ASSERT_TRUE(load_recording(path.c_str(), &rec, &error)) << error;
        EXPECT_EQ(rec.seed, 1u);
        events.clear();
        const long ticks_before = current_tick();
        ASSERT_TRUE(headless_replay_level(&rec, lvl));
        long played = 0;
        // Stop before the recording runs out: a replay that runs dry ends the program.
        while (quit_code == 0 && current_tick() - ticks_before + 1 < rec.ticks) {
            PLAY_FRAME();
            played++;
        }
        run_use_recording(nullptr);
        EXPECT_EQ(quit_code, 2);
        EXPECT_EQ(played, plan_frames);
        EXPECT_EQ(score, plan_score);
        EXPECT_EQ(lives, START_LIVES);
        EXPECT_FALSE(saw("infobox:You lost a life!"));
    }
}

// The search that leads on a level's enemies is not held up by the others:
// on level 18 (the duck) and level 22 (swans and the duck) the leader needs
// more than its first turn of 1.5 million frames on 18 and a little less on
// 22; the others' turns while it waits are a quarter of its own.  Frames searched, not seconds: the
// count is the same on any machine.
TEST_F(ProveTest, TheLeadingSearchWaitsOnlyShortTurnsOfTheOthers)
{
    fs::current_path(GAME_DIR);
    for (int lvl : {18, 22}) {
        SCOPED_TRACE(lvl);
        ASSERT_EQ(PROVE_LEVEL(lvl, 1, 120), PROOF_PROVEN);
        EXPECT_GT(proof_frames_searched, 1000000);
        EXPECT_LT(proof_frames_searched, lvl == 18 ? 3000000 : 1500000);
        EXPECT_EQ(PROOF_PLAYS_THROUGH(), 1);
    }
}

// What is not a proof is never written as one: a plan cut short writes no
// file (and leaves none half-written), and a recording cut short replays to
// where its keys end, not to the level's end.
TEST_F(ProveTest, APlanOrRecordingCutShortIsNoProof)
{
    fs::current_path(GAME_DIR);
    ASSERT_EQ(PROVE_LEVEL(2, 1, 120), PROOF_PROVEN);
    const int frames = proof_frame_count;
    char why[256] = "";
    const std::string whole = out("whole.rec"), cut = out("cut.rec");
    ASSERT_TRUE(write_level_proof(whole.c_str(), 2, 1, why, sizeof why)) << why;

    proof_frame_count = frames / 2;
    EXPECT_FALSE(write_level_proof(cut.c_str(), 2, 1, why, sizeof why));
    EXPECT_STREQ(why, "the plan does not complete level 2 when played");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "only whole.rec";

    // The recording's ticks, cut to the first half (written one a line).
    Recording rec;
    std::string error;
    ASSERT_TRUE(load_recording(whole.c_str(), &rec, &error)) << error;
    std::ofstream shorter(cut);
    shorter << "clovenfeld-recording 1\nseed " << rec.seed << "\n";
    static ReplayCursor cursor;
    replay_start(&cursor, &rec);
    TickInput tick;
    for (long t = 0; t < frames / 2 && replay_next(&cursor, &tick); t++) {
        char line[256];
        format_record_line(line, sizeof line, tick.held, tick.queued, tick.queued_count);
        shorter << line << "\n";
    }
    replay_finish(&cursor);
    shorter.close();
    LevelReplay replay;
    ASSERT_TRUE(replay_level_recording(cut.c_str(), 2, &replay, why, sizeof why)) << why;
    EXPECT_FALSE(replay.completed);
    EXPECT_LT(replay.frames, frames);
    ASSERT_TRUE(replay_level_recording(whole.c_str(), 2, &replay, why, sizeof why)) << why;
    EXPECT_TRUE(replay.completed);
}

// Tidying a proof merges short runs of keys, keeps a plan that completes the
// level (written and replayed from its file), and leaves the game at the
// level's start, where the game's own play of the plan begins.
TEST_F(ProveTest, ATidiedProofHasFewerChangesOfKeysAndStillCompletesTheLevel)
{
    fs::current_path(GAME_DIR);
    ASSERT_EQ(PROVE_LEVEL(11, 1, 120), PROOF_PROVEN);
    auto changes = [] {
        int n = 0;
        for (int f = 1; f < proof_frame_count; f++) n += proof_keys[f] != proof_keys[f - 1];
        return n;
    };
    const int before = changes();
    const uint64_t at_start = STATE_HASH();
    EXPECT_GT(PROOF_TIDY(60), 0);
    EXPECT_LT(changes(), before * 3 / 4) << "a quarter of the key changes go on level 11";
    EXPECT_EQ(STATE_HASH(), at_start) << "not left at the level's start";
    char why[256] = "";
    const std::string path = out("tidy.rec");
    ASSERT_TRUE(write_level_proof(path.c_str(), 11, 1, why, sizeof why)) << why;
    LevelReplay replay;
    ASSERT_TRUE(replay_level_recording(path.c_str(), 11, &replay, why, sizeof why)) << why;
    EXPECT_TRUE(replay.completed);
}

// A made level whose eggs are reached only by riding a lift and climbing.
TEST_F(ProveTest, AMadeLevelWithALiftIsProvenInEachRound)
{
    const std::vector<std::string> rows = {
        "#################################.####.#",
        "#......................................#",
        "#......................................#",
        "#......................................#",
        "#..........................e..e..e.....#",
        "#################################.####.#",
        "#......................................#",
        "#......................................#",
        "#......................................#",
        "#.....................e................#",
        "#...................##H###.............#",
        "#.....................H................#",
        "#.....................H................#",
        "#.P....e.........................V.....#",
        "#################################.####.#",
    };
    write_level(1, rows);
    ASSERT_EQ(PROVE_LEVEL(1, 1, 60), PROOF_PROVEN);
    EXPECT_EQ(egg_total, 5);
    EXPECT_EQ(PROOF_PLAYS_THROUGH(), 1);
    EXPECT_EQ(eggs_taken, 5);
    EXPECT_EQ(quit_code, 2);
}

// An egg sealed in blocks: not completable, named by its cell, and no search.
// A budget too small for a level of many eggs and swans: undecided, no plan.
TEST_F(ProveTest, AnswersAreHonestWithoutAPlan)
{
    std::vector<std::string> rows = still_level();
    write_level(1, rows);
    EXPECT_EQ(PROVE_LEVEL(1, 1, 5), PROOF_NOT_COMPLETABLE);
    EXPECT_EQ(proof_lost_col, 30);
    EXPECT_EQ(proof_lost_row, 2);
    EXPECT_EQ(proof_frames_searched, 0);

    // Four floors of eggs, each with two swans, joined by ladders.
    std::vector<std::string> busy(15, std::string(40, '.'));
    busy[0] = busy[14] = std::string(40, '#');
    for (int r = 1; r < 14; r++) busy[r].front() = busy[r].back() = '#';
    for (int r = 3; r <= 12; r += 3) {
        busy[r].replace(1, 38, std::string(38, '#'));
        for (int k = 0; k < 3; k++) busy[r + k][4 + r] = 'H';
        for (int c = 2; c < 38; c += 2) busy[r - 1][c] = 'e';
        busy[r - 1][9] = busy[r - 1][29] = 'S';
    }
    busy[13][3] = 'P';
    write_level(1, busy);
    EXPECT_EQ(PROVE_LEVEL(1, 1, 0.2), PROOF_UNDECIDED);
    EXPECT_EQ(proof_frame_count, 0);
    EXPECT_GT(proof_frames_searched, 0);
    // The game is left at the level's start.
    EXPECT_EQ(eggs_taken, 0);
    EXPECT_EQ(lives, START_LIVES);
}

TEST_F(ProveTest, FilesThatAreNoLevelAreRefusedWithTheReason)
{
    char why[512];
    write_level(1, still_level());
    EXPECT_EQ(LEVEL_FILE_CHECK("levels/1.bmp", why, sizeof why), 1);
    EXPECT_EQ(LEVEL_FILE_CHECK("levels/none.bmp", why, sizeof why), 0);
    EXPECT_STREQ(why, "cannot read levels/none.bmp");

    std::vector<std::string> rows = still_level();
    rows[7][9] = '.';
    write_level(2, rows);
    EXPECT_EQ(LEVEL_FILE_CHECK("levels/2.bmp", why, sizeof why), 0);
    EXPECT_STREQ(why, "levels/2.bmp: the level has no player start");

    // A code the game does not know, and a file cut short.
    std::string bytes;
    {
        std::ifstream in("levels/1.bmp", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string bad = bytes;
    bad[54 + 3] = 42; // the bottom row's fourth cell
    std::ofstream("levels/3.bmp", std::ios::binary) << bad;
    EXPECT_EQ(LEVEL_FILE_CHECK("levels/3.bmp", why, sizeof why), 0);
    EXPECT_STREQ(why, "levels/3.bmp: cell (3, 14) holds 42, which is no cell the game knows");
    std::ofstream("levels/4.bmp", std::ios::binary) << bytes.substr(0, bytes.size() - 1);
    EXPECT_EQ(LEVEL_FILE_CHECK("levels/4.bmp", why, sizeof why), 0);
    EXPECT_STREQ(why, "levels/4.bmp: the file ends before its 40 x 15 cells");
}

// set_level_path: the game's file number n read from another path, and back.
TEST_F(ProveTest, ALevelFileNamedInPlaceOfTheDataFoldersOne)
{
    std::vector<std::string> rows = still_level();
    rows[7][12] = 'e';
    write_level(1, rows);
    fs::create_directories("elsewhere");
    fs::rename("levels/1.bmp", "elsewhere/other.bmp");
    write_level(1, still_level());
    ASSERT_TRUE(set_level_path(1, "elsewhere/other.bmp"));
    NEW_GAME();
    LEVEL_START();
    EXPECT_EQ(egg_total, 3);
    ASSERT_TRUE(set_level_path(1, nullptr));
    NEW_GAME();
    LEVEL_START();
    EXPECT_EQ(egg_total, 2);
    EXPECT_FALSE(set_level_path(10, "x.bmp"));
}

// A play state taken on a level with lifts, swans and the free duck, put
// back after the game moved on: the same frames then give the same game as
// after a whole snapshot.  And frames without drawing move it alike.
TEST_F(ProveTest, PlayStatesAndFramesWithoutDrawingKeepTheGameExact)
{
    fs::current_path(GAME_DIR);
    press_space = true;
    LEVEL_SETUP(21, 9); // file 3: vertical lifts; swans and the duck
    LEVEL_START();
    run_pattern(0, 100);
    ASSERT_EQ(quit_code, 0);
    PLAY_STATE_MARK();
    ASSERT_GT(play_cell_count, 0);
    std::unique_ptr<unsigned char[]> state(new unsigned char[static_cast<size_t>(PLAY_STATE_BYTES())]);
    PLAY_STATE_TAKE(state.get());
    auto start = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(start.get());

    run_pattern(100, 500);
    auto first = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(first.get());
    ASSERT_EQ(SNAPSHOT_SAME(*start, *first), 0);

    PLAY_STATE_RESTORE(state.get());
    run_pattern(100, 500);
    auto second = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(second.get());
    EXPECT_EQ(SNAPSHOT_SAME(*first, *second), 1);

    SNAPSHOT_RESTORE(*start);
    drawing_on = 0;
    run_pattern(100, 500);
    drawing_on = 1;
    auto undrawn = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(undrawn.get());
    // Only the drawing colours may differ.
    undrawn->foreground = first->foreground;
    undrawn->background = first->background;
    EXPECT_EQ(SNAPSHOT_SAME(*first, *undrawn), 1);
}

TEST(ProveOptions, ProveTakesAFileOrAllAndItsOwnOptions)
{
    CommandLine cl;
    const char* one[] = {"clovenfeld", "--prove", "a.bmp", "--level", "12", "--budget", "2.5", "--out", "a.rec"};
    ASSERT_EQ(parse_options(9, one, &cl, stderr), OPTIONS_OK);
    EXPECT_STREQ(cl.prove_path, "a.bmp");
    EXPECT_EQ(cl.prove_level, 12);
    EXPECT_DOUBLE_EQ(cl.prove_budget, 2.5);
    EXPECT_STREQ(cl.prove_out, "a.rec");
    const char* all[] = {"clovenfeld", "--prove", "--all"};
    ASSERT_EQ(parse_options(3, all, &cl, stderr), OPTIONS_OK);
    EXPECT_TRUE(cl.prove_all);
    CommandLine v;
    const char* verify[] = {"clovenfeld", "--verify", "a.rec", "b c.rec", "--data", "d"};
    ASSERT_EQ(parse_options(6, verify, &v, stderr), OPTIONS_OK);
    ASSERT_EQ(v.verify_count, 2);
    EXPECT_STREQ(v.verify_files[1], "b c.rec");
    EXPECT_STREQ(v.data_dir, "d");

    // Without --prove, --level is a practice game.
    const char* practice[] = {"clovenfeld", "--level", "3"};
    ASSERT_EQ(parse_options(3, practice, &cl, nullptr), OPTIONS_OK);
    EXPECT_EQ(cl.run.practice_level, 3);

    FILE* quiet = std::fopen("/dev/null", "w");
    const std::vector<std::vector<const char*>> bad = {
        {"clovenfeld", "--prove"},
        {"clovenfeld", "--prove", "a.bmp", "--level", "28"},
        {"clovenfeld", "--prove", "a.bmp", "--budget", "0"},
        {"clovenfeld", "--prove", "a.bmp", "--budget", "1x"},
        {"clovenfeld", "--out", "a.rec"},
        {"clovenfeld", "--level", "3", "--replay", "b.rec"},
        {"clovenfeld", "--prove", "--all", "--level", "3"},
        {"clovenfeld", "--prove", "a.bmp", "--replay", "b.rec"},
        {"clovenfeld", "--verify"},
        {"clovenfeld", "--verify", "--seed", "3"},
        {"clovenfeld", "--verify", "a.rec", "--prove", "a.bmp"},
        {"clovenfeld", "--verify", "a.rec", "--replay", "b.rec"},
    };
    for (const auto& args : bad)
        EXPECT_EQ(parse_options(static_cast<int>(args.size()), args.data(), &cl, quiet), OPTIONS_BAD) << args.back();
    std::fclose(quiet);
}
