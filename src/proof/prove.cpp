// prove.cpp -- the level prover (prove.h).
//
// The search is a beam search.  A generation branches each state of the beam
// by every action (a key set held for MACRO_FRAMES frames, or Left or Right
// alone for two), drops the branches that lost a life, merges branches that
// came to the same place with the same eggs left (the better one stays), and
// keeps the best beam_width by
//
//   100000 a taken egg
//   - 40 a move of the cell graph to the nearest egg left, plus the pixels to
//     the next cell on the way (the body's middle to its centre)
//   - 6 a time the beam stood on this spot (8 x 8 pixels) with these eggs left
//   - 50000 a time the search was cornered in this cell with these eggs left,
//
// at most one, two or three in a cell with the same eggs left (below), so one
// swan or the duck cannot catch the whole beam.  The free duck is not ranked against: it is
// slow and follows the player, so the quickest way through the eggs is the
// safest (keeping away from it made the plans slower, and the duck caught
// up in the end).  All states of a generation have played the
// same number of frames, so the swans, which do not heed the player, stand
// alike in all of them.  Every few generations the beam is kept.  When every
// branch is lost, the cells the beam stood in over its last
// DANGER_GENERATIONS generations count as corners, and the search goes back
// to a kept beam FIRST_RETREAT generations earlier, twice as far each time it
// is cornered again before getting further; back at the start RESTARTS times,
// it starts again with a beam twice as wide.  Three such searches, keeping
// one, two or three states a cell, take turns of a number of frames that
// triples each turn (the first of them, chosen by the level's enemies, four
// times as long as the others), each going on where it stopped.  The found
// plan is played once more from the level's start before it is called
// proven.
#include "proof/prove.h"

#include "actors/player.h"
#include "main/shell.h"
#include "main/snapshot.h"
#include "map/map.h"
#include "port/platform.h"
#include "proof/reach.h"
#include "services/clock.h"
#include "services/game_events.h"
#include "services/keyboard.h"
#include "sound/sound_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

static constexpr const char MODULE_NAME[] = "prove";

// --- shared state ----------------------------------------------------------

int proof_answer = PROOF_UNDECIDED;
int proof_frame_count = 0;
Table<unsigned char, PROOF_FRAMES_MAX> proof_keys;
int proof_score = 0;
long long proof_frames_searched = 0;
double proof_seconds = 0;
int proof_lost_col = -1, proof_lost_row = -1;
void (*proof_progress)(double seconds, long long frames_searched) = nullptr;

// --- module state ----------------------------------------------------------

