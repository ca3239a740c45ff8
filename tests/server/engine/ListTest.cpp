// List replies and their envelope: whole up to 4096 bytes with the header, MSG_COMPRESSED
// above that; library lists with their kind codes, simplified for sessions without the
// extended-lists flag; search results; playlist details.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

std::vector<TrackInfo> oneEntry(size_t textLength) {
    TrackInfo t;
    t.index = 0;
    t.displayText = std::string(textLength, 'n');
    return {t};
}

// The whole message a list reply would be, header included, as the app receives it: a plain
// frame, or the contents of an envelope. Checks that an envelope holds exactly what
// high-compression LZ4 makes of the payload.
ReceivedMessage opened(const ReceivedMessage& m) {
    if (m.type != MSG_COMPRESSED)
        return m;
    ReceivedMessage inner;
    EXPECT_TRUE(openCompressed(m.payload.data(), m.payload.size(), inner));
    const Bytes expected = buildCompressedFrame(inner.type, inner.payload.data(),
                                                inner.payload.size(), CompressionMode::High);
    EXPECT_EQ(buildFrame(MSG_COMPRESSED, m.payload), expected);
    return inner;
}

// A reply of exactly 4096 bytes goes out whole; one byte more goes in the envelope, and the
// envelope opens to the same message.
TEST_F(Engine, ListRepliesAreWholeUpTo4096BytesAndEnvelopedAbove) {
    auto p = connectAndLogin("", 0);
    // MSG_NOW_PLAYING_LIST: 12 + 4 + (4 + text + 1).
    for (size_t length : {4075u, 4076u}) {
        fake.edit([&](Answers& a) { a.nowPlaying = oneEntry(length); });
        p->query(QUERY_NOW_PLAYING);
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type,
                  length == 4075 ? uint32_t(MSG_NOW_PLAYING_LIST) : uint32_t(MSG_COMPRESSED));
        ReceivedMessage inner = opened(m);
        EXPECT_EQ(inner.type, uint32_t(MSG_NOW_PLAYING_LIST));
        EXPECT_EQ(kHeaderSize + inner.payload.size(), length + 21);
        EXPECT_EQ(inner.payload, le32(1) + le32(0) + text0(std::string(length, 'n')));
    }
    // MSG_PLAYLIST_TRACKS: 12 + 8 + (4 + text + 1).
    for (size_t length : {4071u, 4072u}) {
        fake.edit([&](Answers& a) { a.playlistTracks[2] = oneEntry(length); });
        p->query(QUERY_PLAYLIST_TRACKS, 2);
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type,
                  length == 4071 ? uint32_t(MSG_PLAYLIST_TRACKS) : uint32_t(MSG_COMPRESSED));
        EXPECT_EQ(opened(m).payload, le32(1) + le32(2) + le32(0) + text0(std::string(length, 'n')));
    }
    // MSG_LIBRARY_LIST: 12 + 9 + (text + 1).
    for (size_t length : {4074u, 4075u}) {
        LibraryStringList artists(LIST_KIND_ARTISTS);
        artists.add(std::string(length, 'a'));
        fake.edit(
            [&](Answers& a) { a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists); });
        p->query(QUERY_ARTISTS, 6);
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type, length == 4074 ? uint32_t(MSG_LIBRARY_LIST) : uint32_t(MSG_COMPRESSED));
        EXPECT_EQ(opened(m).payload,
                  le32(6) + le32(1) + Bytes{0} + text0(std::string(length, 'a')));
    }
    // MSG_SEARCH_RESULTS (track names, as this session has no extended lists): 12 + 8 + name + 1.
    for (size_t length : {4075u, 4076u}) {
        TrackEntry<std::string> entry;
        entry.name = std::string(length, 's');
        LibraryTrackList found;
        found.add(entry);
        fake.edit([&](Answers& a) { a.searches["s"] = found; });
        p->sendRaw(MSG_SEARCH, le32(4) + text0("s"));
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type, length == 4075 ? uint32_t(MSG_SEARCH_RESULTS) : uint32_t(MSG_COMPRESSED));
        EXPECT_EQ(opened(m).payload, le32(4) + le32(1) + text0(std::string(length, 's')));
    }
}

// A list reply finished while the app has gone quiet: the whole message obeys the send rule
// and is held back, the envelope needs only the login and still leaves. Before login neither
// leaves.
TEST_F(Engine, WhileQuietOnlyTheEnvelopeOfALargeListLeaves) {
    fake.edit([](Answers& a) { a.nowPlaying = oneEntry(5000); });
    {
        Peer early(port);
        early.hello();
        early.query(QUERY_NOW_PLAYING);
        ASSERT_TRUE(fake.waitForCount(Op::GetNowPlayingTracks, 1));
        EXPECT_TRUE(early.within(100).empty());
    }
    ASSERT_TRUE(sessionEnded());

    auto p = connectAndLogin();
    auto queryNowPlaying = [&] { p->query(QUERY_NOW_PLAYING); };
    fake.edit([](Answers& a) { a.nowPlaying = oneEntry(4075); }); // exactly 4096 bytes
    EXPECT_TRUE(finishedWhileQuiet(*p, Op::GetNowPlayingTracks, queryNowPlaying).empty());
    fake.edit([](Answers& a) { a.nowPlaying = oneEntry(4076); });
    auto got = finishedWhileQuiet(*p, Op::GetNowPlayingTracks, queryNowPlaying);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, uint32_t(MSG_COMPRESSED));
    EXPECT_EQ(opened(got[0]).type, uint32_t(MSG_NOW_PLAYING_LIST));
}

