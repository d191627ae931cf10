// keymap.h -- the live feed: a back-end's key, text and gamepad events turned
// into what the game sees, the same for every back-end.
//
// A key arrives as its HID usage and the modifier keys held with it
// (keycodes.h).  It holds its PC set-1 scan code in the held-key table and
// queues what a PC keyboard would type; a key bound to a game key (bindings.h)
// acts exactly as that key, and an inert one does nothing.  Typed text is
// queued as code page 437 characters.  Gamepad buttons and stick directions
// become the game keys their bindings name and take the same path, so a
// recording cannot tell a pad from keys.  Everything reaches the game through
// input_event (run.h).
//
// Owns the pads' state (a few bit masks) and whether the next text event is
// a bound key's own character to drop, both kept by the back-end's input
// thread: the procedures here are that thread's.
#pragma once

#include "platform/bindings.h"
#include "platform/keycodes.h"

// --- keys and text -------------------------------------------------------------

// A key went down (auto-repeat included) or up.
void keymap_key_down(int usage, int mods);
void keymap_key_up(int usage);
// Typed text (UTF-8): each character with a code page 437 value is queued;
// malformed sequences are skipped.  The text that follows the key-down of a
// bound or inert key is that key's own character and is dropped.
void keymap_text(const char* utf8);

// --- gamepads ------------------------------------------------------------------

enum { KEYMAP_MAX_PADS = 8 };
enum PadAxis { PAD_LEFT_X, PAD_LEFT_Y, PAD_OTHER_AXIS };
// Stick values run from -32768 to 32767.  A direction is pressed beyond
// PAD_PRESS_AT and released inside PAD_RELEASE_AT, so a stick resting near
// the edge of the dead zone does not chatter.
enum { PAD_PRESS_AT = 16000, PAD_RELEASE_AT = 12000 };

// Pad `pad` (0 .. KEYMAP_MAX_PADS - 1; others are ignored) reports a button
// (PadButton, bindings.h) or a stick axis.  The stick acts as the arrow keys;
// each button acts as the action the bindings give it.  A key stays held
// while any pad input holds it, and each press queues what the key would
// type.  keymap_pad_button returns the window action (BIND_PAUSE, BIND_MUTE,
// BIND_FULLSCREEN) of a button bound to one that went down, else BIND_NONE;
// the back-end acts on it.
int keymap_pad_button(int pad, int button, bool down);
void keymap_pad_axis(int pad, int axis, int value);
// The pad went away: everything it held is released.
void keymap_pad_removed(int pad);
// Forgets every pad's state and a pending dropped character (focus changes
// and tests).
void keymap_pads_reset();
