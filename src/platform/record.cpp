// record.cpp -- reading and writing recordings of key input (format in
// record.h).  The reader checks every number and every line and reports the
// first fault with its line number; it never trusts a count or a code.
#include "platform/record.h"
#include "port/notice.h"

#include "services/fatal.h"

#include <sys/stat.h>
#include <unistd.h>

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
    bool starts_with(const char* word) const {
        const size_t n = std::strlen(word);
        return static_cast<size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
    }
};

void set_error(std::string* error, long line, const std::string& what) {
    if (error) *error = "line " + std::to_string(line) + ": " + what;
}

// A number must end at a blank, '|', or the end of the line.
bool number_ends(const LineParser& lp) {
    return lp.at_end() || *lp.p == ' ' || *lp.p == '\t' || *lp.p == '|';
}

// One tick line as read: how often it repeats, the held keys and the codes.
struct TickLine {
    long count;
    unsigned char* held; // 128 entries
    int* codes;          // RECORD_LINE_CODES entries
    int code_count;
};

bool parse_tick_line(LineParser lp, long line_no, TickLine* out, std::string* error) {
    out->count = 1;
    out->code_count = 0;
    std::memset(out->held, 0, 128);
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
            out->count = static_cast<long>(n);
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
            out->held[code] = 1;
        } else {
            if (!valid_key_code(code)) {
                set_error(error, line_no, "key code " + std::to_string(code) + " is not a character or an extended key");
                return false;
            }
            // Every code takes at least two characters, so a line that fits holds them all.
            if (out->code_count >= RECORD_LINE_CODES) {
                set_error(error, line_no, "too many key codes");
                return false;
            }
            out->codes[out->code_count++] = static_cast<int>(code);
        }
    }
    if (!bar) {
        set_error(error, line_no, "missing '|' between held and queued keys");
        return false;
    }
    return true;
}

// --- reading lines through a fixed buffer --------------------------------------

void source_open_text(RecordSource* s, const char* text, size_t size) {
    *s = RecordSource{};
    s->text = text;
    s->text_size = size;
}

// The next byte, or -1 at the end (or after a read error, which sets failed).
int source_byte(RecordSource* s) {
    if (s->chunk_pos == s->chunk_len) {
        s->chunk_pos = s->chunk_len = 0;
        if (s->file != nullptr) {
            s->chunk_len = std::fread(s->chunk, 1, sizeof s->chunk, s->file);
            if (s->chunk_len == 0 && std::ferror(s->file)) s->failed = true;
            if (s->copy_to != nullptr && s->chunk_len > 0 &&
                std::fwrite(s->chunk, 1, s->chunk_len, s->copy_to) != s->chunk_len) {
                s->failed = true;
                s->chunk_len = 0;
            }
        } else if (s->text != nullptr && s->text_pos < s->text_size) {
            const size_t n = std::min(sizeof s->chunk, s->text_size - s->text_pos);
            std::memcpy(s->chunk, s->text + s->text_pos, n);
            s->text_pos += n;
            s->chunk_len = n;
        }
        if (s->chunk_len == 0) return -1;
    }
    ++s->offset;
    return static_cast<unsigned char>(s->chunk[s->chunk_pos++]);
}

// Moves to byte offset at: the file is sought, the text indexed.
bool source_seek(RecordSource* s, long at) {
    s->chunk_pos = s->chunk_len = 0;
    s->offset = at;
    if (s->file != nullptr) return std::fseek(s->file, at, SEEK_SET) == 0;
    if (at < 0 || static_cast<size_t>(at) > s->text_size) return false;
    s->text_pos = static_cast<size_t>(at);
    return true;
}

