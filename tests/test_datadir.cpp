// test_datadir.cpp -- where the game finds gfx/ and levels/: the search order
// over scratch folders, what counts as holding the data, --data, and the real
// program started from a folder without its data.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "main/options.h"
#include "port/datadir.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder that is also the working directory while the test runs.
struct DataDirTest : ::testing::Test {
    fs::path root;
    fs::path saved;
    void SetUp() override {
        root = fs::temp_directory_path() / ("clovenfeld-datadir-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "cwd");
        saved = fs::current_path();
        fs::current_path(root / "cwd");
    }
    void TearDown() override {
        fs::current_path(saved);
        fs::remove_all(root);
    }
    // Makes dir hold the data (gfx/ and levels/) and returns its path.
    std::string data(const fs::path& dir) {
        fs::create_directories(dir / "gfx");
        fs::create_directories(dir / "levels");
        return dir.string();
    }
    std::string find(const DataDirPlaces& places, bool* found = nullptr) {
        char out[DATA_DIR_CHARS];
        const bool ok = find_data_dir(places, out, sizeof out);
        if (found) *found = ok;
        return out;
    }
};

} // namespace

TEST_F(DataDirTest, SearchOrderFromTheExecutableToEachXdgDataDir) {
    const std::string exe = (root / "opt/bin/clovenfeld").string();
    const std::string installed = (root / "prefix/share/clovenfeld").string();
    const std::string xdg_home = (root / "xdghome").string();
    const std::string home = (root / "home").string();
    const std::string xdg_dirs = "relative/ignored::" + (root / "d1").string() + ":" + (root / "d2").string();
    DataDirPlaces places;
    places.executable = exe.c_str();
    places.installed = installed.c_str();
    places.xdg_data_home = xdg_home.c_str();
    places.home = home.c_str(); // not used while XDG_DATA_HOME is set
    places.xdg_data_dirs = xdg_dirs.c_str();
    data(root / "home/.local/share/clovenfeld");
    data("relative/ignored/clovenfeld"); // inside the working directory: relative entries do not count

    // Every place holds the data; each pass takes the winner's data away.
    const std::string expected[] = {
        data(root / "opt/bin"),
        data(root / "opt/bin/../share/clovenfeld"),
        data(root / "opt/bin/../share/games/clovenfeld"), // Debian's games layout
        data(installed),
        data(root / "xdghome/clovenfeld"),
        data(root / "xdghome/games/clovenfeld"),
        data(root / "d1/clovenfeld"),
        data(root / "d1/games/clovenfeld"),
        data(root / "d2/clovenfeld"),
        data(root / "d2/games/clovenfeld"),
    };
    for (const std::string& e : expected) {
        SCOPED_TRACE(e);
        bool found = false;
        EXPECT_EQ(find(places, &found), e);
        EXPECT_TRUE(found);
        fs::remove_all(fs::path(e) / "levels"); // gfx/ alone is not the data
    }
    bool found = true;
    EXPECT_EQ(find(places, &found), "") << "nothing left: the working directory";
    EXPECT_FALSE(found);

    // Without XDG_DATA_HOME, ~/.local/share is searched, games/ there too.
    places.xdg_data_home = nullptr;
    EXPECT_EQ(find(places), (root / "home/.local/share/clovenfeld").string());
    places.xdg_data_home = "";
    EXPECT_EQ(find(places), (root / "home/.local/share/clovenfeld").string());
    fs::remove_all(root / "home/.local/share/clovenfeld");
    EXPECT_EQ(find(places), data(root / "home/.local/share/games/clovenfeld"));
}

