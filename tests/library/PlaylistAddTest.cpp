// Adding a selection to the playing-now list and to stored playlists: where each file lands
// for every kind of position, the host calls that put it there, and the notices to push.
#include "library/PlaylistAdd.h"
#include "library/LibraryQueries.h"
#include "tests/library/SmallLibrary.h"

#include <gtest/gtest.h>

using namespace library;
using namespace library_test;
using host::HostValue;
using medialib::Track;

namespace {

using Keys = std::vector<int32_t>;
using Notices = std::vector<PlaylistNotice>;
const Notices kNowPlayingChanged = {{PlaylistNotice::NowPlayingChanged}};

// Album "One" by Band (keys 1, 2, 3 in track order), a Band track without album (4); the
// playing-now list 10, 11, 12 with entry 1 current; playlist 5 (20, 21) and group 6.
class LibraryAdd : public ::testing::Test {
protected:
    static medialib::LibraryData library() {
        medialib::LibraryData d;
        d.tracks = {track(3, u"Band", u"One", u"Third"), track(1, u"Band", u"One", u"First"),
                    track(2, u"Band", u"One", u"Second"), track(4, u"Band", u"", u"Loose")};
        for (int32_t key : {10, 11, 12, 20, 21})
            d.tracks.push_back(track(key, u"Filler", u"F", u"f" + std::u16string(1, u'a' + key)));
        d.playingNow = {10, 11, 12};
        medialib::PlaylistData mine;
        mine.id = 5;
        mine.name = u"Mine";
        mine.keys = {20, 21};
        medialib::PlaylistData group;
        group.id = 6;
        group.name = u"Group";
        group.type = medialib::PlaylistType::Group;
        d.playlists = {mine, group};
        return d;
    }

    void SetUp() override {
        auto playingNow =
            host::callMethod(p.player.root().get(), host::RootOp::PlayingNow).asObject();
        ASSERT_TRUE(host::putProperty(playingNow.get(), host::PlayingNowOp::Position, 1).ok());
        p.rerecord();
    }

    Notices addBand(int32_t playlist, uint32_t item, uint32_t position) {
        return addLibraryItemsToPlaylist(p.root.get(), playlist, u"", u"Band", u"One", u"", item,
                                         position);
    }
    Keys nowPlaying() { return p.player.core().nowPlaying; }
    Keys playlist(int32_t id) { return p.player.core().playlist(id)->keys; }
    std::vector<std::string> playingNowCalls() {
        return p.recorder->only({"root.m3(", "playingNow."});
    }
    std::vector<std::string> playlistCalls() {
        return p.recorder->only({"root.m27(", "playlist.", "playlistFiles."});
    }

