// test_assets.cpp -- lint of the shipped game data: every level file loads
// with the game's own MAP_LOAD and keeps the rules our levels are designed to
// (walls, floors under swans, the player's start on screen, egg and swan
// counts, lifts with a bounded track), every sprite loads with load_bitmap at
// its size and draws where the game expects it, each module's start-up puts
// the right files in its picture slots and ends the program at a missing or
// broken one, and mkassets refuses broken sources.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "headless_driver.h"
#include "map/map.h"
#include "services/bmp.h"
#include "services/image.h"
#include "services/screen.h"
#include "test_map_util.h"

namespace fs = std::filesystem;

namespace {

constexpr int LEVELS = 9;
constexpr uint32_t KEY = 0x00FF00FF;

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

// Runs every test in the game folder, where gfx/ and levels/ are built.
class AssetFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        saved_ = buf;
        ASSERT_EQ(chdir(GAME_DIR), 0);
        if (!screen_is_open()) {
            ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
        }
    }
    void TearDown() override { EXPECT_EQ(chdir(saved_.c_str()), 0); }
    std::string saved_;
};

// What one level holds after MAP_LOAD, read back through the map's own tables.
struct LevelFacts {
    int width = 0, height = 0, eggs = 0, seeds = 0, ladders = 0, lifts_v = 0, lifts_h = 0, swans = 0;
    int player_col = 0, player_row = 0, duck_col = 0, duck_row = 0;
};

int code_at(int col, int row) { return cells[map_width * row + col].code; }

LevelFacts load_level(int n) {
    MAP_CREATE_TABLE();
    SWANS_CLEAR();
    MAP_LOAD(n);
    LevelFacts f;
    f.width = map_width;
    f.height = map_height;
    f.eggs = MAP_EGGS();
    for (int k = 0; k <= last_cell; k++) {
        f.seeds += cells[k].code == CELL_SEED;
        f.ladders += cells[k].code == CELL_LADDER;
        f.lifts_v += cells[k].code == CELL_LIFT_V;
        f.lifts_h += cells[k].code == CELL_LIFT_H;
    }
    for (int i = 0; i < SWAN_SLOTS; i++) f.swans += swans[i].active == 1;
    f.player_col = (start_x - start_scroll_x) / 32;
    f.player_row = (start_y - start_scroll_y) / 32;
    f.duck_col = duck_start_x / 32;
    f.duck_row = duck_start_y / 32;
    return f;
}

} // namespace

using AssetLevels = AssetFixture;
using AssetSprites = AssetFixture;

TEST_F(AssetLevels, FilesAreEightBitBottomUpBitmapsOfCellCodes) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        const auto b = read_bytes("levels/" + std::to_string(n) + ".bmp");
        ASSERT_GE(b.size(), 1078u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(le32(b, 14), 40u);
        const int32_t w = static_cast<int32_t>(le32(b, 18)), h = static_cast<int32_t>(le32(b, 22));
        EXPECT_EQ(w, 40);
        EXPECT_GT(h, 0) << "stored bottom-up";
        EXPECT_LE(w * h, 1000);
        EXPECT_EQ(le16(b, 28), 8u);
        EXPECT_EQ(le32(b, 30), 0u);
        const uint32_t off = le32(b, 10);
        EXPECT_EQ(off, 54u + 1024u);
        ASSERT_EQ(b.size(), off + static_cast<size_t>(w * h));
        for (size_t k = off; k < b.size(); k++) ASSERT_LE(b[k], 9) << "byte " << k;
        // Codes 1 to 9 have visible, distinct palette colours, so the files
        // look like maps in an image viewer.
        for (int c = 1; c <= 9; c++) {
            const uint32_t rgb = le32(b, 54 + 4 * c) & 0xFFFFFF;
            EXPECT_NE(rgb, 0u) << "code " << c;
            for (int d = 0; d < c; d++) EXPECT_NE(rgb, le32(b, 54 + 4 * d) & 0xFFFFFF) << c << " vs " << d;
        }
    }
}

