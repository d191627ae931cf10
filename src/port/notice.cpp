// notice.cpp -- the notice lines on standard error and their fixed buffer
// (see notice.h).
#include "port/notice.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr char kPrefix[] = "clovenfeld: ";
constexpr char kCut[] = "...\n";

std::mutex g_mx;
char g_kept[NOTICE_KEEP_CHARS] = "";
int g_len = 0;
bool g_full = false; // a line did not fit: no later line is kept

// Appends the line (len characters, ending in '\n') to the kept text; room
// for the cut mark is always left.
void keep(const char* line, int len) {
    std::lock_guard<std::mutex> lock(g_mx);
    if (g_full) return;
    const int cut = sizeof kCut - 1;
    const int room = NOTICE_KEEP_CHARS - 1 - cut - g_len;
    if (len <= room) {
        std::memcpy(g_kept + g_len, line, static_cast<size_t>(len));
        g_len += len;
    } else {
        std::memcpy(g_kept + g_len, line, static_cast<size_t>(room));
        std::memcpy(g_kept + g_len + room, kCut, static_cast<size_t>(cut));
        g_len += room + cut;
        g_full = true;
    }
    g_kept[g_len] = '\0';
}

} // namespace

void notice_v(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    // The whole line in one write where it fits, as one fprintf would.
    char line[1024];
    const int head = sizeof kPrefix - 1;
    std::memcpy(line, kPrefix, static_cast<size_t>(head));
    const int n = std::vsnprintf(line + head, sizeof line - head - 1, format, args);
    int len = head + (n < 0 ? 0 : n);
    if (len <= static_cast<int>(sizeof line) - 2) {
        line[len++] = '\n';
        line[len] = '\0';
        std::fputs(line, stderr);
    } else { // a longer line is written whole, and kept cut
        std::fputs(kPrefix, stderr);
        std::vfprintf(stderr, format, again);
        std::fputc('\n', stderr);
        len = static_cast<int>(sizeof line) - 1;
        std::memcpy(line + len - (sizeof kCut - 1), kCut, sizeof kCut);
    }
    va_end(again);
    keep(line, len);
}

void notice(const char* format, ...) {
    va_list args;
    va_start(args, format);
    notice_v(format, args);
    va_end(args);
}

int format_notice_box(char* out, int size, const char* text) {
    if (out == nullptr || size <= 0) return 0;
    int len = 0;
    auto append = [&](const char* s, int n) {
        if (n > size - 1 - len) n = size - 1 - len;
        if (n <= 0) return;
        std::memcpy(out + len, s, static_cast<size_t>(n));
        len += n;
    };
    {
        std::lock_guard<std::mutex> lock(g_mx);
        append(g_kept, g_len);
    }
    if (text == nullptr) text = "";
    while (*text == '\n') ++text;
    int n = static_cast<int>(std::strlen(text));
    while (n > 0 && text[n - 1] == '\n') --n;
    if (n > 0) {
        if (len > 0) append("\n", 1);
        append(text, n);
    } else {
        while (len > 0 && out[len - 1] == '\n') --len; // no line break after the last line
    }
    out[len] = '\0';
    return len;
}

void forget_notices() {
    std::lock_guard<std::mutex> lock(g_mx);
    g_kept[0] = '\0';
    g_len = 0;
    g_full = false;
}