namespace {

constexpr int MACRO_FRAMES = 8;
constexpr int KEY_SETS = 9;
constexpr int ACTIONS = KEY_SETS + 2;
constexpr unsigned char ACTION_KEYS[ACTIONS] = {
    0, PROOF_LEFT, PROOF_RIGHT, PROOF_UP, PROOF_DOWN, PROOF_UP | PROOF_LEFT, PROOF_UP | PROOF_RIGHT,
    PROOF_DOWN | PROOF_LEFT, PROOF_DOWN | PROOF_RIGHT, PROOF_LEFT, PROOF_RIGHT};
constexpr int ACTION_FRAMES[ACTIONS] = {8, 8, 8, 8, 8, 8, 8, 8, 8, 2, 2};

constexpr int FIRST_BEAM = 12;
constexpr int MAX_BEAM = 300;
constexpr int CHECKPOINT_EVERY = 4;   // generations between kept beams, at first
constexpr int KEPT_STATES = 1 << 15;  // at most, for one search's kept beams
constexpr int FIRST_RETREAT = 24; // generations gone back after the first corner
// Times back at the start before the beam widens: once.  A search back at
// the start that is cornered again before getting further goes back to the
// start at once, so the returns cost a pass each: keeping one state a cell,
// levels 23 and 26 took more than 22 and 17 million frames returning four
// times, 12.5 and 9.9 million returning once.
constexpr int RESTARTS = 1;
constexpr int MAX_GENERATIONS = PROOF_FRAMES_MAX / MACRO_FRAMES;
constexpr int DANGER_GENERATIONS = 60;
constexpr long EGG_WORTH = 100000;
constexpr long DANGER_WEIGHT = 50000;
constexpr int SEARCHES = 3;
// The order the searches take turns in, by the level's enemies (swans, the
// duck, both): the order that proved the shipped levels soonest when each
// search was timed alone on all 27.
constexpr int SEARCH_PER_CELL[3][SEARCHES] = {{1, 3, 2}, {3, 1, 2}, {1, 3, 2}};
// The frames the first search of the order plays in its first turn (about
// a second), three times as many each turn after; the others, which find
// the levels it is slow on, play a quarter of that in theirs.  Turns counted
// in frames, not seconds, find the same proof on any machine.
constexpr long long FIRST_SLICE = 1500000;
constexpr int SLICE_GROWTH = 3;
constexpr int FOLLOWER_PART = 4;
long long slice_end = 0; // frames searched at which the running search's turn ends

// The states, each PLAY_STATE_BYTES() long: the branches of a generation,
// then each search's beam and kept beams.  A state is at most 3,732 bytes
// and 20 a changing cell, 36 KB with all 1,601: the pool holds the branches
// and every beam at the widest, with 700 kept states a search or more.
constexpr long POOL_BYTES = 160L << 20;
alignas(16) unsigned char pool[POOL_BYTES];
int stride = 0;

unsigned char* child_state(int i) { return pool + static_cast<long>(i) * stride; }

// Left or Right alone for two frames is the start of Left or Right held for
// eight: the branch is judged and its state kept after those two frames.
constexpr int PREFIX_FRAMES = 2;
static_assert(ACTION_KEYS[KEY_SETS] == ACTION_KEYS[1] && ACTION_KEYS[KEY_SETS + 1] == ACTION_KEYS[2] &&
              ACTION_FRAMES[KEY_SETS] == PREFIX_FRAMES && ACTION_FRAMES[KEY_SETS + 1] == PREFIX_FRAMES &&
              ACTION_FRAMES[1] > PREFIX_FRAMES && ACTION_FRAMES[2] > PREFIX_FRAMES);
struct PrefixState {
    alignas(PlayState) unsigned char bytes[sizeof(PlayState) + sizeof(PlayCell) * CELL_TABLE_SIZE];
};
Table<PrefixState, 2> prefix_states; // after Left, after Right

// The steps of the plans the beam holds: each kept branch, its parent's step
// and the keys it held for how many frames.
struct Step {
    int parent;
    unsigned char keys;
    unsigned char frames;
};
constexpr int STEP_CAPACITY = 1 << 23;
Table<Step, STEP_CAPACITY> steps;
int step_count = 0;

struct Candidate {
    long score;
    int parent; // step of the beam state it grew from (-1: the start)
    unsigned char keys, frames;
    int child;  // its state among the branches
    uint64_t spot, cell;
};
Table<Candidate, MAX_BEAM * ACTIONS> candidates;
int candidate_count = 0;

// Branches merged by place within a generation: open addressing, cleared by
// a stamp.
constexpr int MERGE_SLOTS = 8192;
struct MergeSlot {
    uint64_t key;
    int candidate;
    int stamp;
};
Table<MergeSlot, MERGE_SLOTS> merge;
int merge_stamp = 0;

constexpr int VISIT_SLOTS = 1 << 20;
constexpr int DANGER_SLOTS = 1 << 16;

// The eggs of the level (table indices) and the distance maps by eggs left.
Table<int, CELL_TABLE_SIZE> egg_cells;
int egg_cell_count = 0;
constexpr int DISTANCE_MAPS = 32;
struct DistanceMap {
    uint64_t key;
    bool valid;
    Table<int16_t, REACH_CELLS> moves;
};
Table<DistanceMap, DISTANCE_MAPS> distance_maps;

Snapshot level_start; // the game as PROVE_HERE found it
int lives_at_start = 0;
double deadline = 0;
double search_started = 0; // when PROVE_HERE began, for proof_progress

// --- running frames ----------------------------------------------------------

bool box_answered = false;

int proof_open_window(int, int, const char*) { return 0; }
void proof_set_title(const char*) {}
void proof_present() {}
void proof_close() {}

// Each tick: the key boundary, and a box answered with Space once.
void proof_tick(int) {
    keyboard_tick_boundary();
    if (shell_wait() != SHELL_IN_BOX) {
        box_answered = false;
    } else if (!box_answered) {
        keyboard_queue(' ');
        box_answered = true;
    }
}

const Platform proof_platform = {
    "proof", proof_open_window, proof_set_title, proof_present, proof_tick, proof_close, false, false, nullptr,
};

// What the search puts aside while it runs, and puts back.
struct Quiet {
    const Platform* platform;
    EventListener listener;
    const SoundDevice* sound;
    int drawing;
};

Quiet go_quiet() {
    Quiet q{platform(), event_listener(), sound_device(), drawing_on};
    install_platform(&proof_platform);
    set_event_listener(nullptr);
    sound_set_device(nullptr);
    drawing_on = 0;
    box_answered = false;
    return q;
}

void end_quiet(const Quiet& q) {
    install_platform(q.platform);
    set_event_listener(q.listener);
    sound_set_device(q.sound);
    drawing_on = q.drawing;
}

void hold(unsigned char keys) {
    keyboard_clear_held();
    if (keys & PROOF_LEFT) keyboard_set_held(KEY_LEFT, true);
    if (keys & PROOF_RIGHT) keyboard_set_held(KEY_RIGHT, true);
    if (keys & PROOF_UP) keyboard_set_held(KEY_UP, true);
    if (keys & PROOF_DOWN) keyboard_set_held(KEY_DOWN, true);
}

// One frame with the keys held as they are; false when it cost a life or
// ended the game.  A frame leaves the held keys as it found them.
bool held_frame() {
    PLAY_FRAME();
    proof_frames_searched++;
    return lives == lives_at_start && quit_code != 1;
}

// One frame with these keys.
bool frame(unsigned char keys) {
    hold(keys);
    return held_frame();
}

// --- judging states --------------------------------------------------------------

uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 1099511628211ull; }

