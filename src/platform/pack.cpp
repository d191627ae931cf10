// pack.cpp -- level packs (pack.h): pack.ini's reader, a pack's files read
// from a folder or a zip and written into a new folder, the packs folder,
// and the pack in use.
#include "platform/pack.h"

#include "port/datadir.h"
#include "port/system.h"
#include "port/zip_read.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdarg>
#include <cstdio>
#include <cstring>

const char PACK_BUILT_IN[] = "clovenfeld";

namespace {

__attribute__((format(printf, 5, 6))) bool refuse(char* problem, int problem_size, const char* file, int line,
                                                  const char* format, ...) {
    if (problem == nullptr || problem_size <= 0) return false;
    const int n = line > 0 ? std::snprintf(problem, static_cast<size_t>(problem_size), "%.300s:%d: ", file, line)
                           : std::snprintf(problem, static_cast<size_t>(problem_size), "%.300s: ", file);
    if (n < 0 || n >= problem_size) return false;
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem + n, static_cast<size_t>(problem_size - n), format, args);
    va_end(args);
    return false;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_hex64(const char* p, int len) {
    if (len != 64) return false;
    for (int i = 0; i < len; ++i)
        if (!((p[i] >= '0' && p[i] <= '9') || (p[i] >= 'a' && p[i] <= 'f') || (p[i] >= 'A' && p[i] <= 'F')))
            return false;
    return true;
}

// The text keys: where each goes and how long it may be.
struct TextKey {
    const char* name;
    size_t offset;
    int chars;
    bool needed;
};
const TextKey kTextKeys[] = {
    {"id", offsetof(PackInfo, id), PACK_ID_CHARS, true},
    {"title", offsetof(PackInfo, title), PACK_TEXT_CHARS, true},
    {"author", offsetof(PackInfo, author), PACK_TEXT_CHARS, true},
    {"licence", offsetof(PackInfo, licence), PACK_TEXT_CHARS, true},
    {"version", offsetof(PackInfo, version), PACK_VERSION_CHARS, true},
    {"game", offsetof(PackInfo, game), PACK_VERSION_CHARS, true},
    {"description", offsetof(PackInfo, description), PACK_TEXT_CHARS, false},
};
constexpr int kTextKeyCount = static_cast<int>(sizeof kTextKeys / sizeof kTextKeys[0]);

// A version: dotted whole numbers of 1 to 4 digits, at most 4 parts.
bool version_valid(const char* p, int len) {
    int digits = 0, parts = 1;
    for (int i = 0; i < len; ++i) {
        if (p[i] == '.') {
            if (digits == 0 || ++parts > 4) return false;
            digits = 0;
        } else if (p[i] >= '0' && p[i] <= '9') {
            if (++digits > 4) return false;
        } else {
            return false;
        }
    }
    return digits > 0;
}

} // namespace

bool pack_id_valid(const char* id, int len) {
    if (id == nullptr || len < 1 || len >= PACK_ID_CHARS || id[0] == '.') return false;
    for (int i = 0; i < len; ++i) {
        const char c = id[i];
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')) return false;
    }
    return true;
}

