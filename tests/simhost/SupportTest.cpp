// What the simulated player stands on: the stock equalizer presets, the JSON library loader,
// the demo and synthetic libraries and their covers.
#include "platform/Registry.h"
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "simhost/Presets.h"
#include "simhost/SimPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <tuple>

using namespace medialib;
using namespace simhost;
using namespace platform;
namespace fs = std::filesystem;

namespace {

fs::path freshTempDir(const std::string& name) {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path p = fs::temp_directory_path() / ("tandravole-" + name + "-" + std::to_string(stamp));
    fs::create_directories(p);
    return p;
}

// On POSIX the store lives in a temporary file; on Windows the test uses the real registry.
class PresetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshTempDir("registry");
        setRegistryStoreFile((dir / "registry").string());
    }
    void TearDown() override {
        if (ownPresetsKey)
            deleteRegistryTree(RegistryRoot::CurrentUser, presetsKeyPath(kSimMajorVersion));
        fs::remove_all(dir);
    }
    bool ownPresetsKey = false; // only a key this test created is removed again
    fs::path dir;
};

TEST_F(PresetsTest, StockPresetsAreTwelveCodeUnitStringsAndNeverOverwrite) {
    RegistryKey existing;
    if (existing.open(RegistryRoot::CurrentUser, presetsKeyPath(kSimMajorVersion)))
        GTEST_SKIP() << "this user has presets of their own; they are left alone";
    ownPresetsKey = true;
    ASSERT_EQ(installEqualizerPresets(kSimMajorVersion), "");
    RegistryKey key;
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser,
                         u"Software\\J. River\\Media Center 31\\Zones\\Global\\Equalizer\\Presets",
                         true));
    size_t count = 0;
    stockPresets(count);
    RegistryValue v;
    uint32_t n = 0;
    for (; key.enumValue(n, v) == RegistryEnum::Ok; ++n) {
        EXPECT_EQ(v.type, uint32_t(RegistryType::String));
        EXPECT_EQ(v.data.size(), 24u) << "twelve UTF-16 code units with the terminator";
    }
    EXPECT_EQ(n, count);
    // Preamp, then ten bands: the code of a level is 110 - (level + 100) * 62 / 200, rounded.
    EXPECT_EQ(key.readString(u"Flat"), u"OOOOOOOOOOO");
    EXPECT_EQ(key.readString(u"Rock"), u"OCGRWRIA>>>"); // 0; 40, 25, -10, -25, -10, 20, 45, 55...

    key.writeString(u"Rock", u"mine");
    installEqualizerPresets(kSimMajorVersion);
    EXPECT_EQ(key.readString(u"Rock"), u"mine") << "a person's presets stay";
}

