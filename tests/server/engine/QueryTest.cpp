// MSG_QUERY: each sub-request's delegate call, its reply, and its failure form (the reply
// layouts are the wire tests').
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
            auto got = repliesToQuery(p, row.op, row.query);
            ASSERT_EQ(types(got),
                      row.type ? std::vector<uint32_t>{row.type} : std::vector<uint32_t>{});
            if (row.type) {
                EXPECT_EQ(got[0].payload, row.payload);
            }
        }
    }
};

TEST_F(Queries, FailedAndEmptyAnswersGiveTheirFailureForms) {
    fake.edit([](Answers& a) { a.status.reset(); });
    auto p = connectAndLogin();
    expectReplies(
        *p,
        {
            {Op::GetTrackInfo, queryBytes(QUERY_TRACK_INFO, 0xFFFFFFFF), 0, {}},
            {Op::GetPlayerStatus, queryBytes(QUERY_PLAYER_STATUS, 0), 0, {}},
            {Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 1), MSG_TRACK_COVER_NONE, {}},
            {Op::GetNowPlayingTracks, queryBytes(QUERY_NOW_PLAYING, 0), MSG_NOW_PLAYING_LIST,
             le32(0)},
            {Op::GetPlaylistTracks, queryBytes(QUERY_PLAYLIST_TRACKS, 7, 1), MSG_PLAYLIST_TRACKS,
             le32(0) + le32(7)},
            {Op::GetCurrentTrackText, queryBytes(QUERY_TRACK_TEXT, 0), MSG_TRACK_TEXT,
             Bytes(20, 0)},
            {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS, 0), MSG_PLAYLISTS, le32(0)},
            {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS_EX, 3), MSG_PLAYLISTS_EX,
             le32(0) + le32(3) + le32(0)},
            {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS_EX, 0xFFFFFFFF), MSG_PLAYLISTS, le32(0)},
            {Op::GetEqualizer, queryBytes(QUERY_EQUALIZER, 0), 0, {}},
            {Op::GetEqualizerPresets, queryBytes(QUERY_EQUALIZER_PRESETS, 0), MSG_EQUALIZER_PRESETS,
             le32(0)},
            {Op::GetSleepTimer, queryBytes(QUERY_SLEEP_TIMER, 0), 0, {}},
        });
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
    expectReplies(*p, {
                          {Op::GetNowPlayingTracks, queryBytes(QUERY_NOW_PLAYING, 0),
                           MSG_NOW_PLAYING_LIST, le32(0)},
                          {Op::GetPlaylistTracks, queryBytes(QUERY_PLAYLIST_TRACKS, 8, 1),
                           MSG_PLAYLIST_TRACKS, le32(0) + le32(8)},
                          {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS, 0), 0, {}},
                          {Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS_EX, 3), 0, {}},
                      });
    // The current index is sent unless it is "none"; 0xFFFFFFFE is an index.
    for (int32_t index : {0, player::kNoIndex, player::kAtEnd}) {
        fake.edit([&](Answers& a) { a.currentIndex = index; });
        expectReplies(*p, {{Op::GetCurrentTrackIndex, queryBytes(QUERY_CURRENT_INDEX, 0),
                            index == player::kNoIndex ? 0u : uint32_t(MSG_CURRENT_INDEX),
                            le32(uint32_t(index))}});
    }
}

TEST_F(Queries, AnswersReachTheAppAsTheDelegateGaveThem) {
    TrackInfo t;
    t.isCurrent = 1;
    t.index = 3;
    t.durationMs = 0x00030201;
    t.key.bytes.fill(0xAB);
    t.name = "N";
    TrackKey key;
    key.bytes.fill(0x22);
    fake.edit([&](Answers& a) {
        a.tracks[3] = t;
        a.trackText = Answers::TrackText{"lyrics", key};
        a.equalizer = Answers::Equalizer{{"", {{60, 120}, {170, 80}}, 90}, true, 201, 11, 0};
        a.presets = std::vector<EqualizerPreset>(2);
        (*a.presets)[0].name = "Rock";
        (*a.presets)[1].name = "Pop";
        a.sleepTimer = {true, player::SLEEP_MODE_AT_LIST_END, player::SLEEP_ACTION_SUSPEND, 30};
    });
    auto p = connectAndLogin();
    auto info = repliesToQuery(*p, Op::GetTrackInfo, queryBytes(QUERY_TRACK_INFO, 3));
    ASSERT_EQ(types(info), std::vector<uint32_t>{MSG_TRACK_INFO});
    TrackInfoMessage back;
    ASSERT_TRUE(back.decode(info[0].payload.data(), info[0].payload.size()));
    EXPECT_EQ(back.track, t);
    expectReplies(*p,
                  {
                      {Op::GetPlayerStatus, queryBytes(QUERY_PLAYER_STATUS, 0), MSG_PLAYER_STATUS,
                       le32(61000) + Bytes({1, 1, 2, 0x80, 0x80, 0x80})},
                      {Op::GetCurrentTrackText, queryBytes(QUERY_TRACK_TEXT, 0), MSG_TRACK_TEXT,
                       le32(6) + Bytes(16, 0x22) + text0("lyrics")},
                      // The flags' bit 0 is "available".
                      {Op::GetEqualizer, queryBytes(QUERY_EQUALIZER, 0), MSG_EQUALIZER,
                       Bytes({2, 1, 11, 0, 201, 0, 90, 0, 0, 0, 60, 0, 120, 0, 170, 0, 80, 0})},
                      {Op::GetEqualizerPresets, queryBytes(QUERY_EQUALIZER_PRESETS, 0),
                       MSG_EQUALIZER_PRESETS, Bytes({2, 0, 0, 0}) + text0("Rock") + text0("Pop")},
                      {Op::GetSleepTimer, queryBytes(QUERY_SLEEP_TIMER, 0), MSG_SLEEP_TIMER,
                       Bytes({1, 2, 3, 0}) + le32(30)},
                  });
}

