// records.cpp -- the player's records (records.h): the file's reader and
// writer, the listener that turns the game's events into records, the save
// and --records.  The file is read into one fixed text and written from
// another; the game in progress is a handful of numbers.
#include "platform/records.h"

#include "platform/pack.h"

#include "port/notice.h"
#include "port/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {

// --- reading -----------------------------------------------------------------

constexpr const char* kSetName[2] = {"levels", "levels assisted"};
constexpr int kLevelFileBase = 2; // key slots: furthest, best game, then two a level
constexpr int kSlots = kLevelFileBase + 2 * RECORDS_LEVELS;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool same_text(const char* p, int len, const char* word) {
    return static_cast<int>(std::strlen(word)) == len && std::strncmp(p, word, static_cast<size_t>(len)) == 0;
}

// A whole number of 1 to 9 digits in [lo, hi]; -1 for anything else.
int read_number(const char* p, int len, int lo, int hi) {
    if (len < 1 || len > 9) return -1;
    int n = 0;
    for (int i = 0; i < len; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        n = n * 10 + (p[i] - '0');
    }
    return n >= lo && n <= hi ? n : -1;
}

// The key slot of a known key (see kSlots), or -1.
int key_slot(const char* k, int len) {
    if (same_text(k, len, "furthest_level")) return 0;
    if (same_text(k, len, "best_game_score")) return 1;
    if (len < 8 || std::strncmp(k, "level.", 6) != 0) return -1;
    int i = 6, n = 0;
    while (i < len && i < 8 && k[i] >= '0' && k[i] <= '9') n = n * 10 + (k[i++] - '0');
    if (i == 6 || k[6] == '0' || n > RECORDS_LEVELS || i >= len || k[i] != '.') return -1;
    const char* rest = k + i + 1;
    const int rest_len = len - i - 1;
    if (same_text(rest, rest_len, "best_score")) return kLevelFileBase + 2 * (n - 1);
    if (same_text(rest, rest_len, "fewest_ticks")) return kLevelFileBase + 2 * (n - 1) + 1;
    return -1;
}

// A pack's id (pack.h): 1 to 32 of a-z, 0-9, '-', '_', '.' (not first).
bool pack_id(const char* p, int len) { return pack_id_valid(p, len); }

// What a section header's inside names for the records of the pack own (""
// the shipped levels): 0 or 1 (a kind of play of that pack), 2 (another
// set's, kept as it is), -1 (nothing known).
enum { SECTION_PACK = 2 };
int section_kind(const char* p, int len, const char* own) {
    int kind = -1;
    const char* id = "";
    int id_len = 0;
    for (int s = 0; s < 2; ++s)
        if (same_text(p, len, kSetName[s])) kind = s;
    if (kind < 0) {
        if (len < 6 || std::strncmp(p, "pack ", 5) != 0) return -1;
        id = p + 5;
        id_len = len - 5;
        constexpr int kAssisted = 9; // " assisted"
        const bool assisted = id_len > kAssisted && std::strncmp(id + id_len - kAssisted, " assisted", kAssisted) == 0;
        if (assisted) id_len -= kAssisted;
        if (!pack_id(id, id_len)) return -1;
        kind = assisted ? 1 : 0;
    }
    return same_text(id, id_len, own) ? kind : SECTION_PACK;
}

// The extent of the line at start: its end (before "\r\n" or "\n") and where
// the next one starts.
void line_at(const char* text, int size, int start, int* end, int* next) {
    const char* nl = static_cast<const char*>(std::memchr(text + start, '\n', static_cast<size_t>(size - start)));
    *next = nl ? static_cast<int>(nl - text) + 1 : size;
    *end = nl ? *next - 1 : size;
    if (*end > start && text[*end - 1] == '\r') --*end;
}

__attribute__((format(printf, 5, 6))) bool damaged(char* problem, int problem_size, const char* file, int line,
                                                   const char* format, ...) {
    if (problem == nullptr || problem_size <= 0) return false;
    int n = line > 0 ? std::snprintf(problem, static_cast<size_t>(problem_size), "%.300s:%d: ", file, line)
                     : std::snprintf(problem, static_cast<size_t>(problem_size), "%.300s: ", file);
    if (n < 0 || n >= problem_size) return false;
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem + n, static_cast<size_t>(problem_size - n), format, args);
    va_end(args);
    return false;
}

