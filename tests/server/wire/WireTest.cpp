// Framing, resynchronisation, the LZ4 envelope and byte-exact message layouts.
#include "server/wire/Messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace wire;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes frameBytes(uint32_t type, const Bytes& payload) {
    return buildFrame(type, payload);
}

std::vector<ReceivedMessage> drain(FrameSplitter& s) {
    std::vector<ReceivedMessage> out;
    ReceivedMessage m;
    while (s.next(m))
        out.push_back(m);
    return out;
}

template <class M> Bytes payloadOf(const M& m) {
    return encodePayload(m);
}

// Decodes bytes as the server would (sent by the client) into M; false when dropped.
template <class M> bool decodeFromClient(const Bytes& payload, M& out) {
    bool called = false;
    bool ok = visitMessage(M::kType, payload.data(), payload.size(), Direction::ClientToServer,
                           [&](const auto& m) {
                               if constexpr (std::is_same_v<std::decay_t<decltype(m)>, M>) {
                                   out = m;
                                   called = true;
                               }
                           });
    return ok && called;
}

} // namespace

TEST(FrameSplitter, ResynchronisesAfterGarbageAndKeepsOrder) {
    FrameSplitter s;
    Bytes stream = {0x01, 0x02, 0x03, 0x3B, 0x87}; // five bytes of garbage, one a partial magic
    Bytes a = frameBytes(7, {1, 2, 3, 4, 5});
    Bytes b = frameBytes(16, {});
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.end());
    s.append(stream.data(), stream.size());
    auto got = drain(s);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, 7u);
    EXPECT_EQ(got[0].payload, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(got[1].type, 16u);
    EXPECT_TRUE(got[1].payload.empty());
    EXPECT_EQ(s.buffered(), 0u);
}

TEST(FrameSplitter, DiscardsEverythingWithoutAFullMagicIncludingATrailingPartOne) {
    FrameSplitter s;
    Bytes junk = {9, 9, 9, 9, 9, 9, 9, 9, 9, 0x3B, 0x87, 0xD9};
    s.append(junk.data(), junk.size());
    EXPECT_TRUE(drain(s).empty());
    EXPECT_EQ(s.buffered(), 0u);
    // The rest of that magic now starts nothing: the next real frame is still found.
    Bytes tail = {0x71, 4, 0, 0, 0, 0, 0, 0, 0};
    Bytes f = frameBytes(23, {});
    tail.insert(tail.end(), f.begin(), f.end());
    s.append(tail.data(), tail.size());
    auto got = drain(s);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, 23u);
}

TEST(FrameSplitter, AssemblesAFrameDeliveredOneByteAtATime) {
    FrameSplitter s;
    Bytes payload(300);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i);
    Bytes f = frameBytes(24, payload);
    for (size_t i = 0; i + 1 < f.size(); ++i) {
        s.append(&f[i], 1);
        ReceivedMessage m;
        ASSERT_FALSE(s.next(m)) << "complete after " << i + 1 << " bytes";
    }
    s.append(&f.back(), 1);
    auto got = drain(s);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, payload);
}

TEST(FrameSplitter, HeaderIsLittleEndianMagicTypeLength) {
    Bytes f = frameBytes(0x0102, {0xAA});
    EXPECT_EQ(f, (Bytes{0x3B, 0x87, 0xD9, 0x71, 0x02, 0x01, 0, 0, 1, 0, 0, 0, 0xAA}));
}