TEST_F(AssetLevels, EachLevelLoadsWithItsActorsAndCountsInRange) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        const LevelFacts f = load_level(n);
        EXPECT_EQ(f.width, 40);
        EXPECT_GE(f.height, 15) << "the map fills the screen";
        EXPECT_LE(f.height, 25);
        EXPECT_EQ(last_cell, f.width * f.height - 1);
        EXPECT_GE(f.eggs, 8);
        EXPECT_LE(f.eggs, 30);
        EXPECT_GE(f.seeds, 1);
        EXPECT_GE(f.ladders, 1);
        EXPECT_GE(f.swans, 1);
        EXPECT_LE(f.swans, 20);

        // Exactly one player start and one duck, read from the raw bytes
        // (loading turns both into empty cells).
        const auto b = read_bytes("levels/" + std::to_string(n) + ".bmp");
        int players = 0, ducks = 0, swan_cells = 0;
        for (size_t k = le32(b, 10); k < b.size(); k++) {
            players += b[k] == CELL_PLAYER;
            ducks += b[k] == CELL_DUCK;
            swan_cells += b[k] == CELL_SWAN;
        }
        EXPECT_EQ(players, 1);
        EXPECT_EQ(ducks, 1);
        EXPECT_EQ(swan_cells, f.swans) << "no swan start beyond the twentieth";
        for (int k = 0; k <= last_cell; k++) EXPECT_LE(cells[k].code, 10) << "a code the map cannot draw, cell " << k;
    }
}

TEST_F(AssetLevels, WallsAndFloorKeepEverythingInsideTheGrid) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        const LevelFacts f = load_level(n);
        for (int row = 0; row < f.height; row++) {
            EXPECT_EQ(code_at(0, row), CELL_BLOCK) << "left wall, row " << row;
            EXPECT_EQ(code_at(f.width - 1, row), CELL_BLOCK) << "right wall, row " << row;
        }
        for (int col = 0; col < f.width; col++) {
            EXPECT_EQ(code_at(col, f.height - 1), CELL_BLOCK) << "floor, col " << col;
            EXPECT_EQ(code_at(col, 0), CELL_BLOCK) << "ceiling, col " << col;
        }
        // Swans stand on blocks; their neighbours are inside the walls.
        for (int i = 0; i < SWAN_SLOTS; i++) {
            if (swans[i].active != 1) continue;
            SCOPED_TRACE("swan at " + std::to_string(swans[i].col) + "," + std::to_string(swans[i].row));
            EXPECT_EQ(MAP_GET(swans[i].col, swans[i].row + 1), CELL_BLOCK);
            EXPECT_GT(swans[i].col, 0);
            EXPECT_LT(swans[i].col, f.width - 1);
        }
        // A ladder that swans can climb down must end on a block or open
        // floor, never on an egg, seed or lift, or a swan would climb on
        // down through the cells below.
        for (int k = 0; k <= last_cell; k++) {
            if (cells[k].code != CELL_LADDER) continue;
            const int below = code_at(cells[k].col, cells[k].row + 1);
            EXPECT_TRUE(below == CELL_LADDER || below == CELL_BLOCK || below == CELL_EMPTY)
                << "ladder at " << cells[k].col << "," << cells[k].row;
        }
    }
}

TEST_F(AssetLevels, PlayerStartsOnAFloorWithTheViewCentred) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        player_x = player_y = -12345;
        scroll_x = scroll_y = 12345;
        const LevelFacts f = load_level(n);
        EXPECT_GE(f.player_col, 9);
        EXPECT_GE(f.player_row, 7);
        EXPECT_LE(start_scroll_x, 0);
        EXPECT_LE(start_scroll_y, 0);
        // The load puts the player on the screen and the view on the map.
        EXPECT_GE(player_x, 0);
        EXPECT_LE(player_x, 640 - 32);
        EXPECT_GE(player_y, 0);
        EXPECT_LE(player_y, 480 - 32);
        EXPECT_GE(scroll_x, -640);
        EXPECT_LE(scroll_x, 0);
        EXPECT_GE(scroll_y, 480 - 32 * f.height);
        EXPECT_LE(scroll_y, 0);
        EXPECT_EQ(code_at(f.player_col, f.player_row), CELL_EMPTY);
        const int below = code_at(f.player_col, f.player_row + 1);
        EXPECT_TRUE(below == CELL_BLOCK || below == CELL_LADDER);
        // Nothing solid inside the player's body at the start.
        player_x = start_x;
        player_y = start_y;
        scroll_x = start_scroll_x;
        scroll_y = start_scroll_y;
        EXPECT_EQ(PLAYER_COLLIDE(0, 0), -1);
        EXPECT_EQ(PLAYER_COLLIDE(0, 1), 1) << "standing, not falling";
    }
}