// The eggs taken so far, as a hash.
uint64_t eggs_key() {
    uint64_t key = 1469598103934665603ull;
    for (int i = 0; i < egg_cell_count; i++)
        if (cells[egg_cells[i]].code != CELL_EGG) key = mix(key, static_cast<uint64_t>(i + 1));
    return key;
}

const Table<int16_t, REACH_CELLS>& distances(uint64_t key) {
    DistanceMap& m = distance_maps[static_cast<int>(key % DISTANCE_MAPS)];
    if (!m.valid || m.key != key) {
        REACH_EGG_DISTANCES(&m.moves);
        m.key = key;
        m.valid = true;
    }
    return m.moves;
}

// How far the body's middle is from the nearest egg left, in pixels along the
// cell graph.
long egg_distance(uint64_t key) {
    const Table<int16_t, REACH_CELLS>& moves = distances(key);
    const int w = map_width, h = map_height;
    if (w <= 0 || h <= 0 || w * h > REACH_CELLS) return 0;
    const int mx = player_x - scroll_x + 16, my = player_y - scroll_y + 16;
    const int c = mx < 0 ? 0 : (mx >> 5) >= w ? w - 1 : mx >> 5;
    const int r = my < 0 ? 0 : (my >> 5) >= h ? h - 1 : my >> 5;
    const int d = moves[r * w + c];
    if (d >= REACH_FAR) return 1L << 30;
    // Inside the cell: how far to the centre of the best cell next to it (or
    // the egg's own centre once there).
    int best_c = c, best_r = r, best = d;
    if (d > 0)
        for (int dr = -1; dr <= 1; dr++)
            for (int dc = -1; dc <= 1; dc++) {
                const int cc = c + dc, rr = r + dr;
                if (cc < 0 || rr < 0 || cc >= w || rr >= h) continue;
                if (moves[rr * w + cc] < best) best = moves[rr * w + cc], best_c = cc, best_r = rr;
            }
    const int tx = best_c * 32 + 16, ty = best_r * 32 + 16;
    const long dx = tx > mx ? tx - mx : mx - tx, dy = ty > my ? ty - my : my - ty;
    return static_cast<long>(d) * 40 + dx + dy;
}

// --- the plan ------------------------------------------------------------------

// The plan of step s followed by the last action's frames, into proof_keys.
bool write_plan(int s, unsigned char keys, int frames) {
    int total = frames;
    for (int t = s; t >= 0; t = steps[t].parent) total += steps[t].frames;
    if (total > PROOF_FRAMES_MAX) return false;
    proof_frame_count = total;
    int at = total;
    for (int f = 0; f < frames; f++) proof_keys[--at] = keys;
    for (int t = s; t >= 0; t = steps[t].parent)
        for (int f = 0; f < steps[t].frames; f++) proof_keys[--at] = steps[t].keys;
    return true;
}

// --- the search ---------------------------------------------------------------

enum Outcome { FOUND, CORNERED, OUT_OF_TIME };

// The beam of generation gen, kept to come back to.
struct Checkpoint {
    int gen;
    int count;
    int first; // its first state's place among the search's kept states
};
constexpr int CHECKPOINTS = MAX_GENERATIONS + 1;

