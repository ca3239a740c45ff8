// The search language with the expressions the bridge builds, over a small hand-made library
// whose answers are known.
#include "medialib/Search.h"

#include <gtest/gtest.h>

#include <set>

using namespace medialib;

namespace {

Track make(int32_t key, std::u16string artist, std::u16string album, std::u16string name,
           std::u16string genre = u"Rock") {
    Track t;
    t.key = key;
    t.artist = std::move(artist);
    t.album = std::move(album);
    t.name = std::move(name);
    t.genre = std::move(genre);
    t.path = u"D:\\m\\" + std::u16string(1, char16_t(u'a' + key)) + u".mp3";
    return t;
}

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        tracks.push_back(make(1, u"AC/DC", u"Volts", u"Shock"));                // 0
        tracks.push_back(make(2, u"Salt/Pepper [live]", u"", u"Loose Single")); // 1 no album
        tracks.push_back(make(3, u"Björk Ensemble", u"Blue", u"Cold Water", u"Jazz"));
        tracks.push_back(make(4, u"björk ensemble", u"Blue", u"Warm Water", u"Jazz"));
        tracks.push_back(make(5, u"Anna Berg", u"Hits \"2000\"", u"One", u"Pop"));
        tracks.push_back(make(6, u"Zed", u"Hits \"2000\"", u"Two", u"Pop"));
        tracks.push_back(make(7, u"Video Guy", u"Clips", u"Clip", u"Pop"));
        tracks[4].albumArtist = u"Various Artists";
        tracks[5].albumArtist = u"Various Artists";
        tracks[6].mediaType = u"Video";
        tracks[2].composer = u"Erik Satie";
        tracks[3].composer = u"Erik Satie";
        tracks[2].trackNumber = 2;
        tracks[3].trackNumber = 1;
        tracks[2].discNumber = 1;
        tracks[3].discNumber = 1;
        tracks[0].rating = 5;
        tracks[2].rating = 3;
        tracks[3].rating = 4;
        tracks[0].playCount = 12;
        tracks[4].playCount = 1;
        tracks[1].genre = u"";
    }

    // Keys of the files the expression selects, in result order; fails the test on an error.
    std::vector<int32_t> run(std::u16string_view expr) {
        SearchError e;
        auto q = SearchQuery::parse(expr, &e);
        EXPECT_TRUE(q.has_value()) << e.describe();
        if (!q)
            return {};
        std::vector<const Track*> all;
        for (auto& t : tracks)
            all.push_back(&t);
        std::vector<int32_t> keys;
        for (const Track* t : q->run(all))
            keys.push_back(t->key);
        return keys;
    }
    std::string error(std::u16string_view expr) {
        SearchError e;
        auto q = SearchQuery::parse(expr, &e);
        EXPECT_FALSE(q.has_value());
        return e.describe();
    }

    std::vector<Track> tracks;
};

using V = std::vector<int32_t>;

TEST_F(SearchTest, CategoryListsOfTheLibraryBrowser) {
    EXPECT_EQ(run(u"~nodup=[Artist] [Media Type]=[Audio] -[Artist]=[]"), (V{1, 2, 3, 4, 5, 6}))
        << "artists differing only in case are two values for ~nodup";
    EXPECT_EQ(run(u"~nodup=[Album Artist (auto)] [Media Type]=[Audio] -[Album Artist (auto)]=[]"),
              (V{1, 2, 3, 4, 5}));
    EXPECT_EQ(run(u"~sort=[Genre] ~nodup=[Genre] [Media Type]=[Audio] -[Genre]=[]"), (V{3, 5, 1}));
    EXPECT_EQ(run(u"~sort=[Composer] ~nodup=[Composer] [Media Type]=[Audio] -[Composer]=[]"),
              (V{3}));
    EXPECT_EQ(run(u"~sort=[Album] ~nodup=[Album],[Album Artist (auto)] [Media Type]=[Audio] "
                  u"-[Album]=[]"),
              (V{3, 4, 5, 1}));
}