TEST(Envelope, BothModesDecompressToTheExactPayloadAndTheHeaderIsRight) {
    Bytes payload;
    for (int i = 0; i < 20000; ++i)
        payload.push_back(uint8_t("now playing entry "[i % 18]));
    for (CompressionMode mode : {CompressionMode::Fast, CompressionMode::High}) {
        Bytes f = buildCompressedFrame(MSG_NOW_PLAYING_LIST, payload.data(), payload.size(), mode);
        ASSERT_GT(f.size(), 22u);
        EXPECT_LT(f.size(), payload.size() / 4);
        EXPECT_EQ(loadLE32(&f[4]), uint32_t(MSG_COMPRESSED));
        EXPECT_EQ(loadLE32(&f[8]), f.size() - 12);
        EXPECT_EQ(loadLE32(&f[12]), payload.size());
        EXPECT_EQ(loadLE32(&f[16]), uint32_t(MSG_NOW_PLAYING_LIST));
        EXPECT_EQ(loadLE16(&f[20]), 0);
        ReceivedMessage inner;
        ASSERT_TRUE(openCompressed(f.data() + 12, f.size() - 12, inner));
        EXPECT_EQ(inner.type, uint32_t(MSG_NOW_PLAYING_LIST));
        EXPECT_EQ(inner.payload, payload);
        // A stated length that does not match the block is refused.
        storeLE32(&f[12], uint32_t(payload.size() + 1));
        EXPECT_FALSE(openCompressed(f.data() + 12, f.size() - 12, inner));
    }
    EXPECT_TRUE(buildCompressedFrame(MSG_LIBRARY_LIST, nullptr, 0, CompressionMode::High).empty());

    // The most compressible payload still opens; a stated length no block of that size can
    // produce is refused.
    Bytes zeros(1 << 20, 0);
    Bytes z =
        buildCompressedFrame(MSG_LIBRARY_LIST, zeros.data(), zeros.size(), CompressionMode::High);
    ReceivedMessage inner;
    ASSERT_TRUE(openCompressed(z.data() + 12, z.size() - 12, inner));
    EXPECT_EQ(inner.payload, zeros);
    Bytes liar = {0, 0, 0, 0x40, 19, 0, 0, 0, 0, 0, 0x10, 'a'}; // 1 GiB from 2 block bytes
    ReceivedMessage refused;
    EXPECT_FALSE(openCompressed(liar.data(), liar.size(), refused));
    EXPECT_EQ(refused.payload.capacity(), 0u); // refused before anything was allocated
}

TEST(Layouts, HelloLoginResultStatusIndexNoticeCapabilities) {
    HelloMessage hello;
    hello.passwordRequired = 1;
    hello.challenge = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(encodeFrame(hello), (Bytes{0x3B, 0x87, 0xD9, 0x71, 1, 0, 0, 0, 11, 0, 0, 0,
                                         0x02, 0x03, 1,    1,    2, 3, 4, 5, 6,  7, 8}));

    PlayerStatusMessage st;
    st.status = {0x01020304, 1, 2, 0x8080, 5};
    EXPECT_EQ(payloadOf(st), (Bytes{4, 3, 2, 1, 2, 1, 2, 0x80, 0x80, 0x80}));
    st.status = {0, 7, 3, 65535, 0}; // unknown state and repeat mode
    EXPECT_EQ(payloadOf(st), (Bytes{0, 0, 0, 0, 3, 0, 0, 255, 0xFF, 0xFF}));
    st.status.playState = 0;
    EXPECT_EQ(payloadOf(st)[4], 1);

    CurrentIndexMessage ci;
    ci.index = 0x11223344;
    EXPECT_EQ(payloadOf(ci), (Bytes{0x44, 0x33, 0x22, 0x11}));

    CapabilitiesMessage caps;
    CapabilityFlags flags{};
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12})
        flags[size_t(i)] = 1;
    EXPECT_EQ(capabilityMask(flags), 0x1CFFu);
    flags.fill(1);
    caps.mask = capabilityMask(flags);
    EXPECT_EQ(caps.mask, 0x77FFFFu);
    EXPECT_EQ(payloadOf(caps), (Bytes{0xFF, 0xFF, 0x77, 0, 0, 0, 0, 0}));
    flags.fill(0);
    flags[18] = 1;
    EXPECT_EQ(capabilityMask(flags), 1u << 20);
    flags[18] = 0;
    flags[19] = 1;
    EXPECT_EQ(capabilityMask(flags), 1u << 18);
}