TEST_F(Engine, LibraryListsCarryTheirKindCodeAndAreSimplifiedWithoutExtendedLists) {
    LibraryStringList artists(LIST_KIND_ARTISTS);
    artists.add("Ann");
    artists.add("Bo");
    LibraryAlbumList albums;
    albums.add({"X", "", 7});
    TrackEntry<std::string> hum;
    hum.artist = "A";
    hum.name = "Hum";
    hum.durationSeconds = 3;
    LibraryTrackList tracks;
    tracks.add(hum);
    fake.edit([&](Answers& a) {
        a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
        a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(albums);
        a.categories[player::CATEGORY_GENRES] = testkit::listOf(LibraryStringList(4));
        a.categories[player::CATEGORY_COMPOSERS] =
            testkit::listOf(LibraryStringList(LIST_KIND_COMPOSERS));
        a.libraryQuery = testkit::listOf(albums);
        a.searches["bee"] = tracks;
    });

    auto ext = connectAndLogin("", 1);
    ext->query(QUERY_ARTISTS, 0x0A0B0C0D);
    EXPECT_EQ(ext->next().payload,
              le32(0x0A0B0C0D) + le32(2) + Bytes{0} + text0("Ann") + text0("Bo"));
    ext->query(QUERY_ALBUMS, 1);
    EXPECT_EQ(ext->next().payload,
              (Bytes({1, 0, 0, 0, 1, 0, 0, 0, 6, 1, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 0x58, 0, 0})));
    // A list of a kind that has no code is not sent; an empty one is.
    EXPECT_TRUE(
        repliesTo(*ext, Op::ListLibraryCategory, [&] { ext->query(QUERY_GENRES, 2); }).empty());
    ext->query(QUERY_COMPOSERS, 3);
    EXPECT_EQ(ext->next().payload, (Bytes({3, 0, 0, 0, 0, 0, 0, 0, 4})));
    // Drill-down lists answer with the request id.
    ext->sendRaw(MSG_LIBRARY_QUERY_EX, le32(0x11) + le32(2) + text0("Ann"));
    ReceivedMessage drill = ext->next();
    ASSERT_EQ(drill.type, uint32_t(MSG_LIBRARY_LIST));
    EXPECT_EQ(Bytes(drill.payload.begin(), drill.payload.begin() + 9),
              le32(0x11) + le32(1) + Bytes{6});
    // A track search answers MSG_LIBRARY_LIST with the full tracks for this session.
    ext->sendRaw(MSG_SEARCH, le32(9) + text0("bee"));
    ReceivedMessage full = ext->next();
    ASSERT_EQ(full.type, uint32_t(MSG_LIBRARY_LIST));
    EXPECT_EQ(Bytes(full.payload.begin(), full.payload.begin() + 9), le32(9) + le32(1) + Bytes{7});
    ext.reset();
    ASSERT_TRUE(sessionEnded());

    auto basic = connectAndLogin("", 0);
    basic->query(QUERY_ALBUMS_2, 1);
    EXPECT_EQ(basic->next().payload, le32(1) + le32(2) + Bytes{5} + text0("X") + text0(""));
    basic->sendRaw(MSG_LIBRARY_QUERY, le32(0x12) + Bytes({0, 1, 0}) + text0("Ann"));
    EXPECT_EQ(basic->next().payload, le32(0x12) + le32(2) + Bytes{5} + text0("X") + text0(""));
    basic->sendRaw(MSG_SEARCH, le32(9) + text0("bee"));
    ReceivedMessage names = basic->next();
    ASSERT_EQ(names.type, uint32_t(MSG_SEARCH_RESULTS));
    EXPECT_EQ(names.payload, le32(9) + le32(1) + text0("Hum"));
    // A search that finds nothing, or a query without a list: no reply.
    EXPECT_TRUE(repliesTo(*basic, Op::SearchLibrary, [&] {
                    basic->sendRaw(MSG_SEARCH, le32(9) + text0("no"));
                }).empty());
    fake.edit([](Answers& a) { a.libraryQuery = nullptr; });
    EXPECT_TRUE(repliesTo(*basic, Op::QueryLibraryList, [&] {
                    basic->sendRaw(MSG_LIBRARY_QUERY, le32(0x13) + Bytes({1, 0, 0}) + text0("G"));
                }).empty());
}

} // namespace
} // namespace engine_test
