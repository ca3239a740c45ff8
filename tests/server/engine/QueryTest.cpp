// Queries: each sub-request's delegate call, reply and failure form; list replies whole up to
// 4096 bytes, enveloped above; library lists with their kind codes, and simplified without
// the extended-lists flag.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

struct Row {
    Op op;
    Bytes query;
    uint32_t type; // 0: no reply
    Bytes payload;
};

class Queries : public Engine {
protected:
    void expectReplies(Peer& p, std::initializer_list<Row> rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(::testing::PrintToString(row.query));
            auto got = repliesTo(p, row.op, [&] { p.sendRaw(MSG_QUERY, row.query); });
            ASSERT_EQ(got.size(), row.type ? 1u : 0u);
            EXPECT_TRUE(!row.type || (got[0].type == row.type && got[0].payload == row.payload));
        }
    }
};

TEST_F(Queries, FailedAndEmptyAnswersGiveTheirFailureForms) {
    fake.edit([](Answers& a) { a.status.reset(); });
    auto p = connectAndLogin();
    const auto q = [](uint8_t sub, uint32_t parameter, int second = -1) {
        return second < 0 ? queryBytes(sub, parameter) : queryBytes(sub, parameter, second);
    };
    // clang-format off
    expectReplies(*p, {
        {Op::GetTrackInfo, q(QUERY_TRACK_INFO, 0xFFFFFFFF), 0, {}},
        {Op::GetPlayerStatus, q(QUERY_PLAYER_STATUS, 0), 0, {}},
        {Op::GetTrackCover, q(QUERY_TRACK_COVER, 1), MSG_TRACK_COVER_NONE, {}},
        {Op::GetNowPlayingTracks, q(QUERY_NOW_PLAYING, 0), MSG_NOW_PLAYING_LIST, le32(0)},
        {Op::GetPlaylistTracks, q(QUERY_PLAYLIST_TRACKS, 7, 1), MSG_PLAYLIST_TRACKS,
         le32(0) + le32(7)},
        {Op::GetCurrentTrackText, q(QUERY_TRACK_TEXT, 0), MSG_TRACK_TEXT, Bytes(20, 0)},
        {Op::GetPlaylists, q(QUERY_PLAYLISTS, 0), MSG_PLAYLISTS, le32(0)},
        {Op::GetPlaylists, q(QUERY_PLAYLISTS_EX, 3), MSG_PLAYLISTS_EX, le32(0) + le32(3) + le32(0)},
        {Op::GetPlaylists, q(QUERY_PLAYLISTS_EX, 0xFFFFFFFF), MSG_PLAYLISTS, le32(0)},
        {Op::GetEqualizer, q(QUERY_EQUALIZER, 0), 0, {}},
        {Op::GetEqualizerPresets, q(QUERY_EQUALIZER_PRESETS, 0), MSG_EQUALIZER_PRESETS, le32(0)},
        {Op::GetSleepTimer, q(QUERY_SLEEP_TIMER, 0), 0, {}},
    });
    // clang-format on
    // The parameters are taken as signed.
    EXPECT_TRUE(fake.called("getTrackInfo(-1)"));
    EXPECT_TRUE(fake.called("getNowPlayingTracks(1)"));
    EXPECT_TRUE(fake.called("getPlaylists(-1)"));
    // Lists that are there but empty.
    fake.edit([](Answers& a) {
        a.nowPlaying.emplace();
        a.playlistTracks[8] = {};
        a.playlists.emplace();
    });
    // clang-format off
    expectReplies(*p, {
        {Op::GetNowPlayingTracks, q(QUERY_NOW_PLAYING, 0), MSG_NOW_PLAYING_LIST, le32(0)},
        {Op::GetPlaylistTracks, q(QUERY_PLAYLIST_TRACKS, 8, 1), MSG_PLAYLIST_TRACKS,
         le32(0) + le32(8)},
        {Op::GetPlaylists, q(QUERY_PLAYLISTS, 0), 0, {}},
        {Op::GetPlaylists, q(QUERY_PLAYLISTS_EX, 3), 0, {}},
    });
    // clang-format on
    // The current index is sent unless it is "none"; 0xFFFFFFFE is an index.
    for (int32_t index : {0, player::kNoIndex, player::kAtEnd}) {
        fake.edit([&](Answers& a) { a.currentIndex = index; });
        expectReplies(*p, {{Op::GetCurrentTrackIndex, q(QUERY_CURRENT_INDEX, 0),
                            index == player::kNoIndex ? 0u : uint32_t(MSG_CURRENT_INDEX),
                            le32(uint32_t(index))}});
    }
}

