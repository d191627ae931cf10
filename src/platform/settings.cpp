// settings.cpp -- reads, updates and saves the settings file (see
// settings.h).  Every key of the file is one row of SCHEMA (its name, type,
// range, default and the field of Settings it sets), which reading,
// formatting, resetting, comparing and --help all follow.  The text is walked
// line by line in place; values are parsed and formatted through small fixed
// buffers.  No module-wide state.
#include "platform/settings.h"

#include "port/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// --- the schema: every key of the file, in the order a new file lists them ---
enum SettingType { NUMBER, SWITCH, KEYS, PAD, PACK };

// One key: its name, its type, and the field of Settings it sets.
struct Setting {
    const char* name;
    SettingType type;
    int lo, hi;            // NUMBER: the range
    const char* lo_means;  // NUMBER: what lo stands for, said with the range; null for nothing
    int fallback;          // NUMBER and SWITCH: the default (bindings: keymap_default_bindings)
    int Settings::*number; // NUMBER
    bool Settings::*flag;  // SWITCH
    int slot;              // KEYS: the BindAction; PAD: the PadButton
};

constexpr Setting number(const char* name, int Settings::*m, int lo, int hi, const char* lo_means, int fallback) {
    return {name, NUMBER, lo, hi, lo_means, fallback, m, nullptr, 0};
}
constexpr Setting flag(const char* name, bool Settings::*m, bool fallback) {
    return {name, SWITCH, 0, 1, nullptr, fallback, nullptr, m, 0};
}
constexpr Setting keys(const char* name, int action) { return {name, KEYS, 0, 0, nullptr, 0, nullptr, nullptr, action}; }
constexpr Setting pad(const char* name, int button) { return {name, PAD, 0, 0, nullptr, 0, nullptr, nullptr, button}; }
constexpr Setting pack(const char* name) { return {name, PACK, 0, 0, nullptr, 0, nullptr, nullptr, 0}; }

constexpr Setting SCHEMA[] = {
    number("scale", &Settings::scale, 0, SETTINGS_SCALE_MAX, "fit the desktop", 0),
    flag("fit", &Settings::fit, false),
    flag("fullscreen", &Settings::fullscreen, false),
    number("volume", &Settings::volume, 0, 100, nullptr, 100),
    flag("mute", &Settings::mute, false),
    flag("pause_on_focus_loss", &Settings::pause_on_focus_loss, true),
    number("game_speed", &Settings::game_speed, 50, 100, nullptr, 100),
    flag("ladder_help", &Settings::ladder_help, false),
    number("lives", &Settings::lives, 0, 9, "unlimited", 3),
    flag("enemies_on_map", &Settings::enemies_on_map, false),
    pack("pack"),
    keys("key.left", BIND_LEFT), keys("key.right", BIND_RIGHT), keys("key.up", BIND_UP), keys("key.down", BIND_DOWN),
    keys("key.space", BIND_SPACE), keys("key.escape", BIND_ESCAPE), keys("key.screenshot", BIND_SCREENSHOT),
    keys("key.pause", BIND_PAUSE), keys("key.mute", BIND_MUTE), keys("key.fullscreen", BIND_FULLSCREEN),
    pad("pad.a", PAD_A), pad("pad.start", PAD_START), pad("pad.back", PAD_BACK), pad("pad.up", PAD_DPAD_UP),
    pad("pad.down", PAD_DPAD_DOWN), pad("pad.left", PAD_DPAD_LEFT), pad("pad.right", PAD_DPAD_RIGHT),
    pad("pad.b", PAD_B), pad("pad.x", PAD_X), pad("pad.y", PAD_Y),
};
constexpr int K_COUNT = sizeof SCHEMA / sizeof SCHEMA[0];
// The bindings' conflicts are settled action by action: key.<action> is
// K_BIND_FIRST + action.  Every action and pad button has its key, in order.
constexpr int K_BIND_FIRST = 11, K_PAD_FIRST = K_BIND_FIRST + BIND_COUNT;
constexpr bool schema_covers_the_bindings() {
    for (int a = 0; a < BIND_COUNT; ++a)
        if (SCHEMA[K_BIND_FIRST + a].type != KEYS || SCHEMA[K_BIND_FIRST + a].slot != a) return false;
    for (int b = 0; b < PAD_BUTTON_COUNT; ++b)
        if (SCHEMA[K_PAD_FIRST + b].type != PAD || SCHEMA[K_PAD_FIRST + b].slot != b) return false;
    return K_PAD_FIRST + PAD_BUTTON_COUNT == K_COUNT;
}
static_assert(schema_covers_the_bindings(), "the settings' keys out of step with the key map");

