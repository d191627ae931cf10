// bench_pack.cpp -- --verify-pack's speed on a full pack: the shipped levels
// written out as a pack of 9 files with their 27 level recordings as proofs,
// every hash checked and every proof replayed headless.  The aim is at most
// 1 s a level on one core; "s/level" is the time of one check over 27.
//   clovenfeld_bench --benchmark_filter=VerifyPack
#include "main/pack_command.h"
#include "platform/pack.h"
#include "port/datadir.h"
#include "services/sha256.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void BM_VerifyPack_Shipped(benchmark::State& state) {
    choose_data_dir(GAME_DIR);
    char tmpl[] = "/tmp/clovenfeld_bench_pack_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const fs::path dir = tmpl;
    fs::create_directories(dir / "levels");
    fs::create_directories(dir / "proofs");
    std::ofstream ini(dir / "pack.ini");
    ini << "id = shipped\ntitle = The shipped levels\nauthor = us\nlicence = ours\nversion = 1\ngame = 0.5\n";
    for (int n = 1; n <= PACK_FILES; ++n) {
        const fs::path level = fs::path(GAME_DIR) / "levels" / (std::to_string(n) + ".bmp");
        fs::copy_file(level, dir / "levels" / (std::to_string(n) + ".bmp"));
        char hex[65];
        sha256_file(level.c_str(), hex);
        ini << "file." << n << " = " << hex << "\n";
    }
    ini.close();
    for (int n = 1; n <= PACK_LEVELS; ++n) {
        const std::string name = "level-" + std::to_string(n) + ".rec";
        fs::copy_file(fs::path(SOURCE_DIR) / "assets" / "recordings" / name, dir / "proofs" / name);
    }
    PackFiles files;
    std::string error;
    if (!pack_read(dir.c_str(), &files, &error)) {
        state.SkipWithError(error.c_str());
        fs::remove_all(dir);
        return;
    }
    int status = -1, failed = 0;
    PackInfo info;
    for (auto _ : state) status = PACK_CHECK(dir.c_str(), files, nullptr, &info, &failed);
    if (status != PACK_OK) state.SkipWithError(("level " + std::to_string(failed) + " failed").c_str());
    state.counters["s/level"] =
            benchmark::Counter(static_cast<double>(PACK_LEVELS), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    fs::remove_all(dir);
}
BENCHMARK(BM_VerifyPack_Shipped)->Unit(benchmark::kMillisecond);

} // namespace
