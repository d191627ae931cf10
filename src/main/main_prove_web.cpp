// main_prove_web.cpp -- the prover's program in the browser.  The level
// editor proves in the background, and a page cannot start a process: its
// "child" is a worker (web/prove_worker.js) running this program as
// `--prove LEVEL.bmp --level N --seed S --budget B --out FILE --progress`.
// It is the game's prover and nothing of the page: no window, no sound, no
// waits, so it is its own smaller module, with the memory the prover's
// tables need, which the page's game does not.
#include "main/options.h"
#include "main/prove_command.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CommandLine cl;
    if (parse_options(argc, argv, &cl, stderr) != OPTIONS_OK) return OPTIONS_BAD;
    if (cl.prove_path == nullptr) {
        std::fprintf(stderr, "the prover's program takes --prove LEVEL.bmp\n");
        return OPTIONS_BAD;
    }
    return PROVE_COMMAND(cl);
}
