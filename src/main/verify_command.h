// verify_command.h -- the program's --verify: recordings played without a
// window and checked against what they say of themselves.
#pragma once

#include "main/options.h"

#include <string>

enum { VERIFY_OK = 0, VERIFY_BAD_FILE = 2, VERIFY_FAILED = 22 };

// Checks cl.verify_files one by one and prints one line for each:
//   FILE: ok: levels 1–27, ticks 155459, score 15542, v2
//   FILE: desync at tick N (state hash differs after tick M)
//   FILE: level file differs: level 5 (levels/5.bmp)
//   FILE: made by behaviour 3, this game is behaviour 4
//   FILE: bad recording: line 7: ...
// Returns VERIFY_OK when all are ok, VERIFY_BAD_FILE when one is not a
// recording, else VERIFY_FAILED.
int VERIFY_COMMAND(const CommandLine& cl);

// One recording, checked the same way, its line (without the file's name)
// in line.  The data folder must be chosen.  Called by VERIFY_COMMAND and
// the tools.
int VERIFY_RECORDING(const char* path, char* line, int size);

// Plays rec from its start (the title screen, or its level put straight at
// the start) until it runs out or the game ends, headless, fast and with
// drawing off, calling tick_hook (null: none) at every tick before its
// input.  False with the fatal report in *failure when the game failed;
// *check gets what the replay found.  The game is left as it ended.
struct Recording;
struct ReplayCheck;
bool PLAY_RECORDING(const Recording& rec, void (*tick_hook)(long tick), std::string* failure, ReplayCheck* check);
