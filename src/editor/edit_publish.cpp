// edit_publish.cpp -- Publish: a level pack from the editor's levels and
// their proofs (edit_publish.h).
#include "editor/edit_publish.h"
#include "editor/editor.h"

#include "main/shell.h"
#include "platform/pack.h"
#include "platform/record.h"
#include "port/system.h"
#include "proof/prove.h"
#include "services/sha256.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static constexpr const char MODULE_NAME[] = "edit";

// The form's sizes are pack.ini's.
static_assert(static_cast<int>(PUBLISH_FILES) == static_cast<int>(PACK_FILES));
static_assert(static_cast<int>(PUBLISH_LEVELS) == static_cast<int>(PACK_LEVELS));
static_assert(static_cast<int>(PUBLISH_TEXT_CHARS) == static_cast<int>(PACK_TEXT_CHARS));
static_assert(static_cast<int>(PUBLISH_ID_CHARS) == static_cast<int>(PACK_ID_CHARS));
static_assert(static_cast<int>(PUBLISH_VERSION_CHARS) == static_cast<int>(PACK_VERSION_CHARS));

PublishForm publish_form;

namespace {

void problem(PublishResult* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void problem(PublishResult* out, const char* format, ...) {
    if (out->problems < PUBLISH_PROBLEMS) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(out->problem[out->problems], PUBLISH_PROBLEM_CHARS, format, args);
        va_end(args);
    }
    out->problems++;
}

// Reads the file at path whole, at most max bytes; false with the reason.
bool read_whole(const char* path, long max, std::vector<unsigned char>* bytes, std::string* why) {
    const int fd = file_open_read(path);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    bytes->clear();
    unsigned char chunk[16384];
    for (;;) {
        const ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) *why = std::strerror(errno);
        if (r <= 0) break;
        bytes->insert(bytes->end(), chunk, chunk + r);
        if (static_cast<long>(bytes->size()) > max) {
            *why = "larger than " + std::to_string(max / 1024) + " KB";
            break;
        }
    }
    ::close(fd);
    return why->empty();
}

void hex_of(const std::vector<unsigned char>& bytes, char hex[65]) {
    Sha256 s;
    sha256_begin(&s);
    sha256_add(&s, bytes.data(), bytes.size());
    sha256_hex(&s, hex);
}

// A value of pack.ini: needed (or not), one line, short enough.
void check_text(PublishResult* out, const char* key, const char* value, int size, bool needed) {
    const size_t n = strnlen(value, static_cast<size_t>(size));
    if (n == static_cast<size_t>(size)) {
        problem(out, "%s: at most %d characters", key, size - 1);
        return;
    }
    if (needed && n == 0) problem(out, "%s: needed", key);
    for (size_t i = 0; i < n; i++)
        if (static_cast<unsigned char>(value[i]) < 0x20 || value[i] == 0x7F) {
            problem(out, "%s: one line, without control characters", key);
            return;
        }
}

// This game's version number, the last word of VERSION_TEXT.
const char* game_version() {
    const char* space = std::strrchr(VERSION_TEXT, ' ');
    return space != nullptr ? space + 1 : VERSION_TEXT;
}

} // namespace

void PUBLISH_CLEAR(PublishForm* form) { std::memset(form, 0, sizeof *form); }

void PUBLISH_ID_FROM_TITLE(const char* title, char* id, int size) {
    const int limit = (size < PUBLISH_ID_CHARS ? size : PUBLISH_ID_CHARS) - 1;
    int n = 0;
    bool dash = false;
    for (const char* s = title; *s != '\0'; s++) {
        char c = *s;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if ((c < 'a' || c > 'z') && (c < '0' || c > '9')) {
            dash = n > 0;
            continue;
        }
        if (n + (dash ? 2 : 1) > limit) break;
        if (dash) id[n++] = '-';
        id[n++] = c;
        dash = false;
    }
    id[n] = '\0';
    if (n == 0) std::snprintf(id, static_cast<size_t>(size), "pack");
    if (std::strcmp(id, PACK_BUILT_IN) == 0) std::snprintf(id, static_cast<size_t>(size), "my-%s", PACK_BUILT_IN);
}

