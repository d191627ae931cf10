// test_records.cpp -- the records file: its reader and writer (round trip,
// damaged texts, packs' sections kept), records made from the game's events
// (the recorded game's own events, assisted and unassisted apart, practice),
// a damaged file set aside, a folder that cannot be written, and a writer
// killed at random points never leaving a half-written file.
#include "platform/pack.h"
#include "platform/records.h"

#include "port/notice.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The text's problem ("" when sound), its records in *r.
std::string parse(const std::string& text, Records* r) {
    char problem[RECORDS_MESSAGE_CHARS];
    return records_parse(text.data(), static_cast<int>(text.size()), "r.ini", r, problem, sizeof problem) ? "" : problem;
}

std::string format(const Records& r, const std::string& old = "") {
    auto in = std::make_unique<RecordsText>(), out = std::make_unique<RecordsText>();
    in->size = static_cast<int>(old.copy(in->bytes, sizeof in->bytes));
    EXPECT_TRUE(records_format(r, *in, out.get()));
    return std::string(out->bytes, static_cast<size_t>(out->size));
}

bool same(const RecordSet& a, const RecordSet& b) {
    bool same = a.furthest_level == b.furthest_level && a.has_game == b.has_game && a.best_game_score == b.best_game_score;
    for (int n = 1; n <= RECORDS_LEVELS; ++n)
        same = same && a.level[n].best_score == b.level[n].best_score && a.level[n].fewest_ticks == b.level[n].fewest_ticks;
    return same;
}
bool same(const Records& a, const Records& b) { return same(a.set[0], b.set[0]) && same(a.set[1], b.set[1]); }

// A scratch folder, the module and the notices reset.
class RecordsTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("clovenfeld-records-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        records_reset_for_tests();
        forget_notices();
    }
    void TearDown() override {
        records_reset_for_tests();
        fs::remove_all(dir);
    }
    // The notice lines kept since SetUp.
    static std::string notices() {
        char box[NOTICE_KEEP_CHARS + 64];
        format_notice_box(box, sizeof box, "");
        return box;
    }
};

// One level played from its "level:N" to its "score:S".
void play_level(int n, long start, long end, int score) {
    records_hear(("level:" + std::to_string(n)).c_str(), start);
    records_hear(("score:" + std::to_string(score)).c_str(), end);
}

} // namespace

TEST(RecordsFile, RoundTripKeepsEveryFigureAndThePacksSections) {
    Records r{};
    r.set[0].furthest_level = 27;
    r.set[0].has_game = true;
    r.set[0].best_game_score = 0; // a whole game that scored nothing is still a record
    r.set[0].level[1] = {574, 1567};
    r.set[0].level[27] = {698, 5860};
    r.set[1].furthest_level = 3;
    r.set[1].level[2] = {RECORDS_MAX_NUMBER, 1};
    const std::string packs = "[pack moor-2]\nfurthest_level = 4\nnew_key = anything\n[pack moor-2 assisted]\n";
    const std::string text = format(r, "[levels]\nfurthest_level = 1\n" + packs);
    Records back{};
    ASSERT_EQ(parse(text, &back), "") << text;
    EXPECT_TRUE(same(back, r)) << text;
    EXPECT_NE(text.find(packs), std::string::npos) << text;
    EXPECT_EQ(format(back, text), text);
    // Nothing recorded: no sections at all, and that reads back as nothing.
    Records none{}, got{};
    got.set[0].furthest_level = 9;
    EXPECT_EQ(parse(format(none), &got), "");
    EXPECT_TRUE(same(got, none));
}