namespace {

bool parse_ini(const char* text, int size, const char* file, PackInfo* out, char* problem, int problem_size) {
    std::memset(out, 0, sizeof *out);
    if (size < 0 || size > PACK_INI_MAX_BYTES)
        return refuse(problem, problem_size, file, 0, "larger than %d bytes", PACK_INI_MAX_BYTES);
    int text_line[kTextKeyCount] = {};
    int file_line[PACK_FILES + 1] = {};
    int number = 0;
    for (int start = 0, next = 0; start < size; start = next) {
        const char* nl = static_cast<const char*>(std::memchr(text + start, '\n', static_cast<size_t>(size - start)));
        next = nl ? static_cast<int>(nl - text) + 1 : size;
        int end = nl ? next - 1 : size;
        if (end > start && text[end - 1] == '\r') --end;
        ++number;
        if (end - start > PACK_INI_LINE_CHARS)
            return refuse(problem, problem_size, file, number, "line too long (at most %d characters)",
                          PACK_INI_LINE_CHARS);
        for (int i = start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return refuse(problem, problem_size, file, number, "control characters or binary data");
        }
        int a = start, b = end;
        while (a < b && is_blank(text[a])) ++a;
        while (b > a && is_blank(text[b - 1])) --b;
        if (a == b || text[a] == '#') continue;
        const char* eq = static_cast<const char*>(std::memchr(text + a, '=', static_cast<size_t>(b - a)));
        if (eq == nullptr) return refuse(problem, problem_size, file, number, "expected \"key = value\"");
        int ke = static_cast<int>(eq - text), vs = ke + 1;
        while (ke > a && is_blank(text[ke - 1])) --ke;
        while (vs < b && is_blank(text[vs])) ++vs;
        const char* key = text + a;
        const int key_len = ke - a;
        const char* value = text + vs;
        const int value_len = b - vs;
        if (key_len == 0) return refuse(problem, problem_size, file, number, "a line with no key");
        if (value_len == 0) return refuse(problem, problem_size, file, number, "%.*s has no value", key_len, key);
        bool known = false;
        for (int k = 0; k < kTextKeyCount && !known; ++k) {
            const TextKey& t = kTextKeys[k];
            if (static_cast<int>(std::strlen(t.name)) != key_len || std::strncmp(t.name, key, static_cast<size_t>(key_len)) != 0)
                continue;
            known = true;
            if (text_line[k] > 0)
                return refuse(problem, problem_size, file, number, "%s again (first on line %d)", t.name, text_line[k]);
            if (value_len >= t.chars)
                return refuse(problem, problem_size, file, number, "%s too long (at most %d characters)", t.name,
                              t.chars - 1);
            if (k == 0 && !pack_id_valid(value, value_len))
                return refuse(problem, problem_size, file, number,
                              "id is 1 to 32 of a-z, 0-9, '-', '_' and '.' (not first)");
            if ((k == 4 || k == 5) && !version_valid(value, value_len))
                return refuse(problem, problem_size, file, number, "%s is a version of dotted numbers (1.0)", t.name);
            if (k == 0 && value_len == static_cast<int>(sizeof PACK_BUILT_IN - 1) &&
                std::strncmp(value, PACK_BUILT_IN, sizeof PACK_BUILT_IN - 1) == 0)
                return refuse(problem, problem_size, file, number, "id %s is the built-in pack's", PACK_BUILT_IN);
            char* dest = reinterpret_cast<char*>(out) + t.offset;
            std::memcpy(dest, value, static_cast<size_t>(value_len));
            dest[value_len] = '\0';
            text_line[k] = number;
        }
        if (known) continue;
        if (key_len == 6 && std::strncmp(key, "file.", 5) == 0 && key[5] >= '1' && key[5] <= '9') {
            const int n = key[5] - '0';
            if (file_line[n] > 0)
                return refuse(problem, problem_size, file, number, "file.%d again (first on line %d)", n, file_line[n]);
            if (!is_hex64(value, value_len))
                return refuse(problem, problem_size, file, number, "file.%d is the SHA-256 of levels/%d.bmp (64 hex digits)",
                              n, n);
            for (int i = 0; i < 64; ++i) {
                const char c = value[i];
                out->sha256[n][i] = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
            }
            out->sha256[n][64] = '\0';
            out->has_file[n] = true;
            file_line[n] = number;
            continue;
        }
        return refuse(problem, problem_size, file, number, "unknown key '%.*s'", key_len > 40 ? 40 : key_len, key);
    }
    for (int k = 0; k < kTextKeyCount; ++k)
        if (kTextKeys[k].needed && text_line[k] == 0) {
            const char* name = kTextKeys[k].name;
            std::memset(out, 0, sizeof *out);
            return refuse(problem, problem_size, file, 0, "no %s", name);
        }
    bool any = false;
    for (int n = 1; n <= PACK_FILES; ++n) any = any || out->has_file[n];
    if (!any) {
        std::memset(out, 0, sizeof *out);
        return refuse(problem, problem_size, file, 0, "no level file (file.N = SHA-256)");
    }
    return true;
}

} // namespace

bool pack_ini_parse(const char* text, int size, const char* file, PackInfo* out, char* problem, int problem_size) {
    if (parse_ini(text, size, file, out, problem, problem_size)) return true;
    std::memset(out, 0, sizeof *out); // nothing half read
    return false;
}

int pack_version_compare(const char* a, const char* b) {
    const bool va = version_valid(a, static_cast<int>(std::strlen(a)));
    const bool vb = version_valid(b, static_cast<int>(std::strlen(b)));
    if (!va || !vb) return (va ? 1 : 0) - (vb ? 1 : 0);
    while (*a != '\0' || *b != '\0') {
        long x = 0, y = 0;
        while (*a >= '0' && *a <= '9') x = x * 10 + (*a++ - '0');
        while (*b >= '0' && *b <= '9') y = y * 10 + (*b++ - '0');
        if (x != y) return x < y ? -1 : 1;
        if (*a == '.') ++a;
        if (*b == '.') ++b;
    }
    return 0;
}

