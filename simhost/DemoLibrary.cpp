#include "simhost/DemoLibrary.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace simhost {

using medialib::autoAlbumArtist;
using medialib::LibraryData;
using medialib::PlaylistData;
using medialib::PlaylistType;
using medialib::Track;
namespace {

using S = std::u16string;

// A small deterministic generator (xorshift32), so libraries do not depend on the C library.
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed ? seed : 0x9E3779B9u) {}
    uint32_t next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    int32_t range(int32_t lo, int32_t hi) { return lo + int32_t(next() % uint32_t(hi - lo + 1)); }
    bool chance(int percent) { return int(next() % 100) < percent; }
    template <class T, size_t N> const T& pick(const T (&list)[N]) { return list[next() % N]; }

private:
    uint32_t s_;
};

const char16_t* kBandFirst[] = {u"Midnight", u"Silver", u"Velvet", u"Electric", u"Northern",
                                u"Crimson",  u"Hollow", u"Paper",  u"Golden",   u"Neon",
                                u"Quiet",    u"Wild",   u"Glass",  u"Iron",     u"Lunar",
                                u"Static",   u"Broken", u"Summer", u"Winter",   u"Ocean"};
const char16_t* kBandSecond[] = {u"Foxes",   u"Harbour", u"Lanterns",   u"Engines",
                                 u"Pilots",  u"Orchard", u"Satellites", u"Rivers",
                                 u"Wolves",  u"Tides",   u"Sparrows",   u"Machines",
                                 u"Gardens", u"Echoes",  u"Shadows",    u"Parade"};
const char16_t* kFirstNames[] = {
    u"Anna",     u"Jonas",       u"Mira",       u"Tom\u00e1s", u"\u00c9lodie", u"S\u00f8ren",
    u"Zo\u00eb", u"\u0141ukasz", u"Ingrid",     u"Kenji",      u"Aoife",       u"Matteo",
    u"Nadia",    u"Bj\u00f6rn",  u"Chlo\u00e9", u"Rafael",     u"Yara",        u"Priya"};
const char16_t* kLastNames[] = {
    u"Berg",       u"Okafor",      u"Lindqvist",      u"Moreau",
    u"Nov\u00e1k", u"Sato",        u"Fern\u00e1ndez", u"Kowalski",
    u"Haddad",     u"M\u00fcller", u"O'Brien",        u"Dvo\u0159\u00e1k-Hale",
    u"Nakamura",   u"Achebe",      u"Silva",          u"Quinn"};
const char16_t* kAlbumFirst[] = {u"Blue",   u"Late",   u"Hidden",   u"Bright", u"Distant",
                                 u"Open",   u"Slow",   u"Second",   u"Last",   u"Paper",
                                 u"Velvet", u"Hollow", u"Northern", u"Small",  u"Endless"};
const char16_t* kAlbumSecond[] = {u"Hours",   u"Roads",  u"Light",    u"Signals", u"Rooms",
                                  u"Weather", u"Dreams", u"Lines",    u"Maps",    u"Seasons",
                                  u"Letters", u"Skies",  u"Harbours", u"Fires",   u"Stations"};
const char16_t* kWords[] = {u"Rain",   u"Morning", u"Gold",   u"Heart", u"River",  u"Night",
                            u"Dance",  u"Window",  u"Train",  u"Fever", u"Shadow", u"Smoke",
                            u"Letter", u"Home",    u"Stars",  u"Wire",  u"Garden", u"Echo",
                            u"Motion", u"Silence", u"Paris",  u"Tokyo", u"Coffee", u"Storm",
                            u"Ghost",  u"Mirror",  u"Summer", u"Radio", u"Little", u"Tide"};
const char16_t* kGenres[] = {u"Rock",    u"Pop",     u"Jazz", u"Electronic", u"Folk",
                             u"Hip-Hop", u"Blues",   u"Soul", u"Metal",      u"Ambient",
                             u"Reggae",  u"Country", u"R&B",  u"World",      u"Chanson"};
