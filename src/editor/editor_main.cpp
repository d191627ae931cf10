// editor_main.cpp -- the editor's run (module "editor"): the frames of the
// screen, and what its requests do: save, play, prove, watch and publish.
#include "editor/editor.h"

#include "main/shell.h"
#include "services/clock.h"
#include "services/keyboard.h"
#include "services/pointer.h"
#include "services/screen.h"

#include <cstdio>
#include <cstring>

static constexpr const char MODULE_NAME[] = "editor";

namespace {

constexpr char EDITOR_TITLE[] = "Clovenfeld Returns - level editor";

// The last part of a path, for the bar.
const char* base_name(const char* path) {
    const char* b = path;
    for (const char* p = path; *p != '\0'; p++)
        if (*p == '/' || *p == '\\') b = p + 1;
    return b;
}

} // namespace

int EDITOR_MAIN(const char* path) {
    reset_procedure_context();
    PROC("EDITOR_MAIN");
    SHELL_STARTUP();
    set_window_title(EDITOR_TITLE);
    EDIT_NEW(EDIT_MIN_HEIGHT);
    const bool named = path != nullptr && path[0] != '\0';
    EDITOR_START(named ? base_name(path) : nullptr);
    keyboard_reset();
    pointer_reset();
    EDITOR_DRAW(true);
    for (;;) {
        const int request = EDITOR_INPUT();
        if (request == EDITOR_QUIT) return 0;
        EDITOR_DRAW(false);
        sleep_ms(10);
    }
}
