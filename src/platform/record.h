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
// i at the end of the i-th sleep_ms.  A tick line holds at most
// RECORD_LINE_MAX characters.  The held-key table becomes exactly the
// listed scan codes (0 to 127) and the queued codes (a character 0 to 255 or
// 255 + 256 * extended code) are queued in order.  '#' lines and blank lines
// are ignored.
#pragma once

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
};

// A checked recording.  Reading it checks every line once and keeps only the
// header and where the tick lines start; playing it back reads the lines
// again one at a time, so memory does not grow with the length of the file.
// A recording that is not a regular file (a pipe, /dev/stdin, a FIFO) can be
// read only once: it is copied into an unnamed temporary file while it is
// checked, and played from the copy.
struct Recording {
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
// The same on a file the caller opened (and closes, through record_close or
// itself after record_flush).
void record_begin(RecordWriter* w, std::FILE* file, uint32_t seed);
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
