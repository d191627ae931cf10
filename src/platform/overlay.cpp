// overlay.cpp -- the pause overlay's text and drawing (overlay.h).
#include "platform/overlay.h"

#include "platform/bindings.h"
#include "platform/pack.h"
#include "platform/records.h"
#include "platform/session.h"
#include "services/game_events.h"
#include "services/text.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kDimBlack = 0xA0000000u;
constexpr uint32_t kPanel = 0xFF101018u;  // the text's own box: opaque, nearly black
constexpr uint32_t kBorder = 0xFF7878A0u;
constexpr uint32_t kYellow = 0xFFFFFF00u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
// Lines are 16 pixels high, one every 32; the box reaches this far beyond
// the text on each side, its border included.
enum { LINE_STEP = 32, PANEL_MARGIN_X = 16, PANEL_MARGIN_Y = 12, BORDER = 2 };

void fill(uint32_t* pixels, int pitch, int x0, int y0, int x1, int y1, uint32_t colour) {
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < OVERLAY_HEIGHT; ++y)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < OVERLAY_WIDTH; ++x)
            pixels[static_cast<long>(y) * pitch + x] = colour;
}

void put_line(uint32_t* pixels, int pitch, const char* line, int y, uint32_t colour) {
    const int n = static_cast<int>(std::strlen(line));
    const int x0 = (OVERLAY_WIDTH - 8 * n) / 2;
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = font_glyph(static_cast<uint8_t>(line[i]));
        for (int row = 0; row < 16; ++row) {
            if (y + row < 0 || y + row >= OVERLAY_HEIGHT) continue;
            uint32_t* out = pixels + static_cast<long>(y + row) * pitch;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = x0 + 8 * i + bit;
                if (x >= 0 && x < OVERLAY_WIDTH && (glyph[row] & (0x80 >> bit))) out[x] = colour;
            }
        }
    }
}

} // namespace

void overlay_pause_text(OverlayText* out, const char* question, const char* help) {
    *out = OverlayText{};
    // 0xFA is the code page's middle dot.
    std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Paused");
    std::snprintf(out->lines[1], OVERLAY_LINE_CHARS, "%s",
                  help ? help : "P resume \xFA M sound \xFA F11 fullscreen \xFA K keys \xFA A assists \xFA R records \xFA Esc quit");
    out->count = 2;
    if (question != nullptr && question[0] != '\0') {
        std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "%s", question);
        out->count = 3;
    }
}

void overlay_draw(uint32_t* pixels, int pitch, const OverlayText& text, bool over_picture) {
    for (int y = 0; y < OVERLAY_HEIGHT; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * pitch;
        for (int x = 0; x < OVERLAY_WIDTH; ++x)
            row[x] = over_picture ? 0xFF000000u | ((row[x] >> 2) & 0x003F3F3Fu) : kDimBlack;
    }
    const int count = text.count < OVERLAY_MAX_LINES ? text.count : OVERLAY_MAX_LINES;
    if (count <= 0) return;
    // The lines stand on their own box, so the picture's text never shows
    // between them (the title's lines sit where the overlay's do).
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        const int n = static_cast<int>(std::strlen(text.lines[i]));
        widest = n > widest ? n : widest;
    }
    const int top = OVERLAY_HEIGHT / 2 - LINE_STEP / 2 * count;
    const int half = 4 * widest + PANEL_MARGIN_X;
    const int x0 = OVERLAY_WIDTH / 2 - half, x1 = OVERLAY_WIDTH / 2 + half;
    const int y0 = top - PANEL_MARGIN_Y, y1 = top + LINE_STEP * (count - 1) + 16 + PANEL_MARGIN_Y;
    fill(pixels, pitch, x0, y0, x1, y1, kBorder);
    fill(pixels, pitch, x0 + BORDER, y0 + BORDER, x1 - BORDER, y1 - BORDER, kPanel);
    for (int i = 0; i < count; ++i)
        put_line(pixels, pitch, text.lines[i], top + LINE_STEP * i, i == 0 ? kYellow : kWhite);
}

// --- the pause menu -------------------------------------------------------------