TEST(LibraryJsonTest, BrokenDocumentsAndBrokenRulesAreReportedWithLineAndColumn) {
    // Columns count characters, not bytes: "é" is two bytes and one column.
    using namespace std::literals;
    const struct {
        std::string_view text;
        const char* error;
    } cases[] = {
        {"{\"tracks\": [],\n  \"playlists\" []}", "line 2, column 15: Missing a colon after a "
                                                  "name of object member."},
        {"{\"tracks\": [", "line 1, column 13: Invalid value."},
        {"{\"tracks\": [], \"playingNow\": [1 2]}", "line 1, column 33: Missing a comma or "
                                                    "']' after an array element."},
        {"{\"tracks\": [{\"path\": \"caf\xc3\"}]}", "line 1, column 26: Invalid encoding in "
                                                    "string."},
        {"{\"tracks\": [{\"path\": \"\xed\xa0\x80\"}]}", "line 1, column 23: Invalid encoding "
                                                         "in string."},
        {"{\"tracks\": [{\"path\": \"a\tb\"}]}", "line 1, column 24: Invalid escape character "
                                                 "in string."},
        {"{\"tracks\": []} x", "line 1, column 16: The document root must not be followed by "
                               "other values."},
        {"{\"tracks\": []}\0x"sv,
         "line 1, column 15: unexpected text after the end of the document"},
        {"", "line 1, column 1: The document is empty."},
        {"{\"tracks\": [{\"path\": \"\xc3\xa9\\q\"}]}", "line 1, column 24: Invalid escape "
                                                        "character in string."},
        {"{\"tracks\": [{\"path\": \"\\ud800\"}]}", "line 1, column 23: The surrogate pair in "
                                                    "string is invalid."},
        // Nesting where the format has none stops at once, however deep the rest goes.
        {"{\"tracks\": [[[[[[[[[[[[", "line 1, column 13: track 1: must be an object"},
        {"[{\"tracks\": []}]", "line 1, column 1: the document must be an object with \"tracks\""},
        {"  7", "line 1, column 3: the document must be an object with \"tracks\""},
        // Documents that parse but break the format's rules.
        {R"({"tracks": [{"path": "x", "rating": 6}]})",
         "line 1, column 37: track 1: \"rating\" must be a whole number from 0 to 5"},
        {"{\"tracks\": [{\"path\": \"x\"},\n {\"name\": \"n\"}]}",
         "line 2, column 2: track 2: \"path\" is required and must not be empty"},
        {R"({"tracks": [{"path": "x", "titel": "n"}]})",
         "line 1, column 36: track 1: unknown member \"titel\""},
        {R"({"tracks": [{"key": 1, "path": "x"}, {"key": 1, "path": "y"}]})",
         "line 1, column 38: track 2: key 1 is used twice"},
        {R"({"tracks": [], "playlists": [{"name": "p", "tracks": [3]}]})",
         "line 1, column 55: playlist 1: no track has key 3"},
        {R"({"songs": []})", "line 1, column 11: unknown member \"songs\""},
        {R"( {"playlists": []})", "line 1, column 2: \"tracks\" (a list) is required"},
        {R"({"tracks": [{"path": 5}]})", "line 1, column 22: track 1: \"path\" must be a text"},
        {R"({"tracks": [{"path": "x", "year": [1999]}]})",
         "line 1, column 35: track 1: \"year\" must be a whole number from 0 to 9999"},
        {R"({"tracks": [], "playlists": [{"name": "p", "tracks": "1"}]})",
         "line 1, column 54: playlist 1: \"tracks\" must be a list of track keys"},
        {R"({"tracks": [], "playlists": {}})", "line 1, column 29: \"playlists\" must be a list"},
        {R"({"tracks": [{"key": 2147483647, "path": "x"}, {"path": "y"}]})",
         "line 1, column 47: track 2: no free key is left above the highest one"},
        {R"({"tracks": [], "playlists": [{"id": 2147483647, "name": "a"}, {"name": "b"}]})",
         "line 1, column 63: playlist 2: no free id is left above the highest one"},
        {R"({"tracks": [], "playlists": [{"name": "s", "expression": "[Ratin]=5"}]})",
         "line 1, column 58: playlist 1: \"expression\": column 1: unknown field [Ratin]"},
        {R"({"tracks": [], "extra": 1})", "line 1, column 25: unknown member \"extra\""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseLibraryJson(c.text, error).has_value()) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(LibraryJsonTest, LoadsTracksAndPlaylists) {
    std::string error;
    auto lib = parseLibraryJson(R"({
  "tracks": [
    {"key": 7, "path": "C:\\a.mp3", "name": "A", "artist": "AC/DC", "rating": 5, "plays": 3},
    {"path": "C:\\b.mp3", "name": "B", "album": "Blue", "albumArtist": "Various",
     "composer": "Satie", "genre": "Jazz", "duration": 61, "track": 2, "disc": 1,
     "year": 1999, "comment": "hi", "mediaType": "Video", "bitrate": 128000},
    {"path": "D:\\a \u00e9é", "year": 1.999e3}
  ],
  "playlists": [
    {"name": "Mix", "tracks": [8, 7]},
    {"id": 40, "name": "Smart", "type": "smart", "expression": "[Rating]=5"},
    {"name": "Group", "type": 2, "path": ""}
  ],
  "playingNow": [7]
})",
                                error);
    ASSERT_TRUE(lib) << error;
    ASSERT_EQ(lib->tracks.size(), 3u);
    EXPECT_EQ(lib->tracks[1].key, 8) << "keys given to unkeyed tracks follow the largest";
    EXPECT_EQ(lib->tracks[2].path, u"D:\\a \u00e9\u00e9");
    EXPECT_EQ(lib->tracks[2].year, 1999);
    EXPECT_EQ(lib->tracks[1].albumArtist, u"Various");
    EXPECT_EQ(lib->tracks[1].mediaType, u"Video");
    EXPECT_EQ(lib->tracks[1].durationSeconds, 61);
    ASSERT_EQ(lib->playlists.size(), 3u);
    EXPECT_EQ(lib->playlists[0].keys, (std::vector<int32_t>{8, 7}));
    EXPECT_EQ(lib->playlists[0].id, 41);
    EXPECT_EQ(lib->playlists[1].type, PlaylistType::Smart);
    EXPECT_EQ(lib->playlists[2].type, PlaylistType::Group);
    EXPECT_EQ(lib->playingNow, (std::vector<int32_t>{7}));

    std::string e;
    EXPECT_FALSE(loadLibraryJson("/nonexistent/library.json", e));
    EXPECT_EQ(e, "cannot open /nonexistent/library.json");
}