// One search, kept between its turns: its beam and kept beams (in its part
// of the pool), how often its beam stood on each spot (counted by hash; a
// collision only adds a little penalty), where it was cornered, the cells of
// its last beams (a ring of generations) and where it stands.
struct Search {
    int per_cell;   // beam states in one cell with the same eggs left
    int beam_width, beam_count;
    long region;    // its first state in the pool
    Table<int, MAX_BEAM> beam_step;
    Table<Checkpoint, CHECKPOINTS> checkpoints;
    int checkpoint_count, checkpoint_every, kept_used;
    Table<int, KEPT_STATES> kept_step; // the steps of the kept beams' states
    Table<uint16_t, VISIT_SLOTS> visits;
    Table<int, DANGER_SLOTS> danger;
    Table<uint64_t, DANGER_GENERATIONS * MAX_BEAM> recent;
    Table<int, DANGER_GENERATIONS> recent_count;
    bool started;   // false: it starts (again) from the level's start
    int gen, furthest, retreat, restarts;
};
Table<Search, SEARCHES> searches;
Search* S = nullptr; // the search whose turn it is
int kept_capacity = 0; // states each search keeps for checkpoints
int widest = 0;        // the widest beam the pool holds

unsigned char* beam_state(int i) { return pool + (S->region + i) * stride; }
unsigned char* kept_state(int i) { return pool + (S->region + MAX_BEAM + i) * stride; }

// The cells of the beam over the last generations count as corners.
void count_corners() {
    Search& s = *S;
    for (int g = 0; g < DANGER_GENERATIONS; g++)
        for (int i = 0; i < s.recent_count[g]; i++) {
            const uint64_t cell = s.recent[g * MAX_BEAM + i];
            // Once per cell, however often it appears in the ring.
            bool seen = false;
            for (int h = 0; h < g && !seen; h++)
                for (int j = 0; j < s.recent_count[h] && !seen; j++) seen = s.recent[h * MAX_BEAM + j] == cell;
            for (int j = 0; j < i && !seen; j++) seen = s.recent[g * MAX_BEAM + j] == cell;
            if (!seen) s.danger[static_cast<int>(cell % DANGER_SLOTS)] += 1;
        }
    for (int g = 0; g < DANGER_GENERATIONS; g++) s.recent_count[g] = 0;
}

int merge_find(uint64_t key) {
    for (int i = static_cast<int>(key % MERGE_SLOTS);; i = (i + 1) % MERGE_SLOTS) {
        const MergeSlot& m = merge[i];
        if (m.stamp != merge_stamp) return -1 - i;
        if (m.key == key) return m.candidate;
    }
}

void save_checkpoint(int gen) {
    Search& s = *S;
    if (s.checkpoint_count >= CHECKPOINTS) return;
    if (s.kept_used + s.beam_count > kept_capacity && s.checkpoint_count > 1) {
        // Full: keep every other one (the start stays), and save half as often.
        int kept = 1, used = s.checkpoints[0].count;
        for (int i = 2; i < s.checkpoint_count; i += 2) {
            Checkpoint c = s.checkpoints[i];
            std::memmove(kept_state(used), kept_state(c.first), static_cast<size_t>(c.count) * stride);
            for (int k = 0; k < c.count; k++) s.kept_step[used + k] = s.kept_step[c.first + k];
            c.first = used;
            used += c.count;
            s.checkpoints[kept++] = c;
        }
        s.checkpoint_count = kept;
        s.kept_used = used;
        s.checkpoint_every *= 2;
    }
    if (s.kept_used + s.beam_count > kept_capacity) return;
    s.checkpoints[s.checkpoint_count++] = Checkpoint{gen, s.beam_count, s.kept_used};
    for (int i = 0; i < s.beam_count; i++) {
        std::memcpy(kept_state(s.kept_used + i), beam_state(i), static_cast<size_t>(stride));
        s.kept_step[s.kept_used + i] = s.beam_step[i];
    }
    s.kept_used += s.beam_count;
}

// Back to the latest checkpoint at or before generation gen; returns its generation.
int back_to(int gen) {
    Search& s = *S;
    int i = s.checkpoint_count - 1;
    while (i > 0 && s.checkpoints[i].gen > gen) i--;
    const Checkpoint c = s.checkpoints[i];
    s.checkpoint_count = i + 1;
    s.kept_used = c.first + c.count;
    s.beam_count = c.count;
    for (int k = 0; k < c.count; k++) {
        std::memcpy(beam_state(k), kept_state(c.first + k), static_cast<size_t>(stride));
        s.beam_step[k] = s.kept_step[c.first + k];
    }
    return c.gen;
}

