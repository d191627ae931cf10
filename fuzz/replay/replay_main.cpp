// replay_main.cpp -- runs a fuzz harness over files without libFuzzer, so the
// normal and sanitizer builds replay each seed corpus as a test.
//
// Usage: <harness>_replay FILE_OR_FOLDER...  Every regular file is fed once;
// a harness that finds a fault aborts, which fails the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int feed(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int fed = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& e : std::filesystem::directory_iterator(arg))
                if (e.is_regular_file()) failed += feed(e.path()), ++fed;
        } else {
            failed += feed(arg);
            ++fed;
        }
    }
    std::printf("replay: %d inputs, %d unreadable\n", fed, failed);
    return (failed == 0 && fed > 0) ? 0 : 1;
}