// What a good value looks like for each type, short (--help, the documents)
// and as a bad value's report says it; a NUMBER's is made from its range.
constexpr const char* kValues[] = {nullptr, "true or false", "up to two key names", "an action or none",
                                   "a level pack's id"};
constexpr const char* kWhy[] = {
    nullptr, "true or false", "none, or one or two key names separated by a comma, such as A, Left or KeyA, ArrowLeft",
    "an action: left, right, up, down, space, escape, screenshot, pause, mute, fullscreen or none",
    "a level pack's id: 1 to 32 of a-z, 0-9, '-', '_' and '.' (not first), such as clovenfeld"};

enum { VALUE_CHARS = 64, WHY_CHARS = 128 };

// Key k's values, short ("0 (fit the desktop) to 8") or for a report ("a
// whole number from 0 (fit the desktop) to 8").
void describe_values(int k, bool report, char* out, int size) {
    const Setting& row = SCHEMA[k];
    if (row.type != NUMBER) {
        std::snprintf(out, static_cast<size_t>(size), "%s", (report ? kWhy : kValues)[row.type]);
        return;
    }
    std::snprintf(out, static_cast<size_t>(size), "%s%d%s%s%s to %d", report ? "a whole number from " : "", row.lo,
                  row.lo_means ? " (" : "", row.lo_means ? row.lo_means : "", row.lo_means ? ")" : "", row.hi);
}

// The key named by the len bytes at p, -1 when none.
int key_of_name(const char* p, int len) {
    for (int k = 0; k < K_COUNT; ++k)
        if (static_cast<int>(std::strlen(SCHEMA[k].name)) == len && std::memcmp(SCHEMA[k].name, p, static_cast<size_t>(len)) == 0)
            return k;
    return -1;
}

// Key k's value in s as the file writes it, keys named by their codes or,
// with friendly, as players know them; false when the file cannot express it.
bool format_value(const Settings& s, int k, char* out, bool friendly = false) {
    const Setting& row = SCHEMA[k];
    switch (row.type) {
    case NUMBER: {
        const int v = s.*row.number;
        std::snprintf(out, VALUE_CHARS, "%d", v);
        return v >= row.lo && v <= row.hi;
    }
    case SWITCH:
        std::snprintf(out, VALUE_CHARS, "%s", s.*row.flag ? "true" : "false");
        return true;
    case PAD: {
        const int a = s.bindings.pad[row.slot];
        std::snprintf(out, VALUE_CHARS, "%s", keymap_action_name(a));
        return a >= BIND_NONE && a < BIND_COUNT;
    }
    case PACK:
        std::snprintf(out, VALUE_CHARS, "%s", s.pack);
        return pack_id_valid(s.pack, static_cast<int>(std::strlen(s.pack)));
    case KEYS: break;
    }
    const unsigned char* keys = s.bindings.keys[row.slot];
    out[0] = '\0';
    for (int i = 0; i < BIND_KEYS; ++i) {
        if (keys[i] == 0 || (i > 0 && keys[i] == keys[0])) continue;
        const char* name = friendly ? keymap_key_name(keys[i]) : keymap_code_of_usage(keys[i]);
        if (name == nullptr) return false;
        const size_t n = std::strlen(out);
        std::snprintf(out + n, VALUE_CHARS - n, "%s%s", n > 0 ? ", " : "", name);
    }
    if (out[0] == '\0') std::snprintf(out, VALUE_CHARS, "none");
    return true;
}