TEST(RecordsFile, DamagedTextsAreNamedByLineAndReadAsNoRecords) {
    const std::string good = "# mine\r\n[levels]\r\n  furthest_level = 5  \r\n";
    Records r{};
    ASSERT_EQ(parse(good, &r), "");
    EXPECT_EQ(r.set[0].furthest_level, 5);
    const std::pair<std::string, std::string> cases[] = {
        {"furthest_level = 5\n", "r.ini:1: 'furthest_level' before any section"},
        {"[levels]\nfurthest_level = 28\n", "r.ini:2: bad value '28'"},
        {"[levels]\nlevel.3.fewest_ticks = 0\nlevel.3.best_score = 1\n", "r.ini:2: bad value"},
        {"[levels]\nlevel.07.best_score = 1\n", "r.ini:2: unknown key 'level.07.best_score'"},
        {"[levels]\nfurthest_level = 5\n\nfurthest_level = 6\n", "r.ini:4: furthest_level again (first on line 2)"},
        {"[levels]\n[levels assisted]\n[levels]\n", "r.ini:3: [levels] again (first on line 1)"},
        {"[pack Moor]\n", "r.ini:1: unknown section '[pack Moor]'"},
        {"[levels]\nfurthest_level 5\n", "r.ini:2: 'furthest_level 5' is not a 'key = value' line"},
        {"[levels]\nlevel.4.best_score = 10\n", "r.ini:2: level.4.best_score without level.4.fewest_ticks"},
        {"[levels assisted]\nfurthest_level = 5\x01\n", "r.ini:2: control characters"},
        {"[levels]\n" + std::string(RECORDS_MAX_BYTES, '#'), "r.ini: larger than 16 KB"},
    };
    for (const auto& [text, problem] : cases) {
        r.set[0].furthest_level = 9;
        const std::string got = parse(text, &r);
        EXPECT_EQ(got.substr(0, problem.size()), problem) << text.substr(0, 80);
        EXPECT_TRUE(same(r, Records{})) << text.substr(0, 80);
    }
}

TEST(RecordsFile, SitsBesideTheSettingsFile) {
    char out[64];
    for (const auto& [settings, records] : {std::pair{"/home/p/.config/clovenfeld/settings.ini", "/home/p/.config/clovenfeld/records.ini"},
                                            {"C:\\Users\\p\\clovenfeld\\settings.ini", "C:\\Users\\p\\clovenfeld\\records.ini"},
                                            {"mine.ini", "records.ini"}}) {
        ASSERT_TRUE(records_path_beside(settings, out, sizeof out));
        EXPECT_STREQ(out, records);
    }
}

// The recorded game's events, as --events prints them, heard by the records:
// every level completed with the points it added and the ticks it took, the
// whole game's score, and a replay keeping no records of its own.
TEST_F(RecordsTest, TheRecordedGamesEventsMakeItsRecords) {
    const std::string cmd = "XDG_CONFIG_HOME='" + dir.string() + "' '" GAME_DIR "/clovenfeld' --replay '" SOURCE_DIR
                            "/assets/recordings/game.rec' --fast --events";
    std::FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    records_start((dir / "r.ini").c_str());
    char line[256];
    long level_start[RECORDS_LEVELS + 1] = {}, last_tick = 0;
    while (std::fgets(line, sizeof line, p)) {
        char name[200];
        long tick;
        if (std::sscanf(line, "tick %ld %199[^\n]", &tick, name) != 2) continue;
        records_hear(name, tick);
        int n;
        if (std::sscanf(name, "level:%d", &n) == 1) level_start[n] = tick;
        last_tick = tick;
    }
    ASSERT_EQ(pclose(p), 0);
    EXPECT_FALSE(fs::exists(dir / "clovenfeld" / "records.ini")) << "a replay keeps no records";

    Records r;
    records_get(&r);
    const RecordSet& s = r.set[RECORDS_UNASSISTED];
    EXPECT_EQ(s.furthest_level, 27);
    EXPECT_TRUE(s.has_game);
    EXPECT_EQ(s.best_game_score, 15542);
    EXPECT_EQ(s.level[1].best_score, 582);
    EXPECT_EQ(s.level[1].fewest_ticks, level_start[2] - 2 - level_start[1]); // the "Level 2" box takes 2 ticks
    EXPECT_EQ(s.level[27].best_score, 15542 - 14946);
    int points = 0;
    long ticks = 0;
    for (int n = 1; n <= RECORDS_LEVELS; ++n) {
        EXPECT_GT(s.level[n].fewest_ticks, 0) << "level " << n;
        points += s.level[n].best_score;
        ticks += s.level[n].fewest_ticks;
    }
    EXPECT_EQ(points, 15542) << "each level's points add up to the game's";
    EXPECT_EQ(ticks, last_tick - level_start[1] - 2 * RECORDS_LEVELS - 2) << "all ticks but the boxes'";
    EXPECT_TRUE(same(r.set[RECORDS_ASSISTED], RecordSet{}));
    // The file says the same.
    Records saved;
    ASSERT_EQ(parse(read_file(dir / "r.ini"), &saved), "");
    EXPECT_TRUE(same(saved, r));
}

