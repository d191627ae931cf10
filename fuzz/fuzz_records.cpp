// fuzz_records.cpp -- libFuzzer harness for the records file: reading any
// text, then writing the records it holds and reading them back.
//
// A damaged text is named by a line it has and reads as no records; a sound
// one writes to a text that reads back to the same records, keeps the packs'
// section headers, and writes again byte for byte.
#include "fuzz_seam.h"

#include "platform/records.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool same(const Records& a, const Records& b) {
    for (int s = 0; s < 2; ++s) {
        const RecordSet &x = a.set[s], &y = b.set[s];
        if (x.furthest_level != y.furthest_level || x.has_game != y.has_game || x.best_game_score != y.best_game_score)
            return false;
        for (int n = 1; n <= RECORDS_LEVELS; ++n)
            if (x.level[n].best_score != y.level[n].best_score || x.level[n].fewest_ticks != y.level[n].fewest_ticks)
                return false;
    }
    return true;
}

// Lines starting with "[pack " (after blanks).
int pack_headers(const RecordsText& t) {
    int count = 0;
    bool line_start = true;
    for (int i = 0; i < t.size; ++i) {
        if (line_start && t.size - i >= 6 && std::memcmp(t.bytes + i, "[pack ", 6) == 0) ++count;
        if (t.bytes[i] == '\n') line_start = true;
        else if (t.bytes[i] != ' ' && t.bytes[i] != '\t') line_start = false;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    static auto old = std::make_unique<RecordsText>();
    static auto written = std::make_unique<RecordsText>();
    static auto again = std::make_unique<RecordsText>();
    const int n = size < size_t{RECORDS_MAX_BYTES} ? static_cast<int>(size) : RECORDS_MAX_BYTES;
    std::memcpy(old->bytes, data, static_cast<size_t>(n));
    old->size = n;

    Records r, back;
    char problem[RECORDS_MESSAGE_CHARS];
    if (!records_parse(old->bytes, old->size, "fuzz", &r, problem, sizeof problem)) {
        if (!same(r, Records{}) || std::strncmp(problem, "fuzz:", 5) != 0 || std::strchr(problem, '\n')) std::abort();
        int lines = 1;
        for (int i = 0; i < n; ++i) lines += old->bytes[i] == '\n';
        const long line = std::strtol(problem + 5, nullptr, 10);
        if (problem[5] != ' ' && (line < 1 || line > lines)) std::abort();
        return 0;
    }
    for (const RecordSet& s : r.set) {
        if (s.furthest_level < 0 || s.furthest_level > RECORDS_LEVELS) std::abort();
        for (int l = 1; l <= RECORDS_LEVELS; ++l)
            if (s.level[l].fewest_ticks < 0 || (s.level[l].fewest_ticks == 0 && s.level[l].best_score != 0)) std::abort();
    }
    // Only packs too large for the file may refuse.
    if (!records_format(r, *old, written.get())) {
        if (pack_headers(*old) == 0) std::abort();
        return 0;
    }
    if (!records_parse(written->bytes, written->size, "fuzz", &back, problem, sizeof problem) || !same(back, r))
        std::abort();
    if (pack_headers(*written) != pack_headers(*old)) std::abort();
    if (!records_format(back, *written, again.get()) || again->size != written->size ||
        std::memcmp(again->bytes, written->bytes, static_cast<size_t>(written->size)) != 0)
        std::abort();
    return 0;
}