// A branch as the game stands after its frames: its score and hashes.
struct Judged {
    long score;
    uint64_t key, spot, cell;
};

Judged judge() {
    const Search& s = *S;
    const uint64_t eggs = eggs_key();
    const int mx = player_x - scroll_x, my = player_y - scroll_y;
    const uint64_t place = mix(mix(mix(0x9E3779B97F4A7C15ull, static_cast<uint64_t>(mx >> 2)),
                                   static_cast<uint64_t>(my >> 2)),
                               static_cast<uint64_t>(jump_count));
    const uint64_t spot = mix(mix(eggs, static_cast<uint64_t>(mx >> 3)), static_cast<uint64_t>(my >> 3));
    const uint64_t cell =
            mix(mix(eggs ^ 0x5bd1e995u, static_cast<uint64_t>(mx >> 5)), static_cast<uint64_t>(my >> 5));
    const long score = static_cast<long>(eggs_taken) * EGG_WORTH - egg_distance(eggs) -
                       static_cast<long>(s.visits[static_cast<int>(spot % VISIT_SLOTS)]) * 6 -
                       s.danger[static_cast<int>(cell % DANGER_SLOTS)] * DANGER_WEIGHT;
    return Judged{score, place ^ eggs, spot, cell};
}

// A judged branch among the generation's branches, merged with one that came
// to the same place (the better stays).  Its state is the game's (state
// nullptr) or a copy taken when it was judged.
void offer(const Judged& j, int parent, unsigned char keys, int frames, const unsigned char* state) {
    const int found = merge_find(j.key);
    int child;
    if (found >= 0) {
        Candidate& c = candidates[found];
        if (c.score >= j.score) return;
        c.score = j.score;
        c.parent = parent;
        c.keys = keys;
        c.frames = static_cast<unsigned char>(frames);
        child = c.child;
    } else {
        MergeSlot& m = merge[-1 - found];
        m.key = j.key;
        m.candidate = candidate_count;
        m.stamp = merge_stamp;
        child = candidate_count;
        candidates[candidate_count++] =
                Candidate{j.score, parent, keys, static_cast<unsigned char>(frames), child, j.spot, j.cell};
    }
    if (state == nullptr) PLAY_STATE_TAKE(child_state(child));
    else std::memcpy(child_state(child), state, static_cast<size_t>(stride));
}

// The search starts from the level's start.  The first frame holds no key:
// a game that proves the level it has just reached has had to choose the
// keys of that frame during the level's box, before the search.
Outcome start_search() {
    Search& s = *S;
    SNAPSHOT_RESTORE(level_start);
    std::memset(s.visits.entry, 0, sizeof s.visits.entry);
    for (int g = 0; g < DANGER_GENERATIONS; g++) s.recent_count[g] = 0;
    const bool alive = frame(0);
    if (step_count >= STEP_CAPACITY) return OUT_OF_TIME;
    steps[step_count] = Step{-1, 0, 1};
    s.beam_step[0] = step_count++;
    if (!alive) return CORNERED;
    if (quit_code == 2) return write_plan(-1, 0, 1) ? FOUND : CORNERED;
    PLAY_STATE_TAKE(beam_state(0));
    s.beam_count = 1;
    s.checkpoint_count = 0;
    s.kept_used = 0;
    s.checkpoint_every = CHECKPOINT_EVERY;
    s.gen = s.furthest = s.restarts = 0;
    s.retreat = FIRST_RETREAT;
    s.started = true;
    return CORNERED; // nothing found yet
}

