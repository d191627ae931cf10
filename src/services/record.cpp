// record.cpp -- reading and writing recordings of key input (format in
// record.h).  The reader checks every number and every line and reports the
// first fault with its line number; it never trusts a count or a code.
#include "services/record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// Numbers are read as long long: long has only 32 bits in the browser build.
constexpr long long kMaxRepeat = 2147483647LL;
constexpr long long kMaxTicks = std::min<long long>(1LL << 40, std::numeric_limits<long>::max());
constexpr long long kMaxFileBytes = 256LL << 20;

struct LineParser {
    const char* p;
    const char* end;

    void skip_blanks() {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
    }
    bool at_end() const { return p >= end; }
    bool at_digit() const { return p < end && *p >= '0' && *p <= '9'; }
    // Reads an unsigned decimal number of at most 12 digits.
    bool number(long long* out) {
        if (!at_digit()) return false;
        long long v = 0;
        int digits = 0;
        while (at_digit()) {
            if (++digits > 12) return false;
            v = v * 10 + (*p - '0');
            ++p;
        }
        *out = v;
        return true;
    }
};

void set_error(std::string* error, long line, const std::string& what) {
    if (error) *error = "line " + std::to_string(line) + ": " + what;
}

// A number must end at a blank, '|', or the end of the line.
bool number_ends(const LineParser& lp) {
    return lp.at_end() || *lp.p == ' ' || *lp.p == '\t' || *lp.p == '|';
}

bool parse_tick_line(LineParser lp, long line_no, Recording* out, std::string* error) {
    Recording::Run run{};
    run.count = 1;
    run.first_queued = static_cast<int>(out->codes.size());
    lp.skip_blanks();
    // Optional "Nx " repeat prefix.
    {
        const char* q = lp.p;
        while (q < lp.end && *q >= '0' && *q <= '9') ++q;
        if (q > lp.p && q < lp.end && *q == 'x') {
            long long n = 0;
            if (!lp.number(&n) || n < 1 || n > kMaxRepeat) {
                set_error(error, line_no, "bad repeat count");
                return false;
            }
            ++lp.p; // the 'x'
            run.count = n;
        }
    }
    bool bar = false;
    for (;;) {
        lp.skip_blanks();
        if (lp.at_end()) break;
        if (*lp.p == '|') {
            if (bar) {
                set_error(error, line_no, "more than one '|'");
                return false;
            }
            bar = true;
            ++lp.p;
            continue;
        }
        long long code = 0;
        if (!lp.number(&code) || !number_ends(lp)) {
            set_error(error, line_no, "expected a key code, found '" + std::string(1, *lp.p) + "'");
            return false;
        }
        if (!bar) {
            if (code > 127) {
                set_error(error, line_no, "scan code " + std::to_string(code) + " out of range 0-127");
                return false;
            }
            run.held[code] = 1;
        } else {
            if (!valid_key_code(code)) {
                set_error(error, line_no, "key code " + std::to_string(code) + " is not a character or an extended key");
                return false;
            }
            if (out->codes.size() >= static_cast<size_t>(1) << 30) {
                set_error(error, line_no, "too many key codes");
                return false;
            }
            out->codes.push_back(static_cast<int>(code));
        }
    }
    if (!bar) {
        set_error(error, line_no, "missing '|' between held and queued keys");
        return false;
    }
    run.queued_count = static_cast<int>(out->codes.size()) - run.first_queued;
    if (static_cast<long long>(out->ticks) + run.count > kMaxTicks) {
        set_error(error, line_no, "recording too long");
        return false;
    }
    out->ticks += run.count;
    out->runs.push_back(run);
    return true;
}

} // namespace

bool valid_key_code(long long code) {
    if (code < 0) return false;
    if (code < 256) return true;
    return code <= 255 + 256 * 255 && (code & 255) == 255;
}

bool parse_recording(const char* text, size_t size, Recording* out, std::string* error) {
    *out = Recording{};
    int header_lines = 0; // 0: expect the magic line, 1: expect the seed, 2: ticks
    long line_no = 0;
    const char* p = text;
    const char* end = text + size;
    while (p < end) {
        ++line_no;
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* line_end = eol ? eol : end;
        const char* next = eol ? eol + 1 : end;
        if (line_end > p && line_end[-1] == '\r') --line_end;
        LineParser lp{p, line_end};
        p = next;
        lp.skip_blanks();
        if (lp.at_end() || *lp.p == '#') continue;
        if (std::memchr(lp.p, '\0', static_cast<size_t>(lp.end - lp.p)) != nullptr) {
            set_error(error, line_no, "NUL byte in the text");
            return false;
        }
        const std::string rest(lp.p, lp.end);
        if (header_lines == 0) {
            if (rest.rfind("clovenfeld-recording", 0) != 0) {
                set_error(error, line_no, "not a recording (expected \"clovenfeld-recording 1\")");
                return false;
            }
            LineParser v{lp.p + 20, lp.end};
            long long version = 0;
            v.skip_blanks();
            if (!v.number(&version) || (v.skip_blanks(), !v.at_end()) || version != 1) {
                set_error(error, line_no, "unsupported recording version");
                return false;
            }
            header_lines = 1;
        } else if (header_lines == 1) {
            if (rest.rfind("seed", 0) != 0) {
                set_error(error, line_no, "expected \"seed N\"");
                return false;
            }
            LineParser v{lp.p + 4, lp.end};
            long long seed = 0;
            const bool blank = !v.at_end() && (*v.p == ' ' || *v.p == '\t');
            v.skip_blanks();
            if (!blank || !v.number(&seed) || (v.skip_blanks(), !v.at_end()) || seed > 4294967295LL) {
                set_error(error, line_no, "bad seed (expected a number 0 to 4294967295)");
                return false;
            }
            out->seed = static_cast<uint32_t>(seed);
            header_lines = 2;
        } else if (!parse_tick_line(lp, line_no, out, error)) {
            return false;
        }
    }
    if (header_lines < 2) {
        set_error(error, line_no, header_lines == 0 ? "empty recording (no header)" : "missing \"seed N\" line");
        return false;
    }
    return true;
}

