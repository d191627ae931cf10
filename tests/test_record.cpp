// test_record.cpp -- recordings: parsing (repeats, comments, line endings),
// refusing malformed files with the line at fault, writing with run-length
// compression, and a writer-to-reader round trip.
#include "platform/record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

bool parse(const std::string& text, Recording* rec, std::string* err) {
    return parse_recording(text.data(), text.size(), rec, err);
}

// Every tick of a recording as "held|queued" with held codes ascending.
std::vector<std::string> expand(const Recording& rec) {
    std::vector<std::string> out;
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    while (replay_next(&c, &in)) {
        std::ostringstream s;
        bool first = true;
        for (int i = 0; i < 128; ++i)
            if (in.held[i]) { s << (first ? "" : " ") << i; first = false; }
        s << '|';
        for (int i = 0; i < in.queued_count; ++i) s << (i ? " " : "") << in.queued[i];
        out.push_back(s.str());
    }
    return out;
}

std::string temp_path(const char* name) {
    return std::string("/tmp/clovenfeld_record_") + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

TEST(RecordParse, ExampleFileExpandsTickByTick) {
    Recording rec;
    std::string err;
    ASSERT_TRUE(parse("clovenfeld-recording 1\n"
                      "seed 123456789\n"
                      "# one line per tick\n"
                      "|\n"
                      "3x |\n"
                      "77|\n"
                      "77 72|32\n"
                      "|255 18687\n",
                      &rec, &err)) << err;
    EXPECT_EQ(rec.seed, 123456789u);
    EXPECT_EQ(rec.ticks, 7);
    const std::vector<std::string> want = {"|", "|", "|", "|", "77|", "72 77|32", "|255 18687"};
    EXPECT_EQ(expand(rec), want);
}

TEST(RecordParse, CommentsBlankLinesCarriageReturnsAndSpacing) {
    Recording rec;
    std::string err;
    ASSERT_TRUE(parse("# made by hand\r\n\r\nclovenfeld-recording 1\r\n  seed   0\r\n\r\n"
                      "  2x   1  57 | 27  \r\n# note\r\n|\r\n3x |",
                      &rec, &err)) << err;
    EXPECT_EQ(rec.seed, 0u);
    const std::vector<std::string> want = {"1 57|27", "1 57|27", "|", "|", "|", "|"};
    EXPECT_EQ(expand(rec), want);
}

TEST(RecordParse, LargestSeedAndNoTicks) {
    Recording rec;
    std::string err;
    ASSERT_TRUE(parse("clovenfeld-recording 1\nseed 4294967295\n", &rec, &err)) << err;
    EXPECT_EQ(rec.seed, 4294967295u);
    EXPECT_EQ(rec.ticks, 0);
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    EXPECT_FALSE(replay_next(&c, &in));
}

TEST(RecordParse, MalformedFilesNameTheLineAtFault) {
    const std::string head = "clovenfeld-recording 1\nseed 5\n";
    struct Case { std::string text; std::string line; };
    const Case cases[] = {
        {"", "line 0"},
        {"hello\n", "line 1"},
        {"clovenfeld-recording 3\nseed 1\n", "line 1"},
        {"clovenfeld-recording\nseed 1\n", "line 1"},
        {"clovenfeld-recording 1\n", "line 1"},
        {"clovenfeld-recording 1\n|\n", "line 2"},
        {"clovenfeld-recording 1\nseed -1\n", "line 2"},
        {"clovenfeld-recording 1\nseed 4294967296\n", "line 2"},
        {"clovenfeld-recording 1\nseed 12a\n", "line 2"},
        {"clovenfeld-recording 1\nseed 99999999999999999999999\n", "line 2"},
        {head + "|\n128|\n", "line 4"},
        {head + "77\n", "line 3"},
        {head + "|1|2\n", "line 3"},
        {head + "|256\n", "line 3"},
        {head + "|65791\n", "line 3"},
        {head + "|-3\n", "line 3"},
        {head + "0x |\n", "line 3"},
        {head + "99999999999x |\n", "line 3"},
        {head + "5y |\n", "line 3"},
        {head + "7 7x|\n", "line 3"},
        {head + "|3a\n", "line 3"},
        {head + "|" + std::string(40, '9') + "\n", "line 3"},
        {head + std::string("|\0 1\n", 5), "line 3"},
        {head + "2147483647x |\n2147483647x |\n" + std::string(600, 'x'), "line"},
        {head + "|\n|" + std::string(RECORD_LINE_MAX, '1') + "\n", "line 4: line too long"},
    };
    for (const Case& c : cases) {
        Recording rec;
        std::string err;
        EXPECT_FALSE(parse(c.text, &rec, &err)) << c.text;
        EXPECT_EQ(err.rfind(c.line, 0), 0u) << "text: " << c.text << "\nerror: " << err;
    }
}

// Version 2: the header in its order, runs and their hashes, the end line.
TEST(RecordParse, Version2ReadsItsHeaderRunsAndEndAndRefusesFaultsByLine) {
    const std::string sha(64, 'a');
    const std::string head = "clovenfeld-recording 2\nbehaviour 4\ngame Clovenfeld Returns 9\nseed 7\n"
                             "start level 12\nlevel 12 levels/3.bmp " + sha + "\nassists none\npack\n";
    const std::string ticks = "-{32}1-199R300=0123456789ab\nUR(29)10L(1,57){27,255}3\n";
    Recording rec;
    std::string err;
    ASSERT_TRUE(parse(head + ticks + "end ticks 513 score 40 eggs 3 lives 2 hash 00000000000000ff\n# after\n",
                      &rec, &err)) << err;
    EXPECT_EQ(rec.version, 2);
    EXPECT_EQ(rec.behaviour, 4);
    EXPECT_EQ(rec.game, "Clovenfeld Returns 9");
    EXPECT_EQ(rec.seed, 7u);
    EXPECT_EQ(rec.start_level, 12);
    ASSERT_EQ(rec.levels.size(), 1u);
    EXPECT_EQ(rec.levels[0].path, "levels/3.bmp");
    EXPECT_EQ(rec.levels[0].sha256, sha);
    EXPECT_EQ(rec.end_ticks, 513);
    EXPECT_EQ(rec.end_score, 40);
    EXPECT_EQ(rec.end_hash, 0xFFu);
    const std::vector<std::string> got = expand(rec);
    ASSERT_EQ(got.size(), 513u);
    EXPECT_EQ(got[0], "|32");
    EXPECT_EQ(got[1], "|");
    EXPECT_EQ(got[499], "77|");
    EXPECT_EQ(got[500], "29 72 77|");
    EXPECT_EQ(got[510], "1 57 75|27 255");
    // The hash comes with the first tick after it.
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    for (int t = 0; t <= 500; t++) {
        ASSERT_TRUE(replay_next(&c, &in));
        EXPECT_EQ(in.check_hash, t == 500) << t;
    }
    EXPECT_EQ(in.state_hash, 0x0123456789abu);
    replay_finish(&c);

    const std::string end = "end ticks 513 score 40 eggs 3 lives 2 hash 00000000000000ff\n";
    struct Case { std::string text; std::string line; };
    const Case cases[] = {
        {"clovenfeld-recording 2\nseed 1\n", "line 2: expected \"behaviour N\""},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart level 28\n", "line 5"},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart title\nlevel 1 a.bmp 12\n", "line 6"},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart title\nassists slow\n", "line 6"},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart title\nassists lives 7\n", "line 6"},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart title\nassists ladder ladder\n", "line 6"},
        {"clovenfeld-recording 2\nbehaviour 1\ngame x\nseed 1\nstart title\n", "line 5: the header ends early"},
        {head + "-500\n" + end, "line 10: the end line says 513 ticks, the lines hold 500"},
        {head + "-501\n", "line 9: a run needs"},
        {head + "-300-300\n", "line 9: a run goes past tick 500"},
        {head + "-200=0123456789ab\n", "line 9: a state hash after tick 200"},
        {head + "-500\n-13\n" + end, "line 10: no state hash after tick 500"},
        {head + "-500=0123\n", "line 9: a state hash is 12 hex"},
        {head + "RL5\n", "line 9: arrows are written U, D, L, R"},
        {head + "x5\n", "line 9: expected '-' or the arrows"},
        {head + "-(72)5\n", "line 9: scan code 72 cannot be in ()"},
        {head + "-{256}5\n", "line 9: key code 256"},
        {head + "-(1,2\n", "line 9: a list without"},
        {head + "-13\nend ticks 12 score 0 eggs 0 lives 0 hash 0000000000000000\n", "line 10: the end line says 12 ticks"},
        {head + "-13\nend ticks 13 score 0\n", "line 10: expected \"end ticks"},
        {head + "-13\n" + "end ticks 13 score 0 eggs 0 lives 0 hash 0000000000000000\n-1\n", "line 11: nothing may follow"},
        {head + "-13\n", "line 9: no end line"},
    };
    for (const Case& k : cases) {
        Recording r;
        std::string e;
        EXPECT_FALSE(parse(k.text, &r, &e)) << k.text;
        EXPECT_EQ(e.rfind(k.line, 0), 0u) << "text: " << k.text << "\nerror: " << e;
    }
}

