// title.cpp -- the two still pictures of the shell: the title screen (a brick
// frame, a platform, four swans and twelve centred lines) and the message box
// drawn over the current picture.  Both show their picture, throw away the
// key presses made before it appeared, and wait for a new Space press.
#include "main/shell.h"

#include "services/clock.h"
#include "services/draw.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "services/game_events.h"
#include "services/screen.h"
#include "services/text.h"
#include "sound/sound.h"
#include "sound/sound_device.h"

#include <cstdio>
#include <cstring>

static constexpr const char MODULE_NAME[] = "main";

namespace {

constexpr uint32_t COLOR_BLACK = 0xFF000000u;
constexpr uint32_t COLOR_MAGENTA = 0xFFFF00FFu;
constexpr uint32_t COLOR_YELLOW = 0xFFFFFF00u;

// Drains the key queue, then polls about every 10 ms until a Space press
// (true); with escape_ends, Escape held ends the program.  Where the program
// cannot end (the browser) it waits for Escape to be let go and returns false
// instead, for a new start.  The run control is told what waits (the pause
// menu's Quit acts on it).  Called by TITLE, INFOBOX.
bool WAIT_FOR_SPACE(bool escape_ends)
{
    PROC("WAIT_FOR_SPACE");
    note_shell_wait(escape_ends ? SHELL_ON_TITLE : SHELL_IN_BOX);
    while (!read_key().empty()) {
    }
    for (;;) {
        const std::string k = read_key();
        sleep_ms(10);
        if (escape_ends && key_down(KEY_ESCAPE)) {
            if (program_can_end()) end_program(0);
            while (key_down(KEY_ESCAPE)) sleep_ms(10);
            note_shell_wait(SHELL_PLAYS);
            return false;
        }
        if (k == " ") {
            note_shell_wait(SHELL_PLAYS);
            return true;
        }
        // On the title, the editor's code opens the editor; the title comes back after.
        if (escape_ends && k.size() == 2 && static_cast<unsigned char>(k[0]) == 255 &&
            static_cast<unsigned char>(k[1]) == (KEY_EDITOR_CODE >> 8) && title_editor != nullptr) {
            note_shell_wait(SHELL_PLAYS);
            title_editor();
            return false;
        }
        // On the title, a practice code starts a practice game at its level.
        if (escape_ends && k.size() == 2 && static_cast<unsigned char>(k[0]) == 255) {
            const int n = static_cast<unsigned char>(k[1]) - KEY_PRACTICE_BASE;
            if (n >= 1 && n <= LAST_LEVEL) {
                practice_level = n;
                note_shell_wait(SHELL_PLAYS);
                return true;
            }
        }
    }
}

} // namespace

int HALF_EVEN(int a)
{
    PROC("HALF_EVEN");
    int q = (a - (a & 1)) / 2; // floor(a / 2)
    if ((a & 1) != 0 && (q & 1) != 0) q = q + 1;
    return q;
}

int CENTRED_X(int n)
{
    PROC("CENTRED_X");
    return HALF_EVEN(view_width - 8 * n);
}

void TITLE()
{
    PROC("TITLE");
    // Quitting where the program cannot end shows the title afresh.
    do {
        clear_screen();

        // The brick frame around the screen, in xor.
        Image* brick = shell_images[1];
        for (int i = 0; i <= 19; i++) {
            CHECK(put_image(32 * i, 0, brick, BLIT_XOR));
            CHECK(put_image(32 * i, view_height - 32, brick, BLIT_XOR));
        }
        for (int j = 1; j <= 13; j++) {
            CHECK(put_image(0, 32 * j, brick, BLIT_XOR));
            CHECK(put_image(view_width - 32, 32 * j, brick, BLIT_XOR));
        }
        // The platform in the middle.
        for (int i = 1; i <= 8; i++) CHECK(put_image(32 * i + 160, 320, brick, BLIT_XOR));

        // Two swans on the floor, two on the ends of the platform.
        CHECK(put_image(32, 416, shell_images[3], BLIT_TRANSPARENT));
        CHECK(put_image(576, 416, shell_images[4], BLIT_TRANSPARENT));
        CHECK(put_image(192, 288, shell_images[3], BLIT_TRANSPARENT));
        CHECK(put_image(416, 288, shell_images[4], BLIT_TRANSPARENT));

        set_color(COLOR_YELLOW, 0, KEEP_BACKGROUND);
        for (int i = 0; i <= 11; i++) {
            const std::string& line = title_lines[i];
            if (line.empty()) continue;
            CHECK(draw_text(CENTRED_X(static_cast<int>(line.size())), 16 * i + 50, line.c_str()));
        }
        show_page();
        announce_event("title");
    } while (!WAIT_FOR_SPACE(true));
    play_sound(SOUND_START, 320);
}

void INFOBOX(const char* text)
{
    PROC("INFOBOX");
    const int x1 = HALF_EVEN(view_width - 180);
    const int y1 = HALF_EVEN(view_height - 70);
    const int x2 = HALF_EVEN(view_width + 180);
    const int y2 = HALF_EVEN(view_height + 70);

    // A search that plays with drawing off still waits for the box's Space.
    if (drawing_on) {
        set_color(COLOR_BLACK, 0, KEEP_BACKGROUND);
        draw_line(x1, y1, x2, y2, LINE_FILLED_BOX);
        set_color(COLOR_MAGENTA, 0, KEEP_BACKGROUND);
        draw_line(x1, y1, x2, y2, LINE_BOX);
        draw_line(x1 - 2, y1 - 2, x2 - 2, y2 - 2, LINE_BOX);

        set_color(COLOR_YELLOW, 0, KEEP_BACKGROUND);
        const int n = static_cast<int>(std::strlen(text));
        CHECK(draw_text(CENTRED_X(n), view_height / 2 - 20, text));
        CHECK(draw_text(CENTRED_X(11), view_height / 2, "Press Space"));
        show_page();
    }

    char event[96];
    std::snprintf(event, sizeof event, "infobox:%s", text);
    announce_event(event);
    WAIT_FOR_SPACE(false);
}

void INFOBOX(const std::string& text)
{
    PROC("INFOBOX");
    INFOBOX(text.c_str());
}