TEST_F(AssetLevels, DuckCageIsClearInsideTheMapAndStandsOrHangs) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        const LevelFacts f = load_level(n);
        // The cage reaches 8 pixels beyond the 64 x 64 picture on every side:
        // the cells of the picture stay clear, and the cage stays on the map.
        ASSERT_GE(f.duck_col, 1);
        ASSERT_GE(f.duck_row, 1);
        ASSERT_LE(f.duck_col + 2, f.width - 1);
        ASSERT_LE(f.duck_row + 2, f.height - 1);
        for (int dy = 0; dy < 2; dy++)
            for (int dx = 0; dx < 2; dx++)
                EXPECT_EQ(code_at(f.duck_col + dx, f.duck_row + dy), CELL_EMPTY);
        // Where the duck starts is set by how soon it reaches the player once
        // free, so its cage may stand on a floor or hang from the blocks above.
        const bool stands = code_at(f.duck_col, f.duck_row + 2) == CELL_BLOCK;
        const bool hangs = code_at(f.duck_col, f.duck_row - 1) == CELL_BLOCK;
        EXPECT_TRUE(stands || hangs) << "the cage stands on a floor or hangs from one";
        // No swan walks through the pen.
        for (int i = 0; i < SWAN_SLOTS; i++)
            if (swans[i].active == 1) {
                EXPECT_FALSE(swans[i].row >= f.duck_row - 1 && swans[i].row <= f.duck_row + 1 &&
                             swans[i].col >= f.duck_col - 1 && swans[i].col <= f.duck_col + 2);
            }
    }
}

TEST_F(AssetLevels, LiftsRunInBoundedShaftsAndTracks) {
    for (int n = 1; n <= LEVELS; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        load_level(n);
        for (int k = 0; k <= last_cell; k++) {
            const MapCell c = cells[k];
            if (c.code == CELL_LIFT_V) {
                // Something above in its column turns it before the map's
                // top, and something below carries it.
                int above = 0, below = 0;
                for (int r = 0; r < c.row; r++) above += code_at(c.col, r) > 0;
                for (int r = c.row + 1; r < map_height; r++) below += code_at(c.col, r) > 0;
                EXPECT_GT(above, 0) << "lift at " << c.col << "," << c.row;
                EXPECT_GT(below, 0) << "lift at " << c.col << "," << c.row;
            }
            if (c.code == CELL_LIFT_H) {
                // Blocks at both ends of its track, and the track is clear.
                int left = c.col - 1, right = c.col + 1;
                while (left > 0 && code_at(left, c.row) == CELL_EMPTY) left--;
                while (right < map_width - 1 && code_at(right, c.row) == CELL_EMPTY) right++;
                EXPECT_EQ(code_at(left, c.row), CELL_BLOCK) << "lift at " << c.col << "," << c.row;
                EXPECT_EQ(code_at(right, c.row), CELL_BLOCK) << "lift at " << c.col << "," << c.row;
                EXPECT_GE(right - left - 1, 3) << "a track worth riding";
            }
        }
        // Run the lifts for a while: every lift stays inside the walls on
        // every frame.
        for (int frame = 0; frame < 3000; frame++) {
            player_x = player_y = -1000; // out of every lift's way
            MAP_UPDATE();
            for (int k = 0; k <= last_cell; k++) {
                const MapCell& c = cells[k];
                if (c.code != CELL_LIFT_V && c.code != CELL_LIFT_H) continue;
                ASSERT_TRUE(c.x >= 32 && c.x <= 32 * (map_width - 2) && c.y >= 32 && c.y <= 32 * (map_height - 1) - 16)
                    << "lift " << k << " at " << c.x << "," << c.y << " on frame " << frame;
            }
        }
    }
}