// Up to 40 characters of a line, for a report.
struct Shown {
    char text[48];
    Shown(const char* p, int len) {
        std::snprintf(text, sizeof text, "%.*s%s", len > 40 ? 40 : len, p, len > 40 ? "..." : "");
    }
};

bool parse(const char* text, int size, const char* file, Records* out, char* problem, int problem_size,
           const char* own) {
    *out = Records{};
    if (size > RECORDS_MAX_BYTES) return damaged(problem, problem_size, file, 0, "larger than 16 KB");
    int seen[2][kSlots] = {};   // the line naming each key (0: none)
    int section_line[2] = {};
    int section = -1;           // -1: before any section; 0, 1 or SECTION_PACK
    int number = 0;
    for (int start = 0, end = 0, next = 0; start < size; start = next) {
        line_at(text, size, start, &end, &next);
        ++number;
        if (end - start > RECORDS_LINE_CHARS)
            return damaged(problem, problem_size, file, number, "line too long (%d characters; at most %d)",
                           end - start, RECORDS_LINE_CHARS);
        for (int i = start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return damaged(problem, problem_size, file, number, "control characters or binary data");
        }
        int a = start, b = end;
        while (a < b && is_blank(text[a])) ++a;
        while (b > a && is_blank(text[b - 1])) --b;
        if (a == b || text[a] == '#') continue;
        if (text[a] == '[') {
            const int kind = text[b - 1] == ']' ? section_kind(text + a + 1, b - a - 2, own) : -1;
            if (kind < 0) return damaged(problem, problem_size, file, number, "unknown section '%s'", Shown(text + a, b - a).text);
            if (kind != SECTION_PACK && section_line[kind] > 0)
                return damaged(problem, problem_size, file, number, "[%s] again (first on line %d)",
                               Shown(text + a + 1, b - a - 2).text, section_line[kind]);
            if (kind != SECTION_PACK) section_line[kind] = number;
            section = kind;
            continue;
        }
        const char* eq = static_cast<const char*>(std::memchr(text + a, '=', static_cast<size_t>(b - a)));
        int ka = a, kb = eq ? static_cast<int>(eq - text) : a;
        while (kb > ka && is_blank(text[kb - 1])) --kb;
        bool good_key = kb > ka;
        for (int i = ka; i < kb; ++i) {
            const char c = text[i];
            good_key = good_key && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_');
        }
        if (!good_key) return damaged(problem, problem_size, file, number, "'%s' is not a 'key = value' line", Shown(text + a, b - a).text);
        if (section < 0) return damaged(problem, problem_size, file, number, "'%s' before any section", Shown(text + ka, kb - ka).text);
        if (section == SECTION_PACK) continue; // another set's records: kept as they are
        const int slot = key_slot(text + ka, kb - ka);
        if (slot < 0) return damaged(problem, problem_size, file, number, "unknown key '%s'", Shown(text + ka, kb - ka).text);
        if (seen[section][slot] > 0)
            return damaged(problem, problem_size, file, number, "%s again (first on line %d)", Shown(text + ka, kb - ka).text,
                           seen[section][slot]);
        seen[section][slot] = number;
        int va = static_cast<int>(eq - text) + 1;
        while (va < b && is_blank(text[va])) ++va;
        const int lo = slot == 0 || (slot >= kLevelFileBase && (slot - kLevelFileBase) % 2 == 1) ? 1 : 0;
        const int hi = slot == 0 ? RECORDS_LEVELS : RECORDS_MAX_NUMBER;
        const int v = read_number(text + va, b - va, lo, hi);
        if (v < 0)
            return damaged(problem, problem_size, file, number, "bad value '%s' for %s (a whole number from %d to %d)",
                           Shown(text + va, b - va).text, Shown(text + ka, kb - ka).text, lo, hi);
        RecordSet& set = out->set[section];
        if (slot == 0) set.furthest_level = v;
        else if (slot == 1) set.has_game = true, set.best_game_score = v;
        else if ((slot - kLevelFileBase) % 2 == 0) set.level[(slot - kLevelFileBase) / 2 + 1].best_score = v;
        else set.level[(slot - kLevelFileBase) / 2 + 1].fewest_ticks = v;
    }
    for (int s = 0; s < 2; ++s)
        for (int n = 1; n <= RECORDS_LEVELS; ++n) {
            const int score_line = seen[s][kLevelFileBase + 2 * (n - 1)], ticks_line = seen[s][kLevelFileBase + 2 * (n - 1) + 1];
            if ((score_line > 0) != (ticks_line > 0)) {
                *out = Records{};
                return damaged(problem, problem_size, file, score_line + ticks_line, "level.%d.%s without level.%d.%s", n,
                               score_line > 0 ? "best_score" : "fewest_ticks", n, score_line > 0 ? "fewest_ticks" : "best_score");
            }
        }
    return true;
}

