// Cutting the byte stream into frames (resynchronisation, frames at every size boundary) and
// the LZ4 envelope both ways. Long streams in odd pieces are the engine's slow-reader test's.
#include "server/wire/Frame.h"

#include "common/ByteOrder.h"

#include <gtest/gtest.h>

#include <random>

using namespace wire;
using Bytes = std::vector<uint8_t>;

namespace {

using Frames = std::vector<std::pair<uint32_t, Bytes>>;
Frames drain(FrameSplitter& s) {
    Frames out;
    for (ReceivedMessage m; s.next(m);)
        out.emplace_back(m.type, m.payload);
    return out;
}

void append(FrameSplitter& s, const Bytes& bytes) {
    s.append(bytes.data(), bytes.size());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The header byte for byte; a frame comes out with its twelfth header byte, or its last payload
// byte, and not before; a stated length far beyond what arrived is waited for until clear().
TEST(FrameSplitter, HeaderLayoutAndAFrameWaitsForItsLastByte) {
    EXPECT_EQ(buildFrame(0x0102, {0xAA}),
              (Bytes{0x3B, 0x87, 0xD9, 0x71, 0x02, 0x01, 0, 0, 1, 0, 0, 0, 0xAA}));
    const Bytes empty = buildFrame(MSG_QUIET, nullptr, 0);
    EXPECT_EQ(empty, (Bytes{0x3B, 0x87, 0xD9, 0x71, 16, 0, 0, 0, 0, 0, 0, 0}));
    const std::pair<Bytes, Frames> cases[] = {
        {empty, {{MSG_QUIET, {}}}},
        {buildFrame(MSG_SEARCH, {1, 2, 3, 4, 5}), {{MSG_SEARCH, {1, 2, 3, 4, 5}}}},
    };
    FrameSplitter s;
    for (const auto& [frame, expected] : cases) {
        s.append(frame.data(), frame.size() - 1);
        EXPECT_TRUE(drain(s).empty());
        EXPECT_EQ(s.buffered(), frame.size() - 1);
        s.append(&frame.back(), 1);
        EXPECT_EQ(drain(s), expected);
        EXPECT_EQ(s.buffered(), 0u);
    }
    append(s, {0x3B, 0x87, 0xD9, 0x71, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3});
    EXPECT_TRUE(drain(s).empty());
    EXPECT_EQ(s.buffered(), 15u);
    s.clear();
    EXPECT_EQ(s.buffered(), 0u);
}

TEST(FrameSplitter, ResynchronisesOnTheFirstWholeMagicAfterGarbage) {
    FrameSplitter s;
    // Five garbage bytes ending in a partial magic, and a partial magic overlapping the real
    // one (3B 3B 87 D9 71): only a whole magic starts a frame.
    const Bytes a = buildFrame(7, {1, 2, 3, 4, 5});
    const Bytes b = buildFrame(16, {});
    append(s, Bytes{0x01, 0x02, 0x03, 0x3B, 0x87} + a + Bytes{0x3B} + b);
    EXPECT_EQ(drain(s), (Frames{{7, {1, 2, 3, 4, 5}}, {16, {}}}));
    EXPECT_EQ(s.buffered(), 0u);

    // A magic right after the garbage with fewer than 12 bytes behind it is kept until the
    // rest arrives.
    const Bytes c = buildFrame(24, {9});
    append(s, Bytes(9, 0x55) + Bytes(c.begin(), c.begin() + 6));
    EXPECT_TRUE(drain(s).empty());
    EXPECT_EQ(s.buffered(), 6u);
    append(s, Bytes(c.begin() + 6, c.end()));
    EXPECT_EQ(drain(s), (Frames{{24, {9}}}));

    // Nothing without a whole magic is kept, not even a trailing part of one; the rest of
    // that magic then starts nothing, and the next real frame is still found.
    append(s, Bytes(9, 9) + Bytes{0x3B, 0x87, 0xD9});
    EXPECT_TRUE(drain(s).empty());
    EXPECT_EQ(s.buffered(), 0u);
    append(s, Bytes{0x71, 4, 0, 0, 0, 0, 0, 0, 0} + buildFrame(23, {}));
    EXPECT_EQ(drain(s), (Frames{{23, {}}}));
}

TEST(Envelope, BothModesOpenToTheExactPayloadUnderARightHeader) {
    Bytes text;
    for (int i = 0; i < 20000; ++i)
        text.push_back(uint8_t("now playing entry "[i % 18]));
    std::mt19937 rng(3);
    Bytes noise(5000);
    for (auto& b : noise)
        b = uint8_t(rng());
    for (const Bytes& payload : {text, noise}) {
        for (CompressionMode mode : {CompressionMode::Fast, CompressionMode::High}) {
            Bytes f =
                buildCompressedFrame(MSG_NOW_PLAYING_LIST, payload.data(), payload.size(), mode);
            ASSERT_GT(f.size(), 22u);
            // Magic, type, length; then the stated length, the inner type and two zero bytes.
            const uint32_t header[] = {0x71D9873B, MSG_COMPRESSED, uint32_t(f.size() - 12),
                                       uint32_t(payload.size()), MSG_NOW_PLAYING_LIST};
            for (size_t i = 0; i < 5; ++i)
                EXPECT_EQ(loadLE32(&f[4 * i]), header[i]) << i;
            EXPECT_EQ(loadLE16(&f[20]), 0);
            ReceivedMessage inner;
            ASSERT_TRUE(openCompressed(f.data() + 12, f.size() - 12, inner));
            EXPECT_EQ(std::pair(inner.type, inner.payload),
                      std::pair(uint32_t(MSG_NOW_PLAYING_LIST), payload));
            // A stated length the block does not fill, or overfills, is refused.
            storeLE32(&f[12], uint32_t(payload.size() + 1));
            EXPECT_FALSE(openCompressed(f.data() + 12, f.size() - 12, inner));
            storeLE32(&f[12], uint32_t(payload.size() - 1));
            EXPECT_FALSE(openCompressed(f.data() + 12, f.size() - 12, inner));
        }
    }
    Bytes f =
        buildCompressedFrame(MSG_LIBRARY_LIST, text.data(), text.size(), CompressionMode::High);
    EXPECT_LT(f.size(), text.size() / 4);
    EXPECT_TRUE(buildCompressedFrame(MSG_LIBRARY_LIST, nullptr, 0, CompressionMode::High).empty());
    EXPECT_TRUE(buildCompressedFrame(MSG_LIBRARY_LIST, nullptr, 0, CompressionMode::Fast).empty());
}

// An envelope is 10 bytes before its block; a stated length no block of that size can produce
// (about 255 times the block) is refused before anything is allocated or set.
TEST(Envelope, ShortEnvelopesAndImpossibleLengthsAreRefused) {
    ReceivedMessage inner;
    const Bytes emptyInner = {0, 0, 0, 0, 19, 0, 0, 0, 0, 0};
    ASSERT_TRUE(openCompressed(emptyInner.data(), 10, inner));
    EXPECT_EQ(std::pair(inner.type, inner.payload), std::pair(19u, Bytes{}));
    EXPECT_FALSE(openCompressed(emptyInner.data(), 9, inner));
    Bytes stray = emptyInner;
    stray.push_back(0);
    EXPECT_FALSE(openCompressed(stray.data(), stray.size(), inner));
    Bytes oneByte = emptyInner;
    oneByte[0] = 1;
    EXPECT_FALSE(openCompressed(oneByte.data(), oneByte.size(), inner));

    // The most compressible payload still opens.
    Bytes zeros(1 << 20, 0);
    Bytes z =
        buildCompressedFrame(MSG_LIBRARY_LIST, zeros.data(), zeros.size(), CompressionMode::High);
    ASSERT_TRUE(openCompressed(z.data() + 12, z.size() - 12, inner));
    EXPECT_EQ(inner.payload, zeros);

    // Two block bytes: at most 2 * 255 + 64 = 574 bytes. 574 is tried (and fails to
    // decompress); 575 is refused before the type is even read.
    Bytes two = {0, 0, 0, 0, 19, 0, 0, 0, 0, 0, 0x10, 'a'};
    storeLE32(two.data(), 574);
    ReceivedMessage tried;
    EXPECT_FALSE(openCompressed(two.data(), two.size(), tried));
    EXPECT_EQ(tried.type, 19u);
    for (uint32_t stated : {575u, 0x40000000u}) { // and 1 GiB
        ReceivedMessage refused;
        refused.type = 0xDEAD;
        storeLE32(two.data(), stated);
        EXPECT_FALSE(openCompressed(two.data(), two.size(), refused));
        EXPECT_EQ(std::pair(refused.type, refused.payload.capacity()),
                  std::pair(0xDEADu, size_t(0)));
    }
}

} // namespace
