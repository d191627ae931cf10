// snapshot.cpp -- taking and restoring the whole game state with plain copies,
// comparing two states, and putting a new game straight at a chosen level.
// Nothing here allocates: a Snapshot is a fixed record the caller owns.
#include "main/snapshot.h"

#include "actors/duck.h"
#include "actors/player.h"
#include "main/shell.h"
#include "services/screen.h"

#include <array>
#include <cstring>

static constexpr const char MODULE_NAME[] = "main";

namespace {

// The fields a play state and a snapshot share (all a level changes but its
// cells), to or from either record.
template <typename State>
void take_play_fields(State* out)
{
    State& s = *out;
    s.scroll_x = scroll_x;
    s.scroll_y = scroll_y;
    s.player_x = player_x;
    s.player_y = player_y;
    s.player_pose = player_pose;
    s.player_frame = player_frame;
    s.player_step_count = player_step_count;
    s.jump_count = jump_count;
    s.ladder_cell = ladder_cell;
    s.walk_right = walk_right;
    s.walk_left = walk_left;
    s.swans = swans;
    s.swan_count = swan_count;
    s.duck_x = duck_x;
    s.duck_y = duck_y;
    s.duck_dir = duck_dir;
    s.duck_tick = duck_tick;
    s.duck_frame = duck_frame;
    s.score = score;
    s.eggs_taken = eggs_taken;
    s.swans_active = swans_active;
    s.duck_active = duck_active;
    s.lives = lives;
    s.dead = dead;
    s.time_left = time_left;
    s.time_tick = time_tick;
    s.quit_code = quit_code;
    random_get_state(&s.random);
    keyboard_get_state(&s.keyboard);
}

template <typename State>
void restore_play_fields(const State& s)
{
    scroll_x = s.scroll_x;
    scroll_y = s.scroll_y;
    player_x = s.player_x;
    player_y = s.player_y;
    player_pose = s.player_pose;
    player_frame = s.player_frame;
    player_step_count = s.player_step_count;
    jump_count = s.jump_count;
    ladder_cell = s.ladder_cell;
    walk_right = s.walk_right;
    walk_left = s.walk_left;
    swans = s.swans;
    swan_count = s.swan_count;
    duck_x = s.duck_x;
    duck_y = s.duck_y;
    duck_dir = s.duck_dir;
    duck_tick = s.duck_tick;
    duck_frame = s.duck_frame;
    score = s.score;
    eggs_taken = s.eggs_taken;
    swans_active = s.swans_active;
    duck_active = s.duck_active;
    lives = s.lives;
    dead = s.dead;
    time_left = s.time_left;
    time_tick = s.time_tick;
    quit_code = s.quit_code;
    random_set_state(s.random);
    keyboard_set_state(s.keyboard);
}

} // namespace

void SNAPSHOT_TAKE(Snapshot* out)
{
    PROC("SNAPSHOT_TAKE");
    Snapshot& s = *out;
    s.cells = cells;
    s.level_bytes = level_bytes;
    s.map_width = map_width;
    s.map_height = map_height;
    s.last_cell = last_cell;

    s.start_x = start_x;
    s.start_y = start_y;
    s.start_scroll_x = start_scroll_x;
    s.start_scroll_y = start_scroll_y;
    s.duck_start_x = duck_start_x;
    s.duck_start_y = duck_start_y;
    s.egg_total = egg_total;
    s.level = level;
    s.level_file = level_file;
    s.high_score = high_score;
    take_play_fields(&s);
    s.foreground = foreground_color();
    s.background = background_color();
}

void SNAPSHOT_RESTORE(const Snapshot& s)
{
    PROC("SNAPSHOT_RESTORE");
    cells = s.cells;
    level_bytes = s.level_bytes;
    map_width = s.map_width;
    map_height = s.map_height;
    last_cell = s.last_cell;
    map_cells_changed();

    start_x = s.start_x;
    start_y = s.start_y;
    start_scroll_x = s.start_scroll_x;
    start_scroll_y = s.start_scroll_y;
    duck_start_x = s.duck_start_x;
    duck_start_y = s.duck_start_y;
    egg_total = s.egg_total;
    level = s.level;
    level_file = s.level_file;
    high_score = s.high_score;
    restore_play_fields(s);
    set_color(s.foreground, s.background, 0);
}