// Each pack's play has its own records, in its own sections: the game's own
// records stay as they were, and each set comes back when its pack does.
TEST_F(RecordsTest, EachPacksPlayKeepsItsOwnRecordsApart) {
    const fs::path path = dir / "r.ini";
    records_start(path.c_str());
    play_level(1, 10, 1010, 500);
    pack_use(SOURCE_DIR "/assets/packs/example", "example");
    records_hear("title", 1100);
    play_level(1, 1200, 1300, 900);
    play_level(2, 1310, 1400, 1800);
    Records r;
    records_get(&r);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].furthest_level, 2);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].level[1].best_score, 900);
    pack_use(nullptr, nullptr);
    records_hear("title", 1500);
    records_get(&r);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].furthest_level, 1);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].level[1].best_score, 500);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].level[1].fewest_ticks, 1000);
    play_level(1, 1600, 1700, 800);
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[levels]\nfurthest_level = 1\nlevel.1.best_score = 800\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[pack example]\nfurthest_level = 2\nlevel.1.best_score = 900\n"), std::string::npos) << text;
    Records shipped;
    char problem[RECORDS_MESSAGE_CHARS];
    ASSERT_TRUE(records_parse(text.data(), static_cast<int>(text.size()), "r.ini", &shipped, problem, sizeof problem))
            << problem;
    EXPECT_EQ(shipped.set[RECORDS_UNASSISTED].level[1].best_score, 800);
    pack_use(SOURCE_DIR "/assets/packs/example", "example");
    records_hear("title", 1800);
    records_get(&r);
    EXPECT_EQ(r.set[RECORDS_UNASSISTED].level[2].best_score, 900);
    pack_use(nullptr, nullptr);
    // --records prints the game's own, then each pack's under its id.
    std::FILE* out = std::tmpfile();
    ASSERT_EQ(records_print(path.c_str(), out, stderr), 0);
    std::rewind(out);
    std::string printed;
    for (int c; (c = std::fgetc(out)) != EOF;) printed += static_cast<char>(c);
    std::fclose(out);
    const size_t pack_at = printed.find("Level pack example\nUnassisted:\n  furthest level reached: 2\n");
    EXPECT_NE(pack_at, std::string::npos) << printed;
    EXPECT_LT(printed.find("furthest level reached: 1\n"), pack_at) << printed;
}

TEST_F(RecordsTest, AssistedPlayAndPracticeKeepTheirOwnRecords) {
    const fs::path path = dir / "r.ini";
    records_start(path.c_str());
    records_hear("title", 0);
    play_level(1, 10, 1010, 500);
    records_hear("level:2", 1020);
    records_set_assisted(true); // from the middle of level 2 on: the level and the game are assisted
    records_hear("score:900", 1520);
    records_set_assisted(false);
    play_level(3, 1530, 1630, 1000);
    records_hear("infobox:Final Score: 1000", 1640);
    // A practice game from level 2: its level counts, its score is not a whole game's.
    records_hear("title", 2000);
    play_level(2, 2010, 2110, 50);
    records_hear("infobox:Final Score: 50", 2120);
    Records r, saved;
    records_get(&r);
    EXPECT_EQ(r.set[0].level[1].best_score, 500);
    EXPECT_EQ(r.set[0].level[1].fewest_ticks, 1000);
    EXPECT_EQ(r.set[1].level[2].best_score, 400); // 900 less the 500 it started with
    EXPECT_EQ(r.set[1].level[2].fewest_ticks, 500);
    EXPECT_EQ(r.set[0].level[2].best_score, 50);
    EXPECT_EQ(r.set[0].level[2].fewest_ticks, 100);
    EXPECT_EQ(r.set[0].level[3].best_score, 100);
    EXPECT_EQ(r.set[0].furthest_level, 3);
    EXPECT_EQ(r.set[1].furthest_level, 0); // level 2 started before the assist
    EXPECT_FALSE(r.set[0].has_game);
    EXPECT_TRUE(r.set[1].has_game);
    EXPECT_EQ(r.set[1].best_game_score, 1000);
    ASSERT_EQ(parse(read_file(path), &saved), "");
    EXPECT_TRUE(same(saved, r));
    // A later run starts from the file, and a worse game changes nothing.
    records_reset_for_tests();
    records_start(path.c_str());
    play_level(1, 0, 2000, 400);
    records_get(&r);
    EXPECT_TRUE(same(saved, r));
    EXPECT_EQ(notices(), "");
}