// The second parameter exists only when the payload is exactly 9 bytes; then it gives the
// cover size (its low 16 bits, signed) and selects MSG_PLAYLIST_DETAILS.
TEST_F(Queries, SecondParameterCountsOnlyInANineBytePayload) {
    fake.edit([](Answers& a) {
        a.trackCovers[0] = {1, 2, 3};
        a.trackCoverKey.bytes.fill(0x11);
        a.playlistTracks[5] = {{.playbackFigure = 4,
                                .rating = 5,
                                .figureA = 3,
                                .trackNumber = 6,
                                .extra = {0, 11, 0, 0},
                                .index = 0,
                                .durationMs = 1000,
                                .key = {},
                                .name = "S",
                                .artist = "A",
                                .album = "L",
                                .genre = "G",
                                .displayText = "A - S"}};
    });
    auto p = connectAndLogin();

    auto cover =
        repliesToQuery(*p, Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 0, 0x0001FFC0));
    ASSERT_EQ(cover.size(), 1u);
    EXPECT_EQ(cover[0].type, uint32_t(MSG_TRACK_COVER));
    EXPECT_EQ(cover[0].payload, le32(3) + Bytes(16, 0x11) + Bytes({1, 2, 3}));
    EXPECT_TRUE(fake.called("getTrackCover(0,-64)"));
    fake.clearCalls();
    repliesToQuery(*p, Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 0, 0x40) + Bytes{0});
    repliesToQuery(*p, Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 0) + Bytes({0x40, 0, 0}));
    EXPECT_EQ(fake.calls(),
              (std::vector<std::string>{"getTrackCover(0,0)", "getCurrentTrackText()",
                                        "getTrackCover(0,0)", "getCurrentTrackText()"}));

    auto details =
        repliesToQuery(*p, Op::GetPlaylistTracks, queryBytes(QUERY_PLAYLIST_TRACKS, 5, 1));
    ASSERT_EQ(types(details), std::vector<uint32_t>{MSG_PLAYLIST_DETAILS});
    EXPECT_TRUE(fake.called("getPlaylistTracks(5,0)"));
    // Full entries: every figure and text of the record travels.
    EXPECT_EQ(details[0].payload, le32(1) + le32(5) + Bytes({0, 0, 0}) + text0("") + le32(0) +
                                      le32(1000) + Bytes({3, 0, 4, 5, 6, 0}) +
                                      Bytes({0, 0, 11, 0, 0, 0, 0, 0}) + Bytes({0, 0}) +
                                      Bytes({1, 0, 1, 0, 1, 0, 1, 0}) + text0("S") + text0("A") +
                                      text0("L") + text0("G"));
    auto plain = repliesToQuery(*p, Op::GetPlaylistTracks,
                                queryBytes(QUERY_PLAYLIST_TRACKS, 5, 1) + Bytes{0});
    ASSERT_EQ(types(plain), std::vector<uint32_t>{MSG_PLAYLIST_TRACKS});
    EXPECT_EQ(plain[0].payload, le32(1) + le32(5) + le32(0) + text0("A - S"));
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

TEST_F(Queries, CategoryQueriesAskForTheirKindAndAnswerWithTheParameterAsRequestId) {
    auto p = connectAndLogin();
    const std::pair<uint8_t, uint32_t> cases[] = {
        {QUERY_ARTISTS, player::CATEGORY_ARTISTS}, {QUERY_ALBUMS, player::CATEGORY_ALBUMS},
        {QUERY_GENRES, player::CATEGORY_GENRES},   {QUERY_COMPOSERS, player::CATEGORY_COMPOSERS},
        {QUERY_ALBUMS_2, player::CATEGORY_ALBUMS}, {QUERY_ALBUMS_3, player::CATEGORY_ALBUMS},
    };
    for (const auto& [sub, kind] : cases) {
        SCOPED_TRACE(int(sub));
        // Unknown to the player: no reply.
        fake.clearCalls();
        EXPECT_TRUE(repliesToQuery(*p, Op::ListLibraryCategory, queryBytes(sub, 9)).empty());
        EXPECT_TRUE(fake.called("listLibraryCategory(" + std::to_string(kind) + ")"));
        LibraryStringList list(LIST_KIND_GENRES);
        list.add("x" + std::to_string(sub));
        fake.edit([&](Answers& a) { a.categories[kind] = testkit::listOf(list); });
        auto got = repliesToQuery(*p, Op::ListLibraryCategory, queryBytes(sub, 0x0A0B0C0D));
        ASSERT_EQ(types(got), std::vector<uint32_t>{MSG_LIBRARY_LIST});
        EXPECT_EQ(got[0].payload,
                  le32(0x0A0B0C0D) + le32(1) + Bytes{2} + text0("x" + std::to_string(sub)));
        fake.edit([&](Answers& a) { a.categories.clear(); });
    }
}

} // namespace
} // namespace engine_test
