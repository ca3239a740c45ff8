// The app editing lists: edits with their notices, the word search and adding its results at
// every kind of position, rule fills, covers at each quality, and the current file's text.
#include "tests/bridge/BridgeHarness.h"

#include "bridge/TrackKey.h"

#include <fstream>
#include <iterator>

using namespace bridge_test;
using namespace wire;
using simhost::PlayerCore;

using Notices = std::vector<std::string>;
using Keys = std::vector<int32_t>;

class ListsTest : public BridgeTest {
protected:
    void SetUp() override {
        start();
        app = connectAndLogin();
    }
    // The list notices that arrive while `act` is carried out: "now", "list <id>", "lists".
    Notices notices(const std::function<void()>& act) {
        Notices seen;
        app->setPushHandler([&](const ReceivedMessage& m) {
            if (m.type == MSG_NOW_PLAYING_CHANGED)
                seen.push_back("now");
            else if (m.type == MSG_PLAYLISTS_CHANGED)
                seen.push_back("lists");
            else if (auto changed = remote::decodeAs<PlaylistChangedMessage>(m))
                seen.push_back("list " + std::to_string(changed->playlistId));
        });
        act();
        sync(*app);
        app->setPushHandler(nullptr);
        return seen;
    }
    Keys nowPlaying() {
        return inPlayer([](PlayerCore& c) { return c.nowPlaying; });
    }
    Keys playlist(int32_t id) {
        return inPlayer([id](PlayerCore& c) { return c.playlist(id)->keys; });
    }
    template <class M> void send(const M& m) { ASSERT_TRUE(app->send(m)); }
    // The bytes of a cover file of the album of the file with `key`.
    std::vector<uint8_t> coverBytes(int32_t key, bool large) {
        std::ifstream in(std::filesystem::path(inPlayer([&](PlayerCore& c) {
                             const simhost::CoverFiles& f = c.covers.at(c.track(key)->albumId);
                             return large ? f.large : f.small;
                         })),
                         std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::unique_ptr<remote::RemoteClient> app;
};

TEST_F(ListsTest, PlayingNowAndPlaylistEditsWithTheirNotices) {
    // The ordinary playlists and the group; not the smart one.
    EXPECT_EQ(
        reply<PlaylistsMessage>(*app, QUERY_PLAYLISTS).playlists,
        (std::vector<PlaylistEntry>{{"Mine", 7, 3, 0}, {"Lists", 8, 0, 0}, {"Empty", 10, 0, 0}}));
    auto tracks = reply<PlaylistTracksMessage>(*app, QUERY_PLAYLIST_TRACKS, 7).entries;
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[1].text, "First Band - Song B");
    // Moves: from 0 to 2 of three ends last; no notice.
    EXPECT_TRUE(notices([&] { send(MoveNowPlayingMessage{0, 2}); }).empty());
    EXPECT_EQ(nowPlaying(), (Keys{101, 102, 100}));
    EXPECT_TRUE(notices([&] { send(MoveTrackMessage{7, 2, 0}); }).empty());
    calls->clear(); // from or to one past the end: nothing is asked of the player
    EXPECT_TRUE(notices([&] {
                    send(MoveTrackMessage{7, 3, 0});
                    send(MoveTrackMessage{7, 0, 3});
                }).empty());
    EXPECT_TRUE(calls->only("root.m23(").empty());
    EXPECT_EQ(playlist(7), (Keys{102, 100, 101}));
    // A removal the player did not store (a refusal, or no number at all) is not told.
    for (host::HostValue refused : {host::HostValue(0), host::HostValue()}) {
        calls->answer("playlist.m9(", refused, 0);
        EXPECT_TRUE(notices([&] { send(RemoveTrackMessage{7, 0}); }).empty());
    }
    EXPECT_EQ(notices([&] { send(RemoveTrackMessage{7, 0}); }), (Notices{"lists"}));
    EXPECT_EQ(playlist(7), (Keys{100, 101}));
    EXPECT_TRUE(notices([&] { app->command(CMD_REMOVE, 2); }).empty());
    EXPECT_EQ(nowPlaying(), (Keys{101, 102}));

    EXPECT_EQ(notices([&] { send(ClearPlaylistMessage{7}); }), (Notices{"list 7", "lists"}));
    EXPECT_TRUE(playlist(7).empty());
    EXPECT_EQ(notices([&] { send(ClearPlaylistMessage{0xFFFFFFFF}); }), (Notices{"now", "lists"}));
    EXPECT_TRUE(nowPlaying().empty());
}

TEST_F(ListsTest, SearchCachesItsResultAndAddsItAtEveryKindOfPosition) {
    send(SearchMessage{5, "  second Band "}); // words sorted by code unit: "Band", "second"
    auto found = nextAs<LibraryListMessage>(*app);
    EXPECT_EQ(std::tie(found.requestId, found.count), std::make_tuple(5u, 3u));
    EXPECT_EQ(
        calls->only("root.m2("),
        std::vector<std::string>{"root.m2(\"[Album]=\"Band\" or [Artist]=\"Band\" or "
                                 "[Genre]=\"Band\" or [Name]=\"Band\" [Media Type]=[Audio]\")"});
    EXPECT_EQ(calls->only("files.m20("),
              std::vector<std::string>{
                  "files.m20(\"[Album]=\"second\" or [Artist]=\"second\" or [Genre]=\"second\" "
                  "or [Name]=\"second\" [Media Type]=[Audio]\")"});
    calls->clear();
    send(SearchMessage{6, "   "}); // no words: no reply, and the cached result stays
    send(SearchMessage{7, "[x]"}); // escaped; nothing found, but it replaces the cache
    auto none = nextAs<LibraryListMessage>(*app);
    EXPECT_EQ(std::tie(none.requestId, none.count), std::make_tuple(7u, 0u));
    EXPECT_EQ(calls->only("root.m2(").at(0).substr(0, 27), "root.m2(\"[Album]=\"/[x/]\" or");
    send(SearchMessage{5, "second"});
    next(*app, MSG_LIBRARY_LIST);
    // Playing now [100 101 102], current entry 0; the results are 103, 104, 105.
    auto add = [&](uint32_t playlistId, uint32_t item, uint32_t position, uint32_t searchId = 5) {
        return notices([&] {
            send(AddSearchResultsAtMessage{searchId, playlistId, item, position});
        });
    };
    EXPECT_EQ(add(0xFFFFFFFF, 0, 0xFFFFFFFE), (Notices{"now"})); // at the end
    EXPECT_EQ(nowPlaying(), (Keys{100, 101, 102, 103}));
    add(0xFFFFFFFF, 1, 0xFFFFFFFF); // after the current entry
    EXPECT_EQ(nowPlaying(), (Keys{100, 104, 101, 102, 103}));
    add(0xFFFFFFFF, 0xFFFFFFFF, 2); // all, from position 2 on
    EXPECT_EQ(nowPlaying(), (Keys{100, 104, 103, 104, 105, 101, 102, 103}));
    add(0xFFFFFFFF, 0xFFFFFFFF, 0); // all, from the front on, in their order
    EXPECT_EQ(nowPlaying(), (Keys{103, 104, 105, 100, 104, 103, 104, 105, 101, 102, 103}));
    EXPECT_EQ(add(0xFFFFFFFF, 3, 0), (Notices{"now"})); // past the end
    EXPECT_TRUE(add(0xFFFFFFFF, 0, 0, 6).empty());      // not the cached id
    EXPECT_EQ(nowPlaying().size(), 11u);

    EXPECT_EQ(add(10, 0xFFFFFFFF, 0xFFFFFFFE), (Notices{"lists", "list 10"}));
    EXPECT_EQ(playlist(10), (Keys{103, 104, 105}));
    add(10, 2, 0); // one copy at the front
    EXPECT_EQ(playlist(10), (Keys{105, 103, 104, 105}));
    // The disconnect releases the cache: a new session's add finds nothing.
    app.reset();
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return ctrl->server().sessionConnection() == 0; }));
    app = connectAndLogin();
    EXPECT_TRUE(add(10, 0, 0xFFFFFFFE).empty());
}

