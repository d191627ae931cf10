// fuzz_zip_read.cpp -- libFuzzer harness for the zip reader.
//
// Every input is written to one temporary file and read as an archive, as a
// pack would be.  A refusal leaves no entries and one line saying why; an
// archive read holds at most ZIP_MAX_FILES entries of at most ZIP_MAX_BYTES
// together, each with a safe relative name, no two alike.
#include "port/zip_read.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

char g_path[64] = "";

void write_input(const uint8_t* data, size_t size) {
    if (g_path[0] == '\0') {
        std::strcpy(g_path, "/tmp/fuzz_zip_read-XXXXXX");
        const int fd = mkstemp(g_path);
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { unlink(g_path); });
    }
    FILE* f = std::fopen(g_path, "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

bool safe_name(const std::string& name) {
    if (name.empty() || name.back() == '/' || name[0] == '/' || name.find_first_of(std::string("\\:\0", 3)) != std::string::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('/', start);
        const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    write_input(data, size);
    std::vector<ZipEntry> out;
    std::string error;
    if (!zip_read_all(g_path, &out, &error)) {
        if (!out.empty() || error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (out.size() > ZIP_MAX_FILES) std::abort();
    uint64_t total = 0;
    std::set<std::string> names;
    for (const ZipEntry& e : out) {
        if (!safe_name(e.name) || !names.insert(e.name).second) std::abort();
        total += e.data.size();
    }
    if (total > ZIP_MAX_BYTES) std::abort();
    return 0;
}