// Reads the next line into line (RECORD_LINE_MAX + 1 bytes; at most
// RECORD_LINE_MAX characters kept, *too_long set if it had more), without its
// '\n' and one '\r' before it: the '\r' of a CRLF line end does not count
// toward the limit.  False at the end of the input.
bool source_line(RecordSource* s, char* line, int* len, bool* too_long) {
    int c = source_byte(s);
    if (c < 0) return false;
    int n = 0;
    *too_long = false;
    while (c >= 0 && c != '\n') {
        if (n <= RECORD_LINE_MAX) line[n++] = static_cast<char>(c);
        else *too_long = true;
        c = source_byte(s);
    }
    if (n > 0 && line[n - 1] == '\r' && !*too_long) --n;
    if (n > RECORD_LINE_MAX) {
        *too_long = true;
        n = RECORD_LINE_MAX;
    }
    *len = n;
    return true;
}

// What one line of a recording is.
enum LineKind { LINE_SKIP, LINE_TICK, LINE_BAD };

// Sorts a line: blank and '#' lines are skipped (a comment may be of any
// length); a line over the limit and a NUL byte are faults, also when the
// part kept is all blanks (its input lies beyond the limit); the rest is
// returned in *lp for the caller.
LineKind classify_line(const char* line, int len, bool too_long, long line_no, LineParser* lp, std::string* error) {
    *lp = LineParser{line, line + len};
    lp->skip_blanks();
    if (!lp->at_end() && *lp->p == '#') return LINE_SKIP;
    if (lp->at_end() && !too_long) return LINE_SKIP;
    if (too_long) {
        set_error(error, line_no, "line too long (more than " + std::to_string(RECORD_LINE_MAX) + " characters)");
        return LINE_BAD;
    }
    if (std::memchr(lp->p, '\0', static_cast<size_t>(lp->end - lp->p)) != nullptr) {
        set_error(error, line_no, "NUL byte in the text");
        return LINE_BAD;
    }
    return LINE_TICK;
}

// Scratch space of the checking pass: one line and one tick at a time.
struct CheckScratch {
    char line[RECORD_LINE_MAX + 1];
    unsigned char held[128];
    int codes[RECORD_LINE_CODES];
};

