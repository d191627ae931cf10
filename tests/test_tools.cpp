// test_tools.cpp -- two tools other work leans on, run as programs:
// xwd_compare, by which the window tests decide that a window shows a page,
// and the solver, the prover's driver, with which the recordings are found again.
#include "platform/record.h"
#include "services/bmp.h"
#include "services/image.h"
#include "services/screen.h"

#include "test_command_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A scratch folder, removed with everything in it at the end of the test.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/clovenfeld_tools_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

// --- xwd_compare ---------------------------------------------------------------------

// An X window dump as xwd writes one of a 24-bit TrueColor screen: the header
// (25 big-endian words), the window's name, 256 colour map entries, and the
// pixels, 32 bits each with the least significant byte first.
void write_xwd(const fs::path& path, int w, int h, const std::function<uint32_t(int, int)>& rgb) {
    const char name[] = "Clovenfeld Returns";
    const uint32_t header[25] = {100 + sizeof name, 7, 2, 24, uint32_t(w), uint32_t(h), 0, 0, 32, 0, 32, 32,
                                 uint32_t(w) * 4, 4, 0xFF0000, 0xFF00, 0xFF, 8, 256, 256, uint32_t(w),
                                 uint32_t(h), 0, 0, 0};
    std::vector<uint8_t> b;
    for (uint32_t v : header)
        for (int k = 24; k >= 0; k -= 8) b.push_back(uint8_t(v >> k));
    b.insert(b.end(), name, name + sizeof name);
    b.resize(b.size() + 256 * 12, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int k = 0; k < 32; k += 8) b.push_back(uint8_t(rgb(x, y) >> k));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// The work page filled with colours that differ along both axes, saved as the
// game saves a page (S, --shot) to page.bmp; returns the colour of (x, y).
uint32_t page_colour(int x, int y) { return (uint32_t(x) * 0x010305u + uint32_t(y) * 0x0B0700u + 0x20u) & 0xFFFFFF; }

class XwdCompare : public ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        if (!screen_is_open()) {
            ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
        }
        Image* page = work_page();
        for (int y = 0; y < page->height; y++)
            for (int x = 0; x < page->width; x++) page->row(y)[x] = 0xFF000000u | page_colour(x, y);
        image_changed(page);
        ASSERT_EQ(save_bitmap((dir_ / "page.bmp").c_str()), 0);
    }
    // xwd_compare on a capture of w x h whose pixels are rgb(x, y).
    ToolRun compare(int w, int h, const std::function<uint32_t(int, int)>& rgb, int scale, int ox, int oy) {
        write_xwd(dir_ / "window.xwd", w, h, rgb);
        return run(std::string(TOOLS_DIR) + "/xwd_compare " + (dir_ / "window.xwd").string() + " " +
                   (dir_ / "page.bmp").string() + " " + std::to_string(scale) + " " + std::to_string(ox) + " " +
                   std::to_string(oy));
    }
};

// The window as the game shows the page at scale s with its top left at
// (ox, oy), black around it.
std::function<uint32_t(int, int)> shown(int s, int ox, int oy) {
    return [=](int x, int y) {
        const int px = x - ox, py = y - oy;
        return px >= 0 && py >= 0 && px < 640 * s && py < 480 * s ? page_colour(px / s, py / s) : 0u;
    };
}

} // namespace

TEST_F(XwdCompare, AWindowShowingThePageScaledAndCentredPasses) {
    const ToolRun r = compare(640 * 2 + 14, 480 * 2 + 10, shown(2, 7, 5), 2, 7, 5);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "capture 1294x970, page pixels shown 1228800, pixels that differ 0\n");
}