namespace {

PauseMenuState g_shows = PAUSE_MENU_PAUSED;
int g_practice = 1;               // the level chosen on the level list
int g_binding = 0;                // the action a key is asked for
KeyBindings g_new_bindings;
char g_message[BIND_MESSAGE_CHARS] = "";

// The level packs list: the built-in pack first, then the installed ones,
// read when the list opens (at most PACK_LIST_MAX).
enum { PACK_LIST_MAX = 32 };
PackInfo g_packs[PACK_LIST_MAX];
int g_pack_count = 0, g_pack_chosen = 0;

void open_pack_list() {
    g_packs[0] = PackInfo{};
    std::snprintf(g_packs[0].id, sizeof g_packs[0].id, "%s", PACK_BUILT_IN);
    std::snprintf(g_packs[0].title, sizeof g_packs[0].title, "Clovenfeld");
    g_pack_count = 1;
    for (const PackInfo& p : pack_list_installed())
        if (g_pack_count < PACK_LIST_MAX) g_packs[g_pack_count++] = p;
    const char* now = pack_in_use()[0] != '\0' ? pack_in_use() : PACK_BUILT_IN;
    g_pack_chosen = 0;
    for (int i = 0; i < g_pack_count; ++i)
        if (std::strcmp(g_packs[i].id, now) == 0) g_pack_chosen = i;
}

// Enter on the list: the chosen pack's levels from the next game on, and saved.
void play_chosen_pack() {
    const PackInfo& p = g_packs[g_pack_chosen];
    char dir[PACK_PATH_CHARS];
    const bool built_in = g_pack_chosen == 0;
    if (!built_in && !pack_installed_dir(p.id, dir, sizeof dir)) {
        std::snprintf(g_message, sizeof g_message, "%s is no longer installed", p.id);
        return;
    }
    pack_use(built_in ? nullptr : dir, p.id);
    session_note_pack(p.id);
    session_save();
    std::snprintf(g_message, sizeof g_message, "Levels: %.60s", p.title);
}

constexpr int usage_of_letter(char c) { return USAGE_A + (c - 'A'); }

// The action's name as the menu shows it: "LEFT".
void upper_action_name(int action, char* out, int size) {
    std::snprintf(out, static_cast<size_t>(size), "%s", keymap_action_name(action));
    for (char* c = out; *c; ++c) *c = static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
}

// The action another than `action` that has the key, else BIND_NONE.
int other_owner(int action, int usage) {
    for (int a = 0; a < BIND_COUNT; ++a)
        for (unsigned char k : g_new_bindings.keys[a])
            if (a != action && k == usage) return a;
    return BIND_NONE;
}

// A key given for the action asked: refused when another action has it.
// It becomes the first key and the old first key the second, so a new key
// takes no old one away; the old second goes.
void bind_key(int usage) {
    const char* name = keymap_key_name(usage);
    if (name == nullptr) return; // a key the settings file cannot name
    if (const int owner = other_owner(g_binding, usage); owner != BIND_NONE) {
        char action[24];
        upper_action_name(owner, action, sizeof action);
        std::snprintf(g_message, sizeof g_message, "%s is already bound to %s", name, action);
        return;
    }
    unsigned char* keys = g_new_bindings.keys[g_binding];
    const unsigned char first = keys[0], second = keys[1];
    keys[0] = static_cast<unsigned char>(usage);
    keys[1] = first != 0 && first != usage ? first : second != usage ? second : 0;
    if (keys[1] != 0 && other_owner(g_binding, keys[1]) != BIND_NONE) keys[1] = 0;
    ++g_binding;
}

// The furthest level the records know (assisted or not), at least 1.
int furthest_reached() {
    Records r;
    records_get(&r);
    const int a = r.set[RECORDS_UNASSISTED].furthest_level, b = r.set[RECORDS_ASSISTED].furthest_level;
    const int n = a > b ? a : b;
    return n < 1 ? 1 : n > RECORDS_LEVELS ? RECORDS_LEVELS : n;
}

// Assist n (0 to 3) to its next value: the speed down in tens of percent
// (50 goes round to 100), ladder help and the map on or off, the lives 3, 5,
// 9, unlimited, 3 again.
void change_assist(int n) {
    AssistSettings a = session_assists();
    switch (n) {
    case 0: a.game_speed = a.game_speed <= 50 ? 100 : (a.game_speed - 1) / 10 * 10; break;
    case 1: a.ladder_help = !a.ladder_help; break;
    case 2: a.lives = a.lives == 3 ? 5 : a.lives == 5 ? 9 : a.lives == 9 ? 0 : 3; break;
    default: a.enemies_on_map = !a.enemies_on_map; break;
    }
    session_note_assists(a);
}

// The Assists page: a line for each.  (What the game now plays with is the
// game thread's, so the page says when a change takes effect instead.)
void assists_text(OverlayText* out) {
    const AssistSettings a = session_assists();
    *out = OverlayText{};
    char lives[16];
    if (a.lives == 0) std::snprintf(lives, sizeof lives, "unlimited");
    else std::snprintf(lives, sizeof lives, "%d", a.lives);
    std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Assists");
    std::snprintf(out->lines[1], OVERLAY_LINE_CHARS, "1  Game speed: %d%%", a.game_speed);
    std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "2  Ladder help: %s", a.ladder_help ? "on" : "off");
    std::snprintf(out->lines[3], OVERLAY_LINE_CHARS, "3  Lives: %s", lives);
    std::snprintf(out->lines[4], OVERLAY_LINE_CHARS, "4  Swans and duck on the map: %s", a.enemies_on_map ? "on" : "off");
    std::snprintf(out->lines[5], OVERLAY_LINE_CHARS, "1-4 change \xFA 2 and 3 from the next game \xFA Esc back");
    out->count = 6;
}

} // namespace

