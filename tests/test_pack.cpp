// test_pack.cpp -- level packs: pack.ini's reader, the example pack verified,
// installed, listed and played through --pack, a changed pixel caught, a
// recording made in a pack naming it, and the files a pack may not be.
#include "main/pack_command.h"
#include "platform/pack.h"
#include "platform/record.h"
#include "port/datadir.h"
#include "port/zip_read.h"

#include "test_command_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

const char kExample[] = SOURCE_DIR "/assets/packs/example";

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A scratch folder holding the player's data folder (data/) and copies of packs.
class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/clovenfeld_pack_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        fs::create_directories(dir / "data");
    }
    void TearDown() override {
        pack_use(nullptr, nullptr);
        fs::remove_all(dir);
    }
    // The game program with the scratch data folder, from the game's folder.
    ToolRun game(const std::string& args) {
        return run("cd '" GAME_DIR "' && XDG_DATA_HOME='" + (dir / "data").string() + "' ./clovenfeld " + args);
    }
    fs::path packs() const { return dir / "data" / "clovenfeld" / "packs"; }
    fs::path copy_example(const char* name) {
        const fs::path to = dir / name;
        fs::copy(kExample, to, fs::copy_options::recursive);
        return to;
    }
    fs::path dir;
};

const char kGoodIni[] =
        "# a pack\n"
        "id = my-pack_2.b\n"
        "title = My Pack\n"
        "author = Someone\n"
        "licence = CC0-1.0\n"
        "version = 1.2\n"
        "game = 0.5\n"
        "file.4 = 8C2CF65AE962D4DB0DF928F164DA1EE8DAD675861416DBECD3A1F47F6F9D58E3\n";

} // namespace

TEST(PackIni, ReadsEveryKeyAndRefusesEachBadLineNamingIt) {
    PackInfo info;
    char problem[PACK_PROBLEM_CHARS] = "";
    ASSERT_TRUE(pack_ini_parse(kGoodIni, static_cast<int>(sizeof kGoodIni - 1), "p.ini", &info, problem, sizeof problem))
            << problem;
    EXPECT_STREQ(info.id, "my-pack_2.b");
    EXPECT_STREQ(info.version, "1.2");
    EXPECT_TRUE(info.has_file[4]);
    EXPECT_FALSE(info.has_file[1]);
    EXPECT_STREQ(info.sha256[4], "8c2cf65ae962d4db0df928f164da1ee8dad675861416dbecd3a1f47f6f9d58e3");

    const std::string good = kGoodIni;
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const struct {
        std::string text;
        const char* says;
    } bad[] = {
        {with("id = my-pack_2.b", "id = ../up"), "p.ini:2: id is"},
        {with("id = my-pack_2.b", "id = .hidden"), "p.ini:2: id is"},
        {with("id = my-pack_2.b", "id = Caps"), "p.ini:2: id is"},
        {with("id = my-pack_2.b", "id = abcdefghijabcdefghijabcdefghijabc"), "p.ini:2: id too long"},
        {with("id = my-pack_2.b", "id = clovenfeld"), "built-in"},
        {with("id = my-pack_2.b\n", ""), "p.ini: no id"},
        {good + "title = Again\n", "p.ini:9: title again (first on line 3)"},
        {good + "colour = red\n", "p.ini:9: unknown key 'colour'"},
        {good + "just words\n", "p.ini:9: expected \"key = value\""},
        {good + "description =\n", "p.ini:9: description has no value"},
        {good + "file.4 = 00\n", "p.ini:9: file.4 again"},
        {good + "file.0 = 00\n", "p.ini:9: unknown key 'file.0'"},
        {with("file.4 = 8C", "file.4 = XC"), "p.ini:8: file.4 is the SHA-256"},
        {with("version = 1.2", "version = 1..2"), "p.ini:6: version is a version"},
        {with("file.4 = 8C2CF65AE962D4DB0DF928F164DA1EE8DAD675861416DBECD3A1F47F6F9D58E3\n", ""), "no level file"},
        {good + "# " + std::string(600, 'x') + "\n", "p.ini:9: line too long"},
        {good + "description = a\x01b\n", "p.ini:9: control characters"},
        {good + std::string(PACK_INI_MAX_BYTES, '\n'), "larger than"},
    };
    for (const auto& b : bad) {
        problem[0] = '\0';
        EXPECT_FALSE(pack_ini_parse(b.text.data(), static_cast<int>(b.text.size()), "p.ini", &info, problem, sizeof problem))
                << b.says;
        EXPECT_NE(std::string(problem).find(b.says), std::string::npos) << problem << " -- wanted: " << b.says;
        EXPECT_EQ(info.id[0], '\0');
    }
}

TEST(PackIni, VersionsCompareAsNumbers) {
    EXPECT_LT(pack_version_compare("0.5", "0.10"), 0);
    EXPECT_EQ(pack_version_compare("1.0", "1.0"), 0);
    EXPECT_EQ(pack_version_compare("1.0", "1"), 0);
    EXPECT_GT(pack_version_compare("1.0.1", "1"), 0);
    EXPECT_LT(pack_version_compare("junk", "0.1"), 0);
}