TEST_F(XwdCompare, AWindowThatDiffersFailsNamingThePixels) {
    const auto page = shown(1, 3, 2);
    // One pixel of the page wrong.
    ToolRun r = compare(646, 484, [&](int x, int y) { return x == 103 && y == 202 ? 0x123456u : page(x, y); }, 1, 3, 2);
    EXPECT_EQ(r.status, 1);
    char want[64];
    std::snprintf(want, sizeof want, "pixel 103,202 is 123456, not %06X\n", page_colour(100, 200));
    EXPECT_EQ(r.out, std::string(want) + "capture 646x484, page pixels shown 307200, pixels that differ 1\n");
    // Something drawn beside the page, where the window is black.
    r = compare(646, 484, [&](int x, int y) { return x == 645 && y == 0 ? 0xFFFFFFu : page(x, y); }, 1, 3, 2);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "pixel 645,0 is FFFFFF, not 000000\n"
                     "capture 646x484, page pixels shown 307200, pixels that differ 1\n");
    // The page shifted by a pixel: every pixel that differs counts, the first five are named.
    r = compare(646, 484, shown(1, 4, 2), 1, 3, 2);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6) << r.out;
    EXPECT_EQ(r.out.rfind("pixel 3,2 is 000000, not ", 0), 0u) << r.out;
    // A window too small to show the whole page, though every pixel it shows is right.
    r = compare(600, 484, page, 1, 3, 2);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "capture 600x484, page pixels shown 286560, pixels that differ 0\n");
    // A file that is not a window dump.
    std::ofstream(dir_ / "window.xwd") << "not a window dump";
    r = run(std::string(TOOLS_DIR) + "/xwd_compare " + (dir_ / "window.xwd").string() + " " +
            (dir_ / "page.bmp").string() + " 1 0 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "xwd_compare: cannot read " + (dir_ / "window.xwd").string() + "\n");
}

// --- the solver: the prover's driver --------------------------------------------------

using SolverDriver = ScratchFolder;

// The solver writes the same proof of a level as the game's --prove: the
// prover's slices are counted in frames, so a proof is the same on any
// machine and in any program that asks for it.
TEST_F(SolverDriver, WritesTheSameProofAsTheGamesProve) {
    const ToolRun solver = run(std::string(TOOLS_DIR) + "/solver --dir " GAME_DIR " --out " + dir_.string() + " 2");
    ASSERT_EQ(solver.status, 0) << solver.out;
    EXPECT_NE(solver.out.find("level  2 file 2: proven"), std::string::npos) << solver.out;
    const std::string prove = "\"" GAME_DIR "/clovenfeld\" --data " GAME_DIR " --prove " GAME_DIR
                              "/levels/2.bmp --level 2 --out " + (dir_ / "prove.rec").string();
    const ToolRun game = run(prove);
    ASSERT_EQ(game.status, 0) << game.out;
    EXPECT_EQ(game.out.rfind("proven in ", 0), 0u) << game.out;
    const std::string recording = read_text(dir_ / "level-2.rec");
    EXPECT_NE(recording.find("# frames "), std::string::npos);
    EXPECT_EQ(read_text(dir_ / "prove.rec"), recording);
}

// The game's --prove as a script sees it: one line and the status for a level
// with an egg sealed in, for a budget far too small, and for a file that is
// no level.
TEST_F(SolverDriver, ProveAnswersOneLineWithItsStatus) {
    const std::string game = "\"" GAME_DIR "/clovenfeld\" --data " GAME_DIR " --prove ";
    // A floor with the player and an egg, and an egg walled in at (6, 2).
    const char* rows[] = {"##########", "#....###.#", "#....#e#.#", "#.P.e###.#", "##########"};
    std::string level(54, '\0');
    level[0] = 'B', level[1] = 'M', level[10] = 54, level[14] = 40, level[18] = 10, level[22] = 5, level[26] = 1,
    level[28] = 8;
    for (int r = 4; r >= 0; r--)
        for (const char* c = rows[r]; *c; c++) level += static_cast<char>(*c == '#' ? 1 : *c == 'P' ? 5 : *c == 'e' ? 7 : 0);
    std::ofstream(dir_ / "sealed.bmp", std::ios::binary) << level;
    const ToolRun sealed = run(game + (dir_ / "sealed.bmp").string());
    EXPECT_EQ(sealed.status, 20);
    EXPECT_EQ(sealed.out, "not completable: egg at cell (6, 2) cannot be reached\n");

    const ToolRun hurried = run(game + GAME_DIR "/levels/9.bmp --level 27 --budget 0.01");
    EXPECT_EQ(hurried.status, 21);
    EXPECT_EQ(hurried.out.rfind("undecided after ", 0), 0u) << hurried.out;

    // --all makes its folder, and answers for all 27 levels in a table.
    const ToolRun all = run(game + "--all --budget 0.01 --out " + (dir_ / "proofs").string());
    EXPECT_EQ(all.status, 21) << all.out;
    EXPECT_TRUE(fs::is_directory(dir_ / "proofs"));
    EXPECT_NE(all.out.find("\n| 27 | 9 | both | undecided | "), std::string::npos) << all.out;
    const ToolRun blocked = run(game + "--all --out " + (dir_ / "missing" / "proofs").string());
    EXPECT_EQ(blocked.status, 2);
    EXPECT_EQ(blocked.out, "clovenfeld: cannot make the folder " + (dir_ / "missing" / "proofs").string() + "\n");

    std::ofstream(dir_ / "text.bmp") << "not a level";
    const ToolRun text = run(game + (dir_ / "text.bmp").string());
    EXPECT_EQ(text.status, 2);
    EXPECT_EQ(text.out, "clovenfeld: " + (dir_ / "text.bmp").string() + " is not a BMP file\n");
}

