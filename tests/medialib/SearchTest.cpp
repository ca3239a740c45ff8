// The search language with the expressions the bridge builds, over a small hand-made library
// whose answers are known.
#include "medialib/Search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace medialib;

namespace {

using V = std::vector<int32_t>;

// Keys of the files `expr` selects from `library`, in result order; fails the test on an error.
V run(const std::vector<Track>& library, std::u16string_view expr) {
    SearchError e;
    auto q = SearchQuery::parse(expr, &e);
    EXPECT_TRUE(q.has_value()) << e.describe();
    std::vector<const Track*> all;
    for (const Track& t : library)
        all.push_back(&t);
    V keys;
    for (const Track* t : q ? q->run(all) : std::vector<const Track*>{})
        keys.push_back(t->key);
    return keys;
}

std::string error(std::u16string_view expr) {
    SearchError e;
    EXPECT_FALSE(SearchQuery::parse(expr, &e).has_value());
    return e.describe();
}

// The browser's word search: the word in any of four fields, audio only.
std::u16string word(std::u16string w) {
    return u"[Album]=\"" + w + u"\" or [Artist]=\"" + w + u"\" or [Genre]=\"" + w +
           u"\" or [Name]=\"" + w + u"\" [Media Type]=[Audio]";
}

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char16_t *name, *artist, *album, *albumArtist, *composer, *genre;
            int32_t disc, track, rating, plays;
        } rows[] = {
            // clang-format off
            {u"Shock", u"AC/DC", u"Volts", u"", u"", u"Rock", 0, 0, 5, 12},
            {u"Loose Single", u"Salt/Pepper [live]", u"", u"", u"", u"", 0, 0, 0, 0},
            {u"Cold Water", u"Björk Ensemble", u"Blue", u"", u"Erik Satie", u"Jazz", 1, 2, 3, 0},
            {u"Warm Water", u"björk ensemble", u"Blue", u"", u"Erik Satie", u"Jazz", 1, 1, 4, 0},
            {u"One", u"Anna Berg", u"Hits \"2000\"", u"Various Artists", u"", u"Pop", 0, 0, 0, 1},
            {u"Two", u"Zed", u"Hits \"2000\"", u"Various Artists", u"", u"Pop", 0, 0, 0, 0},
            {u"Clip", u"Video Guy", u"Clips", u"", u"", u"Pop", 0, 0, 0, 0}, // a video
            // clang-format on
        };
        for (const auto& r : rows) {
            Track& t = tracks.emplace_back();
            t.key = int32_t(tracks.size());
            std::tie(t.name, t.artist, t.album, t.albumArtist, t.composer, t.genre) =
                std::tie(r.name, r.artist, r.album, r.albumArtist, r.composer, r.genre);
            std::tie(t.discNumber, t.trackNumber, t.rating, t.playCount) =
                std::tie(r.disc, r.track, r.rating, r.plays);
        }
        tracks[6].mediaType = u"Video";
    }
    V run(std::u16string_view expr) { return ::run(tracks, expr); }

    std::vector<Track> tracks;
};

