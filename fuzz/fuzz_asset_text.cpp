// fuzz_asset_text.cpp -- libFuzzer harness for the asset sources' parser
// (tools/asset_text.h, what mkassets reads).
//
// The first byte picks the reader (palette, level, or one sprite shape with
// the shipped palette's characters); the rest is the file's text.  Every
// text is either read, into exactly the size its kind demands, or refused
// with one message naming the file and, past the whole-file checks, the
// line.  The sanitizers catch the rest.
#include "../tools/asset_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace asset_text;

namespace {

struct Refused {
    std::string message;
};

void throw_refused(const std::string& message) { throw Refused{message}; }

// The characters of the shipped palette ('.' is nothing here, FF00FF).
std::map<char, uint32_t> make_palette() {
    std::map<char, uint32_t> p;
    const std::string chars = ".kRLQrgGdytTueEWnbBmhHjfFvVxcCaAOoMNZpPsSiYlz";
    for (size_t k = 0; k < chars.size(); ++k) p[chars[k]] = k == 0 ? 0xFF00FF : static_cast<uint32_t>(k * 0x050301);
    return p;
}
const std::map<char, uint32_t> PALETTE = make_palette();

void check_refusal(const std::string& m, const std::string& file) {
    const std::string head = "mkassets: " + file + ":";
    const std::string whole = "mkassets: " + file + ": ";
    if (m.rfind(head, 0) != 0 || m.back() != '\n' || m.find('\n') != m.size() - 1) std::abort();
    if (m.rfind(whole, 0) == 0) return; // a whole-file fault has no line
    // "<file>:<line>: ", the line a positive number.
    const size_t at = head.size();
    const size_t colon = m.find(": ", at);
    if (colon == std::string::npos || colon == at || m[at] == '0') std::abort();
    for (size_t k = at; k < colon; ++k)
        if (m[k] < '0' || m[k] > '9') std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    asset_fail_hook = throw_refused;
    const int kind = data[0] % (2 + static_cast<int>(std::size(SPRITES)));
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string file;
    try {
        if (kind == 0) {
            file = "palette.txt";
            const auto palette = parse_palette(file, text);
            if (palette.at('.') != 0xFF00FF) std::abort();
            for (const auto& [ch, rgb] : palette)
                if (rgb > 0xFFFFFF) std::abort();
        } else if (kind == 1) {
            file = "levels/1.txt";
            const Level level = parse_level(file, text);
            if (level.height < 1 || level.height > LEVEL_MAX_ROWS ||
                level.codes.size() != static_cast<size_t>(LEVEL_WIDTH * level.height))
                std::abort();
            for (uint8_t code : level.codes)
                if (code > 9) std::abort();
        } else {
            const SpriteShape& shape = SPRITES[kind - 2];
            file = std::string("sprites/") + shape.name + ".txt";
            const Picture p = parse_sprite(file, text, shape, PALETTE);
            if (p.width != shape.width || p.height != shape.height ||
                p.rgb.size() != static_cast<size_t>(shape.width * shape.height))
                std::abort();
        }
    } catch (const Refused& r) {
        check_refusal(r.message, file);
    }
    return 0;
}
