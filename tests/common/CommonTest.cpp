#include "common/ByteOrder.h"
#include "common/Md5.h"
#include "common/Murmur3.h"
#include "common/Utf.h"
#include "common/Xtea.h"

#include <gtest/gtest.h>
#include <lz4.h>
#include <lz4hc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
std::string hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}
std::string hex(const Md5Digest& d) {
    return hex(d.data(), d.size());
}
} // namespace

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(hex(md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex(md5("a")), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(hex(md5("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex(md5("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(hex(md5("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(hex(md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(hex(md5("1234567890123456789012345678901234567890"
                      "1234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PaddingBoundariesAndSplitUpdatesAgree) {
    // 55, 56 and 64 bytes put the length in the same, a new, and the next block.
    EXPECT_EQ(hex(md5(std::string(55, 'a'))), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(hex(md5(std::string(56, 'a'))), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(hex(md5(std::string(64, 'a'))), "014842d480b571495a4a0363793f7367");
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char(i * 31 + 7);
    Md5Digest whole = md5(text);
    for (size_t step : {1u, 3u, 63u, 64u, 65u, 200u}) {
        Md5Context ctx;
        md5Init(ctx);
        for (size_t off = 0; off < text.size(); off += step)
            md5Update(ctx, text.data() + off, std::min(step, text.size() - off));
        EXPECT_EQ(md5Final(ctx), whole) << "step " << step;
    }
}

TEST(Xtea, SixtyFourCycleCbcVectorAndRoundTrip) {
    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    std::string plain = "Tandravole 4 MC!";
    std::vector<uint8_t> data(plain.begin(), plain.end());
    xteaCbcEncipher(data.data(), data.size(), key);
    EXPECT_EQ(hex(data.data(), data.size()), "3ef38b35e89405499432822c0f9eb6b3");
    xteaCbcDecipher(data.data(), data.size(), key);
    EXPECT_EQ(std::string(data.begin(), data.end()), plain);
}

TEST(Xtea, BlocksChainAndPartialTailIsUntouched) {
    const uint32_t key[4] = {1, 2, 3, 4};
    std::vector<uint8_t> data(20, 0x55); // two equal blocks and a 4-byte tail
    xteaCbcEncipher(data.data(), data.size(), key);
    EXPECT_NE(std::vector<uint8_t>(data.begin(), data.begin() + 8),
              std::vector<uint8_t>(data.begin() + 8, data.begin() + 16));
    EXPECT_EQ(std::vector<uint8_t>(data.begin() + 16, data.end()), std::vector<uint8_t>(4, 0x55));
    // The first block is plain XTEA (zero IV) with little-endian words.
    uint32_t v[2] = {0x55555555, 0x55555555};
    xteaEncipherBlock(v, key);
    EXPECT_EQ(loadLE32(data.data()), v[0]);
    EXPECT_EQ(loadLE32(data.data() + 4), v[1]);
    xteaDecipherBlock(v, key);
    EXPECT_EQ(v[0], 0x55555555u);
    xteaCbcDecipher(data.data(), data.size(), key);
    EXPECT_EQ(data, std::vector<uint8_t>(20, 0x55));
}

TEST(Utf, ConvertsEveryLengthAndSurrogatePairs) {
    std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"; // A é € 🎵
    std::u16string utf16 = u"A\u00E9\u20AC\U0001F3B5";
    EXPECT_EQ(utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
    ASSERT_EQ(utf16.size(), 5u);
    EXPECT_EQ(utf16[3], 0xD83C);
    EXPECT_EQ(utf16[4], 0xDFB5);
    EXPECT_EQ(utf8ToUtf16(""), u"");
    EXPECT_EQ(utf16ToUtf8(u"\u07FF\u0800\uFFFF"), "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
}

TEST(Utf, MalformedInputGivesEmptyText) {
    EXPECT_EQ(utf8ToUtf16("ok\xC3("), u"");                                 // bad continuation
    EXPECT_EQ(utf8ToUtf16("ok\xE2\x82"), u"");                              // truncated
    EXPECT_EQ(utf8ToUtf16("\x80"), u"");                                    // continuation as lead
    EXPECT_EQ(utf8ToUtf16("a\xF8\x88\x80\x80\x80"), u"");                   // no such lead byte
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"");                        // above U+10FFFF
    EXPECT_EQ(utf16ToUtf8(std::u16string(u"x") + char16_t(0xD800)), "");    // high at end
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), ""); // high + non-low
    EXPECT_EQ(utf16ToUtf8(std::u16string(u"x") + char16_t(0xDC00) + u"y"), ""); // lone low
    // A pair cut by the end of the view: the low half beyond it is not read.
    const std::u16string pair = std::u16string(u"x") + char16_t(0xD83C) + char16_t(0xDFB5);
    EXPECT_EQ(utf16ToUtf8(std::u16string_view(pair).substr(0, 2)), "");
}

TEST(Utf, OverlongFormsAndEncodedSurrogatesAreMalformed) {
    // Each shortest form next to the longest overlong one just below it.
    EXPECT_EQ(utf8ToUtf16("\xC2\x80"), u"\u0080");
    EXPECT_EQ(utf8ToUtf16("\xC1\xBF"), u"");
    EXPECT_EQ(utf8ToUtf16("\xC0\x80"), u""); // a NUL in two bytes
    EXPECT_EQ(utf8ToUtf16("\xE0\xA0\x80"), u"\u0800");
    EXPECT_EQ(utf8ToUtf16("\xE0\x9F\xBF"), u"");
    EXPECT_EQ(utf8ToUtf16("\xF0\x90\x80\x80"), u"\U00010000");
    EXPECT_EQ(utf8ToUtf16("ok\xF0\x8F\xBF\xBF"), u"");
    // Surrogates encoded on their own, at both ends of their range and just outside it.
    EXPECT_EQ(utf8ToUtf16("\xED\x9F\xBF"), u"\uD7FF");
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"");
    EXPECT_EQ(utf8ToUtf16("\xED\xBF\xBF"), u"");
    EXPECT_EQ(utf8ToUtf16("\xEE\x80\x80"), u"\uE000");
}

TEST(Murmur3, PublishedVectors) {
    EXPECT_EQ(murmur3_x86_32("", 0), 0u);
    EXPECT_EQ(murmur3_x86_32("", 1), 0x514E28B7u);
    EXPECT_EQ(murmur3_x86_32("", 0xFFFFFFFF), 0x81F16F39u);
    EXPECT_EQ(murmur3_x86_32("test", 0), 0xBA6BD213u);
    EXPECT_EQ(murmur3_x86_32("Hello, world!", 1234), 0xFAF6CDB3u);
    EXPECT_EQ(murmur3_x86_32("The quick brown fox jumps over the lazy dog", 0x9747B28C),
              0x2FA826CDu);
}

TEST(ByteOrder, WritesLittleEndianAndPatches) {
    ByteWriter w;
    w.u8(0x01).u16(0x0302).u32(0x07060504).u64(0x0F0E0D0C0B0A0908ull).i32(-2).cstring("hi");
    w.patchU32(1, 0xAABBCCDD);
    std::vector<uint8_t> expected = {0x01, 0xDD, 0xCC, 0xBB, 0xAA, 0x06, 0x07, 0x08,
                                     0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xFE,
                                     0xFF, 0xFF, 0xFF, 'h',  'i',  0x00};
    EXPECT_EQ(w.data(), expected);
    // Copies and moves keep writing to a valid buffer.
    ByteWriter copy = w;
    copy.u8(0x42);
    ByteWriter moved = std::move(copy);
    moved.u8(0x43);
    EXPECT_EQ(moved.size(), expected.size() + 2);
    EXPECT_EQ(w.size(), expected.size());
    std::vector<uint8_t> target = {0xEE};
    ByteWriter external(target);
    external.u16(0x1234);
    EXPECT_EQ(target, (std::vector<uint8_t>{0xEE, 0x34, 0x12}));
}

TEST(ByteOrder, ReaderFailsPastTheEndAndStaysFailed) {
    const uint8_t bytes[] = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 'a', 'b', 0, 'c'};
    ByteReader r(bytes, sizeof bytes);
    uint16_t a;
    uint32_t b;
    std::string s;
    ASSERT_TRUE(r.u16(a));
    ASSERT_TRUE(r.u32(b));
    EXPECT_EQ(a, 0x1234);
    EXPECT_EQ(b, 0x12345678u);
    ASSERT_TRUE(r.cstring(s));
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_FALSE(r.cstring(s)); // no terminator left
    uint8_t c;
    EXPECT_FALSE(r.u8(c)); // failed state sticks
    EXPECT_EQ(r.remaining(), 0u);
    ByteReader short_(bytes, 3);
    EXPECT_FALSE(short_.u32(b));
    EXPECT_FALSE(short_.skip(0) && short_.ok());
}

TEST(Lz4, BlockAndHighCompressionRoundTrip) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "Artist " + std::to_string(i % 37) + " - Album " + std::to_string(i % 11) + "\n";
    int bound = LZ4_compressBound(int(text.size()));
    std::vector<char> fast(static_cast<size_t>(bound)), high(static_cast<size_t>(bound));
    int fastSize = LZ4_compress_fast(text.data(), fast.data(), int(text.size()), bound, 1);
    int highSize = LZ4_compress_HC(text.data(), high.data(), int(text.size()), bound, 9);
    ASSERT_GT(fastSize, 0);
    ASSERT_GT(highSize, 0);
    EXPECT_LT(highSize, int(text.size()) / 4);
    for (auto [buffer, size] : {std::pair{&fast, fastSize}, std::pair{&high, highSize}}) {
        std::string back(text.size(), '\0');
        EXPECT_EQ(LZ4_decompress_safe(buffer->data(), back.data(), size, int(back.size())),
                  int(text.size()));
        EXPECT_EQ(back, text);
    }
}
