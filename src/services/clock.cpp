// clock.cpp -- the clock (a steady high-resolution counter read as seconds)
// and the wait, which is also the game's tick: every sleep_ms hands over to
// the back-end, which waits and then delivers the key input of the next tick.
#include "services/clock.h"

#include "port/platform.h"

#include <chrono>

double clock_seconds() {
    // The steady clock counts from an origin fixed for the whole boot, so
    // readings differ from one run of the program to the next.
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

int sleep_ms(int milliseconds) {
    platform()->tick(milliseconds < 0 ? 0 : milliseconds);
    return 0;
}