// True when a and b agree on key k.
bool same_value(const Settings& a, const Settings& b, int k) {
    const Setting& row = SCHEMA[k];
    switch (row.type) {
    case NUMBER: return a.*row.number == b.*row.number;
    case SWITCH: return a.*row.flag == b.*row.flag;
    case PAD: return a.bindings.pad[row.slot] == b.bindings.pad[row.slot];
    case PACK: return std::strcmp(a.pack, b.pack) == 0;
    case KEYS: break;
    }
    return std::memcmp(a.bindings.keys[row.slot], b.bindings.keys[row.slot], BIND_KEYS) == 0;
}

bool same_text(const char* p, int len, const char* word) {
    return static_cast<int>(std::strlen(word)) == len && std::strncmp(p, word, static_cast<size_t>(len)) == 0;
}

bool same_text_nocase(const char* p, int len, const char* word) {
    if (static_cast<int>(std::strlen(word)) != len) return false;
    for (int i = 0; i < len; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Reads the len-byte value v into key k of s; false when it is not a good
// one.  *friendly is set when a key is named as players know it rather than
// by its code.
bool parse_value(Settings* s, int k, const char* v, int len, bool* friendly) {
    const Setting& row = SCHEMA[k];
    if (row.type == NUMBER) {
        if (len < 1 || len > 3) return false;
        int n = 0;
        for (int i = 0; i < len; ++i) {
            if (v[i] < '0' || v[i] > '9') return false;
            n = n * 10 + (v[i] - '0');
        }
        if (n < row.lo || n > row.hi) return false;
        s->*row.number = n;
        return true;
    }
    if (row.type == SWITCH) {
        static constexpr const char* kYes[] = {"true", "yes", "on", "1"};
        static constexpr const char* kNo[] = {"false", "no", "off", "0"};
        for (int on = 0; on < 2; ++on)
            for (const char* word : on ? kYes : kNo)
                if (same_text_nocase(v, len, word)) {
                    s->*row.flag = on != 0;
                    return true;
                }
        return false;
    }
    if (row.type == PACK) {
        if (!pack_id_valid(v, len)) return false;
        std::memcpy(s->pack, v, static_cast<size_t>(len));
        s->pack[len] = '\0';
        return true;
    }
    if (row.type == PAD) {
        for (int a = BIND_NONE; a < BIND_COUNT; ++a)
            if (same_text(v, len, keymap_action_name(a))) {
                s->bindings.pad[row.slot] = static_cast<signed char>(a);
                return true;
            }
        return false;
    }
    unsigned char keys[BIND_KEYS] = {};
    int count = 0, names = 0;
    if (!same_text(v, len, "none") && len > 0) {
        for (int at = 0; at <= len;) {
            int end = at;
            while (end < len && v[end] != ',') ++end;
            int a = at, b = end;
            while (a < b && is_blank(v[a])) ++a;
            while (b > a && is_blank(v[b - 1])) --b;
            char name[VALUE_CHARS];
            if (++names > BIND_KEYS || b - a >= VALUE_CHARS) return false;
            std::memcpy(name, v + a, static_cast<size_t>(b - a));
            name[b - a] = '\0';
            bool named = false;
            const int usage = keymap_usage_of_name(name, &named);
            if (usage <= 0 || usage >= USAGE_LIMIT) return false;
            *friendly = *friendly || named;
            if (count == 0 || keys[0] != usage) keys[count++] = static_cast<unsigned char>(usage); // once each
            at = end + 1;
        }
    }
    std::memcpy(s->bindings.keys[row.slot], keys, sizeof keys);
    return true;
}

// Sets key k of s to its default.
void reset_value(Settings* s, int k) {
    const Setting& row = SCHEMA[k];
    if (row.type == NUMBER) {
        s->*row.number = row.fallback;
    } else if (row.type == SWITCH) {
        s->*row.flag = row.fallback != 0;
    } else if (row.type == PACK) {
        std::snprintf(s->pack, sizeof s->pack, "%s", PACK_BUILT_IN);
    } else {
        KeyBindings d;
        keymap_default_bindings(&d);
        if (row.type == PAD) s->bindings.pad[row.slot] = d.pad[row.slot];
        else std::memcpy(s->bindings.keys[row.slot], d.keys[row.slot], BIND_KEYS);
    }
}

// --- reporting ---
struct Reporter {
    const char* file;
    SettingsSink sink;
    void* context;
    int count;
};

__attribute__((format(printf, 3, 4))) void report(Reporter* r, int line, const char* format, ...) {
    if (r->count++ >= SETTINGS_MAX_REPORTS || r->sink == nullptr) return;
    char text[SETTINGS_MESSAGE_CHARS];
    int n = std::snprintf(text, sizeof text, "%.200s:%d: ", r->file, line);
    if (n < 0) n = 0;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n), format, args);
    va_end(args);
    r->sink(r->context, text);
}

