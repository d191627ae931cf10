// assists.cpp -- the assists that change play (assists.h).
#include "services/assists.h"

#include <cstdio>
#include <cstring>

PlayAssists play_assists;

bool assists_on(const PlayAssists& a) { return a.ladder_help || a.lives != 0; }

void assists_text(const PlayAssists& a, char* out, int size) {
    if (size <= 0) return;
    if (!assists_on(a)) {
        std::snprintf(out, static_cast<size_t>(size), "none");
        return;
    }
    char lives[24] = "";
    if (a.lives == ASSIST_LIVES_UNLIMITED) std::snprintf(lives, sizeof lives, "lives unlimited");
    else if (a.lives != 0) std::snprintf(lives, sizeof lives, "lives %d", a.lives);
    std::snprintf(out, static_cast<size_t>(size), "%s%s%s", a.ladder_help ? "ladder" : "",
                  a.ladder_help && lives[0] ? " " : "", lives);
}

bool assists_parse(const char* text, PlayAssists* out) {
    PlayAssists a;
    if (std::strcmp(text, "none") == 0) {
        *out = a;
        return true;
    }
    char words[4][24];
    int n = 0;
    for (const char* p = text; *p;) {
        while (*p == ' ') p++;
        if (!*p) break;
        if (n == 4) return false;
        int len = 0;
        while (p[len] && p[len] != ' ') len++;
        if (len >= 24) return false;
        std::memcpy(words[n], p, static_cast<size_t>(len));
        words[n++][len] = '\0';
        p += len;
    }
    bool ladder = false, lives = false;
    for (int i = 0; i < n; i++) {
        if (std::strcmp(words[i], "ladder") == 0 && !ladder) {
            ladder = a.ladder_help = true;
        } else if (std::strcmp(words[i], "lives") == 0 && !lives && i + 1 < n) {
            lives = true;
            const char* v = words[++i];
            if (std::strcmp(v, "unlimited") == 0) a.lives = ASSIST_LIVES_UNLIMITED;
            else if (std::strcmp(v, "5") == 0) a.lives = 5;
            else if (std::strcmp(v, "9") == 0) a.lives = 9;
            else return false;
        } else {
            return false;
        }
    }
    if (n == 0) return false;
    *out = a;
    return true;
}