// --- reading and writing a pack's files ----------------------------------------

namespace {

enum { NAME_NONE = 0, NAME_INI, NAME_LEVEL, NAME_PROOF };

// What a name inside a pack is: pack.ini, levels/N.bmp (*n = N) or
// proofs/level-N.rec (*n = N), else NAME_NONE.
int name_kind(const char* name, int* n) {
    *n = 0;
    if (std::strcmp(name, "pack.ini") == 0) return NAME_INI;
    if (std::strncmp(name, "levels/", 7) == 0 && name[7] >= '1' && name[7] <= '9' && std::strcmp(name + 8, ".bmp") == 0) {
        *n = name[7] - '0';
        return NAME_LEVEL;
    }
    if (std::strncmp(name, "proofs/level-", 13) == 0) {
        const char* p = name + 13;
        int v = 0, digits = 0;
        while (*p >= '0' && *p <= '9' && digits < 3) v = v * 10 + (*p++ - '0'), ++digits;
        if (digits == 0 || name[13] == '0' || v > PACK_LEVELS || std::strcmp(p, ".rec") != 0) return NAME_NONE;
        *n = v;
        return NAME_PROOF;
    }
    return NAME_NONE;
}

long max_bytes(int kind) {
    return kind == NAME_INI ? PACK_INI_MAX_BYTES : kind == NAME_LEVEL ? PACK_LEVEL_MAX_BYTES : PACK_PROOF_MAX_BYTES;
}

// The bytes of a pack's file named name, in data.
bool take(PackFiles* out, int kind, int n, const unsigned char* data, size_t size, const char* name, std::string* error) {
    if (size > static_cast<size_t>(max_bytes(kind))) {
        *error = std::string(name) + ": larger than " + std::to_string(max_bytes(kind)) + " bytes";
        return false;
    }
    if (kind == NAME_INI) out->ini.assign(reinterpret_cast<const char*>(data), size);
    if (kind == NAME_LEVEL) {
        out->has_level[n] = true;
        out->level[n].assign(data, data + size);
    }
    if (kind == NAME_PROOF) {
        out->has_proof[n] = true;
        out->proof[n].assign(data, data + size);
    }
    return true;
}

// Reads a regular file (never through a link) of at most limit bytes.
// 0: read; 1: nothing there; 2: refused, *error says why.
int read_plain(const char* path, const char* name, long limit, std::vector<unsigned char>* out, std::string* error) {
    const int fd = file_open_regular(path);
    if (fd < 0) {
        if (errno == ENOENT) return 1;
        *error = std::string(name) + ": not a plain file (a link, a folder or a device)";
        return 2;
    }
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        *error = std::string(name) + ": cannot be read";
        return 2;
    }
    out->clear();
    unsigned char buf[16384];
    size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (out->size() + got > static_cast<size_t>(limit)) {
            std::fclose(f);
            *error = std::string(name) + ": larger than " + std::to_string(limit) + " bytes";
            return 2;
        }
        out->insert(out->end(), buf, buf + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        *error = std::string(name) + ": cannot be read";
        return 2;
    }
    return 0;
}

bool read_folder(const char* dir, PackFiles* out, std::string* error) {
    if (!file_is_real_dir(dir)) {
        *error = std::string(dir) + ": not a folder (nor a zip)";
        return false;
    }
    char path[PACK_PATH_CHARS];
    for (const char* sub : {"levels", "proofs"}) {
        std::snprintf(path, sizeof path, "%s/%s", dir, sub);
        int fd = file_open_regular(path);
        if (fd >= 0) {
            std::FILE* f = fdopen(fd, "rb");
            if (f != nullptr) std::fclose(f);
            *error = std::string(sub) + ": a file where a folder should be";
            return false;
        }
    }
    std::vector<unsigned char> bytes;
    auto one = [&](const char* name, int kind, int n) {
        const int w = std::snprintf(path, sizeof path, "%s/%s", dir, name);
        if (w <= 0 || w >= static_cast<int>(sizeof path)) {
            *error = std::string(dir) + ": path too long";
            return 2;
        }
        const int got = read_plain(path, name, max_bytes(kind), &bytes, error);
        if (got != 0) return got;
        return take(out, kind, n, bytes.data(), bytes.size(), name, error) ? 0 : 2;
    };
    const int ini = one("pack.ini", NAME_INI, 0);
    if (ini == 1) *error = "no pack.ini";
    if (ini != 0) return false;
    char name[32];
    for (int n = 1; n <= PACK_FILES; ++n) {
        std::snprintf(name, sizeof name, "levels/%d.bmp", n);
        if (one(name, NAME_LEVEL, n) == 2) return false;
    }
    for (int n = 1; n <= PACK_LEVELS; ++n) {
        std::snprintf(name, sizeof name, "proofs/level-%d.rec", n);
        if (one(name, NAME_PROOF, n) == 2) return false;
    }
    return true;
}

