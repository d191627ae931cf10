// screenshot.h -- the S key's picture of the work page.
//
// It goes to screen.bmp in the working folder, as it always has (written
// whole and renamed into place, never through a link).  When that cannot be
// written (a read-only folder, screen.bmp a folder), it goes to the player's
// pictures folder, else to the game's settings folder, as a new file
// clovenfeld-YYYYMMDD-HHMMSS.bmp that never replaces an earlier shot.  When
// nothing can be written the game goes on all the same.  Either way one line
// on standard error and a banner over the picture say where it went.
#pragma once

enum { SHOT_PATH_CHARS = 4096 };

// Saves the shot; where (SHOT_PATH_CHARS) names the file written, or is ""
// when none could be.  Returns 0, or the error of the working folder's try.
// Called by the shell.
int save_screenshot(char* where);

// The name a shot taken at that local time gets outside the working folder,
// with serial n > 1 added when an earlier shot took the plain name
// ("clovenfeld-20261208-093005-2.bmp"), in out (size bytes).
void screenshot_name(char* out, int size, int year, int month, int day, int hour, int minute, int second, int n);
