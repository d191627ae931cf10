// viewer.h -- watching a recording in a window (--watch) or on the browser
// page (its Watch): pause, one tick forward, speeds from half to eight times,
// skip to the next level, and a thin progress line that the presenter draws
// over the picture, never into the game's pages.  The recording's input
// drives the game as in a headless replay; the viewer only decides when the
// next tick may pass, so every picture shown is the replay's own.
//
// Actions come on the window's thread (keys, pad buttons, the page's
// buttons); the game thread asks before each tick whether it may pass.  The
// state is atomic, so either side may read it at any moment.
#pragma once

#include <cstdint>

enum ViewerAction {
    VIEW_NONE,
    VIEW_PAUSE,      // pause, or go on
    VIEW_STEP,       // one tick forward (pauses first)
    VIEW_SLOWER,     // the next speed down (to half speed)
    VIEW_FASTER,     // the next speed up (to eight times)
    VIEW_NEXT_LEVEL, // run without waiting to the start of the next level
    VIEW_HIDE,       // the progress line off or on
    VIEW_CLOSE,      // stop watching: the program ends
};

// The speeds, as twice the rate of play: 1 (half speed), 2, 4, 8, 16.
enum { VIEWER_SPEEDS = 5, VIEWER_NORMAL_SPEED = 1 };
extern const int VIEWER_SPEED_X2[VIEWER_SPEEDS];

// The keys, as --help and the page list them.
extern const char VIEWER_KEYS_TEXT[];

// Watching starts: a recording of total ticks, at normal speed, playing.
// With hold_at_end the last picture stays when the recording runs out, until
// the viewer is closed (a window); without, the run ends there (the page).
void viewer_start(long long total, bool hold_at_end);
// Watching is over (tests).
void viewer_stop();
bool viewer_on();

// The action of a key (HID usage) pressed while watching: Space or P pause,
// Right arrow or . step, Up or + faster, Down or - slower, N or Page Down the
// next level, H the progress line, Esc or Q close.  Any other key: none.
ViewerAction viewer_key_action(int usage);
// The action of a pad button (PadButton): Start pauses, A or D-pad right
// steps, D-pad up and down change the speed, Y the next level, Back closes.
ViewerAction viewer_pad_action(int button);
// Does it.  VIEW_CLOSE only says so (the caller ends the run).  True when
// the picture shown is to be drawn again.
bool viewer_act(ViewerAction action);

// --- the game thread, around each tick ----------------------------------------------
// How long a tick of ms milliseconds waits at the speed chosen, in
// microseconds; none while skipping to the next level.
long long viewer_wait_us(int ms);
// True when the next tick may pass now: playing, or a step was asked for
// (which this takes); never after the end, or after VIEW_CLOSE.
bool viewer_take_tick();
bool viewer_skipping();
bool viewer_paused();
// The ticks shown so far (run control, after each tick).
void viewer_note_tick(long long tick);
// An event the game announced: a level's start or the title ends a skip.
void viewer_note_event(const char* name);
// The recording ran out.  True when the viewer holds the last picture (the
// run waits to be closed); false when the run is to end now.
bool viewer_note_end();
bool viewer_closed();

// --- what the presenter shows -----------------------------------------------------------
struct ViewerView {
    long long tick, total;
    int speed_x2;          // VIEWER_SPEED_X2 of the speed chosen
    bool paused, skipping, ended, hidden;
    bool text;             // the line of text shows (paused, skipping, ended, or just after a key)
};
// What the viewer shows at now_ms (banner_clock_ms); returns a number that
// changes whenever the drawing would.
unsigned viewer_view(ViewerView* out, long long now_ms);
// Draws the progress line (and its text when shown) at the foot of a 640 x
// 480 buffer of 0xAARRGGBB pixels: over the picture, or, without
// over_picture, on rows cleared to transparent for a presenter to blend.
void viewer_draw(uint32_t* pixels, int pitch, const ViewerView& view, bool over_picture);
// The line of text, as drawn (code page 437 bytes; at least 80 chars).
void viewer_text(char* out, int size, const ViewerView& view);