namespace {

// Every single-number field of a snapshot, in one list, for comparing.
// Called by SNAPSHOT_SAME.
std::array<int, 43> scalar_fields(const Snapshot& a)
{
    return {a.map_width, a.map_height, a.last_cell, a.scroll_x, a.scroll_y, a.player_x, a.player_y,
            a.start_x, a.start_y, a.start_scroll_x, a.start_scroll_y, a.player_pose, a.player_frame,
            a.player_step_count, a.jump_count, a.ladder_cell, a.walk_right, a.walk_left, a.swan_count,
            a.duck_x, a.duck_y, a.duck_start_x, a.duck_start_y, a.duck_dir, a.duck_tick, a.duck_frame,
            a.score, a.eggs_taken, a.egg_total, a.swans_active, a.duck_active, a.lives, a.level,
            a.level_file, a.dead, a.time_left, a.time_tick, a.quit_code, a.high_score,
            a.random.index, a.random.seeded ? 1 : 0,
            static_cast<int>(a.foreground), static_cast<int>(a.background)};
}

} // namespace

int SNAPSHOT_SAME(const Snapshot& a, const Snapshot& b)
{
    PROC("SNAPSHOT_SAME");
    // The tables hold only int fields, so their bytes compare exactly.
    if (std::memcmp(&a.cells, &b.cells, sizeof a.cells) != 0) return 0;
    if (std::memcmp(&a.level_bytes, &b.level_bytes, sizeof a.level_bytes) != 0) return 0;
    if (std::memcmp(&a.swans, &b.swans, sizeof a.swans) != 0) return 0;
    if (scalar_fields(a) != scalar_fields(b)) return 0;
    if (std::memcmp(a.random.word, b.random.word, sizeof a.random.word) != 0) return 0;
    if (std::memcmp(a.keyboard.held, b.keyboard.held, sizeof a.keyboard.held) != 0) return 0;
    // Only the waiting keys of the queue matter, not where the ring stands.
    const int ring = 16;
    const int waiting_a = ((a.keyboard.write - a.keyboard.read) % ring + ring) % ring;
    const int waiting_b = ((b.keyboard.write - b.keyboard.read) % ring + ring) % ring;
    if (waiting_a != waiting_b) return 0;
    for (int k = 0; k < waiting_a; k++) {
        const int ia = (((a.keyboard.read + k) % ring) + ring) % ring;
        const int ib = (((b.keyboard.read + k) % ring) + ring) % ring;
        if (a.keyboard.queue[ia] != b.keyboard.queue[ib]) return 0;
    }
    return 1;
}

// --- play states ----------------------------------------------------------------

int play_cell_count = 0;
Table<int, CELL_TABLE_SIZE> play_cells;

void PLAY_STATE_MARK()
{
    PROC("PLAY_STATE_MARK");
    play_cell_count = 0;
    const int last = last_cell < cells.size() - 1 ? last_cell : cells.size() - 1;
    for (int i = 0; i <= last; i++) {
        const int code = cells[i].code;
        if (code == CELL_EGG || code == CELL_SEED || code == CELL_LIFT_V || code == CELL_LIFT_H)
            play_cells[play_cell_count++] = i;
    }
}

int PLAY_STATE_BYTES()
{
    PROC("PLAY_STATE_BYTES");
    const size_t bytes = sizeof(PlayState) + sizeof(PlayCell) * static_cast<size_t>(play_cell_count);
    // Whole records of the fixed part, so states laid end to end stay aligned.
    return static_cast<int>((bytes + alignof(PlayState) - 1) / alignof(PlayState) * alignof(PlayState));
}

void PLAY_STATE_TAKE(unsigned char* out)
{
    PROC("PLAY_STATE_TAKE");
    take_play_fields(reinterpret_cast<PlayState*>(out));
    PlayCell* changing = reinterpret_cast<PlayCell*>(out + sizeof(PlayState));
    for (int k = 0; k < play_cell_count; k++) {
        const MapCell& c = cells[play_cells[k]];
        changing[k] = PlayCell{c.code, c.x, c.y, c.dx, c.dy};
    }
}

void PLAY_STATE_RESTORE(const unsigned char* in)
{
    PROC("PLAY_STATE_RESTORE");
    restore_play_fields(*reinterpret_cast<const PlayState*>(in));
    const PlayCell* changing = reinterpret_cast<const PlayCell*>(in + sizeof(PlayState));
    for (int k = 0; k < play_cell_count; k++) {
        MapCell& c = cells[play_cells[k]];
        const PlayCell& p = changing[k];
        const int old_code = c.code;
        c.code = p.code;
        c.x = p.x;
        c.y = p.y;
        c.dx = p.dx;
        c.dy = p.dy;
        map_code_changed(play_cells[k], old_code, p.code);
    }
}