// --- writing -------------------------------------------------------------------

__attribute__((format(printf, 2, 3))) bool put(RecordsText* out, const char* format, ...) {
    const int room = RECORDS_MAX_BYTES - out->size;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out->bytes + out->size, static_cast<size_t>(room), format, args);
    va_end(args);
    if (n < 0 || n >= room) return false;
    out->size += n;
    return true;
}

bool set_is_empty(const RecordSet& s) {
    if (s.furthest_level > 0 || s.has_game) return false;
    for (int n = 1; n <= RECORDS_LEVELS; ++n)
        if (s.level[n].fewest_ticks > 0) return false;
    return true;
}

bool put_bytes(RecordsText* out, const char* p, int len) {
    if (len > RECORDS_MAX_BYTES - out->size) return false;
    std::memcpy(out->bytes + out->size, p, static_cast<size_t>(len));
    out->size += len;
    return true;
}

// Writes bytes to path whole or not at all (mode 0600); 0, or the errno.
int write_whole(const char* path, const char* bytes, int size) {
    FileWrite file;
    const int fd = file_write_begin(&file, path, 0600);
    if (fd < 0) return errno;
    int error = 0;
    for (int done = 0; done < size && error == 0;) {
        const ssize_t n = ::write(fd, bytes + done, static_cast<size_t>(size - done));
        if (n > 0) done += static_cast<int>(n);
        else if (n < 0 && errno != EINTR) error = errno;
        else if (n == 0) error = EIO;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && file_write_commit(&file, FILE_COMMIT_REPLACE)) return 0;
    if (error == 0) error = errno != 0 ? errno : EIO;
    file_write_abort(&file);
    return error;
}

// Creates the folders on the way to path (an existing one is fine).
void make_parents(const char* path) {
    char dir[RECORDS_PATH_CHARS];
    std::snprintf(dir, sizeof dir, "%s", path);
    for (char* p = dir + 1; *p != '\0'; ++p) {
        if (*p != '/' && *p != '\\') continue;
        const char separator = *p;
        *p = '\0';
        file_make_dir(dir);
        *p = separator;
    }
}

enum ReadResult { READ_OK, READ_MISSING, READ_REFUSED };

// The bytes last read: one more than a sound file may hold, so a larger one
// reads as damaged.
char g_read[RECORDS_MAX_BYTES + 1];

// Reads the file at path into g_read, its size in *size; why holds a refusal.
int read_file(const char* path, int* size, char* why, int why_size) {
    *size = 0;
    const int fd = file_open_read(path);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return READ_MISSING; // no such file, or no such folder
        std::snprintf(why, static_cast<size_t>(why_size), "%s", std::strerror(errno));
        return READ_REFUSED;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        std::snprintf(why, static_cast<size_t>(why_size), "not a regular file");
        return READ_REFUSED;
    }
    while (*size < static_cast<int>(sizeof g_read)) {
        const ssize_t n = ::read(fd, g_read + *size, sizeof g_read - static_cast<size_t>(*size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::snprintf(why, static_cast<size_t>(why_size), "%s", std::strerror(errno));
            ::close(fd);
            return READ_REFUSED;
        }
        if (n == 0) break;
        *size += static_cast<int>(n);
    }
    ::close(fd);
    return READ_OK;
}

// --- the records of the run ------------------------------------------------------

std::mutex g_mx;
char g_path[RECORDS_PATH_CHARS] = "";
bool g_on = false;       // records_start ran
bool g_can_save = false; // the file was sound, missing or set aside, and no save has failed
RecordsText g_text;      // the file as last read or written (sound)
RecordsText g_new;       // scratch for a save
Records g_records;
char g_pack[PACK_ID_CHARS] = ""; // whose records g_records are ("": the shipped levels')
bool format(const Records& r, const RecordsText& old, RecordsText* out, const char* own);
void (*g_save_hook)() = nullptr;

