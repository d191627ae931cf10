// test_editor.cpp -- the editor's screen driven as a player drives it: the
// pointer, fingers, keys; what it draws lands in the level exactly.
#include "test_shell_util.h"

#include "test_command_util.h"

#include "editor/edit_file.h"
#include "editor/edit_publish.h"
#include "editor/editor.h"
#include "platform/proof_file.h"
#include "platform/run.h"
#include "port/datadir.h"
#include "proof/prove.h"
#include "map/map.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The level as text rows, the legend of the level sources.
std::vector<std::string> rows() {
    const std::string legend = ".#SsHPDo|-";
    std::vector<std::string> out;
    for (int r = 0; r < edit_level.height; r++) {
        std::string line;
        for (int c = 0; c < EDIT_WIDTH; c++) line += legend[EDIT_GET(c, r)];
        out.push_back(line);
    }
    return out;
}

// Page pixels of the middle of a cell at the fit zoom (16 pixels a cell).
int px(int col) { return col * 16 + 8; }
int py(int row) { return EDITOR_AREA_Y + row * 16 + 8; }

void frame() { EXPECT_EQ(EDITOR_INPUT(), EDITOR_NOTHING); }

void press(int x, int y, int button = POINTER_LEFT) {
    pointer_report(POINTER_MOVE, x, y, 0, true);
    pointer_report(POINTER_DOWN, x, y, button, true);
    frame();
}
void move(int x, int y) {
    pointer_report(POINTER_MOVE, x, y, 0, true);
    frame();
}
void release(int x, int y, int button = POINTER_LEFT) {
    pointer_report(POINTER_UP, x, y, button, true);
    frame();
}
void click(int x, int y, int button = POINTER_LEFT) {
    press(x, y, button);
    release(x, y, button);
}
void drag(int x0, int y0, int x1, int y1, int button = POINTER_LEFT) {
    press(x0, y0, button);
    move((x0 + x1) / 2, (y0 + y1) / 2);
    move(x1, y1);
    release(x1, y1, button);
}
void choose_code(int code) { click(code * 32 + 16, EDITOR_PALETTE_Y + 16); }
void choose_tool(int tool) { click(328 + tool * 32 + 16, EDITOR_PALETTE_Y + 16); }

void start_empty() {
    if (!screen_is_open()) {
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0); // the keys are read while it is open
    }
    pointer_reset();
    keyboard_reset();
    EDIT_NEW(15);
    EDITOR_START("test");
}


// A small level drawn from empty with the mouse alone: a floor with the
// rectangle, a ladder with the line, eggs and the starts with the pencil, a
// stray block rubbed out with the right button, and a slip undone.
void draw_small_level() {
    start_empty();
    choose_tool(TOOL_RECT); // block is chosen at the start
    drag(px(3), py(9), px(24), py(9));
    choose_code(CELL_LADDER);
    choose_tool(TOOL_LINE);
    drag(px(24), py(9), px(24), py(13));
    choose_tool(TOOL_PENCIL);
    choose_code(CELL_EGG);
    click(px(6), py(8));
    drag(px(30), py(13), px(33), py(13)); // a stroke: four eggs, one step
    choose_code(CELL_DUCK);
    click(px(36), py(2));
    choose_code(CELL_PLAYER);
    click(px(12), py(13)); // the start moves here
    choose_code(CELL_BLOCK);
    click(px(16), py(5));
    click(px(16), py(5), POINTER_RIGHT);
    click(px(2), py(2));
    click(496 + 16, EDITOR_PALETTE_Y + 16); // the undo button: the slip goes
}

} // namespace

TEST(Editor, DrawsALevelWithThePointer) {
    draw_small_level();
    const std::vector<std::string> want = {
        "########################################",
        "#......................................#",
        "#...................................D..#",
        "#......................................#",
        "#......................................#",
        "#......................................#",
        "#......................................#",
        "#......................................#",
        "#.....o................................#",
        "#..#####################H..............#",
        "#.......................H..............#",
        "#.......................H..............#",
        "#.......................H..............#",
        "#...........P...........H.....oooo.....#",
        "########################################",
    };
    EXPECT_EQ(rows(), want);
    EXPECT_EQ(editor_report.problems, 0);
    EXPECT_TRUE(editor_report.reach_checked);
    EXPECT_EQ(editor_report.lost, 0);
    EXPECT_EQ(editor_report.eggs, 5);
    // The stroke of four eggs was one step, the rectangle one, and so on.
    EXPECT_EQ(EDIT_UNDO_STEPS(), 8);
}

