// The browsing requests against small libraries in the simulated player, seen through the
// recorder: the exact expressions, the entries read from the files, the fallbacks, and that a
// failure anywhere leaves no result.
#include "library/LibraryQueries.h"
#include "common/Utf.h"
#include "tests/library/SmallLibrary.h"

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

std::vector<std::string> u8(std::initializer_list<std::u16string> texts) {
    std::vector<std::string> out;
    for (const auto& t : texts)
        out.push_back(utf16ToUtf8(t));
    return out;
}

using A = AlbumEntry<std::string>;
using Searches = std::vector<std::u16string>;
const std::u16string kSorted = u" ~sort=[Album],[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
const std::u16string kByDisc = u" ~sort=[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
const std::u16string kSaltPepper = u"Salt/Pepper [live]";
const std::u16string kSaltPepperClause =
    u" [Album Artist (auto)]=[Salt//Pepper /[live/]] or [Artist]=[Salt//Pepper /[live/]] ";

// With nothing in the library every search finds nothing, so each selection runs its whole
// chain of expressions and gives none: the first expression twice, then the fallback.
TEST(LibrarySelection, ExpressionChainsWhenNothingIsFound) {
    auto twice = [](const std::u16string& first, const std::u16string& fallback) {
        return Searches{first, first, fallback};
    };
    const std::u16string albumsOfArtist =
        u"~sort=[Album]" + kSaltPepperClause + u" -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]";
    const std::u16string composed = u"~sort=[Album] [Composer]=[Ba/[c/]h] [Genre]=[R&B] "
                                    u"-[Album]=[] [Media Type]=[Audio] ~nodup=[Album]";
    const std::u16string all = u"[Album]=[Live//Unplugged] [Album Artist (auto)]=[AC//DX] "
                               u"[Composer]=[Bach] [Genre]=[Jazz]";
    const std::u16string hipHop =
        u"~sort=[Album Artist (auto)] [Genre]=[Hip//Hop] [Media Type]=[Audio]";
    struct Case {
        std::u16string genre, artist, album, composer;
        bool distinct, noAlbum;
        Searches searches;
    };
    const Case cases[] = {
        {u"", kSaltPepper, u"", u"", true, false,
         twice(albumsOfArtist, kSaltPepperClause + kByDisc)},
        {u"R&B", u"", u"", u"Ba[c]h", true, false,
         twice(composed, u"[Composer]=[Ba/[c/]h] [Genre]=[R&B]" + kByDisc)},
        // The composer takes no part.
        {u"Jazz", kSaltPepper, u"", u"Bach", false, false,
         twice(u"~sort=[Album]" + kSaltPepperClause +
                   u" [Genre]=[Jazz] -[Album]=[] [Media Type]=[Audio]",
               kSaltPepperClause + u" [Genre]=[Jazz]" + kByDisc)},
        {u"Hip/Hop", u"", u"", u"", false, false, {hipHop, u" [Genre]=[Hip//Hop]" + kByDisc}},
        {u"Jazz", u"AC/DX", u"Live/Unplugged", u"Bach", true, false,
         twice(all + kSorted, artistClause(u"AC/DX") + u" [Genre]=[Jazz]" + kByDisc)},
        {u"", u"AC/DX", u"", u"", true, true,
         twice(u"[Album]=[] [Album Artist (auto)]=[AC//DX]" + kSorted,
               artistClause(u"AC/DX") + kByDisc)},
        {u"", u"", u"\"{Blue}\"", u"Satie", false, false,
         twice(u"[Album]=[/\"/{Blue/}/\"] [Composer]=[Satie]" + kSorted,
               u"[Composer]=[Satie]" + kByDisc)},
        {u"", u"", u"", u"", true, true, {}},
    };
    SmallPlayer p(std::vector<Track>{});
    for (const Case& c : cases) {
        p.rerecord();
        int32_t kind = -5;
        HostObjectPtr files = selectLibraryFiles(p.root.get(), c.genre, c.artist, c.album,
                                                 c.composer, kind, c.distinct, c.noAlbum);
        SCOPED_TRACE(utf16ToUtf8(c.genre + u"|" + c.artist + u"|" + c.album + u"|" + c.composer));
        EXPECT_EQ(files, nullptr);
        EXPECT_EQ(p.recorder->searches(), c.searches);
    }
}

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
    p.rerecord();
    p.recorder->answer("files.m1(", HostValue(0), 0);
    int32_t kind = 0;
    ASSERT_NE(selectLibraryFiles(p.root.get(), u"", u"Band", u"", u"", kind, true, false), nullptr);
    EXPECT_EQ(kind, SELECTION_ALBUMS);
    EXPECT_EQ(p.recorder->searches().size(), 2u);
}

