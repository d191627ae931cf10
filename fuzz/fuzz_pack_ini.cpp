// fuzz_pack_ini.cpp -- libFuzzer harness for a level pack's pack.ini: any text
// reads as a sound pack or is refused in one line naming the file (and a line
// it has), with nothing half read; a sound one has a safe id, the versions
// and every hash in their forms, and at least one level file.
#include "fuzz_seam.h"

#include "platform/pack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    const int n = size < size_t{PACK_INI_MAX_BYTES + 16} ? static_cast<int>(size) : PACK_INI_MAX_BYTES + 16;
    const char* text = reinterpret_cast<const char*>(data);
    PackInfo info;
    char problem[PACK_PROBLEM_CHARS];
    if (!pack_ini_parse(text, n, "pack.ini", &info, problem, sizeof problem)) {
        if (std::strncmp(problem, "pack.ini:", 9) != 0 || std::strchr(problem, '\n') != nullptr) std::abort();
        int lines = 1;
        for (int i = 0; i < n; ++i) lines += text[i] == '\n';
        const long line = std::strtol(problem + 9, nullptr, 10);
        if (problem[9] != ' ' && (line < 1 || line > lines)) std::abort();
        for (size_t i = 0; i < sizeof info; ++i)
            if (reinterpret_cast<const unsigned char*>(&info)[i] != 0) std::abort();
        return 0;
    }
    if (!pack_id_valid(info.id, static_cast<int>(std::strlen(info.id))) || std::strcmp(info.id, PACK_BUILT_IN) == 0)
        std::abort();
    if (info.title[0] == '\0' || info.author[0] == '\0' || info.licence[0] == '\0') std::abort();
    if (pack_version_compare(info.version, "0") < 0 || pack_version_compare(info.game, "0") < 0) std::abort();
    int files = 0;
    for (int f = 1; f <= PACK_FILES; ++f) {
        if (!info.has_file[f]) continue;
        ++files;
        if (std::strlen(info.sha256[f]) != 64 || std::strspn(info.sha256[f], "0123456789abcdef") != 64) std::abort();
    }
    if (files == 0) std::abort();
    return 0;
}