// --- --verify: recordings checked as a script sees them ------------------------------

using VerifyCommand = ScratchFolder;

const std::string kGame = "\"" GAME_DIR "/clovenfeld\" --data " GAME_DIR " ";
const std::string kRecordings = std::string(SOURCE_DIR) + "/assets/recordings";

// The ticks of a recording written as version 1, one tick a line.
std::string as_version_1(const std::string& path) {
    Recording rec;
    std::string error;
    EXPECT_TRUE(load_recording(path.c_str(), &rec, &error)) << error;
    std::string text = "clovenfeld-recording 1\nseed " + std::to_string(rec.seed) + "\n";
    static ReplayCursor cursor;
    replay_start(&cursor, &rec);
    TickInput tick;
    while (replay_next(&cursor, &tick)) {
        char line[256];
        format_record_line(line, sizeof line, tick.held, tick.queued, tick.queued_count);
        text += std::string(line) + "\n";
    }
    replay_finish(&cursor);
    return text;
}

// Every shipped recording verifies; the whole game written as version 1
// plays as before, every event at its tick, and verifies as far as it can.
TEST_F(VerifyCommand, ShippedRecordingsVerifyAndVersion1PlaysAsBefore) {
    const ToolRun all = run(kGame + "--verify " + kRecordings + "/*.rec");
    EXPECT_EQ(all.status, 0) << all.out;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 28) << all.out;
    EXPECT_NE(all.out.find(kRecordings + "/game.rec: ok: levels 1\u201327, ticks 155459, score 15542, v2\n"),
              std::string::npos) << all.out;
    EXPECT_NE(all.out.find(kRecordings + "/level-18.rec: ok: level 18, ticks 5651, score 250, v2\n"),
              std::string::npos) << all.out;

    const fs::path v1 = dir_ / "game-v1.rec";
    std::ofstream(v1) << as_version_1(kRecordings + "/game.rec");
    const std::string replay = kGame + "--headless --fast --events --replay ";
    const ToolRun old_run = run(replay + v1.string()), new_run = run(replay + kRecordings + "/game.rec");
    EXPECT_EQ(old_run.status, 0);
    EXPECT_GT(std::count(new_run.out.begin(), new_run.out.end(), '\n'), 10000);
    EXPECT_TRUE(old_run.out == new_run.out) << "the events of the two versions differ";
    EXPECT_EQ(run(kGame + "--verify " + v1.string()).out,
              v1.string() + ": ok: levels 1\u201327, ticks 155459, score 15542, v1\n");

    // A recording of one level replays that level, every egg of it, and ends.
    const ToolRun level = run(replay + kRecordings + "/level-5.rec");
    EXPECT_EQ(level.status, 0);
    EXPECT_NE(level.out.find("tick 0 infobox:Level 5\n"), std::string::npos) << level.out.substr(0, 200);
    EXPECT_EQ(level.out.find(" title\n"), std::string::npos);
    size_t eggs = 0;
    for (size_t at = level.out.find(" sound:egg\n"); at != std::string::npos; at = level.out.find(" sound:egg\n", at + 1))
        eggs++;
    EXPECT_EQ(eggs, 18u) << "level 5 has 18 eggs";
}

