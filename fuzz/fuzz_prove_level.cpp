// fuzz_prove_level.cpp -- libFuzzer harness for the prover's input: a level
// file, proved as the level number its header's reserved byte names, with a
// budget of 50 ms.
//
// The file is checked first (LEVEL_FILE_CHECK) as --prove checks it; a file
// that passes must never end the program, and the prover must answer within
// its budget (with a wide margin: this catches a search that forgets the
// clock, not a slow one).  A proof must play through to the level's end, and
// "not completable" must name an egg of the level.  The sanitizers catch the
// rest.
#include "fuzz_seam.h"

#include "main/shell.h"
#include "main/snapshot.h"
#include "map/map.h"
#include "platform/run.h"
#include "port/datadir.h"
#include "proof/prove.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr double BUDGET = 0.05;
std::string level_path;

void start_once() {
    static bool started = false;
    if (started) return;
    started = true;
    char tmpl[] = "/tmp/clovenfeld_fuzz_prove_XXXXXX.bmp";
    const int fd = mkstemps(tmpl, 4);
    if (fd < 0) std::abort();
    close(fd);
    level_path = tmpl;
    std::atexit([] { std::remove(level_path.c_str()); });
    set_data_dir(GAME_DIR);
    run_options = RunOptions{};
    run_options.headless = true;
    run_options.fast = true;
    run_options.seed_given = true;
    run_options.seed = 1;
    select_platform(&headless_platform);
    SHELL_STARTUP();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_once();
    catch_fatal_reports();
    std::FILE* f = std::fopen(level_path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    char why[512];
    if (!LEVEL_FILE_CHECK(level_path.c_str(), why, sizeof why)) return 0;
    const int level = size > 6 ? 1 + data[6] % LAST_LEVEL : 1;
    if (!set_level_path(LEVEL_FILE_OF(level), level_path.c_str())) std::abort();
    int answer = -1;
    try {
        answer = PROVE_LEVEL(level, 1, BUDGET);
    } catch (const FatalExit& e) {
        std::fprintf(stderr, "a checked level ended the program:%s\n", e.report.c_str());
        std::abort();
    }
    set_level_path(LEVEL_FILE_OF(level), nullptr);
    if (proof_seconds > BUDGET + 2.0) std::abort();
    if (answer == PROOF_PROVEN) {
        if (PROOF_PLAYS_THROUGH() != 1) std::abort();
    } else if (answer == PROOF_NOT_COMPLETABLE) {
        if (proof_lost_col < 0 || proof_lost_col >= map_width || proof_lost_row < 0 || proof_lost_row >= map_height)
            std::abort();
        if (cells[proof_lost_row * map_width + proof_lost_col].code != CELL_EGG) std::abort();
    } else if (answer != PROOF_UNDECIDED || proof_frame_count != 0) {
        std::abort();
    }
    return 0;
}
