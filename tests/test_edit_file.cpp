// test_edit_file.cpp -- the editor's level files: the game's levels load and
// save to the same bytes, a new level is written as mkassets writes it, an
// edited level plays in the game as drawn, and bad files are refused.
#include "editor/edit_file.h"
#include "map/map.h"
#include "port/datadir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::vector<unsigned char>& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

std::vector<unsigned char> now_as_file() {
    std::vector<unsigned char> out(EDIT_FILE_MAX_BYTES);
    out.resize(static_cast<size_t>(EDIT_FILE_BYTES(out.data(), static_cast<int>(out.size()))));
    return out;
}

class EditFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/clovenfeld_edit_file_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        set_level_path(1, nullptr);
        fs::remove_all(dir);
    }
    fs::path dir;
    char why[EDIT_FILE_WHY_CHARS] = "";
};

} // namespace

// Every level the game ships, as mkassets wrote it: read, written back
// unchanged, and made again from its text as a new level, byte for byte.
TEST_F(EditFile, ShippedLevelsSaveAsTheyWereAndAsMkassetsWritesThem) {
    const std::string legend = ".#SsHPDo|-";
    for (int n = 1; n <= 9; n++) {
        SCOPED_TRACE("level " + std::to_string(n));
        const fs::path file = fs::path(GAME_DIR) / "levels" / (std::to_string(n) + ".bmp");
        const std::vector<unsigned char> original = read_bytes(file);
        ASSERT_TRUE(EDIT_FILE_OPEN(file.c_str(), why, sizeof why)) << why;
        const fs::path out = dir / "saved.bmp";
        ASSERT_TRUE(EDIT_FILE_SAVE(out.c_str(), why, sizeof why)) << why;
        EXPECT_EQ(read_bytes(out), original);

        std::ifstream text(std::string(SOURCE_DIR) + "/assets/levels/" + std::to_string(n) + ".txt");
        std::vector<unsigned char> cells;
        std::string line;
        int rows = 0;
        while (std::getline(text, line)) {
            if (line.rfind("# ", 0) == 0 || line.empty()) continue;
            for (char ch : line) cells.push_back(static_cast<unsigned char>(legend.find(ch)));
            rows++;
        }
        EDIT_FILE_NEW(20);
        ASSERT_TRUE(EDIT_OPEN(cells.data(), 40, rows));
        EXPECT_EQ(now_as_file(), original);
    }
}

// A file with more than the game's layout (a longer header, fewer palette
// entries, bytes after the cells) keeps all of it; only the cells change, and
// the game reads them as drawn.  Resized, it is written in the game's layout
// with the file's own colours.
TEST_F(EditFile, EditedLevelKeepsItsFileAndPlaysAsDrawn) {
    EDIT_FILE_NEW(16);
    std::vector<unsigned char> plain = now_as_file();
    // A 108-byte header, 16 palette entries and a trailer.
    std::vector<unsigned char> odd(plain.begin(), plain.begin() + 54);
    odd[14] = 108;
    odd.insert(odd.end(), 68, 0x5A);
    for (int i = 0; i < 16; i++) odd.insert(odd.end(), {static_cast<unsigned char>(i), 1, 2, 0});
    const unsigned offset = static_cast<unsigned>(odd.size());
    std::memcpy(&odd[10], &offset, 4);
    odd.insert(odd.end(), plain.end() - 40 * 16, plain.end());
    odd.insert(odd.end(), {'t', 'a', 'i', 'l'});
    ASSERT_TRUE(EDIT_FILE_OPEN_BYTES(odd.data(), static_cast<int>(odd.size()), why, sizeof why)) << why;
    EXPECT_EQ(now_as_file(), odd);

    EDIT_FILL(2, 5, 20, 5, CELL_BLOCK);
    EDIT_PAINT(7, 4, CELL_EGG);
    EDIT_PAINT(12, 3, CELL_LADDER);
    const fs::path out = dir / "edited.bmp";
    ASSERT_TRUE(EDIT_FILE_SAVE(out.c_str(), why, sizeof why)) << why;
    const std::vector<unsigned char> saved = read_bytes(out);
    ASSERT_EQ(saved.size(), odd.size());
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + offset, odd.begin()));
    EXPECT_TRUE(std::equal(saved.end() - 4, saved.end(), odd.end() - 4));
    EXPECT_EQ(edit_file_changes, edit_changes);

    ASSERT_TRUE(set_level_path(1, out.c_str()));
    MAP_LOAD(1);
    ASSERT_EQ(map_width, 40);
    ASSERT_EQ(map_height, 16);
    for (int k = 0; k < 40 * 16; k++) ASSERT_EQ(level_bytes[k], edit_level.cell[k]) << "cell " << k;

    EDIT_RESIZE(18);
    ASSERT_TRUE(EDIT_FILE_SAVE(out.c_str(), why, sizeof why)) << why;
    const std::vector<unsigned char> resized = read_bytes(out);
    ASSERT_EQ(resized.size(), 54u + 1024u + 40u * 18u);
    EXPECT_EQ(resized[54 + 4 * 3], 3);  // entry 3 of the file's own palette
    EXPECT_EQ(resized[54 + 4 * 20], 0x20); // past its 16 entries: the game's grey
    MAP_LOAD(1);
    ASSERT_EQ(map_height, 18);
    for (int k = 0; k < 40 * 18; k++) ASSERT_EQ(level_bytes[k], edit_level.cell[k]) << "cell " << k;
    ASSERT_TRUE(EDIT_FILE_OPEN(out.c_str(), why, sizeof why)) << why;
    EXPECT_EQ(now_as_file(), resized);
}