// Genres, composers and albums of the audio files; other kinds are refused without a call,
// and a library without audio gives empty lists (replacing the one held before).
TEST(LibraryCategories, GenresComposersAlbumsAndRefusedKinds) {
    Track blue1 = track(1, u"Zed", u"Blue", u"a", u"Rock");
    blue1.composer = u"Bach";
    blue1.trackNumber = 65537; // cut to 16 bits: 1
    Track blue2 = track(2, u"Alpha", u"Blue", u"b", u"Jazz");
    blue2.albumArtist = u"Various";
    Track red = track(3, u"Alpha", u"Red", u"c", u"Jazz");
    red.composer = u"Satie";
    Track film = track(4, u"Cam", u"Film", u"d", u"Docs");
    film.mediaType = u"Video";
    film.composer = u"Glass";
    film.albumArtist = u"Crew";
    SmallPlayer p({blue1, blue2, red, film});
    auto list = [&](uint32_t kind, Out& out, const std::u16string& search) {
        p.rerecord();
        ASSERT_TRUE(listLibraryCategory(p.root.get(), kind, out.list));
        EXPECT_EQ(p.recorder->searches(), Searches{search});
        EXPECT_EQ(out.list->kind, int32_t(kind));
    };
    Out genres, composers, albums;
    list(0, genres, u"~sort=[Genre] ~nodup=[Genre] [Media Type]=[Audio] -[Genre]=[]");
    EXPECT_EQ(genres.strings(), u8({u"Jazz", u"Rock"}));
    list(2, composers, u"~sort=[Composer] ~nodup=[Composer] [Media Type]=[Audio] -[Composer]=[]");
    EXPECT_EQ(composers.strings(), u8({u"Bach", u"Satie"}));
    list(6, albums,
         u"~sort=[Album] ~nodup=[Album],[Album Artist (auto)] [Media Type]=[Audio] -[Album]=[]");
    EXPECT_EQ(albums.entries<LibraryAlbumList>(),
              (std::vector<A>{{"Blue", "Zed", 1}, {"Blue", "Various", 2}, {"Red", "Alpha", 3}}));

    p.rerecord();
    for (uint32_t kind : {3u, 4u, 5u, 7u, 0xFFFFFFFFu}) {
        Out out;
        EXPECT_FALSE(listLibraryCategory(p.root.get(), kind, out.list)) << kind;
        EXPECT_TRUE(out.untouched());
    }
    EXPECT_TRUE(p.recorder->calls().empty());

    SmallPlayer videos({film});
    for (uint32_t kind : {0u, 1u, 2u, 6u}) {
        int before = SentinelList::destroyed;
        Out out;
        ASSERT_TRUE(listLibraryCategory(videos.root.get(), kind, out.list)) << kind;
        EXPECT_EQ(SentinelList::destroyed, before + 1) << "the list held before is destroyed";
        EXPECT_EQ(out.list->count(), 0u);
        EXPECT_EQ(out.list->kind, int32_t(kind));
    }
    Out query;
    EXPECT_FALSE(queryLibraryList(videos.root.get(), 1, u"", u"Cam", u"", u"", query.list));
    EXPECT_FALSE(queryLibraryList(videos.root.get(), 1, u"", u"Cam", u"Film", u"", query.list));
    EXPECT_FALSE(queryLibraryList(videos.root.get(), 1, u"", u"", u"", u"Glass", query.list));
    EXPECT_TRUE(query.untouched());
}