TEST(Layouts, TrackInfoWithAndWithoutExtraBlock) {
    TrackInfoMessage m;
    m.track.isCurrent = 1;
    m.track.playbackFigure = 9;
    m.track.rating = 4;
    m.track.figureA = 0x0A0B;
    m.track.trackNumber = 3;
    m.track.index = 2;
    m.track.durationMs = 1000;
    m.track.key.bytes.fill(0xEE);
    m.track.name = "N";
    m.track.artist = "Ar";
    m.track.album = "";
    m.track.genre = "G";
    Bytes expected = {2, 0, 0, 0, 0xE8, 3, 0, 0, 0x0B, 0x0A, 9, 4, 3, 0};
    expected.insert(expected.end(), 16, 0xEE);
    expected.insert(expected.end(), {0x02, 1, 2, 0, 1, 'N', 0, 'A', 'r', 0, 0, 'G', 0});
    EXPECT_EQ(payloadOf(m), expected);
    EXPECT_EQ(payloadOf(m).size(), 39u + 4);

    // extra travels only when its first or third value is non-zero
    m.track.extra = {0, 5, 0, 0};
    EXPECT_EQ(payloadOf(m), expected);
    m.track.extra = {0, 5, 6, 0};
    m.track.isCurrent = 0;
    Bytes withExtra = payloadOf(m);
    ASSERT_EQ(withExtra.size(), expected.size() + 8);
    EXPECT_EQ(withExtra[30], 0x04);
    EXPECT_EQ(Bytes(withExtra.end() - 8, withExtra.end()), (Bytes{0, 0, 5, 0, 6, 0, 0, 0}));

    TrackInfoMessage back;
    ASSERT_TRUE(back.decode(withExtra.data(), withExtra.size()));
    EXPECT_EQ(back.track, m.track);
}

TEST(Layouts, TrackInfoClipsLongTextsAtACharacterBoundary) {
    TrackInfoMessage m;
    m.track.name = std::string(254, 'a') + "\xC3\xA9"; // 256 bytes, last character two bytes
    Bytes p = payloadOf(m);
    EXPECT_EQ(p[31], 254);
    EXPECT_EQ(p.size(), 39u + 254);
}

TEST(Layouts, ListsAndTextReplies) {
    NowPlayingListMessage np;
    np.entries = {{1, "A - B"}, {2, ""}};
    EXPECT_EQ(payloadOf(np),
              (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 'A', ' ', '-', ' ', 'B', 0, 2, 0, 0, 0, 0}));
    EXPECT_EQ(payloadOf(NowPlayingListMessage{}), (Bytes{0, 0, 0, 0}));

    PlaylistsMessage pl;
    pl.playlists = {{"Mix", 7, 12, 0}};
    EXPECT_EQ(payloadOf(pl), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 12, 0, 0, 0, 'M', 'i', 'x', 0}));

    PlaylistsExMessage ex;
    ex.parameter = 0xFFFFFFFF;
    ex.playlists = {{"X", 3, 1, 0x0100}};
    EXPECT_EQ(payloadOf(ex), (Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,   3,
                                    0, 0, 0, 1, 0,    0,    0,    2,    0, 0, 0, 'X', 0}));

    PlaylistTracksMessage pt;
    pt.playlistId = 9;
    EXPECT_EQ(payloadOf(pt), (Bytes{0, 0, 0, 0, 9, 0, 0, 0}));

    TrackTextMessage tt;
    EXPECT_EQ(payloadOf(tt), Bytes(20, 0));
    tt.ok = true;
    tt.text = "hi";
    tt.key.bytes.fill(1);
    Bytes text = {2, 0, 0, 0};
    text.insert(text.end(), 16, 1);
    text.insert(text.end(), {'h', 'i', 0});
    EXPECT_EQ(payloadOf(tt), text);

    TrackCoverMessage tc;
    tc.image = {0x89, 'P'};
    Bytes cover = {2, 0, 0, 0};
    cover.insert(cover.end(), 16, 0);
    cover.insert(cover.end(), {0x89, 'P'});
    EXPECT_EQ(payloadOf(tc), cover);

    UpdateNoticeMessage un;
    un.text = "new";
    EXPECT_EQ(payloadOf(un), (Bytes{4, 0, 0, 0, 0, 0, 'n', 'e', 'w', 0}));

    EqualizerPresetsMessage ep;
    ep.names = {"Rock", ""};
    EXPECT_EQ(payloadOf(ep), (Bytes{2, 0, 0, 0, 'R', 'o', 'c', 'k', 0, 0}));

    LibraryListMessage ll;
    ll.requestId = 5;
    ll.count = 2;
    ll.code = 0;
    ll.entries = {'A', 'n', 'n', 0, 'B', 'o', 0};
    EXPECT_EQ(encodeFrame(ll).size(), 21u + 7);
    EXPECT_EQ(payloadOf(ll), (Bytes{5, 0, 0, 0, 2, 0, 0, 0, 0, 'A', 'n', 'n', 0, 'B', 'o', 0}));
}

