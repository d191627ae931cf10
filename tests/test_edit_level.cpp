// test_edit_level.cpp -- the level editor's level: undo and redo give back
// every byte, each tool is one step, and the rules a level must keep.
#include "editor/edit_level.h"
#include "map/map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> bytes_now() {
    std::vector<unsigned char> b(edit_level.cell, edit_level.cell + EDIT_CELLS);
    b.push_back(static_cast<unsigned char>(edit_level.height));
    return b;
}

std::vector<std::string> problems() {
    EditReport r;
    EDIT_CHECK(&r);
    std::vector<std::string> out;
    for (int i = 0; i < r.problems && i < 4; i++) out.push_back(r.problem[i]);
    return out;
}

// A level file of assets/levels as cell codes.
bool read_level_text(int n, std::vector<unsigned char>* cells, int* rows) {
    std::ifstream in(std::string(SOURCE_DIR) + "/assets/levels/" + std::to_string(n) + ".txt");
    const std::string legend = ".#SsHPDo|-";
    std::string line;
    *rows = 0;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0) continue;
        for (char ch : line) cells->push_back(static_cast<unsigned char>(legend.find(ch)));
        ++*rows;
    }
    return *rows > 0;
}

} // namespace

// Five hundred random steps of every tool: undo walks back through each
// level exactly as it was, as far as the history reaches, and redo forward.
TEST(EditLevel, UndoAndRedoGiveBackEveryByte) {
    EDIT_NEW(20);
    std::mt19937 rng(7);
    auto any = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<std::vector<unsigned char>> seen = {bytes_now()};
    for (int i = 0; i < 500; i++) {
        const int c = any(44) - 2, r = any(29) - 2, c2 = any(40), r2 = any(25), code = any(10);
        switch (any(8)) {
        case 0:
            EDIT_STROKE_BEGIN();
            for (int k = 0; k < 5; k++) EDIT_PAINT(c + k, r, code);
            EDIT_STROKE_END();
            break;
        case 1: EDIT_FILL(c, r, c2, r2, code); break;
        case 2: EDIT_LINE(c, r, c2, r2, code); break;
        case 3: EDIT_CUT(c, r, c2, r2); break;
        case 4: EDIT_PASTE(c, r); break;
        case 5: EDIT_MOVE(c, r, c2, r2, any(40), any(25)); break;
        case 6: EDIT_RESIZE(15 + any(11)); break;
        default: EDIT_PAINT(c, r, code); break;
        }
        if (bytes_now() != seen.back()) seen.push_back(bytes_now());
    }
    ASSERT_GT(seen.size(), 257u);
    EXPECT_EQ(EDIT_UNDO_STEPS(), 256);
    for (int back = 1; back <= 256; back++) {
        ASSERT_TRUE(EDIT_UNDO());
        ASSERT_TRUE(bytes_now() == seen[seen.size() - 1 - back]) << "undo " << back;
    }
    EXPECT_FALSE(EDIT_UNDO());
    EXPECT_EQ(EDIT_REDO_STEPS(), 256);
    for (int fwd = 255; fwd >= 0; fwd--) {
        ASSERT_TRUE(EDIT_REDO());
        ASSERT_TRUE(bytes_now() == seen[seen.size() - 1 - fwd]) << "redo to " << fwd;
    }
    EXPECT_FALSE(EDIT_REDO());
    // A step after some undos drops what could have been redone.
    EDIT_UNDO();
    EDIT_UNDO();
    EDIT_PAINT(5, 5, CELL_EGG == EDIT_GET(5, 5) ? CELL_SEED : CELL_EGG);
    EXPECT_EQ(EDIT_REDO_STEPS(), 0);
}