bool load_recording(const char* path, Recording* out, std::string* error) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        if (error) *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    size_t n;
    bool too_big = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > static_cast<size_t>(kMaxFileBytes)) {
            too_big = true;
            break;
        }
        text.append(buf, n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (too_big || failed) {
        if (error) *error = too_big ? "file too large" : "read error";
        return false;
    }
    return parse_recording(text.data(), text.size(), out, error);
}

void replay_start(ReplayCursor* c, const Recording* rec) {
    c->rec = rec;
    c->run = 0;
    c->used = 0;
}

bool replay_next(ReplayCursor* c, TickInput* out) {
    if (c->rec == nullptr) return false;
    while (c->run < c->rec->runs.size() && c->used >= c->rec->runs[c->run].count) {
        ++c->run;
        c->used = 0;
    }
    if (c->run >= c->rec->runs.size()) return false;
    const Recording::Run& r = c->rec->runs[c->run];
    ++c->used;
    std::memcpy(out->held, r.held, sizeof out->held);
    out->queued = c->rec->codes.data() + r.first_queued;
    out->queued_count = r.queued_count;
    return true;
}

// --- writing ----------------------------------------------------------------

int format_record_line(char* out, int size, const unsigned char held[128], const int* queued,
                       int queued_count) {
    int len = 0;
    auto put = [&](const char* s) {
        while (*s && len < size - 1) out[len++] = *s++;
    };
    char num[16];
    bool first = true;
    for (int i = 0; i < 128; ++i) {
        if (!held[i]) continue;
        std::snprintf(num, sizeof num, first ? "%d" : " %d", i);
        put(num);
        first = false;
    }
    put("|");
    for (int i = 0; i < queued_count; ++i) {
        std::snprintf(num, sizeof num, i == 0 ? "%d" : " %d", queued[i]);
        // Drop codes that would not fit whole: a line is never cut inside a number.
        if (len + static_cast<int>(std::strlen(num)) > size - 1) break;
        put(num);
    }
    if (size > 0) out[len < size ? len : size - 1] = '\0';
    return len;
}

namespace {

void write_pending(RecordWriter* w) {
    if (w->file == nullptr || w->pending_count == 0) return;
    if (w->pending_count > 1) std::fprintf(w->file, "%ldx %s\n", w->pending_count, w->pending);
    else std::fprintf(w->file, "%s\n", w->pending);
    w->pending_count = 0;
}

} // namespace

bool record_open(RecordWriter* w, const char* path, uint32_t seed) {
    record_close(w);
    w->file = std::fopen(path, "w");
    if (w->file == nullptr) return false;
    std::fprintf(w->file,
                 "clovenfeld-recording 1\nseed %u\n"
                 "# one line per tick: held scan codes | queued key codes; \"Nx \" in front repeats the line N times\n",
                 static_cast<unsigned>(seed));
    w->pending_count = 0;
    w->lines_since_flush = 0;
    return true;
}

void record_line(RecordWriter* w, const unsigned char held[128], const int* queued, int queued_count) {
    if (w->file == nullptr) return;
    char line[sizeof w->pending];
    format_record_line(line, sizeof line, held, queued, queued_count);
    if (w->pending_count > 0 && std::strcmp(line, w->pending) == 0 && w->pending_count < kMaxRepeat) {
        ++w->pending_count;
    } else {
        write_pending(w);
        std::memcpy(w->pending, line, sizeof line);
        w->pending_count = 1;
    }
    // Now and then put the finished lines on disk; a very long run of one
    // line is written out in pieces so little is lost if the run is killed.
    if (++w->lines_since_flush >= 500) {
        if (w->pending_count >= 6000) write_pending(w);
        std::fflush(w->file);
        w->lines_since_flush = 0;
    }
}

void record_flush(RecordWriter* w) {
    if (w->file == nullptr) return;
    write_pending(w);
    std::fflush(w->file);
}

void record_close(RecordWriter* w) {
    if (w->file == nullptr) return;
    record_flush(w);
    std::fclose(w->file);
    w->file = nullptr;
}
