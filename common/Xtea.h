// XTEA block cipher with 64 cycles, in CBC mode with an all-zero initial vector. Each 8-byte
// block is two little-endian 32-bit words; the first word is the first half of the Feistel
// pair. Data is processed in place; count must be a multiple of 8 (a trailing partial block
// is left untouched).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned kXteaCycles = 64;

void xteaEncipherBlock(uint32_t v[2], const uint32_t key[4]);
void xteaDecipherBlock(uint32_t v[2], const uint32_t key[4]);

void xteaCbcEncipher(uint8_t* data, size_t count, const uint32_t key[4]);
void xteaCbcDecipher(uint8_t* data, size_t count, const uint32_t key[4]);