// Every shape of expression the library browser builds, written out literally with its
// separators (double spaces included), and the language's edges.
TEST_F(SearchTest, EveryExpressionSelectsWhatItMeans) {
    const std::u16string tracksTail =
        u" ~sort=[Album],[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
    const std::u16string fallbackTail =
        u" ~sort=[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
    const std::u16string salt = u"Salt//Pepper /[live/]";
    const std::u16string albumsTail = u"  -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]";
    const std::pair<std::u16string, V> rows[] = {
        // Category lists (each kind is listed in tests/library/LibraryQueriesTest.cpp): artists
        // differing only in case are two values for ~nodup.
        {u"~nodup=[Artist] [Media Type]=[Audio] -[Artist]=[]", {1, 2, 3, 4, 5, 6}},
        {u"~nodup=[Album Artist (auto)] [Media Type]=[Audio] -[Album Artist (auto)]=[]",
         {1, 2, 3, 4, 5}},
        // Albums of an artist (album artist or artist, escaped), within a genre; an artist
        // with no album gets none and the fallback finds the tracks.
        {u"~sort=[Album] [Album Artist (auto)]=[AC//DC] or [Artist]=[AC//DC]" + albumsTail, {1}},
        {u"~sort=[Album]  [Album Artist (auto)]=[Various Artists] or [Artist]=[Various "
         u"Artists]  -[Album]=[] [Media Type]=[Audio]",
         {5, 6}},
        {u"~sort=[Album] [Album Artist (auto)]=[AC//DC] or [Artist]=[AC//DC]  [Genre]=[Jazz]" +
             albumsTail,
         {}},
        {u" [Album Artist (auto)]=[" + salt + u"] or [Artist]=[" + salt + u"] " + fallbackTail,
         {2}},
        {u"[Album]=[] [Album Artist (auto)]=[" + salt + u"]" + tracksTail, {2}},
        // Tracks of an album by disc and track number; of a compilation by its album artist,
        // which none of its artists is.
        {u"[Album]=[Blue]" + tracksTail, {4, 3}},
        {u"[Album]=[Hits /\"2000/\"] [Album Artist (auto)]=[Various Artists]" + tracksTail, {5, 6}},
        {u"[Album]=[Hits /\"2000/\"] [Album Artist (auto)]=[Zed]" + tracksTail, {}},
        // Fallbacks by composer and genre, and with nothing but the tail.
        {u" [Composer]=[Erik Satie] [Genre]=[Jazz]" + fallbackTail, {4, 3}},
        {fallbackTail, {1, 2, 5, 6, 4, 3}},
        {u"[Album]=[Hits \"2000\"] ~n=0", {}},
        {u"~nodup=[Album],[Genre] ~sort=[Genre],[Album] -[Album]=[]", {3, 7, 5, 1}},
        // Word search: phrases narrow, escape, fold case; videos are not audio.
        {word(u"WATER") + u" " + word(u"cold"), {3}},
        {word(u"ac//dc"), {1}},
        {word(u"/\"2000/\""), {5, 6}},
        {word(u"/[LIVE/]"), {2}},
        {word(u"clip"), {}},
        {word(u"j"), {3, 4}}, // genre Jazz and Björk
        // Rule fills at the edges of the rating scale, play counts; a blank rule is nothing.
        {u"[rating]=0 [Media Type]=[Audio]", {2, 5, 6}},
        {u"[rating]=>-1 [Media Type]=[Audio]", {1, 2, 3, 4, 5, 6}},
        {u"[rating]=>0 [Media Type]=[Audio]", {1, 3, 4}},
        {u"[rating]=<4 -[rating]=[]", {3}},
        {u"[numberplays]=[] or numberplays=0 [Media Type]=[Audio]", {2, 3, 4, 6}},
        {u"-([Genre]=[Pop] or [Genre]=[Jazz])", {1, 2}},
        {u"   ", {}},
        {u"~sort=[Name] ~n=3", {7, 3, 2}},
        // Greater and less exclude the value, numbers compare by value ("04" is 4, "+3" is 3),
        // a number against a text matches nothing, a phrase searches a number's digits, texts
        // compare ignoring case.
        {u"[rating]=>+3", {1, 4}},
        {u"[rating]=>[3]", {1, 4}},
        {u"[rating]=[04]", {4}},
        {u"[rating]=[four]", {}},
        {u"[numberplays]=\"1\"", {1, 5}},
        {u"[Name]=>[t]", {4, 6}},
        {u"[Name]=<[COLD WATER]", {7}},
        {u"[Name]=>[cold water] [Name]=<[loose single]", {}},
        // Tabs and line ends separate; "or" binds tighter than the joining "and".
        {u"[Genre]=[Pop]\t[Media Type]=[Audio]\r\n-[Name]=[One]", {6}},
        {u"([Genre]=Pop)", {5, 6, 7}},
        {u"[Genre]=[Jazz] or [Genre]=[Pop] [Media Type]=[Video]", {7}},
        // Nesting up to the limit: an even number of negations.
        {std::u16string(64, u'-') + u"[Artist]=[AC//DC]", {1}},
        {std::u16string(64, u'(') + u"[Genre]=[Pop]" + std::u16string(64, u')'), {5, 6, 7}},
    };
    for (const auto& [expr, keys] : rows)
        EXPECT_EQ(run(expr), keys) << std::string(expr.begin(), expr.end());
}

