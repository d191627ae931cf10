// fuzz_recording.cpp -- libFuzzer harness for the recording reader.
//
// Any text is either refused with a message naming its line, or read; a read
// recording then plays back exactly as many ticks as it says it holds (the
// first 2,000 are walked), each with held keys and queued codes the
// keyboard can take.
#include "fuzz_seam.h"

#include "platform/record.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    Recording rec;
    std::string error;
    bool ok;
    try {
        ok = parse_recording(reinterpret_cast<const char*>(data), size, &rec, &error);
    } catch (const FatalExit&) {
        std::abort(); // a bad recording is refused, never a fatal report
    }
    if (!ok) {
        if (error.rfind("line ", 0) != 0 || error.find(": ") == std::string::npos) std::abort();
        return 0;
    }
    if (rec.ticks < 0) std::abort();
    const long walk = rec.ticks < 2000 ? rec.ticks : 2000;
    ReplayCursor c;
    replay_start(&c, &rec);
    TickInput in;
    for (long t = 0; t < walk; ++t) {
        if (!replay_next(&c, &in)) std::abort();
        for (int k = 0; k < 128; ++k)
            if (in.held[k] > 1) std::abort();
        if (in.queued_count < 0) std::abort();
        for (int q = 0; q < in.queued_count; ++q)
            if (!valid_key_code(in.queued[q])) std::abort();
    }
    if (walk == rec.ticks && replay_next(&c, &in)) std::abort();
    replay_finish(&c);
    return 0;
}