TEST(LibraryCategories, ArtistListMergesArtistsAndAlbumArtistsInNameOrder) {
    auto named = [](int32_t key, std::u16string artist, std::u16string albumArtist) {
        Track t = track(key, std::move(artist), u"Album", u"t" + std::u16string(1, u'a' + key));
        t.albumArtist = std::move(albumArtist);
        return t;
    };
    Track film = named(11, u"Cam", u"Crew");
    film.mediaType = u"Video";
    SmallPlayer p({
        named(1, u"The Case Study", u"The Case Study"),
        named(2, u"the case study", u"the case study"),
        named(3, u"\u00c9b\u00e8ne", u"\u00c9b\u00e8ne"), // precomposed
        named(4, u"Eagles", u"E\u0301be\u0300ne"),        // the same name, decomposed
        named(5, u"Fleetwood", u"Fleetwood"),
        named(6, u"\u00c5ngstr\u00f6m", u"\u00c5ngstr\u00f6m"),
        named(7, u"ABBA", u"ABBA"),
        named(8, u"10cc", u"10cc"),
        named(9, u"Zed", u"Various Artists"),
        named(10, u"Solo", u""),
        named(12, u"(Hed) Planet Earth", u"2Pac"),
        named(13, u"Zo\u00eb", u"Zoe"),
        named(14, u"Anja", u"Anja"),
        film,
    });
    Out out;
    ASSERT_TRUE(listLibraryCategory(p.root.get(), 1, out.list));
    EXPECT_EQ(p.recorder->searches(),
              (Searches{u"~nodup=[Artist] [Media Type]=[Audio] -[Artist]=[]",
                        u"~nodup=[Album Artist (auto)] [Media Type]=[Audio] "
                        u"-[Album Artist (auto)]=[]"}));
    EXPECT_EQ(out.list->kind, LIST_KIND_ARTISTS);
    // Every name once, in name order: the decomposed Ébène is the same name as the
    // precomposed one, which came first; accented names sit with their base letters, the
    // accent deciding only after the letters; lower case before upper case; punctuation
    // before digits before letters, digits one by one. The album artist property of Solo's
    // file is empty and is listed as it is.
    EXPECT_EQ(out.strings(),
              u8({u"", u"(Hed) Planet Earth", u"10cc", u"2Pac", u"ABBA", u"\u00c5ngstr\u00f6m",
                  u"Anja", u"Eagles", u"\u00c9b\u00e8ne", u"Fleetwood", u"Solo", u"the case study",
                  u"The Case Study", u"Various Artists", u"Zed", u"Zoe", u"Zo\u00eb"}));
}

TEST(LibraryQuery, GenreAloneGivesOneEntryPerArtistNameShowingTheFirstFilesArtist) {
    Track zed = track(1, u"Zed", u"A", u"a", u"Jazz");
    Track alpha = track(2, u"alpha", u"B", u"b", u"Jazz");
    alpha.albumArtist = u"Various Artists";
    Track alphaUpper = track(3, u"Alpha", u"C", u"c", u"Jazz");
    alphaUpper.albumArtist = u"Alpha";
    Track zedAgain = track(4, u"Zed", u"D", u"d", u"Jazz");
    zedAgain.albumArtist = u"Zed";
    Track rock = track(5, u"Rocker", u"E", u"e", u"Rock");
    SmallPlayer p({zed, alpha, alphaUpper, zedAgain, rock});
    Out out;
    ASSERT_TRUE(queryLibraryList(p.root.get(), 7, u"Jazz", u"", u"", u"", out.list));
    EXPECT_EQ(p.recorder->searches(), Searches{u"[Genre]=[Jazz]"});
    // Names: "" (Zed's empty album artist), alpha, Alpha, Various Artists (known only as the
    // album artist of alpha's file), Zed; each shows the artist of its first file.
    EXPECT_EQ(out.list->kind, LIST_KIND_ARTISTS);
    EXPECT_EQ(out.strings(), u8({u"Zed", u"alpha", u"Alpha", u"alpha", u"Zed"}));
}