// The game in progress, as the events tell it.
bool g_assisted = false;
int g_level = 0;            // the level being played (0: none)
long g_level_tick = 0;      // its "level:N"
int g_level_base = 0;       // the game's score when it started
bool g_level_assisted = false;
long g_last_done_tick = -1; // the last level's completion, waiting for the final score
int g_game_first = 0;       // the level the game started at (0: no game)
int g_game_score = 0;       // its score after the last completed level
bool g_game_assisted = false;
int g_next_level = 0;       // the level that continues the game

void save() {
    if (!g_can_save) return;
    if (!format(g_records, g_text, &g_new, g_pack)) {
        notice("%s: the records no longer fit in 16 KB; they are not saved this run", g_path);
        g_can_save = false;
        return;
    }
    make_parents(g_path);
    const int error = write_whole(g_path, g_new.bytes, g_new.size);
    if (error != 0) {
        notice("%s: cannot save the records: %s; play goes on, and they are not saved again this run", g_path,
               std::strerror(error));
        g_can_save = false;
        return;
    }
    std::memcpy(g_text.bytes, g_new.bytes, static_cast<size_t>(g_new.size));
    g_text.size = g_new.size;
    if (g_save_hook) g_save_hook();
}

// Level n completed at tick with the game's score at its end.
bool complete_level(int n, int score, long tick) {
    LevelRecord& r = g_records.set[g_level_assisted ? 1 : 0].level[n];
    const long long ticks_long = tick - g_level_tick;
    const int ticks = ticks_long < 1 ? 1 : ticks_long > RECORDS_MAX_NUMBER ? RECORDS_MAX_NUMBER : static_cast<int>(ticks_long);
    int gained = score - g_level_base;
    if (gained < 0) gained = 0;
    if (gained > RECORDS_MAX_NUMBER) gained = RECORDS_MAX_NUMBER;
    bool changed = false;
    if (r.fewest_ticks == 0 || gained > r.best_score) r.best_score = gained, changed = true;
    if (r.fewest_ticks == 0 || ticks < r.fewest_ticks) r.fewest_ticks = ticks, changed = true;
    g_level = 0;
    return changed;
}

// The number after prefix in name, or -1.
int number_after(const char* name, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (std::strncmp(name, prefix, n) != 0) return -1;
    return read_number(name + n, static_cast<int>(std::strlen(name + n)), 0, RECORDS_MAX_NUMBER);
}

void end_game() {
    g_level = 0;
    g_last_done_tick = -1;
    g_game_first = 0;
    g_game_score = 0;
    g_next_level = 0;
}

void print_set(FILE* out, const char* title, const RecordSet& s) {
    if (set_is_empty(s)) {
        std::fprintf(out, "%s: none yet\n", title);
        return;
    }
    std::fprintf(out, "%s:\n", title);
    if (s.furthest_level > 0) std::fprintf(out, "  furthest level reached: %d\n", s.furthest_level);
    if (s.has_game) std::fprintf(out, "  best score of a whole game: %d\n", s.best_game_score);
    bool header = false;
    for (int n = 1; n <= RECORDS_LEVELS; ++n) {
        const LevelRecord& r = s.level[n];
        if (r.fewest_ticks == 0) continue;
        if (!header) std::fprintf(out, "  level  best score  fewest ticks  (seconds)\n");
        header = true;
        std::fprintf(out, "  %5d  %10d  %12d  (%.2f)\n", n, r.best_score, r.fewest_ticks, r.fewest_ticks / 100.0);
    }
}

} // namespace

bool records_parse(const char* text, int size, const char* file, Records* out, char* problem, int problem_size) {
    if (problem != nullptr && problem_size > 0) problem[0] = '\0';
    if (parse(text, text != nullptr && size > 0 ? size : 0, file != nullptr ? file : "records", out, problem,
              problem_size, ""))
        return true;
    *out = Records{};
    return false;
}

