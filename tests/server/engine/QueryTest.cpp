// MSG_QUERY: each sub-request's delegate call, its reply byte by byte, and its failure form.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

Bytes queryBytes(uint8_t sub, uint32_t parameter) {
    return Bytes{sub} + le32(parameter);
}
Bytes queryBytes(uint8_t sub, uint32_t parameter, uint32_t second) {
    return queryBytes(sub, parameter) + le32(second);
}

std::vector<uint32_t> types(const std::vector<ReceivedMessage>& frames) {
    std::vector<uint32_t> out;
    for (const ReceivedMessage& m : frames)
        out.push_back(m.type);
    return out;
}

TEST_F(Engine, TrackInfoAndStatusRepliesAreByteExact) {
    TrackInfo t;
    t.isCurrent = 1;
    t.playbackFigure = 9;
    t.rating = 4;
    t.figureA = 0x0102;
    t.trackNumber = 7;
    t.index = 3;
    t.durationMs = 0x00030201;
    t.key.bytes.fill(0xAB);
    t.name = "N";
    t.artist = "Ar";
    t.album = "";
    t.genre = "G";
    fake.edit([&](Answers& a) { a.tracks[3] = t; });
    auto p = connectAndLogin();

    auto info = repliesToQuery(*p, Op::GetTrackInfo, queryBytes(QUERY_TRACK_INFO, 3));
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].type, uint32_t(MSG_TRACK_INFO));
    EXPECT_EQ(info[0].payload, le32(3) + le32(0x00030201) + Bytes({0x02, 0x01, 9, 4, 7, 0}) +
                                   Bytes(16, 0xAB) + Bytes({0x02, 1, 2, 0, 1}) + text0("N") +
                                   text0("Ar") + text0("") + text0("G"));
    EXPECT_TRUE(fake.called("getTrackInfo(3)"));
    // An index the player does not know: no reply. The parameter is taken as signed.
    EXPECT_TRUE(
        repliesToQuery(*p, Op::GetTrackInfo, queryBytes(QUERY_TRACK_INFO, 0xFFFFFFFF)).empty());
    EXPECT_TRUE(fake.called("getTrackInfo(-1)"));

    // The delegate's status goes out through the status codec (its value mappings are the
    // wire tests' concern).
    fake.edit([](Answers& a) { a.status = PlayerStatus{61000, 0, 2, 0x8080, 1}; });
    auto status = repliesToQuery(*p, Op::GetPlayerStatus, queryBytes(QUERY_PLAYER_STATUS, 0));
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].payload, le32(61000) + Bytes({1, 1, 2, 0x80, 0x80, 0x80}));
    fake.edit([](Answers& a) { a.status.reset(); });
    EXPECT_TRUE(
        repliesToQuery(*p, Op::GetPlayerStatus, queryBytes(QUERY_PLAYER_STATUS, 0)).empty());
}