    SmallPlayer p{library()};
};

TEST_F(LibraryAdd, EveryFileToPlayingNow) {
    EXPECT_EQ(addBand(kPlayingNowPlaylist, kAllItems, kPositionAfterCurrent), kNowPlayingChanged);
    EXPECT_EQ(playingNowCalls(),
              (std::vector<std::string>{"root.m3()", "playingNow.g1()", "playingNow.m14(1,2)",
                                        "playingNow.m14(2,3)", "playingNow.m14(3,4)"}));
    EXPECT_EQ(nowPlaying(), (Keys{10, 11, 1, 2, 3, 12}));

    p.rerecord();
    EXPECT_EQ(addBand(kPlayingNowPlaylist, kAllItems, kPositionAtEnd), kNowPlayingChanged);
    EXPECT_EQ(playingNowCalls(),
              (std::vector<std::string>{"root.m3()", "playingNow.m14(1,-1)", "playingNow.m14(2,-1)",
                                        "playingNow.m14(3,-1)"}));
    EXPECT_EQ(nowPlaying(), (Keys{10, 11, 1, 2, 3, 12, 1, 2, 3}));

    p.rerecord();
    EXPECT_EQ(addBand(kPlayingNowPlaylist, kAllItems, 0), kNowPlayingChanged);
    EXPECT_EQ(playingNowCalls(),
              (std::vector<std::string>{"root.m3()", "playingNow.m14(1,0)", "playingNow.m14(2,1)",
                                        "playingNow.m14(3,2)"}));
    EXPECT_EQ(nowPlaying(), (Keys{1, 2, 3, 10, 11, 1, 2, 3, 12, 1, 2, 3}));
}

TEST_F(LibraryAdd, OneFileToPlayingNow) {
    EXPECT_EQ(addBand(kPlayingNowPlaylist, 1, kPositionAfterCurrent), kNowPlayingChanged);
    EXPECT_EQ(playingNowCalls(),
              (std::vector<std::string>{"root.m3()", "playingNow.g1()", "playingNow.m14(2,2)"}));
    EXPECT_EQ(nowPlaying(), (Keys{10, 11, 2, 12}));

    EXPECT_EQ(addBand(kPlayingNowPlaylist, 2, kPositionAtEnd), kNowPlayingChanged)
        << "the last item";
    EXPECT_EQ(addBand(kPlayingNowPlaylist, 0, 1), kNowPlayingChanged);
    EXPECT_EQ(nowPlaying(), (Keys{10, 1, 11, 2, 12, 3}));

    // An item past the end of the selection inserts nothing, and the change is still told.
    p.rerecord();
    EXPECT_EQ(addBand(kPlayingNowPlaylist, 3, kPositionAtEnd), kNowPlayingChanged);
    EXPECT_EQ(addBand(kPlayingNowPlaylist, 0xFFFFFFFE, kPositionAtEnd), kNowPlayingChanged);
    EXPECT_TRUE(p.recorder->only({"playingNow.m14("}).empty());
    EXPECT_EQ(nowPlaying(), (Keys{10, 1, 11, 2, 12, 3}));
}

TEST_F(LibraryAdd, AfterCurrentWithNothingCurrentIsTheStart) {
    SmallPlayer empty(std::vector<Track>{track(1, u"Band", u"One", u"First"),
                                         track(2, u"Band", u"One", u"Second")});
    EXPECT_EQ(addLibraryItemsToPlaylist(empty.root.get(), kPlayingNowPlaylist, u"", u"Band", u"One",
                                        u"", kAllItems, kPositionAfterCurrent),
              kNowPlayingChanged);
    EXPECT_EQ(empty.recorder->only({"playingNow.m14("}),
              (std::vector<std::string>{"playingNow.m14(1,0)", "playingNow.m14(2,1)"}));
}

TEST_F(LibraryAdd, EveryFileToAStoredPlaylist) {
    const Notices stored = {{PlaylistNotice::PlaylistsChanged},
                            {PlaylistNotice::PlaylistChanged, 5}};
    EXPECT_EQ(addBand(5, kAllItems, kPositionAtEnd), stored);
    EXPECT_EQ(playlistCalls(),
              (std::vector<std::string>{"root.m27(5)", "playlist.m3()", "playlistFiles.m9(1)",
                                        "playlistFiles.m9(2)", "playlistFiles.m9(3)",
                                        "playlist.m9(playlistFiles)"}));
    EXPECT_EQ(playlist(5), (Keys{20, 21, 1, 2, 3}));

    p.rerecord();
    EXPECT_EQ(addBand(5, kAllItems, 1), stored);
    EXPECT_EQ(
        p.recorder->only({"playlistFiles."}),
        (std::vector<std::string>{"playlistFiles.m17(files,0,1)", "playlistFiles.m17(files,1,2)",
                                  "playlistFiles.m17(files,2,3)"}));
    EXPECT_EQ(playlist(5), (Keys{20, 1, 2, 3, 21, 1, 2, 3}));

    // "After the current entry" means nothing to a stored playlist: the value goes to the
    // host as it is, and the files after the first follow it from the start.
    p.rerecord();
    EXPECT_EQ(addBand(5, kAllItems, kPositionAfterCurrent), stored);
    EXPECT_EQ(
        p.recorder->only({"playlistFiles.", "playingNow."}),
        (std::vector<std::string>{"playlistFiles.m17(files,0,-1)", "playlistFiles.m17(files,1,0)",
                                  "playlistFiles.m17(files,2,1)"}));
}

TEST_F(LibraryAdd, OneFileToAStoredPlaylist) {
    const Notices stored = {{PlaylistNotice::PlaylistsChanged},
                            {PlaylistNotice::PlaylistChanged, 5}};
    EXPECT_EQ(addBand(5, 1, kPositionAtEnd), stored);
    EXPECT_EQ(p.recorder->only({"playlistFiles."}),
              (std::vector<std::string>{"playlistFiles.m9(2)"}));
    EXPECT_EQ(addBand(5, 2, 0), stored);
    EXPECT_EQ(playlist(5), (Keys{3, 20, 21, 2}));

    // Past the end: the playlist is not even looked up; only its change is told.
    p.rerecord();
    EXPECT_EQ(addBand(5, 3, kPositionAtEnd), (Notices{{PlaylistNotice::PlaylistChanged, 5}}));
    EXPECT_TRUE(playlistCalls().empty());
    EXPECT_EQ(playlist(5), (Keys{3, 20, 21, 2}));
}

TEST_F(LibraryAdd, PlaylistsThatCannotTakeFiles) {
    // A group refuses the files: no playlists-changed notice.
    EXPECT_EQ(addBand(6, kAllItems, kPositionAtEnd),
              (Notices{{PlaylistNotice::PlaylistChanged, 6}}));
    // An id the host does not know.
    p.rerecord();
    EXPECT_EQ(addBand(77, kAllItems, kPositionAtEnd),
              (Notices{{PlaylistNotice::PlaylistChanged, 77}}));
    EXPECT_EQ(playlistCalls(), (std::vector<std::string>{"root.m27(77)"}));
    // Only VARIANT_TRUE counts as stored.
    p.rerecord();
    p.recorder->answer("playlist.m9(", HostValue::fromVariantBool(1));
    EXPECT_EQ(addBand(5, 0, kPositionAtEnd), (Notices{{PlaylistNotice::PlaylistChanged, 5}}));
}

TEST_F(LibraryAdd, SelectionRules) {
    // The marker album adds the artist's tracks without album.
    EXPECT_EQ(addLibraryItemsToPlaylist(p.root.get(), kPlayingNowPlaylist, u"", u"Band",
                                        std::u16string(otherTracksMarker), u"", kAllItems,
                                        kPositionAtEnd),
              kNowPlayingChanged);
    EXPECT_EQ(p.recorder->only({"playingNow.m14("}),
              (std::vector<std::string>{"playingNow.m14(4,-1)"}));
    // Not one file per album: the artist's every track.
    p.rerecord();
    addLibraryItemsToPlaylist(p.root.get(), kPlayingNowPlaylist, u"", u"Band", u"", u"", kAllItems,
                              kPositionAtEnd);
    EXPECT_EQ(p.recorder->only({"playingNow.m14("}).size(), 3u);
    EXPECT_EQ(p.recorder->searches().front(),
              u"~sort=[Album]" + artistClause(u"Band") + u" -[Album]=[] [Media Type]=[Audio]");

    // Nothing given, or nothing found: nothing is done and nothing is told.
    p.rerecord();
    EXPECT_TRUE(addLibraryItemsToPlaylist(p.root.get(), kPlayingNowPlaylist, u"", u"", u"", u"",
                                          kAllItems, kPositionAtEnd)
                    .empty());
    EXPECT_TRUE(
        addLibraryItemsToPlaylist(p.root.get(), 5, u"", u"", u"", u"", kAllItems, kPositionAtEnd)
            .empty());
    EXPECT_TRUE(p.recorder->calls.empty());
    EXPECT_TRUE(addLibraryItemsToPlaylist(p.root.get(), 5, u"", u"Nobody", u"", u"", kAllItems,
                                          kPositionAtEnd)
                    .empty());
    EXPECT_EQ(playlist(5), (Keys{20, 21}));
}

TEST_F(LibraryAdd, AFailedCallTellsNothing) {
    for (int32_t playlistId : {kPlayingNowPlaylist, 5}) {
        for (uint32_t position : {kPositionAfterCurrent, kPositionAtEnd, 1u}) {
            p.rerecord();
            ASSERT_FALSE(addBand(playlistId, kAllItems, position).empty());
            size_t calls = p.recorder->calls.size();
            for (size_t i = 0; i < calls; ++i) {
                p.rerecord();
                p.recorder->failCallNumber(i);
                EXPECT_TRUE(addBand(playlistId, kAllItems, position).empty())
                    << playlistId << " " << position << ": " << p.recorder->calls[i];
            }
        }
    }
    // A null playing-now list or file.
    p.rerecord();
    p.recorder->answer("root.m3(", HostValue(host::HostObjectPtr()));
    EXPECT_TRUE(addBand(kPlayingNowPlaylist, 0, kPositionAtEnd).empty());
    p.rerecord();
    p.recorder->answer("files.m2(", HostValue(host::HostObjectPtr()));
    EXPECT_TRUE(addBand(5, 0, kPositionAtEnd).empty());
    EXPECT_TRUE(addLibraryItemsToPlaylist(nullptr, 5, u"", u"Band", u"", u"", 0, 0).empty());
}

} // namespace