// The search whose turn it is goes on until its turn ends (OUT_OF_TIME, to go
// on at the same generation next turn) or it finds a plan.  When every
// branch is lost it goes back some generations (further each time it fails
// again before getting further) and carries on with the corners counted;
// back at the start RESTARTS times, it starts again with a beam twice as
// wide.
Outcome go_on() {
    Search& s = *S;
    for (;;) {
        if (!s.started) {
            const Outcome o = start_search();
            if (o == FOUND || o == OUT_OF_TIME) return o;
            if (!s.started) {
                s.beam_width = s.beam_width * 2 < widest ? s.beam_width * 2 : widest;
                if (clock_seconds() > deadline || proof_frames_searched > slice_end) return OUT_OF_TIME;
                continue;
            }
        }
        for (; s.gen < MAX_GENERATIONS; s.gen++) {
            const int gen = s.gen;
            const double now = clock_seconds();
            if (proof_progress != nullptr) proof_progress(now - search_started, proof_frames_searched);
            if (now > deadline || proof_frames_searched > slice_end) return OUT_OF_TIME;
            if (gen % s.checkpoint_every == 0 &&
                (s.checkpoint_count == 0 || s.checkpoints[s.checkpoint_count - 1].gen < gen))
                save_checkpoint(gen);
            merge_stamp++;
            candidate_count = 0;
            for (int b = 0; b < s.beam_count; b++) {
                // Left and Right alone for two frames, judged and kept while
                // held for eight.
                bool prefix_kept[2] = {false, false};
                Judged prefix[2];
                for (int a = 0; a < ACTIONS; a++) {
                    const unsigned char keys = ACTION_KEYS[a];
                    if (a >= KEY_SETS) {
                        const int p = a - KEY_SETS;
                        if (prefix_kept[p])
                            offer(prefix[p], s.beam_step[b], keys, PREFIX_FRAMES, prefix_states[p].bytes);
                        continue;
                    }
                    PLAY_STATE_RESTORE(beam_state(b));
                    hold(keys);
                    const int p = keys == ACTION_KEYS[KEY_SETS] ? 0 : keys == ACTION_KEYS[KEY_SETS + 1] ? 1 : -1;
                    bool alive = true;
                    int f = 0;
                    while (f < ACTION_FRAMES[a]) {
                        alive = held_frame();
                        f++;
                        if (!alive || quit_code == 2) break;
                        if (p >= 0 && f == PREFIX_FRAMES) {
                            prefix[p] = judge();
                            PLAY_STATE_TAKE(prefix_states[p].bytes);
                            prefix_kept[p] = true;
                        }
                    }
                    if (!alive) continue;
                    if (quit_code == 2) {
                        if (write_plan(s.beam_step[b], keys, f)) return FOUND;
                        continue;
                    }
                    offer(judge(), s.beam_step[b], keys, f, nullptr);
                }
            }
            if (candidate_count == 0) {
                count_corners();
                if (gen > s.furthest) {
                    s.furthest = gen;
                    s.retreat = FIRST_RETREAT;
                } else {
                    s.retreat *= 2;
                }
                const int target = gen - s.retreat;
                if (target <= 0 && ++s.restarts > RESTARTS) break;
                s.gen = back_to(target > 0 ? target : 0) - 1; // the loop's ++ plays that generation again
                continue;
            }
            // The best first.
            std::stable_sort(candidates.entry, candidates.entry + candidate_count,
                             [](const Candidate& x, const Candidate& y) { return x.score > y.score; });
            // At most per_cell in a cell with the same eggs left.
            const int ring = gen % DANGER_GENERATIONS;
            s.recent_count[ring] = 0;
            s.beam_count = 0;
            for (int i = 0; i < candidate_count && s.beam_count < s.beam_width; i++) {
                const Candidate& c = candidates[i];
                int same = 0;
                for (int j = 0; j < s.recent_count[ring]; j++) same += s.recent[ring * MAX_BEAM + j] == c.cell;
                if (same >= s.per_cell) continue;
                if (step_count >= STEP_CAPACITY) return OUT_OF_TIME;
                steps[step_count] = Step{c.parent, c.keys, c.frames};
                std::memcpy(beam_state(s.beam_count), child_state(c.child), static_cast<size_t>(stride));
                s.beam_step[s.beam_count] = step_count++;
                s.beam_count++;
                s.recent[ring * MAX_BEAM + s.recent_count[ring]++] = c.cell;
                uint16_t& v = s.visits[static_cast<int>(c.spot % VISIT_SLOTS)];
                if (v < 65535) v++;
            }
        }
        // Cornered for good, or out of generations: again, wider.
        s.started = false;
        s.beam_width = s.beam_width * 2 < widest ? s.beam_width * 2 : widest;
    }
}

} // namespace

// --- the procedures ----------------------------------------------------------------

int PROOF_PLAYS_THROUGH() {
    PROC("PROOF_PLAYS_THROUGH");
    const Quiet q = go_quiet();
    SNAPSHOT_RESTORE(level_start);
    bool ok = true;
    for (int f = 0; f < proof_frame_count && ok && quit_code == 0; f++) ok = frame(proof_keys[f]);
    const int done = ok && quit_code == 2 ? 1 : 0;
    if (done) proof_score = score;
    end_quiet(q);
    return done;
}