namespace {

// The text for r as the records of the pack own ("" the shipped levels):
// its sections written afresh, every other set's sections of old as they were.
bool format(const Records& r, const RecordsText& old, RecordsText* out, const char* own) {
    out->size = 0;
    if (!put(out, "# Clovenfeld Returns records, kept by the game: see the README.\n")) return false;
    for (int s = 0; s < 2; ++s) {
        const RecordSet& set = r.set[s];
        if (set_is_empty(set)) continue;
        if (own[0] == '\0' ? !put(out, "[%s]\n", kSetName[s])
                            : !put(out, "[pack %s%s]\n", own, s == 1 ? " assisted" : ""))
            return false;
        if (set.furthest_level > 0 && !put(out, "furthest_level = %d\n", set.furthest_level)) return false;
        if (set.has_game && !put(out, "best_game_score = %d\n", set.best_game_score)) return false;
        for (int n = 1; n <= RECORDS_LEVELS; ++n) {
            const LevelRecord& l = set.level[n];
            if (l.fewest_ticks > 0 && !put(out, "level.%d.best_score = %d\nlevel.%d.fewest_ticks = %d\n", n,
                                           l.best_score, n, l.fewest_ticks))
                return false;
        }
    }
    // The other sets' sections of the old text, as they were.
    bool in_pack = false;
    for (int start = 0, end = 0, next = 0; start < old.size; start = next) {
        line_at(old.bytes, old.size, start, &end, &next);
        int a = start, b = end;
        while (a < b && is_blank(old.bytes[a])) ++a;
        while (b > a && is_blank(old.bytes[b - 1])) --b;
        if (a < b && old.bytes[a] == '[')
            in_pack = old.bytes[b - 1] == ']' && section_kind(old.bytes + a + 1, b - a - 2, own) == SECTION_PACK;
        if (!in_pack) continue;
        if (!put_bytes(out, old.bytes + start, next - start)) return false;
        if (next == end && !put(out, "\n")) return false; // the last line had no newline
    }
    return true;
}

} // namespace

bool records_format(const Records& r, const RecordsText& old, RecordsText* out) { return format(r, old, out, ""); }

bool records_path_beside(const char* settings_path, char* out, int size) {
    if (settings_path == nullptr || out == nullptr || size <= 0) return false;
    const char* slash = std::strrchr(settings_path, '/');
    const char* back = std::strrchr(settings_path, '\\');
    if (back != nullptr && (slash == nullptr || back > slash)) slash = back;
    const int folder = slash ? static_cast<int>(slash - settings_path) + 1 : 0;
    const int n = std::snprintf(out, static_cast<size_t>(size), "%.*srecords.ini", folder, settings_path);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void records_start(const char* path) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_records = Records{};
    g_pack[0] = '\0';
    g_text.size = 0;
    end_game();
    g_on = false;
    g_can_save = false;
    const int n = std::snprintf(g_path, sizeof g_path, "%s", path != nullptr ? path : "");
    if (path == nullptr || n <= 0 || n >= static_cast<int>(sizeof g_path) - 16) return;
    g_on = true;
    char why[RECORDS_MESSAGE_CHARS];
    int size = 0;
    const int got = read_file(g_path, &size, why, sizeof why);
    if (got == READ_REFUSED) {
        notice("%s: cannot read the records: %s; they are not saved this run", g_path, why);
        return;
    }
    g_can_save = true;
    if (got == READ_MISSING) return;
    char problem[RECORDS_MESSAGE_CHARS];
    if (records_parse(g_read, size, g_path, &g_records, problem, sizeof problem)) {
        std::memcpy(g_text.bytes, g_read, static_cast<size_t>(size));
        g_text.size = size;
        return;
    }
    // Damaged: set aside as it is, and no records.
    char aside[RECORDS_PATH_CHARS + 16];
    std::snprintf(aside, sizeof aside, "%s.damaged", g_path);
    if (file_replace(g_path, aside)) {
        notice("%s; the records start afresh (the damaged file is kept as %s)", problem, aside);
    } else {
        notice("%s; the records start afresh, but are not saved this run: the damaged file cannot be kept (%s)",
               problem, std::strerror(errno));
        g_can_save = false;
    }
}

