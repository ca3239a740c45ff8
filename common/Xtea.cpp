#include "common/Xtea.h"

#include "common/ByteOrder.h"

namespace {
constexpr uint32_t kDelta = 0x9E3779B9;
}

void xteaEncipherBlock(uint32_t v[2], const uint32_t key[4]) {
    uint32_t v0 = v[0], v1 = v[1], sum = 0;
    for (unsigned i = 0; i < kXteaCycles; ++i) {
        v0 += (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + key[sum & 3]);
        sum += kDelta;
        v1 += (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + key[(sum >> 11) & 3]);
    }
    v[0] = v0;
    v[1] = v1;
}

void xteaDecipherBlock(uint32_t v[2], const uint32_t key[4]) {
    uint32_t v0 = v[0], v1 = v[1], sum = kDelta * kXteaCycles;
    for (unsigned i = 0; i < kXteaCycles; ++i) {
        v1 -= (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + key[(sum >> 11) & 3]);
        sum -= kDelta;
        v0 -= (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + key[sum & 3]);
    }
    v[0] = v0;
    v[1] = v1;
}

void xteaCbcEncipher(uint8_t* data, size_t count, const uint32_t key[4]) {
    uint32_t chain[2] = {0, 0};
    for (size_t off = 0; off + 8 <= count; off += 8) {
        uint32_t v[2] = {loadLE32(data + off) ^ chain[0], loadLE32(data + off + 4) ^ chain[1]};
        xteaEncipherBlock(v, key);
        storeLE32(data + off, v[0]);
        storeLE32(data + off + 4, v[1]);
        chain[0] = v[0];
        chain[1] = v[1];
    }
}

void xteaCbcDecipher(uint8_t* data, size_t count, const uint32_t key[4]) {
    uint32_t chain[2] = {0, 0};
    for (size_t off = 0; off + 8 <= count; off += 8) {
        uint32_t cipher[2] = {loadLE32(data + off), loadLE32(data + off + 4)};
        uint32_t v[2] = {cipher[0], cipher[1]};
        xteaDecipherBlock(v, key);
        storeLE32(data + off, v[0] ^ chain[0]);
        storeLE32(data + off + 4, v[1] ^ chain[1]);
        chain[0] = cipher[0];
        chain[1] = cipher[1];
    }
}
