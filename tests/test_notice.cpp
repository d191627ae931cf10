// test_notice.cpp -- the notice lines: on standard error as before, kept in
// order in the fixed buffer, and the text of the box a player without a
// console is shown (the kept lines, then the report).
#include "port/notice.h"

#include "main/options.h"
#include "services/fatal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string box(const char* text) {
    char out[NOTICE_KEEP_CHARS + 1024];
    format_notice_box(out, sizeof out, text);
    return out;
}

const std::string kReport = "\nAborting due to runtime error 2 (file not found) at line 97 of main::{MODLEVEL}()\n\n";

} // namespace

TEST(Notice, LinesGoToStandardErrorAndShowAboveTheReport) {
    forget_notices();
    EXPECT_EQ(box(kReport.c_str()), kReport.substr(1, kReport.size() - 3)) << "the report alone, no blank lines";
    testing::internal::CaptureStderr();
    notice("no folder holds the game's data (gfx/ and levels/)%s", "; try --data DIR");
    const char* argv[] = {"clovenfeld", "--scale", "9"};
    CommandLine cl;
    EXPECT_EQ(parse_options(3, argv, &cl, nullptr), OPTIONS_BAD); // null: the message is a notice
    const std::string lines = "clovenfeld: no folder holds the game's data (gfx/ and levels/); try --data DIR\n"
                              "clovenfeld: --scale needs a whole number from 1 to 8, not \"9\"\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), lines);
    EXPECT_EQ(box(kReport.c_str()), lines + kReport.substr(0, kReport.size() - 2));
    EXPECT_EQ(box(""), lines.substr(0, lines.size() - 1));
}

TEST(Notice, TheBufferKeepsWholeLinesThenACutOneAndTheReportStaysWhole) {
    forget_notices();
    // A line longer than the formatting buffer reaches standard error whole.
    const std::string path(3000, 'p');
    testing::internal::CaptureStderr();
    notice("cannot create the recording %s", path.c_str());
    for (int i = 0; i < 100; ++i) notice("line %02d of the notices that keep coming, one after another", i);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("clovenfeld: cannot create the recording " + path + "\n", 0), 0u);
    EXPECT_NE(err.find("line 99 of"), std::string::npos);
    // Kept: the long line cut, whole lines while they fit, one cut line, then the whole report.
    const std::string b = box(kReport.c_str());
    EXPECT_EQ(b.rfind("clovenfeld: cannot create the recording ppp", 0), 0u);
    EXPECT_NE(b.find("pp...\nclovenfeld: line 00 of"), std::string::npos);
    const std::string tail = "...\n" + kReport.substr(0, kReport.size() - 2);
    EXPECT_EQ(b.substr(b.size() - tail.size()), tail);
    EXPECT_EQ(b.size() + 3, NOTICE_KEEP_CHARS + kReport.size()) << "the buffer is full";
    EXPECT_EQ(b.substr(b.rfind("\nclovenfeld: line ") - 7, 7), "another") << "the line before the cut one is whole";
    forget_notices();
}