TEST_F(AssetLevels, TheNineLevelsTogetherCoverEveryFeatureAndGrowHarder) {
    int tall = 0, with_v = 0, with_h = 0;
    int previous_eggs = 0;
    LevelFacts first, last;
    for (int n = 1; n <= LEVELS; n++) {
        const LevelFacts f = load_level(n);
        tall += f.height > 15;
        with_v += f.lifts_v > 0;
        with_h += f.lifts_h > 0;
        EXPECT_GE(f.eggs, previous_eggs) << "level " << n << " has fewer eggs than the one before";
        previous_eggs = f.eggs;
        if (n == 1) first = f;
        if (n == LEVELS) last = f;
    }
    EXPECT_GE(tall, 3);
    EXPECT_GE(with_v, 2);
    EXPECT_GE(with_h, 2);
    EXPECT_GT(last.eggs, first.eggs);
    EXPECT_GT(last.height, first.height);
    EXPECT_EQ(first.lifts_v + first.lifts_h, 0) << "the first level teaches walking and ladders only";
}

namespace {

struct SpriteFile {
    const char* name;
    int size;
};
constexpr SpriteFile SPRITES[] = {
    {"block", 32},     {"moving", 32},    {"seed", 32},      {"egg", 32},       {"ladder", 32},
    {"player", 32},    {"player1", 32},   {"player-l1", 32}, {"player-l2", 32}, {"player-u1", 32},
    {"player-u2", 32}, {"swan-r1", 32},   {"swan-r2", 32},   {"swan-l1", 32},   {"swan-l2", 32},
    {"swan-u1", 32},   {"swan-u2", 32},   {"duck-r2", 64},
};

// Loads gfx\<name>.bmp the way the game does, into an image of the game's size.
Image* load_sprite(const char* name, int size) {
    Image* img = create_image(size, size, 0xFF64FF64);
    EXPECT_NE(img, nullptr);
    if (!img) return nullptr;
    const std::string path = std::string("gfx\\") + name + ".bmp";
    EXPECT_EQ(load_bitmap(path.c_str(), img), 0) << path;
    return img;
}

bool is_key(uint32_t p) { return (p & 0xFFFFFF) == KEY; }

// Counts the drawn pixels of img in the given rows and columns (inclusive).
int drawn(const Image* img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) n += !is_key(img->row(y)[x]);
    return n;
}

int differing(const Image* a, const Image* b) {
    int n = 0;
    for (int y = 0; y < a->height; y++)
        for (int x = 0; x < a->width; x++) n += a->row(y)[x] != b->row(y)[x];
    return n;
}

} // namespace

TEST_F(AssetSprites, EverySpriteIsATwentyFourBitBitmapOfItsSizeAndLoads) {
    for (const SpriteFile& s : SPRITES) {
        SCOPED_TRACE(s.name);
        const auto b = read_bytes(std::string("gfx/") + s.name + ".bmp");
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(static_cast<int32_t>(le32(b, 18)), s.size);
        EXPECT_EQ(static_cast<int32_t>(le32(b, 22)), s.size);
        EXPECT_EQ(le16(b, 28), 24u);
        Image* img = load_sprite(s.name, s.size);
        ASSERT_NE(img, nullptr);
        // Every pixel comes from the file (none keeps the fill colour).
        int fill = 0;
        for (int y = 0; y < s.size; y++)
            for (int x = 0; x < s.size; x++) fill += img->row(y)[x] == 0xFF64FF64;
        EXPECT_EQ(fill, 0);
    }
}

