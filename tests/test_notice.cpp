// test_notice.cpp -- the notice lines: each one on standard error as one
// fprintf wrote it, kept in order in the fixed buffer, and the text of the
// box a player without a console is shown (the kept lines, then the report).
#include "platform/notice.h"

#include "main/options.h"
#include "services/fatal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string box(const char* text) {
    char out[NOTICE_KEEP_CHARS + 1024];
    const int n = format_notice_box(out, sizeof out, text);
    EXPECT_EQ(n, static_cast<int>(std::string(out).size()));
    return out;
}

std::string report(int number, int line, const char* module, const char* procedure) {
    char buf[1024];
    format_fatal_report(buf, sizeof buf, number, line, module, procedure);
    return buf;
}

} // namespace

TEST(Notice, LinesGoToStandardErrorAndShowAboveTheReport) {
    forget_notices();
    const std::string r = report(2, 97, "main", "{MODLEVEL}");
    EXPECT_EQ(box(r.c_str()), "Aborting due to runtime error 2 (file not found) at line 97 of main::{MODLEVEL}()")
        << "nothing kept: the report alone, without its blank lines";

    testing::internal::CaptureStderr();
    notice("no folder holds the game's data (gfx/ and levels/)%s", "; try --data DIR");
    const char* argv[] = {"clovenfeld", "--scale", "9"};
    CommandLine cl;
    EXPECT_EQ(parse_options(3, argv, &cl, nullptr), OPTIONS_BAD); // null: the message is a notice
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "clovenfeld: no folder holds the game's data (gfx/ and levels/); try --data DIR\n"
              "clovenfeld: --scale needs a whole number from 1 to 8, not \"9\"\n");
    EXPECT_EQ(box(r.c_str()),
              "clovenfeld: no folder holds the game's data (gfx/ and levels/); try --data DIR\n"
              "clovenfeld: --scale needs a whole number from 1 to 8, not \"9\"\n"
              "\n"
              "Aborting due to runtime error 2 (file not found) at line 97 of main::{MODLEVEL}()");
    EXPECT_EQ(box(""),
              "clovenfeld: no folder holds the game's data (gfx/ and levels/); try --data DIR\n"
              "clovenfeld: --scale needs a whole number from 1 to 8, not \"9\"");
    EXPECT_EQ(box(USAGE_TEXT).substr(box("").size()), "\n\n" + std::string(USAGE_TEXT, std::strlen(USAGE_TEXT) - 1));

    // A small box is cut, never overrun.
    char small[12];
    EXPECT_EQ(format_notice_box(small, sizeof small, r.c_str()), 11);
    EXPECT_STREQ(small, "clovenfeld:");
    forget_notices();
    EXPECT_EQ(box(""), "");
}

TEST(Notice, TheBufferKeepsWholeLinesThenACutOneAndTheReportStaysWhole) {
    forget_notices();
    // A line longer than the formatting buffer reaches standard error whole.
    const std::string path(3000, 'p');
    testing::internal::CaptureStderr();
    notice("cannot create the recording %s", path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "clovenfeld: cannot create the recording " + path + "\n");
    const std::string first = box("");
    EXPECT_LT(first.size(), 1024u) << "kept cut";
    EXPECT_EQ(first.rfind("clovenfeld: cannot create the recording ppp", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 3), "...");

    // Lines are kept whole while they fit, then one cut line, then none.
    testing::internal::CaptureStderr();
    for (int i = 0; i < 100; ++i) notice("line %02d of the notices that keep coming, one after another", i);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("line 99 of"), std::string::npos) << "standard error has them all";
    const std::string r = report(6, 12, "swan", "SWAN_MOVE");
    const std::string b = box(r.c_str());
    EXPECT_EQ(b.rfind(first + "\nclovenfeld: line 00 of", 0), 0u);
    EXPECT_EQ(b.find("line 99"), std::string::npos);
    const std::string tail = "...\n\n" + r.substr(1, r.size() - 3);
    ASSERT_GT(b.size(), tail.size());
    EXPECT_EQ(b.substr(b.size() - tail.size()), tail) << "the cut mark, then the whole report";
    EXPECT_EQ(b.size() - r.size() + 3, static_cast<size_t>(NOTICE_KEEP_CHARS)) << "the buffer is full";
    // Every line before the cut one is whole.
    const size_t cut = b.rfind("\nclovenfeld: line ");
    EXPECT_EQ(b.substr(cut - 7, 7), "another");
    forget_notices();
}
