// Adding a selection to the playing-now list and to stored playlists: where each file lands
// for every kind of position, and the notices to push.
#include "library/PlaylistAdd.h"
#include "library/LibraryQueries.h"
#include "tests/library/SmallLibrary.h"

#include <gtest/gtest.h>

using namespace library;
using namespace library_test;
using host::HostValue;

namespace {

using Keys = std::vector<int32_t>;
using Notices = std::vector<PlaylistNotice>;
const Notices kNow = {{PlaylistNotice::NowPlayingChanged}};
const Notices kStored = {{PlaylistNotice::PlaylistsChanged}, {PlaylistNotice::PlaylistChanged, 5}};
const Notices kToldOnly = {{PlaylistNotice::PlaylistChanged, 5}};
const int32_t kNowList = kPlayingNowPlaylist;
const uint32_t kAfter = kPositionAfterCurrent, kEnd = kPositionAtEnd;

// Album "One" by Band (keys 1, 2, 3 in track order), a Band track without album (4); the
// playing-now list 10, 11, 12 with entry 1 current; playlist 5 (20, 21) and group 6.
struct Library : SmallPlayer {
    static medialib::LibraryData data() {
        medialib::LibraryData d;
        d.tracks = {track(3, u"Band", u"One", u"Third"), track(1, u"Band", u"One", u"First"),
                    track(2, u"Band", u"One", u"Second"), track(4, u"Band", u"", u"Loose")};
        for (int32_t key : {10, 11, 12, 20, 21})
            d.tracks.push_back(track(key, u"Filler", u"F", u"f" + std::u16string(1, u'a' + key)));
        d.playingNow = {10, 11, 12};
        d.playlists = {{5, u"Mine", u"", medialib::PlaylistType::Ordinary, {20, 21}, u""},
                       {6, u"Group", u"", medialib::PlaylistType::Group, {}, u""}};
        return d;
    }
    Library() : SmallPlayer(data()) {
        auto playingNow =
            host::callMethod(player.root().get(), host::RootOp::PlayingNow).asObject();
        EXPECT_TRUE(host::putProperty(playingNow.get(), host::PlayingNowOp::Position, 1).ok());
        rerecord();
    }
    Notices addBand(int32_t playlist, uint32_t item, uint32_t position) {
        return addLibraryItemsToPlaylist(root.get(), playlist, u"", u"Band", u"One", u"", item,
                                         position);
    }
    Keys keys(int32_t playlist) {
        return playlist == kNowList ? player.core().nowPlaying
                                    : player.core().playlist(playlist)->keys;
    }
};

// Additions of album One, one after another to the same library (an empty series starts a
// fresh one): the notices and the list's keys afterwards.
TEST(LibraryAdd, EveryKindOfPosition) {
    const struct {
        int32_t playlist;
        uint32_t item, position;
        Notices notices;
        Keys keys;
    } steps[] = {
        {kNowList, kAllItems, kAfter, kNow, {10, 11, 1, 2, 3, 12}},
        {kNowList, kAllItems, kEnd, kNow, {10, 11, 1, 2, 3, 12, 1, 2, 3}},
        {kNowList, kAllItems, 0, kNow, {1, 2, 3, 10, 11, 1, 2, 3, 12, 1, 2, 3}},
        {0, 0, 0, {}, {}},
        {kNowList, 1, kAfter, kNow, {10, 11, 2, 12}},
        {kNowList, 2, kEnd, kNow, {10, 11, 2, 12, 3}}, // the last
        {kNowList, 0, 1, kNow, {10, 1, 11, 2, 12, 3}},
        // An item past the end of the selection inserts nothing; the change is still told.
        {kNowList, 3, kEnd, kNow, {10, 1, 11, 2, 12, 3}},
        {kNowList, 0xFFFFFFFE, kEnd, kNow, {10, 1, 11, 2, 12, 3}},
        {0, 0, 0, {}, {}},
        {5, kAllItems, kEnd, kStored, {20, 21, 1, 2, 3}},
        {5, kAllItems, 1, kStored, {20, 1, 2, 3, 21, 1, 2, 3}},
        // A group refuses the files (no playlists-changed notice); an unknown id.
        {6, kAllItems, kEnd, {{PlaylistNotice::PlaylistChanged, 6}}, {}},
        {77, kAllItems, kEnd, {{PlaylistNotice::PlaylistChanged, 77}}, {}},
        {0, 0, 0, {}, {}},
        {5, 1, kEnd, kStored, {20, 21, 2}},
        {5, 2, 0, kStored, {3, 20, 21, 2}},
        // Past the end: the playlist is not even looked up; only its change is told.
        {5, 3, kEnd, kToldOnly, {3, 20, 21, 2}},
    };
    auto p = std::make_unique<Library>();
    for (const auto& s : steps) {
        if (s.playlist == 0) {
            p = std::make_unique<Library>();
            continue;
        }
        SCOPED_TRACE(std::to_string(s.playlist) + " " + std::to_string(s.item) + " " +
                     std::to_string(s.position));
        p->rerecord();
        EXPECT_EQ(p->addBand(s.playlist, s.item, s.position), s.notices);
        if (s.notices == kToldOnly) {
            EXPECT_TRUE(p->recorder->only({"root.m27("}).empty());
        }
        if (!s.keys.empty()) {
            EXPECT_EQ(p->keys(s.playlist), s.keys);
        }
    }
    // "After the current entry" means nothing to a stored playlist: the value goes to the host
    // as it is, and the files after the first follow it from the start.
    p->rerecord();
    EXPECT_EQ(p->addBand(5, kAllItems, kAfter), kStored);
    EXPECT_EQ(
        p->recorder->only({"playlistFiles.m17("}),
        (std::vector<std::string>{"playlistFiles.m17(files,0,-1)", "playlistFiles.m17(files,1,0)",
                                  "playlistFiles.m17(files,2,1)"}));
    // Only VARIANT_TRUE counts as stored.
    p->rerecord();
    p->recorder->answer("playlist.m9(", HostValue::fromVariantBool(1));
    EXPECT_EQ(p->addBand(5, 0, kEnd), kToldOnly);
    // After the current entry with nothing current is the start.
    SmallPlayer empty({track(1, u"Band", u"One", u"First"), track(2, u"Band", u"One", u"Second")});
    EXPECT_EQ(addLibraryItemsToPlaylist(empty.root.get(), kNowList, u"", u"Band", u"One", u"",
                                        kAllItems, kAfter),
              kNow);
    EXPECT_EQ(empty.player.core().nowPlaying, (Keys{1, 2}));
}

TEST(LibraryAdd, SelectionRulesAndFailures) {
    Library p;
    auto add = [&](int32_t playlist, std::u16string artist, std::u16string album) {
        return addLibraryItemsToPlaylist(p.root.get(), playlist, u"", artist, album, u"", kAllItems,
                                         kEnd);
    };
    // The marker album adds the artist's tracks without album; no album, the artist's every
    // track.
    EXPECT_EQ(add(kNowList, u"Band", std::u16string(otherTracksMarker)), kNow);
    EXPECT_EQ(p.keys(kNowList), (Keys{10, 11, 12, 4}));
    add(kNowList, u"Band", u"");
    EXPECT_EQ(p.keys(kNowList).size(), 7u);
    // Nothing given, or nothing found: nothing is done and nothing is told.
    p.rerecord();
    EXPECT_TRUE(add(kNowList, u"", u"").empty());
    EXPECT_TRUE(add(5, u"", u"").empty());
    EXPECT_TRUE(p.recorder->calls().empty());
    EXPECT_TRUE(add(5, u"Nobody", u"").empty());
    EXPECT_EQ(p.keys(5), (Keys{20, 21}));
    // Any failed call, a null playing-now list or file: nothing is told.
    for (int32_t playlistId : {kNowList, 5})
        for (uint32_t position : {kAfter, kEnd, 1u})
            failEachCall(p, [&] { return !p.addBand(playlistId, kAllItems, position).empty(); });
    p.rerecord();
    p.recorder->answer("root.m3(", HostValue(host::HostObjectPtr()));
    EXPECT_TRUE(p.addBand(kNowList, 0, kEnd).empty());
    p.rerecord();
    p.recorder->answer("files.m2(", HostValue(host::HostObjectPtr()));
    EXPECT_TRUE(p.addBand(5, 0, kEnd).empty());
    EXPECT_TRUE(addLibraryItemsToPlaylist(nullptr, 5, u"", u"Band", u"", u"", 0, 0).empty());
}

} // namespace
