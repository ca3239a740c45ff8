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

std::vector<uint32_t> types(const std::vector<ReceivedMessage>& frames) {
    std::vector<uint32_t> out;
    for (const ReceivedMessage& m : frames)
        out.push_back(m.type);
    return out;
}

TEST_F(Engine, NothingIsPushedBeforeLogin) {
    Peer p(port);
    p.hello();
    pushEverything(server);
    // Anything pushed would have arrived before the login result.
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p.next().type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
}

TEST_F(Engine, WhileQuietOnlyTheLoginOnlyPushesLeave) {
    auto p = connectAndLogin();
    p->sendRaw(MSG_QUIET, {1, 2, 3}); // its payload is ignored
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    auto quiet = repliesTo(*p, Op::GetTrackInfo, [&] { pushEverything(server); });
    EXPECT_EQ(types(quiet), (std::vector<uint32_t>{MSG_KEEPALIVE, MSG_CAPABILITIES,
                                                   MSG_SERVER_NOTICE, MSG_EQUALIZER}));
    // The marker query ended the quiet: everything leaves again.
    EXPECT_FALSE(server.quiet());
    auto loud = repliesTo(*p, Op::GetTrackInfo, [&] { pushEverything(server); });
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
    auto query = [&](uint8_t sub, uint32_t parameter = 0) {
        return [&p, sub, parameter] { p->query(sub, parameter); };
    };
    struct Case {
        const char* name;
        Op op;
        std::function<void()> request;
        uint32_t leaves; // 0: held back
    };
    const Case cases[] = {
        {"track info", Op::GetTrackInfo, query(QUERY_TRACK_INFO), 0},
        {"status", Op::GetPlayerStatus, query(QUERY_PLAYER_STATUS), 0},
        {"track cover", Op::GetTrackCover, query(QUERY_TRACK_COVER), 0},
        {"no track cover", Op::GetTrackCover, query(QUERY_TRACK_COVER, 1), 0},
        {"now playing", Op::GetNowPlayingTracks, query(QUERY_NOW_PLAYING), 0},
        {"current index", Op::GetCurrentTrackIndex, query(QUERY_CURRENT_INDEX), 0},
        {"playlists", Op::GetPlaylists, query(QUERY_PLAYLISTS), 0},
        {"artists", Op::ListLibraryCategory, query(QUERY_ARTISTS), 0},
        {"playlist tracks", Op::GetPlaylistTracks, query(QUERY_PLAYLIST_TRACKS), 0},
        {"playlists ex", Op::GetPlaylists, query(QUERY_PLAYLISTS_EX), 0},
        {"sleep timer", Op::GetSleepTimer, query(QUERY_SLEEP_TIMER), 0},
        {"library query", Op::QueryLibraryList,
         [&p] {
             p->sendRaw(MSG_LIBRARY_QUERY, le32(1) + Bytes({1, 0, 0}) + text0("G"));
         },
         0},
        {"search", Op::SearchLibrary, [&p] { p->sendRaw(MSG_SEARCH, le32(1) + text0("s")); }, 0},
        {"large search", Op::SearchLibrary,
         [&p] { p->sendRaw(MSG_SEARCH, le32(1) + text0("big")); }, 0},
        {"track text", Op::GetCurrentTrackText, query(QUERY_TRACK_TEXT), MSG_TRACK_TEXT},
        {"equalizer", Op::GetEqualizer, query(QUERY_EQUALIZER), MSG_EQUALIZER},
        {"presets", Op::GetEqualizerPresets, query(QUERY_EQUALIZER_PRESETS), MSG_EQUALIZER_PRESETS},
    };
    for (const Case& c : cases) {
        auto got = finishedWhileQuiet(*p, c.op, c.request);
        if (c.leaves == 0)
            EXPECT_TRUE(got.empty()) << c.name;
        else
            EXPECT_EQ(types(got), std::vector<uint32_t>{c.leaves}) << c.name;
    }
}

TEST_F(Engine, GreetingAndLoginResultNeedNeitherLoginNorLoudness) {
    server.setPassword("pw");
    server.setAllowKick(true);
    Peer first(port);
    first.hello();
    first.sendRaw(MSG_QUIET, {});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    first.sendRaw(MSG_LOGIN, Bytes(16, 0)); // refused: the result still arrives
    EXPECT_EQ(first.next().payload, Bytes{0});
    first.sendRaw(MSG_LOGIN, first.response("pw"));
    EXPECT_EQ(first.next().payload, Bytes{1});
    first.sendRaw(MSG_QUIET, {});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    // A second app takes over the quiet session: its greeting arrives.
    Peer second(port);
    EXPECT_EQ(second.next().type, uint32_t(MSG_HELLO));
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