TEST_F(AssetSprites, CellPicturesDrawWhereThePlayerMeetsThem) {
    Image* block = load_sprite("block", 32);
    Image* ladder = load_sprite("ladder", 32);
    Image* lift = load_sprite("moving", 32);
    Image* seed = load_sprite("seed", 32);
    Image* egg = load_sprite("egg", 32);
    ASSERT_TRUE(block && ladder && lift && seed && egg);
    EXPECT_EQ(drawn(block, 0, 0, 31, 31), 32 * 32) << "blocks are solid brick";
    EXPECT_EQ(drawn(ladder, 0, 0, 31, 31), 32 * 32) << "the ladder is drawn solid: no magenta";
    EXPECT_EQ(drawn(lift, 0, 0, 31, 15), 32 * 16) << "the platform fills the top half";
    EXPECT_EQ(drawn(lift, 0, 16, 31, 31), 0) << "nothing below the platform";
    for (Image* item : {seed, egg}) {
        EXPECT_EQ(drawn(item, 0, 0, 31, 15), 0) << "items sit in the bottom half";
        EXPECT_GT(drawn(item, 0, 16, 31, 31), 60);
    }
    // The ladder tiles: its top and bottom rows join up.
    for (int x = 0; x < 32; x++) EXPECT_EQ(ladder->row(0)[x] & 0xFFFFFF, ladder->row(31)[x] & 0xFFFFFF) << x;
}

TEST_F(AssetSprites, ActorsStayInsideTheirContactColumns) {
    for (const char* name : {"player", "player1", "player-l1", "player-l2", "player-u1", "player-u2", "swan-r1",
                             "swan-r2", "swan-l1", "swan-l2", "swan-u1", "swan-u2"}) {
        SCOPED_TRACE(name);
        Image* img = load_sprite(name, 32);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(drawn(img, 0, 0, 5, 31), 0);
        EXPECT_EQ(drawn(img, 27, 0, 31, 31), 0);
        EXPECT_GT(drawn(img, 6, 0, 26, 31), 200) << "a figure, not a speck";
        EXPECT_GT(drawn(img, 6, 28, 26, 31), 0) << "feet reach the bottom rows";
    }
    Image* duck = load_sprite("duck-r2", 64);
    ASSERT_NE(duck, nullptr);
    // The head lies in the right-facing head box, the body in the body box.
    EXPECT_GT(drawn(duck, 38, 17, 62, 38), 25 * 22 * 3 / 4);
    EXPECT_GT(drawn(duck, 9, 39, 53, 62), 45 * 24 * 3 / 4);
}

TEST_F(AssetSprites, LeftPosesMirrorRightPosesAndFramesDiffer) {
    const char* pairs[][2] = {{"player", "player-l1"}, {"player1", "player-l2"}, {"swan-r1", "swan-l1"},
                              {"swan-r2", "swan-l2"}};
    for (auto& p : pairs) {
        SCOPED_TRACE(std::string(p[0]) + " / " + p[1]);
        Image* right = load_sprite(p[0], 32);
        Image* left = load_sprite(p[1], 32);
        ASSERT_TRUE(right && left);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) ASSERT_EQ(right->row(y)[x], left->row(y)[31 - x]) << x << "," << y;
        EXPECT_GT(differing(right, left), 50) << "the figure faces a different way";
    }
    const char* frames[][2] = {{"player", "player1"}, {"player-u1", "player-u2"}, {"swan-r1", "swan-r2"},
                               {"swan-u1", "swan-u2"}};
    for (auto& f : frames) {
        SCOPED_TRACE(std::string(f[0]) + " / " + f[1]);
        Image* a = load_sprite(f[0], 32);
        Image* b = load_sprite(f[1], 32);
        ASSERT_TRUE(a && b);
        EXPECT_GT(differing(a, b), 30) << "two frames of a pose differ visibly";
    }
}

namespace {

constexpr uint32_t PLAIN = 0xFF64FF64; // what create_image fills a plain slot with

// The slot holds a picture of its own, pixel for pixel gfx/<name>.bmp as
// load_bitmap reads it (name null: a plain 32 x 32 picture of PLAIN).
testing::AssertionResult holds(const Image* img, const char* name, int size = 32) {
    if (img == nullptr) return testing::AssertionFailure() << "no picture";
    if (img->width != size || img->height != size)
        return testing::AssertionFailure() << img->width << "x" << img->height << ", not " << size;
    const Image* file = name ? load_sprite(name, size) : nullptr;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const uint32_t want = file ? file->row(y)[x] : PLAIN;
            if (img->row(y)[x] != want)
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << std::hex << img->row(y)[x] << ", not " << want;
        }
    return testing::AssertionSuccess();
}