// An artist alone gives the artist's albums (see the album tests below) or, without any, the
// tracks by disc and track number.
TEST(LibraryQuery, ArtistWithoutAlbumsGivesTracksByDiscAndTrack) {
    auto numbered = [](int32_t key, std::u16string name, int32_t disc, int32_t number) {
        Track t = track(key, u"Loner", u"", std::move(name));
        t.discNumber = disc;
        t.trackNumber = number;
        return t;
    };
    Track intro = numbered(11, u"Intro", 1, 2);
    intro.playCount = 9;
    intro.rating = 4;
    SmallPlayer p({track(5, u"Salt/Pepper", u"Studio", u"s1"), numbered(12, u"B-side", 2, 1), intro,
                   numbered(10, u"Opening", 1, 1)});
    // The first file read gives numbers beyond the entry's fields.
    p.recorder->answer("file.g6(", HostValue(70000), 0);
    p.recorder->answer("file.g11(", HostValue(0x12345), 0);
    p.recorder->answer("file.g8(", HostValue(0x10003), 0);
    p.recorder->answer("file.g18(", HostValue(0x1FF), 0);
    Out tracks;
    ASSERT_TRUE(queryLibraryList(p.root.get(), 1, u"", u"Loner", u"", u"", tracks.list));
    const std::u16string albumsOfLoner = u"~sort=[Album]" + artistClause(u"Loner") +
                                         u" -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]";
    EXPECT_EQ(p.recorder->searches(),
              (Searches{albumsOfLoner, albumsOfLoner, artistClause(u"Loner") + kByDisc}));
    using T = TrackEntry<std::string>;
    EXPECT_EQ(tracks.entries<LibraryTrackList>(),
              (std::vector<T>{{"Loner", "Opening", "", "", 70000, 0x2345, 3, 0, 0xFF},
                              {"Loner", "Intro", "", "", 211, 9, 2, 0, 4},
                              {"Loner", "B-side", "", "", 212, 0, 1, 0, 0}}));
}

TEST(LibraryQuery, AlbumRequestsAndTheOtherTracksMarker) {
    Track two = track(1, u"Band", u"One", u"Second");
    two.trackNumber = 2;
    Track one = track(2, u"Band", u"One", u"First");
    one.trackNumber = 1;
    SmallPlayer p(
        {two, one, track(3, u"Band", u"", u"Loose"), track(4, u"Other", u"", u"Elsewhere")});
    // Only the whole marker, code unit by code unit, stands for the tracks without album.
    const std::u16string marker(otherTracksMarker);
    EXPECT_EQ(utf16ToUtf8(marker), "\xE2\x80\x8FOther tracks");
    const std::tuple<std::u16string, std::u16string, std::vector<std::string>> cases[] = {
        {u"One", u"One", {"First", "Second"}},
        {marker, u"", {"Loose"}},
        {u"Other tracks", u"Other tracks", {}},
        {marker + u" ", marker + u" ", {}},
        {u"\u200Fother tracks", u"\u200Fother tracks", {}},
    };
    for (const auto& [album, searched, names] : cases) {
        p.rerecord();
        Out out;
        bool found = queryLibraryList(p.root.get(), 1, u"", u"Band", album, u"", out.list);
        EXPECT_EQ(p.recorder->searches().front(),
                  u"[Album]=[" + searched + u"] [Album Artist (auto)]=[Band]" + kSorted);
        if (names.empty())
            continue;
        ASSERT_TRUE(found);
        std::vector<std::string> titles;
        for (const auto& e : out.entries<LibraryTrackList>())
            titles.push_back(e.name);
        EXPECT_EQ(titles, names) << utf16ToUtf8(album);
    }
}

