// play_main.h -- what both programs (main.cpp, main_web.cpp) run once the
// back-end is chosen: a recording of one level plays that level, and the run
// ends with it (the shot taken if one was asked for); anything else runs the
// game from its title screen.
#pragma once

#include "main/shell.h"
#include "main/snapshot.h"
#include "platform/run.h"
#include "services/fatal.h"

inline int PLAY_MAIN()
{
    const int level = replay_start_level();
    if (level == 0) return GAME_MAIN();
    reset_procedure_context();
    SHELL_STARTUP();
    PLAY_LEVEL_ALONE(level, run_options.seed);
    replay_check_end();
    watch_hold(); // a window watching it keeps the last picture until closed
    run_stop();
}