TEST_F(SearchTest, DrillDownsAndFallbacks) {
    // Artist clause: album artist or artist, case-insensitive, with escaping.
    EXPECT_EQ(run(u"~sort=[Album] [Album Artist (auto)]=[AC//DC] or [Artist]=[AC//DC]  -[Album]=[] "
                  u"[Media Type]=[Audio] ~nodup=[Album]"),
              (V{1}));
    EXPECT_EQ(run(u"~sort=[Album]  [Album Artist (auto)]=[Various Artists] or [Artist]=[Various "
                  u"Artists]  -[Album]=[] [Media Type]=[Audio]"),
              (V{5, 6}));
    // Tracks of an album sorted by disc and track number.
    EXPECT_EQ(
        run(u"[Album]=[Blue] ~sort=[Album],[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]"),
        (V{4, 3}));
    // No album: "[Album]=[]" with the artist.
    EXPECT_EQ(run(u"[Album]=[] [Album Artist (auto)]=[Salt//Pepper /[live/]] ~sort=[Album],[Disc "
                  u"#],[track #] -[Name]=[] [Media Type]=[Audio]"),
              (V{2}));
    EXPECT_EQ(run(u" [Composer]=[Erik Satie] [Genre]=[Jazz] ~sort=[Disc #],[track #] -[Name]=[] "
                  u"[Media Type]=[Audio]"),
              (V{4, 3}));
    EXPECT_EQ(run(u"[Genre]=[Pop]"), (V{5, 6, 7}));
    // Equal sort values keep the library's order.
    EXPECT_EQ(run(u"~sort=[Album Artist (auto)] [Genre]=[Pop] [Media Type]=[Audio]"), (V{5, 6}));
    EXPECT_EQ(run(u"~sort=[Artist] [Genre]=[Pop] [Media Type]=[Audio]"), (V{5, 6}));
    EXPECT_EQ(run(u"~sort=[Name] [Genre]=[Pop] [Media Type]=[Audio]"), (V{5, 6}));
}