TEST(Layouts, PlaylistDetailsFullAndShortEntries) {
    PlaylistDetailsMessage m;
    m.list.playlistId = 4;
    m.list.name = "L";
    TrackInfo t;
    t.index = 1;
    t.durationMs = 2;
    t.figureA = 3;
    t.playbackFigure = 4;
    t.rating = 5;
    t.trackNumber = 6;
    t.extra = {7, 8, 9, 10};
    t.name = "n";
    t.artist = "ar";
    t.displayText = "ar - n";
    m.list.entries = {t};
    Bytes head = {1, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 'L', 0};
    Bytes first24 = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 4, 5, 6, 0, 7, 0, 8, 0, 9, 0, 10, 0, 0, 0};
    Bytes full = head;
    full.insert(full.end(), first24.begin(), first24.end());
    full.insert(full.end(), {1, 0, 2, 0, 0, 0, 0, 0, 'n', 0, 'a', 'r', 0, 0, 0});
    EXPECT_EQ(payloadOf(m), full);
    EXPECT_EQ(full.size() - head.size(), 32u + 3 + 4);

    m.list.wantDisplayText = 1;
    m.list.reserved = 1;
    Bytes shortForm = head;
    shortForm[10] = 3;
    shortForm.insert(shortForm.end(), first24.begin(), first24.end());
    shortForm.insert(shortForm.end(),
                     {6, 0, 0, 0, 0, 0, 0, 0, 'a', 'r', ' ', '-', ' ', 'n', 0, 0, 0, 0});
    EXPECT_EQ(payloadOf(m), shortForm);

    for (const Bytes& b : {full, shortForm}) {
        PlaylistDetailsMessage back;
        ASSERT_TRUE(back.decode(b.data(), b.size()));
        ASSERT_EQ(back.list.entries.size(), 1u);
        EXPECT_EQ(back.list.name, "L");
        EXPECT_EQ(back.list.entries[0].extra, t.extra);
    }
}

