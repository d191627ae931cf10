// test_snapshot.cpp -- snapshots of the whole game: a restored game plays on
// exactly as the original did (state and picture), every part of the state
// is put back, differences are seen, and a new game can be put straight at
// any level with the enemies of that level.
#include "test_shell_util.h"

#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "main/snapshot.h"
#include "map/map.h"
#include "services/random.h"
#include "platform/run.h"

#include <memory>

using namespace shell_test;

namespace {

std::vector<uint32_t> work_pixels()
{
    std::vector<uint32_t> out;
    for (int y = 0; y < SCREEN_HEIGHT; y++) {
        const uint32_t* row = work_page()->row(y);
        out.insert(out.end(), row, row + SCREEN_WIDTH);
    }
    return out;
}

// Runs frames first..last-1 of the pattern; false if the game left play.
bool run_frames(int first, int last)
{
    for (int i = first; i < last; i++) {
        hold_pattern(i);
        if (PLAY_FRAME() != 0) return false;
    }
    return true;
}

// The shipped levels, from the game's own folder.
class SnapshotTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        set_tick_hook(nullptr); // only the boxes' own Space presses below
        fs::current_path(GAME_DIR);
    }

    // Starts the given level with the box answered by one queued Space.
    void start_level(int lvl)
    {
        set_tick_hook([](long) {
            if (screen_is_open()) keyboard_queue(' ');
        });
        LEVEL_SETUP(lvl, 5);
        LEVEL_START();
        set_tick_hook(nullptr);
        keyboard_reset();
    }
};

} // namespace

TEST_F(SnapshotTest, RestoredGamePlaysTheSameFramesAndPicture)
{
    // Swans and the free duck both on: every actor moves and draws.
    for (int lvl : {1, 19}) {
        SCOPED_TRACE(lvl);
        start_level(lvl);
        ASSERT_TRUE(run_frames(0, 150));
        auto mark = std::make_unique<Snapshot>();
        SNAPSHOT_TAKE(mark.get());

        ASSERT_TRUE(run_frames(150, 400));
        auto first = std::make_unique<Snapshot>();
        SNAPSHOT_TAKE(first.get());
        const std::vector<uint32_t> first_page = work_pixels();
        // The 250 frames changed the game, so the comparison below means something.
        ASSERT_EQ(SNAPSHOT_SAME(*mark, *first), 0);

        SNAPSHOT_RESTORE(*mark);
        auto back = std::make_unique<Snapshot>();
        SNAPSHOT_TAKE(back.get());
        EXPECT_EQ(SNAPSHOT_SAME(*mark, *back), 1);

        ASSERT_TRUE(run_frames(150, 400));
        auto second = std::make_unique<Snapshot>();
        SNAPSHOT_TAKE(second.get());
        EXPECT_EQ(SNAPSHOT_SAME(*first, *second), 1);
        EXPECT_TRUE(work_pixels() == first_page);
    }
}

TEST_F(SnapshotTest, RestorePutsBackRandomNumbersKeysCellsAndCounters)
{
    start_level(3);
    keyboard_queue('a');
    keyboard_set_held(KEY_LEFT, true);
    auto mark = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(mark.get());
    const double r1 = random_unit();
    const double r2 = random_unit();

    // Change a piece of every part.
    MAP_SET(0, CELL_EGG);
    scroll_x -= 10;
    player_y += 3;
    jump_count = 5;
    swans[0].col += 1;
    duck_tick = 7;
    score = 999;
    time_left = 1;
    keyboard_reset();
    keyboard_queue('z');
    set_color(0xFF123456, 0xFF654321, 0);

    SNAPSHOT_RESTORE(*mark);
    EXPECT_EQ(random_unit(), r1);
    EXPECT_EQ(random_unit(), r2);
    EXPECT_EQ(read_key(), "a");
    EXPECT_EQ(read_key(), "");
    EXPECT_TRUE(key_down(KEY_LEFT));
    EXPECT_EQ(cells[0].code, mark->cells[0].code);
    EXPECT_EQ(scroll_x, mark->scroll_x);
    EXPECT_EQ(player_y, mark->player_y);
    EXPECT_EQ(jump_count, 0);
    EXPECT_EQ(swans[0].col, mark->swans[0].col);
    EXPECT_EQ(duck_tick, 0);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(time_left, LEVEL_TIME);
    EXPECT_EQ(background_color(), 0xFF000000u);
}

