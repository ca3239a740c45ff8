// Little-endian packing at unaligned offsets, and the reader's bounds at exactly the bytes left.
#include "common/ByteOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Every width written and read back at unaligned offsets, high bits set (no sign extension);
// patches land only inside.
TEST(ByteOrder, WriterAndReaderAgreeOnEveryWidthAndPatchesStayInside) {
    ByteWriter w;
    w.u8(0x01).u16(0x8302).u32(0x07060504).u64(0x8E0E0D0C0B0A0908ull).i32(-2).cstring("hi");
    w.cstring("").bytes("xy").bytes(nullptr, 0);
    Bytes expected = {0x01, 0x02, 0x83, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                      0x0E, 0x8E, 0xFE, 0xFF, 0xFF, 0xFF, 'h',  'i',  0x00, 0x00, 'x',  'y'};
    EXPECT_EQ(w.data(), expected);

    ByteReader r(expected);
    uint8_t a = 0;
    uint16_t b = 0;
    uint32_t c = 0;
    uint64_t d = 0;
    int32_t e = 0;
    std::string s, empty = "unchanged", t;
    ASSERT_TRUE(r.u8(a) && r.u16(b) && r.u32(c) && r.u64(d) && r.i32(e) && r.cstring(s) &&
                r.cstring(empty));
    EXPECT_EQ(std::tuple(a, b, c, d, e, s, empty),
              std::tuple(0x01, 0x8302, 0x07060504u, 0x8E0E0D0C0B0A0908ull, -2, "hi", ""));
    EXPECT_EQ(r.remaining(), 2u);
    EXPECT_EQ(*r.position(), 'x');
    ASSERT_TRUE(r.text(t, 2));
    EXPECT_EQ(t, "xy");
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.ok());

    // A patch at an odd offset, one ending exactly at the end, and one a byte past it (ignored).
    w.patchU32(1, 0xAABBCCDD);
    w.patchU32(expected.size() - 4, 0x11223344);
    w.patchU32(expected.size() - 3, 0x55667788);
    expected[1] = 0xDD, expected[2] = 0xCC, expected[3] = 0xBB, expected[4] = 0xAA;
    expected[21] = 0x44, expected[22] = 0x33, expected[23] = 0x22, expected[24] = 0x11;
    EXPECT_EQ(w.data(), expected);

    // Copies and moves keep writing to a valid buffer; an external target is appended to.
    ByteWriter copy = w;
    ByteWriter moved = std::move(copy.u8(0x42));
    EXPECT_EQ(moved.u8(0x43).size(), expected.size() + 2);
    EXPECT_EQ(w.size(), expected.size());
    Bytes target = {0xEE};
    ByteWriter external(target);
    external.u16(0x1234);
    EXPECT_EQ(external.take(), (Bytes{0xEE, 0x34, 0x12}));
}

// Each read with exactly the bytes it needs succeeds; with one fewer it fails, moves nothing,
// and every later read fails too.
TEST(ByteOrder, ReaderFailsOneByteShortAndStaysFailed) {
    static uint8_t u8v, block[5];
    static uint16_t u16v;
    static uint32_t u32v;
    static int32_t i32v;
    static uint64_t u64v;
    static std::string textv;
    const Bytes bytes(16, 0x5A);
    const std::pair<size_t, bool (*)(ByteReader&)> reads[] = {
        {1, [](ByteReader& r) { return r.u8(u8v); }},
        {2, [](ByteReader& r) { return r.u16(u16v); }},
        {4, [](ByteReader& r) { return r.u32(u32v); }},
        {4, [](ByteReader& r) { return r.i32(i32v); }},
        {8, [](ByteReader& r) { return r.u64(u64v); }},
        {5, [](ByteReader& r) { return r.bytes(block, 5); }},
        {6, [](ByteReader& r) { return r.text(textv, 6); }},
        {7, [](ByteReader& r) { return r.skip(7); }},
    };
    for (const auto& [need, read] : reads) {
        ByteReader exact(bytes.data(), need);
        EXPECT_TRUE(read(exact)) << need;
        EXPECT_EQ(exact.remaining(), 0u);
        ByteReader shortOne(bytes.data(), need - 1);
        EXPECT_FALSE(read(shortOne)) << need;
        EXPECT_FALSE(shortOne.ok());
        EXPECT_EQ(shortOne.position(), bytes.data());
        EXPECT_EQ(shortOne.remaining(), 0u);
        EXPECT_FALSE(shortOne.u8(u8v));
        EXPECT_FALSE(shortOne.skip(0));
    }
    // A text without its terminator is not read, not even up to the end.
    for (size_t size : {0u, 2u}) {
        ByteReader r(size ? reinterpret_cast<const uint8_t*>("ab") : nullptr, size);
        std::string s = "unchanged";
        EXPECT_FALSE(r.cstring(s));
        EXPECT_EQ(s, "unchanged");
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.remaining(), 0u);
    }
}

} // namespace
