// cue_queue.cpp -- the single-producer single-consumer ring of sound cues
// (see cue_queue.h).  Indices run freely and wrap at 2^32; a slot is
// index % CUE_CAPACITY (a power of two, so the wrap keeps them in step).
#include "sound/cue_queue.h"

static_assert((CUE_CAPACITY & (CUE_CAPACITY - 1)) == 0, "the capacity is a power of two");

void cue_clear(CueQueue* q) {
    q->head.store(0, std::memory_order_relaxed);
    q->tail.store(0, std::memory_order_relaxed);
}

bool cue_push(CueQueue* q, const Cue& c) {
    const uint32_t head = q->head.load(std::memory_order_relaxed);
    const uint32_t tail = q->tail.load(std::memory_order_acquire);
    if (head - tail >= CUE_CAPACITY) return false;
    q->cue[head % CUE_CAPACITY] = c;
    q->head.store(head + 1, std::memory_order_release);
    return true;
}

bool cue_pop(CueQueue* q, Cue* out) {
    const uint32_t tail = q->tail.load(std::memory_order_relaxed);
    const uint32_t head = q->head.load(std::memory_order_acquire);
    if (head == tail) return false;
    *out = q->cue[tail % CUE_CAPACITY];
    q->tail.store(tail + 1, std::memory_order_release);
    return true;
}

int cue_count(const CueQueue* q) {
    const uint32_t tail = q->tail.load(std::memory_order_acquire);
    const uint32_t head = q->head.load(std::memory_order_acquire);
    return static_cast<int>(head - tail);
}