// The example pack as shipped: verified, installed, listed and played.
TEST_F(PackTest, TheExamplePackVerifiesInstallsIsListedAndItsProofsPlayToTheLevelsEnd) {
    ToolRun v = game(std::string("--verify-pack '") + kExample + "'");
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_NE(v.out.find("example: ok, 9 levels proved"), std::string::npos) << v.out;
    for (int level : {1, 2, 3, 10, 11, 12, 19, 20, 21})
        EXPECT_NE(v.out.find("level " + std::to_string(level) + " (levels/"), std::string::npos) << level;

    ToolRun i = game(std::string("--install-pack '") + kExample + "'");
    ASSERT_EQ(i.status, 0) << i.out;
    EXPECT_EQ(read_text(packs() / "example" / "levels" / "2.bmp"), read_text(fs::path(kExample) / "levels" / "2.bmp"));
    EXPECT_FALSE(fs::exists(packs() / "example" / "source")); // only the pack's own files
    // Nothing left beside it: no temporary folder.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(packs())) entries += e.path().filename() != "example";
    EXPECT_EQ(entries, 0);

    ToolRun l = game("--packs");
    EXPECT_NE(l.out.find("example              \"Three Small Rooms\" 1.0"), std::string::npos) << l.out;

    // Each proof, replayed by the installed pack's id, completes its level (the level-clear sound).
    for (int level : {1, 2, 3, 10, 11, 12, 19, 20, 21}) {
        const std::string proof = (packs() / "example" / "proofs" / ("level-" + std::to_string(level) + ".rec")).string();
        ToolRun p = game("--pack example --replay '" + proof + "' --fast --events");
        EXPECT_EQ(p.status, 0) << level << p.out;
        EXPECT_NE(p.out.find("sound:level-clear"), std::string::npos) << level << p.out;
        // The same recording without the pack finds it installed by its id.
        ToolRun q = game("--verify '" + proof + "'");
        EXPECT_EQ(q.status, 0) << level << q.out;
    }
}

