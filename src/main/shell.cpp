// shell.cpp -- the game shell: start-up, the outer loop of games, the level
// loop and the order of one frame, lives, time, score, the heads-up display
// and the end of a level.  Everything lives in plain module-wide variables so
// that a game can be driven and inspected one step at a time.
#include "main/shell.h"
#include "services/assists.h"

#include "actors/collide.h"
#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "main/snapshot.h"
#include "map/map.h"
#include "services/bmp.h"
#include "services/clock.h"
#include "services/image.h"
#include "services/keyboard.h"
#include "services/game_events.h"
#include "services/random.h"
#include "services/screen.h"
#include "services/screenshot.h"
#include "services/text.h"
#include "sound/sound.h"
#include "sound/sound_device.h"

#include <cstdio>

static constexpr const char MODULE_NAME[] = "main";
// The shell's loops are the program's main code rather than procedures of
// their own: a failure in them is reported as the module's top-level code.
static constexpr const char MAIN_CODE[] = "{MODLEVEL}";

// --- shared state -------------------------------------------------------------

int view_width = 0, view_height = 0;
int score = 0, eggs_taken = 0, egg_total = 0;
int swans_active = 1, duck_active = 0;
Table<Image*, 5> shell_images = {};
Table<std::string, 21> title_lines;

const HitBox player_box = {6, 0, 20, 31};
const HitBox duck_body_box = {9, 39, 45, 24};
const HitBox duck_head_box_right = {38, 17, 25, 22};
const HitBox duck_head_box_left = {1, 17, 25, 22};

int lives = START_LIVES;
int lives_unlimited = 0;
void (*title_editor)() = nullptr;
int practice_level = 0;
int level = 1;
int level_file = 1;
int dead = 0;
int time_left = LEVEL_TIME;
int time_tick = 0;
int quit_code = 0;
int high_score = 0;
int drawing_on = 1;
const char VERSION_TEXT[] = "Clovenfeld Returns 0.5";

const char WEB_ADDRESS[] = "clovenfeld.example.org";
const char WINDOW_TITLE[] = "Clovenfeld Returns [Version 0.5 (2026)] clovenfeld.example.org";

namespace {

constexpr uint32_t COLOR_BLACK = 0xFF000000u;
constexpr uint32_t COLOR_MAGENTA = 0xFFFF00FFu;
constexpr uint32_t COLOR_YELLOW = 0xFFFFFF00u;
// The time units left when the warning beeps begin.
constexpr int TIME_LOW_UNITS = 50;

// Sprite files of shell_images entries 1 to 4 (entry 0 stays black).
constexpr const char* SHELL_IMAGE_FILES[5] = {
    nullptr, "gfx\\block.bmp", "gfx\\moving.bmp", "gfx\\swan-r1.bmp", "gfx\\swan-l1.bmp",
};

// Announces "<prefix><n>" without building a string on the heap.
void announce_number(const char* prefix, int n)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%d", prefix, n);
    announce_event(buffer);
}

} // namespace

// --- start-up -------------------------------------------------------------------

void SHELL_STARTUP()
{
    PROC(MAIN_CODE);
    // The swan table exists before anything of the shell runs.
    SWANS_CREATE_TABLE();
    set_state_reporter(report_state);
    set_spots_reporter(report_spots);

    uint32_t seed = 0;
    seed_random(run_seed(&seed) ? static_cast<double>(seed) : clock_seconds());
    MAP_CREATE_TABLE();
    set_window_title(WINDOW_TITLE);
    CHECK(open_screen(18, 32, 2, 0, 0));
    int depth = 0;
    screen_size(&view_width, &view_height, &depth);
    set_pages(0, 1);

    for (int i = 0; i < shell_images.size(); i++) {
        shell_images[i] = create_image(32, 32, COLOR_BLACK);
        if (i >= 1) CHECK(load_bitmap(SHELL_IMAGE_FILES[i], shell_images[i]));
    }

    MAP_INIT();
    SWANS_INIT();
    DUCK_INIT();
    PLAYER_INIT();
}

void FILL_TITLE_LINES()
{
    PROC(MAIN_CODE);
    char high[32];
    std::snprintf(high, sizeof high, "High Score : %d", high_score);
    title_lines[0] = "Clovenfeld Returns";
    title_lines[1] = "Version 0.5 (2026)";
    title_lines[2] = "by Varnel";
    title_lines[3] = "";
    title_lines[4] = "Controls";
    title_lines[5] = "Arrows  - Move";
    title_lines[6] = "";
    title_lines[7] = high;
    title_lines[8] = "";
    title_lines[9] = "Press [Space] to Start";
    title_lines[10] = "Press [Escape] to Quit";
    title_lines[11] = WEB_ADDRESS;
}

// --- a game ---------------------------------------------------------------------

