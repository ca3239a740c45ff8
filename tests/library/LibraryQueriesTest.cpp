// The browsing requests against small libraries in the simulated player, seen through the
// recorder: the entries read from the files in name order, the fallbacks, and that a failure
// anywhere leaves no result.
#include "library/LibraryQueries.h"
#include "common/Utf.h"
#include "library/NameCollation.h"
#include "tests/library/RecordingHost.h"

#include <gtest/gtest.h>

using namespace library;
using namespace library_test;
using host::HostObjectPtr;
using host::HostValue;
using medialib::Track;

namespace {

// A list that counts its destruction, to see whether a request replaced it.
struct SentinelList : LibraryStringList {
    static inline int destroyed = 0;
    SentinelList() : LibraryStringList(99) {}
    ~SentinelList() override { ++destroyed; }
};

// The out-parameter of a request, destroyed at the end of the test.
struct Out {
    WinampMediaLibraryListBase* list = new SentinelList;
    ~Out() { delete list; }
    bool untouched() const { return dynamic_cast<SentinelList*>(list) != nullptr; }
    template <class L> const auto& entries() const { return dynamic_cast<const L&>(*list).entries; }
    const auto& strings() const { return entries<LibraryStringList>(); }
};

TEST(LibrarySelection, KindFollowsTheBranchThatFoundTheFiles) {
    SmallPlayer p(
        {track(1, u"Band", u"One", u"a", u"Jazz"), track(2, u"Loner", u"", u"b", u"Jazz")});
    const std::tuple<std::u16string, std::u16string, std::u16string, bool, int32_t> cases[] = {
        {u"Jazz", u"", u"", false, SELECTION_ARTISTS},
        {u"", u"Band", u"", true, SELECTION_ALBUMS},
        {u"", u"Loner", u"", true, SELECTION_TRACKS}, // no album: the fallback's tracks
        {u"", u"", u"One", true, SELECTION_TRACKS},
    };
    for (const auto& [genre, artist, album, distinct, expected] : cases) {
        int32_t kind = 0;
        EXPECT_NE(selectLibraryFiles(p.root.get(), genre, artist, album, u"", kind, distinct, 0),
                  nullptr);
        EXPECT_EQ(kind, expected) << utf16ToUtf8(genre + artist + album);
    }
    // Found only when the expression runs the second time: still albums.
    p.recorder->clear();
    p.recorder->answer("files.m1(", HostValue(0), 0);
    int32_t kind = 0;
    ASSERT_NE(selectLibraryFiles(p.root.get(), u"", u"Band", u"", u"", kind, true, false), nullptr);
    EXPECT_EQ(kind, SELECTION_ALBUMS);
    EXPECT_EQ(p.recorder->searches().size(), 2u);
}

// Genres, composers and albums of the audio files, and the artists and album artists merged
// in name order; other kinds are refused without a call.
TEST(LibraryCategories, EachKindOfListAndRefusedKinds) {
    const std::u16string precomposed = u"\u00c9b\u00e8ne", decomposed = u"E\u0301be\u0300ne";
    Track blue1 = track(1, u"Zed", u"Blue", u"a", u"Rock");
    blue1.composer = u"Bach";
    blue1.albumArtist = precomposed;
    blue1.trackNumber = 65537; // cut to 16 bits: 1
    Track blue2 = track(2, u"Various", u"Blue", u"b", u"Jazz");
    blue2.albumArtist = decomposed;
    Track red = track(3, u"the case study", u"Red", u"c", u"Jazz");
    std::tie(red.composer, red.albumArtist) = std::tuple(u"Satie", u"The Case Study");
    Track film = track(4, u"Cam", u"Film", u"d", u"Docs");
    std::tie(film.mediaType, film.composer) = std::tuple(u"Video", u"Glass");
    SmallPlayer p({blue1, blue2, red, film, track(5, u"10cc", u"", u"e", u"")});
    const std::string ebene = utf16ToUtf8(precomposed);
    const std::tuple<uint32_t, std::vector<std::string>> cases[] = {
        {0, {"Jazz", "Rock"}},
        {2, {"Bach", "Satie"}},
        // Every name once (the decomposed name is the precomposed one, which came first), in
        // name order: digits before letters, lower case before upper case. The album artist of
        // 10cc's file is empty and is listed as it is.
        {1, {"", "10cc", ebene, "the case study", "The Case Study", "Various", "Zed"}},
    };
    for (const auto& [kind, names] : cases) {
        Out out;
        ASSERT_TRUE(listLibraryCategory(p.root.get(), kind, out.list));
        EXPECT_EQ(out.list->kind, int32_t(kind));
        EXPECT_EQ(out.strings(), names) << kind;
    }
    Out albums;
    ASSERT_TRUE(listLibraryCategory(p.root.get(), 6, albums.list));
    EXPECT_EQ(albums.entries<LibraryAlbumList>(),
              (std::vector<AlbumEntry<std::string>>{{"Blue", ebene, 1},
                                                    {"Blue", utf16ToUtf8(decomposed), 2},
                                                    {"Red", "The Case Study", 3}}));
    p.recorder->clear();
    for (uint32_t kind : {3u, 5u, 7u}) {
        Out out;
        EXPECT_FALSE(listLibraryCategory(p.root.get(), kind, out.list)) << kind;
        EXPECT_TRUE(out.untouched());
    }
    EXPECT_TRUE(p.recorder->calls().empty());
    // Where the system's collation is missing, names compare by code units.
    EXPECT_EQ(std::tuple(compareCodeUnits(u"b", u"a"), compareCodeUnits(u"a", u"b"),
                         compareCodeUnits(u"a", u"a")),
              std::tuple(1, -1, 0));
}

// Nothing given, nothing found or any call failing: no list, and the one held is untouched.
TEST(LibraryQuery, NothingGivenNothingFoundOrAnyFailedCallLeavesNoList) {
    Track a = track(1, u"Band", u"One", u"a", u"Jazz"), b = track(2, u"Solo", u"", u"b", u"Jazz");
    a.composer = u"Bach";
    std::tie(b.albumArtist, b.composer) = std::tuple(u"Band", u"Satie");
    SmallPlayer p({a, b});
    Out held;
    EXPECT_FALSE(queryLibraryList(p.root.get(), 1, u"", u"", u"", u"", held.list));
    EXPECT_FALSE(queryLibraryList(p.root.get(), 1, u"", u"", std::u16string(otherTracksMarker), u"",
                                  held.list));
    EXPECT_TRUE(p.recorder->calls().empty());
    EXPECT_FALSE(queryLibraryList(p.root.get(), 1, u"", u"Nobody", u"", u"", held.list));
    EXPECT_EQ(p.recorder->searches().size(), 3u);
    EXPECT_FALSE(queryLibraryList(p.root.get(), 1, u"Polka", u"", u"", u"", held.list))
        << "a genre without files gives an empty one-file-per-artist collection";
    EXPECT_TRUE(held.untouched());
    // True when the request gave a list or touched the one held before.
    using Request = std::function<bool(host::HostObject*, WinampMediaLibraryListBase*&)>;
    auto gives = [&p](Request request) {
        return [&p, request] {
            int before = SentinelList::destroyed;
            Out out;
            return request(p.root.get(), out.list) || !out.untouched() ||
                   SentinelList::destroyed != before;
        };
    };
    auto query = [&](std::u16string genre, std::u16string artist, std::u16string album) {
        return gives([=](host::HostObject* root, WinampMediaLibraryListBase*& out) {
            return queryLibraryList(root, 1, genre, artist, album, u"", out);
        });
    };
    auto category = [&](uint32_t kind) {
        return gives([=](host::HostObject* root, WinampMediaLibraryListBase*& out) {
            return listLibraryCategory(root, kind, out);
        });
    };
    failEachCall(p, query(u"Jazz", u"", u""));
    failEachCall(p, query(u"", u"Band", u""));
    failEachCall(p, query(u"", u"Band", u"One"));
    failEachCall(p, query(u"", u"Solo", u"x")); // through the fallback
    for (uint32_t kind : {0u, 1u, 2u, 6u})
        failEachCall(p, category(kind));
    // A null object where one is needed, or a number that is not one.
    const std::tuple<const char*, HostValue, std::function<bool()>> answers[] = {
        {"files.m2(", HostValue(HostObjectPtr()), query(u"", u"Band", u"")},
        {"root.m23(", HostValue(HostObjectPtr()), query(u"Jazz", u"", u"")},
        {"file.g8(", HostValue(u"seven"), category(6)},
        {"files.m1(", HostValue(u"many"), category(0)},
        {"files.m1(", HostValue(-3), query(u"", u"Band", u"")}, // no file at all
    };
    for (const auto& [call, value, request] : answers) {
        p.recorder->clear();
        p.recorder->answer(call, value);
        EXPECT_FALSE(request()) << call;
    }
}

} // namespace