// Fingers: one draws; a second that comes while it draws makes it a gesture
// (what the first drew is taken back), and spreading the two zooms in.  A
// tap on the palette chooses; a finger held there only names the cell.
TEST(Editor, OneFingerDrawsTwoScrollAndZoom) {
    start_empty();
    pointer_report(POINTER_TOUCH_DOWN, px(5), py(5), 1, true);
    pointer_report(POINTER_TOUCH_MOVE, px(8), py(5), 1, true);
    pointer_report(POINTER_TOUCH_UP, px(8), py(5), 1, true);
    frame();
    EXPECT_EQ(rows()[5].substr(5, 4), "####");

    const std::vector<std::string> before = rows();
    pointer_report(POINTER_TOUCH_DOWN, px(20), py(3), 1, true);
    pointer_report(POINTER_TOUCH_MOVE, px(22), py(3), 1, true);
    frame();
    EXPECT_NE(rows(), before);
    pointer_report(POINTER_TOUCH_DOWN, px(30), py(3), 2, true);
    frame();
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(editor.zoom, ZOOM_FIT);
    pointer_report(POINTER_TOUCH_MOVE, px(14), py(3), 1, true);
    pointer_report(POINTER_TOUCH_MOVE, px(36), py(3), 2, true);
    frame();
    EXPECT_EQ(editor.zoom, ZOOM_ONE);
    pointer_report(POINTER_TOUCH_UP, px(14), py(3), 1, true);
    pointer_report(POINTER_TOUCH_UP, px(36), py(3), 2, true);
    frame();
    EXPECT_EQ(rows(), before);

    // A tap on the egg chooses it; a finger held on the ladder for a second does not.
    pointer_report(POINTER_TOUCH_DOWN, CELL_EGG * 32 + 16, EDITOR_PALETTE_Y + 16, 3, true);
    frame();
    pointer_report(POINTER_TOUCH_UP, CELL_EGG * 32 + 16, EDITOR_PALETTE_Y + 16, 3, true);
    frame();
    EXPECT_EQ(editor.code, CELL_EGG);
    pointer_report(POINTER_TOUCH_DOWN, CELL_LADDER * 32 + 16, EDITOR_PALETTE_Y + 16, 4, true);
    for (int i = 0; i < 100; i++) frame();
    pointer_report(POINTER_TOUCH_UP, CELL_LADDER * 32 + 16, EDITOR_PALETTE_Y + 16, 4, true);
    frame();
    EXPECT_EQ(editor.code, CELL_EGG);
}

// The keys alone (a pad's D-pad and A come as the arrows and Space): choose
// a cell, walk the cursor, place; a rectangle from two presses; undo, redo.
TEST(Editor, KeysPlaceCellsAtTheCursor) {
    start_empty();
    const int right = 255 + 256 * 77, up = 255 + 256 * 72;
    const int col = editor.cursor_col, row = editor.cursor_row;
    keyboard_queue('7');
    keyboard_queue(right);
    keyboard_queue(' ');
    frame();
    EXPECT_EQ(EDIT_GET(col + 1, row), CELL_EGG);
    keyboard_queue('1');
    keyboard_queue('r');
    keyboard_queue(' ');
    keyboard_queue(right);
    keyboard_queue(right);
    keyboard_queue(up);
    keyboard_queue(' ');
    frame();
    EXPECT_EQ(rows()[row - 1].substr(col + 1, 3), "###");
    EXPECT_EQ(rows()[row].substr(col + 1, 3), "###");
    keyboard_queue(26); // Ctrl+Z
    frame();
    EXPECT_EQ(rows()[row].substr(col + 1, 3), "o..");
    keyboard_queue(25); // Ctrl+Y
    frame();
    EXPECT_EQ(rows()[row].substr(col + 1, 3), "###");
    keyboard_queue(255 + 256 * 63); // F5
    EXPECT_EQ(EDITOR_INPUT(), EDITOR_PLAY);
}

// The drawn level saved, read by the game from its file headless, proved,
// and the proof's recording played from its file to the level's end.
class EditorShell : public shell_test::ShellTest {};

TEST_F(EditorShell, ADrawnLevelSavedIsProvedAndItsProofPlaysToTheEnd) {
    draw_small_level();
    const std::string level = (dir_ / "drawn.bmp").string(), proof = (dir_ / "drawn.rec").string();
    char why[256] = "";
    ASSERT_TRUE(EDIT_FILE_SAVE(level.c_str(), why, sizeof why)) << why;
    ASSERT_TRUE(set_level_path(1, level.c_str()));
    ASSERT_EQ(PROVE_LEVEL(1, 1, 60), PROOF_PROVEN);
    ASSERT_TRUE(write_level_proof(proof.c_str(), 1, 1, why, sizeof why)) << why;
    LevelReplay replay;
    ASSERT_TRUE(replay_level_recording(proof.c_str(), 1, &replay, why, sizeof why)) << why;
    EXPECT_TRUE(replay.completed);
    EXPECT_EQ(replay.lives_lost, 0);
    EXPECT_EQ(egg_total, 5);
    // Watch plays it inside the run, twice over, and the run goes on after.
    EXPECT_EQ(run_watch_level(proof.c_str(), why, sizeof why), 2) << why;
    EXPECT_EQ(run_watch_level(proof.c_str(), why, sizeof why), 2) << why;
    EXPECT_EQ(eggs_taken, 5);
    EXPECT_EQ(run_watch_level(level.c_str(), why, sizeof why), -1);
    set_level_path(1, nullptr);
}

