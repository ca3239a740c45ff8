// A small PNG writer for generated cover art: indexed colour, the image data in stored
// (uncompressed) deflate blocks inside a zlib stream, with the CRC-32 and Adler-32 checks
// that PNG and zlib require.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace simhost {

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// The zlib stream of stored blocks (at most 65535 bytes each) holding `data`.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& data);

using Rgb = std::array<uint8_t, 3>;

// An indexed-colour PNG: `pixels` has one palette index per pixel, row by row; bit depth 4
// (up to 16 colours) or 8 (up to 256).
std::vector<uint8_t> encodeIndexedPng(uint32_t width, uint32_t height, int bitDepth,
                                      const std::vector<Rgb>& palette,
                                      const std::vector<uint8_t>& pixels);

} // namespace simhost