TEST_F(PackTest, OneChangedPixelFailsAtItsLevelAndIsNotInstalled) {
    const fs::path bad = copy_example("bad");
    std::string bmp = read_text(bad / "levels" / "2.bmp");
    const unsigned offset = static_cast<unsigned char>(bmp[10]) | static_cast<unsigned char>(bmp[11]) << 8;
    bmp[offset + 45] = bmp[offset + 45] == 1 ? 0 : 1; // a block becomes air, or air a block
    write_text(bad / "levels" / "2.bmp", bmp);

    ToolRun v = game("--verify-pack '" + bad.string() + "'");
    EXPECT_EQ(v.status, 22) << v.out;
    EXPECT_NE(v.out.find("level 2 (levels/2.bmp): SHA-256 differs from pack.ini"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("level 1 (levels/1.bmp): ok"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("example: 3 of 9 levels failed"), std::string::npos) << v.out;

    // With pack.ini agreeing, the proofs still know the level they were made on.
    std::string ini = read_text(bad / "pack.ini");
    const size_t at = ini.find("file.2 = ") + 9;
    const ToolRun sum = run("sha256sum '" + (bad / "levels" / "2.bmp").string() + "'");
    ini.replace(at, 64, sum.out.substr(0, 64));
    write_text(bad / "pack.ini", ini);
    v = game("--verify-pack '" + bad.string() + "'");
    EXPECT_EQ(v.status, 22) << v.out;
    EXPECT_NE(v.out.find("level 11 (levels/2.bmp): proof fails: level file differs"), std::string::npos) << v.out;

    ToolRun i = game("--install-pack '" + bad.string() + "'");
    EXPECT_EQ(i.status, 22) << i.out;
    EXPECT_NE(i.out.find("not installed: level 2 fails"), std::string::npos) << i.out;
    EXPECT_FALSE(fs::exists(packs() / "example"));
    EXPECT_TRUE(fs::is_empty(packs()));
}

TEST_F(PackTest, ARecordingMadeInAPackNamesItAndNeedsIt) {
    ASSERT_TRUE(pack_use(kExample, "example"));
    const RecordHeader h = record_header_now(7, 20);
    EXPECT_EQ(h.pack, "example");
    const std::vector<RecordLevel> levels = record_name_levels(20);
    ASSERT_EQ(levels.size(), 1u);
    PackInfo info;
    const std::string ini = read_text(fs::path(kExample) / "pack.ini");
    ASSERT_TRUE(pack_ini_parse(ini.data(), static_cast<int>(ini.size()), "pack.ini", &info, nullptr, 0));
    EXPECT_EQ(levels[0].sha256, info.sha256[2]); // level 20 plays the pack's levels/2.bmp
    pack_use(nullptr, nullptr);
    EXPECT_EQ(record_header_now(7, 20).pack, "");

    // Not installed and not given: --verify and --replay say what is missing.
    const std::string proof = std::string(kExample) + "/proofs/level-20.rec";
    ToolRun v = game("--verify '" + proof + "'");
    EXPECT_EQ(v.status, 22) << v.out;
    EXPECT_NE(v.out.find("needs pack example, which is not installed"), std::string::npos) << v.out;
    ToolRun r = game("--replay '" + proof + "' --fast");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("needs pack example"), std::string::npos) << r.out;
    v = game(std::string("--pack '") + kExample + "' --verify '" + proof + "'");
    EXPECT_EQ(v.status, 0) << v.out;
}

// The example pack zipped (under its folder's name, as a zip of a folder
// is): checked, installed and played as the folder is, leaving only the
// installed pack in the packs folder.
TEST_F(PackTest, TheExamplePackZippedVerifiesInstallsAndPlays) {
    if (!zip_supported()) GTEST_SKIP() << "this build takes packs as folders only";
    const fs::path zip = dir / "example.cvpack";
    const ToolRun z = run("cd '" SOURCE_DIR "/assets/packs' && python3 -m zipfile -c '" + zip.string() + "' example");
    ASSERT_EQ(z.status, 0) << z.out;
    ToolRun v = game("--verify-pack '" + zip.string() + "'");
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_NE(v.out.find("example: ok, 9 levels proved"), std::string::npos) << v.out;
    EXPECT_FALSE(fs::exists(packs() / ".check-example"));
    ToolRun p = game("--pack '" + zip.string() + "' --replay '" + kExample + "/proofs/level-12.rec' --fast --events");
    EXPECT_EQ(p.status, 0) << p.out;
    EXPECT_NE(p.out.find("sound:level-clear"), std::string::npos) << p.out;
    fs::remove_all(packs() / ".play-example");
    ToolRun i = game("--install-pack '" + zip.string() + "'");
    EXPECT_EQ(i.status, 0) << i.out;
    EXPECT_EQ(read_text(packs() / "example" / "pack.ini"), read_text(fs::path(kExample) / "pack.ini"));
    int entries = 0;
    for (const auto& e : fs::directory_iterator(packs())) entries += e.path().filename() != "example";
    EXPECT_EQ(entries, 0);
}

// Links and misplaced files are refused; the packs folder is never reached through a link.
TEST_F(PackTest, LinksAreNeverFollowed) {
    const fs::path linked = copy_example("linked");
    fs::remove(linked / "levels" / "3.bmp");
    fs::create_symlink(fs::path(kExample) / "levels" / "3.bmp", linked / "levels" / "3.bmp");
    PackFiles files;
    std::string error;
    EXPECT_FALSE(pack_read(linked.c_str(), &files, &error));
    EXPECT_EQ(error, "levels/3.bmp: not a plain file (a link, a folder or a device)");

    // The packs folder a link elsewhere: nothing is written there.
    fs::create_directories(dir / "data" / "clovenfeld");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", packs());
    ToolRun i = game(std::string("--install-pack '") + kExample + "'");
    EXPECT_EQ(i.status, 2) << i.out;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));

    // A file under a name the pack has is refused when writing, not overwritten.
    fs::create_directories(dir / "target");
    ASSERT_TRUE(pack_read(kExample, &files, &error)) << error;
    EXPECT_FALSE(pack_write_folder(files, (dir / "target").c_str(), &error));
}

// --edit on a pack: a zip is unpacked beside it into a folder of its name
// (once: the folder there is refused after), a folder is itself, and any
// other name is left for the editor to open as a level file.
TEST_F(PackTest, TheEditorWorksInAZipsFolderUnpackedBesideIt) {
    if (!zip_supported()) GTEST_SKIP() << "this build takes packs as folders only";
    const fs::path zip = dir / "mine.cvpack";
    const ToolRun z = run("cd '" SOURCE_DIR "/assets/packs/example' && python3 -m zipfile -c '" + zip.string() + "' .");
    ASSERT_EQ(z.status, 0) << z.out;
    std::string folder, error;
    ASSERT_TRUE(EDIT_FOLDER_OF(zip.c_str(), &folder, &error)) << error;
    EXPECT_EQ(folder, (dir / "mine").string());
    EXPECT_EQ(read_text(dir / "mine" / "levels" / "1.bmp"), read_text(fs::path(kExample) / "levels" / "1.bmp"));
    EXPECT_TRUE(fs::exists(dir / "mine" / "proofs" / "level-19.rec"));
    EXPECT_FALSE(EDIT_FOLDER_OF(zip.c_str(), &folder, &error));
    EXPECT_NE(error.find("is there already"), std::string::npos) << error;
    ASSERT_TRUE(EDIT_FOLDER_OF((dir / "mine").c_str(), &folder, &error));
    EXPECT_EQ(folder, (dir / "mine").string());
    ASSERT_TRUE(EDIT_FOLDER_OF((dir / "new-level.bmp").c_str(), &folder, &error));
    EXPECT_EQ(folder, (dir / "new-level.bmp").string());
}
