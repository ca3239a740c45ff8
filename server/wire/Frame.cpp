#include "server/wire/Frame.h"

#include "common/ByteOrder.h"

#include <cstring>
#include <lz4.h>
#include <lz4hc.h>
#include <memory>

namespace wire {

namespace {
constexpr uint8_t kMagicBytes[4] = {0x3B, 0x87, 0xD9, 0x71};
constexpr size_t kEnvelopePrefix = kHeaderSize + 10;
} // namespace

void writeHeader(uint8_t* out, uint32_t type, uint32_t length) {
    storeLE32(out, kMagic);
    storeLE32(out + 4, type);
    storeLE32(out + 8, length);
}

std::vector<uint8_t> buildFrame(uint32_t type, const uint8_t* payload, size_t length) {
    std::vector<uint8_t> frame(kHeaderSize + length);
    writeHeader(frame.data(), type, uint32_t(length));
    if (length)
        std::memcpy(frame.data() + kHeaderSize, payload, length);
    return frame;
}

void FrameSplitter::append(const uint8_t* bytes, size_t count) {
    compact();
    bytes_.insert(bytes_.end(), bytes, bytes + count);
}

void FrameSplitter::compact() {
    // Move the live bytes down once consumed ones dominate, so appends stay amortised O(n).
    if (start_ == bytes_.size()) {
        bytes_.clear();
        start_ = 0;
    } else if (start_ > 4096 && start_ * 2 > bytes_.size()) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + ptrdiff_t(start_));
        start_ = 0;
    }
}

bool FrameSplitter::next(ReceivedMessage& out) {
    while (buffered() >= kHeaderSize) {
        const uint8_t* p = bytes_.data() + start_;
        if (loadLE32(p) != kMagic) {
            const uint8_t* end = bytes_.data() + bytes_.size();
            const uint8_t* found = nullptr;
            for (const uint8_t* q = p + 1; q + 4 <= end; ++q) {
                if (std::memcmp(q, kMagicBytes, 4) == 0) {
                    found = q;
                    break;
                }
            }
            if (!found) {
                clear();
                return false;
            }
            start_ += size_t(found - p);
            continue;
        }
        uint64_t length = loadLE32(p + 8);
        if (buffered() < kHeaderSize + length)
            return false;
        out.type = loadLE32(p + 4);
        out.payload.assign(p + kHeaderSize, p + kHeaderSize + length);
        start_ += kHeaderSize + size_t(length);
        compact();
        return true;
    }
    return false;
}

void FrameSplitter::clear() {
    bytes_.clear();
    start_ = 0;
}

std::vector<uint8_t> buildCompressedFrame(uint32_t innerType, const uint8_t* payload, size_t length,
                                          CompressionMode mode) {
    if (length == 0 || length > size_t(LZ4_MAX_INPUT_SIZE))
        return {};
    int bound = LZ4_compressBound(int(length));
    std::vector<uint8_t> frame(kEnvelopePrefix + size_t(bound));
    char* dst = reinterpret_cast<char*>(frame.data() + kEnvelopePrefix);
    const char* src = reinterpret_cast<const char*>(payload);
    int compressed = 0;
    if (mode == CompressionMode::High) {
        // About 256 KiB of state: on the heap, never on a network thread's stack.
        std::unique_ptr<char[]> state(new char[size_t(LZ4_sizeofStateHC())]);
        compressed = LZ4_compress_HC_extStateHC(state.get(), src, dst, int(length), bound, 9);
    } else {
        compressed = LZ4_compress_fast(src, dst, int(length), bound, 1);
    }
    if (compressed <= 0)
        return {};
    frame.resize(kEnvelopePrefix + size_t(compressed));
    writeHeader(frame.data(), MSG_COMPRESSED, uint32_t(compressed) + 10);
    storeLE32(frame.data() + 12, uint32_t(length));
    storeLE32(frame.data() + 16, innerType);
    frame[20] = 0;
    frame[21] = 0;
    return frame;
}

bool openCompressed(const uint8_t* payload, size_t length, ReceivedMessage& inner) {
    if (length < 10)
        return false;
    uint32_t size = loadLE32(payload);
    // An LZ4 block expands at most about 255-fold: a stated length beyond that is a lie, and
    // is refused before the buffer for it is allocated.
    const uint64_t most = uint64_t(length - 10) * 255 + 64;
    if (size > uint32_t(LZ4_MAX_INPUT_SIZE) || size > most || length - 10 > size_t(INT32_MAX))
        return false;
    inner.type = loadLE32(payload + 4);
    inner.payload.resize(size);
    if (size == 0)
        return length == 10;
    int n = LZ4_decompress_safe(reinterpret_cast<const char*>(payload + 10),
                                reinterpret_cast<char*>(inner.payload.data()), int(length - 10),
                                int(size));
    return n == int(size);
}

} // namespace wire