int LEVEL_FILE_OF(int level_number)
{
    PROC("LEVEL_FILE_OF");
    const int m = (level_number - 1) % LEVEL_FILES;
    return (m < 0 ? m + LEVEL_FILES : m) + 1;
}

int SWANS_ON_AT(int level_number)
{
    PROC("SWANS_ON_AT");
    return (level_number <= 9 || level_number > 18) ? 1 : 0;
}

int DUCK_FREE_AT(int level_number)
{
    PROC("DUCK_FREE_AT");
    return level_number > 9 ? 1 : 0;
}

void LEVEL_SETUP(int level_number, uint32_t seed)
{
    PROC("LEVEL_SETUP");
    set_state_reporter(report_state);
    set_spots_reporter(report_spots);
    NEW_GAME();
    // The swan table as a process of its own finds it: a level's load keeps
    // the places of the slots it does not fill, which the state hash sees.
    SWANS_CREATE_TABLE();
    level = level_number;
    level_file = LEVEL_FILE_OF(level_number);
    swans_active = SWANS_ON_AT(level_number);
    duck_active = DUCK_FREE_AT(level_number);
    duck_dir = duck_tick = duck_frame = 0;
    player_pose = player_frame = player_step_count = jump_count = 0;
    seed_random(static_cast<double>(seed));
    keyboard_reset();
}

void PLAY_LEVEL_ALONE(int level_number, uint32_t seed)
{
    PROC("PLAY_LEVEL_ALONE");
    LEVEL_SETUP(level_number, seed);
    LEVEL_START();
    const int lives_before = lives;
    while (quit_code == 0 && lives == lives_before) PLAY_FRAME();
}

// --- the state hash ---------------------------------------------------------------

namespace {

struct StateMix {
    uint64_t h = 1469598103934665603ull;
    void add(uint64_t v)
    {
        h = (h ^ v) * 1099511628211ull;
        h ^= h >> 31;
    }
    void add_int(int v) { add(static_cast<uint64_t>(static_cast<int64_t>(v))); }
};

} // namespace

int report_spots(MapSpot* out, int max)
{
    int n = 0;
    if (swans_active != 0)
        for (int i = 0; i < swans.size() && n < max; i++) {
            const Swan& s = swans.entry[i];
            if (s.active == 0) continue;
            out[n++] = MapSpot{SMALL_LEFT + ((32 * s.col + s.sub_x) >> 4), SMALL_TOP + ((32 * s.row + s.sub_y) >> 4), 0};
        }
    if (duck_active != 0 && n < max) out[n++] = MapSpot{SMALL_LEFT + (duck_x >> 4), SMALL_TOP + (duck_y >> 4), 1};
    return n;
}

void report_state(GameState* out)
{
    *out = GameState{STATE_HASH(), score, eggs_taken, lives, level, GAME_BEHAVIOUR, VERSION_TEXT};
}

uint64_t STATE_HASH()
{
    PROC("STATE_HASH");
    StateMix m;
    for (const int v : {level, level_file, scroll_x, scroll_y, player_x, player_y, player_pose, player_frame,
                        player_step_count, jump_count, ladder_cell, walk_right, walk_left, swan_count, duck_x,
                        duck_y, duck_dir, duck_tick, duck_frame, score, eggs_taken, swans_active, duck_active,
                        lives, dead, time_left, time_tick, quit_code})
        m.add_int(v);
    for (int i = 0; i < swans.size(); i++) {
        const Swan& s = swans.entry[i];
        for (const int v : {s.active, s.col, s.row, s.start_col, s.start_row, s.sub_x, s.sub_y, s.dir, s.vdir,
                            s.move_tick, s.frame})
            m.add_int(v);
    }
    const int last = last_cell < cells.size() - 1 ? last_cell : cells.size() - 1;
    m.add_int(last);
    for (int k = 0; k <= last; k++) {
        const MapCell& c = cells.entry[k];
        for (const int v : {c.code, c.x, c.y, c.dx, c.dy}) m.add_int(v);
    }
    RandomState r;
    random_get_state(&r);
    for (const uint32_t w : r.word) m.add(w);
    m.add_int(r.index);
    m.add_int(r.seeded ? 1 : 0);
    return m.h;
}
