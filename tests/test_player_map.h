// test_player_map.h -- small hand-made maps for the player's tests: fills the
// cell table straight from rows of characters, places the player in map
// pixels and steps frames with chosen arrow keys held.
#pragma once

#include "actors/player.h"
#include "main/shell.h"
#include "map/map.h"
#include "services/keyboard.h"
#include "services/screen.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace player_test {

// '.' empty, '#' block, 'H' ladder, 'e' egg, 's' seed, 'V' vertical lift,
// '-' horizontal lift, '+' the odd code 10.
inline int code_of(char ch) {
    switch (ch) {
    case '#': return CELL_BLOCK;
    case 'H': return CELL_LADDER;
    case 'e': return CELL_EGG;
    case 's': return CELL_SEED;
    case 'V': return CELL_LIFT_V;
    case '-': return CELL_LIFT_H;
    case '+': return 10;
    default: return CELL_EMPTY;
    }
}

// Fills the table like a level load: row-major from entry 0, every later
// entry CELL_NONE.  All rows must have the same length.
inline void build_map(std::initializer_list<const char*> rows) {
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(std::string(*rows.begin()).size());
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    int row = 0;
    for (const char* text : rows) {
        for (int col = 0; col < w; ++col) {
            const int code = code_of(text[col]);
            MapCell cell{code, 32 * col, 32 * row, col, row, 0, 0};
            if (code == CELL_LIFT_V) cell.dy = 1;
            if (code == CELL_LIFT_H) cell.dx = 1;
            cells[row * w + col] = cell;
        }
        ++row;
    }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    map_cells_changed();
}

// A map w wide and h tall with a floor of blocks along the bottom row.
inline void build_floor_map(int w, int h) {
    std::string open(static_cast<size_t>(w), '.');
    std::string floor(static_cast<size_t>(w), '#');
    for (int k = 0; k < CELL_TABLE_SIZE; ++k) cells[k] = MapCell{CELL_NONE, 0, 0, 0, 0, 0, 0};
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const int code = row == h - 1 ? CELL_BLOCK : CELL_EMPTY;
            cells[row * w + col] = MapCell{code, 32 * col, 32 * row, col, row, 0, 0};
        }
    }
    map_width = w;
    map_height = h;
    last_cell = w * h - 1;
    map_cells_changed();
}

// The player's sprite corner in map pixels.
inline int map_px() { return player_x - scroll_x; }
inline int map_py() { return player_y - scroll_y; }

// Puts the sprite's top-left corner at map pixel (mx, my) under the view.
inline void place(int mx, int my, int sx = 0, int sy = 0) {
    scroll_x = sx;
    scroll_y = sy;
    player_x = mx + sx;
    player_y = my + sy;
}

enum Keys { NONE = 0, RIGHT = 1, LEFT = 2, UP = 4, DOWN = 8 };

inline void hold(int keys) {
    keyboard_set_held(KEY_RIGHT, (keys & RIGHT) != 0);
    keyboard_set_held(KEY_LEFT, (keys & LEFT) != 0);
    keyboard_set_held(KEY_UP, (keys & UP) != 0);
    keyboard_set_held(KEY_DOWN, (keys & DOWN) != 0);
}

// Runs n frames of PLAYER_UPDATE with those keys held.
inline void frames(int n, int keys = NONE) {
    hold(keys);
    for (int i = 0; i < n; ++i) PLAYER_UPDATE();
}

// Every test starts with an open headless screen, no keys held and the
// player's counters cleared.
class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen_is_open()) {
            ASSERT_EQ(open_screen(18, 32, 2, 0, 0), 0);
        }
        keyboard_reset();
        player_set_full_scan(false);
        player_pose = 0;
        player_frame = 0;
        player_step_count = 0;
        jump_count = 0;
        ladder_cell = -1;
        score = 0;
        eggs_taken = 0;
    }
    void TearDown() override {
        keyboard_reset();
        player_set_full_scan(false);
    }
};

} // namespace player_test