TEST(LibraryQuery, AlbumListEndsWithOtherTracksWhenAFileHadNoAlbum) {
    Track two = track(3, u"Band", u"Two", u"c");
    two.albumArtist = u"Band & Friends";
    SmallPlayer p({track(1, u"Band", u"One", u"a"), track(2, u"Band", u"Three", u"b"), two});
    // The host reports the second album file's title as empty.
    p.recorder->answer("file.g3(", HostValue(u""), 1);
    Out out;
    ASSERT_TRUE(queryLibraryList(p.root.get(), 1, u"", u"Band", u"", u"", out.list));
    EXPECT_EQ(out.entries<LibraryAlbumList>(),
              (std::vector<A>{{"One", "Band", 1},
                              {"Two", "Band & Friends", 3},
                              {utf16ToUtf8(otherTracksMarker), "Band", 0}}));
}

// Nothing given, nothing found or any call failing: no list, and the one held is untouched.
TEST(LibraryQuery, NothingGivenNothingFoundOrAnyFailedCallLeavesNoList) {
    Track a = track(1, u"Band", u"One", u"a", u"Jazz");
    a.composer = u"Bach";
    Track b = track(2, u"Solo", u"", u"b", u"Jazz");
    b.albumArtist = u"Band";
    b.composer = u"Satie";
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
    auto gave = [](const std::function<bool(WinampMediaLibraryListBase*&)>& request) {
        int before = SentinelList::destroyed;
        Out out;
        return request(out.list) || !out.untouched() || SentinelList::destroyed != before;
    };
    auto query = [&](std::u16string genre, std::u16string artist, std::u16string album) {
        return [=, &p, &gave] {
            return gave([&](WinampMediaLibraryListBase*& out) {
                return queryLibraryList(p.root.get(), 1, genre, artist, album, u"", out);
            });
        };
    };
    auto category = [&](uint32_t kind) {
        return [=, &p, &gave] {
            return gave([&](WinampMediaLibraryListBase*& out) {
                return listLibraryCategory(p.root.get(), kind, out);
            });
        };
    };
    failEachCall(p, query(u"Jazz", u"", u""));
    failEachCall(p, query(u"", u"Band", u""));
    failEachCall(p, query(u"", u"Band", u"One"));
    failEachCall(p, query(u"", u"Solo", u"x")); // through the fallback
    for (uint32_t kind : {0u, 1u, 2u, 6u})
        failEachCall(p, category(kind));
    // A null object where one is needed, or a number that is not one.
    EXPECT_FALSE(queryLibraryList(nullptr, 1, u"Jazz", u"", u"", u"", held.list));
    EXPECT_FALSE(listLibraryCategory(nullptr, 1, held.list));
    const std::tuple<const char*, HostValue, std::function<bool()>> answers[] = {
        {"files.m2(", HostValue(HostObjectPtr()), query(u"", u"Band", u"")},
        {"root.m23(", HostValue(HostObjectPtr()), query(u"Jazz", u"", u"")},
        {"file.g8(", HostValue(u"seven"), category(6)},
        {"files.m1(", HostValue(u"many"), category(0)},
        {"files.m1(", HostValue(-3), query(u"", u"Band", u"")}, // no file at all
    };
    for (const auto& [call, value, request] : answers) {
        p.rerecord();
        p.recorder->answer(call, value);
        EXPECT_FALSE(request()) << call;
    }
    // The lower-level selections give none on failure.
    p.rerecord();
    p.recorder->failCall("root.m2(");
    int32_t kind = 0;
    EXPECT_EQ(selectLibraryFiles(p.root.get(), u"", u"Band", u"", u"", kind, true, false), nullptr);
    EXPECT_EQ(findAlbumFile(p.root.get(), u"One", u"", true), nullptr);
    p.rerecord();
    p.recorder->failCall("newFiles.m9(");
    EXPECT_EQ(filesOfDistinctArtists(p.root.get(), u"[Genre]=[Jazz]"), nullptr);
}

} // namespace
