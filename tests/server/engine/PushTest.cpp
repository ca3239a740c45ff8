// The sending operations and the send rule (before login, and while the app is quiet), and
// cover requests.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

// Every sending operation, in a fixed order, with the cases that send nothing.
void pushEverything(WinampControlServer& server) {
    server.sendTrackInfo(TrackInfo{});
    server.sendPlayerStatus(PlayerStatus{0x01020304, 1, 2, 0x0200, 0});
    server.sendCurrentIndex(player::kCurrentU); // "none": nothing is sent
    server.sendCurrentIndex(player::kAtEndU);
    server.sendListChanged(player::kNowPlayingU); // the playing-now list has its own message
    server.sendListChanged(player::kAtEndU);
    server.sendPlaylistsChanged();
    // The delegate's sleep mode 0..1 and action 0..2 travel plus one; others send nothing.
    server.sendSleepTimer(true, 2, player::SLEEP_ACTION_STOP, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_TIME, 3, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_LIST_END, player::SLEEP_ACTION_SUSPEND,
                          0x01020304);
    server.sendUpdateNotice("v");
    server.sendKeepalive();
    server.sendCapabilities();
    server.sendServerNotice(NOTICE_SETTINGS_CHANGED);
    server.sendEqualizer(EqualizerSetting{"ignored", {{60, 100}}, 100}, 200, 12, 1, true);
    server.sendEqualizer(EqualizerSetting{"", {}, 7}, 0x0102, 3, 0, false);
}

TEST_F(Engine, PushesLeaveAfterLoginAndWhileQuietOnlyTheLoginOnlyOnes) {
    Peer p(port);
    p.hello();
    pushEverything(server);
    p.sendRaw(MSG_LOGIN, Bytes(16, 0)); // anything pushed would arrive before the result
    EXPECT_EQ(p.next().type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
    p.sendRaw(MSG_QUIET, {1, 2, 3}); // its payload is ignored
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    EXPECT_EQ(types(repliesTo(p, Op::GetTrackInfo, [&] { pushEverything(server); })),
              (std::vector<uint32_t>{MSG_KEEPALIVE, MSG_CAPABILITIES, MSG_SERVER_NOTICE,
                                     MSG_EQUALIZER, MSG_EQUALIZER}));
    // The marker query ended the quiet: everything leaves again.
    EXPECT_FALSE(server.quiet());
    auto loud = repliesTo(p, Op::GetTrackInfo, [&] { pushEverything(server); });
    const std::pair<uint32_t, Bytes> expected[] = {
        {MSG_TRACK_INFO, encodePayload(TrackInfoMessage{})},
        {MSG_PLAYER_STATUS, le32(0x01020304) + Bytes({2, 0, 2, 1, 0x00, 0x02})},
        {MSG_CURRENT_INDEX, le32(0xFFFFFFFE)},
        {MSG_NOW_PLAYING_CHANGED, {}},
        {MSG_PLAYLIST_CHANGED, le32(0xFFFFFFFE)},
        {MSG_PLAYLISTS_CHANGED, {}},
        {MSG_SLEEP_TIMER, Bytes({1, 2, 3, 0}) + le32(0x01020304)},
        {MSG_UPDATE_NOTICE, {2, 0, 0, 0, 0, 0, 'v', 0}},
        {MSG_KEEPALIVE, {}},
        {MSG_CAPABILITIES, le32(0x77FFFF) + le32(0)},
        {MSG_SERVER_NOTICE, {NOTICE_SETTINGS_CHANGED}},
        {MSG_EQUALIZER, {1, 1, 12, 1, 200, 0, 100, 0, 0, 0, 60, 0, 100, 0}},
        {MSG_EQUALIZER, {0, 0, 3, 0, 2, 1, 7, 0, 0, 0}},
    };
    EXPECT_EQ(frames(loud), Frames(std::begin(expected), std::end(expected)));
}

// Each reply is held in its delegate call until the app has gone quiet. (Replies sent through
// the sending operations, status, index, track, equalizer and sleep timer, follow the pushes'
// rule above.)
TEST_F(Engine, WhileQuietOnlyTheLoginOnlyRepliesLeave) {
    fake.edit([&](Answers& a) {
        a.trackCovers[0] = {1};
        a.nowPlaying.emplace();
        a.playlists = std::vector<PlaylistEntry>{{"P", 1, 1, 0}};
        // Over the compression threshold: library lists and search results are held back
        // whole, although an envelope needs only the login.
        a.searches["big"].entries = {{"", std::string(5000, 'n'), "", "", 0, 0, 0, 0, 0}};
        LibraryStringList many(LIST_KIND_ARTISTS);
        many.add(std::string(5000, 'a'));
        a.libraryQuery = testkit::listOf(many);
        a.trackText = Answers::TrackText{"t", {}};
        a.presets.emplace();
    });
    auto p = connectAndLogin(0);
    struct Case {
        Op op;
        uint32_t type;
        Bytes payload;
        uint32_t leaves; // 0: held back
    };
    // clang-format off
    const Case cases[] = {
        {Op::GetTrackCover, MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 0), 0},
        {Op::GetTrackCover, MSG_QUERY, queryBytes(QUERY_TRACK_COVER, 1), 0}, // no cover
        {Op::GetNowPlayingTracks, MSG_QUERY, queryBytes(QUERY_NOW_PLAYING, 0), 0},
        {Op::GetPlaylists, MSG_QUERY, queryBytes(QUERY_PLAYLISTS, 0), 0},
        {Op::GetPlaylists, MSG_QUERY, queryBytes(QUERY_PLAYLISTS_EX, 0), 0},
        {Op::QueryLibraryList, MSG_LIBRARY_QUERY, le32(1) + Bytes({1, 0, 0}) + text0("G"), 0},
        {Op::SearchLibrary, MSG_SEARCH, le32(1) + text0("big"), 0},
        {Op::GetCurrentTrackText, MSG_QUERY, queryBytes(QUERY_TRACK_TEXT, 0), MSG_TRACK_TEXT},
        {Op::GetEqualizerPresets, MSG_QUERY, queryBytes(QUERY_EQUALIZER_PRESETS, 0), MSG_EQUALIZER_PRESETS},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.payload));
        auto got = finishedWhileQuiet(*p, c.op, [&] { p->sendRaw(c.type, c.payload); });
        EXPECT_EQ(types(got), c.leaves ? std::vector<uint32_t>{c.leaves} : std::vector<uint32_t>{});
    }
}