// Case is ignored in every script with case, not a chosen few: Latin-1, Greek with its final
// sigma, Polish, Cyrillic, full-width Latin at the top of the plane.
TEST_F(SearchTest, CaseIsIgnoredAcrossScripts) {
    const std::pair<std::u16string, std::u16string> pairs[] = {
        {u"\u0178VONNE \u0386\u0393\u0393\u0395\u039b\u039f\u03a3",
         u"\u00ffvonne \u03ac\u03b3\u03b3\u03b5\u03bb\u03bf\u03c3"},
        {u"\u00c9LODIE \u0141UKASZ \u0416", u"\u00e9lodie \u0142ukasz \u0436"},
        {u"\uff21\uff3a", u"\uff41\uff5a"}};
    for (const auto& [upper, lower] : pairs)
        for (const auto& [stored, asked] : {std::pair{upper, lower}, {lower, upper}}) {
            tracks[2].artist = stored;
            EXPECT_EQ(run(u"[Artist]=[" + asked + u"]"), (V{3}))
                << "U+" << std::hex << unsigned(stored[0]);
        }
}

TEST_F(SearchTest, ErrorsAreReportedWithTheirColumn) {
    const std::pair<std::u16string, const char*> rows[] = {
        {u"[Artst]=[x]", "column 1: unknown field [Artst]"},
        {u"[Artist]=[x", "column 10: missing closing ]"},
        {u"[Artist]=\"x", "column 10: missing closing \""},
        {u"[Artist]=", "column 1: missing value after '='"},
        {u"[Artist]=[a] or", "column 14: 'or' needs a condition on each side"},
        {u"and [Artist]=[a]", "column 1: 'and' needs a condition on each side"},
        {u"[rating]=>-", "column 11: '>' needs a number for [Rating]"},
        {u"[rating]=<1234567890123456789", "column 11: '<' needs a number for [Rating]"},
        {u"~sort=Artist", "column 7: expected [field]"},
        {u"~bogus=1", "column 1: unknown modifier (known: ~sort=, ~nodup=, ~n=)"},
        {u"([Genre]=[Pop]", "column 1: '(' without a matching ')'"},
        {u"[Genre]=[Pop])", "column 14: ')' without a matching '('"},
        {u"[Genre]=[Pop][Artist]=[x]", "column 14: expected a space before the next condition"},
        {u"[Genre]=[Pop/", "column 13: '/' at the end of the expression escapes nothing"},
        {u"- [Genre]=[Pop]", "column 1: '-' must be followed by a condition"},
        {u"([Genre]=[Pop] ~n=1)", "column 16: a modifier (~) is allowed only outside parentheses"},
        // Deep nesting is an error, not a stack overflow.
        {std::u16string(100000, u'('), "column 65: nested too deeply"},
        {std::u16string(100000, u'-') + u"[Artist]=[x]", "column 65: nested too deeply"},
    };
    for (const auto& [expr, message] : rows)
        EXPECT_EQ(error(expr), message)
            << std::string(expr.begin(), expr.begin() + std::min<size_t>(expr.size(), 20));
}

// ~sort is stable: among many files with equal keys (equal ignoring case included) the
// library's order stays; numbers sort by value. ~nodup keeps the first file of each exact value
// in the sorted order, whichever order the two are written in.
TEST(SearchSort, StableWithManyEqualKeysAndNodupAfterIt) {
    const std::u16string artists[5] = {u"b", u"A", u"a", u"B", u"c"};
    std::vector<Track> library;
    for (int32_t k = 1; k <= 300; ++k) {
        Track t;
        t.key = k;
        t.artist = artists[k % 5];
        t.trackNumber = (k % 3) * 5; // 0, 5, 10: "10" sorts after "5" by value
        const std::string name = std::to_string(1000 - k);
        t.name = std::u16string(name.begin(), name.end());
        library.push_back(t);
    }
    // a and A, then b and B, then c, each group in library order; then by track number.
    V byArtist, byTrack;
    for (auto group : {V{1, 2}, V{0, 3}, V{4}})
        for (int32_t k = 1; k <= 300; ++k)
            if (std::count(group.begin(), group.end(), k % 5))
                byArtist.push_back(k);
    for (int third : {0, 1, 2})
        for (int32_t k = 1; k <= 300; ++k)
            if (k % 3 == third)
                byTrack.push_back(k);
    EXPECT_EQ(run(library, u"~sort=[Artist]"), byArtist);
    EXPECT_EQ(run(library, u"~sort=[Track #]"), byTrack);
    EXPECT_EQ(run(library, u"~sort=[Artist] ~nodup=[Artist]"), (V{1, 2, 3, 5, 4}));
    EXPECT_EQ(run(library, u"~nodup=[Artist] ~sort=[Artist]"), (V{1, 2, 3, 5, 4}));
    // Sorted by name the library runs backwards, so the last file of each artist survives.
    EXPECT_EQ(run(library, u"~sort=[Name] ~nodup=[Artist] ~n=2"), (V{300, 299}));
}

} // namespace
