// record.cpp -- reading and writing recordings of key input (format in
// record.h).  The reader checks every number and every line and reports the
// first fault with its line number; it never trusts a count or a code.
#include "platform/record.h"

#include "platform/pack.h"

#include "services/assists.h"
#include "port/datadir.h"
#include "port/notice.h"

#include "services/bmp.h"
#include "services/fatal.h"
#include "services/game_events.h"
#include "services/sha256.h"

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

// Adds a queued key code to the tick, refusing one the queue cannot carry.
bool take_queued(TickLine* tick, long long code, long line_no, std::string* error) {
    if (!valid_key_code(code)) {
        set_error(error, line_no, "key code " + std::to_string(code) + " is not a character or an extended key");
        return false;
    }
    // Every code takes at least two characters, so a line that fits holds them all.
    if (tick->code_count >= RECORD_LINE_CODES) {
        set_error(error, line_no, "too many key codes");
        return false;
    }
    tick->codes[tick->code_count++] = static_cast<int>(code);
    return true;
}

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
        } else if (!take_queued(out, code, line_no, error)) {
            return false;
        }
    }
    if (!bar) {
        set_error(error, line_no, "missing '|' between held and queued keys");
        return false;
    }
    return true;
}

// --- version 2 tick lines ------------------------------------------------------------

// The arrows' scan codes, in the order their letters are written.
constexpr int kArrowCodes[4] = {72, 80, 75, 77}; // Up, Down, Left, Right
constexpr char kArrowLetters[4] = {'U', 'D', 'L', 'R'};

int arrow_index(int code) {
    for (int i = 0; i < 4; i++)
        if (kArrowCodes[i] == code) return i;
    return -1;
}

// One item of a version 2 tick line: a run of ticks, or a state hash.
struct V2Item {
    bool is_hash;
    uint64_t hash;
    long count;
};

bool hex_digit(char c, int* v) {
    if (c >= '0' && c <= '9') *v = c - '0';
    else if (c >= 'a' && c <= 'f') *v = c - 'a' + 10;
    else return false;
    return true;
}

// A list of numbers "a,b,c" up to the closing bracket.
template <typename Take>
bool number_list(LineParser* lp, char close, long line_no, std::string* error, Take take) {
    for (;;) {
        long long v = 0;
        if (!lp->number(&v)) {
            set_error(error, line_no, std::string("expected a number in the ") + (close == ')' ? "()" : "{}") + " list");
            return false;
        }
        if (!take(v)) return false;
        if (lp->at_end()) break;
        if (*lp->p == ',') {
            ++lp->p;
            continue;
        }
        if (*lp->p == close) {
            ++lp->p;
            return true;
        }
        break;
    }
    set_error(error, line_no, std::string("a list without its '") + close + "'");
    return false;
}

