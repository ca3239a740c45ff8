// MD5 and MurmurHash3 against published vectors, XTEA-CBC against the reference XTEA code's
// output, at the block boundaries where padding and tails change shape.
#include "common/ByteOrder.h"
#include "common/Md5.h"
#include "common/Murmur3.h"
#include "common/Xtea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += {"0123456789abcdef"[p[i] >> 4], "0123456789abcdef"[p[i] & 15]};
    return s;
}

// RFC 1321's suite, then every padding shape: 55 bytes leave room for the length in the same
// block, 56..63 push it into a new one, 64 fills a block exactly; the same one block later.
TEST(Md5, Rfc1321SuiteAndEveryPaddingShapeAroundTheBlockBoundaries) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
        {std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(hex(md5(text).data(), 16), digest) << text.size() << " bytes";
    // Bytes above 0x7F are unsigned to the transform.
    std::vector<uint8_t> all(256);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = uint8_t(i);
    EXPECT_EQ(hex(md5(all.data(), all.size()).data(), 16), "e2c865db4162bed963bfaa9ef6ac18f0");
}

TEST(Md5, UpdatesInPiecesAgreeWithOneUpdate) {
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char(i * 31 + 7);
    const Md5Digest whole = md5(text);
    for (size_t step : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 200u}) {
        Md5Context ctx;
        md5Init(ctx);
        md5Update(ctx, text.data(), 0);
        for (size_t off = 0; off < text.size(); off += step)
            md5Update(ctx, text.data() + off, std::min(step, text.size() - off));
        EXPECT_EQ(md5Final(ctx), whole) << "step " << step;
    }
}

// The reference XTEA code run with 64 cycles gives these ciphers (with 32 it gives the published
// vectors).
TEST(Xtea, CbcChainsBlocksAndLeavesAPartialTailAlone) {
    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    std::string plain = "Tandravole 4 MC!";
    std::vector<uint8_t> data(plain.begin(), plain.end());
    xteaCbcEncipher(data.data(), data.size(), key);
    EXPECT_EQ(hex(data.data(), data.size()), "3ef38b35e89405499432822c0f9eb6b3");

    const uint32_t small[4] = {1, 2, 3, 4};
    std::vector<uint8_t> counting(24);
    for (size_t i = 0; i < counting.size(); ++i)
        counting[i] = uint8_t(i);
    const std::string cipher24 = "37329f9aafd94c2d4da1fafc9a053f45616f5f7d7082acab";
    // Lengths around one and two blocks: whole blocks are enciphered, the rest is untouched.
    for (size_t length : {0u, 7u, 8u, 9u, 15u, 16u, 17u, 23u, 24u}) {
        std::vector<uint8_t> buffer = counting;
        xteaCbcEncipher(buffer.data(), length, small);
        const size_t whole = length / 8 * 8;
        EXPECT_EQ(hex(buffer.data(), whole), cipher24.substr(0, 2 * whole)) << length;
        EXPECT_TRUE(std::equal(buffer.begin() + ptrdiff_t(whole), buffer.end(),
                               counting.begin() + ptrdiff_t(whole)))
            << length;
        xteaCbcDecipher(buffer.data(), length, small);
        EXPECT_EQ(buffer, counting) << length;
    }
}

// SMHasher's check of the x86 32-bit variant: keys 0, 0 1, 0 1 2, ... of every length from 0
// to 255, each hashed with seed 256 - length; the 256 hashes (little-endian) hashed with seed
// 0 give 0xB0F57EE3. Every tail length and block count takes part.
TEST(Murmur3, SmhasherVerificationValueAndPublishedVectors) {
    std::vector<uint8_t> key(256), hashes(256 * 4);
    for (size_t i = 0; i < 256; ++i) {
        key[i] = uint8_t(i);
        storeLE32(&hashes[4 * i], murmur3_x86_32(key.data(), i, uint32_t(256 - i)));
    }
    EXPECT_EQ(murmur3_x86_32(hashes.data(), hashes.size(), 0), 0xB0F57EE3u);
    // The text overload with a published vector.
    EXPECT_EQ(murmur3_x86_32("The quick brown fox jumps over the lazy dog", 0x9747B28C),
              0x2FA826CDu);
}

} // namespace
