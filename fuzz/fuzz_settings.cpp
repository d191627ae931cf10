// fuzz_settings.cpp -- libFuzzer harness for the settings file: reading any
// text, then updating it with changed values and reading it back.
//
// Every text reads to usable settings with reports of the form FILE:LINE;
// an update that changes nothing gives the text back byte for byte; after
// changes the new text reads back to exactly the new values, keeps every
// comment line in order, and updating it again changes nothing.
#include "fuzz_seam.h"

#include "platform/settings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

struct Reports {
    int lines;  // lines in the text
    int count;  // reports seen
};

void check_report(void* context, const char* line) {
    Reports* r = static_cast<Reports*>(context);
    ++r->count;
    if (std::strncmp(line, "fuzz:", 5) != 0 || std::strchr(line, '\n') != nullptr) std::abort();
    if (line[5] == ' ') return; // the count of problems not shown
    const long n = std::strtol(line + 5, nullptr, 10);
    if (n < 1 || n > r->lines) std::abort();
}

bool same(const Settings& a, const Settings& b) {
    return a.scale == b.scale && a.fit == b.fit && a.fullscreen == b.fullscreen && a.volume == b.volume &&
           a.mute == b.mute && a.pause_on_focus_loss == b.pause_on_focus_loss &&
           std::memcmp(&a.bindings, &b.bindings, sizeof a.bindings) == 0;
}

bool same_text(const SettingsText& a, const SettingsText& b) {
    return a.size == b.size && std::memcmp(a.bytes, b.bytes, static_cast<size_t>(a.size)) == 0;
}

// True when each line of a starting with "#" is a line of b, in order.
bool comments_kept(const SettingsText& a, const SettingsText& b) {
    int at = 0;
    for (int start = 0; start < a.size;) {
        const char* nl = static_cast<const char*>(std::memchr(a.bytes + start, '\n', static_cast<size_t>(a.size - start)));
        const int end = nl ? static_cast<int>(nl - a.bytes) + 1 : a.size;
        if (a.bytes[start] == '#' && nl != nullptr) {
            const int len = end - start;
            for (;;) {
                if (at + len > b.size) return false;
                const char* bl = static_cast<const char*>(std::memchr(b.bytes + at, '\n', static_cast<size_t>(b.size - at)));
                const int bend = bl ? static_cast<int>(bl - b.bytes) + 1 : b.size;
                const bool match = bend - at == len && std::memcmp(a.bytes + start, b.bytes + at, static_cast<size_t>(len)) == 0;
                at = bend;
                if (match) break;
            }
        }
        start = end;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    catch_fatal_reports();
    static auto old = std::make_unique<SettingsText>();
    static auto updated = std::make_unique<SettingsText>();
    static auto again = std::make_unique<SettingsText>();
    old->size = static_cast<int>(size < size_t{SETTINGS_MAX_BYTES} ? size : size_t{SETTINGS_MAX_BYTES});
    std::memcpy(old->bytes, data, static_cast<size_t>(old->size));

    Reports r{1, 0};
    for (int i = 0; i < old->size; ++i) r.lines += old->bytes[i] == '\n';
    Settings s;
    const int problems = settings_parse(old->bytes, old->size, "fuzz", &s, check_report, &r);
    if (r.count > SETTINGS_MAX_REPORTS + 1 || (problems <= SETTINGS_MAX_REPORTS && r.count != problems)) std::abort();
    if (s.scale < 0 || s.scale > SETTINGS_SCALE_MAX || s.volume < 0 || s.volume > 100) std::abort();
    if (!keymap_check_bindings(s.bindings, nullptr, 0)) std::abort();

    // Nothing changed: the text comes back as it was.
    if (!settings_update_text(*old, s, updated.get()) || !same_text(*old, *updated)) std::abort();

    // Changed values, picked from the input.
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    Settings now = s;
    now.volume = static_cast<int>(h % 101);
    now.scale = static_cast<int>((h >> 8) % (SETTINGS_SCALE_MAX + 1));
    now.mute = !now.mute;
    if (h & (1u << 20)) {
        unsigned char left[BIND_KEYS];
        std::memcpy(left, now.bindings.keys[BIND_LEFT], BIND_KEYS);
        std::memcpy(now.bindings.keys[BIND_LEFT], now.bindings.keys[BIND_RIGHT], BIND_KEYS);
        std::memcpy(now.bindings.keys[BIND_RIGHT], left, BIND_KEYS);
    }
    std::swap(now.bindings.pad[PAD_A], now.bindings.pad[PAD_B]);
    if (!settings_update_text(*old, now, updated.get())) {
        // Only a full file, or one whose lines conflict, may refuse.
        if (old->size < SETTINGS_MAX_BYTES - 4096 && r.count == 0) std::abort();
        return 0;
    }
    Settings back;
    settings_parse(updated->bytes, updated->size, "fuzz", &back, nullptr, nullptr);
    if (!same(back, now)) std::abort();
    if (!comments_kept(*old, *updated)) std::abort();
    if (!settings_update_text(*updated, now, again.get()) || !same_text(*updated, *again)) std::abort();
    return 0;
}
