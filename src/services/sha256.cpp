// sha256.cpp -- SHA-256 as FIPS 180-4 gives it (sha256.h).
#include "services/sha256.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(Sha256* s, const unsigned char* p) {
    uint32_t w[64];
    for (int i = 0; i < 16; i++)
        w[i] = static_cast<uint32_t>(p[4 * i]) << 24 | static_cast<uint32_t>(p[4 * i + 1]) << 16 |
               static_cast<uint32_t>(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; i++) {
        const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = s->state[0], b = s->state[1], c = s->state[2], d = s->state[3];
    uint32_t e = s->state[4], f = s->state[5], g = s->state[6], h = s->state[7];
    for (int i = 0; i < 64; i++) {
        const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
        const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    s->state[0] += a, s->state[1] += b, s->state[2] += c, s->state[3] += d;
    s->state[4] += e, s->state[5] += f, s->state[6] += g, s->state[7] += h;
}

} // namespace

void sha256_begin(Sha256* s) {
    static constexpr uint32_t H0[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(s->state, H0, sizeof H0);
    s->length = 0;
    s->used = 0;
}

void sha256_add(Sha256* s, const void* bytes, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    s->length += size;
    while (size > 0) {
        const size_t n = size < 64 - s->used ? size : 64 - s->used;
        std::memcpy(s->block + s->used, p, n);
        s->used += n, p += n, size -= n;
        if (s->used == 64) {
            compress(s, s->block);
            s->used = 0;
        }
    }
}

void sha256_hex(Sha256* s, char hex[65]) {
    const uint64_t bits = s->length * 8;
    const unsigned char one = 0x80, zero = 0;
    sha256_add(s, &one, 1);
    while (s->used != 56) sha256_add(s, &zero, 1);
    unsigned char tail[8];
    for (int i = 0; i < 8; i++) tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    sha256_add(s, tail, 8);
    for (int i = 0; i < 8; i++) std::snprintf(hex + 8 * i, 9, "%08x", static_cast<unsigned>(s->state[i]));
}

bool sha256_file(const char* path, char hex[65]) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    Sha256 s;
    sha256_begin(&s);
    unsigned char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) sha256_add(&s, buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) sha256_hex(&s, hex);
    return ok;
}
