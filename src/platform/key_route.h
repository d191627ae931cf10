// key_route.h -- where a key pressed in a window goes: to the window itself
// (fullscreen, mute, pause), to the pause menu while paused, or to the game.
// One rule for every window back-end (SDL, Win32), so a key does the same
// wherever it is pressed.  Pure: the back-end does what the answer says.
#pragma once

enum KeyRoute {
    ROUTE_GAME,       // the key map: the game's keys (presses and every release)
    ROUTE_FULLSCREEN, // toggle fullscreen
    ROUTE_MUTE,       // toggle the sound
    ROUTE_PAUSE,      // pause
    ROUTE_MENU,       // the pause menu's (pause_menu_key in overlay.h)
    ROUTE_NONE,       // nothing: an auto-repeat, or the release of a window key
};

// A key (HID usage) went down or up.  mods are the KEYMOD_* flags; repeat is
// an auto-repeated press.  While paused every press but Alt+Enter is the
// menu's (the menu answers F11, M and P itself), so each press acts once.
// Alt+Enter (Enter or keypad Enter) toggles fullscreen at any moment; its
// Enter's repeats and release go nowhere even when Alt was let go first.
KeyRoute key_route(int usage, bool down, bool repeat, int mods, bool paused);
// Forgets the Enter held as Alt+Enter (the focus moved, a new window).
void key_route_reset();