// No two slots of a table share one picture (the game draws on them apart).
template <typename T>
int shared_pictures(const T& table, int n) {
    int shared = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i; j++) shared += table[i] == table[j];
    return shared;
}

} // namespace

// Each module's start-up fills its picture slots from the shipped files, in
// the order its drawing picks them (pose, then frame): the map's cells by
// code, with both lifts on pictures of their own and the unused codes plain;
// the swans'; the duck's four copies of one picture; the player's, with his
// walk and jump counters started afresh.
TEST_F(AssetSprites, EachStartUpFillsItsSlotsFromTheShippedFiles) {
    MAP_INIT();
    SWANS_INIT();
    DUCK_INIT();
    player_frame = 1;
    player_step_count = 7;
    jump_count = 5;
    PLAYER_INIT();

    const char* cell_files[CELL_IMAGE_SLOTS] = {};
    cell_files[CELL_BLOCK] = "block";
    cell_files[CELL_SEED] = "seed";
    cell_files[CELL_LADDER] = "ladder";
    cell_files[CELL_EGG] = "egg";
    cell_files[CELL_LIFT_V] = cell_files[CELL_LIFT_H] = "moving";
    for (int i = 0; i < CELL_IMAGE_SLOTS; i++) EXPECT_TRUE(holds(cell_images[i], cell_files[i])) << "cell " << i;
    EXPECT_EQ(shared_pictures(cell_images, CELL_IMAGE_SLOTS), 0);

    const char* swan_files[] = {"swan-r1", "swan-r2", "swan-l1", "swan-l2", "swan-u1", "swan-u2"};
    for (int i = 0; i < 6; i++) EXPECT_TRUE(holds(swan_images[i], swan_files[i])) << "swan " << i;
    EXPECT_EQ(shared_pictures(swan_images, 6), 0);

    for (int i = 0; i < 4; i++) EXPECT_TRUE(holds(duck_images[i], "duck-r2", 64)) << "duck " << i;
    EXPECT_EQ(shared_pictures(duck_images, 4), 0);

    const char* player_files[] = {"player", "player1", "player-l1", "player-l2", "player-u1", "player-u2"};
    for (int i = 0; i < 6; i++) EXPECT_TRUE(holds(player_images[i], player_files[i])) << "player " << i;
    EXPECT_EQ(shared_pictures(player_images, 6), 0);
    EXPECT_EQ(player_frame, 0);
    EXPECT_EQ(player_step_count, 0);
    EXPECT_EQ(jump_count, 0);
}

namespace {

// A start-up that loads sprites: the report's module and procedure, the
// source file and the lines that load its first and last sprite, and its
// files in the order it loads them.
struct SpriteLoader {
    const char* module;
    const char* procedure;
    void (*start)();
    const char* source;
    const char* first_load;
    const char* last_load;
    std::vector<const char*> files;
};

void start_shell() {
    headless_begin(-1);
    close_screen_for_tests();
    SHELL_STARTUP();
}

std::string fatal_report(int number, const char* text, int line, const SpriteLoader& l) {
    return "\nAborting due to runtime error " + std::to_string(number) + " (" + text + ") at line " +
           std::to_string(line) + " of " + l.module + "::" + l.procedure + "()\n\n";
}

} // namespace

using AssetSpritesDeathTest = AssetFixture;