// Every shape of expression the library browser builds, written out literally with its
// separators (double spaces included), and the files each must select.
TEST_F(SearchTest, EveryBrowserExpressionSelectsWhatItMeans) {
    const std::u16string tracksTail =
        u" ~sort=[Album],[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
    const std::u16string fallbackTail =
        u" ~sort=[Disc #],[track #] -[Name]=[] [Media Type]=[Audio]";
    const std::u16string salt = u"Salt//Pepper /[live/]";
    // Albums of an artist within a genre; of a composer, with and without a genre.
    EXPECT_EQ(run(u"~sort=[Album] [Album Artist (auto)]=[Björk Ensemble] or [Artist]=[Björk "
                  u"Ensemble]  [Genre]=[Jazz] -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]"),
              (V{3}));
    EXPECT_EQ(run(u"~sort=[Album] [Album Artist (auto)]=[AC//DC] or [Artist]=[AC//DC]  "
                  u"[Genre]=[Jazz] -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]"),
              V{});
    EXPECT_EQ(run(u"~sort=[Album] [Composer]=[erik satie] -[Album]=[] [Media Type]=[Audio] "
                  u"~nodup=[Album]"),
              (V{3}));
    EXPECT_EQ(run(u"~sort=[Album] [Composer]=[Erik Satie] [Genre]=[Jazz] -[Album]=[] "
                  u"[Media Type]=[Audio]"),
              (V{3, 4}));
    // An artist with no album at all: the album search is empty, the fallback finds the tracks.
    EXPECT_EQ(run(u"~sort=[Album] [Album Artist (auto)]=[" + salt + u"] or [Artist]=[" + salt +
                  u"]  -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]"),
              V{});
    EXPECT_EQ(
        run(u" [Album Artist (auto)]=[" + salt + u"] or [Artist]=[" + salt + u"] " + fallbackTail),
        (V{2}));
    // Tracks of an album with every value given, and of a compilation by its album artist.
    EXPECT_EQ(run(u"[Album]=[Blue] [Album Artist (auto)]=[björk ensemble] [Composer]=[Erik Satie] "
                  u"[Genre]=[Jazz]" +
                  tracksTail),
              (V{4, 3}));
    EXPECT_EQ(
        run(u"[Album]=[Hits /\"2000/\"] [Album Artist (auto)]=[Various Artists]" + tracksTail),
        (V{5, 6}));
    EXPECT_EQ(run(u"[Album]=[Hits /\"2000/\"] [Album Artist (auto)]=[Zed]" + tracksTail), V{})
        << "an artist of a compilation is not its album artist";
    // Fallbacks by composer, by genre only, and with nothing but the tail.
    EXPECT_EQ(run(u"[Composer]=[Erik Satie]" + fallbackTail), (V{4, 3}));
    EXPECT_EQ(run(u" [Genre]=[Pop]" + fallbackTail), (V{5, 6}));
    EXPECT_EQ(run(fallbackTail), (V{1, 2, 5, 6, 4, 3}));
    // One file of an album, by album artist, by artist, or by the album alone.
    EXPECT_EQ(run(u"[Album]=[Hits /\"2000/\"] and [Album Artist (auto)]=[Various Artists] ~n=1"),
              (V{5}));
    EXPECT_EQ(run(u"[Album]=[Hits /\"2000/\"] and [Artist]=[Various Artists] ~n=1"), V{});
    EXPECT_EQ(run(u"[Album]=[Hits /\"2000/\"] and [Artist]=[zed] ~n=1"), (V{6}));
    EXPECT_EQ(run(u"[Album]=[Hits /\"2000/\"] ~n=1"), (V{5}));
    // The files whose artists a genre lists.
    EXPECT_EQ(run(u"[Genre]=[Jazz]"), (V{3, 4}));
    // Rule fills at the edges of the rating scale; a blank rule selects nothing.
    EXPECT_EQ(run(u"[rating]=0 [Media Type]=[Audio]"), (V{2, 5, 6}));
    EXPECT_EQ(run(u"[rating]=>-1 [Media Type]=[Audio]"), (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(run(u"[rating]=>0 [Media Type]=[Audio]"), (V{1, 3, 4}));
    EXPECT_EQ(run(u"[rating]=>4 [Media Type]=[Audio]"), (V{1}));
    EXPECT_EQ(run(u""), V{});
    // Word search with each escaped character inside a phrase.
    auto word = [](std::u16string w) {
        return u"[Album]=\"" + w + u"\" or [Artist]=\"" + w + u"\" or [Genre]=\"" + w +
               u"\" or [Name]=\"" + w + u"\" [Media Type]=[Audio]";
    };
    EXPECT_EQ(run(word(u"/[LIVE/]")), (V{2}));
    EXPECT_EQ(run(word(u"salt//pepper")), (V{2}));
    EXPECT_EQ(run(word(u"/{x/}")), V{});
}

TEST_F(SearchTest, CaseIsIgnoredAcrossScripts) {
    tracks[0].artist = u"\u0178VONNE \u0386\u0393\u0393\u0395\u039b\u039f\u03a3"; // ŸVONNE ΆΓΓΕΛΟΣ
    tracks[1].artist = u"\u00c9LODIE \u0141UKASZ \u0416"; // ÉLODIE ŁUKASZ Ж
    EXPECT_EQ(run(u"[Artist]=[\u00ffvonne \u03ac\u03b3\u03b3\u03b5\u03bb\u03bf\u03c3]"), (V{1}));
    EXPECT_EQ(run(u"[Artist]=\"\u00e9lodie \u0142ukasz \u0436\""), (V{2}));
    // Every script with case, not a chosen few: Latin Extended-B and Additional, Cyrillic's
    // Ukrainian letters, Armenian, full-width Latin.
    const std::pair<const char16_t*, const char16_t*> pairs[] = {
        {u"\u01cd\u1e00", u"\u01ce\u1e01"},
        {u"\u0490\u0404", u"\u0491\u0454"},
        {u"\u0531\u0544", u"\u0561\u0574"},
        {u"\uff21\uff3a", u"\uff41\uff5a"}};
    for (const auto& [upper, lower] : pairs) {
        tracks[2].artist = upper;
        EXPECT_EQ(run(u"[Artist]=[" + std::u16string(lower) + u"]"), (V{3}))
            << "U+" << std::hex << unsigned(upper[0]);
        tracks[2].artist = lower;
        EXPECT_EQ(run(u"[Artist]=[" + std::u16string(upper) + u"]"), (V{3}));
    }
}

TEST_F(SearchTest, NodupKeepsTheFirstFileInSortedOrder) {
    // The sort picks which duplicate survives: track 1 of Blue is key 4.
    EXPECT_EQ(run(u"~sort=[track #] ~nodup=[Album] [Album]=[Blue]"), (V{4}));
    EXPECT_EQ(run(u"~nodup=[Album] [Album]=[Blue]"), (V{3}));
    EXPECT_EQ(run(u"~nodup=[Album],[Genre] ~sort=[Genre],[Album] -[Album]=[]"), (V{3, 7, 5, 1}));
}

TEST_F(SearchTest, AlbumLookupWithExplicitAndAndLimit) {
    EXPECT_EQ(run(u"[Album]=[Blue] ~n=1"), (V{3}));
    EXPECT_EQ(run(u"[Album]=[Blue] and [Album Artist (auto)]=[BJÖRK ENSEMBLE] ~n=1"), (V{3}));
    EXPECT_EQ(run(u"[Album]=[Blue] and [Artist]=[Nobody] ~n=1"), V{});
    EXPECT_EQ(run(u"[Album]=[Hits \"2000\"] ~n=0"), V{});
}

TEST_F(SearchTest, WordSearchPhrasesNarrowAndEscape) {
    auto word = [](std::u16string w) {
        return u"[Album]=\"" + w + u"\" or [Artist]=\"" + w + u"\" or [Genre]=\"" + w +
               u"\" or [Name]=\"" + w + u"\" [Media Type]=[Audio]";
    };
    EXPECT_EQ(run(word(u"water")), (V{3, 4}));
    EXPECT_EQ(run(word(u"WATER") + u" " + word(u"cold")), (V{3}));
    EXPECT_EQ(run(word(u"ac//dc")), (V{1}));
    EXPECT_EQ(run(word(u"/\"2000/\"")), (V{5, 6})) << "an escaped quote inside a phrase";
    EXPECT_EQ(run(word(u"clip")), V{}) << "videos are not audio";
    EXPECT_EQ(run(word(u"j")), (V{3, 4})) << "genre Jazz and Björk";
}

TEST_F(SearchTest, RuleFillsRatingsAndPlayCounts) {
    EXPECT_EQ(run(u"[rating]=4 [Media Type]=[Audio]"), (V{4}));
    EXPECT_EQ(run(u"[rating]=>3 [Media Type]=[Audio]"), (V{1, 4}));
    EXPECT_EQ(run(u"[rating]=<4 -[rating]=[]"), (V{3}));
    EXPECT_EQ(run(u"[numberplays]=[] or numberplays=0 [Media Type]=[Audio]"), (V{2, 3, 4, 6}));
    EXPECT_EQ(run(u"-([Genre]=[Pop] or [Genre]=[Jazz])"), (V{1, 2}));
}

TEST_F(SearchTest, BlankAndModifierOnlyExpressions) {
    EXPECT_EQ(run(u""), V{});
    EXPECT_EQ(run(u"   "), V{});
    EXPECT_EQ(run(u"~n=2"), (V{1, 2}));
    EXPECT_EQ(run(u"~sort=[Name] ~n=3"), (V{7, 3, 2}));
}

TEST_F(SearchTest, ErrorsAreReportedWithTheirColumn) {
    EXPECT_EQ(error(u"[Artst]=[x]"), "column 1: unknown field [Artst]");
    EXPECT_EQ(error(u"[Artist]=[x"), "column 10: missing closing ]");
    EXPECT_EQ(error(u"[Artist]=\"x"), "column 10: missing closing \"");
    EXPECT_EQ(error(u"[Artist]="), "column 1: missing value after '='");
    EXPECT_EQ(error(u"[Artist]=[a] or"), "column 14: 'or' needs a condition on each side");
    EXPECT_EQ(error(u"and [Artist]=[a]"), "column 1: 'and' needs a condition on each side");
    EXPECT_EQ(error(u"[rating]=>high"), "column 11: '>' needs a number for [Rating]");
    EXPECT_EQ(error(u"~sort=Artist"), "column 7: expected [field]");
    EXPECT_EQ(error(u"~bogus=1"), "column 1: unknown modifier (known: ~sort=, ~nodup=, ~n=)");
    EXPECT_EQ(error(u"([Genre]=[Pop]"), "column 1: '(' without a matching ')'");
    EXPECT_EQ(error(u"[Genre]=[Pop])"), "column 14: ')' without a matching '('");
    EXPECT_EQ(error(u"[Genre]=[Pop][Artist]=[x]"),
              "column 14: expected a space before the next condition");
    EXPECT_EQ(error(u"[Genre]=[Pop/"),
              "column 13: '/' at the end of the expression escapes nothing");
    EXPECT_EQ(error(u"- [Genre]=[Pop]"), "column 1: '-' must be followed by a condition");
    EXPECT_EQ(error(u"([Genre]=[Pop] ~n=1)"),
              "column 16: a modifier (~) is allowed only outside parentheses");
}

TEST_F(SearchTest, RandomInputGivesAQueryOrAnErrorInsideTheText) {
    const std::u16string alphabet = u"[]\"/()-~=<>, orandsuptlg#0123456789ArtistAlbumRating";
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::u16string expr;
        size_t len = 1 + round % 40;
        for (size_t i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            expr += alphabet[(seed >> 16) % alphabet.size()];
        }
        SearchError e;
        auto q = SearchQuery::parse(expr, &e);
        if (q) {
            std::vector<const Track*> all;
            for (auto& t : tracks)
                all.push_back(&t);
            q->run(all);
        } else {
            EXPECT_GE(e.column, 1u) << std::string(expr.begin(), expr.end());
            EXPECT_LE(e.column, expr.size() + 1) << std::string(expr.begin(), expr.end());
            EXPECT_FALSE(e.message.empty());
        }
    }
}

TEST_F(SearchTest, DeepNestingIsAnErrorNotAStackOverflow) {
    EXPECT_EQ(error(std::u16string(100000, u'(')), "column 65: nested too deeply");
    EXPECT_EQ(error(std::u16string(100000, u'-') + u"[Artist]=[x]"),
              "column 65: nested too deeply");
    std::u16string deep = std::u16string(64, u'-') + u"[Artist]=[AC//DC]";
    EXPECT_EQ(run(deep), (V{1})) << "an even number of negations";
    std::u16string parens = std::u16string(64, u'(') + u"[Genre]=[Pop]" + std::u16string(64, u')');
    EXPECT_EQ(run(parens), (V{5, 6, 7}));
}

TEST_F(SearchTest, ArbitraryInputNeverCrashes) {
    // Every prefix of a complex expression either parses or reports an error.
    std::u16string expr = u"~sort=[Album],[Disc #] -([Artist]=\"a/\"b\" or [rating]=>2) "
                          u"and numberplays=0 ~nodup=[Album] ~n=5";
    for (size_t n = 0; n <= expr.size(); ++n) {
        SearchError e;
        auto q = SearchQuery::parse(expr.substr(0, n), &e);
        if (!q) {
            EXPECT_FALSE(e.message.empty()) << n;
        }
    }
}

// Greater and less exclude the value itself, numbers compare by value ("04" is 4, "+3" is 3),
// a number field compared with a text matches nothing, a phrase searches a number's digits,
// and texts compare ignoring case.
TEST_F(SearchTest, ComparisonsAtTheirEdges) {
    EXPECT_EQ(run(u"[rating]=>+3"), (V{1, 4}));
    EXPECT_EQ(run(u"[rating]=>[3]"), (V{1, 4}));
    EXPECT_EQ(run(u"[rating]=<[4] -[rating]=[]"), (V{3}));
    EXPECT_EQ(run(u"[rating]=[04]"), (V{4}));
    EXPECT_EQ(run(u"[rating]=[four]"), V{});
    EXPECT_EQ(run(u"[numberplays]=\"1\""), (V{1, 5}));
    EXPECT_EQ(run(u"[Name]=>[t]"), (V{4, 6}));
    EXPECT_EQ(run(u"[Name]=<[COLD WATER]"), (V{7}));
    EXPECT_EQ(run(u"[Name]=>[cold water] [Name]=<[loose single]"), V{});
    EXPECT_EQ(error(u"[rating]=>-"), "column 11: '>' needs a number for [Rating]");
    EXPECT_EQ(error(u"[rating]=<1234567890123456789"),
              "column 11: '<' needs a number for [Rating]");
    // Tabs and line ends separate conditions; "or" binds tighter than the joining "and".
    EXPECT_EQ(run(u"[Genre]=[Pop]\t[Media Type]=[Audio]\r\n-[Name]=[One]"), (V{6}));
    EXPECT_EQ(run(u"([Genre]=Pop)"), (V{5, 6, 7}));
    EXPECT_EQ(run(u"[Genre]=[Jazz] or [Genre]=[Pop] [Media Type]=[Video]"), (V{7}));
}

// ~sort is stable: among many files with equal keys (equal ignoring case included) the
// library's order stays, on one field and on two; numbers sort by value. ~nodup keeps the
// first file of each exact value in the sorted order, whichever order the two are written in.
TEST(SearchSort, StableWithManyEqualKeysAndNodupAfterIt) {
    const std::u16string artists[5] = {u"b", u"A", u"a", u"B", u"c"};
    std::vector<Track> library;
    for (int32_t k = 1; k <= 300; ++k) {
        Track t;
        t.key = k;
        t.artist = artists[k % 5];
        t.genre = k % 2 ? u"Odd" : u"even";
        t.trackNumber = (k % 3) * 5; // 0, 5, 10: "10" sorts after "5" by value
        const std::string name = std::to_string(1000 - k);
        t.name = std::u16string(name.begin(), name.end());
        library.push_back(t);
    }
    auto keys = [&](std::u16string_view expr) {
        SearchError e;
        auto q = SearchQuery::parse(expr, &e);
        EXPECT_TRUE(q) << e.describe();
        std::vector<const Track*> all;
        for (const Track& t : library)
            all.push_back(&t);
        std::vector<int32_t> out;
        for (const Track* t : q ? q->run(all) : std::vector<const Track*>{})
            out.push_back(t->key);
        return out;
    };
    auto where = [&](auto keep) {
        std::vector<int32_t> out;
        for (int32_t k = 1; k <= 300; ++k)
            if (keep(k))
                out.push_back(k);
        return out;
    };
    auto join = [](std::vector<std::vector<int32_t>> parts) {
        std::vector<int32_t> out;
        for (auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // a and A, then b and B, then c: each group in library order.
    EXPECT_EQ(keys(u"~sort=[Artist]"), join({where([](int k) { return k % 5 == 1 || k % 5 == 2; }),
                                             where([](int k) { return k % 5 == 0 || k % 5 == 3; }),
                                             where([](int k) { return k % 5 == 4; })}));
    // even before Odd (case ignored), then the track number by value within each.
    std::vector<std::vector<int32_t>> byGenreThenNumber;
    for (int odd = 0; odd < 2; ++odd)
        for (int third : {0, 1, 2})
            byGenreThenNumber.push_back(
                where([&](int k) { return k % 2 == odd && k % 3 == third; }));
    EXPECT_EQ(keys(u"~sort=[Genre],[Track #]"), join(byGenreThenNumber));
    EXPECT_EQ(keys(u"~sort=[Artist] ~nodup=[Artist]"), (V{1, 2, 3, 5, 4}));
    EXPECT_EQ(keys(u"~nodup=[Artist] ~sort=[Artist]"), (V{1, 2, 3, 5, 4}));
    EXPECT_EQ(keys(u"~nodup=[Artist]"), (V{1, 2, 3, 4, 5}));
    // Sorted by name the library runs backwards, so the last file of each artist survives.
    EXPECT_EQ(keys(u"~sort=[Name] ~nodup=[Artist]"), (V{300, 299, 298, 297, 296}));
    EXPECT_EQ(keys(u"~sort=[Name] ~nodup=[Artist] ~n=2"), (V{300, 299}));
}

} // namespace