// Up to 40 bytes of the text at p for a message, "..." marking the cut.
void quote(const char* p, int len, char* out) {
    const int n = len > 40 ? 37 : len;
    std::memcpy(out, p, static_cast<size_t>(n));
    std::strcpy(out + n, len > n ? "..." : "");
}

// Where each key was last named in the text (byte offsets; line 0 = never).
struct KeyLines {
    int line[K_COUNT];
    int value_start[K_COUNT]; // the first byte after "=" and the blanks after it
    int value_end[K_COUNT];   // the end of the line before its "\r\n" or "\n"
    bool friendly;            // a binding names a key as players know it, not by its code
};

// The whole reading: lines, then the bindings' conflicts in the order of the
// lines that decided them.
int parse(const char* text, int size, const char* file, Settings* out, SettingsSink sink, void* context,
          KeyLines* where) {
    Reporter r{file != nullptr ? file : "settings", sink, context, 0};
    settings_defaults(out);
    KeyLines lines{};
    char shown[48];
    int number = 0;
    for (int start = 0; start < size;) {
        ++number;
        const char* nl = static_cast<const char*>(std::memchr(text + start, '\n', static_cast<size_t>(size - start)));
        const int next = nl != nullptr ? static_cast<int>(nl - text) + 1 : size;
        int end = nl != nullptr ? next - 1 : size;
        if (end > start && text[end - 1] == '\r') --end;
        const int line_start = start;
        start = next;
        if (end - line_start > SETTINGS_LINE_CHARS) {
            report(&r, number, "line too long (%d characters; at most %d)", end - line_start, SETTINGS_LINE_CHARS);
            continue;
        }
        bool junk = false;
        for (int i = line_start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            junk = junk || (c < 0x20 && c != '\t') || c == 0x7F;
        }
        if (junk) {
            report(&r, number, "control characters or binary data; line ignored");
            continue;
        }
        int a = line_start, b = end;
        while (a < b && is_blank(text[a])) ++a;
        while (b > a && is_blank(text[b - 1])) --b;
        if (a == b || text[a] == '#') continue;
        const char* eq = static_cast<const char*>(std::memchr(text + a, '=', static_cast<size_t>(b - a)));
        if (eq == nullptr) {
            quote(text + a, b - a, shown);
            report(&r, number, "'%s' is not a 'key = value' line", shown);
            continue;
        }
        const int at = static_cast<int>(eq - text);
        int key_end = at;
        while (key_end > a && is_blank(text[key_end - 1])) --key_end;
        int v = at + 1;
        while (v < b && is_blank(text[v])) ++v;
        const int k = key_of_name(text + a, key_end - a);
        if (k < 0) {
            quote(text + a, key_end - a, shown);
            report(&r, number, "unknown key '%s'", shown);
            continue;
        }
        lines.line[k] = number;
        lines.value_start[k] = v;
        lines.value_end[k] = end;
        bool friendly = false;
        if (!parse_value(out, k, text + v, b - v, &friendly)) {
            char why[WHY_CHARS];
            describe_values(k, true, why, sizeof why);
            quote(text + v, b - v, shown);
            report(&r, number, "bad value '%s' for %s (%s); using the default", shown, SCHEMA[k].name, why);
            reset_value(out, k);
        }
        lines.friendly = lines.friendly || friendly;
    }

    // A key named by two bindings: the later line loses and its action takes
    // its default.  A default key the file binds elsewhere leaves its action.
    int owner[USAGE_LIMIT];
    for (int& o : owner) o = BIND_NONE;
    for (int done = 0; done < BIND_COUNT; ++done) {
        int a = -1; // the next action by the line that decided it
        for (int c = 0; c < BIND_COUNT; ++c) {
            const int line = lines.line[K_BIND_FIRST + c];
            if (line > 0 && (a < 0 || line < lines.line[K_BIND_FIRST + a])) a = c;
        }
        if (a < 0) break;
        const int line = lines.line[K_BIND_FIRST + a];
        lines.line[K_BIND_FIRST + a] = -line; // taken
        int clash = BIND_NONE, clash_key = 0;
        for (const unsigned char usage : out->bindings.keys[a])
            if (usage != 0 && owner[usage] != BIND_NONE && owner[usage] != a) {
                clash = owner[usage];
                clash_key = usage;
            }
        if (clash != BIND_NONE) {
            const char* name = keymap_code_of_usage(clash_key);
            report(&r, line, "%s is already bound to %s; key.%s keeps its default", name ? name : "a key",
                   keymap_action_name(clash), keymap_action_name(a));
            reset_value(out, K_BIND_FIRST + a);
            continue; // left to the defaults below
        }
        for (const unsigned char usage : out->bindings.keys[a])
            if (usage != 0) owner[usage] = a;
    }
    for (int a = 0; a < BIND_COUNT; ++a) lines.line[K_BIND_FIRST + a] = -lines.line[K_BIND_FIRST + a];
    for (int a = 0; a < BIND_COUNT; ++a) {
        unsigned char* keys = out->bindings.keys[a];
        bool decided = lines.line[K_BIND_FIRST + a] > 0;
        for (int i = 0; i < BIND_KEYS; ++i) decided = decided && (keys[i] == 0 || owner[keys[i]] == a);
        if (decided) continue;
        for (int i = 0; i < BIND_KEYS; ++i)
            if (keys[i] != 0 && owner[keys[i]] != BIND_NONE && owner[keys[i]] != a) keys[i] = 0;
        for (int i = 0; i < BIND_KEYS; ++i)
            if (keys[i] != 0) owner[keys[i]] = a;
    }
    if (r.count > SETTINGS_MAX_REPORTS && sink != nullptr) {
        char text_line[SETTINGS_MESSAGE_CHARS];
        std::snprintf(text_line, sizeof text_line, "%.200s: %d more problems not shown", r.file,
                      r.count - SETTINGS_MAX_REPORTS);
        sink(context, text_line);
    }
    if (where != nullptr) *where = lines;
    return r.count;
}

