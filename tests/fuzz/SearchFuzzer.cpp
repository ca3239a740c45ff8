// The search-expression parser, and the query it builds run over a small
// fixed library.
//
// Input: the expression, as UTF-8 when it is well-formed UTF-8, otherwise byte by byte as
// Latin-1 (so malformed bytes still reach the parser as characters).
//
// Checked beyond the sanitizers:
// - an error names a column inside the expression (or just after its end) and says something;
// - every file the query returns satisfies its conditions, and none comes twice.
#include "common/Utf.h"
#include "medialib/Search.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using namespace medialib;

namespace {

Track track(int32_t key, std::u16string artist, std::u16string album, std::u16string name,
            std::u16string genre) {
    Track t;
    t.key = key;
    t.path = u"D:\\Music\\" + name + u".mp3";
    t.artist = std::move(artist);
    t.album = std::move(album);
    t.name = std::move(name);
    t.genre = std::move(genre);
    return t;
}

// Text and number fields with empty, repeated, case-differing and non-ASCII values.
const std::vector<Track>& library() {
    static const std::vector<Track> tracks = [] {
        std::vector<Track> t;
        t.push_back(track(1, u"AC/DC", u"Volts", u"Shock", u"Rock"));
        t.push_back(track(2, u"Salt/Pepper [live]", u"", u"Loose", u""));
        t.push_back(track(3, u"Björk Ensemble", u"Blue", u"Cold Water", u"Jazz"));
        t.push_back(track(4, u"björk ensemble", u"Blue", u"Warm Water", u"Jazz"));
        t.push_back(track(5, u"Ωmega \"Live\"", u"Hits (2000)", u"One", u"Pop"));
        t.push_back(track(6, u"Zed", u"Hits (2000)", u"Two", u"Pop"));
        t[4].albumArtist = u"Various Artists";
        t[5].albumArtist = u"Various Artists";
        t[5].mediaType = u"Video";
        t[2].composer = u"Erik Satie";
        t[2].trackNumber = 2;
        t[3].trackNumber = 1;
        t[0].rating = 5;
        t[3].rating = 4;
        t[0].playCount = 12;
        t[4].year = 2000;
        t[1].durationSeconds = 185;
        return t;
    }();
    return tracks;
}

std::u16string expressionOf(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::u16string text = utf8ToUtf16(bytes);
    if (text.empty() && size != 0)
        for (size_t i = 0; i < size; ++i)
            text.push_back(char16_t(data[i])); // Latin-1: each byte one character
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string expression = expressionOf(data, size);
    SearchError error;
    auto query = SearchQuery::parse(expression, &error);
    if (!query) {
        FUZZ_CHECK(error.column >= 1 && error.column <= expression.size() + 1);
        FUZZ_CHECK(!error.message.empty());
        return 0;
    }
    std::vector<const Track*> all;
    for (const Track& t : library())
        all.push_back(&t);
    const std::vector<const Track*> found = query->run(all);
    std::set<const Track*> seen;
    for (const Track* t : found) {
        FUZZ_CHECK(query->matches(*t));
        FUZZ_CHECK(seen.insert(t).second);
    }
    return 0;
}