const char16_t* kComposers[] = {u"Johann Sebastian Bach",
                                u"Ludwig van Beethoven",
                                u"Anton\u00edn Dvo\u0159\u00e1k",
                                u"Fr\u00e9d\u00e9ric Chopin",
                                u"Erik Satie",
                                u"Clara Schumann",
                                u"Claude Debussy"};
const int32_t kBitrates[] = {128000, 160000, 192000, 224000, 245000};

// Artists of the demo library that exercise names a search must escape, scripts other than
// Latin, and two names that differ only in case.
const char16_t* kDemoArtists[] = {
    u"AC/DX",
    u"Salt/Pepper [live]",
    u"The \"Quoted\" Ones",
    u"{Curly} & Sons",
    u"\u041d\u043e\u0447\u043d\u043e\u0439 \u0413\u043e\u0440\u043e\u0434",
    u"\u6771\u4eac\u30cd\u30aa\u30f3",
    u"\u039c\u03ad\u03bb\u03b9\u03c3\u03c3\u03b1",
    u"Sigur \u00d3sk",
    u"the case study",
    u"The Case Study",
};
const char16_t* kDemoAlbums[] = {u"Greatest Hits [Remastered]", u"Live/Unplugged",
                                 u"\"Quotes\" & {Braces}", u"Caf\u00e9 \u00e0 minuit"};

S digits(int32_t v) {
    std::string s = std::to_string(v);
    return S(s.begin(), s.end());
}

S twoDigits(int32_t v) {
    S out = v < 10 ? S(u"0") : S();
    out += digits(v);
    return out;
}

// Characters a Windows file name cannot hold become '_' in paths.
S pathPart(const S& s) {
    S out = s;
    for (auto& c : out)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
            c == u'<' || c == u'>' || c == u'|')
            c = u'_';
    return out;
}

class Generator {
public:
    Generator(uint32_t seed, bool demo) : rng_(seed), demo_(demo) {}

    S artistName() {
        switch (rng_.next() % 3) {
        case 0:
            return S(u"The ") + rng_.pick(kBandFirst) + u" " + rng_.pick(kBandSecond);
        case 1:
            return S(rng_.pick(kBandFirst)) + u" " + rng_.pick(kBandSecond);
        default:
            return S(rng_.pick(kFirstNames)) + u" " + rng_.pick(kLastNames);
        }
    }
    S albumTitle() {
        S t = S(rng_.pick(kAlbumFirst)) + u" " + rng_.pick(kAlbumSecond);
        if (rng_.chance(15))
            t += u" (Deluxe)";
        return t;
    }
    S trackTitle() {
        S t = rng_.pick(kWords);
        int words = rng_.range(0, 2);
        for (int i = 0; i < words; ++i)
            t += S(u" ") + rng_.pick(kWords);
        if (rng_.chance(5))
            t += u" (Remix)";
        return t;
    }

    Track baseTrack(const S& artist, const S& genre) {
        Track t;
        t.key = nextKey_++;
        t.artist = artist;
        t.genre = genre;
        t.durationSeconds = rng_.range(95, 480);
        t.year = rng_.range(1965, 2025);
        t.rating = rng_.chance(40) ? 0 : rng_.range(1, 5);
        t.playCount = rng_.chance(30) ? 0 : rng_.range(1, 80);
        t.bitrate = rng_.pick(kBitrates);
        if (rng_.chance(25))
            t.comment =
                S(u"Notes: ") + rng_.pick(kWords) + u" session, take " + digits(rng_.range(1, 9));
        return t;
    }