// The assists that change play are named in the header as written and read
// back, so a replay starts its games with them.
TEST(RecordParse, AssistsInTheHeaderRoundTrip) {
    for (const char* words : {"none", "ladder", "lives 5", "lives unlimited", "ladder lives 9"}) {
        PlayAssists a;
        ASSERT_TRUE(assists_parse(words, &a)) << words;
        RecordHeader h;
        h.seed = 3;
        h.assists = a;
        char path[] = "/tmp/clovenfeld_assists_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        RecordWriter w;
        ASSERT_TRUE(record_open(&w, path, h));
        const unsigned char none[128] = {};
        record_line(&w, none, nullptr, 0);
        record_close(&w);
        Recording rec;
        std::string err;
        ASSERT_TRUE(load_recording(path, &rec, &err)) << err;
        EXPECT_EQ(rec.assists, words);
        EXPECT_EQ(rec.play_assists.ladder_help, a.ladder_help);
        EXPECT_EQ(rec.play_assists.lives, a.lives);
        std::remove(path);
    }
}

TEST(RecordParse, LongCommentsAreFineAndTheLongestTickLineIsRead) {
    Recording rec;
    std::string err;
    std::string codes = "|";
    for (int i = 0; i < RECORD_LINE_CODES - 1; ++i) codes += i ? " 1" : "1"; // 8189 characters
    ASSERT_TRUE(parse("clovenfeld-recording 1\nseed 1\n#" + std::string(100000, 'c') + "\n" + codes + "\n|\n",
                      &rec, &err)) << err;
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    ASSERT_TRUE(replay_next(&c, &in));
    EXPECT_EQ(in.queued_count, RECORD_LINE_CODES - 1);
    ASSERT_TRUE(replay_next(&c, &in));
    EXPECT_EQ(in.queued_count, 0);
    EXPECT_FALSE(replay_next(&c, &in));
}