int PROVE_HERE(double budget_seconds) {
    PROC("PROVE_HERE");
    const double started = clock_seconds();
    deadline = started + (budget_seconds > 0 ? budget_seconds : 0);
    search_started = started;
    proof_answer = PROOF_UNDECIDED;
    proof_frame_count = 0;
    proof_score = 0;
    proof_frames_searched = 0;
    proof_lost_col = proof_lost_row = -1;
    SNAPSHOT_TAKE(&level_start);
    lives_at_start = lives;

    // An egg out of reach settles it at once.
    if (REACH_LEVEL() > 0) {
        for (int i = 0; i < reach_lost_count; i++)
            if (reach_lost[i].code == CELL_EGG) {
                proof_lost_col = reach_lost[i].col;
                proof_lost_row = reach_lost[i].row;
                break;
            }
        proof_answer = PROOF_NOT_COMPLETABLE;
        proof_seconds = clock_seconds() - started;
        return proof_answer;
    }

    PLAY_STATE_MARK();
    stride = PLAY_STATE_BYTES();
    egg_cell_count = 0;
    for (int k = 0; k < play_cell_count; k++)
        if (cells[play_cells[k]].code == CELL_EGG) egg_cells[egg_cell_count++] = play_cells[k];
    for (int i = 0; i < DISTANCE_MAPS; i++) distance_maps[i].valid = false;
    // The pool: the branches of the widest beam, then each search's beam and
    // kept beams.
    const long states = POOL_BYTES / stride;
    const long branches = MAX_BEAM * ACTIONS;
    const long share = (states - branches) / SEARCHES;
    const long keep = share - MAX_BEAM;
    kept_capacity = keep < KEPT_STATES ? static_cast<int>(keep) : KEPT_STATES;
    widest = MAX_BEAM;
    step_count = 0;
    for (int c = 0; c < SEARCHES; c++) {
        Search& s = searches[c];
        s.per_cell = SEARCH_PER_CELL[duck_active != 1 ? 0 : swans_active != 1 ? 1 : 2][c];
        s.beam_width = FIRST_BEAM < widest ? FIRST_BEAM : widest;
        s.region = branches + c * share;
        s.started = false;
        std::memset(s.danger.entry, 0, sizeof s.danger.entry);
    }

    // Searches that keep one, two or three states a cell find some levels
    // quickly and others slowly or not at all: they take turns, each going
    // on where it stopped, for three times the frames each turn, the first
    // of the order four times as long as the others.
    const Quiet q = go_quiet();
    bool done = false;
    long long slice = FIRST_SLICE;
    while (!done && clock_seconds() < deadline) {
        for (int c = 0; c < SEARCHES && !done && clock_seconds() < deadline; c++) {
            S = &searches[c];
            slice_end = proof_frames_searched + (c == 0 ? slice : slice / FOLLOWER_PART);
            if (go_on() == FOUND) {
                end_quiet(q);
                if (PROOF_PLAYS_THROUGH()) proof_answer = PROOF_PROVEN;
                done = true;
            }
        }
        if (slice < (1LL << 40)) slice *= SLICE_GROWTH;
    }
    end_quiet(q);
    SNAPSHOT_RESTORE(level_start);
    proof_seconds = clock_seconds() - started;
    return proof_answer;
}

int PROVE_LEVEL(int level_number, uint32_t seed, double budget_seconds) {
    PROC("PROVE_LEVEL");
    const Quiet q = go_quiet();
    LEVEL_SETUP(level_number, seed);
    LEVEL_START();
    end_quiet(q);
    return PROVE_HERE(budget_seconds);
}