void pause_menu_open() {
    g_shows = PAUSE_MENU_PAUSED;
    g_message[0] = '\0';
}

PauseAnswer pause_menu_key(int usage) {
    const int action = keymap_window_action(usage);
    g_message[0] = '\0'; // a message stays until the menu moves on
    switch (g_shows) {
    case PAUSE_MENU_PAUSED:
        if (action == BIND_PAUSE) return PAUSE_RESUME;
        if (action == BIND_MUTE) return PAUSE_MUTE;
        if (action == BIND_FULLSCREEN) return PAUSE_FULLSCREEN;
        if (usage == USAGE_ESCAPE) g_shows = PAUSE_MENU_QUIT;
        if (usage == usage_of_letter('A')) g_shows = PAUSE_MENU_ASSISTS;
        if (usage == usage_of_letter('R')) g_shows = PAUSE_MENU_RECORDS;
        if (usage == usage_of_letter('C') && shell_wait() == SHELL_ON_TITLE) {
            open_pack_list();
            g_shows = PAUSE_MENU_PACKS;
        }
        if (usage == usage_of_letter('E') && shell_wait() == SHELL_ON_TITLE) return PAUSE_EDITOR;
        if (usage == usage_of_letter('L') && shell_wait() == SHELL_ON_TITLE) {
            g_practice = furthest_reached();
            g_shows = PAUSE_MENU_LEVELS;
        }
        if (usage == usage_of_letter('K')) {
            session_bindings(&g_new_bindings);
            g_binding = 0;
            g_message[0] = '\0';
            g_shows = PAUSE_MENU_KEYS;
        }
        return PAUSE_STAY;
    case PAUSE_MENU_QUIT:
        if (usage == usage_of_letter('Y')) return PAUSE_QUIT;
        if (usage == usage_of_letter('N') || usage == USAGE_ESCAPE) g_shows = PAUSE_MENU_PAUSED;
        return PAUSE_STAY;
    case PAUSE_MENU_LEVELS:
        if (usage == USAGE_LEFT && g_practice > 1) g_practice--;
        if (usage == USAGE_RIGHT && g_practice < furthest_reached()) g_practice++;
        if (usage == USAGE_ESCAPE) g_shows = PAUSE_MENU_PAUSED;
        if (usage == USAGE_RETURN || usage == USAGE_KP_ENTER) {
            g_shows = PAUSE_MENU_PAUSED;
            return PAUSE_PRACTICE;
        }
        return PAUSE_STAY;
    case PAUSE_MENU_RECORDS:
        if (usage == USAGE_ESCAPE || action == BIND_PAUSE) g_shows = PAUSE_MENU_PAUSED;
        return PAUSE_STAY;
    case PAUSE_MENU_PACKS:
        if (usage == USAGE_LEFT && g_pack_chosen > 0) g_pack_chosen--;
        if (usage == USAGE_RIGHT && g_pack_chosen < g_pack_count - 1) g_pack_chosen++;
        if (usage == USAGE_ESCAPE) g_shows = PAUSE_MENU_PAUSED;
        if (usage == USAGE_RETURN || usage == USAGE_KP_ENTER) {
            g_shows = PAUSE_MENU_PAUSED;
            play_chosen_pack();
        }
        return PAUSE_STAY;
    case PAUSE_MENU_ASSISTS:
        if (usage == USAGE_ESCAPE || action == BIND_PAUSE) {
            g_shows = PAUSE_MENU_PAUSED;
        } else if (usage >= USAGE_1 && usage < USAGE_1 + 4) {
            change_assist(usage - USAGE_1);
            session_save();
        }
        return PAUSE_STAY;
    case PAUSE_MENU_KEYS:
        if (usage == USAGE_ESCAPE) ++g_binding; // keeps the old key
        else bind_key(usage);
        if (g_binding >= BIND_COUNT) {
            if (keymap_set_bindings(g_new_bindings, g_message, sizeof g_message)) {
                session_note_bindings(g_new_bindings);
                session_save();
                std::snprintf(g_message, sizeof g_message, "Keys saved");
            }
            g_shows = PAUSE_MENU_PAUSED;
        }
        return PAUSE_STAY;
    }
    return PAUSE_STAY;
}

