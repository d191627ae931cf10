// cue_queue.h -- sound cues from the game thread to the audio thread (module
// "cue_queue"): a fixed ring of CUE_CAPACITY cues, lock-free for exactly one
// producer and one consumer.  The producer owns `head`, the consumer `tail`;
// each publishes its index with release order and reads the other's with
// acquire order.
#pragma once

#include <atomic>
#include <cstdint>

enum { CUE_CAPACITY = 64 };

struct Cue {
    int16_t id;     // SoundId
    int16_t x;      // screen x for the pan
    uint32_t tick;  // game tick the cue belongs to
};

struct CueQueue {
    Cue cue[CUE_CAPACITY];
    alignas(64) std::atomic<uint32_t> head{0}; // next slot to write (producer)
    alignas(64) std::atomic<uint32_t> tail{0}; // next slot to read (consumer)
};

// Empties the queue; only while neither thread uses it.  Called at start-up
// and by tests.
void cue_clear(CueQueue* q);

// Appends a cue; false (and nothing kept) when the queue is full.  Called by
// the game thread only.
bool cue_push(CueQueue* q, const Cue& c);

// Takes the oldest cue into *out; false when the queue is empty.  Called by
// the audio thread only.
bool cue_pop(CueQueue* q, Cue* out);

// Cues waiting (a snapshot; exact when the other thread is idle).  Called by
// either thread and tests.
int cue_count(const CueQueue* q);
