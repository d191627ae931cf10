// record.h -- recordings of key input: the plain-text file format shared by the
// writer (the window back-end with --record, the prover) and the reader
// (--replay, --verify).  docs/recording-format.md describes both versions;
// the game writes version 2:
//
//     clovenfeld-recording 2
//     behaviour 1
//     game Clovenfeld Returns 0.5
//     seed 1
//     start level 5
//     level 5 levels/5.bmp 3b0d...(64 hex digits)
//     assists none                 (or the assists that change play: ladder, lives 5|9|unlimited)
//     pack
//     -1-{32}1-1R84L56UR8R2-8L2R10 ... =6c1f0e9a2b3c
//     R40UL16 ...
//     end ticks 6980 score 205 eggs 11 lives 3 hash 0a1b2c3d4e5f6071
//
// A tick line is runs of ticks: the arrows held ('-' for none, else U, D,
// L, R in that order), other held scan codes in (), queued key codes in {},
// then how many ticks.  "=H" is the state hash after the ticks so far (its
// low 48 bits), at every 500 ticks; a line ends with it.  The end line gives the ticks and
// the state as the recording stopped.
//
// Version 1 has no hashes, one tick per line:
//
//     clovenfeld-recording 1
//     seed 123456789
//     # one line per tick: held scan codes | queued key codes; "Nx " repeats a line N times
//     |
//     250x |
//     77|
//     77 72|32
//
// Line i is the input of tick i: line 0 is applied when the screen opens, line
// i at the end of the i-th sleep_ms.  A tick line holds at most
// RECORD_LINE_MAX characters.  The held-key table becomes exactly the
// listed scan codes (0 to 127) and the queued codes (a character 0 to 255 or
// 255 + 256 * extended code) are queued in order.  '#' lines and blank lines
// are ignored.
#pragma once

#include "services/assists.h"

#include "services/game_events.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The longest tick line read (characters, the "Nx " prefix included; longer
// comment lines are fine) and so the most queued codes one tick can carry.
enum { RECORD_LINE_MAX = 8192, RECORD_LINE_CODES = RECORD_LINE_MAX / 2 };

// The input of one tick, as it is applied.
struct TickInput {
    unsigned char held[128];  // nonzero = held
    const int* queued;        // queued key codes, in order (valid until the next tick)
    int queued_count;
    bool check_hash = false;  // the state before this input must hash to state_hash
    uint64_t state_hash = 0;
};

// Every this many ticks a version 2 recording holds the state hash, its low
// 48 bits (12 hex digits; the end line has all 64).
enum { RECORD_HASH_EVERY = 500, RECORD_VERSION = 2 };
constexpr uint64_t RECORD_HASH_MASK = 0xFFFFFFFFFFFFull;

// A level file a recording names: the level it is first played as, its path
// in the data folder ("levels/5.bmp") and its SHA-256 ("missing" for none).
struct RecordLevel {
    int level = 0;
    std::string path;
    std::string sha256;
};

// A checked recording.  Reading it checks every line once and keeps only the
// header and where the tick lines start; playing it back reads the lines
// again one at a time, so memory does not grow with the length of the file.
// A recording that is not a regular file (a pipe, /dev/stdin, a FIFO) can be
// read only once: it is copied into an unnamed temporary file while it is
// checked, and played from the copy.
struct Recording {
    int version = 1;
    int behaviour = 0;         // version 2: the game behaviour it was made with
    std::string game;          // version 2: the game version text
    int start_level = 0;       // 0: from the title screen; else that level on its own
    std::vector<RecordLevel> levels;
    std::string assists = "none";
    PlayAssists play_assists;  // what assists names
    std::string pack;          // empty: the shipped levels
    bool has_end = false;      // version 2: the end line
    long long end_ticks = 0;
    int end_score = 0, end_eggs = 0, end_lives = 0;
    uint64_t end_hash = 0;
    uint32_t seed = 0;
    long ticks = 0;            // total number of lines after expansion
    std::string path;          // the file read again while playing ("" = text)
    std::shared_ptr<std::FILE> copy; // the temporary copy of a stream, played instead of path
    std::string text;          // the text itself, for a recording parsed in memory
    long data_offset = 0;      // byte offset of the first line after the seed line
    long data_line = 0;        // the number of the line before it
};

// Parses a recording held in memory (the text is copied).  On a malformed
// text returns false and sets *error to a message naming the line ("line 4:
// scan code 300 out of range").
bool parse_recording(const char* text, size_t size, Recording* out, std::string* error);