// The assists a recording's header names are the play's: more lives change
// no event of a level played without losing one, ladder help changes the
// climbs (the recording's keys were pressed without it).
TEST_F(VerifyCommand, AssistsNamedInTheHeaderChangeWhatTheySayAndNothingElse) {
    const std::string original = read_text(kRecordings + "/level-2.rec");
    auto events_with = [&](const std::string& assists) {
        std::string text = original;
        text.replace(text.find("\nassists none\n"), 14, "\nassists " + assists + "\n");
        const fs::path path = dir_ / "assisted.rec";
        std::ofstream(path) << text;
        // The events alone: a desync said on standard error is not one.
        std::string out = run(kGame + "--headless --fast --events --replay " + path.string()).out;
        for (size_t at = out.find("clovenfeld: "); at != std::string::npos; at = out.find("clovenfeld: "))
            out.erase(at, out.find('\n', at) + 1 - at);
        return out;
    };
    const std::string plain = events_with("none");
    EXPECT_GT(std::count(plain.begin(), plain.end(), '\n'), 100);
    EXPECT_TRUE(events_with("lives 9") == plain) << "more lives changed an event";
    EXPECT_FALSE(events_with("ladder") == plain) << "ladder help changed nothing";
    EXPECT_EQ(run(kGame + "--verify " + (dir_ / "assisted.rec").string()).status, 22) << "not how it was played";
}

// A practice game: --level 5 takes the title screen to level 5's box; a
// recording holding the practice code plays level 5 alone (a still player,
// Space at each box) to its Game Over and its score, and no other level.
TEST_F(VerifyCommand, PracticeFromLevel5PlaysThatLevelAloneAndEndsWithItsScore) {
    const ToolRun direct = run(kGame + "--headless --fast --events --level 5 --stop-at 'infobox:Level 5'");
    EXPECT_EQ(direct.status, 0);
    EXPECT_NE(direct.out.find(" title\n"), std::string::npos) << direct.out;
    EXPECT_NE(direct.out.find(" infobox:Level 5\n"), std::string::npos) << direct.out;

    std::ofstream rec(dir_ / "practice.rec");
    rec << "clovenfeld-recording 1\nseed 3\n|\n5x |\n|" << 255 + 256 * 205 << "\n";
    for (int i = 0; i < 400; i++) rec << "49x |\n|32\n";
    rec.close();
    const ToolRun played = run(kGame + "--headless --fast --events --stop-at 'infobox:Level 5 score:*' --replay " +
                               (dir_ / "practice.rec").string());
    EXPECT_EQ(played.status, 0) << played.out;
    std::string boxes;
    for (size_t at = played.out.find(" infobox:"); at != std::string::npos; at = played.out.find(" infobox:", at + 1))
        boxes += played.out.substr(at + 9, played.out.find('\n', at) - at - 9) + ";";
    EXPECT_EQ(boxes, "Level 5;You lost a life!;You lost a life!;Game Over;Level 5 score: 0;");
    EXPECT_EQ(played.out.find("level:1\n"), std::string::npos);
    EXPECT_EQ(played.out.find("level:6\n"), std::string::npos);
}

