// sha256.h -- SHA-256 of a byte string or a file, as 64 lower-case hex digits:
// recordings name the level files they were made with by it.
#pragma once

#include <cstddef>
#include <cstdint>

struct Sha256 {
    uint32_t state[8];
    uint64_t length;        // bytes added so far
    unsigned char block[64];
    size_t used;            // bytes of block filled
};

// Starts, adds bytes to, and finishes a digest; hex gets 64 digits and a '\0'.
void sha256_begin(Sha256* s);
void sha256_add(Sha256* s, const void* bytes, size_t size);
void sha256_hex(Sha256* s, char hex[65]);
// The digest of a whole file; false (hex untouched) when it cannot be read.
bool sha256_file(const char* path, char hex[65]);