// Appends n bytes to out; false when they do not fit.
bool put(SettingsText* out, const char* p, int n) {
    if (n > SETTINGS_MAX_BYTES - out->size) return false;
    std::memcpy(out->bytes + out->size, p, static_cast<size_t>(n));
    out->size += n;
    return true;
}

bool put_str(SettingsText* out, const char* s) { return put(out, s, static_cast<int>(std::strlen(s))); }

// old with the keys in `rewrite` set to their values in now: the line that
// decides each is rewritten in place, the others appended.
bool rewrite(const SettingsText& old, const KeyLines& where, const bool rewrite_key[K_COUNT], const Settings& now,
             SettingsText* out) {
    out->size = 0;
    bool appends = false;
    for (int k = 0; k < K_COUNT; ++k) appends = appends || (rewrite_key[k] && where.line[k] <= 0);
    if (old.size == 0 && appends && !put_str(out, "# Clovenfeld Returns settings: one \"key = value\" a line.\n"))
        return false;
    // The lines to rewrite, in file order: by line number.
    int pos = 0;
    bool done[K_COUNT] = {};
    for (;;) {
        int next = -1;
        for (int k = 0; k < K_COUNT; ++k)
            if (rewrite_key[k] && !done[k] && where.line[k] > 0 &&
                (next < 0 || where.value_start[k] < where.value_start[next]))
                next = k;
        if (next < 0) break;
        done[next] = true;
        char value[VALUE_CHARS];
        format_value(now, next, value, where.friendly);
        const int vs = where.value_start[next];
        if (!put(out, old.bytes + pos, vs - pos)) return false;
        if (old.bytes[vs - 1] == '=' && !put_str(out, " ")) return false;
        if (!put_str(out, value)) return false;
        pos = where.value_end[next];
    }
    if (!put(out, old.bytes + pos, old.size - pos)) return false;
    bool newline = out->size == 0 || out->bytes[out->size - 1] == '\n';
    for (int k = 0; k < K_COUNT; ++k) {
        if (!rewrite_key[k] || where.line[k] > 0) continue;
        char value[VALUE_CHARS];
        format_value(now, k, value, where.friendly);
        if (!newline && !put_str(out, "\n")) return false;
        newline = true;
        if (!put_str(out, SCHEMA[k].name) || !put_str(out, " = ") || !put_str(out, value) || !put_str(out, "\n")) return false;
    }
    return true;
}