// Checks a file the same way, reading it in small pieces; a missing or
// unreadable file is an error as well.  A stream is read once, into a
// temporary copy (see Recording).
bool load_recording(const char* path, Recording* out, std::string* error);

// Where a recording reads its bytes from: the file or the text, through a
// fixed buffer.
struct RecordSource {
    std::FILE* file = nullptr;
    std::FILE* copy_to = nullptr; // every chunk read from file is also written here
    const char* text = nullptr;
    size_t text_size = 0, text_pos = 0;
    char chunk[16384];
    size_t chunk_pos = 0, chunk_len = 0;
    long offset = 0;           // bytes taken so far
    bool failed = false;       // a read error
};

// Walks a recording tick by tick, reading one line ahead at most.  Holds the
// file open from replay_start to replay_finish (or the next replay_start).
struct ReplayCursor {
    const Recording* rec = nullptr;
    RecordSource src;
    long line_no = 0;          // the line last read
    long delivered = 0;        // ticks given out so far
    long left = 0;             // ticks left of the current line
    unsigned char held[128] = {};
    int codes[RECORD_LINE_CODES];
    int code_count = 0;
    // Version 2: the tick line being read and where in it.
    char line[RECORD_LINE_MAX + 1];
    int line_len = 0, line_pos = 0;
    bool hash_due = false;     // a state hash read for the coming tick
    uint64_t hash = 0;
};
// Starts at tick 0.  A file that can no longer be opened ends the program
// with status 2 and a message, as a bad recording does at start-up.
void replay_start(ReplayCursor* c, const Recording* rec);
// The next tick's input; false when the recording has run out.  A file that
// changed since it was checked ends the program the same way.
bool replay_next(ReplayCursor* c, TickInput* out);
// Closes the file; safe to call twice.
void replay_finish(ReplayCursor* c);

// True for a code the key queue can carry (0..255, or 255 + 256 * e, e <= 255).
bool valid_key_code(long long code);

// --- writing ----------------------------------------------------------------

// Writes version 2 with run-length compression: a tick equal to the one
// before only bumps a counter; the run is written when a different tick
// comes, at a state hash, at every flush and at the close.  The state comes
// from report_game_state (game_events.h).  Fixed buffers: nothing is
// allocated per tick.
struct RecordWriter {
    std::FILE* file = nullptr;
    char pending[4096];   // the run's token without its count
    long pending_count = 0;
    long long ticks = 0;  // ticks written or pending
    int line_chars = 0;   // characters on the tick line so far
    long lines_since_flush = 0;
    StateReporter state = nullptr; // where the state comes from (null: report_game_state)
};

// What a new recording says of itself; the level files are found in the
// data folder (record_name_levels).
struct RecordHeader {
    int behaviour = 0;
    uint32_t seed = 0;
    int start_level = 0;  // 0: from the title screen
    const char* game = "";
    PlayAssists assists;  // the assists the play starts with
    std::string pack;
};

// Creates the file and writes the header.  False if it cannot be created.
bool record_open(RecordWriter* w, const char* path, const RecordHeader& h);
// The same for a recording from the title screen with this seed, by the game
// that runs (report_game_state).
bool record_open(RecordWriter* w, const char* path, uint32_t seed);
RecordHeader record_header_now(uint32_t seed, int start_level);
// The same on a file the caller opened (and closes, through record_close or
// itself after record_finish).
void record_begin(RecordWriter* w, std::FILE* file, const RecordHeader& h);
// Adds the input of one tick: a state hash first at every 500 ticks.  Queued
// codes that do not fit one line are dropped (a tick never carries that many).
void record_line(RecordWriter* w, const unsigned char held[128], const int* queued, int queued_count);
// Writes the pending run and flushes the file (done now and then while recording).
void record_flush(RecordWriter* w);
// Writes the end line with the state now, and flushes; the file stays open.
void record_finish(RecordWriter* w);
// Finishes and closes; safe to call twice.
void record_close(RecordWriter* w);

// The level files a recording from start_level plays (all nine from the
// title screen, else that level's), with their SHA-256 as the data folder
// has them.
std::vector<RecordLevel> record_name_levels(int start_level);

// Formats one line without the "Nx " prefix into out; returns its length.
int format_record_line(char* out, int size, const unsigned char held[128], const int* queued,
                       int queued_count);