TEST(RecordParse, AFileCutShortAfterItsCheckEndsTheReplayWithStatus2) {
    const std::string path = temp_path("cut.txt");
    {
        std::ofstream out(path, std::ios::binary);
        out << "clovenfeld-recording 1\nseed 3\n|\n5x 77|\n1|\n";
    }
    Recording rec;
    std::string err;
    ASSERT_TRUE(load_recording(path.c_str(), &rec, &err)) << err;
    EXPECT_EQ(rec.ticks, 7);
    ASSERT_EQ(truncate(path.c_str(), 32), 0); // the lines after "|" are gone
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    ASSERT_TRUE(replay_next(&c, &in));
    EXPECT_EXIT(replay_next(&c, &in), ::testing::ExitedWithCode(2), "line 4: ends early since it was checked");
    replay_finish(&c);
    std::remove(path.c_str());
}

TEST(RecordParse, LineLimitIgnoresTheCarriageReturnAndBlanksCannotHideInput) {
    const std::string head = "clovenfeld-recording 1\nseed 1\n";
    // A tick line of exactly the limit reads the same with LF and CRLF ends.
    const std::string longest = std::string(RECORD_LINE_MAX - 3, ' ') + "|32";
    for (const char* end : {"\n", "\r\n"}) {
        Recording rec;
        std::string err;
        ASSERT_TRUE(parse(head + longest + end + "|" + end, &rec, &err)) << err;
        EXPECT_EQ(expand(rec), (std::vector<std::string>{"|32", "|"}));
    }
    // Input beyond the limit after a run of blanks is refused, never skipped.
    Recording rec;
    std::string err;
    EXPECT_FALSE(parse(head + "|\n" + std::string(RECORD_LINE_MAX + 1, ' ') + "|32\n", &rec, &err));
    EXPECT_EQ(err.rfind("line 4: line too long", 0), 0u) << err;
}