CoverRequestMessage coverRequest(const std::string& album, uint32_t tag2 = 0x10002) {
    return {.album = album, .artist = {}, .tag1 = 1, .tag2 = tag2, .requestedSize = 200, .tag3 = 3};
}

// A cover is served once per request (tag2 counts to bit 15), with the artist the host gave
// or the request's, to the session connection before login and while quiet; the end of the
// session connection forgets the requests seen.
TEST_F(Engine, CoverRequestsAreServedOnceBeforeLoginAndWhileQuiet) {
    fake.edit([](Answers& a) {
        a.albumCovers["Blue"] = {'B', 'l', 'u', 'e'};
        a.albumCovers["Red"] = {'R'};
        a.coverArtist = "Host";
    });
    auto p = std::make_unique<Peer>(port);
    p->hello();
    p->send(coverRequest("Blue"));
    ReceivedMessage m = p->next();
    ASSERT_EQ(m.type, uint32_t(MSG_COVER));
    EXPECT_EQ(m.payload, le32(4) + le32(4) + le32(4) + le32(1) + le32(0x10002) + Bytes({3, 0}) +
                             text0("Blue") + text0("Host") + Bytes({'B', 'l', 'u', 'e'}));
    EXPECT_TRUE(fake.called("getAlbumCover(Blue,,200)"));
    p->send(coverRequest("Blue"));
    p->send(coverRequest("Blue", 0x70002));
    p->send(coverRequest("none")); // no cover: no reply
    p->sendRaw(MSG_LOGIN, Bytes(16, 0));
    ASSERT_EQ(p->nextOf(MSG_CAPABILITIES).type, uint32_t(MSG_CAPABILITIES));
    Hold hold(fake, Op::GetAlbumCover);
    p->send(CoverRequestMessage{.album = "Red",
                                .hasArtist = true,
                                .artist = "Ann",
                                .tag1 = 1,
                                .tag2 = 0x10002,
                                .requestedSize = 64,
                                .tag3 = 3});
    ASSERT_TRUE(fake.waitFor("getAlbumCover(Red,Ann,64)"));
    p->sendRaw(MSG_QUIET, {});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    hold.release();
    ReceivedMessage reply = p->next();
    ASSERT_EQ(reply.type, uint32_t(MSG_COVER));
    EXPECT_EQ(reply.payload, le32(3) + le32(3) + le32(1) + le32(1) + le32(0x10002) + Bytes({3, 0}) +
                                 text0("Red") + text0("Ann") + Bytes{'R'});
    EXPECT_TRUE(p->within(100).empty());
    EXPECT_EQ(fake.count(Op::GetAlbumCover), 3u); // the repeated requests were never looked up
    p.reset();
    ASSERT_TRUE(sessionEnded());
    p = connectAndLogin();
    p->send(coverRequest("Blue"));
    EXPECT_EQ(p->next().type, uint32_t(MSG_COVER));
}

} // namespace
} // namespace engine_test