// The title screen's editor code (the pause menu's E, the page's button)
// opens the editor once; when it is left the title is shown afresh.
TEST_F(EditorShell, TheTitlesEditorCodeOpensTheEditorAndTheTitleComesBack) {
    static int opened = 0;
    opened = 0;
    shell_test::quiet_until_tick = current_tick() + 200; // Space comes anyway then: a title that missed the code ends
    shell_test::extra_key = KEY_EDITOR_CODE;
    title_editor = [] {
        opened++;
        shell_test::extra_key = 0;
        shell_test::quiet_until_tick = 0;
    };
    TITLE();
    title_editor = nullptr;
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(shell_test::count("title"), 2);
}

// An egg sealed in blocks is marked at once, with the line naming it, and
// Publish refuses a level with no proofs, listing what is missing.
TEST_F(EditorShell, ASealedEggIsNamedAndPublishRefusesAnUnprovedLevel) {
    draw_small_level();
    for (int c = 5; c <= 7; c++) click(px(c), py(7));
    click(px(5), py(8));
    click(px(7), py(8));
    EXPECT_EQ(editor_report.lost, 1);
    EXPECT_EQ(editor_report.lost_at[0].col, 6);
    EXPECT_EQ(editor_report.lost_at[0].row, 8);

    const std::string level = (dir_ / "sealed.bmp").string();
    char why[256] = "";
    ASSERT_TRUE(EDIT_FILE_SAVE(level.c_str(), why, sizeof why)) << why;
    static PublishForm form;
    PUBLISH_CLEAR(&form);
    std::snprintf(form.title, sizeof form.title, "Sealed");
    std::snprintf(form.author, sizeof form.author, "Tester");
    std::snprintf(form.licence, sizeof form.licence, "CC0-1.0");
    std::snprintf(form.level[1], sizeof form.level[1], "%s", level.c_str());
    static PublishResult result;
    EXPECT_FALSE(PUBLISH(form, (dir_ / "pack").string().c_str(), &result));
    EXPECT_FALSE(shell_test::fs::exists(dir_ / "pack"));
    ASSERT_GE(result.problems, 3);
    EXPECT_STREQ(result.problem[0], "level 1: no proof");
}

// A pack's folder of two level files with the proofs of their six levels, as
// the editor keeps them there, published: the pack passes --verify-pack.
TEST_F(EditorShell, APackFoldersFilesArePublishedWithTheProofsKeptThere) {
    draw_small_level();
    const shell_test::fs::path work = dir_ / "work";
    shell_test::fs::create_directories(work / "levels");
    shell_test::fs::create_directories(work / "proofs");
    char why[256] = "";
    static std::string files[10], kept[28];
    EditorPublish what{};
    for (int n = 1; n <= 2; n++) {
        files[n] = (work / "levels" / (std::to_string(n) + ".bmp")).string();
        ASSERT_TRUE(EDIT_FILE_SAVE(files[n].c_str(), why, sizeof why)) << why;
        ASSERT_TRUE(set_level_path(n, files[n].c_str()));
        what.level[n] = files[n].c_str();
        for (int level = n; level <= 27; level += 9) {
            kept[level] = (work / "proofs" / ("level-" + std::to_string(level) + ".rec")).string();
            ASSERT_EQ(PROVE_LEVEL(level, 1, 60), PROOF_PROVEN) << level;
            ASSERT_TRUE(write_level_proof(kept[level].c_str(), level, 1, why, sizeof why)) << why;
            what.proof[level] = kept[level].c_str();
        }
    }
    set_level_path(1, nullptr);
    set_level_path(2, nullptr);
    what.text[0] = "Two Of A Kind";
    what.text[1] = "Tester";
    what.text[2] = "CC0-1.0";
    what.text[3] = "";
    const std::string where = dir_.string();
    what.dir = where.c_str();
    char said[EDITOR_TEXT_CHARS], problem[EDITOR_FORM_PROBLEMS][EDITOR_TEXT_CHARS];
    int problems = 0;
    ASSERT_TRUE(PUBLISH_FROM_EDITOR(what, said, sizeof said, problem, &problems)) << (problems ? problem[0] : "");
    const ToolRun verified = run("\"" GAME_DIR "/clovenfeld\" --data " GAME_DIR " --verify-pack " + (dir_ / "two-of-a-kind").string());
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_NE(verified.out.find("6 levels proved"), std::string::npos) << verified.out;
}