TEST(LibraryJsonTest, EveryNumberIsTakenAtItsLimitsAndRefusedPastThem) {
    const struct {
        const char* member;
        int64_t lo, hi;
    } limits[] = {{"key", 1, INT32_MAX},   {"duration", 0, 604800},  {"track", 0, 65535},
                  {"disc", 0, 999},        {"year", 0, 9999},        {"rating", 0, 5},
                  {"plays", 0, INT32_MAX}, {"bitrate", 0, 100000000}};
    for (const auto& l : limits) {
        auto doc = [&](int64_t v) {
            return "{\"tracks\": [{\"path\": \"x\", \"" + std::string(l.member) +
                   "\": " + std::to_string(v) + "}]}";
        };
        const std::string refused = "line 1, column " + std::to_string(31 + strlen(l.member)) +
                                    ": track 1: \"" + l.member + "\" must be a whole number from " +
                                    std::to_string(l.lo) + " to " + std::to_string(l.hi);
        for (int64_t v : {l.lo, l.hi}) {
            std::string error;
            EXPECT_TRUE(parseLibraryJson(doc(v), error)) << error;
        }
        for (int64_t v : {l.lo - 1, l.hi + 1}) {
            std::string error;
            EXPECT_FALSE(parseLibraryJson(doc(v), error)) << l.member << " " << v;
            EXPECT_EQ(error, refused);
        }
    }
}

TEST(LibraryJsonTest, ASyntheticFileIsReadInPiecesAndItsMistakesAreFoundInIt) {
    // Larger than the reader's buffer, with the mistake far past its first fill. A synthetic
    // library has the asked size, is the same for a seed, and loads (so its keys are unique).
    LibraryData lib = syntheticLibrary(3000, 9);
    ASSERT_EQ(lib.tracks.size(), 3000u);
    EXPECT_EQ(syntheticLibrary(3000, 9).tracks[2345].path, lib.tracks[2345].path);
    EXPECT_NE(syntheticLibrary(3000, 10).tracks[2345].path, lib.tracks[2345].path);
    std::string text = libraryToJson(lib);
    ASSERT_GT(text.size(), 200000u);
    fs::path dir = freshTempDir("library-file");
    auto write = [&](const std::string& content) {
        std::ofstream(dir / "library.json", std::ios::binary) << content;
        return dir / "library.json";
    };
    std::string error;
    auto loaded = loadLibraryJson(write(text), error);
    ASSERT_TRUE(loaded) << error;
    ASSERT_EQ(loaded->tracks.size(), lib.tracks.size());
    EXPECT_EQ(loaded->tracks.back().path, lib.tracks.back().path);

    size_t at = text.find("\"rating\":", text.size() / 2);
    ASSERT_NE(at, std::string::npos);
    text[at + 9] = '9';
    size_t line = size_t(std::count(text.begin(), text.begin() + ptrdiff_t(at), '\n')) + 1;
    size_t column = at - text.rfind('\n', at) + 9;
    EXPECT_FALSE(loadLibraryJson(write(text), error));
    EXPECT_TRUE(error.starts_with((dir / "library.json").string() + ": line " +
                                  std::to_string(line) + ", column " + std::to_string(column) +
                                  ": track "))
        << error;
    EXPECT_TRUE(error.ends_with("\"rating\" must be a whole number from 0 to 5")) << error;
    fs::remove_all(dir);
}

TEST(LibraryJsonTest, TheDemoLibrarySurvivesARoundTrip) {
    LibraryData demo = demoLibrary();
    std::string json = libraryToJson(demo);
    EXPECT_TRUE(std::all_of(json.begin(), json.end(), [](char c) { return c > 0; }));
    std::string error;
    auto back = parseLibraryJson(json, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->tracks.size(), demo.tracks.size());
    for (size_t i = 0; i < demo.tracks.size(); ++i) {
        const Track &a = demo.tracks[i], &b = back->tracks[i];
        ASSERT_EQ(std::tie(a.key, a.path, a.name, a.artist, a.album, a.albumArtist, a.composer,
                           a.genre, a.comment, a.mediaType),
                  std::tie(b.key, b.path, b.name, b.artist, b.album, b.albumArtist, b.composer,
                           b.genre, b.comment, b.mediaType))
            << i;
        ASSERT_EQ(std::tie(a.durationSeconds, a.trackNumber, a.discNumber, a.year, a.rating,
                           a.playCount, a.bitrate),
                  std::tie(b.durationSeconds, b.trackNumber, b.discNumber, b.year, b.rating,
                           b.playCount, b.bitrate))
            << i;
    }
    ASSERT_EQ(back->playlists.size(), demo.playlists.size());
    for (size_t i = 0; i < demo.playlists.size(); ++i) {
        const PlaylistData &a = demo.playlists[i], &b = back->playlists[i];
        EXPECT_EQ(std::tie(a.id, a.name, a.path, a.type, a.keys, a.expression),
                  std::tie(b.id, b.name, b.path, b.type, b.keys, b.expression));
    }
    EXPECT_EQ(back->playingNow, demo.playingNow);
}

