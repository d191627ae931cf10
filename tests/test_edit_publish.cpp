// test_edit_publish.cpp -- Publish: a level drawn in the editor, proved in
// the background in its three rounds and published is a pack the game
// verifies; a pack with a proof missing or stale is refused with the list,
// and nothing is written.
#include "editor/edit_file.h"
#include "editor/edit_prove.h"
#include "editor/edit_publish.h"
#include "map/map.h"

#include "test_command_util.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kExample[] = SOURCE_DIR "/assets/packs/example";

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/clovenfeld_publish_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        PUBLISH_CLEAR(&publish_form);
        set(publish_form.author, "A. Tester");
        set(publish_form.licence, "CC0-1.0");
    }
    void TearDown() override {
        EDIT_PROVE_END();
        edit_prove_program[0] = '\0';
        fs::remove_all(dir);
    }
    template <size_t N> static void set(char (&to)[N], const std::string& text) {
        std::snprintf(to, N, "%s", text.c_str());
    }
    ToolRun verify(const fs::path& pack) {
        return run("cd '" GAME_DIR "' && XDG_DATA_HOME='" + dir.string() + "' ./clovenfeld --verify-pack '" +
                   pack.string() + "'");
    }
    std::vector<std::string> problems() const {
        return {result.problem, result.problem + std::min(result.problems, static_cast<int>(PUBLISH_PROBLEMS))};
    }
    fs::path dir;
    PublishResult result;
};

} // namespace

// The editor's whole way: a level drawn and saved, proved in its three
// rounds by the child prover, published under an id made from the title.
TEST_F(PublishTest, ALevelProvedInTheEditorPublishesAsAPackTheGameVerifies) {
    std::snprintf(edit_prove_program, sizeof edit_prove_program, "%s/clovenfeld", GAME_DIR);
    EDIT_FILE_NEW(15);
    EDIT_PAINT(26, 13, CELL_EGG);
    EDIT_PAINT(13, 13, CELL_EGG);
    EDIT_PAINT(23, 13, CELL_BLOCK);
    EDIT_PAINT(3, 2, CELL_DUCK);
    char why[256] = "";
    ASSERT_TRUE(EDIT_FILE_SAVE((dir / "1.bmp").c_str(), why, sizeof why)) << why;
    set(publish_form.title, "Small Rooms, Mine!");
    set(publish_form.level[1], (dir / "1.bmp").string());
    for (int round = 1; round <= 3; round++) {
        const int level = 1 + 9 * (round - 1);
        const std::string rec = (dir / ("level-" + std::to_string(level) + ".rec")).string();
        ASSERT_TRUE(EDIT_PROVE_START(1, round, 60, 1, rec.c_str())) << edit_proof.reason;
        while (edit_proof.state == EDIT_PROOF_RUNNING) {
            EDIT_PROVE_TICK();
            usleep(10000);
        }
        ASSERT_EQ(edit_proof.state, EDIT_PROOF_PROVEN) << edit_proof.reason;
        set(publish_form.proof[level], edit_proof.recording);
    }
    ASSERT_TRUE(PUBLISH(publish_form, (dir / "pack").c_str(), &result)) << (result.problems ? result.problem[0] : "");
    EXPECT_STREQ(result.id, "small-rooms-mine");
    EXPECT_EQ(result.files, 1);
    EXPECT_EQ(result.levels, 3);
    const ToolRun v = verify(dir / "pack");
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_NE(v.out.find("small-rooms-mine: ok, 3 levels proved"), std::string::npos) << v.out;
}

// The example pack's files with one proof left out and level 2 edited after
// its proofs were made (a cell changed): the list names each level, and nothing is written.
// The same files as they are publish.
TEST_F(PublishTest, AMissingOrStaleProofIsListedAndNothingIsWritten) {
    set(publish_form.id, "example");
    set(publish_form.title, "Three Small Rooms");
    for (int n = 1; n <= 3; n++) set(publish_form.level[n], std::string(kExample) + "/levels/" + std::to_string(n) + ".bmp");
    for (int level : {1, 2, 3, 10, 11, 12, 19, 20, 21})
        set(publish_form.proof[level], std::string(kExample) + "/proofs/level-" + std::to_string(level) + ".rec");

    // Level 2 with a seed on its first empty cell.
    std::string level2 = read_text(publish_form.level[2]);
    const size_t empty = level2.find('\0', static_cast<unsigned char>(level2[10]) | static_cast<unsigned char>(level2[11]) << 8);
    ASSERT_LT(empty, level2.size());
    level2[empty] = CELL_SEED;
    std::ofstream(dir / "2.bmp", std::ios::binary) << level2;
    PublishForm edited = publish_form;
    set(edited.level[2], (dir / "2.bmp").string());
    edited.proof[11][0] = '\0';
    const fs::path out = dir / "pack";
    EXPECT_FALSE(PUBLISH(edited, out.c_str(), &result));
    EXPECT_FALSE(result.written);
    EXPECT_EQ(problems(), (std::vector<std::string>{"level 2: proof stale", "level 11: no proof", "level 20: proof stale"}));
    EXPECT_FALSE(fs::exists(out));

    // A form without a title, with a description of two lines, a proof of
    // another level, and the game's own pack's id, which the proofs made in
    // the example pack do not name: each said, nothing written.
    edited = publish_form;
    edited.title[0] = '\0';
    set(edited.description, "one\ntwo");
    set(edited.proof[12], publish_form.proof[3]);
    set(edited.id, "clovenfeld");
    EXPECT_FALSE(PUBLISH(edited, out.c_str(), &result));
    const std::vector<std::string> said = problems();
    ASSERT_EQ(said.size(), 12u);
    EXPECT_EQ(said[0], "id: clovenfeld is the game's own pack");
    EXPECT_EQ(said[1], "title: needed");
    EXPECT_EQ(said[2], "description: one line, without control characters");
    EXPECT_EQ(said[3], "level 1: the proof was made in pack example");
    EXPECT_EQ(said[8], "level 12: the proof plays level 3");
    EXPECT_FALSE(fs::exists(out));

    ASSERT_TRUE(PUBLISH(publish_form, out.c_str(), &result)) << result.problem[0];
    const ToolRun v = verify(out);
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_FALSE(PUBLISH(publish_form, out.c_str(), &result)) << "never over a folder already there";
}

TEST(PublishId, MadeFromTheTitle) {
    const struct {
        const char* title;
        const char* id;
    } cases[] = {
        {"Small Rooms, Mine!", "small-rooms-mine"},
        {"  --Clovenfeld--  ", "my-clovenfeld"},
        {"!!!", "pack"},
        {"A very long title that goes on and on past the limit", "a-very-long-title-that-goes-on-a"},
    };
    for (const auto& c : cases) {
        char id[PUBLISH_ID_CHARS];
        PUBLISH_ID_FROM_TITLE(c.title, id, sizeof id);
        EXPECT_STREQ(id, c.id) << c.title;
    }
}
