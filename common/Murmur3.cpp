#include "common/Murmur3.h"

namespace {
inline uint32_t rotl(uint32_t x, unsigned n) {
    return (x << n) | (x >> (32 - n));
}
} // namespace

uint32_t murmur3_x86_32(const void* data, size_t count, uint32_t seed) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    const uint32_t c1 = 0xcc9e2d51, c2 = 0x1b873593;
    uint32_t h = seed;
    size_t blocks = count / 4;
    for (size_t i = 0; i < blocks; ++i) {
        const uint8_t* b = p + 4 * i;
        uint32_t k =
            uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        k *= c1;
        k = rotl(k, 15);
        k *= c2;
        h ^= k;
        h = rotl(h, 13);
        h = h * 5 + 0xe6546b64;
    }
    const uint8_t* tail = p + 4 * blocks;
    uint32_t k = 0;
    switch (count & 3) {
    case 3:
        k ^= uint32_t(tail[2]) << 16;
        [[fallthrough]];
    case 2:
        k ^= uint32_t(tail[1]) << 8;
        [[fallthrough]];
    case 1:
        k ^= tail[0];
        k *= c1;
        k = rotl(k, 15);
        k *= c2;
        h ^= k;
    }
    h ^= uint32_t(count);
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}