TEST_F(ListsTest, RuleFillsReplaceThePlayingNowListWithoutPlaying) {
    auto fill = [&](uint8_t kind, uint8_t rating, uint8_t orHigher) {
        calls->clear();
        EXPECT_EQ(notices([&] {
                      send(FillNowPlayingMessage{kind, rating, orHigher});
                  }),
                  (Notices{"now"}));
        return calls->only("root.m2(").at(0);
    };
    EXPECT_EQ(fill(0, 4, 1), "root.m2(\"[rating]=>3 [Media Type]=[Audio]\")");
    EXPECT_EQ(nowPlaying(), (Keys{104, 105}));
    EXPECT_EQ(fill(0, 2, 0), "root.m2(\"[rating]=2 [Media Type]=[Audio]\")");
    EXPECT_EQ(fill(1, 9, 1), "root.m2(\"[numberplays]=[] or numberplays=0 [Media Type]=[Audio]\")");
    EXPECT_EQ(fill(2, 0, 0), "root.m2(\"\")");
    EXPECT_TRUE(nowPlaying().empty());
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.state; }), host::PlaybackState::Stopped);
}

TEST_F(ListsTest, CoversAtEachQualityOfAnAlbumAndTheCurrentText) {
    for (uint32_t quality : {0u, 1u, 2u}) {
        destroy();
        start([quality](PluginSettings& s) { s.coverQuality = quality; });
        app = connectAndLogin();
        calls->clear();
        auto cover = reply<TrackCoverMessage>(*app, QUERY_TRACK_COVER, 1);
        int32_t code = int32_t(quality) + 3;
        EXPECT_EQ(calls->only("file.m23("),
                  std::vector<std::string>{"file.m23(" + std::to_string(code) + ")"});
        EXPECT_EQ(cover.image, coverBytes(101, code != 3));
        EXPECT_EQ(cover.key, bridge::trackKeyForPath(u"D:\\Music\\song1.mp3"));
    }
    EXPECT_EQ(reply<TrackCoverMessage>(*app, QUERY_TRACK_COVER, 0).key,
              bridge::trackKeyForPath(u"D:\\Music\\song0.mp3")); // the first entry
    ask(*app, QUERY_TRACK_COVER, 3, MSG_TRACK_COVER_NONE);       // past the end

    CoverRequestMessage request;
    request.album = "One";
    request.requestedSize = 65; // above 64: the large thumbnail
    ASSERT_TRUE(app->send(request));
    auto album = nextAs<CoverMessage>(*app);
    EXPECT_EQ(album.artist, "First Band"); // filled in from the file
    EXPECT_EQ(album.image, coverBytes(100, true));

    // The current file's text only when it has one, with the key of its path.
    EXPECT_FALSE(reply<TrackTextMessage>(*app, QUERY_TRACK_TEXT).ok);
    app->command(CMD_SET_INDEX, 2);
    auto text = reply<TrackTextMessage>(*app, QUERY_TRACK_TEXT);
    EXPECT_EQ(std::tie(text.ok, text.text), std::make_tuple(true, "la la la"));
    EXPECT_EQ(text.key, bridge::trackKeyForPath(u"D:\\Music\\song2.mp3"));
}

TEST_F(ListsTest, LibraryBrowsingAndAddingGoThroughTheLibraryQueries) {
    LibraryQueryMessage query;
    query.requestId = 11;
    query.has = {0, 1, 0};
    query.texts[1] = "Second Band";
    send(query);
    auto albums = nextAs<LibraryListMessage>(*app);
    EXPECT_EQ(std::tie(albums.requestId, albums.count), std::make_tuple(11u, 1u)); // "Two"

    LibraryAddMessage add;
    add.playlistId = add.item = 0xFFFFFFFF;
    add.has = {0, 1, 0};
    add.texts[1] = "Second Band";
    EXPECT_EQ(notices([&] { send(add); }), (Notices{"now"}));
    EXPECT_EQ(nowPlaying(), (Keys{100, 101, 102, 103, 104}));
    add.playlistId = 7;
    EXPECT_EQ(notices([&] { send(add); }), (Notices{"lists", "list 7"}));
    EXPECT_EQ(playlist(7), (Keys{100, 101, 102, 103, 104}));
}
