// rerecord.cpp -- recordings written again in the game's own format: each is
// played headless as --verify plays it, its state hashes taken as it plays,
// and the ticks it played written back with them, in place of the file.
//
//   rerecord [--dir GAMEDIR] FILE...
//
// A version 1 recording of one level names it in a comment ("LEVEL_SETUP N");
// any other starts at the title screen.  Its '#' comments are kept.  The
// ticks after the game ended (a level completed, the program ended) are left
// out: the end line tells the state as play stopped.  Exit status 0 when
// every file was written.
#include "main/snapshot.h"
#include "main/verify_command.h"
#include "platform/record.h"
#include "platform/run.h"
#include "port/datadir.h"
#include "port/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint64_t> g_hashes; // the state after 500, 1000, ... ticks
RecordWriter g_writer;
GameState g_end{};
bool g_at_end = false;

void take_hash(long tick) {
    if (tick > 0 && tick % RECORD_HASH_EVERY == 0) g_hashes.push_back(STATE_HASH());
}

// The writer's state: the hash taken at this tick, or the end.
void played_state(GameState* out) {
    if (g_at_end) {
        *out = g_end;
        return;
    }
    const long long k = g_writer.ticks / RECORD_HASH_EVERY - 1;
    out->hash = k >= 0 && k < static_cast<long long>(g_hashes.size()) ? g_hashes[static_cast<size_t>(k)] : 0;
}

bool rewrite(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string old = text.str();
    Recording rec;
    std::string error;
    if (!load_recording(path, &rec, &error)) {
        std::fprintf(stderr, "rerecord: %s: %s\n", path, error.c_str());
        return false;
    }
    const size_t at = old.find("LEVEL_SETUP ");
    if (rec.version == 1 && at != std::string::npos) rec.start_level = std::atoi(old.c_str() + at + 12);

    g_hashes.clear();
    std::string failure;
    ReplayCheck check;
    if (!PLAY_RECORDING(rec, take_hash, &failure, &check)) {
        std::fprintf(stderr, "rerecord: %s: the game failed: %s\n", path, failure.c_str());
        return false;
    }
    g_end = check.end_state;

    FileWrite file;
    const int fd = file_write_begin(&file, path, 0644);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (f == nullptr) {
        std::fprintf(stderr, "rerecord: cannot write %s: %s\n", path, std::strerror(errno));
        if (fd >= 0) ::close(fd);
        file_write_abort(&file);
        return false;
    }
    g_at_end = false;
    record_begin(&g_writer, f, record_header_now(rec.seed, rec.start_level));
    g_writer.state = played_state;
    // The comments, but the old format's own.
    std::istringstream lines(old);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("#", 0) == 0 && line.find("one line per tick") == std::string::npos)
            std::fprintf(f, "%s\n", line.c_str());
    static ReplayCursor cursor;
    replay_start(&cursor, &rec);
    TickInput tick;
    for (long long t = 0; t < check.ticks && replay_next(&cursor, &tick); t++)
        record_line(&g_writer, tick.held, tick.queued, tick.queued_count);
    replay_finish(&cursor);
    g_at_end = true;
    record_finish(&g_writer);
    g_writer.file = nullptr;
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok || !file_write_commit(&file, FILE_COMMIT_REPLACE)) {
        std::fprintf(stderr, "rerecord: cannot write %s: %s\n", path, std::strerror(errno));
        file_write_abort(&file);
        return false;
    }
    std::printf("%s: %lld ticks, %zu state hashes, score %d\n", path, check.ticks, g_hashes.size(), g_end.score);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* dir = nullptr;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--dir") == 0) {
        dir = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: rerecord [--dir GAMEDIR] FILE...\n");
        return 2;
    }
    choose_data_dir(dir);
    bool all = true;
    for (int i = first; i < argc; i++) all = rewrite(argv[i]) && all;
    return all ? 0 : 1;
}
