// test_map_util.cpp -- the shared helpers of the map tests (see test_map_util.h).
#include "test_map_util.h"

#include <stdlib.h>
#include <unistd.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace maptest {

void ensure_screen() {
    if (!screen_is_open()) {
        ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
    }
}

int source_line(const char* file, const char* needle) {
    std::ifstream in(std::string(SOURCE_DIR) + "/src/" + file);
    std::string line;
    for (int n = 1; std::getline(in, line); n++)
        if (line.find(needle) != std::string::npos) return n;
    return 0;
}

std::string map_report(int number, const char* text, int line, const char* procedure) {
    return "\nAborting due to runtime error " + std::to_string(number) + " (" + text + ") at line " +
           std::to_string(line) + " of map::" + procedure + "()\n\n";
}

void MapFixture::SetUp() {
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    saved_cwd_ = buf;
    char tmpl[] = "/tmp/clovenfeld_map_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    scratch_ = tmpl;
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    ASSERT_EQ(mkdir("levels", 0755), 0);
    MAP_CREATE_TABLE();
    SWANS_CLEAR();
    map_width = map_height = 0;
    scroll_x = scroll_y = 0;
    player_x = player_y = 0;
    start_x = start_y = start_scroll_x = start_scroll_y = 0;
}

void MapFixture::TearDown() {
    if (!saved_cwd_.empty()) {
        EXPECT_EQ(chdir(saved_cwd_.c_str()), 0);
    }
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_);
}

} // namespace maptest