// A tick's keys changed, a level file changed, another behaviour, a file cut
// short: each is found and said, and the worst status wins.
TEST_F(VerifyCommand, TamperedRecordingsAreFoundAndSaid) {
    const std::string original = read_text(kRecordings + "/level-5.rec");
    // The keys of the first run of the third tick line (from tick 1000).
    std::string keys = original;
    std::vector<size_t> tick_lines;
    for (size_t at = keys.find("\npack\n") + 6; at < keys.size(); at = keys.find('\n', at) + 1)
        if (keys[at] != '#') tick_lines.push_back(at);
    ASSERT_GT(tick_lines.size(), 3u);
    const size_t at = tick_lines[2];
    const size_t run_end = keys.find_first_not_of("-UDLR", at);
    ASSERT_GE(std::stoi(keys.substr(run_end, 3)), 8) << "a run of several ticks";
    keys.replace(at, run_end - at, keys.substr(at, run_end - at) == "L" ? "R" : "L");
    std::ofstream(dir_ / "keys.rec") << keys;
    const ToolRun desync = run(kGame + "--verify " + (dir_ / "keys.rec").string());
    EXPECT_EQ(desync.status, 22);
    EXPECT_EQ(desync.out, (dir_ / "keys.rec").string() + ": desync at tick 1000 (state hash differs after tick 1500)\n");
    // A replay says it once, on standard error, and plays on to the end.
    const ToolRun replayed = run(kGame + "--headless --fast --replay " + (dir_ / "keys.rec").string());
    EXPECT_EQ(replayed.status, 0);
    EXPECT_EQ(replayed.out, "clovenfeld: recording desync at tick 1000 (state hash differs after tick 1500)\n");

    std::string behaviour = original;
    behaviour.replace(behaviour.find("behaviour 1\n"), 12, "behaviour 0\n");
    std::ofstream(dir_ / "behaviour.rec") << behaviour;
    std::ofstream(dir_ / "cut.rec") << original.substr(0, original.find("\nend ticks") + 1);
    fs::create_directories(dir_ / "data");
    for (const char* folder : {"gfx", "levels"})
        fs::copy(fs::path(GAME_DIR) / folder, dir_ / "data" / folder, fs::copy_options::recursive);
    std::fstream level(dir_ / "data/levels/5.bmp", std::ios::in | std::ios::out | std::ios::binary);
    level.seekp(60);
    level.put('\1');
    level.close();
    const std::string game = "\"" GAME_DIR "/clovenfeld\" --data " + (dir_ / "data").string() + " --verify ";
    const ToolRun changed = run(game + (dir_ / "behaviour.rec").string() + " " + kRecordings + "/level-5.rec " +
                                kRecordings + "/level-4.rec");
    EXPECT_EQ(changed.status, 22);
    EXPECT_EQ(changed.out, (dir_ / "behaviour.rec").string() + ": made by behaviour 0, this game is behaviour 1\n" +
                                   kRecordings + "/level-5.rec: level file differs: level 5 (levels/5.bmp)\n" +
                                   kRecordings + "/level-4.rec: ok: level 4, ticks 2138, score 160, v2\n");
    const ToolRun cut = run(game + (dir_ / "cut.rec").string() + " " + (dir_ / "behaviour.rec").string());
    EXPECT_EQ(cut.status, 2);
    EXPECT_EQ(cut.out.rfind((dir_ / "cut.rec").string() + ": bad recording: line ", 0), 0u) << cut.out;
    EXPECT_NE(cut.out.find(": no end line: the recording was cut short\n"), std::string::npos) << cut.out;
}

// The text of a recording without its comment lines.
std::string without_comments(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("#", 0) != 0) out += line + "\n";
    return out;
}

// tools/rerecord: a version 1 level recording comes out as the shipped
// version 2 one (the same header, ticks, hashes and end); version 2 stays
// byte for byte as it was.
TEST_F(VerifyCommand, RerecordTurnsVersion1IntoTheSameVersion2AndLeavesVersion2Alone) {
    const std::string shipped = read_text(kRecordings + "/level-5.rec");
    std::ofstream(dir_ / "v2.rec") << shipped;
    std::string v1 = as_version_1(kRecordings + "/level-5.rec");
    v1.insert(v1.find('\n') + 1, "# level 5 on its own (LEVEL_SETUP 5, seed 1)\n");
    std::ofstream(dir_ / "v1.rec") << v1;
    const ToolRun tool = run(std::string(TOOLS_DIR) + "/rerecord --dir " GAME_DIR " " + (dir_ / "v2.rec").string() +
                             " " + (dir_ / "v1.rec").string());
    ASSERT_EQ(tool.status, 0) << tool.out;
    EXPECT_EQ(read_text(dir_ / "v2.rec"), shipped);
    const std::string rewritten = read_text(dir_ / "v1.rec");
    EXPECT_EQ(rewritten.rfind("clovenfeld-recording 2\n", 0), 0u);
    EXPECT_EQ(without_comments(rewritten), without_comments(shipped));
}