TEST(EditLevel, EachToolIsOneStepAndKeepsOneStart) {
    EDIT_NEW(15);
    const unsigned before = edit_changes;
    EDIT_STROKE_BEGIN();
    for (int c = 2; c < 10; c++) EDIT_PAINT(c, 5, CELL_BLOCK);
    EDIT_PAINT(3, 5, CELL_BLOCK); // again: nothing new
    EDIT_STROKE_END();
    EXPECT_EQ(EDIT_UNDO_STEPS(), 1);
    EXPECT_EQ(edit_changes, before + 1);
    EDIT_PAINT(30, 9, CELL_PLAYER); // the start moves
    EXPECT_EQ(EDIT_GET(20, 13), CELL_EMPTY);
    EXPECT_EQ(EDIT_GET(30, 9), CELL_PLAYER);
    EDIT_PAINT(41, 3, CELL_EGG); // outside: no step
    EXPECT_EQ(EDIT_UNDO_STEPS(), 2);

    EDIT_LINE(0, 0, 5, 2, CELL_LADDER); // two cells a row along the longer way
    for (int c = 0; c <= 5; c++) EXPECT_EQ(EDIT_GET(c, c / 2), CELL_LADDER) << c;
    EXPECT_EQ(EDIT_GET(1, 1), CELL_EMPTY);

    EDIT_FILL(12, 4, 10, 2, CELL_EGG); // corners in any order
    EDIT_COPY(10, 2, 12, 4);
    EXPECT_EQ(edit_clip.w * 10 + edit_clip.h, 33);
    EDIT_PASTE(38, 13); // cut at the edge: 2 x 2 cells fit
    EXPECT_EQ(EDIT_GET(38, 13), CELL_EGG);
    EXPECT_EQ(EDIT_GET(39, 14), CELL_EGG);
    EDIT_MOVE(10, 2, 12, 4, 20, 6); // one step; the clipboard is kept
    EXPECT_EQ(EDIT_GET(10, 2), CELL_EMPTY);
    EXPECT_EQ(EDIT_GET(22, 8), CELL_EGG);
    EXPECT_EQ(edit_clip.w * 10 + edit_clip.h, 33);
    const int steps = EDIT_UNDO_STEPS();
    EDIT_UNDO();
    EXPECT_EQ(EDIT_GET(10, 2), CELL_EGG);
    EXPECT_EQ(EDIT_UNDO_STEPS(), steps - 1);

    // Rows come and go under the ceiling: the floor and what stands on it stay.
    EDIT_RESIZE(25);
    EXPECT_EQ(edit_level.height, 25);
    EXPECT_EQ(EDIT_GET(30, 19), CELL_PLAYER);
    EXPECT_EQ(EDIT_GET(20, 24), CELL_BLOCK);
    EXPECT_EQ(EDIT_GET(20, 0), CELL_BLOCK);
    EXPECT_EQ(EDIT_GET(20, 5), CELL_EMPTY);
    EXPECT_EQ(EDIT_GET(0, 5), CELL_BLOCK);
    EDIT_RESIZE(3); // at least one screen of rows
    EXPECT_EQ(edit_level.height, EDIT_MIN_HEIGHT);
    EXPECT_EQ(EDIT_GET(30, 9), CELL_PLAYER);
}

TEST(EditLevel, TheRulesOfALevel) {
    EDIT_NEW(15);
    EXPECT_EQ(problems(), (std::vector<std::string>{"no eggs: the level would end at once", "no duck's start: place one"}));
    EDIT_PAINT(25, 13, CELL_EGG);
    EDIT_PAINT(4, 4, CELL_DUCK);
    EDIT_PAINT(6, 4, CELL_DUCK); // moves it: one duck
    EXPECT_TRUE(problems().empty());
    EXPECT_EQ(EDIT_GET(4, 4), CELL_EMPTY);
    EDIT_PAINT(5, 13, CELL_PLAYER); // too near the left
    EDIT_PAINT(30, 10, CELL_SWAN);  // in the air
    EXPECT_EQ(problems(), (std::vector<std::string>{
                              "the player's start needs column 9 or more, row 7 or more, and a block under it",
                              "a swan's start needs a block under it"}));
    std::vector<unsigned char> two(EDIT_CELLS, CELL_EMPTY);
    two[7 * 40 + 10] = two[7 * 40 + 12] = CELL_PLAYER;
    two[3 * 40 + 3] = two[3 * 40 + 8] = CELL_DUCK;
    ASSERT_TRUE(EDIT_OPEN(two.data(), 40, 16));
    EXPECT_EQ(problems().at(0), "2 player's starts: keep one");
    EXPECT_EQ(problems().back(), "more than one duck's start: keep one");
    EXPECT_FALSE(EDIT_OPEN(two.data(), 39, 16));
    EXPECT_FALSE(EDIT_OPEN(two.data(), 40, 26));
    EXPECT_EQ(edit_level.height, 16); // a refused open changes nothing

    // Every level we ship keeps the rules.
    for (int n = 1; n <= 9; n++) {
        std::vector<unsigned char> cells;
        int rows = 0;
        ASSERT_TRUE(read_level_text(n, &cells, &rows)) << n;
        ASSERT_TRUE(EDIT_OPEN(cells.data(), 40, rows)) << n;
        EXPECT_TRUE(problems().empty()) << "level " << n << ": " << problems().at(0);
    }
}

// The game's own reach, on the level as it stands: an egg sealed in blocks
// is out of reach, and undoing the seal gives it back.
TEST(EditLevel, AnEggSealedInBlocksIsOutOfReach) {
    EDIT_NEW(15);
    EDIT_PAINT(4, 4, CELL_DUCK);
    EDIT_PAINT(25, 13, CELL_EGG);
    EDIT_PAINT(30, 13, CELL_EGG);
    EditReport r;
    EDIT_CHECK(&r);
    EXPECT_TRUE(r.reach_checked);
    EXPECT_EQ(r.lost, 0);
    EXPECT_EQ(r.problems, 0);
    EDIT_FILL(29, 12, 31, 12, CELL_BLOCK);
    EDIT_STROKE_BEGIN();
    EDIT_PAINT(29, 13, CELL_BLOCK);
    EDIT_PAINT(31, 13, CELL_BLOCK);
    EDIT_STROKE_END();
    EDIT_CHECK(&r);
    ASSERT_EQ(r.lost, 1);
    EXPECT_EQ(r.lost_at[0].col * 100 + r.lost_at[0].row, 3013);
    EXPECT_EQ(r.lost_at[0].code, CELL_EGG);
    EXPECT_EQ(problems(), std::vector<std::string>{"out of reach: 1 egg, 0 seeds"});
    EDIT_UNDO();
    EDIT_CHECK(&r);
    EXPECT_EQ(r.lost, 0);
}