// The second parameter exists only when the payload is exactly 9 bytes; then it gives the
// cover size (its low 16 bits, signed) and selects MSG_PLAYLIST_DETAILS.
TEST_F(Queries, SecondParameterCountsOnlyInANineBytePayload) {
    TrackInfo track;
    track.index = 0;
    track.displayText = "A - S";
    fake.edit([&](Answers& a) {
        a.trackCovers[0] = {1, 2, 3};
        a.trackCoverKey.bytes.fill(0x11);
        a.playlistTracks[5] = {track};
    });
    auto p = connectAndLogin();
    expectReplies(*p, {{Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 0, 0x0001FFC0),
                        MSG_TRACK_COVER, le32(3) + Bytes(16, 0x11) + Bytes({1, 2, 3})}});
    EXPECT_TRUE(fake.called("getTrackCover(0,-64)"));
    fake.clearCalls();
    repliesTo(*p, Op::GetTrackCover, [&] {
        p->sendRaw(MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 0, 0x40) + Bytes{0});
        p->sendRaw(MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 0) + Bytes({0x40, 0, 0}));
    });
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"getTrackCover(0,0)", "getTrackCover(0,0)",
                                                      "getCurrentTrackText()"}));

    auto details = repliesTo(*p, Op::GetPlaylistTracks, [&] {
        p->sendRaw(MSG_QUERY, queryBytes(QUERY_PLAYLIST_TRACKS, 5, 1));
    });
    ASSERT_EQ(types(details), std::vector<uint32_t>{MSG_PLAYLIST_DETAILS});
    EXPECT_TRUE(fake.called("getPlaylistTracks(5,0)")); // full entries: the wire tests' layout
    expectReplies(*p, {{Op::GetPlaylistTracks, queryBytes(QUERY_PLAYLIST_TRACKS, 5, 1) + Bytes{0},
                        MSG_PLAYLIST_TRACKS, le32(1) + le32(5) + le32(0) + text0("A - S")}});
    EXPECT_TRUE(fake.called("getPlaylistTracks(5,1)"));
}

// Query 6 lists only the playlists whose flags are 0, whichever byte of the flags is set;
// query 13 lists every record with the flags' two bytes as entry flag bits 0 and 1.
TEST_F(Queries, PlaylistQueriesFilterAndFlagEntries) {
    fake.edit([](Answers& a) {
        a.playlists = std::vector<PlaylistEntry>{{"A", 1, 10, 0x0000},
                                                 {"B", 2, 20, 0x0001},
                                                 {"C", 3, 30, 0x0100},
                                                 {"D", 4, 40, 0x8080},
                                                 {"E", -5, 50, 0x0000}};
    });
    auto p = connectAndLogin();
    expectReplies(
        *p,
        {
            {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS, 0), MSG_PLAYLISTS,
             le32(2) + le32(1) + le32(10) + text0("A") + le32(0xFFFFFFFB) + le32(50) + text0("E")},
            {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS_EX, 0x01020304), MSG_PLAYLISTS_EX,
             le32(5) + le32(0x01020304) + Bytes({0, 0, 0, 0}) + le32(1) + le32(10) + le32(0) +
                 text0("A") + le32(2) + le32(20) + le32(1) + text0("B") + le32(3) + le32(30) +
                 le32(2) + text0("C") + le32(4) + le32(40) + le32(3) + text0("D") +
                 le32(0xFFFFFFFB) + le32(50) + le32(0) + text0("E")},
        });
    EXPECT_TRUE(fake.called("getPlaylists(16909060)"));
    // Every entry flagged: query 6 still answers, with count 0.
    fake.edit([](Answers& a) { a.playlists = std::vector<PlaylistEntry>{{"G", 9, 1, 0x0200}}; });
    expectReplies(*p, {{Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS, 0), MSG_PLAYLISTS, le32(0)}});
}

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

