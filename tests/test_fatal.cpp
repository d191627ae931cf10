// test_fatal.cpp -- the fatal error report (exact text, cut to 1023
// characters), its exit status, the quiet end_program, the per-thread
// procedure context, CHECK and out-of-bounds table access.
#include "services/fatal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

static constexpr const char MODULE_NAME[] = "duck";

std::string report(int number, int line, const char* module, const char* procedure) {
    char buf[1024];
    const int n = format_fatal_report(buf, sizeof buf, number, line, module, procedure);
    EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
    return buf;
}

// Runs fn in a child process; returns what it wrote to standard error and
// its exit status (-1 if it did not exit normally).
template <typename Fn>
std::string run_child(Fn fn, int* status) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 2);
        fn();
        _exit(250);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

constexpr int kAccessLine = __LINE__ + 4; // the line of t[4] below
void draw_past_the_end() {
    PROC("DUCK_DRAW");
    Table<int, 4> t{};
    t[4] = 1;
}

} // namespace

TEST(FatalReport, LinesModulesAndProcedures) {
    EXPECT_EQ(report(6, 86, "duck", "DUCK_DRAW"),
              "\nAborting due to runtime error 6 (out of bounds array access) at line 86 of duck::DUCK_DRAW()\n\n");
    EXPECT_EQ(report(1, 0, "main", nullptr), "\nAborting due to runtime error 1 (illegal function call) in main()\n\n");
    EXPECT_EQ(report(1, 0, "main", ""), "\nAborting due to runtime error 1 (illegal function call) in main()\n\n");
    EXPECT_EQ(report(2, 0, "map", "MAP_INIT"), "\nAborting due to runtime error 2 (file not found) in map::MAP_INIT()\n\n");
    EXPECT_EQ(report(3, 12, "map", nullptr), "\nAborting due to runtime error 3 (file I/O error) at line 12 of map()\n\n");
    EXPECT_EQ(report(4, 7, nullptr, "X"), "\nAborting due to runtime error 4 (out of memory) at line 7\n\n");
    EXPECT_EQ(report(17, 0, "", nullptr), "\nAborting due to runtime error 17 (end of file)\n\n");
    // Numbers without a text get none; a negative line counts as no line.
    EXPECT_EQ(report(18, 5, "main", "{MODLEVEL}"), "\nAborting due to runtime error 18 at line 5 of main::{MODLEVEL}()\n\n");
    EXPECT_EQ(report(-3, -5, "main", "TITLE"), "\nAborting due to runtime error -3 in main::TITLE()\n\n");
    EXPECT_EQ(report(0, 0, "main", "TITLE"), "\nAborting due to runtime error 0 () in main::TITLE()\n\n");
}

TEST(FatalReport, LongReportIsCutTo1023Characters) {
    const std::string long_name(3000, 'p');
    const std::string r = report(6, 1, "duck", long_name.c_str());
    EXPECT_EQ(r.size(), 1023u);
    EXPECT_EQ(r.rfind("\nAborting due to runtime error 6 (out of bounds array access) at line 1 of duck::ppp", 0), 0u);

    char small[10];
    EXPECT_EQ(format_fatal_report(small, sizeof small, 6, 1, "duck", "X"), 9);
    EXPECT_STREQ(small, "\nAborting");
}

TEST(FatalReport, WrittenToStandardErrorWithTheErrorAsExitStatus) {
    int status = 0;
    const std::string err = run_child([] { fatal_error(6, 86, "duck", "DUCK_DRAW"); }, &status);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(err, "\nAborting due to runtime error 6 (out of bounds array access) at line 86 of duck::DUCK_DRAW()\n\n");

    const std::string err2 = run_child([] { fatal_error(1, 0, "main", nullptr); }, &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err2, "\nAborting due to runtime error 1 (illegal function call) in main()\n\n");
}

TEST(FatalReport, EndProgramWritesNothing) {
    int status = 0;
    const std::string err = run_child([] { end_program(3); }, &status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(err, "");
    EXPECT_EXIT(end_program(0), ::testing::ExitedWithCode(0), "^$");
}

TEST(FatalDeathTest, OutOfBoundsTableAccessNamesLineModuleAndProcedure) {
    int status = 0;
    const std::string err = run_child([] { draw_past_the_end(); }, &status);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(err, "\nAborting due to runtime error 6 (out of bounds array access) at line " +
                       std::to_string(kAccessLine) + " of duck::DUCK_DRAW()\n\n");
    EXPECT_EXIT(draw_past_the_end(), ::testing::ExitedWithCode(6),
                "runtime error 6 \\(out of bounds array access\\) at line [0-9]+ of duck::DUCK_DRAW\\(\\)");

    // A negative index is refused the same way, before memory is touched.
    auto before_start = [] {
        PROC("DUCK_DRAW");
        Table<int, 4> t{};
        return t[-1];
    };
    EXPECT_EXIT(before_start(), ::testing::ExitedWithCode(6), "of duck::DUCK_DRAW\\(\\)");
}

TEST(FatalDeathTest, CheckEndsOnlyOnAnError) {
    CHECK(0); // success passes quietly
    SUCCEED();
    const int line = __LINE__ + 4; // the line of CHECK(2) below
    const std::string want = "at line " + std::to_string(line) + " of duck::DUCK_INIT\\(\\)";
    auto failing = [] {
        PROC("DUCK_INIT");
        CHECK(2);
    };
    EXPECT_EXIT(failing(), ::testing::ExitedWithCode(2), "runtime error 2 \\(file not found\\) " + want);
}

TEST(ProcContext, NestsRestoresAndIsPerThread) {
    reset_procedure_context();
    EXPECT_STREQ(current_module(), "main");
    EXPECT_STREQ(current_procedure(), "{MODLEVEL}");
    {
        const ProcScope a("map", "MAP_LOAD");
        {
            const ProcScope b("swan", "SWANS_ADD");
            EXPECT_STREQ(current_module(), "swan");
            EXPECT_STREQ(current_procedure(), "SWANS_ADD");
            const char* other_module = nullptr;
            const char* other_proc = nullptr;
            std::thread t([&] {
                other_module = current_module();
                other_proc = current_procedure();
            });
            t.join();
            EXPECT_STREQ(other_module, "main");
            EXPECT_STREQ(other_proc, "{MODLEVEL}");
        }
        EXPECT_STREQ(current_module(), "map");
        EXPECT_STREQ(current_procedure(), "MAP_LOAD");
    }
    EXPECT_STREQ(current_module(), "main");
    EXPECT_STREQ(current_procedure(), "{MODLEVEL}");
}