    void album(LibraryData& lib, const S& albumArtist, const S& title, const S& genre,
               int32_t count, bool compilation, const std::vector<S>& artists) {
        int32_t year = rng_.range(1965, 2025);
        bool classical = !compilation && rng_.chance(8);
        const char16_t* composer = rng_.pick(kComposers);
        int32_t discs = count > 12 && rng_.chance(30) ? 2 : 1;
        for (int32_t i = 0; i < count; ++i) {
            S artist = compilation ? artists[rng_.next() % artists.size()] : albumArtist;
            Track t = baseTrack(artist, classical ? S(u"Classical") : genre);
            t.album = title;
            // Tagged like a well-kept library: every track of an album names its album artist.
            // (The draw that once left half of them untagged stays, so that every other value
            // of the generated libraries is as it was.)
            rng_.next();
            t.albumArtist = albumArtist;
            t.discNumber = discs > 1 ? 1 + i * discs / count : (rng_.chance(70) ? 1 : 0);
            t.trackNumber = discs > 1 ? 1 + i % ((count + 1) / 2) : i + 1;
            t.year = year;
            t.name = trackTitle();
            if (classical)
                t.composer = composer;
            else if (rng_.chance(35))
                t.composer = artist.find(u' ') != S::npos
                                 ? artist
                                 : S(rng_.pick(kFirstNames)) + u" " + rng_.pick(kLastNames);
            S folder = pathPart(compilation ? albumArtist : S(autoAlbumArtist(t)));
            t.path = u"D:\\Music\\" + folder + u"\\" + pathPart(title) + u"\\" +
                     (t.discNumber > 1 ? digits(t.discNumber) + u"-" : S()) +
                     twoDigits(t.trackNumber) + u" " + pathPart(t.name) + u".flac";
            lib.tracks.push_back(std::move(t));
        }
    }

    void single(LibraryData& lib, const S& artist, const S& genre) {
        Track t = baseTrack(artist, genre);
        t.albumArtist = artist;
        t.name = trackTitle();
        t.path = u"D:\\Music\\Singles\\" + pathPart(artist) + u" - " + pathPart(t.name) + u" [" +
                 digits(t.key) + u"].mp3";
        lib.tracks.push_back(std::move(t));
    }

    LibraryData build(size_t trackCount) {
        LibraryData lib;
        lib.tracks.reserve(trackCount);
        size_t artistCount = std::max<size_t>(8, trackCount / 25);
        std::vector<S> artists;
        std::vector<S> genreOf;
        if (demo_)
            for (const char16_t* a : kDemoArtists)
                artists.push_back(a);
        while (artists.size() < artistCount) {
            S name = artistName();
            // Ordinary artists repeat now and then in a big library; number them apart.
            if (artists.size() >= 40 && rng_.chance(60))
                name += u" " + digits(int32_t(artists.size()));
            artists.push_back(name);
        }
        for (size_t i = 0; i < artists.size(); ++i)
            genreOf.push_back(rng_.pick(kGenres));

        size_t singles = trackCount / 40;
        size_t videos = demo_ ? 6 : 0;
        size_t albumTracks = trackCount - singles - videos;
        size_t albumIndex = 0;
        while (lib.tracks.size() < albumTracks) {
            int32_t count = int32_t(
                std::min<size_t>(size_t(rng_.range(6, 16)), albumTracks - lib.tracks.size()));
            bool compilation = albumIndex % 12 == 5;
            S title = (demo_ && albumIndex < std::size(kDemoAlbums)) ? S(kDemoAlbums[albumIndex])
                                                                     : albumTitle();
            if (albumIndex >= 150 && !demo_ && rng_.chance(50))
                title += u" " + digits(int32_t(albumIndex)); // keep big libraries varied
            if (compilation) {
                album(lib, u"Various Artists",
                      S(u"Now Playing Vol. ") + digits(int32_t(albumIndex / 12 + 1)), u"Pop", count,
                      true, artists);
            } else {
                size_t a = demo_ && albumIndex < artists.size() ? albumIndex
                                                                : rng_.next() % artists.size();
                album(lib, artists[a], title, genreOf[a], count, false, artists);
            }
            ++albumIndex;
        }
        for (size_t i = 0; i < singles; ++i) {
            size_t a = rng_.next() % artists.size();
            single(lib, artists[a], rng_.chance(10) ? S() : genreOf[a]);
        }
        for (size_t i = 0; i < videos; ++i) {
            size_t a = rng_.next() % artists.size();
            Track t = baseTrack(artists[a], genreOf[a]);
            t.name = trackTitle() + u" (Video)";
            t.mediaType = u"Video";
            t.albumArtist = artists[a];
            t.album = u"Music Videos";
            t.path = u"D:\\Videos\\" + pathPart(artists[a]) + u" - " + pathPart(t.name) + u".mkv";
            lib.tracks.push_back(std::move(t));
        }
        return lib;
    }

private:
    Rng rng_;
    bool demo_;
    int32_t nextKey_ = 10001;
};