void NEW_GAME()
{
    PROC(MAIN_CODE);
    // The assists that change play are taken as the game starts.
    lives = play_assists.lives > 0 ? play_assists.lives : START_LIVES;
    lives_unlimited = play_assists.lives == ASSIST_LIVES_UNLIMITED ? 1 : 0;
    ladder_help = play_assists.ladder_help ? 1 : 0;
    level = 1;
    level_file = 1;
    duck_active = 0;
    swans_active = 1;
    dead = 0;
    score = 0;
}

void LEVEL_START()
{
    PROC(MAIN_CODE);
    MAP_LOAD(level_file);
    egg_total = MAP_EGGS();

    lock_screen();
    set_color(0, COLOR_BLACK, KEEP_FOREGROUND);
    clear_screen();
    MAP_DRAW();
    MAP_SMALL();
    unlock_screen();

    char text[32];
    std::snprintf(text, sizeof text, "Level %d", level);
    play_sound(SOUND_LEVEL_START, 320);
    INFOBOX(text);

    time_left = LEVEL_TIME;
    time_tick = 0;
    eggs_taken = 0;
    quit_code = 0;
    announce_number("level:", level);
}

int SWANS_HIT()
{
    PROC(MAIN_CODE);
    for (int i = 0; i < swans.size(); i++) {
        const Swan& s = swans[i];
        if (s.active != 1) continue;
        const int sx = s.col * 32 + s.sub_x + scroll_x;
        const int sy = s.row * 32 + s.sub_y + scroll_y;
        if (COLLIDE3(player_x, player_y, sx, sy, player_box, player_box) >= 1) return 1;
    }
    return 0;
}

int DUCK_HIT()
{
    PROC(MAIN_CODE);
    const int ux = duck_x + scroll_x;
    const int uy = duck_y + scroll_y;
    const HitBox& head = duck_dir == 1 ? duck_head_box_right : duck_head_box_left;
    int hit = 0;
    if (COLLIDE3(player_x, player_y, ux, uy, player_box, head) >= 1) hit = 1;
    if (COLLIDE3(player_x, player_y, ux, uy, player_box, duck_body_box) >= 1) hit = 1;
    return hit;
}

int OFF_SCREEN()
{
    PROC(MAIN_CODE);
    return (player_y > view_height || player_y <= -32) ? 1 : 0;
}

void DRAW_HUD()
{
    PROC(MAIN_CODE);
    char value[32];
    set_color(COLOR_MAGENTA, 0, KEEP_BACKGROUND);
    CHECK(draw_text(10, 0, "SCORE:"));
    CHECK(draw_text(120, 0, "TIME:"));
    CHECK(draw_text(220, 0, "LEVEL:"));
    CHECK(draw_text(300, 0, "LIVES:"));
    CHECK(draw_text(400, 0, "EGGS:"));

    set_color(COLOR_YELLOW, 0, KEEP_BACKGROUND);
    std::snprintf(value, sizeof value, "%d", score);
    CHECK(draw_text(60, 0, value));
    std::snprintf(value, sizeof value, "%d", time_left);
    CHECK(draw_text(170, 0, value));
    std::snprintf(value, sizeof value, "%d", level);
    CHECK(draw_text(270, 0, value));
    std::snprintf(value, sizeof value, "%d", lives);
    CHECK(draw_text(350, 0, value));
    std::snprintf(value, sizeof value, "%d/%d", eggs_taken, egg_total);
    CHECK(draw_text(450, 0, value));
}