bool read_zip(const char* path, PackFiles* out, std::string* error) {
    std::vector<ZipEntry> entries;
    if (!zip_read_all(path, &entries, error)) return false;
    // A zip of the pack's folder may hold it under one top folder.
    std::string top;
    bool ini_at_root = false;
    for (const ZipEntry& e : entries) {
        if (e.name == "pack.ini") ini_at_root = true;
        const size_t slash = e.name.find('/');
        if (slash != std::string::npos && e.name.compare(slash + 1, std::string::npos, "pack.ini") == 0)
            top = e.name.substr(0, slash + 1);
    }
    if (ini_at_root) top.clear();
    bool has_ini = false;
    for (const ZipEntry& e : entries) {
        if (e.name.compare(0, top.size(), top) != 0) continue;
        const std::string name = e.name.substr(top.size());
        int n = 0;
        const int kind = name_kind(name.c_str(), &n);
        if (kind == NAME_NONE) continue;
        if ((kind == NAME_INI && has_ini) || (kind == NAME_LEVEL && out->has_level[n]) ||
            (kind == NAME_PROOF && out->has_proof[n])) {
            *error = name + ": twice in the zip";
            return false;
        }
        has_ini = has_ini || kind == NAME_INI;
        if (!take(out, kind, n, e.data.data(), e.data.size(), name.c_str(), error)) return false;
    }
    if (!has_ini) {
        *error = "no pack.ini in the zip";
        return false;
    }
    return true;
}

bool write_file(const char* path, const void* data, size_t size) {
    const int fd = file_create_new(path, 0644);
    if (fd < 0) return false;
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

bool pack_is_zip_name(const char* path) {
    const size_t len = std::strlen(path);
    auto ends = [&](const char* suffix) {
        const size_t n = std::strlen(suffix);
        if (len < n) return false;
        for (size_t i = 0; i < n; ++i) {
            char c = path[len - n + i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != suffix[i]) return false;
        }
        return true;
    };
    return ends(".cvpack") || ends(".zip");
}

bool pack_read(const char* path, PackFiles* out, std::string* error) {
    *out = PackFiles{};
    if (path == nullptr || path[0] == '\0' || std::strlen(path) >= PACK_PATH_CHARS - 64) {
        *error = "no pack named (or its name is too long)";
        return false;
    }
    bool ok = pack_is_zip_name(path) && !file_is_real_dir(path) ? read_zip(path, out, error)
                                                                 : read_folder(path, out, error);
    // A folder is held to a zip's bound on the whole as well.
    uint64_t total = out->ini.size();
    for (const auto& l : out->level) total += l.size();
    for (const auto& p : out->proof) total += p.size();
    if (ok && total > ZIP_MAX_BYTES) {
        *error = "larger than " + std::to_string(ZIP_MAX_BYTES >> 20) + " MB in all";
        ok = false;
    }
    if (!ok) *out = PackFiles{};
    return ok;
}

void pack_remove_folder(const char* dir) {
    char path[PACK_PATH_CHARS];
    std::snprintf(path, sizeof path, "%s/pack.ini", dir);
    std::remove(path);
    for (int n = 1; n <= PACK_FILES; ++n) {
        std::snprintf(path, sizeof path, "%s/levels/%d.bmp", dir, n);
        std::remove(path);
    }
    for (int n = 1; n <= PACK_LEVELS; ++n) {
        std::snprintf(path, sizeof path, "%s/proofs/level-%d.rec", dir, n);
        std::remove(path);
    }
    std::snprintf(path, sizeof path, "%s/levels", dir);
    file_remove_dir(path);
    std::snprintf(path, sizeof path, "%s/proofs", dir);
    file_remove_dir(path);
    file_remove_dir(dir);
}

bool pack_write_folder(const PackFiles& files, const char* dir, std::string* error) {
    char path[PACK_PATH_CHARS];
    if (std::strlen(dir) >= PACK_PATH_CHARS - 64) {
        *error = std::string(dir) + ": path too long";
        return false;
    }
    if (!file_new_dir(dir)) {
        *error = std::string(dir) + ": cannot be made (" + std::strerror(errno) + ")";
        return false;
    }
    bool ok = true;
    std::snprintf(path, sizeof path, "%s/levels", dir);
    ok = ok && file_new_dir(path);
    std::snprintf(path, sizeof path, "%s/proofs", dir);
    ok = ok && file_new_dir(path);
    std::snprintf(path, sizeof path, "%s/pack.ini", dir);
    ok = ok && write_file(path, files.ini.data(), files.ini.size());
    for (int n = 1; ok && n <= PACK_FILES; ++n) {
        if (!files.has_level[n]) continue;
        std::snprintf(path, sizeof path, "%s/levels/%d.bmp", dir, n);
        ok = write_file(path, files.level[n].data(), files.level[n].size());
    }
    for (int n = 1; ok && n <= PACK_LEVELS; ++n) {
        if (!files.has_proof[n]) continue;
        std::snprintf(path, sizeof path, "%s/proofs/level-%d.rec", dir, n);
        ok = write_file(path, files.proof[n].data(), files.proof[n].size());
    }
    if (!ok) {
        *error = std::string(path) + ": cannot be written (" + std::strerror(errno) + ")";
        pack_remove_folder(dir);
    }
    return ok;
}

// --- the packs folder --------------------------------------------------------

bool pack_packs_dir(char* out, int size, bool make) {
    char data[PACK_PATH_CHARS];
    if (!file_game_data_dir(data, sizeof data)) return false;
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s/packs", data);
    if (n <= 0 || n >= size || n >= PACK_PATH_CHARS - 128) return false;
    if (make) {
        // The data folder's parents (~/.local/share) as well, as the settings' are made.
        for (char* p = out + 1; *p != '\0'; ++p) {
            if (*p != '/') continue;
            *p = '\0';
            file_make_dir(out);
            *p = '/';
        }
        file_make_dir(out);
    }
    return file_is_real_dir(out);
}

namespace {

struct ListContext {
    const char* packs;
    std::vector<PackInfo>* out;
};

void list_one(const char* name, void* ctx) {
    ListContext* c = static_cast<ListContext*>(ctx);
    const int len = static_cast<int>(std::strlen(name));
    if (!pack_id_valid(name, len)) return;
    char dir[PACK_PATH_CHARS], ini[PACK_PATH_CHARS + 16];
    std::snprintf(dir, sizeof dir, "%s/%s", c->packs, name);
    if (!file_is_real_dir(dir)) return;
    std::snprintf(ini, sizeof ini, "%s/pack.ini", dir);
    std::vector<unsigned char> bytes;
    std::string error;
    if (read_plain(ini, "pack.ini", PACK_INI_MAX_BYTES, &bytes, &error) != 0) return;
    PackInfo info;
    if (!pack_ini_parse(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), ini, &info,
                        nullptr, 0) ||
        std::strcmp(info.id, name) != 0)
        return;
    c->out->push_back(info);
}

} // namespace