// A reply of exactly 4096 bytes goes out whole; one byte more goes in the envelope, which
// opens to the same message. While the app is quiet the whole message obeys the send rule and
// is held back; the envelope needs only the login and still leaves. Before login neither
// leaves.
TEST_F(Engine, ListRepliesAreWholeUpTo4096BytesAndEnvelopedAbove) {
    fake.edit([](Answers& a) { a.nowPlaying = oneEntry(5000); });
    {
        Peer early(port);
        early.hello();
        early.query(QUERY_NOW_PLAYING);
        ASSERT_TRUE(fake.waitForCount(Op::GetNowPlayingTracks, 1));
        EXPECT_TRUE(early.within(100).empty());
    }
    ASSERT_TRUE(sessionEnded());
    auto p = connectAndLogin(0);
    auto queryNowPlaying = [&] { p->query(QUERY_NOW_PLAYING); };
    // MSG_NOW_PLAYING_LIST: 12 + 4 + (4 + text + 1).
    for (size_t length : {4075u, 4076u}) {
        fake.edit([&](Answers& a) { a.nowPlaying = oneEntry(length); });
        queryNowPlaying();
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type,
                  length == 4075 ? uint32_t(MSG_NOW_PLAYING_LIST) : uint32_t(MSG_COMPRESSED));
        ReceivedMessage inner = opened(m);
        EXPECT_EQ(inner.type, uint32_t(MSG_NOW_PLAYING_LIST));
        EXPECT_EQ(inner.payload, le32(1) + le32(0) + text0(std::string(length, 'n')));
        auto quiet = finishedWhileQuiet(*p, Op::GetNowPlayingTracks, queryNowPlaying);
        EXPECT_EQ(types(quiet),
                  length == 4075 ? std::vector<uint32_t>{} : std::vector<uint32_t>{MSG_COMPRESSED});
    }
    // The two replies whose frames are built by hand: MSG_LIBRARY_LIST, 12 + 9 + (text + 1),
    // and MSG_SEARCH_RESULTS (track names without extended lists), 12 + 8 + (name + 1).
    for (size_t extra : {0u, 1u}) {
        const std::string text(4074 + extra, 'a'), name(4075 + extra, 's');
        LibraryStringList artists(LIST_KIND_ARTISTS);
        artists.entries = {text};
        LibraryTrackList found;
        found.entries = {{"", name, "", "", 0, 0, 0, 0, 0}};
        fake.edit([&](Answers& a) {
            a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
            a.searches["s"] = found;
        });
        p->query(QUERY_ARTISTS, 6);
        ReceivedMessage list = p->next();
        EXPECT_EQ(list.type, extra ? uint32_t(MSG_COMPRESSED) : uint32_t(MSG_LIBRARY_LIST));
        EXPECT_EQ(opened(list).payload, le32(6) + le32(1) + Bytes{0} + text0(text));
        p->sendRaw(MSG_SEARCH, le32(4) + text0("s"));
        ReceivedMessage names = p->next();
        EXPECT_EQ(names.type, extra ? uint32_t(MSG_COMPRESSED) : uint32_t(MSG_SEARCH_RESULTS));
        EXPECT_EQ(opened(names).payload, le32(4) + le32(1) + text0(name));
    }
}