bool PUBLISH(const PublishForm& form, const char* dir, PublishResult* out) {
    PROC("PUBLISH");
    std::memset(out, 0, sizeof *out);
    if (form.id[0] != '\0') std::snprintf(out->id, sizeof out->id, "%.32s", form.id);
    else PUBLISH_ID_FROM_TITLE(form.title, out->id, sizeof out->id);
    if (!pack_id_valid(out->id, static_cast<int>(std::strlen(out->id))))
        problem(out, "id: 1 to 32 of a-z, 0-9, '-', '_' and '.', not starting with '.'");
    else if (std::strcmp(out->id, PACK_BUILT_IN) == 0)
        problem(out, "id: %s is the game's own pack", PACK_BUILT_IN);
    check_text(out, "title", form.title, sizeof form.title, true);
    check_text(out, "author", form.author, sizeof form.author, true);
    check_text(out, "licence", form.licence, sizeof form.licence, true);
    check_text(out, "description", form.description, sizeof form.description, false);
    check_text(out, "version", form.version, sizeof form.version, false);
    const char* version = form.version[0] != '\0' ? form.version : "1.0";

    PackFiles files;
    char sha[PACK_FILES + 1][65] = {};
    for (int n = 1; n <= PACK_FILES; n++) {
        if (form.level[n][0] == '\0') continue;
        out->files++;
        std::string why;
        char check[PACK_PROBLEM_CHARS];
        if (!read_whole(form.level[n], PACK_LEVEL_MAX_BYTES, &files.level[n], &why)) {
            problem(out, "levels/%d.bmp: cannot read %s: %s", n, form.level[n], why.c_str());
        } else if (!LEVEL_FILE_CHECK(form.level[n], check, sizeof check)) {
            problem(out, "levels/%d.bmp: %s", n, check);
        } else {
            files.has_level[n] = true;
            hex_of(files.level[n], sha[n]);
        }
    }
    if (out->files == 0) problem(out, "no level files");

    // Every level a file plays, proved for this very file.
    for (int level = 1; level <= PACK_LEVELS; level++) {
        const int n = pack_file_of(level);
        if (form.level[n][0] == '\0') continue;
        out->levels++;
        if (form.proof[level][0] == '\0') {
            problem(out, "level %d: no proof", level);
            continue;
        }
        std::string why;
        Recording rec;
        char game_path[32];
        std::snprintf(game_path, sizeof game_path, "levels/%d.bmp", n);
        if (!read_whole(form.proof[level], PACK_PROOF_MAX_BYTES, &files.proof[level], &why) ||
            !parse_recording(reinterpret_cast<const char*>(files.proof[level].data()), files.proof[level].size(), &rec,
                             &why)) {
            problem(out, "level %d: proof unreadable: %s", level, why.c_str());
            continue;
        }
        if (rec.start_level != level) {
            problem(out, "level %d: the proof plays level %d", level, rec.start_level);
            continue;
        }
        if (!rec.pack.empty() && rec.pack != out->id) {
            problem(out, "level %d: the proof was made in pack %s", level, rec.pack.c_str());
            continue;
        }
        bool fresh = false;
        for (const RecordLevel& named : rec.levels)
            if (named.path == game_path && files.has_level[n] && named.sha256 == sha[n]) fresh = true;
        if (!fresh && files.has_level[n]) {
            problem(out, "level %d: proof stale", level);
            continue;
        }
        files.has_proof[level] = true;
    }
    if (out->problems > 0) return false;

    // pack.ini, read back by the game's own reader before anything is written.
    char line[PACK_INI_LINE_CHARS];
    files.ini = "# Written by the level editor's Publish.\n";
    const char* keys[][2] = {{"id", out->id},           {"title", form.title},     {"author", form.author},
                             {"licence", form.licence}, {"version", version},      {"game", game_version()},
                             {"description", form.description}};
    for (const auto& kv : keys) {
        if (kv[1][0] == '\0') continue;
        std::snprintf(line, sizeof line, "%s = %s\n", kv[0], kv[1]);
        files.ini += line;
    }
    for (int n = 1; n <= PACK_FILES; n++)
        if (files.has_level[n]) {
            std::snprintf(line, sizeof line, "file.%d = %s\n", n, sha[n]);
            files.ini += line;
        }
    PackInfo info;
    char why[PACK_PROBLEM_CHARS];
    if (!pack_ini_parse(files.ini.data(), static_cast<int>(files.ini.size()), "pack.ini", &info, why, sizeof why)) {
        problem(out, "%s", why);
        return false;
    }
    std::string error;
    if (!pack_write_folder(files, dir, &error)) {
        problem(out, "%s", error.c_str());
        return false;
    }
    out->written = true;
    return true;
}

bool PUBLISH_FROM_EDITOR(const EditorPublish& what, char* said, int said_size, char problem[][81], int* problems) {
    PROC("PUBLISH_FROM_EDITOR");
    static PublishForm form;
    static PublishResult result;
    PUBLISH_CLEAR(&form);
    std::snprintf(form.title, sizeof form.title, "%s", what.text[0]);
    std::snprintf(form.author, sizeof form.author, "%s", what.text[1]);
    std::snprintf(form.licence, sizeof form.licence, "%s", what.text[2]);
    std::snprintf(form.description, sizeof form.description, "%s", what.text[3]);
    PUBLISH_ID_FROM_TITLE(form.title, form.id, sizeof form.id);
    for (int n = 1; n <= PUBLISH_FILES; n++)
        if (what.level[n] != nullptr) std::snprintf(form.level[n], sizeof form.level[n], "%s", what.level[n]);
    for (int level = 1; level <= PUBLISH_LEVELS; level++)
        if (what.proof[level] != nullptr) std::snprintf(form.proof[level], sizeof form.proof[level], "%s", what.proof[level]);
    std::error_code ec;
    const std::string dir = (std::filesystem::absolute(what.dir, ec) / form.id).string();
    *problems = 0;
    if (!PUBLISH(form, dir.c_str(), &result)) {
        for (int i = 0; i < result.problems && *problems < EDITOR_FORM_PROBLEMS; i++)
            std::snprintf(problem[(*problems)++], EDITOR_TEXT_CHARS, "%.79s", result.problem[i]);
        return false;
    }
    std::snprintf(said, static_cast<size_t>(said_size), "Published %.24s: %.48s", result.id, dir.c_str());
    return true;
}