TEST(Layouts, EqualizerAndSleepTimerBothWays) {
    EqualizerMessage eq;
    eq.enabled = 1;
    eq.setting.preamp = 100;
    eq.setting.bands = {{60, 150}, {170, 0}};
    Bytes expected = {2, 1, 12, 1, 200, 0, 100, 0, 0, 0, 60, 0, 150, 0, 170, 0, 0, 0};
    EXPECT_EQ(payloadOf(eq), expected);
    EqualizerMessage in;
    ASSERT_TRUE(decodeFromClient(expected, in));
    EXPECT_EQ(in.setting.bands, eq.setting.bands);
    EXPECT_EQ(in.setting.preamp, 100);
    Bytes shortEq(expected.begin(), expected.end() - 1);
    EXPECT_FALSE(decodeFromClient(shortEq, in));
    EXPECT_FALSE(decodeFromClient(Bytes(9, 0), in));

    SleepTimerMessage st;
    st.enabled = true;
    st.mode = 1;
    st.action = 2;
    st.seconds = 600;
    EXPECT_EQ(payloadOf(st), (Bytes{1, 2, 3, 0, 0x58, 2, 0, 0}));
    st.mode = 2;
    EXPECT_FALSE(st.valid());
    SleepTimerMessage got;
    ASSERT_TRUE(decodeFromClient(Bytes{5, 1, 1, 0, 10, 0, 0, 0, 0xFF}, got));
    EXPECT_TRUE(got.enabled);
    EXPECT_EQ(got.mode, 0u);
    EXPECT_EQ(got.action, 0u);
    EXPECT_EQ(got.seconds, 10u);
    EXPECT_FALSE(decodeFromClient(Bytes{1, 3, 1, 0, 0, 0, 0, 0}, got)); // mode code 3
    EXPECT_FALSE(decodeFromClient(Bytes{1, 1, 4, 0, 0, 0, 0, 0}, got)); // action code 4
    EXPECT_FALSE(decodeFromClient(Bytes{1, 0, 1, 0, 0, 0, 0, 0}, got)); // mode code 0
    EXPECT_FALSE(decodeFromClient(Bytes{1, 1, 1, 0, 0, 0, 0}, got));    // 7 bytes
}

TEST(Layouts, CoverRequestAndReply) {
    CoverRequestMessage rq;
    rq.album = "Blue";
    rq.tag1 = 1;
    rq.tag2 = 0x00030002;
    rq.requestedSize = 200;
    rq.tag3 = 9;
    Bytes noArtist = {4, 0, 0, 0, 1, 0, 0, 0, 2, 0, 3, 0, 200, 0, 9, 0, 'B', 'l', 'u', 'e', 0};
    EXPECT_EQ(payloadOf(rq), noArtist);
    rq.hasArtist = true;
    rq.artist = "Jo";
    Bytes withArtist = noArtist;
    withArtist[15] = 1;
    withArtist.insert(withArtist.end(), {2, 0, 0, 0, 'J', 'o'});
    EXPECT_EQ(payloadOf(rq), withArtist);

    CoverRequestMessage back;
    ASSERT_TRUE(decodeFromClient(withArtist, back));
    EXPECT_EQ(back.artist, "Jo");
    EXPECT_EQ(back.requestedSize, 200);
    // An artist length running past the payload: the artist counts as absent.
    Bytes overrun = withArtist;
    overrun[21] = 3;
    ASSERT_TRUE(decodeFromClient(overrun, back));
    EXPECT_FALSE(back.hasArtist);
    EXPECT_EQ(back.artist, "");
    EXPECT_FALSE(decodeFromClient(Bytes(16, 0), back)); // n must exceed 16
    EXPECT_FALSE(decodeFromClient(Bytes(noArtist.begin(), noArtist.end() - 1), back)); // n <= L+16

    CoverMessage c;
    c.album = "Blue";
    c.artist = "Jo";
    c.image = {0xFF, 0xD8};
    c.tag1 = 1;
    c.tag2 = 2;
    c.tag3 = 3;
    Bytes frame = encodeFrame(c);
    EXPECT_EQ(frame.size(), 36u + 4 + 2 + 2);
    Bytes p(frame.begin() + 12, frame.end());
    EXPECT_EQ(p, (Bytes{4, 0, 0, 0, 2, 0, 0,   0,   2,   0,   0, 0,   1,   0, 0,    0,
                        2, 0, 0, 0, 3, 0, 'B', 'l', 'u', 'e', 0, 'J', 'o', 0, 0xFF, 0xD8}));
}

