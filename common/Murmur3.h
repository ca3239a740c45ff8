// MurmurHash3, x86 32-bit variant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

uint32_t murmur3_x86_32(const void* data, size_t count, uint32_t seed);
inline uint32_t murmur3_x86_32(std::string_view bytes, uint32_t seed = 0) {
    return murmur3_x86_32(bytes.data(), bytes.size(), seed);
}
