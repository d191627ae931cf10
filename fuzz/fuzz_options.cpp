// fuzz_options.cpp -- libFuzzer harness for the command line (parse_options).
//
// The input is split at NUL bytes into arguments after the program name.
// Every command line is either accepted, with values inside their ranges, or
// refused with status 2 and a one-line message; nothing else may happen.
#include "fuzz_seam.h"

#include "main/options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    std::vector<std::string> words(1, "clovenfeld");
    std::string word;
    for (size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (size > 0 && words.size() < 64) words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    argv.push_back(nullptr);

    char* message = nullptr;
    size_t len = 0;
    std::FILE* err = open_memstream(&message, &len);
    if (err == nullptr) std::abort();
    CommandLine cl;
    int result;
    try {
        result = parse_options(static_cast<int>(words.size()), argv.data(), &cl, err);
    } catch (const FatalExit&) {
        std::abort(); // the command line never ends the program by itself
    }
    std::fclose(err);
    const std::string text(message, len);
    std::free(message);
    if (result == OPTIONS_BAD) {
        // One message, naming the program, ending the line.
        if (text.rfind("clovenfeld: ", 0) != 0 || text.back() != '\n') std::abort();
        return 0;
    }
    if (result != OPTIONS_OK || !text.empty()) std::abort();
    const RunOptions& r = cl.run;
    if (r.headless && r.record_path != nullptr) std::abort();
    // A replay runs headless, but for --watch, which shows it in the window.
    if (r.replay_path != nullptr && !r.headless && !r.watch) std::abort();
    if (r.watch && (r.replay_path == nullptr || r.headless || r.record_path != nullptr)) std::abort();
    if (r.practice_level < 0 || r.practice_level > 27) std::abort();
    if (r.stop_tick < -1) std::abort();
    // The pack commands run on their own; a pack is named by something.
    const int pack_commands = (cl.verify_pack != nullptr) + (cl.install_pack != nullptr) + cl.list_packs;
    if (pack_commands > 1 || (pack_commands == 1 && (cl.pack != nullptr || r.replay_path != nullptr))) std::abort();
    for (const char* p : {cl.pack, cl.verify_pack, cl.install_pack})
        if (p != nullptr && *p == '\0') std::abort();
    // Every value points into the arguments, never elsewhere.
    for (const char* v : {r.replay_path, r.record_path, r.shot_path, r.stop_event, cl.pack, cl.verify_pack, cl.install_pack}) {
        if (v == nullptr) continue;
        bool found = false;
        for (const std::string& w : words) found = found || v == w.c_str();
        if (!found) std::abort();
    }
    return 0;
}