TEST(RecordParse, AStreamIsReadOnceAndPlayedFromItsCopy) {
    // A pipe can be read only once: the replay must come from what the
    // check read, tick for tick as from a regular file.
    const std::string text = "clovenfeld-recording 1\nseed 9\n# stream\n|\n3x 77|\n75 72|32 19455\n";
    Recording from_text;
    std::string err;
    ASSERT_TRUE(parse(text, &from_text, &err)) << err;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    Recording rec;
    const std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    ASSERT_TRUE(load_recording(path.c_str(), &rec, &err)) << err;
    close(fds[0]);
    EXPECT_EQ(rec.seed, 9u);
    ASSERT_TRUE(rec.copy);
    EXPECT_EQ(expand(rec), expand(from_text));
    EXPECT_EQ(expand(rec), expand(from_text)) << "a second replay reads the copy again";
}

TEST(RecordParse, MissingFileIsAnError) {
    Recording rec;
    std::string err;
    EXPECT_FALSE(load_recording("/nonexistent/dir/rec.txt", &rec, &err));
    EXPECT_FALSE(err.empty());
}

TEST(RecordParse, TotalTicksCountTheRepeats) {
    Recording rec;
    std::string err;
    ASSERT_TRUE(parse("clovenfeld-recording 1\nseed 1\n2x 1 57|27\n|\n4294967x |\n", &rec, &err)) << err;
    EXPECT_EQ(rec.ticks, 2 + 1 + 4294967L);
    const std::vector<std::string> first = {"1 57|27", "1 57|27", "|", "|"};
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    for (const std::string& want : first) {
        ASSERT_TRUE(replay_next(&c, &in));
        std::string got;
        for (int i = 0; i < 128; ++i)
            if (in.held[i]) {
                if (!got.empty()) got += ' '; // two steps: see test_run.cpp's append_number
                got += std::to_string(i);
            }
        got += "|";
        for (int i = 0; i < in.queued_count; ++i) {
            if (i) got += ' ';
            got += std::to_string(in.queued[i]);
        }
        EXPECT_EQ(got, want);
    }
}

