// bindings.cpp -- the actions' keys and the pad buttons' actions: the
// defaults, the check, and the tables in use that the live feed and the
// back-ends read from any thread.
#include "platform/bindings.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// The game key each game action stands for.
constexpr unsigned char kActionKeys[BIND_GAME_COUNT] = {
    USAGE_LEFT, USAGE_RIGHT, USAGE_UP, USAGE_DOWN, USAGE_SPACE, USAGE_ESCAPE, USAGE_S,
};
constexpr const char* kActionNames[BIND_COUNT] = {
    "left", "right", "up", "down", "space", "escape", "screenshot", "pause", "mute", "fullscreen",
};

constexpr signed char default_window_action(int usage) {
    return usage == USAGE_P || usage == USAGE_PAUSE ? BIND_PAUSE
           : usage == USAGE_M                       ? BIND_MUTE
           : usage == USAGE_F11                     ? BIND_FULLSCREEN
                                                    : BIND_NONE;
}
constexpr signed char kDefaultPad[PAD_BUTTON_COUNT] = {
    BIND_SPACE, BIND_PAUSE, BIND_ESCAPE, BIND_UP, BIND_DOWN, BIND_LEFT, BIND_RIGHT,
    BIND_NONE, BIND_NONE, BIND_MUTE,
};

// The tables in use, one byte per key or button, zero meaning "as by
// default" so that they start out right before anything is set:
// game role: 0 the key itself, 1 inert, 2 + action a game key it stands for;
// window and pad roles: 0 the default, else 2 + action (1 for none).
enum { ROLE_DEFAULT = 0, ROLE_INERT = 1, ROLE_BASE = 2 };
std::atomic<unsigned char> g_game_role[USAGE_LIMIT];
std::atomic<unsigned char> g_window_role[USAGE_LIMIT];
std::atomic<unsigned char> g_pad_role[PAD_BUTTON_COUNT];

} // namespace

void keymap_default_bindings(KeyBindings* out) {
    std::memset(out->keys, 0, sizeof out->keys);
    for (int a = 0; a < BIND_GAME_COUNT; ++a) out->keys[a][0] = kActionKeys[a];
    out->keys[BIND_PAUSE][0] = USAGE_P;
    out->keys[BIND_PAUSE][1] = USAGE_PAUSE;
    out->keys[BIND_MUTE][0] = USAGE_M;
    out->keys[BIND_FULLSCREEN][0] = USAGE_F11;
    std::memcpy(out->pad, kDefaultPad, sizeof out->pad);
}

int keymap_action_key(int action) {
    return action >= 0 && action < BIND_GAME_COUNT ? kActionKeys[action] : 0;
}

const char* keymap_action_name(int action) {
    return action >= 0 && action < BIND_COUNT ? kActionNames[action] : "none";
}

bool keymap_check_bindings(const KeyBindings& b, char* message, int size) {
    int owner[USAGE_LIMIT];
    for (int& o : owner) o = BIND_NONE;
    for (int a = 0; a < BIND_COUNT; ++a)
        for (const unsigned char usage : b.keys[a]) {
            if (usage == 0) continue;
            if (owner[usage] != BIND_NONE && owner[usage] != a) {
                char unnamed[16];
                const char* name = keymap_code_of_usage(usage);
                if (name == nullptr) {
                    std::snprintf(unnamed, sizeof unnamed, "key %d", usage);
                    name = unnamed;
                }
                if (message != nullptr && size > 0)
                    std::snprintf(message, static_cast<size_t>(size), "%s is bound to both %s and %s", name,
                                  kActionNames[owner[usage]], kActionNames[a]);
                return false;
            }
            owner[usage] = a;
        }
    for (int button = 0; button < PAD_BUTTON_COUNT; ++button)
        if (b.pad[button] < BIND_NONE || b.pad[button] >= BIND_COUNT) {
            if (message != nullptr && size > 0)
                std::snprintf(message, static_cast<size_t>(size), "pad button %d names no action (%d)", button,
                              b.pad[button]);
            return false;
        }
    return true;
}

bool keymap_set_bindings(const KeyBindings& b, char* message, int size) {
    if (!keymap_check_bindings(b, message, size)) return false;
    int owner[USAGE_LIMIT];
    for (int& o : owner) o = BIND_NONE;
    for (int a = 0; a < BIND_COUNT; ++a)
        for (const unsigned char usage : b.keys[a])
            if (usage != 0) owner[usage] = a;
    bool game_key[USAGE_LIMIT] = {};
    for (const unsigned char usage : kActionKeys) game_key[usage] = true;
    for (int usage = 0; usage < USAGE_LIMIT; ++usage) {
        const int a = owner[usage];
        int game = ROLE_DEFAULT;
        if (a >= 0 && a < BIND_GAME_COUNT) game = kActionKeys[a] == usage ? ROLE_DEFAULT : ROLE_BASE + a;
        else if (game_key[usage]) game = ROLE_INERT; // a game key bound away from its action
        g_game_role[usage].store(static_cast<unsigned char>(game), std::memory_order_relaxed);
        const int window = a >= BIND_GAME_COUNT ? a : BIND_NONE;
        g_window_role[usage].store(static_cast<unsigned char>(ROLE_BASE + window), std::memory_order_relaxed);
    }
    for (int button = 0; button < PAD_BUTTON_COUNT; ++button)
        g_pad_role[button].store(static_cast<unsigned char>(ROLE_BASE + b.pad[button]), std::memory_order_relaxed);
    return true;
}

int keymap_game_key(int usage) {
    if (usage < 0 || usage >= USAGE_LIMIT) return usage;
    const int r = g_game_role[usage].load(std::memory_order_relaxed);
    return r == ROLE_DEFAULT ? usage : r == ROLE_INERT ? 0 : kActionKeys[r - ROLE_BASE];
}

int keymap_window_action(int usage) {
    if (usage < 0 || usage >= USAGE_LIMIT) return BIND_NONE;
    const int r = g_window_role[usage].load(std::memory_order_relaxed);
    return r == ROLE_DEFAULT ? default_window_action(usage) : r - ROLE_BASE;
}

int keymap_pad_action(int button) {
    if (button < 0 || button >= PAD_BUTTON_COUNT) return BIND_NONE;
    const int r = g_pad_role[button].load(std::memory_order_relaxed);
    return r == ROLE_DEFAULT ? kDefaultPad[button] : r - ROLE_BASE;
}
