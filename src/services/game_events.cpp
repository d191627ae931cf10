// game_events.cpp -- the game's events on their way to the listener, and the
// shell's wait.
#include "services/game_events.h"

#include <atomic>

namespace {

std::atomic<void (*)(const char*)> g_listener{nullptr};
std::atomic<int> g_wait{SHELL_PLAYS};

} // namespace

void announce_event(const char* name) {
    if (name == nullptr) return;
    if (auto listener = g_listener.load()) listener(name);
}

void set_event_listener(void (*listener)(const char* name)) { g_listener = listener; }

EventListener event_listener() { return g_listener.load(); }

void note_shell_wait(int wait) { g_wait = wait; }

int shell_wait() { return g_wait.load(); }

namespace {
std::atomic<StateReporter> g_reporter{nullptr};
} // namespace

void set_state_reporter(StateReporter reporter) { g_reporter = reporter; }

bool report_game_state(GameState* out) {
    *out = GameState{};
    out->version = "";
    const StateReporter r = g_reporter.load();
    if (r == nullptr) return false;
    r(out);
    return true;
}

namespace {
std::atomic<SpotsReporter> g_spots{nullptr};
} // namespace

void set_spots_reporter(SpotsReporter reporter) { g_spots = reporter; }

int report_game_spots(MapSpot* out, int max) {
    const SpotsReporter r = g_spots.load();
    return r != nullptr && max > 0 ? r(out, max) : 0;
}