// Version 2 written: a header, runs of equal ticks, a state hash at every
// 500 ticks and the end line; read back, the same ticks, and written again
// from what was read, the same bytes.
TEST(RecordWrite, RunsHashesAndEndReadBackAndWriteAgainTheSame) {
    const std::string path = temp_path("rle.txt"), again = temp_path("again.txt");
    RecordWriter w;
    ASSERT_TRUE(record_open(&w, path.c_str(), 987654321u));
    unsigned char none[128] = {};
    unsigned char right[128] = {};
    right[77] = 1;
    unsigned char two[128] = {};
    two[72] = two[77] = 1;
    two[29] = 1;
    const int space[] = {32};
    const int up_then_s[] = {255 + 256 * 72, 's'};
    for (int i = 0; i < 251; ++i) record_line(&w, none, nullptr, 0);
    record_line(&w, right, nullptr, 0);
    record_line(&w, two, space, 1);
    record_line(&w, two, space, 1);
    for (int i = 0; i < 600; ++i) record_line(&w, none, up_then_s, 2);
    record_close(&w);
    record_close(&w); // harmless twice

    const std::string text = slurp(path);
    EXPECT_EQ(text.rfind("clovenfeld-recording 2\nbehaviour ", 0), 0u) << text;
    EXPECT_NE(text.find("\nseed 987654321\nstart title\nlevel 1 levels/1.bmp "), std::string::npos) << text;
    const std::string body = text.substr(text.find("\npack\n") + 6);
    ASSERT_EQ(body.rfind("-251R1UR(29){32}2-{18687,115}246=", 0), 0u) << body;
    EXPECT_EQ(body.substr(body.find('\n') + 1, 20), "-{18687,115}354\nend ") << body;

    Recording rec;
    std::string err;
    ASSERT_TRUE(load_recording(path.c_str(), &rec, &err)) << err;
    EXPECT_EQ(rec.seed, 987654321u);
    EXPECT_EQ(rec.ticks, 854);
    const std::vector<std::string> ticks = expand(rec);
    EXPECT_EQ(ticks[250], "|");
    EXPECT_EQ(ticks[251], "77|");
    EXPECT_EQ(ticks[253], "29 72 77|32");
    EXPECT_EQ(ticks[853], "|18687 115");

    RecordWriter w2;
    ASSERT_TRUE(record_open(&w2, again.c_str(), rec.seed));
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    while (replay_next(&c, &in)) record_line(&w2, in.held, in.queued, in.queued_count);
    replay_finish(&c);
    record_close(&w2);
    EXPECT_EQ(slurp(again), text);
    std::remove(path.c_str());
    std::remove(again.c_str());
}

TEST(RecordWrite, LongRunsAreCutAtEveryHashAndPutOnDiskAsTheyGo) {
    const std::string path = temp_path("long.txt");
    RecordWriter w;
    ASSERT_TRUE(record_open(&w, path.c_str(), 1));
    unsigned char held[128] = {};
    held[80] = 1;
    for (int i = 0; i < 20000; ++i) record_line(&w, held, nullptr, 0);
    // Before the close, most of the ticks are already on disk.
    const std::string partial = slurp(path);
    EXPECT_GE(std::count(partial.begin(), partial.end(), '='), 30);
    record_close(&w);
    Recording rec;
    std::string err;
    ASSERT_TRUE(load_recording(path.c_str(), &rec, &err)) << err;
    EXPECT_EQ(rec.ticks, 20000);
    const std::string text = slurp(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 39);
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    long held_down = 0, hashes = 0;
    while (replay_next(&c, &in)) held_down += in.held[80], hashes += in.check_hash;
    replay_finish(&c);
    EXPECT_EQ(held_down, 20000);
    EXPECT_EQ(hashes, 39);
    std::remove(path.c_str());
}

TEST(RecordWrite, LineFormatAndAnOverlongQueueIsCutAtAWholeCode) {
    unsigned char held[128] = {};
    held[0] = held[127] = 1;
    int codes[3] = {0, 65535, 255};
    char out[64];
    EXPECT_EQ(format_record_line(out, sizeof out, held, codes, 3), 17);
    EXPECT_STREQ(out, "0 127|0 65535 255");
    char small[12];
    format_record_line(small, sizeof small, held, codes, 3);
    EXPECT_STREQ(small, "0 127|0");
    RecordWriter w;
    EXPECT_FALSE(record_open(&w, "/nonexistent/dir/x.txt", 1));
}

TEST(RecordCodes, CharactersAndExtendedKeysOnly) {
    EXPECT_TRUE(valid_key_code(0));
    EXPECT_TRUE(valid_key_code(255));
    EXPECT_TRUE(valid_key_code(255 + 256 * 72));
    EXPECT_TRUE(valid_key_code(255 + 256 * 255));
    EXPECT_FALSE(valid_key_code(256));
    EXPECT_FALSE(valid_key_code(255 + 256 * 256));
    EXPECT_FALSE(valid_key_code(-1));
}