TEST_F(SnapshotTest, SameSeesOneChangedCellOrQueuedKey)
{
    start_level(2);
    auto a = std::make_unique<Snapshot>();
    auto b = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(a.get());
    SNAPSHOT_TAKE(b.get());
    EXPECT_EQ(SNAPSHOT_SAME(*a, *b), 1);

    b->cells[last_cell].y += 1;
    EXPECT_EQ(SNAPSHOT_SAME(*a, *b), 0);
    b->cells[last_cell].y -= 1;

    keyboard_queue(' ');
    SNAPSHOT_TAKE(b.get());
    EXPECT_EQ(SNAPSHOT_SAME(*a, *b), 0);

    // A stale entry of the queue outside its waiting keys is no difference.
    read_key();
    SNAPSHOT_TAKE(b.get());
    EXPECT_EQ(SNAPSHOT_SAME(*a, *b), 1);
}

// The state hash of recordings sees each kind of game variable, and not
// the keys held (they are the input, checked by playing it).
TEST_F(SnapshotTest, StateHashSeesPlayButNotTheKeys)
{
    start_level(20);
    const uint64_t start = STATE_HASH();
    EXPECT_EQ(STATE_HASH(), start);
    keyboard_set_held(KEY_RIGHT, true);
    EXPECT_EQ(STATE_HASH(), start);
    keyboard_reset();
    auto changed = [&](int* v) {
        *v += 1;
        const bool seen = STATE_HASH() != start;
        *v -= 1;
        return seen;
    };
    for (int* v : {&player_x, &scroll_y, &jump_count, &score, &lives, &time_left, &eggs_taken, &duck_x, &duck_dir,
                   &swans[0].sub_x, &swans[swan_count - 1].dir, &cells[last_cell].y, &cells[0].code, &level})
        EXPECT_TRUE(changed(v)) << "variable at " << static_cast<const void*>(v);
    random_unit();
    EXPECT_NE(STATE_HASH(), start) << "a random draw";
}

TEST_F(SnapshotTest, LevelSetupGivesEachPassItsFileAndEnemies)
{
    struct Want {
        int level, file, swans, duck;
    };
    for (const Want& w : {Want{1, 1, 1, 0}, Want{9, 9, 1, 0}, Want{10, 1, 0, 1}, Want{18, 9, 0, 1},
                          Want{19, 1, 1, 1}, Want{27, 9, 1, 1}}) {
        SCOPED_TRACE(w.level);
        EXPECT_EQ(LEVEL_FILE_OF(w.level), w.file);
        duck_tick = 5;
        score = 40;
        LEVEL_SETUP(w.level, 9);
        EXPECT_EQ(level, w.level);
        EXPECT_EQ(level_file, w.file);
        EXPECT_EQ(swans_active, w.swans);
        EXPECT_EQ(duck_active, w.duck);
        EXPECT_EQ(lives, START_LIVES);
        EXPECT_EQ(score, 0);
        EXPECT_EQ(duck_tick, 0);
    }
    // The same seed gives the same swans.
    start_level(5);
    auto a = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(a.get());
    start_level(5);
    auto b = std::make_unique<Snapshot>();
    SNAPSHOT_TAKE(b.get());
    EXPECT_EQ(SNAPSHOT_SAME(*a, *b), 1);
    // A level set up after another (the prover's --all) starts as it does in
    // a process of its own: nothing of the level before, such as the places
    // of swans it had and this one has not, is left in the state hash.
    SWANS_CREATE_TABLE();
    start_level(8);
    const uint64_t alone = STATE_HASH();
    start_level(7); // seven swans; level 8 has five
    start_level(8);
    EXPECT_EQ(STATE_HASH(), alone);
}