// Checks the whole input from the start: the header, then every tick line,
// adding up the ticks.  Fills seed, ticks and where the tick lines begin.
bool check_recording(RecordSource* s, Recording* out, std::string* error) {
    static thread_local CheckScratch scratch; // 25 KB, too much for some stacks
    int header_lines = 0; // 0: expect the magic line, 1: expect the seed, 2: ticks
    long line_no = 0;
    int len = 0;
    bool too_long = false;
    while (source_line(s, scratch.line, &len, &too_long)) {
        ++line_no;
        if (s->offset > kMaxFileBytes) {
            if (error) *error = "file too large";
            return false;
        }
        LineParser lp{nullptr, nullptr};
        const LineKind kind = classify_line(scratch.line, len, too_long, line_no, &lp, error);
        if (kind == LINE_SKIP) continue;
        if (kind == LINE_BAD) return false;
        if (header_lines == 0) {
            if (!lp.starts_with("clovenfeld-recording")) {
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
            if (!lp.starts_with("seed")) {
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
            out->data_offset = s->offset;
            out->data_line = line_no;
            header_lines = 2;
        } else {
            TickLine tick{0, scratch.held, scratch.codes, 0};
            if (!parse_tick_line(lp, line_no, &tick, error)) return false;
            if (static_cast<long long>(out->ticks) + tick.count > kMaxTicks) {
                set_error(error, line_no, "recording too long");
                return false;
            }
            out->ticks += tick.count;
        }
    }
    if (s->failed) {
        if (error) *error = "read error";
        return false;
    }
    if (header_lines < 2) {
        set_error(error, line_no, header_lines == 0 ? "empty recording (no header)" : "missing \"seed N\" line");
        return false;
    }
    return true;
}

// A recording file that no longer reads as it did when it was checked.
[[noreturn]] void recording_changed(const ReplayCursor* c, const char* what) {
    notice("bad recording %s: line %ld: %s since it was checked", c->rec->path.c_str(), c->line_no, what);
    end_program(2);
}

} // namespace

bool valid_key_code(long long code) {
    if (code < 0) return false;
    if (code < 256) return true;
    return code <= 255 + 256 * 255 && (code & 255) == 255;
}

bool parse_recording(const char* text, size_t size, Recording* out, std::string* error) {
    *out = Recording{};
    out->text.assign(text, size);
    RecordSource src;
    source_open_text(&src, out->text.data(), out->text.size());
    return check_recording(&src, out, error);
}

bool load_recording(const char* path, Recording* out, std::string* error) {
    *out = Recording{};
    RecordSource src;
    src.file = std::fopen(path, "rb");
    if (src.file == nullptr) {
        if (error) *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    out->path = path;
    struct stat st {};
    if (fstat(fileno(src.file), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A stream cannot be read again: keep what is read while checking.
        std::FILE* copy = std::tmpfile();
        if (copy == nullptr) {
            if (error) *error = std::string("cannot make a temporary copy: ") + std::strerror(errno);
            std::fclose(src.file);
            return false;
        }
        out->copy.reset(copy, [](std::FILE* f) { std::fclose(f); });
        src.copy_to = copy;
    }
    bool ok = check_recording(&src, out, error);
    if (ok && out->copy && std::fflush(out->copy.get()) != 0) {
        if (error) *error = std::string("cannot write the temporary copy: ") + std::strerror(errno);
        ok = false;
    }
    std::fclose(src.file);
    return ok;
}

void replay_finish(ReplayCursor* c) {
    if (c->src.file != nullptr) std::fclose(c->src.file);
    c->src.file = nullptr;
    c->rec = nullptr;
}

void replay_start(ReplayCursor* c, const Recording* rec) {
    replay_finish(c);
    c->rec = rec;
    c->line_no = 0;
    c->delivered = 0;
    c->left = 0;
    c->code_count = 0;
    if (rec == nullptr) return;
    if (rec->path.empty()) {
        source_open_text(&c->src, rec->text.data(), rec->text.size());
    } else {
        c->src = RecordSource{};
        if (rec->copy) {
            // The copy of a stream: a descriptor of its own, closed by replay_finish.
            const int fd = ::dup(::fileno(rec->copy.get()));
            c->src.file = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
            if (c->src.file == nullptr && fd >= 0) ::close(fd);
        } else {
            c->src.file = std::fopen(rec->path.c_str(), "rb");
        }
        if (c->src.file == nullptr) recording_changed(c, "cannot be opened");
    }
    if (!source_seek(&c->src, rec->data_offset)) recording_changed(c, "cannot be read");
    c->line_no = rec->data_line;
}

bool replay_next(ReplayCursor* c, TickInput* out) {
    if (c->rec == nullptr || c->delivered >= c->rec->ticks) return false;
    // Reads on to the next tick line when the current one is used up.
    static thread_local char line[RECORD_LINE_MAX + 1];
    while (c->left == 0) {
        int len = 0;
        bool too_long = false;
        ++c->line_no;
        if (!source_line(&c->src, line, &len, &too_long)) recording_changed(c, "ends early");
        LineParser lp{nullptr, nullptr};
        const LineKind kind = classify_line(line, len, too_long, c->line_no, &lp, nullptr);
        if (kind == LINE_SKIP) continue;
        TickLine tick{0, c->held, c->codes, 0};
        if (kind == LINE_BAD || !parse_tick_line(lp, c->line_no, &tick, nullptr)) recording_changed(c, "changed");
        c->left = tick.count;
        c->code_count = tick.code_count;
    }
    --c->left;
    ++c->delivered;
    std::memcpy(out->held, c->held, sizeof out->held);
    out->queued = c->codes;
    out->queued_count = c->code_count;
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
    std::FILE* file = std::fopen(path, "wb"); // "\n" line ends on every system
    if (file == nullptr) return false;
    record_begin(w, file, seed);
    return true;
}

void record_begin(RecordWriter* w, std::FILE* file, uint32_t seed) {
    record_close(w);
    w->file = file;
    std::fprintf(w->file,
                 "clovenfeld-recording 1\nseed %u\n"
                 "# one line per tick: held scan codes | queued key codes; \"Nx \" in front repeats the line N times\n",
                 static_cast<unsigned>(seed));
    w->pending_count = 0;
    w->lines_since_flush = 0;
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