void records_hear(const char* name, long tick) {
    std::lock_guard<std::mutex> lock(g_mx);
    if (!g_on || name == nullptr) return;
    // Each pack's play is kept in its own sections: a new pack in use ends
    // the game and brings its records up from the text.
    if (std::strcmp(pack_in_use(), g_pack) != 0) {
        end_game();
        std::snprintf(g_pack, sizeof g_pack, "%s", pack_in_use());
        if (!parse(g_text.bytes, g_text.size, g_path, &g_records, nullptr, 0, g_pack)) g_records = Records{};
    }
    bool changed = false;
    int n;
    if (std::strcmp(name, "title") == 0) {
        end_game();
    } else if ((n = number_after(name, "level:")) >= 1 && n <= RECORDS_LEVELS) {
        if (n != g_next_level) { // a new game
            g_game_first = n;
            g_game_score = 0;
            g_game_assisted = g_assisted;
        }
        g_level = n;
        g_level_tick = tick;
        g_level_base = g_game_score;
        g_level_assisted = g_assisted;
        g_last_done_tick = -1;
        int& furthest = g_records.set[g_assisted ? 1 : 0].furthest_level;
        if (n > furthest) furthest = n, changed = true;
    } else if ((n = number_after(name, "score:")) >= 0) {
        if (g_level > 0) {
            g_next_level = g_level + 1;
            changed = complete_level(g_level, n, tick);
        }
        g_game_score = n;
    } else if (std::strcmp(name, "infobox:All levels completed!") == 0) {
        if (g_level == RECORDS_LEVELS) g_last_done_tick = tick;
    } else if ((n = number_after(name, "infobox:Final Score: ")) >= 0) {
        if (g_last_done_tick >= 0) changed = complete_level(RECORDS_LEVELS, n, g_last_done_tick);
        if (g_game_first == 1) {
            RecordSet& set = g_records.set[g_game_assisted ? 1 : 0];
            if (!set.has_game || n > set.best_game_score) {
                set.has_game = true;
                set.best_game_score = n;
                changed = true;
            }
        }
        end_game();
    }
    if (changed) save();
}

void records_set_assisted(bool on) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_assisted = on;
    if (!on) return;
    if (g_level > 0) g_level_assisted = true;
    if (g_game_first > 0) g_game_assisted = true;
}

void records_get(Records* out) {
    std::lock_guard<std::mutex> lock(g_mx);
    *out = g_records;
}

void records_set_save_hook(void (*hook)()) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_save_hook = hook;
}

int records_print(const char* path, FILE* out, FILE* err) {
    static Records r;
    char why[RECORDS_MESSAGE_CHARS];
    int size = 0;
    const int got = read_file(path, &size, why, sizeof why);
    if (got == READ_MISSING) {
        std::fprintf(out, "No records yet (they will be kept in %s).\n", path);
        return 0;
    }
    if (got == READ_REFUSED) {
        std::fprintf(err, "clovenfeld: %s: cannot read the records: %s\n", path, why);
        return 0;
    }
    char problem[RECORDS_MESSAGE_CHARS];
    if (!records_parse(g_read, size, path, &r, problem, sizeof problem)) {
        std::fprintf(err, "clovenfeld: %s; the game will set it aside and start afresh\n", problem);
        std::fprintf(out, "No records yet (%s is damaged).\n", path);
        return 0;
    }
    std::fprintf(out, "Records in %s\n", path);
    print_set(out, "Unassisted", r.set[RECORDS_UNASSISTED]);
    print_set(out, "Assisted", r.set[RECORDS_ASSISTED]);
    // Then each level pack's, in the order their first section comes.
    char printed[64][PACK_ID_CHARS];
    int packs = 0;
    for (int start = 0, end = 0, next = 0; start < size; start = next) {
        line_at(g_read, size, start, &end, &next);
        static const char head[] = "[pack ";
        const int head_len = static_cast<int>(sizeof head) - 1;
        if (end - start <= head_len || std::strncmp(g_read + start, head, head_len) != 0) continue;
        int a = start + head_len, b = a;
        while (b < end && g_read[b] != ' ' && g_read[b] != ']') ++b;
        char id[PACK_ID_CHARS];
        if (b - a <= 0 || b - a >= PACK_ID_CHARS) continue;
        std::snprintf(id, sizeof id, "%.*s", b - a, g_read + a);
        bool seen = false;
        for (int i = 0; i < packs; ++i) seen = seen || std::strcmp(printed[i], id) == 0;
        if (seen || packs == 64 || !parse(g_read, size, path, &r, nullptr, 0, id)) continue;
        std::snprintf(printed[packs++], PACK_ID_CHARS, "%s", id);
        std::fprintf(out, "Level pack %s\n", id);
        print_set(out, "Unassisted", r.set[RECORDS_UNASSISTED]);
        print_set(out, "Assisted", r.set[RECORDS_ASSISTED]);
    }
    return 0;
}

void records_reset_for_tests() {
    std::lock_guard<std::mutex> lock(g_mx);
    g_on = false;
    g_can_save = false;
    g_path[0] = '\0';
    g_text.size = 0;
    g_records = Records{};
    g_pack[0] = '\0';
    g_save_hook = nullptr;
    g_assisted = false;
    g_level_assisted = false;
    g_game_assisted = false;
    end_game();
}
