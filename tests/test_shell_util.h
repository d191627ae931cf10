// test_shell_util.h -- helpers for the shell's tests: a headless run that is
// started once per test process, key hooks that answer the boxes, a log of
// announced events, level files written on the fly and glyph checks on the
// work page.
#pragma once

#include "actors/player.h"
#include "headless_driver.h"
#include "services/image.h"
#include "services/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace shell_test {

namespace fs = std::filesystem;

// What the tick hook does at every tick of the headless back-end.
inline bool press_space = true;     // queue a Space press
inline bool hold_escape = false;    // keep Escape held
inline long quiet_until_tick = -1;  // no Space press before this tick
inline int extra_key = 0;           // queued at every tick as well, if nonzero
inline std::vector<std::string> events;
// Called for every announced event after it is logged (may be null).
inline void (*on_event)(const char* name) = nullptr;

inline void tick_hook(long tick)
{
    if (extra_key != 0) keyboard_queue(extra_key);
    if (press_space && tick >= quiet_until_tick) keyboard_queue(' ');
    if (hold_escape) keyboard_set_held(KEY_ESCAPE, true);
}

inline void event_hook(const char* name)
{
    events.emplace_back(name);
    if (on_event != nullptr) on_event(name);
}

// Keys for frame i of a fixed, busy pattern: walking both ways, jumps, climbs.
inline void hold_pattern(int i)
{
    keyboard_clear_held();
    const int phase = (i / 40) % 6;
    if (phase == 0 || phase == 3) keyboard_set_held(KEY_RIGHT, true);
    if (phase == 1 || phase == 4) keyboard_set_held(KEY_LEFT, true);
    if (phase == 2 || i % 7 == 0) keyboard_set_held(KEY_UP, true);
    if (phase == 5) keyboard_set_held(KEY_DOWN, true);
}

inline bool saw(const std::string& name)
{
    for (const auto& e : events)
        if (e == name) return true;
    return false;
}

inline int count(const std::string& name)
{
    int n = 0;
    for (const auto& e : events)
        if (e == name) n++;
    return n;
}

// Writes levels/<n>.bmp in the current directory from rows of text, top row
// first: '.' empty, '#' block, 'S' swan, '+' seed, 'H' ladder, 'P' player,
// 'D' duck, 'e' egg, 'V' vertical lift, 'L' horizontal lift.
inline void write_level(int n, const std::vector<std::string>& rows)
{
    const int w = static_cast<int>(rows[0].size());
    const int h = static_cast<int>(rows.size());
    std::vector<uint8_t> bytes(54, 0);
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; i++) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54 + w * h);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    bytes[26] = 1;
    bytes[28] = 8;
    const std::string codes = ".#S+HPDeVL";
    for (int r = h - 1; r >= 0; r--) // stored bottom row first
        for (char c : rows[r]) bytes.push_back(static_cast<uint8_t>(codes.find(c)));
    fs::create_directories("levels");
    std::ofstream out("levels/" + std::to_string(n) + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// A quiet level: the player stands on a floor at (288, 224) with no scrolling,
// and two eggs sit walled in where nobody reaches them.
inline std::vector<std::string> still_level()
{
    std::vector<std::string> rows(15, std::string(40, '.'));
    rows[1].replace(29, 5, "#####");
    rows[2].replace(29, 5, "#e.e#");
    rows[3].replace(29, 5, "#####");
    rows[7][9] = 'P';
    rows[8] = std::string(40, '#');
    return rows;
}

// Low 24 bits of a work page pixel.
inline uint32_t pixel(int x, int y)
{
    return work_page()->row(y)[x] & 0xFFFFFFu;
}

// Checks that text drawn at (x, y) in colour rgb is on the work page: every
// set bit of every glyph has that colour and no clear bit has it.
inline ::testing::AssertionResult text_at(const char* text, int x, int y, uint32_t rgb)
{
    const int n = static_cast<int>(std::strlen(text));
    for (int i = 0; i < n; i++) {
        const uint8_t* g = font_glyph(static_cast<uint8_t>(text[i]));
        for (int r = 0; r < 16; r++)
            for (int b = 0; b < 8; b++) {
                const bool set = (g[r] >> (7 - b)) & 1;
                const int px = x + 8 * i + b, py = y + r;
                const uint32_t p = pixel(px, py);
                if (set != (p == rgb))
                    return ::testing::AssertionFailure()
                           << "\"" << text << "\" char " << i << " at (" << px << "," << py
                           << "): pixel " << std::hex << p << ", glyph bit " << set;
            }
    }
    return ::testing::AssertionSuccess();
}

// A headless run of the shell with its own working directory.  The shell is
// started once per test process (start-up loads images that live for the
// whole run); each test gets a fresh directory for its level files.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_cwd_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("clovenfeld-shell-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(dir_);

        press_space = true;
        hold_escape = false;
        quiet_until_tick = -1;
        extra_key = 0;
        on_event = nullptr;
        events.clear();
        headless_begin(7, tick_hook, event_hook);
        fs::current_path(GAME_DIR);
        headless_start_shell();
        keyboard_reset();
        fs::current_path(dir_);
        high_score = 0;
    }

    void TearDown() override
    {
        keyboard_reset();
        on_event = nullptr;
        run_reset_for_tests();
        fs::current_path(saved_cwd_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A new game on the quiet level (file 1), after its "Level 1" box.
    void start_still_game()
    {
        write_level(1, still_level());
        NEW_GAME();
        LEVEL_START();
        ASSERT_EQ(egg_total, 2);
        ASSERT_EQ(player_x, 288);
        ASSERT_EQ(player_y, 224);
    }

    fs::path dir_;
    fs::path saved_cwd_;
    static inline int counter_ = 0;
};

} // namespace shell_test