TEST_F(Engine, LibraryListsCarryTheirKindCodeAndAreSimplifiedWithoutExtendedLists) {
    LibraryStringList artists(LIST_KIND_ARTISTS);
    artists.entries = {"Ann", "Bo"};
    LibraryAlbumList albums;
    albums.add({"X", "", 7});
    LibraryTrackList tracks;
    tracks.add(TrackEntry<std::string>{"A", "Hum", "", "", 3, 0, 0, 0, 0});
    fake.edit([&](Answers& a) {
        a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
        a.categories[player::CATEGORY_ALBUMS] = testkit::listOf(albums);
        a.categories[player::CATEGORY_GENRES] = testkit::listOf(LibraryStringList(4));
        a.categories[player::CATEGORY_COMPOSERS] =
            testkit::listOf(LibraryStringList(LIST_KIND_COMPOSERS));
        a.libraryQuery = testkit::listOf(albums);
        a.searches["bee"] = tracks;
    });

    auto ext = connectAndLogin(1);
    // Each category query asks for its kind and answers with the parameter as request id; a
    // list of a kind without a code (genres here) is not sent, an empty one is.
    const Bytes albumList = {9, 0, 0, 0, 1, 0, 0, 0, 6, 1,    0, 0,
                             0, 7, 0, 0, 0, 3, 0, 0, 0, 0x58, 0, 0};
    const std::tuple<uint8_t, uint32_t, Bytes> kinds[] = {
        {QUERY_ARTISTS, player::CATEGORY_ARTISTS,
         le32(9) + le32(2) + Bytes{0} + text0("Ann") + text0("Bo")},
        {QUERY_ALBUMS, player::CATEGORY_ALBUMS, albumList},
        {QUERY_GENRES, player::CATEGORY_GENRES, {}},
        {QUERY_COMPOSERS, player::CATEGORY_COMPOSERS, {9, 0, 0, 0, 0, 0, 0, 0, 4}},
        {QUERY_ALBUMS_2, player::CATEGORY_ALBUMS, albumList},
        {QUERY_ALBUMS_3, player::CATEGORY_ALBUMS, albumList},
    };
    for (const auto& [sub, kind, payload] : kinds) {
        SCOPED_TRACE(int(sub));
        fake.clearCalls();
        auto got = repliesTo(*ext, Op::ListLibraryCategory, [&] { ext->query(sub, 9); });
        ASSERT_EQ(got.size(), payload.empty() ? 0u : 1u);
        EXPECT_TRUE(payload.empty() || got[0].payload == payload);
        EXPECT_TRUE(fake.called("listLibraryCategory(" + std::to_string(kind) + ")"));
    }
    // Drill-down lists answer with the request id; a track search answers MSG_LIBRARY_LIST
    // with the full tracks for this session.
    auto head = [&](uint32_t type, const Bytes& payload) {
        ext->sendRaw(type, payload);
        ReceivedMessage m = ext->next();
        EXPECT_EQ(m.type, uint32_t(MSG_LIBRARY_LIST));
        return Bytes(m.payload.begin(), m.payload.begin() + std::min<size_t>(9, m.payload.size()));
    };
    EXPECT_EQ(head(MSG_LIBRARY_QUERY_EX, le32(0x11) + le32(2) + text0("Ann")),
              le32(0x11) + le32(1) + Bytes{6});
    EXPECT_EQ(head(MSG_SEARCH, le32(9) + text0("bee")), le32(9) + le32(1) + Bytes{7});
    ext.reset();
    ASSERT_TRUE(sessionEnded());

    auto basic = connectAndLogin(0);
    basic->query(QUERY_ALBUMS_2, 1);
    EXPECT_EQ(basic->next().payload, le32(1) + le32(2) + Bytes{5} + text0("X") + text0(""));
    basic->sendRaw(MSG_LIBRARY_QUERY, le32(0x12) + Bytes({0, 1, 0}) + text0("Ann"));
    EXPECT_EQ(basic->next().payload, le32(0x12) + le32(2) + Bytes{5} + text0("X") + text0(""));
    basic->sendRaw(MSG_SEARCH, le32(9) + text0("bee"));
    ReceivedMessage names = basic->next();
    EXPECT_EQ(names.type, uint32_t(MSG_SEARCH_RESULTS));
    EXPECT_EQ(names.payload, le32(9) + le32(1) + text0("Hum"));
    // A search that finds nothing, or a query without a list: no reply.
    fake.edit([](Answers& a) { a.libraryQuery = nullptr; });
    EXPECT_TRUE(repliesTo(*basic, Op::QueryLibraryList, [&] {
                    basic->sendRaw(MSG_SEARCH, le32(9) + text0("no"));
                    basic->sendRaw(MSG_LIBRARY_QUERY, le32(0x13) + Bytes({1, 0, 0}) + text0("G"));
                }).empty());
}

} // namespace
} // namespace engine_test
