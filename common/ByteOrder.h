// Little-endian, unaligned packing for wire layouts. The writer appends to a byte vector;
// the reader never reads past its end: a failed read returns false and leaves the reader
// in a failed state that every later read reports too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::vector<uint8_t>& target) : external_(&target) {}

    ByteWriter& u8(uint8_t v);
    ByteWriter& u16(uint16_t v);
    ByteWriter& u32(uint32_t v);
    ByteWriter& u64(uint64_t v);
    ByteWriter& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    ByteWriter& bytes(const void* data, size_t count);
    ByteWriter& bytes(std::string_view s) { return bytes(s.data(), s.size()); }
    // The text's bytes followed by a 0 byte.
    ByteWriter& cstring(std::string_view s);
    // Overwrites a u32 at an earlier offset (for lengths known only afterwards).
    void patchU32(size_t offset, uint32_t v);

    size_t size() const { return external_ ? external_->size() : own_.size(); }
    std::vector<uint8_t>& data() { return out(); }
    std::vector<uint8_t> take() { return std::move(out()); }

private:
    // Either the caller's vector or our own; copies and moves stay valid either way.
    std::vector<uint8_t>& out() { return external_ ? *external_ : own_; }
    std::vector<uint8_t> own_;
    std::vector<uint8_t>* external_ = nullptr;
};

class ByteReader {
public:
    ByteReader(const void* data, size_t count)
        : p_(static_cast<const uint8_t*>(data)), end_(p_ + count) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    bool u8(uint8_t& v);
    bool u16(uint16_t& v);
    bool u32(uint32_t& v);
    bool u64(uint64_t& v);
    bool i32(int32_t& v);
    bool bytes(void* out, size_t count);
    // count bytes as text.
    bool text(std::string& out, size_t count);
    // Text up to (not including) the next 0 byte, which is consumed; fails when there is none.
    bool cstring(std::string& out);
    bool skip(size_t count);

    size_t remaining() const { return ok_ ? static_cast<size_t>(end_ - p_) : 0; }
    const uint8_t* position() const { return p_; }
    bool ok() const { return ok_; }

private:
    bool need(size_t count);
    const uint8_t* p_;
    const uint8_t* end_;
    bool ok_ = true;
};

// Plain helpers for fixed offsets.
inline void storeLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint32_t loadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t loadLE16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
