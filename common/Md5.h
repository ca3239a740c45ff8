// MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

using Md5Digest = std::array<uint8_t, 16>;

struct Md5Context {
    uint32_t state[4];
    uint64_t bitCount;
    uint8_t buffer[64];
};

void md5Init(Md5Context& ctx);
void md5Update(Md5Context& ctx, const void* data, size_t count);
Md5Digest md5Final(Md5Context& ctx);
// One 64-byte block into the state.
void md5Transform(uint32_t state[4], const uint8_t block[64]);

Md5Digest md5(const void* data, size_t count);
inline Md5Digest md5(std::string_view bytes) {
    return md5(bytes.data(), bytes.size());
}
