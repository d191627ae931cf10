// session.cpp -- the settings of a run (session.h).  The text read at
// start-up is kept, so that saving rewrites only the values the player
// changed and leaves every comment and unknown line as it was.
#include "platform/session.h"

#include "platform/settings.h"
#include "port/notice.h"
#include "sound/sound.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_mx;
char g_path[SETTINGS_PATH_CHARS] = "";
bool g_in_use = false;           // a file was read, or can be created
SettingsText g_text;             // as read
SettingsText g_new_text;         // scratch for the save
Settings g_loaded;               // as read (the defaults for a missing file)
Settings g_changed;              // g_loaded with the player's changes
bool g_dirty = false;
bool g_started = false;          // session_start ran
std::atomic<bool> g_pause_on_focus_loss{true};
AssistSettings g_assists;        // as the pause menu left them

AssistSettings assists_of(const Settings& s) {
    AssistSettings a;
    a.game_speed = s.game_speed < 50 ? 50 : s.game_speed > 100 ? 100 : s.game_speed;
    a.ladder_help = s.ladder_help;
    a.lives = s.lives == 0 || s.lives == 5 || s.lives == 9 ? s.lives : 3;
    a.enemies_on_map = s.enemies_on_map;
    return a;
}

void to_stderr(void*, const char* line) { notice("%s", line); }

} // namespace

void session_start(const char* path, bool use_default, RunOptions* run) {
    std::lock_guard<std::mutex> lock(g_mx);
    settings_defaults(&g_loaded);
    g_assists = assists_of(g_loaded);
    g_started = true;
    g_text.size = 0;
    g_in_use = false;
    g_dirty = false;
    if (path != nullptr) {
        std::snprintf(g_path, sizeof g_path, "%s", path);
    } else if (!use_default || !settings_default_path(g_path, sizeof g_path)) {
        g_changed = g_loaded;
        return;
    }
    const int r = settings_load(g_path, &g_text, &g_loaded, to_stderr, nullptr);
    g_in_use = r != SETTINGS_REFUSED;
    g_changed = g_loaded;
    // The command line wins: only what it left unset comes from the file.
    if (run->window_scale == 0) run->window_scale = g_loaded.scale;
    run->window_fit = run->window_fit || g_loaded.fit;
    run->fullscreen = run->fullscreen || g_loaded.fullscreen;
    run->mute = run->mute || g_loaded.mute;
    if (run->volume < 0) run->volume = g_loaded.volume;
    g_pause_on_focus_loss = g_loaded.pause_on_focus_loss;
    g_assists = assists_of(g_loaded);
    char message[BIND_MESSAGE_CHARS];
    if (!keymap_set_bindings(g_loaded.bindings, message, sizeof message))
        notice("%s: %s; the default keys stay", g_path, message);
}

bool session_pause_on_focus_loss() { return g_pause_on_focus_loss; }

void session_bindings(KeyBindings* out) {
    std::lock_guard<std::mutex> lock(g_mx);
    if (g_started) *out = g_changed.bindings;
    else keymap_default_bindings(out);
}

void session_note_fullscreen(bool on) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_changed.fullscreen = on;
    g_dirty = true;
}

void session_note_scale(int scale) {
    if (scale < 0 || scale > SETTINGS_SCALE_MAX) return;
    std::lock_guard<std::mutex> lock(g_mx);
    g_changed.scale = scale;
    g_dirty = true;
}

void session_note_mute(bool on) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_changed.mute = on;
    g_dirty = true;
}

void session_note_bindings(const KeyBindings& bindings) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_changed.bindings = bindings;
    g_dirty = true;
}

AssistSettings session_assists() {
    std::lock_guard<std::mutex> lock(g_mx);
    return g_assists;
}

void session_note_assists(const AssistSettings& a) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_assists = a;
    g_changed.game_speed = a.game_speed;
    g_changed.ladder_help = a.ladder_help;
    g_changed.lives = a.lives;
    g_changed.enemies_on_map = a.enemies_on_map;
    g_dirty = true;
}

void session_pack(char* out, int size) {
    std::lock_guard<std::mutex> lock(g_mx);
    std::snprintf(out, static_cast<size_t>(size), "%s", g_started ? g_changed.pack : PACK_BUILT_IN);
}

void session_note_pack(const char* id) {
    if (id == nullptr || !pack_id_valid(id, static_cast<int>(std::strlen(id)))) return;
    std::lock_guard<std::mutex> lock(g_mx);
    std::snprintf(g_changed.pack, sizeof g_changed.pack, "%s", id);
    g_dirty = true;
}

PlayAssists session_play_assists() {
    const AssistSettings a = session_assists();
    PlayAssists p;
    p.ladder_help = a.ladder_help;
    p.lives = a.lives == 0 ? ASSIST_LIVES_UNLIMITED : a.lives == 3 ? 0 : a.lives;
    return p;
}

void session_save() {
    std::lock_guard<std::mutex> lock(g_mx);
    if (!g_in_use || !g_dirty) return;
    g_dirty = false;
    if (!settings_update_text(g_text, g_changed, &g_new_text)) {
        notice("%s: your changes are not saved: the file's own lines would undo them", g_path);
        return;
    }
    if (g_new_text.size == g_text.size && std::memcmp(g_new_text.bytes, g_text.bytes, g_text.size) == 0) return;
    if (settings_save(g_path, g_new_text, to_stderr, nullptr)) {
        std::memcpy(g_text.bytes, g_new_text.bytes, static_cast<size_t>(g_new_text.size));
        g_text.size = g_new_text.size;
        g_loaded = g_changed;
    }
}

void session_reset_for_tests() {
    std::lock_guard<std::mutex> lock(g_mx);
    g_in_use = false;
    g_dirty = false;
    g_started = false;
    g_text.size = 0;
    g_pause_on_focus_loss = true;
    g_assists = AssistSettings{};
}