std::vector<PackInfo> pack_list_installed() {
    std::vector<PackInfo> out;
    char packs[PACK_PATH_CHARS];
    if (!pack_packs_dir(packs, sizeof packs, false)) return out;
    ListContext c{packs, &out};
    file_list_dir(packs, list_one, &c);
    std::sort(out.begin(), out.end(), [](const PackInfo& a, const PackInfo& b) { return std::strcmp(a.id, b.id) < 0; });
    return out;
}

bool pack_installed_dir(const char* id, char* out, int size) {
    if (id == nullptr || !pack_id_valid(id, static_cast<int>(std::strlen(id)))) return false;
    char packs[PACK_PATH_CHARS];
    if (!pack_packs_dir(packs, sizeof packs, false)) return false;
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s/%s", packs, id);
    return n > 0 && n < size && file_is_real_dir(out);
}

// --- the pack in use ------------------------------------------------------------

namespace {
char in_use[PACK_ID_CHARS] = "";
}

bool pack_use(const char* dir, const char* id) {
    if (dir == nullptr || id == nullptr || std::strcmp(id, PACK_BUILT_IN) == 0) {
        for (int n = 1; n <= PACK_FILES; ++n) set_level_path(n, nullptr);
        in_use[0] = '\0';
        return true;
    }
    char paths[PACK_FILES + 1][DATA_DIR_CHARS];
    for (int n = 1; n <= PACK_FILES; ++n) {
        const int w = std::snprintf(paths[n], sizeof paths[n], "%s/levels/%d.bmp", dir, n);
        if (w <= 0 || w >= static_cast<int>(sizeof paths[n])) return false;
    }
    if (std::strlen(id) >= sizeof in_use) return false;
    for (int n = 1; n <= PACK_FILES; ++n) set_level_path(n, paths[n]);
    std::strcpy(in_use, id);
    return true;
}

const char* pack_in_use() { return in_use; }
