// record.h -- recordings of key input: the plain-text file format shared by the
// writer (the window back-end with --record) and the reader (--replay).
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
// i at the end of the i-th sleep_ms.  The held-key table becomes exactly the
// listed scan codes (0 to 127) and the queued codes (a character 0 to 255 or
// 255 + 256 * extended code) are queued in order.  '#' lines and blank lines
// are ignored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The input of one tick, as it is applied.
struct TickInput {
    unsigned char held[128];  // nonzero = held
    const int* queued;        // queued key codes, in order
    int queued_count;
};

// A whole recording, read before play begins (nothing is allocated later).
struct Recording {
    uint32_t seed = 0;
    struct Run {
        long count;            // how many ticks repeat this line
        unsigned char held[128];
        int first_queued;      // index into codes
        int queued_count;
    };
    std::vector<Run> runs;
    std::vector<int> codes;
    long ticks = 0;            // total number of lines after expansion
};

// Parses a recording held in memory.  On a malformed text returns false and
// sets *error to a message naming the line ("line 4: scan code 300 out of range").
bool parse_recording(const char* text, size_t size, Recording* out, std::string* error);

// Reads and parses a file; a missing or unreadable file is an error as well.
bool load_recording(const char* path, Recording* out, std::string* error);

// Walks a recording tick by tick without searching.
struct ReplayCursor {
    const Recording* rec = nullptr;
    size_t run = 0;
    long used = 0; // ticks already taken from the current run
};
void replay_start(ReplayCursor* c, const Recording* rec);
// The next tick's input; false when the recording has run out.
bool replay_next(ReplayCursor* c, TickInput* out);

// True for a code the key queue can carry (0..255, or 255 + 256 * e, e <= 255).
bool valid_key_code(long long code);

// --- writing ----------------------------------------------------------------

// Writes lines with run-length compression: a line equal to the one before
// only bumps a counter; the run is written when a different line comes, at
// every flush and at the close.  Fixed buffers: nothing is allocated per tick.
struct RecordWriter {
    std::FILE* file = nullptr;
    char pending[4096];   // the text of the line being repeated
    long pending_count = 0;
    long lines_since_flush = 0;
};

// Creates the file and writes the header with the seed.  False if it cannot
// be created.
bool record_open(RecordWriter* w, const char* path, uint32_t seed);
// Adds the input of one tick.  Queued codes that do not fit one line are
// dropped (a tick never carries that many).
void record_line(RecordWriter* w, const unsigned char held[128], const int* queued, int queued_count);
// Writes the pending run and flushes the file (done now and then while recording).
void record_flush(RecordWriter* w);
// Flushes and closes; safe to call twice.
void record_close(RecordWriter* w);

// Formats one line without the "Nx " prefix into out; returns its length.
int format_record_line(char* out, int size, const unsigned char held[128], const int* queued,
                       int queued_count);