TEST_F(DataDirTest, WithoutUnixPlacesOnlyTheExecutablesFolderIsSearched) {
    // As on Windows: every Unix place holds the data, and none is taken.
    const std::string exe = (root / "opt/bin/clovenfeld").string(), d = root.string();
    for (const char* p : {"opt/share/clovenfeld", "opt/share/games/clovenfeld", "prefix", "xdg/clovenfeld",
                          "home/.local/share/clovenfeld", "dirs/clovenfeld"})
        data(root / p);
    fs::create_directories(root / "opt/bin"); // so that opt/bin/../share leads somewhere
    const std::string installed = d + "/prefix", xdg = d + "/xdg", home = d + "/home", dirs = d + "/dirs";
    DataDirPlaces places;
    places.executable = exe.c_str();
    places.installed = installed.c_str();
    places.home = home.c_str(); // ~/.local/share, as XDG_DATA_HOME is unset
    places.xdg_data_dirs = dirs.c_str();
    places.unix_places = false;
    bool found = true;
    EXPECT_EQ(find(places, &found), "");
    EXPECT_FALSE(found);
    places.xdg_data_home = xdg.c_str();
    EXPECT_EQ(find(places, &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(find(places), data(root / "opt/bin"));
    places.unix_places = true;
    fs::remove_all(root / "opt/bin/levels");
    EXPECT_EQ(find(places), d + "/opt/bin/../share/clovenfeld") << "the same places on Linux";
}

TEST_F(DataDirTest, WorkingDirectoryFirstAndDataNamesTheFolderOutright) {
    const std::string exe = (root / "bin/clovenfeld").string();
    data(root / "bin");
    DataDirPlaces places;
    places.executable = exe.c_str();
    EXPECT_EQ(find(places), (root / "bin").string());
    data(root / "cwd");
    bool found = false;
    EXPECT_EQ(find(places, &found), "");
    EXPECT_TRUE(found);

    // --data wins over the working directory, and is kept even when empty.
    const std::string other = data(root / "other");
    places.given = other.c_str();
    EXPECT_EQ(find(places, &found), other);
    EXPECT_TRUE(found);
    places.given = "/no/such/folder";
    EXPECT_EQ(find(places, &found), "/no/such/folder");
    EXPECT_FALSE(found);

    // The result is kept until changed; every game file is named under it,
    // whole or not at all.
    set_data_dir(other.c_str());
    EXPECT_EQ(std::string(data_dir()), other);
    char path[64];
    const std::string want = other + "/levels/1.bmp";
    char big[DATA_DIR_CHARS + 32];
    ASSERT_EQ(data_file_path("levels\\1.bmp", big, sizeof big), 0);
    EXPECT_EQ(std::string(big), want);
    EXPECT_EQ(data_file_path("levels\\1.bmp", big, static_cast<int>(want.size())), 1) << "one short";
    EXPECT_STREQ(big, "") << "never a cut-off name";
    EXPECT_EQ(data_file_path("levels\\1.bmp", big, static_cast<int>(want.size()) + 1), 0);
    EXPECT_EQ(data_file_path("/abs/x.bmp", big, sizeof big), 0);
    EXPECT_STREQ(big, "/abs/x.bmp");
    set_data_dir(nullptr);
    EXPECT_EQ(std::string(data_dir()), "");
    ASSERT_EQ(data_file_path("gfx\\egg.bmp", path, sizeof path), 0);
    EXPECT_STREQ(path, "gfx/egg.bmp");
}

TEST(DataDirOptions, DataTakesAFolder) {
    const char* ok[] = {"clovenfeld", "--data", "/usr/share/clovenfeld", "--headless"};
    const char* missing[] = {"clovenfeld", "--data"};
    const char* empty[] = {"clovenfeld", "--data", ""};
    CommandLine cl;
    FILE* sink = std::tmpfile();
    EXPECT_EQ(parse_options(4, ok, &cl, sink), OPTIONS_OK);
    EXPECT_STREQ(cl.data_dir, "/usr/share/clovenfeld");
    EXPECT_TRUE(cl.run.headless);
    EXPECT_EQ(parse_options(2, missing, &cl, sink), OPTIONS_BAD);
    EXPECT_EQ(parse_options(3, empty, &cl, sink), OPTIONS_BAD);
    std::fclose(sink);
}

TEST_F(DataDirTest, ProgramFromAnotherFolderFindsItsDataBesideItself) {
    // The working directory is empty; the built game lives beside gfx/ and levels/.
    auto run = [](const std::string& args) {
        const std::string cmd = "\"" GAME_DIR "/clovenfeld\" --headless --fast --stop-at title " + args +
                                " >fatal.txt 2>&1";
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(run("--data \"" GAME_DIR "\""), 0);
    // A folder without the data: the first sprite load ends the program
    // with "file not found" (status 2), as it always has.
    EXPECT_EQ(run("--data \"" + (root / "cwd").string() + "\""), 2);
    std::FILE* f = std::fopen("fatal.txt", "r");
    ASSERT_NE(f, nullptr);
    char text[512] = "";
    text[std::fread(text, 1, sizeof text - 1, f)] = '\0';
    std::fclose(f);
    EXPECT_NE(std::string(text).find("file not found"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("no folder holds the game's data"), std::string::npos) << text;
}

TEST_F(DataDirTest, HalfADataFolderIsPassedOverAndTheLevelsArePlayed) {
    // The working directory holds the sprites but no levels: not a data
    // folder, so the game takes the data beside itself and plays level 1 to
    // its end at the tick the build folder's own run reaches it.
    fs::copy(GAME_DIR "/gfx", root / "cwd/gfx");
    auto events = [](const std::string& dir) {
        const std::string cmd = "cd \"" + dir + "\" && \"" GAME_DIR "/clovenfeld\" --headless --fast --replay \"" +
                                SOURCE_DIR "/assets/recordings/game.rec\" --stop-at \"infobox:Level 2\" --events";
        std::string out;
        if (std::FILE* p = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            EXPECT_EQ(pclose(p), 0);
        }
        return out.substr(out.rfind("tick ", out.size() - 2));
    };
    const std::string here = events((root / "cwd").string());
    EXPECT_EQ(here, events(GAME_DIR));
    EXPECT_GT(std::stol(here.substr(5)), 1000) << "level 1 took " << here;
}