int PLAY_FRAME()
{
    PROC(MAIN_CODE);
    // 1-5: move the world, then build the picture on the work page.
    MAP_UPDATE();
    PLAYER_UPDATE();
    if (drawing_on) {
        clear_screen();
        MAP_DRAW();
        PLAYER_DRAW();
    }

    // 6: Escape ends the game, but this frame still runs to its end.
    if (key_down(KEY_ESCAPE)) quit_code = 1;

    // 7-10: the enemies and the screen edges.
    if (swans_active == 1) {
        SWANS_MOVE();
        if (drawing_on) SWANS_DRAW();
        if (SWANS_HIT()) dead = 1;
    }
    DUCK_UPDATE();
    if (drawing_on) DUCK_DRAW();
    if (duck_active == 1 && DUCK_HIT()) dead = 1;
    // A touch and a fall off the screen sound different (one sound a life).
    if (dead == 1) play_sound(SOUND_LIFE_LOST, player_x + 16);
    if (OFF_SCREEN()) {
        if (dead == 0) play_sound(SOUND_FALL, player_x + 16);
        dead = 1;
    }

    // 11: a life lost.  The last life resets nothing: the game is over.
    if (dead == 1) {
        if (lives_unlimited == 0) lives = lives - 1;
        if (lives > 0) {
            INFOBOX("You lost a life!");
            dead = 0;
            SWANS_RESET();
            DUCK_RESET();
            PLAYER_RESET();
        }
    }

    // 12-15: the HUD, the overview, the screenshot key and the frame's wait.
    if (drawing_on) {
        DRAW_HUD();
        MAP_SMALL();
    }
    if (read_key() == "s") {
        // A shot that cannot be written anywhere is said, and play goes on.
        char where[SHOT_PATH_CHARS];
        save_screenshot(where);
    }
    CHECK(sleep_ms(FRAME_WAIT_MS));

    // 16: one time unit every 50 frames.
    time_tick = time_tick + 1;
    if (time_tick >= FRAMES_PER_TIME_UNIT) {
        if (time_left > 0) time_left = time_left - 1;
        time_tick = 0;
        // The last 50 units beep, more and more often: every 5 units, then
        // every 2 from 20, then every unit from 10.
        const int every = time_left > 20 ? 5 : time_left > 10 ? 2 : 1;
        if (time_left > 0 && time_left <= TIME_LOW_UNITS && time_left % every == 0)
            play_sound(SOUND_TIME_LOW, 320);
    }

    // 17: Time Up costs a life; with lives left the level starts over, its
    // eggs back on the map and the egg count back at 0 to match.
    if (time_left == 0) {
        time_left = LEVEL_TIME;
        if (lives_unlimited == 0) lives = lives - 1;
        play_sound(SOUND_TIME_UP, 320);
        INFOBOX("Time Up!");
        if (lives > 0) {
            if (drawing_on) clear_screen();
            SWANS_CLEAR();
            MAP_LOAD(level_file);
            if (drawing_on) MAP_DRAW();
            eggs_taken = 0;
        }
    }

    // 18-19: no lives left ends the game, even in the frame that takes the
    // last egg; otherwise taking the last egg completes the level.
    if (lives <= 0) {
        quit_code = 1;
    } else if (eggs_taken == egg_total) {
        quit_code = 2;
        if (level != LAST_LEVEL) play_sound(SOUND_LEVEL_CLEAR, 320);
    }

    // 20: show the finished frame.
    if (drawing_on) show_page();
    return quit_code;
}

void LEVEL_END()
{
    PROC(MAIN_CODE);
    if (quit_code != 2) return;
    if (level == LAST_LEVEL) {
        score = score + time_left;
        play_sound(SOUND_ALL_COMPLETED, 320);
        INFOBOX("All levels completed!");
        quit_code = 1;
        return;
    }
    level = level + 1;
    level_file = level_file + 1;
    if (level_file > LEVEL_FILES) level_file = 1;
    if (level == 9 || level == 18) {
        lives = lives + 1;
        play_sound(SOUND_EXTRA_LIFE, 320);
    }
    // The first level where the duck leaves its cage.
    if (level == 10) play_sound(SOUND_DUCK_FREE, 320);
    if (level > 9) {
        swans_active = 0;
        duck_active = 1;
    }
    if (level > 18) {
        swans_active = 1;
        duck_active = 1;
    }
    score = score + time_left;
    // The score the finished level leaves, for those who cannot see the HUD.
    announce_number("score:", score);
}

void GAME_OVER_BOXES()
{
    PROC(MAIN_CODE);
    if (lives <= 0) {
        play_sound(SOUND_GAME_OVER, 320);
        INFOBOX("Game Over");
    }
    char text[40];
    std::snprintf(text, sizeof text, "Final Score: %d", score);
    INFOBOX(text);
    if (score > high_score) high_score = score;
}

// A practice game: the level chosen, as a new game put at it, played until
// it is completed or the lives are gone; a box says its score and the title
// comes back.  The title's high score is a whole game's: practice leaves it.
void PLAY_PRACTICE()
{
    PROC(MAIN_CODE);
    const int n = practice_level;
    practice_level = 0;
    level = n;
    level_file = LEVEL_FILE_OF(n);
    swans_active = SWANS_ON_AT(n);
    duck_active = DUCK_FREE_AT(n);
    LEVEL_START();
    while (PLAY_FRAME() == 0) {
    }
    char text[48];
    if (quit_code == 2) {
        score = score + time_left;
        announce_number("score:", score);
        play_sound(SOUND_ALL_COMPLETED, 320);
        std::snprintf(text, sizeof text, "Level %d done: %d", n, score);
    } else {
        if (lives <= 0) {
            play_sound(SOUND_GAME_OVER, 320);
            INFOBOX("Game Over");
        }
        std::snprintf(text, sizeof text, "Level %d score: %d", n, score);
    }
    INFOBOX(text);
}

void PLAY_GAME()
{
    PROC(MAIN_CODE);
    NEW_GAME();
    if (practice_level > 0) {
        PLAY_PRACTICE();
        return;
    }
    do {
        LEVEL_START();
        while (PLAY_FRAME() == 0) {
        }
        LEVEL_END();
    } while (quit_code != 1);
    GAME_OVER_BOXES();
}

int GAME_MAIN()
{
    reset_procedure_context();
    PROC(MAIN_CODE);
    SHELL_STARTUP();
    for (;;) {
        FILL_TITLE_LINES();
        TITLE();
        PLAY_GAME();
    }
}