// A start-up ends the program at the first sprite it cannot load, naming the
// line that loads it: with no sprite at all "file not found" (2) at its first
// load, and with its last file not a bitmap "file I/O error" (3) at its last.
TEST_F(AssetSpritesDeathTest, EachStartUpEndsAtAMissingOrBrokenSprite) {
    const SpriteLoader loaders[] = {
        {"map", "MAP_INIT", MAP_INIT, "map/map_load.cpp", "CHECK(load_bitmap(\"gfx\\\\block.bmp\"",
         "CHECK(load_bitmap(\"gfx\\\\moving.bmp\", cell_images[CELL_LIFT_V]", {"block", "seed", "ladder", "egg", "moving"}},
        {"swan", "SWANS_INIT", SWANS_INIT, "actors/swan.cpp", "CHECK(load_bitmap(SWAN_FILES[i]",
         "CHECK(load_bitmap(SWAN_FILES[i]", {"swan-r1", "swan-r2", "swan-l1", "swan-l2", "swan-u1", "swan-u2"}},
        {"duck", "DUCK_INIT", DUCK_INIT, "actors/duck.cpp", "CHECK(load_bitmap(DUCK_FILE", "CHECK(load_bitmap(DUCK_FILE",
         {"duck-r2"}},
        {"player", "PLAYER_INIT", PLAYER_INIT, "actors/player.cpp", "CHECK(load_bitmap(path, image)",
         "CHECK(load_bitmap(path, image)", {"player", "player1", "player-l1", "player-l2", "player-u1", "player-u2"}},
        {"main", "{MODLEVEL}", start_shell, "main/shell.cpp", "CHECK(load_bitmap(SHELL_IMAGE_FILES[i]",
         "CHECK(load_bitmap(SHELL_IMAGE_FILES[i]", {"block", "moving", "swan-r1", "swan-l1"}},
    };
    const fs::path base = fs::path(testing::TempDir()) / ("clovenfeld_sprite_loads_" + std::to_string(getpid()));
    for (const SpriteLoader& l : loaders) {
        SCOPED_TRACE(l.procedure);
        const int first = maptest::source_line(l.source, l.first_load);
        const int last = maptest::source_line(l.source, l.last_load);
        ASSERT_GT(first, 0);
        ASSERT_GE(last, first);
        const fs::path dir = base / l.procedure;
        fs::remove_all(dir);
        fs::create_directories(dir / "gfx");
        EXPECT_EXIT(
            {
                if (chdir(dir.c_str()) != 0) _exit(99);
                l.start();
            },
            testing::ExitedWithCode(2), testing::Eq(fatal_report(2, "file not found", first, l)));
        for (const char* f : l.files)
            fs::copy_file(fs::path(GAME_DIR) / "gfx" / (std::string(f) + ".bmp"), dir / "gfx" / (std::string(f) + ".bmp"));
        std::ofstream(dir / "gfx" / (std::string(l.files.back()) + ".bmp"), std::ios::trunc) << "not a bitmap";
        EXPECT_EXIT(
            {
                if (chdir(dir.c_str()) != 0) _exit(99);
                l.start();
            },
            testing::ExitedWithCode(3), testing::Eq(fatal_report(3, "file I/O error", last, l)));
    }
    fs::remove_all(base);
}

namespace {

// Copies the shipped sources to a scratch folder, lets edit change one file,
// runs mkassets on the copy and returns its exit status and message.
struct ToolRun {
    int status;
    std::string message;
};

ToolRun run_mkassets_on_copy(const std::string& file, const std::string& from, const std::string& to) {
    char tmpl[] = "/tmp/clovenfeld_assets_XXXXXX";
    if (!mkdtemp(tmpl)) return {-1, "mkdtemp"};
    const fs::path dir = tmpl;
    fs::copy(fs::path(SOURCE_DIR) / "assets", dir / "assets", fs::copy_options::recursive);
    if (!file.empty()) {
        std::ifstream in(dir / "assets" / file);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const size_t at = text.find(from);
        if (at == std::string::npos) return {-1, "edit not found: " + from};
        text.replace(at, from.size(), to);
        std::ofstream(dir / "assets" / file, std::ios::trunc) << text;
    }
    const std::string cmd = std::string(TOOLS_DIR) + "/mkassets " + (dir / "assets").string() + " " +
                            (dir / "game").string() + " >" + (dir / "out.txt").string() + " 2>&1";
    const int raw = std::system(cmd.c_str());
    std::ifstream out(dir / "out.txt");
    ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string((std::istreambuf_iterator<char>(out)), {})};
    if (run.status == 0) {
        // A clean copy builds the very files the game is running on.
        for (const char* f : {"levels/1.bmp", "levels/9.bmp", "gfx/duck-r2.bmp", "gfx/swan-l2.bmp"})
            if (read_bytes((dir / "game" / f).string()) != read_bytes(std::string(GAME_DIR) + "/" + f))
                run.message += std::string("differs: ") + f;
    }
    fs::remove_all(dir);
    return run;
}

} // namespace