// The next item of a tick line at lp (blanks skipped); false on a fault
// (error set) and with *done when the line has no more items.
bool parse_v2_item(LineParser* lp, long line_no, V2Item* item, TickLine* tick, bool* done, std::string* error) {
    lp->skip_blanks();
    *done = lp->at_end();
    if (*done) return true;
    if (*lp->p == '=') {
        ++lp->p;
        uint64_t h = 0;
        int digits = 0, v = 0;
        while (!lp->at_end() && hex_digit(*lp->p, &v)) {
            h = h << 4 | static_cast<uint64_t>(v);
            ++lp->p;
            ++digits;
        }
        if (digits != 12) {
            set_error(error, line_no, "a state hash is 12 hex digits after '='");
            return false;
        }
        *item = V2Item{true, h, 0};
        return true;
    }
    tick->code_count = 0;
    std::memset(tick->held, 0, 128);
    if (*lp->p == '-') {
        ++lp->p;
    } else {
        int last = -1;
        while (!lp->at_end()) {
            int i = 0;
            while (i < 4 && kArrowLetters[i] != *lp->p) i++;
            if (i == 4) break;
            if (i <= last) {
                set_error(error, line_no, "arrows are written U, D, L, R, each once");
                return false;
            }
            last = i;
            tick->held[kArrowCodes[i]] = 1;
            ++lp->p;
        }
        if (last < 0) {
            set_error(error, line_no, "expected '-' or the arrows held (U, D, L, R), found '" + std::string(1, *lp->p) + "'");
            return false;
        }
    }
    if (!lp->at_end() && *lp->p == '(') {
        ++lp->p;
        const bool ok = number_list(lp, ')', line_no, error, [&](long long code) {
            if (code > 127 || arrow_index(static_cast<int>(code)) >= 0) {
                set_error(error, line_no, "scan code " + std::to_string(code) + " cannot be in () (0-127, arrows as letters)");
                return false;
            }
            tick->held[code] = 1;
            return true;
        });
        if (!ok) return false;
    }
    if (!lp->at_end() && *lp->p == '{') {
        ++lp->p;
        const bool ok = number_list(lp, '}', line_no, error,
                                    [&](long long code) { return take_queued(tick, code, line_no, error); });
        if (!ok) return false;
    }
    long long n = 0;
    if (!lp->number(&n) || n < 1 || n > RECORD_HASH_EVERY) {
        set_error(error, line_no, "a run needs its ticks, 1 to 500");
        return false;
    }
    tick->count = static_cast<long>(n);
    *item = V2Item{false, 0, tick->count};
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

// The rest of a header line after its word and one blank ("" when none).
bool header_word(const LineParser& lp, const char* word, LineParser* rest) {
    if (!lp.starts_with(word)) return false;
    LineParser r{lp.p + std::strlen(word), lp.end};
    if (!r.at_end() && *r.p != ' ' && *r.p != '\t') return false;
    r.skip_blanks();
    *rest = r;
    return true;
}

// A header number that is the whole rest of its line.
bool header_number(LineParser r, long long max, long long* out) {
    return r.number(out) && (r.skip_blanks(), r.at_end()) && *out <= max;
}

// What comes next in a version 2 file.
enum V2Stage { V2_BEHAVIOUR, V2_GAME, V2_SEED, V2_START, V2_LEVELS, V2_PACK, V2_TICKS, V2_ENDED };

// One header line of version 2 at stage *stage; moves the stage on.
bool check_v2_header(const LineParser& lp, long line_no, V2Stage* stage, Recording* out, std::string* error) {
    LineParser r{nullptr, nullptr};
    long long n = 0;
    switch (*stage) {
    case V2_BEHAVIOUR:
        if (!header_word(lp, "behaviour", &r) || !header_number(r, 1000000, &n)) {
            set_error(error, line_no, "expected \"behaviour N\"");
            return false;
        }
        out->behaviour = static_cast<int>(n);
        *stage = V2_GAME;
        return true;
    case V2_GAME:
        if (!header_word(lp, "game", &r) || r.at_end()) {
            set_error(error, line_no, "expected \"game VERSION\"");
            return false;
        }
        out->game.assign(r.p, r.end);
        *stage = V2_SEED;
        return true;
    case V2_SEED:
        if (!header_word(lp, "seed", &r) || !header_number(r, 4294967295LL, &n)) {
            set_error(error, line_no, "bad seed (expected a number 0 to 4294967295)");
            return false;
        }
        out->seed = static_cast<uint32_t>(n);
        *stage = V2_START;
        return true;
    case V2_START:
        if (header_word(lp, "start", &r) && r.starts_with("title") && r.end - r.p == 5) {
            out->start_level = 0;
        } else if (header_word(lp, "start", &r) && header_word(r, "level", &r) && header_number(r, 27, &n) && n >= 1) {
            out->start_level = static_cast<int>(n);
        } else {
            set_error(error, line_no, "expected \"start title\" or \"start level N\" (1 to 27)");
            return false;
        }
        *stage = V2_LEVELS;
        return true;
    case V2_LEVELS:
        if (header_word(lp, "level", &r)) {
            RecordLevel level;
            long long number = 0;
            if (!r.number(&number) || number < 1 || number > 27 || out->levels.size() >= 27) {
                set_error(error, line_no, "expected \"level N PATH SHA256\" (N 1 to 27, at most 27 lines)");
                return false;
            }
            r.skip_blanks();
            const char* path = r.p;
            while (!r.at_end() && *r.p != ' ' && *r.p != '\t') ++r.p;
            level.level = static_cast<int>(number);
            level.path.assign(path, r.p);
            r.skip_blanks();
            level.sha256.assign(r.p, r.end);
            bool hex = level.sha256.size() == 64;
            int v = 0;
            for (const char c : level.sha256) hex = hex && hex_digit(c, &v);
            if (level.path.empty() || (!hex && level.sha256 != "missing")) {
                set_error(error, line_no, "a level line names a path and a SHA-256 of 64 hex digits (or \"missing\")");
                return false;
            }
            out->levels.push_back(level);
            return true;
        }
        {
            PlayAssists assists;
            const std::string words = header_word(lp, "assists", &r) ? std::string(r.p, r.end) : std::string();
            if (words.empty() || !assists_parse(words.c_str(), &assists)) {
                set_error(error, line_no,
                          "expected \"assists\" and \"none\" or what it names: ladder, lives 5, lives 9, lives unlimited");
                return false;
            }
            char text[ASSIST_TEXT_CHARS];
            assists_text(assists, text, sizeof text);
            out->assists = text;
            out->play_assists = assists;
        }
        *stage = V2_PACK;
        return true;
    case V2_PACK:
        if (!header_word(lp, "pack", &r)) {
            set_error(error, line_no, "expected \"pack\" and the pack's id (none for the shipped levels)");
            return false;
        }
        out->pack.assign(r.p, r.end);
        *stage = V2_TICKS;
        return true;
    default: return false;
    }
}

// The end line: "end ticks T score S eggs E lives L hash H".
bool check_v2_end(LineParser r, long line_no, Recording* out, std::string* error) {
    long long ticks = 0, score = 0, eggs = 0, lives = 0;
    bool ok = header_word(r, "ticks", &r) && r.number(&ticks);
    r.skip_blanks();
    ok = ok && header_word(r, "score", &r) && r.number(&score) && score <= 2147483647LL;
    r.skip_blanks();
    ok = ok && header_word(r, "eggs", &r) && r.number(&eggs) && eggs <= 100000;
    r.skip_blanks();
    ok = ok && header_word(r, "lives", &r) && r.number(&lives) && lives <= 100000;
    r.skip_blanks();
    ok = ok && header_word(r, "hash", &r);
    uint64_t h = 0;
    int digits = 0, v = 0;
    while (ok && !r.at_end() && hex_digit(*r.p, &v)) h = h << 4 | static_cast<uint64_t>(v), ++r.p, ++digits;
    r.skip_blanks();
    if (!ok || digits != 16 || !r.at_end()) {
        set_error(error, line_no, "expected \"end ticks T score S eggs E lives L hash H\"");
        return false;
    }
    if (ticks != out->ticks) {
        set_error(error, line_no, "the end line says " + std::to_string(ticks) + " ticks, the lines hold " +
                                          std::to_string(out->ticks));
        return false;
    }
    out->has_end = true;
    out->end_ticks = ticks;
    out->end_score = static_cast<int>(score);
    out->end_eggs = static_cast<int>(eggs);
    out->end_lives = static_cast<int>(lives);
    out->end_hash = h;
    return true;
}

// Checks a version 2 tick line: its runs add to out->ticks, a state hash
// stands exactly at every 500 ticks, and no run crosses one.
bool check_v2_ticks(LineParser lp, long line_no, TickLine* tick, bool* hash_owed, Recording* out,
                    std::string* error) {
    for (;;) {
        V2Item item{};
        bool done = false;
        if (!parse_v2_item(&lp, line_no, &item, tick, &done, error)) return false;
        if (done) return true;
        if (item.is_hash) {
            if (!*hash_owed) {
                set_error(error, line_no, "a state hash after tick " + std::to_string(out->ticks) +
                                                  ", not at a multiple of 500");
                return false;
            }
            *hash_owed = false;
            continue;
        }
        if (*hash_owed) {
            set_error(error, line_no, "no state hash after tick " + std::to_string(out->ticks));
            return false;
        }
        const long long next = (out->ticks / RECORD_HASH_EVERY + 1) * RECORD_HASH_EVERY;
        if (out->ticks + item.count > next) {
            set_error(error, line_no, "a run goes past tick " + std::to_string(next) + ", where a state hash belongs");
            return false;
        }
        if (static_cast<long long>(out->ticks) + item.count > kMaxTicks) {
            set_error(error, line_no, "recording too long");
            return false;
        }
        out->ticks += item.count;
        *hash_owed = out->ticks % RECORD_HASH_EVERY == 0;
    }
}

// Checks the whole input from the start: the header, then every tick line,
// adding up the ticks.  Fills the header's fields, the ticks and where the
// tick lines begin.
bool check_recording(RecordSource* s, Recording* out, std::string* error) {
    static thread_local CheckScratch scratch; // 25 KB, too much for some stacks
    int header_lines = 0; // version 1: 0 the magic line, 1 the seed, 2 ticks
    V2Stage stage = V2_BEHAVIOUR;
    bool hash_owed = false;
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
                set_error(error, line_no, "not a recording (expected \"clovenfeld-recording 2\")");
                return false;
            }
            LineParser v{lp.p + 20, lp.end};
            long long version = 0;
            v.skip_blanks();
            if (!v.number(&version) || (v.skip_blanks(), !v.at_end()) || version < 1 || version > RECORD_VERSION) {
                set_error(error, line_no, "unsupported recording version");
                return false;
            }
            out->version = static_cast<int>(version);
            header_lines = 1;
        } else if (out->version == 2) {
            TickLine tick{0, scratch.held, scratch.codes, 0};
            LineParser rest{nullptr, nullptr};
            if (stage < V2_TICKS) {
                if (!check_v2_header(lp, line_no, &stage, out, error)) return false;
                if (stage == V2_TICKS) {
                    out->data_offset = s->offset;
                    out->data_line = line_no;
                }
            } else if (stage == V2_ENDED) {
                set_error(error, line_no, "nothing may follow the end line");
                return false;
            } else if (header_word(lp, "end", &rest)) {
                if (!check_v2_end(rest, line_no, out, error)) return false;
                stage = V2_ENDED;
            } else if (!check_v2_ticks(lp, line_no, &tick, &hash_owed, out, error)) {
                return false;
            }
            header_lines = 2;
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
    if (out->version == 2 && header_lines > 0 && stage < V2_TICKS) {
        set_error(error, line_no, "the header ends early");
        return false;
    }
    if (header_lines < 2 && out->version != 2) {
        set_error(error, line_no, header_lines == 0 ? "empty recording (no header)" : "missing \"seed N\" line");
        return false;
    }
    if (header_lines == 0) {
        set_error(error, line_no, "empty recording (no header)");
        return false;
    }
    if (out->version == 2 && !out->has_end) {
        set_error(error, line_no, "no end line: the recording was cut short");
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
    c->line_len = c->line_pos = 0;
    c->hash_due = false;
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

namespace {

// Version 2: reads items until a run is found, noting a state hash on the way.
void next_v2_run(ReplayCursor* c) {
    while (c->left == 0) {
        LineParser lp{c->line + c->line_pos, c->line + c->line_len};
        V2Item item{};
        bool done = false;
        TickLine tick{0, c->held, c->codes, 0};
        if (!parse_v2_item(&lp, c->line_no, &item, &tick, &done, nullptr)) recording_changed(c, "changed");
        c->line_pos = static_cast<int>(lp.p - c->line);
        if (done) {
            int len = 0;
            bool too_long = false;
            ++c->line_no;
            if (!source_line(&c->src, c->line, &len, &too_long)) recording_changed(c, "ends early");
            LineParser whole{nullptr, nullptr};
            const LineKind kind = classify_line(c->line, len, too_long, c->line_no, &whole, nullptr);
            if (kind == LINE_BAD) recording_changed(c, "changed");
            c->line_len = kind == LINE_SKIP ? 0 : len;
            c->line_pos = kind == LINE_SKIP ? 0 : static_cast<int>(whole.p - c->line);
            if (kind == LINE_TICK && whole.starts_with("end")) recording_changed(c, "ends early");
            continue;
        }
        if (item.is_hash) {
            c->hash_due = true;
            c->hash = item.hash;
            continue;
        }
        c->left = tick.count;
        c->code_count = tick.code_count;
    }
}

} // namespace

bool replay_next(ReplayCursor* c, TickInput* out) {
    if (c->rec == nullptr || c->delivered >= c->rec->ticks) return false;
    out->check_hash = false;
    if (c->rec->version == 2) {
        next_v2_run(c);
        out->check_hash = c->hash_due;
        out->state_hash = c->hash;
        c->hash_due = false;
    }
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

// The token of one tick's input without its count: "-", the arrows, "(..)"
// for other held scan codes and "{..}" for the queued codes.
int format_v2_token(char* out, int size, const unsigned char held[128], const int* queued, int queued_count) {
    int len = 0;
    auto put = [&](const char* s) {
        const int n = static_cast<int>(std::strlen(s));
        if (len + n > size - 1) return false;
        std::memcpy(out + len, s, static_cast<size_t>(n));
        len += n;
        return true;
    };
    bool arrow = false;
    for (int i = 0; i < 4; i++)
        if (held[kArrowCodes[i]]) {
            const char letter[2] = {kArrowLetters[i], '\0'};
            put(letter);
            arrow = true;
        }
    if (!arrow) put("-");
    char num[16];
    bool first = true;
    for (int code = 0; code < 128; ++code) {
        if (!held[code] || arrow_index(code) >= 0) continue;
        std::snprintf(num, sizeof num, first ? "(%d" : ",%d", code);
        put(num);
        first = false;
    }
    if (!first) put(")");
    // Queued codes that would not fit whole are dropped, with room kept for
    // the brackets and the count.
    int shown = 0;
    for (int i = 0; i < queued_count; ++i) {
        std::snprintf(num, sizeof num, i == 0 ? "{%d" : ",%d", queued[i]);
        if (len + static_cast<int>(std::strlen(num)) + 8 > size - 1 || !put(num)) break;
        shown++;
    }
    if (shown > 0) put("}");
    out[len] = '\0';
    return len;
}

void writer_state(const RecordWriter* w, GameState* st) {
    if (w->state != nullptr) {
        *st = GameState{};
        w->state(st);
    } else {
        report_game_state(st);
    }
}

// Lines are broken before they get long; a hash always ends its line.
constexpr int kLineBreakAt = 4000;

void write_pending(RecordWriter* w) {
    if (w->file == nullptr || w->pending_count == 0) return;
    const int n = std::fprintf(w->file, "%s%ld", w->pending, w->pending_count);
    w->line_chars += n > 0 ? n : 0;
    w->pending_count = 0;
    if (w->line_chars > kLineBreakAt) {
        std::fputc('\n', w->file);
        w->line_chars = 0;
    }
}

} // namespace

std::vector<RecordLevel> record_name_levels(int start_level) {
    // Levels 1 to 27 play the nine files in turn: ((level - 1) mod 9) + 1.
    std::vector<RecordLevel> levels;
    const int first = start_level > 0 ? start_level : 1;
    const int last = start_level > 0 ? start_level : 9;
    for (int level = first; level <= last; level++) {
        const int file = (level - 1) % 9 + 1;
        char name[32], path[GAME_PATH_CHARS];
        std::snprintf(name, sizeof name, "levels\\%d.bmp", file);
        RecordLevel l;
        l.level = level;
        l.path = "levels/" + std::to_string(file) + ".bmp";
        char hex[65];
        std::FILE* f = nullptr;
        if (open_game_file(name, path, sizeof path, &f) == 0 && f != nullptr) {
            std::fclose(f);
            l.sha256 = sha256_file(path, hex) ? hex : "missing";
        } else {
            l.sha256 = "missing";
        }
        levels.push_back(l);
    }
    return levels;
}

bool record_open(RecordWriter* w, const char* path, const RecordHeader& h) {
    record_close(w);
    std::FILE* file = std::fopen(path, "wb"); // "\n" line ends on every system
    if (file == nullptr) return false;
    record_begin(w, file, h);
    return true;
}

RecordHeader record_header_now(uint32_t seed, int start_level) {
    GameState game;
    report_game_state(&game);
    RecordHeader h;
    h.behaviour = game.behaviour;
    h.seed = seed;
    h.start_level = start_level;
    h.game = game.version;
    h.assists = play_assists;
    h.pack = pack_in_use();
    return h;
}

bool record_open(RecordWriter* w, const char* path, uint32_t seed) {
    return record_open(w, path, record_header_now(seed, 0));
}

void record_begin(RecordWriter* w, std::FILE* file, const RecordHeader& h) {
    record_close(w);
    w->file = file;
    std::fprintf(w->file, "clovenfeld-recording 2\nbehaviour %d\ngame %s\nseed %u\n", h.behaviour,
                 h.game != nullptr && h.game[0] != '\0' ? h.game : "unknown",
                 static_cast<unsigned>(h.seed));
    if (h.start_level > 0) std::fprintf(w->file, "start level %d\n", h.start_level);
    else std::fprintf(w->file, "start title\n");
    for (const RecordLevel& l : record_name_levels(h.start_level))
        std::fprintf(w->file, "level %d %s %s\n", l.level, l.path.c_str(), l.sha256.c_str());
    char assists[ASSIST_TEXT_CHARS];
    assists_text(h.assists, assists, sizeof assists);
    std::fprintf(w->file, "assists %s\npack%s%s\n", assists, h.pack.empty() ? "" : " ", h.pack.c_str());
    w->pending_count = 0;
    w->ticks = 0;
    w->line_chars = 0;
    w->lines_since_flush = 0;
}

void record_line(RecordWriter* w, const unsigned char held[128], const int* queued, int queued_count) {
    if (w->file == nullptr) return;
    if (w->ticks > 0 && w->ticks % RECORD_HASH_EVERY == 0) {
        // The state after the ticks so far, before this tick's input.
        write_pending(w);
        GameState st;
        writer_state(w, &st);
        std::fprintf(w->file, "=%012llx\n", static_cast<unsigned long long>(st.hash & RECORD_HASH_MASK));
        w->line_chars = 0;
    }
    char token[sizeof w->pending];
    format_v2_token(token, sizeof token, held, queued, queued_count);
    if (w->pending_count > 0 && std::strcmp(token, w->pending) == 0) {
        ++w->pending_count;
    } else {
        write_pending(w);
        std::memcpy(w->pending, token, sizeof token);
        w->pending_count = 1;
    }
    ++w->ticks;
    // Now and then put the finished runs on disk.
    if (++w->lines_since_flush >= RECORD_HASH_EVERY) {
        std::fflush(w->file);
        w->lines_since_flush = 0;
    }
}

void record_flush(RecordWriter* w) {
    if (w->file == nullptr) return;
    std::fflush(w->file);
}

void record_finish(RecordWriter* w) {
    if (w->file == nullptr) return;
    write_pending(w);
    if (w->line_chars > 0) std::fputc('\n', w->file);
    w->line_chars = 0;
    GameState st;
    writer_state(w, &st);
    std::fprintf(w->file, "end ticks %lld score %d eggs %d lives %d hash %016llx\n", w->ticks, st.score, st.eggs,
                 st.lives, static_cast<unsigned long long>(st.hash));
    std::fflush(w->file);
}

void record_close(RecordWriter* w) {
    if (w->file == nullptr) return;
    record_finish(w);
    std::fclose(w->file);
    w->file = nullptr;
}
