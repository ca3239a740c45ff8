#include "common/ByteOrder.h"

#include <cstring>

ByteWriter& ByteWriter::u8(uint8_t v) {
    out().push_back(v);
    return *this;
}

ByteWriter& ByteWriter::u16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return bytes(b, 2);
}

ByteWriter& ByteWriter::u32(uint32_t v) {
    uint8_t b[4];
    storeLE32(b, v);
    return bytes(b, 4);
}

ByteWriter& ByteWriter::u64(uint64_t v) {
    u32(uint32_t(v));
    return u32(uint32_t(v >> 32));
}

ByteWriter& ByteWriter::bytes(const void* data, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out().insert(out().end(), p, p + count);
    return *this;
}

ByteWriter& ByteWriter::cstring(std::string_view s) {
    bytes(s);
    return u8(0);
}

void ByteWriter::patchU32(size_t offset, uint32_t v) {
    std::vector<uint8_t>& o = out();
    if (offset + 4 <= o.size())
        storeLE32(o.data() + offset, v);
}

bool ByteReader::need(size_t count) {
    if (!ok_ || size_t(end_ - p_) < count) {
        ok_ = false;
        return false;
    }
    return true;
}

bool ByteReader::u8(uint8_t& v) {
    if (!need(1))
        return false;
    v = *p_++;
    return true;
}

bool ByteReader::u16(uint16_t& v) {
    if (!need(2))
        return false;
    v = loadLE16(p_);
    p_ += 2;
    return true;
}

bool ByteReader::u32(uint32_t& v) {
    if (!need(4))
        return false;
    v = loadLE32(p_);
    p_ += 4;
    return true;
}

bool ByteReader::u64(uint64_t& v) {
    if (!need(8))
        return false;
    v = uint64_t(loadLE32(p_)) | uint64_t(loadLE32(p_ + 4)) << 32;
    p_ += 8;
    return true;
}

bool ByteReader::i32(int32_t& v) {
    uint32_t u;
    if (!u32(u))
        return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool ByteReader::bytes(void* out, size_t count) {
    if (!need(count))
        return false;
    if (count)
        std::memcpy(out, p_, count);
    p_ += count;
    return true;
}

bool ByteReader::text(std::string& out, size_t count) {
    if (!need(count))
        return false;
    out.assign(reinterpret_cast<const char*>(p_), count);
    p_ += count;
    return true;
}

bool ByteReader::cstring(std::string& out) {
    // An empty reader may sit on a null pointer, which memchr must not see.
    if (!ok_ || p_ == end_) {
        ok_ = false;
        return false;
    }
    const void* zero = std::memchr(p_, 0, size_t(end_ - p_));
    if (!zero) {
        ok_ = false;
        return false;
    }
    size_t length = size_t(static_cast<const uint8_t*>(zero) - p_);
    out.assign(reinterpret_cast<const char*>(p_), length);
    p_ += length + 1;
    return true;
}

bool ByteReader::skip(size_t count) {
    if (!need(count))
        return false;
    p_ += count;
    return true;
}