// The second parameter exists only when the payload is exactly 9 bytes; then it gives the
// cover size (its low 16 bits, signed) and selects MSG_PLAYLIST_DETAILS.
TEST_F(Engine, SecondParameterCountsOnlyInANineBytePayload) {
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

TEST_F(Engine, CoverAndListQueriesGiveTheirFailureForms) {
    auto p = connectAndLogin();
    // No cover: MSG_TRACK_COVER_NONE, empty.
    auto none = repliesToQuery(*p, Op::GetTrackCover, queryBytes(QUERY_TRACK_COVER, 1));
    ASSERT_EQ(types(none), std::vector<uint32_t>{MSG_TRACK_COVER_NONE});
    EXPECT_TRUE(none[0].payload.empty());
    // Now playing: count 0 when the call fails and when the list is empty.
    auto failed = repliesToQuery(*p, Op::GetNowPlayingTracks, queryBytes(QUERY_NOW_PLAYING, 0));
    ASSERT_EQ(types(failed), std::vector<uint32_t>{MSG_NOW_PLAYING_LIST});
    EXPECT_EQ(failed[0].payload, le32(0));
    EXPECT_TRUE(fake.called("getNowPlayingTracks(1)"));
    fake.edit([](Answers& a) { a.nowPlaying.emplace(); });
    EXPECT_EQ(
        repliesToQuery(*p, Op::GetNowPlayingTracks, queryBytes(QUERY_NOW_PLAYING, 0))[0].payload,
        le32(0));
    // Playlist tracks: count 0 and the id, for an unknown list and for an empty one.
    fake.edit([](Answers& a) { a.playlistTracks[8] = {}; });
    for (uint32_t id : {7u, 8u}) {
        auto empty =
            repliesToQuery(*p, Op::GetPlaylistTracks, queryBytes(QUERY_PLAYLIST_TRACKS, id, 1));
        ASSERT_EQ(types(empty), std::vector<uint32_t>{MSG_PLAYLIST_TRACKS});
        EXPECT_EQ(empty[0].payload, le32(0) + le32(id));
    }
    // Track text: n = 0 and 16 zero bytes when the call fails.
    auto text = repliesToQuery(*p, Op::GetCurrentTrackText, queryBytes(QUERY_TRACK_TEXT, 0));
    ASSERT_EQ(types(text), std::vector<uint32_t>{MSG_TRACK_TEXT});
    EXPECT_EQ(text[0].payload, Bytes(20, 0));
    TrackKey key;
    key.bytes.fill(0x22);
    fake.edit([&](Answers& a) { a.trackText = Answers::TrackText{"lyrics", key}; });
    text = repliesToQuery(*p, Op::GetCurrentTrackText, queryBytes(QUERY_TRACK_TEXT, 0));
    EXPECT_EQ(text[0].payload, le32(6) + Bytes(16, 0x22) + text0("lyrics"));
}

TEST_F(Engine, CurrentIndexIsSentUnlessItIsNone) {
    auto p = connectAndLogin();
    for (const auto& [index, sent] : std::vector<std::pair<int32_t, bool>>{
             {0, true}, {player::kNoIndex, false}, {player::kAtEnd, true}, {0x01020304, true}}) {
        fake.edit([&](Answers& a) { a.currentIndex = index; });
        auto got = repliesToQuery(*p, Op::GetCurrentTrackIndex, queryBytes(QUERY_CURRENT_INDEX, 0));
        if (sent) {
            ASSERT_EQ(types(got), std::vector<uint32_t>{MSG_CURRENT_INDEX});
            EXPECT_EQ(got[0].payload, le32(uint32_t(index)));
        } else {
            EXPECT_TRUE(got.empty());
        }
    }
}

// Query 6 lists only the playlists whose flags are 0, whichever byte of the flags is set;
// query 13 lists every record with the flags' two bytes as entry flag bits 0 and 1.
TEST_F(Engine, PlaylistQueriesFilterAndFlagEntries) {
    auto p = connectAndLogin();
    auto playlists = [&] {
        return repliesToQuery(*p, Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS, 0));
    };
    auto playlistsEx = [&](uint32_t parameter) {
        return repliesToQuery(*p, Op::GetPlaylists, queryBytes(QUERY_PLAYLISTS_EX, parameter));
    };
    // The call fails: count 0, and for query 13 its failure form by parameter.
    EXPECT_EQ(playlists()[0].payload, le32(0));
    EXPECT_TRUE(fake.called("getPlaylists(-1)"));
    auto failedEx = playlistsEx(3);
    ASSERT_EQ(types(failedEx), std::vector<uint32_t>{MSG_PLAYLISTS_EX});
    EXPECT_EQ(failedEx[0].payload, le32(0) + le32(3) + le32(0));
    auto failedAll = playlistsEx(0xFFFFFFFF);
    ASSERT_EQ(types(failedAll), std::vector<uint32_t>{MSG_PLAYLISTS});
    EXPECT_EQ(failedAll[0].payload, le32(0));
    // It succeeds with nothing: no reply to either.
    fake.edit([](Answers& a) { a.playlists.emplace(); });
    EXPECT_TRUE(playlists().empty());
    EXPECT_TRUE(playlistsEx(3).empty());

    fake.edit([](Answers& a) {
        a.playlists = std::vector<PlaylistEntry>{{"A", 1, 10, 0x0000},
                                                 {"B", 2, 20, 0x0001},
                                                 {"C", 3, 30, 0x0100},
                                                 {"D", 4, 40, 0x8080},
                                                 {"E", -5, 50, 0x0000}};
    });
    EXPECT_EQ(playlists()[0].payload,
              le32(2) + le32(1) + le32(10) + text0("A") + le32(0xFFFFFFFB) + le32(50) + text0("E"));
    auto ex = playlistsEx(0x01020304);
    ASSERT_EQ(types(ex), std::vector<uint32_t>{MSG_PLAYLISTS_EX});
    EXPECT_EQ(ex[0].payload, le32(5) + le32(0x01020304) + Bytes({0, 0, 0, 0}) + le32(1) + le32(10) +
                                 le32(0) + text0("A") + le32(2) + le32(20) + le32(1) + text0("B") +
                                 le32(3) + le32(30) + le32(2) + text0("C") + le32(4) + le32(40) +
                                 le32(3) + text0("D") + le32(0xFFFFFFFB) + le32(50) + le32(0) +
                                 text0("E"));
    EXPECT_TRUE(fake.called("getPlaylists(16909060)"));
    // Every entry flagged: query 6 still answers, with count 0.
    fake.edit([](Answers& a) { a.playlists = std::vector<PlaylistEntry>{{"G", 9, 1, 0x0200}}; });
    EXPECT_EQ(playlists()[0].payload, le32(0));
}