// Files the editor cannot keep are refused with a reason naming what is
// wrong, and the level being edited stays as it was.
TEST_F(EditFile, BadFilesAreRefusedAndChangeNothing) {
    EDIT_FILE_NEW(15);
    const std::vector<unsigned char> good = now_as_file();
    EDIT_FILE_NEW(22);
    const unsigned changes = edit_changes;
    auto with = [&](int at, std::initializer_list<unsigned char> b) {
        std::vector<unsigned char> f = good;
        std::copy(b.begin(), b.end(), f.begin() + at);
        return f;
    };
    std::vector<unsigned char> code11 = good, big = good, shortened = good;
    code11[good.size() - 3] = 11;
    big.resize(EDIT_FILE_MAX_BYTES + 1);
    shortened.resize(good.size() - 1);
    const struct {
        std::vector<unsigned char> bytes;
        const char* says;
    } cases[] = {
        {{'B', 'M', 0}, "not a BMP"},
        {with(0, {'P', 'K'}), "not a BMP"},
        {with(14, {12}), "header"},
        {with(28, {24}), "not an 8-bit"},
        {with(30, {1}), "compressed"},
        {with(18, {39}), "39 cells wide"},
        {with(22, {14}), "14 rows"},
        {with(22, {26}), "26 rows"},
        {with(22, {0xF1, 0xFF, 0xFF, 0xFF}), "-15 rows"},
        {with(10, {0xFF, 0xFF, 0xFF, 0x7F}), "ends before"},
        {with(10, {10, 0, 0, 0}), "ends before"},
        {shortened, "ends before"},
        {code11, "cell (37, 0) holds 11"},
        {big, "larger than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        why[0] = '\0';
        EXPECT_FALSE(EDIT_FILE_OPEN_BYTES(c.bytes.data(), static_cast<int>(c.bytes.size()), why, sizeof why));
        EXPECT_NE(std::strstr(why, c.says), nullptr) << why;
        EXPECT_EQ(edit_changes, changes);
        EXPECT_EQ(edit_level.height, 22);
    }
    EXPECT_FALSE(EDIT_FILE_OPEN((dir / "none.bmp").c_str(), why, sizeof why));
    EXPECT_NE(std::strstr(why, "cannot read"), nullptr) << why;
}

// The level fuzzers' seed files, and every cut of a good file, open or are
// refused with a reason; what opens saves back to the bytes it was.
TEST_F(EditFile, FuzzCorpusOpensOrIsRefused) {
    int opened = 0, refused = 0;
    auto one = [&](const std::vector<unsigned char>& b) {
        why[0] = '\0';
        if (EDIT_FILE_OPEN_BYTES(b.data(), static_cast<int>(b.size()), why, sizeof why)) {
            opened++;
            EXPECT_EQ(now_as_file(), b);
        } else {
            refused++;
            EXPECT_NE(why[0], '\0');
        }
    };
    for (const char* corpus : {"fuzz_map_load", "fuzz_load_bitmap", "fuzz_prove_level"})
        for (const auto& entry : fs::directory_iterator(fs::path(SOURCE_DIR) / "fuzz" / "seeds" / corpus)) one(read_bytes(entry.path()));
    const std::vector<unsigned char> level = read_bytes(fs::path(GAME_DIR) / "levels" / "1.bmp");
    for (size_t n = 0; n < level.size(); n += 7) one(std::vector<unsigned char>(level.begin(), level.begin() + static_cast<long>(n)));
    EXPECT_GE(opened, 3);
    EXPECT_GE(refused, 20);
}

// Saving over a link replaces the link and leaves what it pointed at alone.
TEST_F(EditFile, SaveNeverWritesThroughALink) {
    EDIT_FILE_NEW(15);
    write_bytes(dir / "other.bmp", {'k', 'e', 'e', 'p'});
    fs::create_symlink(dir / "other.bmp", dir / "link.bmp");
    ASSERT_TRUE(EDIT_FILE_SAVE((dir / "link.bmp").c_str(), why, sizeof why)) << why;
    EXPECT_EQ(read_bytes(dir / "other.bmp"), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(read_bytes(dir / "link.bmp"), now_as_file());
    EXPECT_FALSE(EDIT_FILE_SAVE((dir / "no" / "such.bmp").c_str(), why, sizeof why));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