TEST_F(RecordsTest, ADamagedFileIsSaidOnceSetAsideAndStartedAfresh) {
    const fs::path path = dir / "records.ini";
    const std::string damaged = "[levels]\nfurthest_level = 3\nfurthest_level = x\n";
    std::ofstream(path, std::ios::binary) << damaged;
    records_start(path.c_str());
    const std::string said = notices();
    EXPECT_EQ(said, "clovenfeld: " + path.string() + ":3: furthest_level again (first on line 2); the records start "
                    "afresh (the damaged file is kept as " + path.string() + ".damaged)");
    EXPECT_EQ(read_file(path.string() + ".damaged"), damaged);
    Records r;
    records_get(&r);
    EXPECT_TRUE(same(r, Records{}));
    play_level(1, 0, 100, 10);
    ASSERT_EQ(parse(read_file(path), &r), "");
    EXPECT_EQ(r.set[0].level[1].fewest_ticks, 100);
}

TEST_F(RecordsTest, AFolderThatCannotBeWrittenIsSaidOnceAndPlayGoesOn) {
    // A folder without write permission (which binds only those who are not
    // root), and a "folder" that is a file.
    fs::create_directories(dir / "read-only");
    fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    std::ofstream(dir / "not-a-folder") << "x";
    for (const char* folder : {"read-only", "not-a-folder"}) {
        if (geteuid() == 0 && std::string(folder) == "read-only") continue;
        records_reset_for_tests();
        forget_notices();
        records_start((dir / folder / "records.ini").c_str());
        for (int n = 1; n <= 5; ++n) play_level(n, n * 1000, n * 1000 + 500, n * 10);
        const std::string said = notices();
        EXPECT_NE(said.find("cannot save the records"), std::string::npos) << said;
        EXPECT_EQ(said.find("clovenfeld:", 1), std::string::npos) << "one notice: " << said;
        Records r;
        records_get(&r);
        EXPECT_EQ(r.set[0].furthest_level, 5) << "kept for the run all the same";
    }
    fs::permissions(dir / "read-only", fs::perms::owner_all);
}

// A writer killed at random points: the file is always a whole one that a
// save wrote (or none yet), never a part of one.
TEST_F(RecordsTest, AWriterKilledAtAnyPointLeavesAWholeFile) {
    const fs::path path = dir / "records.ini";
    std::mt19937 random(12345);
    int later = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            records_start(path.c_str());
            // Every level better every time (each a practice game): each "score:" saves the file.
            for (int k = 1;; ++k)
                for (int n = 1; n <= RECORDS_LEVELS; ++n) {
                    records_hear("title", 0);
                    play_level(n, 0, 100000000 - k, k);
                }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (!fs::exists(path)) continue;
        const std::string text = read_file(path);
        Records r;
        ASSERT_EQ(parse(text, &r), "") << "round " << round << ":\n" << text;
        ASSERT_EQ(format(r), text) << "round " << round << ": a part of a file";
        for (int n = 1; n <= RECORDS_LEVELS; ++n) {
            const LevelRecord& l = r.set[0].level[n];
            if (l.fewest_ticks == 0) continue;
            ASSERT_EQ(l.best_score + l.fewest_ticks, 100000000) << "round " << round << " level " << n;
        }
        later += r.set[0].level[1].best_score > 1;
    }
    EXPECT_GT(later, 0) << "no round was killed after its first saves";
}
