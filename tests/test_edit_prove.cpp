// test_edit_prove.cpp -- the level being edited proved in a child process:
// a proof found replays to the level's end, a cancel ends the child and
// leaves nothing behind, and an egg sealed in blocks is named.
#include "test_shell_util.h"

#include "editor/edit_file.h"
#include "editor/edit_prove.h"
#include "map/map.h"
#include "platform/proof_file.h"
#include "port/datadir.h"
#include "services/sha256.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using shell_test::ShellTest;
namespace fs = std::filesystem;

class EditProveTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        temp_ = dir_ / "tmp";
        fs::create_directories(temp_);
        setenv("TMPDIR", temp_.c_str(), 1);
        std::snprintf(edit_prove_program, sizeof edit_prove_program, "%s/clovenfeld", GAME_DIR);
    }
    void TearDown() override {
        EDIT_PROVE_END();
        unsetenv("TMPDIR");
        edit_prove_program[0] = '\0';
        set_level_path(1, nullptr);
        ShellTest::TearDown();
    }
    // Ticks the watcher until the answer comes (the child's budget ends it).
    void wait_for_answer() {
        while (edit_proof.state == EDIT_PROOF_RUNNING) {
            EDIT_PROVE_TICK();
            usleep(10000);
        }
    }
    long left_in_temp() const { return std::distance(fs::directory_iterator(temp_), fs::directory_iterator()); }
    // Processes whose command line names our temporary folder.
    int provers_running() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator("/proc")) {
            std::ifstream in(e.path() / "cmdline", std::ios::binary);
            const std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            n += cmd.find(temp_.string()) != std::string::npos;
        }
        return n;
    }
    fs::path temp_;
};

} // namespace

// A small level proved while the test goes on ticking: the proof is kept
// where asked, the temporary folder goes, and the recording plays the level
// from its file to the end.  An edit makes the answer stale.
TEST_F(EditProveTest, SmallLevelProvesInTheBackgroundAndItsProofReplays) {
    EDIT_FILE_NEW(15);
    EDIT_PAINT(26, 13, CELL_EGG);
    EDIT_PAINT(23, 13, CELL_BLOCK);
    EDIT_PAINT(13, 13, CELL_EGG);
    const std::string kept = (dir_ / "proof.rec").string();
    ASSERT_TRUE(EDIT_PROVE_START(1, 1, 60, 1, kept.c_str())) << edit_proof.reason;
    EXPECT_EQ(edit_proof.level, 1);
    wait_for_answer();
    ASSERT_EQ(edit_proof.state, EDIT_PROOF_PROVEN) << edit_proof.reason;
    EXPECT_GT(edit_proof.frames_searched, 0) << "progress lines read";
    EXPECT_STREQ(edit_proof.recording, kept.c_str());
    EXPECT_EQ(left_in_temp(), 0);
    EXPECT_FALSE(EDIT_PROVE_STALE());

    char why[256] = "";
    const std::string level = (dir_ / "level.bmp").string();
    ASSERT_TRUE(EDIT_FILE_SAVE(level.c_str(), why, sizeof why)) << why;
    char hex[65];
    ASSERT_TRUE(sha256_file(level.c_str(), hex));
    EXPECT_STREQ(edit_proof.sha256, hex);
    ASSERT_TRUE(set_level_path(1, level.c_str()));
    LevelReplay replay;
    ASSERT_TRUE(replay_level_recording(kept.c_str(), 1, &replay, why, sizeof why)) << why;
    EXPECT_TRUE(replay.completed);
    EXPECT_EQ(replay.frames, edit_proof.ticks);

    EDIT_PAINT(5, 13, CELL_SEED);
    EXPECT_TRUE(EDIT_PROVE_STALE());
}

// Cancelled mid-search, the child is gone at once and so is every file it
// and the editor wrote.
TEST_F(EditProveTest, CancelEndsTheChildAndLeavesNoFiles) {
    char why[256] = "";
    ASSERT_TRUE(EDIT_FILE_OPEN(GAME_DIR "/levels/9.bmp", why, sizeof why)) << why;
    ASSERT_TRUE(EDIT_PROVE_START(9, 3, 300, 1, nullptr)) << edit_proof.reason;
    EXPECT_EQ(edit_proof.level, 27);
    while (edit_proof.state == EDIT_PROOF_RUNNING && edit_proof.frames_searched == 0) {
        EDIT_PROVE_TICK();
        usleep(10000);
    }
    ASSERT_EQ(edit_proof.state, EDIT_PROOF_RUNNING) << edit_proof.reason;
    EXPECT_EQ(provers_running(), 1);
    EXPECT_NE(std::strstr(edit_proof.progress, "proving level 27"), nullptr) << edit_proof.progress;
    EDIT_PROVE_CANCEL();
    EXPECT_EQ(edit_proof.state, EDIT_PROOF_CANCELLED);
    EXPECT_EQ(provers_running(), 0);
    EXPECT_EQ(left_in_temp(), 0);
}

// An egg walled in on the floor: the answer names its cell.  A level with
// no player's start is refused by the prover with its reason.
TEST_F(EditProveTest, SealedEggIsNotCompletableAndABadLevelFailsWithItsReason) {
    EDIT_FILE_NEW(15);
    EDIT_PAINT(24, 13, CELL_EGG);
    EDIT_PAINT(30, 13, CELL_EGG);
    EDIT_FILL(29, 12, 31, 12, CELL_BLOCK);
    EDIT_PAINT(29, 13, CELL_BLOCK);
    EDIT_PAINT(31, 13, CELL_BLOCK);
    ASSERT_TRUE(EDIT_PROVE_START(1, 1, 60, 1, nullptr)) << edit_proof.reason;
    wait_for_answer();
    ASSERT_EQ(edit_proof.state, EDIT_PROOF_NOT_COMPLETABLE) << edit_proof.reason;
    EXPECT_EQ(edit_proof.lost_col, 30);
    EXPECT_EQ(edit_proof.lost_row, 13);
    EXPECT_NE(std::strstr(edit_proof.reason, "(30, 13)"), nullptr) << edit_proof.reason;
    EXPECT_EQ(left_in_temp(), 0);

    EDIT_FILL(1, 1, 38, 13, CELL_EMPTY);
    ASSERT_TRUE(EDIT_PROVE_START(1, 2, 60, 1, nullptr)) << edit_proof.reason;
    wait_for_answer();
    EXPECT_EQ(edit_proof.state, EDIT_PROOF_FAILED);
    EXPECT_NE(std::strstr(edit_proof.reason, "no player start"), nullptr) << edit_proof.reason;
    EXPECT_EQ(left_in_temp(), 0);
}
