// notice.h -- the program's notice lines: what it tells the player on
// standard error short of the fatal report ("clovenfeld: no sound (...); the
// game plays on silently").  Every line is also kept, in order, in one fixed
// buffer, so that a player who has no console to read standard error in (a
// program started from the desktop on Windows) is shown the lines with the
// report that ends the run (show_notices_without_console, system.h).
#pragma once

#include <cstdarg>

// The room for the kept lines, the final '\0' included.  Lines are kept whole
// while they fit; the first one that does not is kept cut, ending in "...",
// and no later line is kept.
enum { NOTICE_KEEP_CHARS = 2048 };

// Writes "clovenfeld: " + the text (formatted as by printf) + "\n" to standard
// error and keeps the line.  No heap; safe from any thread.  Called wherever
// the program tells the player something that does not end it by itself.
void notice(const char* format, ...) __attribute__((format(printf, 1, 2)));
void notice_v(const char* format, va_list args);

// The text of a box for a player without a console: every line kept so far,
// a blank line, then text (the fatal report, the usage) without the blank
// lines around it; text alone when nothing was kept.  At most size - 1
// characters, always terminated; returns the length.  Called by
// show_notices_without_console and by tests.
int format_notice_box(char* out, int size, const char* text);

// Forgets every kept line (tests).
void forget_notices();