int LEVEL_FILE_CHECK(const char* path, char* why, int size) {
    PROC("LEVEL_FILE_CHECK");
    const size_t n = static_cast<size_t>(size);
    std::FILE* f = std::fopen(path, "rb");
    struct stat st {};
    if (f == nullptr || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (f != nullptr) std::fclose(f);
        std::snprintf(why, n, "cannot read %s", path);
        return 0;
    }
    unsigned char bytes[54 + LEVEL_BYTES_SIZE] = {};
    const size_t got = std::fread(bytes, 1, sizeof bytes, f);
    auto u32 = [&](int at) {
        return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
               static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
    };
    const long long file_size = static_cast<long long>(st.st_size);
    int ok = 0;
    if (got < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        std::snprintf(why, n, "%s is not a BMP file", path);
    } else if ((bytes[28] | bytes[29] << 8) != 8) {
        std::snprintf(why, n, "%s is not an 8-bit BMP file", path);
    } else {
        const int32_t w = static_cast<int32_t>(u32(18)), h = static_cast<int32_t>(u32(22));
        const long long offset = u32(10);
        if (w < 1 || h < 1 || w > 1000 || h > 1000 || w * h > 1000) {
            std::snprintf(why, n, "%s: a level has 1 to 1000 cells, not %d x %d", path, w, h);
        } else if (offset + w * h > file_size) {
            std::snprintf(why, n, "%s: the file ends before its %d x %d cells", path, w, h);
        } else {
            // The cells, read where the game reads them (rows bottom up).
            unsigned char grid[LEVEL_BYTES_SIZE] = {};
            const bool read = std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 &&
                              std::fread(grid, 1, static_cast<size_t>(w * h), f) == static_cast<size_t>(w * h);
            int starts = 0, bad = -1;
            for (int k = 0; read && k < w * h; k++) {
                if (grid[k] > 10 && bad < 0) bad = k;
                starts += grid[k] == CELL_PLAYER;
            }
            if (!read) std::snprintf(why, n, "cannot read %s", path);
            else if (bad >= 0)
                std::snprintf(why, n, "%s: cell (%d, %d) holds %d, which is no cell the game knows", path, bad % w,
                              h - 1 - bad / w, grid[bad]);
            else if (starts == 0) std::snprintf(why, n, "%s: the level has no player start", path);
            else ok = 1;
        }
    }
    std::fclose(f);
    return ok;
}

// --- tidying a proof ---------------------------------------------------------------

namespace {

// The longest run of frames that tidying tries to merge into its neighbours.
constexpr int TIDY_RUN = 32;

// Plays the plan's frames from..to-1 from the game as it stands; false when a
// life is lost or the game ends on the way.
bool plays(int from, int to) {
    for (int f = from; f < to; f++) {
        if (quit_code != 0) return quit_code == 2;
        if (!frame(proof_keys[f])) return false;
    }
    return true;
}

} // namespace

int PROOF_TIDY(double budget_seconds) {
    PROC("PROOF_TIDY");
    if (proof_answer != PROOF_PROVEN) return 0;
    const Quiet q = go_quiet();
    const long long searched = proof_frames_searched;
    const double until = clock_seconds() + budget_seconds;
    static Snapshot at; // the game at the start of the run being tried
    static unsigned char found[PROOF_FRAMES_MAX];
    const int found_count = proof_frame_count;
    for (int f = 0; f < found_count; f++) found[f] = proof_keys[f];
    int merged = 0;
    // Passes until one merges nothing: a merge can leave a short run that
    // merges next time.
    for (int pass_merged = 1; pass_merged > 0 && clock_seconds() < until;) {
        pass_merged = 0;
        SNAPSHOT_RESTORE(level_start);
        SNAPSHOT_TAKE(&at);
        for (int start = 0; start < proof_frame_count;) {
            int end = start;
            while (end < proof_frame_count && proof_keys[end] == proof_keys[start]) end++;
            const unsigned char mine = proof_keys[start];
            // A short run between two others: the keys before it, or after
            // it, held through it instead, when the plan still completes the
            // level.
            if (start > 0 && end < proof_frame_count && end - start <= TIDY_RUN && clock_seconds() < until) {
                for (const unsigned char keys : {proof_keys[start - 1], proof_keys[end]}) {
                    for (int f = start; f < end; f++) proof_keys[f] = keys;
                    SNAPSHOT_RESTORE(at);
                    if (plays(start, proof_frame_count) && quit_code == 2) {
                        pass_merged++;
                        break;
                    }
                    for (int f = start; f < end; f++) proof_keys[f] = mine;
                }
            }
            SNAPSHOT_RESTORE(at);
            plays(start, end);
            SNAPSHOT_TAKE(&at);
            start = end;
        }
        merged += pass_merged;
    }
    // The plan ends where the level does.
    SNAPSHOT_RESTORE(level_start);
    int f = 0;
    while (f < proof_frame_count && quit_code == 0 && frame(proof_keys[f])) f++;
    proof_frame_count = f;
    proof_frames_searched = searched;
    end_quiet(q);
    if (!PROOF_PLAYS_THROUGH()) {
        // Never a plan that does not play through: the one found stays.
        proof_frame_count = found_count;
        for (int i = 0; i < found_count; i++) proof_keys[i] = found[i];
        PROOF_PLAYS_THROUGH();
        merged = 0;
    }
    SNAPSHOT_RESTORE(level_start);
    return merged;
}
