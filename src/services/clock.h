// clock.h -- the clock and the wait.
#pragma once

// Seconds since an arbitrary fixed origin.
double clock_seconds();

// Waits that many milliseconds.  One call is one tick of the game: the
// back-end also hands over the key input of the next tick here (and, when a
// recording is made or replayed, writes or reads it).  Returns 0.
int sleep_ms(int milliseconds);