TEST(SizeRules, LoginQueryCommandAndFixedSizes) {
    LoginMessage login;
    Bytes seventeen(17, 0xAB);
    ASSERT_TRUE(decodeFromClient(seventeen, login));
    EXPECT_FALSE(login.hasOptions);
    EXPECT_EQ(login.keepaliveSeconds, 0);
    Bytes eighteen(16, 0xAB);
    eighteen.insert(eighteen.end(), {1, 5});
    ASSERT_TRUE(decodeFromClient(eighteen, login));
    EXPECT_EQ(login.extendedLists, 1);
    EXPECT_EQ(login.keepaliveSeconds, 5);
    EXPECT_FALSE(decodeFromClient(Bytes(15, 0), login));

    QueryMessage q;
    ASSERT_TRUE(decodeFromClient(Bytes{3, 1, 0, 0, 0, 0x40, 0, 0, 0}, q));
    EXPECT_EQ(q.second, 0x40u);
    ASSERT_TRUE(decodeFromClient(Bytes{3, 1, 0, 0, 0, 0x40, 0, 0, 0, 0}, q)); // 10: no second
    EXPECT_EQ(q.second, 0u);
    EXPECT_FALSE(decodeFromClient(Bytes{2, 0, 0, 0}, q));

    PlayerCommandMessage c;
    EXPECT_TRUE(decodeFromClient(Bytes{6, 0x80, 0, 0, 0}, c));
    EXPECT_FALSE(decodeFromClient(Bytes{6, 0x80, 0, 0}, c));
    EXPECT_FALSE(decodeFromClient(Bytes{6, 0x80, 0, 0, 0, 0}, c));
    EXPECT_EQ(volumeFromArgument(0x00000080), 0x8080);
    EXPECT_EQ(volumeFromArgument(0xFFFF0000), 0xFFFF);
    EXPECT_EQ(volumeFromArgument(0x12340180), 0x8080);
    EXPECT_EQ(volumeFromArgument(0x12340000), 0x1234);
    EXPECT_EQ(volumeFromArgument(0x12340080), 0x1234); // h non-zero and b1 zero: the 16-bit one
    EXPECT_EQ(volumeFromArgument(0), 0);

    SetRatingMessage r;
    EXPECT_FALSE(decodeFromClient(Bytes{}, r));
    EXPECT_FALSE(decodeFromClient(Bytes{1, 2}, r));
    ClearPlaylistMessage cl;
    EXPECT_FALSE(decodeFromClient(Bytes{1, 2, 3, 4, 5}, cl));
    MoveTrackMessage mt;
    EXPECT_FALSE(decodeFromClient(Bytes(11, 0), mt));
    FillNowPlayingMessage f;
    EXPECT_FALSE(decodeFromClient(Bytes(4, 0), f));
    AddSearchResultsAtMessage at;
    EXPECT_FALSE(decodeFromClient(Bytes(17, 0), at));
    ASSERT_TRUE(decodeFromClient(Bytes{1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 9, 9}, at));
    EXPECT_EQ(at.position, 4u);
    MoveNowPlayingMessage mn;
    EXPECT_FALSE(decodeFromClient(Bytes(7, 0), mn));
}