TEST(MkAssets, CleanSourcesBuildTheShippedFiles) {
    const ToolRun run = run_mkassets_on_copy("", "", "");
    EXPECT_EQ(run.status, 0) << run.message;
    EXPECT_EQ(run.message.find("differs"), std::string::npos) << run.message;
}

TEST(MkAssets, BrokenSourcesStopTheBuildNamingFileAndLine) {
    struct Case {
        const char* file;
        const char* from;
        const char* to;
        const char* expect;
    };
    const Case cases[] = {
        // A level row one cell short (line 6 is the second grid row).
        {"levels/3.txt", "\n#.D..#", "\n#.D.#", "levels/3.txt:6: row has 39 cells, expected 40"},
        {"levels/1.txt", ".P.", ".X.", "unknown cell character 'X'"},
        {"sprites/egg.txt", "kk", "k?", "unknown colour character '?'"},
        {"sprites/block.txt", "\nLRRRRR", "\nRRRRR", "row has 31 pixels, expected 32"},
        {"palette.txt", ".  FF00FF", ".  FF00FE", "'.' must be defined as FF00FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const ToolRun run = run_mkassets_on_copy(c.file, c.from, c.to);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.message.find(c.file), std::string::npos) << run.message;
        EXPECT_NE(run.message.find(c.expect), std::string::npos) << run.message;
    }
    // A sprite with too few rows.
    const ToolRun short_sprite = run_mkassets_on_copy("sprites/seed.txt", "................................\n", "");
    EXPECT_NE(short_sprite.status, 0);
    EXPECT_NE(short_sprite.message.find("has 31 rows, expected 32"), std::string::npos) << short_sprite.message;
}

// The Windows program's icon: one .ico whose directory names each PNG image
// mkassets wrote (size, 32 bits, length) and whose bytes at each offset are
// that PNG file, so windres builds an icon that Windows can read.
TEST(MkAssets, IconFileHoldsEveryPngImage) {
    const std::string icons = std::string(GAME_DIR) + "/../icons/";
    const std::vector<uint8_t> ico = read_bytes(icons + "clovenfeld.ico");
    auto u16 = [&](size_t at) { return at + 2 <= ico.size() ? ico[at] | ico[at + 1] << 8 : -1; };
    auto u32 = [&](size_t at) { return static_cast<size_t>(u16(at)) | static_cast<size_t>(u16(at + 2)) << 16; };
    const int sizes[] = {16, 32, 48, 64, 128, 192, 256}; // not 512: an icon file stops at 256
    ASSERT_GE(ico.size(), 6u + 16u * std::size(sizes));
    EXPECT_EQ(u16(0), 0);
    EXPECT_EQ(u16(2), 1); // an icon, not a cursor
    ASSERT_EQ(u16(4), static_cast<int>(std::size(sizes)));
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const size_t entry = 6 + 16 * i;
        const std::vector<uint8_t> png = read_bytes(icons + std::to_string(sizes[i]) + ".png");
        ASSERT_FALSE(png.empty()) << sizes[i];
        EXPECT_EQ(ico[entry], sizes[i] % 256) << "width of " << sizes[i];
        EXPECT_EQ(ico[entry + 1], sizes[i] % 256) << "height of " << sizes[i];
        EXPECT_EQ(u16(entry + 6), 32);
        EXPECT_EQ(u32(entry + 8), png.size()) << sizes[i];
        const size_t at = u32(entry + 12);
        ASSERT_LE(at + png.size(), ico.size()) << sizes[i];
        EXPECT_TRUE(std::equal(png.begin(), png.end(), ico.begin() + static_cast<std::ptrdiff_t>(at))) << sizes[i];
    }
}
