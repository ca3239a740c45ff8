#include "simhost/Png.h"

#include <algorithm>

namespace simhost {
namespace {

const std::array<uint32_t, 256>& crcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& body) {
    put32(out, uint32_t(body.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    put32(out, crc32(out.data() + start, out.size() - start));
}

} // namespace

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc) {
    const auto& t = crcTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = t[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t adler32(const uint8_t* data, size_t size, uint32_t adler) {
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (size_t i = 0; i < size;) {
        // 5552 bytes is the most that cannot overflow 32 bits before the modulo.
        size_t n = std::min<size_t>(size - i, 5552);
        for (size_t j = 0; j < n; ++j) {
            a += data[i + j];
            b += a;
        }
        a %= 65521;
        b %= 65521;
        i += n;
    }
    return b << 16 | a;
}

std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    out.reserve(data.size() + data.size() / 65535 * 5 + 16);
    out.push_back(0x78); // deflate, 32 KiB window
    out.push_back(0x01); // fastest; (0x78 * 256 + 0x01) is a multiple of 31
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(data.size() - pos, 65535);
        bool last = pos + n == data.size();
        out.push_back(last ? 1 : 0); // BFINAL, BTYPE 00 (stored)
        out.push_back(uint8_t(n));
        out.push_back(uint8_t(n >> 8));
        out.push_back(uint8_t(~n));
        out.push_back(uint8_t(~n >> 8));
        out.insert(out.end(), data.begin() + ptrdiff_t(pos), data.begin() + ptrdiff_t(pos + n));
        pos += n;
    } while (pos < data.size());
    put32(out, adler32(data.data(), data.size()));
    return out;
}

std::vector<uint8_t> encodeIndexedPng(uint32_t width, uint32_t height, int bitDepth,
                                      const std::vector<Rgb>& palette,
                                      const std::vector<uint8_t>& pixels) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> out(signature, signature + 8);

    std::vector<uint8_t> header;
    put32(header, width);
    put32(header, height);
    header.push_back(uint8_t(bitDepth));
    header.push_back(3); // indexed colour
    header.push_back(0); // deflate
    header.push_back(0); // adaptive filtering
    header.push_back(0); // no interlace
    chunk(out, "IHDR", header);

    std::vector<uint8_t> plte;
    for (const Rgb& c : palette)
        plte.insert(plte.end(), c.begin(), c.end());
    chunk(out, "PLTE", plte);

    // Every row starts with filter type 0 (none), then the packed indexes.
    size_t rowBytes = (size_t(width) * size_t(bitDepth) + 7) / 8;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        const uint8_t* row = pixels.data() + size_t(y) * width;
        if (bitDepth == 8) {
            raw.insert(raw.end(), row, row + width);
        } else {
            for (uint32_t x = 0; x < width; x += 2) {
                uint8_t hi = row[x] & 15, lo = x + 1 < width ? row[x + 1] & 15 : 0;
                raw.push_back(uint8_t(hi << 4 | lo));
            }
        }
    }
    chunk(out, "IDAT", zlibStored(raw));
    chunk(out, "IEND", {});
    return out;
}

} // namespace simhost
