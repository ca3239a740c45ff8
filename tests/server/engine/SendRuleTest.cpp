// The send rule: what leaves before login, and what leaves while the app is quiet. While
// quiet only MSG_KEEPALIVE, MSG_CAPABILITIES, MSG_SERVER_NOTICE, MSG_EQUALIZER,
// MSG_EQUALIZER_PRESETS, MSG_TRACK_TEXT and envelopes leave (they need only the login);
// MSG_HELLO, MSG_LOGIN_RESULT and cover replies need neither.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

// Every sending operation once, in a fixed order.
void pushEverything(WinampControlServer& server) {
    server.sendTrackInfo(TrackInfo{});
    server.sendPlayerStatus(PlayerStatus{});
    server.sendCurrentIndex(1);
    server.sendListChanged(player::kNowPlayingU);
    server.sendListChanged(3);
    server.sendPlaylistsChanged();
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_TIME, player::SLEEP_ACTION_STOP, 5);
    server.sendUpdateNotice("v");
    server.sendKeepalive();
    server.sendCapabilities();
    server.sendServerNotice(NOTICE_SUSPEND);
    server.sendEqualizer(EqualizerSetting{}, 200, 12, 1, true);
}

// Before login nothing is pushed; while quiet only the pushes that need just the login leave.
TEST_F(Engine, PushesLeaveAfterLoginAndWhileQuietOnlyTheLoginOnlyOnes) {
    Peer p(port);
    p.hello();
    pushEverything(server);
    // Anything pushed would have arrived before the login result.
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p.next().type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
    p.sendRaw(MSG_QUIET, {1, 2, 3}); // its payload is ignored
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    auto quiet = repliesTo(p, Op::GetTrackInfo, [&] { pushEverything(server); });
    EXPECT_EQ(types(quiet), (std::vector<uint32_t>{MSG_KEEPALIVE, MSG_CAPABILITIES,
                                                   MSG_SERVER_NOTICE, MSG_EQUALIZER}));
    // The marker query ended the quiet: everything leaves again.
    EXPECT_FALSE(server.quiet());
    auto loud = repliesTo(p, Op::GetTrackInfo, [&] { pushEverything(server); });
    EXPECT_EQ(types(loud),
              (std::vector<uint32_t>{
                  MSG_TRACK_INFO, MSG_PLAYER_STATUS, MSG_CURRENT_INDEX, MSG_NOW_PLAYING_CHANGED,
                  MSG_PLAYLIST_CHANGED, MSG_PLAYLISTS_CHANGED, MSG_SLEEP_TIMER, MSG_UPDATE_NOTICE,
                  MSG_KEEPALIVE, MSG_CAPABILITIES, MSG_SERVER_NOTICE, MSG_EQUALIZER}));
}

// Each reply is held in its delegate call until the app has gone quiet.
TEST_F(Engine, WhileQuietOnlyTheLoginOnlyRepliesLeave) {
    LibraryStringList artists(LIST_KIND_ARTISTS);
    artists.add("Ann");
    fake.edit([&](Answers& a) {
        a.tracks[0] = TrackInfo{};
        a.trackCovers[0] = {1};
        a.nowPlaying.emplace();
        a.playlists = std::vector<PlaylistEntry>{{"P", 1, 1, 0}};
        a.categories[player::CATEGORY_ARTISTS] = testkit::listOf(artists);
        a.searches["s"] = LibraryTrackList{};
        // Over the compression threshold: library lists and search results are held back
        // whole, although an envelope needs only the login.
        TrackEntry<std::string> long_;
        long_.name = std::string(5000, 'n');
        a.searches["big"].add(long_);
        LibraryStringList many(LIST_KIND_ARTISTS);
        many.add(std::string(5000, 'a'));
        a.libraryQuery = testkit::listOf(many);
        a.trackText = Answers::TrackText{"t", {}};
        a.equalizer.emplace();
        a.presets.emplace();
        a.sleepTimer.emplace();
    });
    auto p = connectAndLogin("", 0);
    struct Case {
        Op op;
        uint32_t type;
        Bytes payload;
        uint32_t leaves; // 0: held back
    };
    const Case cases[] = {
        {Op::GetTrackInfo, MSG_QUERY, queryBytes(QUERY_TRACK_INFO, 0), 0},
        {Op::GetPlayerStatus, MSG_QUERY, queryBytes(QUERY_PLAYER_STATUS, 0), 0},
        {Op::GetTrackCover, MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 0), 0},
        {Op::GetTrackCover, MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 1), 0}, // no cover
        {Op::GetNowPlayingTracks, MSG_QUERY, queryBytes(QUERY_NOW_PLAYING, 0), 0},
        {Op::GetCurrentTrackIndex, MSG_QUERY, queryBytes(QUERY_CURRENT_INDEX, 0), 0},
        {Op::GetPlaylists, MSG_QUERY, queryBytes(QUERY_PLAYLISTS, 0), 0},
        {Op::ListLibraryCategory, MSG_QUERY, queryBytes(QUERY_ARTISTS, 0), 0},
        {Op::GetPlaylistTracks, MSG_QUERY, queryBytes(QUERY_PLAYLIST_TRACKS, 0), 0},
        {Op::GetPlaylists, MSG_QUERY, queryBytes(QUERY_PLAYLISTS_EX, 0), 0},
        {Op::GetSleepTimer, MSG_QUERY, queryBytes(QUERY_SLEEP_TIMER, 0), 0},
        {Op::QueryLibraryList, MSG_LIBRARY_QUERY, le32(1) + Bytes({1, 0, 0}) + text0("G"), 0},
        {Op::SearchLibrary, MSG_SEARCH, le32(1) + text0("s"), 0},
        {Op::SearchLibrary, MSG_SEARCH, le32(1) + text0("big"), 0},
        {Op::GetCurrentTrackText, MSG_QUERY, queryBytes(QUERY_TRACK_TEXT, 0), MSG_TRACK_TEXT},
        {Op::GetEqualizer, MSG_QUERY, queryBytes(QUERY_EQUALIZER, 0), MSG_EQUALIZER},
        {Op::GetEqualizerPresets, MSG_QUERY, queryBytes(QUERY_EQUALIZER_PRESETS, 0),
         MSG_EQUALIZER_PRESETS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.payload));
        auto got = finishedWhileQuiet(*p, c.op, [&] { p->sendRaw(c.type, c.payload); });
        EXPECT_EQ(types(got), c.leaves ? std::vector<uint32_t>{c.leaves} : std::vector<uint32_t>{});
    }
}

// Cover replies go to the session connection whatever its state: before login, and while
// quiet.
TEST_F(Engine, CoverRepliesNeedNeitherLoginNorLoudness) {
    fake.edit([](Answers& a) {
        a.albumCovers["Blue"] = {1, 2};
        a.albumCovers["Red"] = {3};
    });
    CoverRequestMessage request;
    request.album = "Blue";
    request.requestedSize = 200;
    Peer early(port);
    early.hello();
    early.send(request);
    EXPECT_EQ(early.next().type, uint32_t(MSG_COVER));
    early.client.close();
    ASSERT_TRUE(sessionEnded());

    auto p = connectAndLogin();
    Hold hold(fake, Op::GetAlbumCover);
    request.album = "Red";
    p->send(request);
    ASSERT_TRUE(fake.waitForCount(Op::GetAlbumCover, 2));
    p->sendRaw(MSG_QUIET, {});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    hold.release();
    ReceivedMessage m = p->next();
    EXPECT_EQ(m.type, uint32_t(MSG_COVER));
    EXPECT_TRUE(server.quiet());
}

} // namespace
} // namespace engine_test