PlaylistData playlist(int32_t id, S name, S path, PlaylistType type) {
    PlaylistData p;
    p.id = id;
    p.name = std::move(name);
    p.path = std::move(path);
    p.type = type;
    return p;
}

} // namespace

LibraryData demoLibrary() {
    LibraryData lib = Generator(20261206u, true).build(2500);
    const auto& t = lib.tracks;
    auto pl = [&](int32_t id, S name, S path, PlaylistType type) -> PlaylistData& {
        lib.playlists.push_back(playlist(id, std::move(name), std::move(path), type));
        return lib.playlists.back();
    };
    PlaylistData& favourites = pl(1, u"Favourites", u"", PlaylistType::Ordinary);
    for (const auto& tr : t)
        if (tr.rating == 5 && favourites.keys.size() < 40)
            favourites.keys.push_back(tr.key);
    pl(2, u"Parties", u"", PlaylistType::Group);
    PlaylistData& road = pl(3, u"Road Trip", u"Parties", PlaylistType::Ordinary);
    for (size_t i = 100; i < 400; i += 13)
        road.keys.push_back(t[i].key);
    PlaylistData& summer = pl(4, u"Chansons d'\u00e9t\u00e9", u"Parties", PlaylistType::Ordinary);
    for (size_t i = 700; i < 760; i += 3)
        summer.keys.push_back(t[i].key);
    PlaylistData& top = pl(5, u"Top Rated", u"", PlaylistType::Smart);
    top.expression = u"[Rating]=>3 [Media Type]=[Audio] ~sort=[Artist] ~n=50";
    PlaylistData& never = pl(6, u"Never Played", u"", PlaylistType::Smart);
    never.expression = u"[Number Plays]=[] [Media Type]=[Audio] ~n=100";
    pl(7, u"Empty List", u"", PlaylistType::Ordinary);
    pl(8, u"Moods", u"", PlaylistType::Group);
    PlaylistData& late = pl(9, u"Late Night", u"Moods", PlaylistType::Ordinary);
    for (const auto& tr : t)
        if ((tr.genre == u"Jazz" || tr.genre == u"Ambient") && late.keys.size() < 25)
            late.keys.push_back(tr.key);
    for (size_t i = 0; i < 12; ++i)
        lib.playingNow.push_back(t[i].key);
    return lib;
}

LibraryData syntheticLibrary(size_t trackCount, uint32_t seed) {
    LibraryData lib = Generator(seed, false).build(trackCount);
    for (int32_t id = 1; id <= 3 && !lib.tracks.empty(); ++id) {
        PlaylistData p = playlist(id, u"Generated " + digits(id), u"", PlaylistType::Ordinary);
        for (size_t i = size_t(id) - 1; i < lib.tracks.size() && p.keys.size() < 500; i += 97)
            p.keys.push_back(lib.tracks[i].key);
        lib.playlists.push_back(std::move(p));
    }
    return lib;
}

} // namespace simhost
