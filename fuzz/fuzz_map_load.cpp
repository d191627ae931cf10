// fuzz_map_load.cpp -- libFuzzer harness for level files read by MAP_LOAD.
//
// Each input is written as levels/1.bmp in a scratch folder and loaded.  The
// header alone decides the outcome: W x H below zero ends with error 1 and
// more than 1000 cells with error 6, both in map::MAP_FLIP(); anything else
// loads.  The harness works that out from the bytes itself and aborts when
// the game does otherwise: another report, a load that should have failed,
// or a table that is not what was loaded.  The sanitizers catch the rest.
#include "fuzz_seam.h"

#include "map/map.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace {

std::string scratch;
int scratch_fd = -1, home_fd = -1;

void remove_scratch() {
    if (!scratch.empty()) std::filesystem::remove_all(scratch);
}

void make_scratch() {
    if (!scratch.empty()) return;
    // In memory where there is a tmpfs: a file is written for every input.
    char tmpl[] = "/dev/shm/clovenfeld_fuzz_map_XXXXXX";
    if (mkdtemp(tmpl) == nullptr && mkdtemp(std::strcpy(tmpl, "/tmp/clovenfeld_fuzz_map_XXXXXX")) == nullptr)
        std::abort();
    scratch = tmpl;
    std::atexit(remove_scratch);
    if (mkdir((scratch + "/levels").c_str(), 0755) != 0) std::abort();
    scratch_fd = open(tmpl, O_RDONLY | O_DIRECTORY);
    home_fd = open(".", O_RDONLY | O_DIRECTORY);
    if (scratch_fd < 0 || home_fd < 0) std::abort();
    MAP_CREATE_TABLE();
}

// The game reads levels\<n>.bmp from the working folder: the scratch folder
// is the working folder only while MAP_LOAD runs, so libFuzzer's own files
// (corpus, crash inputs) stay where it was started.
struct InScratch {
    InScratch() {
        if (fchdir(scratch_fd) != 0) std::abort();
    }
    ~InScratch() {
        if (fchdir(home_fd) != 0) std::abort();
    }
};

int32_t header_field(const uint8_t* data, size_t size, size_t at) {
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k)
        if (at + k < size) v |= static_cast<uint32_t>(data[at + k]) << (8 * k);
    return static_cast<int32_t>(v);
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The report must be exactly "...error N (text) at line L of map::MAP_FLIP()".
void check_report(const FatalExit& e, int want) {
    if (e.status != want) std::abort();
    const std::string head = "\nAborting due to runtime error " + std::to_string(want) + " (" + error_text(want) +
                             ") at line ";
    if (e.report.compare(0, head.size(), head) != 0) std::abort();
    if (!ends_with(e.report, " of map::MAP_FLIP()\n\n")) std::abort();
    const std::string line = e.report.substr(head.size(), e.report.size() - head.size() - 21);
    if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos || line[0] == '0') std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    make_scratch();
    catch_fatal_reports();
    std::FILE* f = std::fopen((scratch + "/levels/1.bmp").c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    const int64_t w = header_field(data, size, 18), h = header_field(data, size, 22);
    const int64_t count = w * h;
    const int want = count < 0 ? ERR_ILLEGAL_CALL : count > 1000 ? ERR_BOUNDS : 0;
    try {
        const InScratch in_scratch;
        MAP_LOAD(1);
    } catch (const FatalExit& e) {
        check_report(e, want);
        reset_procedure_context();
        return 0;
    }
    if (want != 0) std::abort();
    // The table holds the grid row by row from the top and nothing after it.
    const int cells_loaded = (w > 0 && h > 0) ? static_cast<int>(count) : 0;
    if (last_cell != cells_loaded - 1 || map_width != w || map_height != h) std::abort();
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) {
        const MapCell& c = cells.entry[k];
        if (k > last_cell) {
            if (c.code != CELL_NONE) std::abort();
            continue;
        }
        if (c.code < 0 || c.code > 255 || c.col != k % w || c.row != k / w || c.x != 32 * c.col || c.y != 32 * c.row)
            std::abort();
    }
    return 0;
}
