// Little-endian packing at every alignment, and the reader's bounds at exactly the bytes left.
#include "common/ByteOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteOrder, FixedOffsetHelpersAtEveryAlignmentTouchOnlyTheirBytes) {
    for (size_t offset = 0; offset < 4; ++offset) {
        Bytes buffer(12, 0xEE);
        storeLE32(&buffer[offset], 0x80C1D2E3);
        Bytes expected(12, 0xEE);
        expected[offset] = 0xE3;
        expected[offset + 1] = 0xD2;
        expected[offset + 2] = 0xC1;
        expected[offset + 3] = 0x80;
        EXPECT_EQ(buffer, expected) << offset;
        // High bits do not spread: no sign extension on the way back.
        EXPECT_EQ(loadLE32(&buffer[offset]), 0x80C1D2E3u) << offset;
        EXPECT_EQ(loadLE16(&buffer[offset]), 0xD2E3) << offset;
        EXPECT_EQ(loadLE16(&buffer[offset + 2]), 0x80C1) << offset;
    }
    const uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(loadLE16(ones), 0xFFFF);
    EXPECT_EQ(loadLE32(ones), 0xFFFFFFFFu);
}

TEST(ByteOrder, WriterPacksEveryWidthAndPatchesOnlyInside) {
    ByteWriter w;
    w.u8(0x01).u16(0x0302).u32(0x07060504).u64(0x0F0E0D0C0B0A0908ull).i32(-2).cstring("hi");
    w.cstring("").bytes("xy").bytes(nullptr, 0);
    Bytes expected = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                      0x0E, 0x0F, 0xFE, 0xFF, 0xFF, 0xFF, 'h',  'i',  0x00, 0x00, 'x',  'y'};
    EXPECT_EQ(w.data(), expected);
    // A patch at an odd offset, one ending exactly at the end, and one a byte past it (ignored).
    w.patchU32(1, 0xAABBCCDD);
    w.patchU32(expected.size() - 4, 0x11223344);
    w.patchU32(expected.size() - 3, 0x55667788);
    expected[1] = 0xDD, expected[2] = 0xCC, expected[3] = 0xBB, expected[4] = 0xAA;
    expected[21] = 0x44, expected[22] = 0x33, expected[23] = 0x22, expected[24] = 0x11;
    EXPECT_EQ(w.data(), expected);

    // Copies and moves keep writing to a valid buffer; an external target is appended to.
    ByteWriter copy = w;
    copy.u8(0x42);
    ByteWriter moved = std::move(copy);
    moved.u8(0x43);
    EXPECT_EQ(moved.size(), expected.size() + 2);
    EXPECT_EQ(w.size(), expected.size());
    Bytes target = {0xEE};
    ByteWriter external(target);
    external.u16(0x1234);
    EXPECT_EQ(target, (Bytes{0xEE, 0x34, 0x12}));
    EXPECT_EQ(external.take(), (Bytes{0xEE, 0x34, 0x12}));
}

TEST(ByteOrder, ReaderReadsUnalignedValuesInOrder) {
    const Bytes bytes = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x08, 0x07, 0x06, 0x05, 0x04,
                         0x03, 0x02, 0x81, 0xFE, 0xFF, 0xFF, 0xFF, 'a',  'b',  0x00, 'c',  'd'};
    ByteReader r(bytes);
    uint8_t a = 0;
    uint16_t b = 0;
    uint32_t c = 0;
    uint64_t d = 0;
    int32_t e = 0;
    std::string s, t;
    ASSERT_TRUE(r.u8(a) && r.u16(b) && r.u32(c) && r.u64(d) && r.i32(e) && r.cstring(s));
    EXPECT_EQ(a, 0x01);
    EXPECT_EQ(b, 0x1234);
    EXPECT_EQ(c, 0x12345678u);
    EXPECT_EQ(d, 0x8102030405060708ull);
    EXPECT_EQ(e, -2);
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(r.remaining(), 2u);
    EXPECT_EQ(*r.position(), 'c');
    ASSERT_TRUE(r.text(t, 2));
    EXPECT_EQ(t, "cd");
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.ok());
}

// Each read with exactly the bytes it needs succeeds; with one fewer it fails, moves nothing,
// and every later read fails too.
TEST(ByteOrder, ReaderFailsOneByteShortAndStaysFailed) {
    const Bytes bytes(16, 0x5A);
    struct Read {
        size_t need;
        bool (*read)(ByteReader&);
    } reads[] = {
        {1,
         [](ByteReader& r) {
             uint8_t v;
             return r.u8(v);
         }},
        {2,
         [](ByteReader& r) {
             uint16_t v;
             return r.u16(v);
         }},
        {4,
         [](ByteReader& r) {
             uint32_t v;
             return r.u32(v);
         }},
        {4,
         [](ByteReader& r) {
             int32_t v;
             return r.i32(v);
         }},
        {8,
         [](ByteReader& r) {
             uint64_t v;
             return r.u64(v);
         }},
        {5,
         [](ByteReader& r) {
             uint8_t v[5];
             return r.bytes(v, 5);
         }},
        {6,
         [](ByteReader& r) {
             std::string v;
             return r.text(v, 6);
         }},
        {7, [](ByteReader& r) { return r.skip(7); }},
    };
    for (const Read& read : reads) {
        ByteReader exact(bytes.data(), read.need);
        EXPECT_TRUE(read.read(exact)) << read.need;
        EXPECT_EQ(exact.remaining(), 0u);
        ByteReader shortOne(bytes.data(), read.need - 1);
        EXPECT_FALSE(read.read(shortOne)) << read.need;
        EXPECT_FALSE(shortOne.ok());
        EXPECT_EQ(shortOne.position(), bytes.data());
        EXPECT_EQ(shortOne.remaining(), 0u);
        uint8_t after = 0;
        EXPECT_FALSE(shortOne.u8(after));
        EXPECT_FALSE(shortOne.skip(0));
    }
    // A text without its terminator is not read, not even up to the end.
    const uint8_t open[] = {'a', 'b'};
    ByteReader r(open, sizeof open);
    std::string s = "unchanged";
    EXPECT_FALSE(r.cstring(s));
    EXPECT_EQ(s, "unchanged");
    EXPECT_FALSE(r.ok());
    ByteReader nothing(nullptr, 0); // as an empty vector's data() gives it
    EXPECT_FALSE(nothing.cstring(s));
    EXPECT_FALSE(nothing.ok());
    const uint8_t empty[] = {0};
    ByteReader e(empty, 1);
    EXPECT_TRUE(e.cstring(s));
    EXPECT_EQ(s, "");
    EXPECT_EQ(e.remaining(), 0u);
}

} // namespace