TEST(DemoLibraryTest, DeterministicVariedAndCoveredLibrary) {
    LibraryData lib = demoLibrary();
    EXPECT_EQ(lib.tracks.size(), 2500u);
    LibraryData again = demoLibrary();
    ASSERT_EQ(again.tracks.size(), lib.tracks.size());
    for (size_t i = 0; i < lib.tracks.size(); i += 97)
        EXPECT_EQ(again.tracks[i].path, lib.tracks[i].path);

    std::set<int32_t> keys;
    std::set<std::u16string> paths, artists;
    for (const auto& t : lib.tracks) {
        keys.insert(t.key);
        paths.insert(t.path);
        artists.insert(t.artist);
    }
    EXPECT_EQ(keys.size(), lib.tracks.size());
    EXPECT_EQ(paths.size(), lib.tracks.size()) << "a path identifies a file";
    EXPECT_GT(artists.size(), 80u);
    // The names a browser must escape, and two that differ only in case.
    for (const char16_t* a : {u"AC/DX", u"Salt/Pepper [live]", u"The \"Quoted\" Ones",
                              u"the case study", u"The Case Study"})
        EXPECT_TRUE(artists.count(a)) << std::string(a, a + 3);
    std::set<PlaylistType> types;
    for (const auto& p : lib.playlists)
        types.insert(p.type);
    EXPECT_EQ(types, (std::set<PlaylistType>{PlaylistType::Ordinary, PlaylistType::Smart,
                                             PlaylistType::Group}));

    fs::path covers = freshTempDir("covers");
    SimPlayer player(std::move(lib), SimOptions{nullptr, covers, 0, false});
    EXPECT_EQ(player.startupProblem(), "");
    auto root = player.root();
    auto all =
        host::callMethod(root.get(), host::RootOp::Search, {u"~nodup=[Album] -[Album]=[] ~n=30"})
            .asObject();
    size_t withCover = 0;
    for (int32_t i = 0; i < 30; ++i) {
        auto f = host::callMethod(all.get(), host::FilesOp::Item, {i}).asObject();
        std::u16string small = host::callMethod(f.get(), host::FileOp::ImagePath, {3}).text();
        std::u16string large = host::callMethod(f.get(), host::FileOp::ImagePath, {5}).text();
        if (small.empty())
            continue;
        ++withCover;
        EXPECT_NE(small, large);
        std::ifstream in(fs::path(large), std::ios::binary);
        char sig[8] = {};
        in.read(sig, 8);
        EXPECT_EQ(std::string(sig + 1, 3), "PNG");
        EXPECT_GT(fs::file_size(fs::path(large)), fs::file_size(fs::path(small)));
    }
    EXPECT_GT(withCover, 20u);
    fs::remove_all(covers);
}

TEST(DemoLibraryTest, TwoPlayersFillOneCoverFolderAtOnce) {
    fs::path covers = freshTempDir("shared-covers");
    std::string problems[2];
    std::thread other([&] {
        SimPlayer p(syntheticLibrary(800, 5), SimOptions{nullptr, covers, 0, false});
        problems[0] = p.startupProblem();
    });
    SimPlayer p(syntheticLibrary(800, 5), SimOptions{nullptr, covers, 0, false});
    problems[1] = p.startupProblem();
    other.join();
    EXPECT_EQ(problems[0], "");
    EXPECT_EQ(problems[1], "");
    for (const auto& entry : fs::directory_iterator(covers))
        EXPECT_EQ(entry.path().extension(), ".png") << "no temporary file is left behind";
    fs::remove_all(covers);
}

} // namespace

TEST(LibraryJsonTest, ALoneSurrogateIsSavedAsTheReplacementCharacterAndTheFileStillLoads) {
    LibraryData lib;
    lib.tracks.emplace_back();
    lib.tracks[0].key = 1;
    lib.tracks[0].path = u"a.mp3";
    lib.tracks[0].name = std::u16string(u"a") + char16_t(0xDC00) + u"b" + char16_t(0xD800);
    lib.tracks[0].artist = std::u16string(u"\U0001F600") + char16_t(0xD800) + u"x";
    std::string error;
    auto back = parseLibraryJson(libraryToJson(lib), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->tracks.at(0).name, u"a\uFFFDb\uFFFD");
    EXPECT_EQ(back->tracks.at(0).artist, u"\U0001F600\uFFFDx");
}