// Creates the folders leading to path (mode 0700).
void make_parents(const char* path) {
    char dir[SETTINGS_PATH_CHARS];
    std::snprintf(dir, sizeof dir, "%s", path);
    for (char* p = dir + 1; *p != '\0'; ++p) {
#ifdef _WIN32
        if (*p != '/' && *p != '\\') continue;
#else
        if (*p != '/') continue;
#endif
        const char separator = *p;
        *p = '\0';
        file_make_dir(dir); // an existing folder is fine; any other failure shows when the file is created
        *p = separator;
    }
}

void report_errno(SettingsSink sink, void* context, const char* path, const char* what, int error) {
    if (sink == nullptr) return;
    char line[SETTINGS_MESSAGE_CHARS];
    std::snprintf(line, sizeof line, "%.300s: %s: %s", path, what, std::strerror(error));
    sink(context, line);
}

} // namespace

bool settings_path(const SettingsPlaces& places, char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    out[0] = '\0';
    int n;
    if (places.appdata != nullptr && places.appdata[0] != '\0')
        n = std::snprintf(out, static_cast<size_t>(size), "%s\\clovenfeld\\settings.ini", places.appdata);
    else if (places.xdg_config_home != nullptr && places.xdg_config_home[0] == '/')
        n = std::snprintf(out, static_cast<size_t>(size), "%s/clovenfeld/settings.ini", places.xdg_config_home);
    else if (places.home != nullptr && places.home[0] == '/')
        n = std::snprintf(out, static_cast<size_t>(size), "%s/.config/clovenfeld/settings.ini", places.home);
    else
        return false;
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool settings_default_path(char* out, int size) {
    SettingsPlaces places;
    places.xdg_config_home = std::getenv("XDG_CONFIG_HOME");
    places.home = std::getenv("HOME");
#ifdef _WIN32
    places.appdata = std::getenv("APPDATA");
#endif
    return settings_path(places, out, size);
}

void settings_defaults(Settings* out) {
    for (int k = 0; k < K_COUNT; ++k)
        if (SCHEMA[k].type == NUMBER || SCHEMA[k].type == SWITCH || SCHEMA[k].type == PACK) reset_value(out, k);
    keymap_default_bindings(&out->bindings);
}

bool settings_describe(int k, SettingsKeyInfo* out) {
    static_assert(sizeof out->fallback >= VALUE_CHARS, "room for any value");
    if (k < 0 || k >= K_COUNT) return false;
    out->name = SCHEMA[k].name;
    describe_values(k, false, out->values, sizeof out->values);
    Settings defaults;
    settings_defaults(&defaults);
    format_value(defaults, k, out->fallback);
    return true;
}

int settings_parse(const char* text, int size, const char* file, Settings* out, SettingsSink sink, void* context) {
    return parse(text, text != nullptr && size > 0 ? size : 0, file, out, sink, context, nullptr);
}

int settings_load(const char* path, SettingsText* text, Settings* out, SettingsSink sink, void* context) {
    text->size = 0;
    settings_defaults(out);
    const int fd = file_open_read(path);
    if (fd < 0) {
        if (errno == ENOENT) return SETTINGS_MISSING;
        report_errno(sink, context, path, "cannot read the settings", errno);
        return SETTINGS_REFUSED;
    }
    struct stat st {};
    const char* refusal = nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) refusal = "not a regular file; settings not read";
    else if (st.st_size > SETTINGS_MAX_BYTES) refusal = "larger than 64 KB; settings not read";
    int size = 0;
    while (refusal == nullptr) {
        // One byte more than allowed, to notice a file that grew.
        const ssize_t n = ::read(fd, text->bytes + size, static_cast<size_t>(SETTINGS_MAX_BYTES - size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            report_errno(sink, context, path, "cannot read the settings", error);
            return SETTINGS_REFUSED;
        }
        if (n == 0) break;
        size += static_cast<int>(n);
        if (size == SETTINGS_MAX_BYTES) {
            char extra;
            if (::read(fd, &extra, 1) > 0) refusal = "larger than 64 KB; settings not read";
            break;
        }
    }
    ::close(fd);
    if (refusal != nullptr) {
        if (sink != nullptr) {
            char line[SETTINGS_MESSAGE_CHARS];
            std::snprintf(line, sizeof line, "%.300s: %s", path, refusal);
            sink(context, line);
        }
        return SETTINGS_REFUSED;
    }
    text->size = size;
    parse(text->bytes, size, path, out, sink, context, nullptr);
    return SETTINGS_LOADED;
}

bool settings_update_text(const SettingsText& old, const Settings& now, SettingsText* out) {
    if (out == &old || !keymap_check_bindings(now.bindings, nullptr, 0)) return false;
    char value[VALUE_CHARS], other[VALUE_CHARS];
    for (int k = 0; k < K_COUNT; ++k)
        if (!format_value(now, k, value)) return false;
    Settings was;
    KeyLines where;
    parse(old.bytes, old.size, nullptr, &was, nullptr, nullptr, &where);
    // A key is rewritten when now differs from what the text gives.
    // Rewriting one binding can change how another line reads (a conflict
    // gone, a default key no longer taken), so the result is read back and
    // the keys still wrong join the rewrite, until none are.
    bool rewrite_key[K_COUNT] = {};
    for (int k = 0; k < K_COUNT; ++k) {
        format_value(now, k, value);
        format_value(was, k, other);
        rewrite_key[k] = std::strcmp(value, other) != 0;
    }
    for (int pass = 0; pass <= K_COUNT; ++pass) {
        if (!rewrite(old, where, rewrite_key, now, out)) return false;
        Settings got;
        parse(out->bytes, out->size, nullptr, &got, nullptr, nullptr, nullptr);
        bool more = false, wrong = false;
        for (int k = 0; k < K_COUNT; ++k) {
            format_value(now, k, value);
            format_value(got, k, other);
            if (std::strcmp(value, other) == 0) continue;
            wrong = true;
            if (!rewrite_key[k]) rewrite_key[k] = more = true;
        }
        // A key rewritten and still read otherwise (an earlier line the
        // player wrote takes its key first) cannot be expressed: refuse.
        // The whole reading must be now's, bindings byte for byte.
        if (more) continue;
        for (int k = 0; k < K_COUNT; ++k) wrong = wrong || !same_value(got, now, k);
        return !wrong;
    }
    return false;
}

bool settings_save(const char* path, const SettingsText& text, SettingsSink sink, void* context) {
    const char* what = "cannot save the settings";
    FileWrite file;
    if (path != nullptr && std::strlen(path) < sizeof file.target) make_parents(path);
    const int fd = file_write_begin(&file, path, 0600);
    if (fd < 0) {
        report_errno(sink, context, path != nullptr ? path : "settings", what, errno);
        return false;
    }
    int error = 0;
    for (int done = 0; done < text.size && error == 0;) {
        const ssize_t n = ::write(fd, text.bytes + done, static_cast<size_t>(text.size - done));
        if (n > 0) done += static_cast<int>(n);
        else if (n < 0 && errno != EINTR) error = errno;
        else if (n == 0) error = EIO;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && file_write_commit(&file, FILE_COMMIT_REPLACE)) return true;
    if (error == 0) error = errno; // the commit removed the temporary
    file_write_abort(&file);
    report_errno(sink, context, path, what, error);
    return false;
}