TEST_F(Engine, CategoryQueriesAskForTheirKindAndAnswerWithTheParameterAsRequestId) {
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

TEST_F(Engine, EqualizerPresetsAndSleepTimerReplies) {
    auto p = connectAndLogin();
    // Equalizer: nothing when the call fails; the flags' bit 0 is "available".
    EXPECT_TRUE(repliesToQuery(*p, Op::GetEqualizer, queryBytes(QUERY_EQUALIZER, 0)).empty());
    fake.edit([](Answers& a) {
        a.equalizer = Answers::Equalizer{{"", {{60, 120}, {170, 80}}, 90}, true, 201, 11, 0};
    });
    auto eq = repliesToQuery(*p, Op::GetEqualizer, queryBytes(QUERY_EQUALIZER, 0));
    ASSERT_EQ(types(eq), std::vector<uint32_t>{MSG_EQUALIZER});
    EXPECT_EQ(eq[0].payload,
              (Bytes({2, 1, 11, 0, 201, 0, 90, 0, 0, 0, 60, 0, 120, 0, 170, 0, 80, 0})));
    fake.edit([](Answers& a) { a.equalizer->available = 2; });
    EXPECT_EQ(repliesToQuery(*p, Op::GetEqualizer, queryBytes(QUERY_EQUALIZER, 0))[0].payload[3],
              1);

    // Presets: whatever the call says, its names.
    auto presets =
        repliesToQuery(*p, Op::GetEqualizerPresets, queryBytes(QUERY_EQUALIZER_PRESETS, 0));
    ASSERT_EQ(types(presets), std::vector<uint32_t>{MSG_EQUALIZER_PRESETS});
    EXPECT_EQ(presets[0].payload, (Bytes({0, 0, 0, 0})));
    fake.edit([](Answers& a) {
        a.presets = std::vector<EqualizerPreset>(2);
        (*a.presets)[0].name = "Rock";
        (*a.presets)[1].name = "Pop";
    });
    EXPECT_EQ(repliesToQuery(*p, Op::GetEqualizerPresets, queryBytes(QUERY_EQUALIZER_PRESETS, 0))[0]
                  .payload,
              Bytes({2, 0, 0, 0}) + text0("Rock") + text0("Pop"));

    // Sleep timer: nothing when the call fails, else the push's message (its codes are
    // PushTest's).
    auto sleep = [&] {
        return repliesToQuery(*p, Op::GetSleepTimer, queryBytes(QUERY_SLEEP_TIMER, 0));
    };
    EXPECT_TRUE(sleep().empty());
    fake.edit([&](Answers& a) {
        a.sleepTimer = {true, player::SLEEP_MODE_AT_LIST_END, player::SLEEP_ACTION_SUSPEND, 30};
    });
    auto got = sleep();
    ASSERT_EQ(types(got), std::vector<uint32_t>{MSG_SLEEP_TIMER});
    EXPECT_EQ(got[0].payload, Bytes({1, 2, 3, 0}) + le32(30));
}

} // namespace
} // namespace engine_test
