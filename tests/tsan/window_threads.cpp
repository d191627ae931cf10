// window_threads.cpp -- the window back-end's two threads under
// ThreadSanitizer, on SDL's dummy video driver (asked for explicitly).
//
// Run without arguments, it first runs itself with "fatal" as a child: the
// game thread takes the screen lock while the main thread waits for it to
// show a page, and ends with a fatal error; the child must end with the
// error's status and exactly its report, and no race report.  Then, in this
// process, a game thread opens the window, draws and presents pages, retitles
// the window, sees a key pressed and released through SDL's event queue, and
// returns, which closes the window.  Exit status 0 when all went as it should.
#include "services/fatal.h"
#include "services/keyboard.h"
#include "platform/run.h"
#include "services/screen.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char kReport[] = "\nAborting due to runtime error 6 (out of bounds array access) at line 77 of tsan::DRAW()\n\n";

void push_key(SDL_EventType type, SDL_Scancode sc) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    e.key.keysym.scancode = sc;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

// Waits for the held state of Right to become `want`: as long as the main
// thread takes under ThreadSanitizer on a busy machine, up to 2000 ticks
// (20 s or more) before calling the test hung.
bool right_becomes(bool want) {
    for (int i = 0; i < 2000; ++i) {
        if (key_down(KEY_RIGHT) == want) return true;
        platform()->tick(10);
    }
    return false;
}

int playing_game() {
    if (open_screen(18, 32, 2, 0, 0) != 0) return 10;
    if (set_pages(1, 0) != 0) return 11;
    for (int i = 0; i < 20; ++i) {
        set_color(0, 0xFF000000u + static_cast<uint32_t>(i) * 0x0A0B0Cu, KEEP_FOREGROUND);
        clear_screen();
        show_page();
        if (i == 10) set_window_title("window threads");
        platform()->tick(10);
    }
    push_key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT);
    if (!right_becomes(true)) return 12;
    push_key(SDL_KEYUP, SDL_SCANCODE_RIGHT);
    if (!right_becomes(false)) return 13;
    return 0;
}

int fatal_game() {
    if (open_screen(18, 32, 2, 0, 0) != 0) return 20;
    set_pages(1, 0);
    clear_screen();
    lock_screen();
    lock_screen(); // held twice over, as nested drawing would
    show_page();   // the main thread now waits for the lock to take the page
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The time from the fatal error to the end, for the parent to print.
    const long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now().time_since_epoch()).count();
    std::printf("%lld\n", now);
    std::fflush(stdout);
    fatal_error(ERR_BOUNDS, 77, "tsan", "DRAW");
}

// Runs this program with "fatal"; checks its status and standard error.
bool fatal_child_ends_cleanly(const char* self) {
    int pipe_fd[2], out_fd[2];
    if (pipe(pipe_fd) != 0 || pipe(out_fd) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fd[1], 2);
        dup2(out_fd[1], 1);
        close(pipe_fd[0]);
        close(pipe_fd[1]);
        close(out_fd[0]);
        close(out_fd[1]);
        execl(self, self, "fatal", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_fd[1]);
    close(out_fd[1]);
    std::string err;
    char buf[4096];
    for (ssize_t n; (n = read(pipe_fd[0], buf, sizeof buf)) > 0;) err.append(buf, static_cast<size_t>(n));
    close(pipe_fd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const long long end = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now().time_since_epoch()).count();
    char out[64] = "";
    const ssize_t n = read(out_fd[0], out, sizeof out - 1);
    close(out_fd[0]);
    const long long fatal_at = n > 0 ? std::atoll(out) : end;
    std::printf("fatal error with the screen lock held: status %d, %.1f ms after the error\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, (end - fatal_at) / 1000.0);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == ERR_BOUNDS && err == kReport;
    if (!ok) std::printf("--- its standard error:\n%s---\n", err.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1); // the audio thread runs too, with nothing to play on
    select_platform(&sdl_platform);
    if (argc > 1 && std::strcmp(argv[1], "fatal") == 0) return run_with_window(fatal_game);
    if (!fatal_child_ends_cleanly("/proc/self/exe")) return 1;
    const int status = run_with_window(playing_game);
    std::printf("open, present, keys and close: status %d\n", status);
    return status;
}