TEST(SizeRules, TextCarryingRequests) {
    CreatePlaylistMessage cp;
    ASSERT_TRUE(decodeFromClient(Bytes{3, 0, 0, 0, 'a', 'b', 'c', 0}, cp));
    EXPECT_EQ(cp.name, "abc");
    EXPECT_FALSE(decodeFromClient(Bytes{3, 0, 0, 0, 'a', 'b', 'c'}, cp));
    EXPECT_FALSE(decodeFromClient(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'a'}, cp)); // n + 5 overflows u32

    CreatePlaylistExMessage cpx;
    ASSERT_TRUE(decodeFromClient(Bytes{7, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'z', 0}, cpx));
    EXPECT_EQ(cpx.extra, 7u);
    EXPECT_EQ(cpx.name, "z");
    EXPECT_FALSE(decodeFromClient(Bytes{7, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'z'}, cpx));

    SearchMessage s;
    ASSERT_TRUE(decodeFromClient(Bytes{1, 0, 0, 0, 'a', 0}, s));
    EXPECT_EQ(s.text, "a");
    ASSERT_TRUE(decodeFromClient(Bytes{1, 0, 0, 0, 0}, s));
    EXPECT_EQ(s.text, "");
    EXPECT_FALSE(decodeFromClient(Bytes{1, 0, 0, 0, 'a'}, s));
    EXPECT_FALSE(decodeFromClient(Bytes{1, 0, 0, 0, 'a', 0, 'b', 0}, s));

    LibraryQueryMessage lq;
    ASSERT_TRUE(decodeFromClient(Bytes{1, 0, 0, 0, 0, 1, 1, 'A', 0, 'B', 0}, lq));
    EXPECT_EQ(lq.texts[1], "A");
    EXPECT_EQ(lq.texts[2], "B");
    EXPECT_FALSE(decodeFromClient(Bytes{1, 0, 0, 0, 0, 0, 0}, lq));         // no flag
    EXPECT_FALSE(decodeFromClient(Bytes{1, 0, 0, 0, 0, 1, 1, 'A', 0}, lq)); // text missing

    LibraryQueryExMessage lqx;
    ASSERT_TRUE(decodeFromClient(Bytes{2, 0, 0, 0, 0x09, 0, 0, 0, 'g', 0, 'c', 0}, lqx));
    EXPECT_EQ(lqx.texts[0], "g");
    EXPECT_EQ(lqx.texts[3], "c");
    EXPECT_FALSE(decodeFromClient(Bytes{2, 0, 0, 0, 0, 0, 0, 0}, lqx));

    LibraryAddExMessage lax;
    Bytes withPos = {5, 0, 0, 0, 0x02, 0, 0, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0, 3, 0, 0, 0};
    ASSERT_TRUE(decodeFromClient(withPos, lax));
    EXPECT_EQ(lax.texts[1], "a");
    EXPECT_EQ(lax.position, 3u);
    EXPECT_FALSE(decodeFromClient(Bytes(withPos.begin(), withPos.end() - 1), lax));
    ASSERT_TRUE(decodeFromClient(Bytes{5, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, lax));
    EXPECT_EQ(lax.position, 0xFFFFFFFEu);

    LibraryAddMessage la;
    EXPECT_FALSE(decodeFromClient(Bytes(19, 0), la));
}

TEST(Catalogue, DirectionsAndUnknownTypes) {
    EXPECT_STREQ(messageName(45), "MSG_COMPRESSED");
    EXPECT_EQ(messageName(17), nullptr);
    for (uint32_t t : {0u, 17u, 22u, 52u, 1000u})
        EXPECT_FALSE(isSentBy(t, Direction::ClientToServer)) << t;
    for (uint32_t t : {1u, 3u, 5u, 6u, 19u, 25u, 38u, 45u})
        EXPECT_FALSE(isSentBy(t, Direction::ClientToServer)) << t;
    for (uint32_t t : {23u, 48u, 51u}) {
        EXPECT_TRUE(isSentBy(t, Direction::ClientToServer)) << t;
        EXPECT_TRUE(isSentBy(t, Direction::ServerToClient)) << t;
    }
    int c2s = 0;
    for (uint32_t t = 0; t < 60; ++t)
        c2s += isSentBy(t, Direction::ClientToServer);
    EXPECT_EQ(c2s, 25);
    // A server-to-client type never reaches a server-side handler.
    Bytes status(10, 0);
    bool called = false;
    EXPECT_FALSE(visitMessage(MSG_PLAYER_STATUS, status.data(), status.size(),
                              Direction::ClientToServer, [&](const auto&) { called = true; }));
    EXPECT_FALSE(called);
}

// Random payloads of every type, both directions: decoders must never read out of bounds
// (run under ASan) and whatever they accept must encode again.
TEST(Catalogue, RandomPayloadsNeverCrashDecoders) {
    std::mt19937 rng(12345);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        size_t n = rng() % 64;
        Bytes p(n);
        for (auto& b : p)
            b = uint8_t(rng() % 4 == 0 ? 0 : rng());
        uint32_t type = rng() % 53;
        for (Direction d : {Direction::ClientToServer, Direction::ServerToClient})
            accepted += visitMessage(type, p.data(), p.size(), d, [](const auto& m) {
                ByteWriter w;
                m.encode(w);
            });
    }
    EXPECT_GT(accepted, 0);
}