PauseMenuState pause_menu_state() { return g_shows; }

int pause_menu_practice_level() { return g_practice; }

void pause_menu_text(OverlayText* out) {
    if (g_shows == PAUSE_MENU_ASSISTS) {
        assists_text(out);
        return;
    }
    if (g_shows == PAUSE_MENU_LEVELS) {
        *out = OverlayText{};
        std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Practice");
        std::snprintf(out->lines[1], OVERLAY_LINE_CHARS, "%s Level %d %s", g_practice > 1 ? "\x1B" : " ", g_practice,
                      g_practice < furthest_reached() ? "\x1A" : " "); // the code page's arrows
        std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "Levels 1 to %d reached", furthest_reached());
        std::snprintf(out->lines[3], OVERLAY_LINE_CHARS, "\x1B \x1A choose \xFA Enter plays \xFA Esc back");
        out->count = 4;
        return;
    }
    if (g_shows == PAUSE_MENU_PACKS) {
        const PackInfo& p = g_packs[g_pack_chosen];
        *out = OverlayText{};
        std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Level packs");
        std::snprintf(out->lines[1], OVERLAY_LINE_CHARS, "%s %.60s %s", g_pack_chosen > 0 ? "\x1B" : " ", p.title,
                      g_pack_chosen < g_pack_count - 1 ? "\x1A" : " ");
        if (g_pack_chosen == 0)
            std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "The game's own levels");
        else
            std::snprintf(out->lines[2], OVERLAY_LINE_CHARS, "%.24s %.8s by %.36s", p.id, p.version, p.author);
        std::snprintf(out->lines[3], OVERLAY_LINE_CHARS, "%d of %d \xFA clovenfeld --install-pack adds more",
                      g_pack_chosen + 1, g_pack_count);
        std::snprintf(out->lines[4], OVERLAY_LINE_CHARS, "\x1B \x1A choose \xFA Enter plays it \xFA Esc back");
        out->count = 5;
        return;
    }
    if (g_shows == PAUSE_MENU_RECORDS) {
        Records r;
        records_get(&r);
        *out = OverlayText{};
        std::snprintf(out->lines[0], OVERLAY_LINE_CHARS, "Records");
        const char* kinds[2] = {"", "Assisted: "};
        for (int k = 0; k < 2; k++) {
            const RecordSet& set = r.set[k];
            if (set.has_game)
                std::snprintf(out->lines[1 + k], OVERLAY_LINE_CHARS, "%sfurthest level %d \xFA best game %d", kinds[k],
                              set.furthest_level, set.best_game_score);
            else
                std::snprintf(out->lines[1 + k], OVERLAY_LINE_CHARS, "%sfurthest level %d \xFA no whole game yet",
                              kinds[k], set.furthest_level);
        }
        std::snprintf(out->lines[3], OVERLAY_LINE_CHARS, "Each level's best: clovenfeld --records");
        std::snprintf(out->lines[4], OVERLAY_LINE_CHARS, "Esc back");
        out->count = 5;
        return;
    }
    char question[2 * OVERLAY_LINE_CHARS] = ""; // cut to the line by overlay_pause_text
    if (g_shows == PAUSE_MENU_QUIT) std::snprintf(question, sizeof question, "Quit? Y/N");
    if (g_shows == PAUSE_MENU_KEYS) {
        char name[24], keys[OVERLAY_LINE_CHARS] = "";
        upper_action_name(g_binding, name, sizeof name);
        const unsigned char* has = g_new_bindings.keys[g_binding];
        for (int i = 0; i < BIND_KEYS; ++i) {
            const char* key = keymap_key_name(has[i]);
            const size_t n = std::strlen(keys);
            if (key != nullptr && (i == 0 || has[i] != has[0]))
                std::snprintf(keys + n, sizeof keys - n, "%s%s", n ? ", " : "", key);
        }
        std::snprintf(question, sizeof question, "Press a key for %s (Esc keeps %s)", name,
                      keys[0] ? keys : "no key");
    }
    // On the title screen the level list is there too.
    overlay_pause_text(out, question,
                       g_shows == PAUSE_MENU_PAUSED && shell_wait() == SHELL_ON_TITLE
                           ? "P resume \xFA" "L practice \xFA" "C packs \xFA" "E editor \xFA" "A assists \xFA" "R records \xFA" "K keys \xFA" "Esc quit"
                           : nullptr);
    if (g_message[0] != '\0' && out->count < OVERLAY_MAX_LINES) {
        // A long message is cut to the overlay's line.
        std::memcpy(out->lines[out->count], g_message, OVERLAY_LINE_CHARS - 1);
        out->lines[out->count++][OVERLAY_LINE_CHARS - 1] = '\0';
    }
}
