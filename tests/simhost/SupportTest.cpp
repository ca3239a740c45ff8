// What the simulated player stands on: the stock equalizer presets, the JSON library loader,
// the demo and synthetic libraries and their covers.
#include "platform/Registry.h"
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "simhost/Presets.h"
#include "simhost/SimPlayer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// On POSIX the store lives in a temporary file; on Windows the test uses the real registry
// and leaves a person's own presets alone.
TEST(PresetsTest, StockPresetsAreTwelveCodeUnitStringsAndNeverOverwrite) {
    const testing_support::TempFolder dir;
    setRegistryStoreFile((dir.path / "registry").string());
    RegistryKey key;
    if (key.open(RegistryRoot::CurrentUser, presetsKeyPath(kSimMajorVersion)))
        GTEST_SKIP() << "this user has presets of their own; they are left alone";
    ASSERT_EQ(installEqualizerPresets(kSimMajorVersion), "");
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser,
                         u"Software\\J. River\\Media Center 31\\Zones\\Global\\Equalizer\\Presets",
                         true));
    size_t count = 0;
    stockPresets(count);
    RegistryValue v;
    uint32_t n = 0;
    for (; key.enumValue(n, v) == RegistryEnum::Ok; ++n)
        EXPECT_EQ(std::pair(v.type, v.data.size()),
                  std::pair(uint32_t(RegistryType::String), size_t(24)));
    EXPECT_EQ(n, count);
    // Preamp, then ten bands: the code of a level is 110 - (level + 100) * 62 / 200, rounded.
    EXPECT_EQ(key.readString(u"Rock"), u"OCGRWRIA>>>"); // 0; 40, 25, -10, -25, -10, 20, 45, 55...
    key.writeString(u"Rock", u"mine");
    installEqualizerPresets(kSimMajorVersion);
    EXPECT_EQ(key.readString(u"Rock"), u"mine") << "a person's presets stay";
    deleteRegistryTree(RegistryRoot::CurrentUser, presetsKeyPath(kSimMajorVersion));
}

TEST(LibraryJsonTest, BrokenDocumentsAndBrokenRulesAreReportedWithLineAndColumn) {
    // Columns count characters, not bytes: "é" is two bytes and one column.
    using namespace std::literals;
    const struct {
        std::string_view text;
        const char* error;
    } cases[] = {
        {"{\"tracks\": [{\"path\": \"caf\xc3\"}]}", "line 1, column 26: Invalid encoding in "
                                                    "string."},
        {"{\"tracks\": []}\0x"sv,
         "line 1, column 15: unexpected text after the end of the document"},
        {"{\"tracks\": [{\"path\": \"\xc3\xa9\\q\"}]}", "line 1, column 24: Invalid escape "
                                                        "character in string."},
        // Nesting where the format has none stops at once, however deep the rest goes.
        {"{\"tracks\": [[[[[[[[[[[[", "line 1, column 13: track 1: must be an object"},
        {"  7", "line 1, column 3: the document must be an object with \"tracks\""},
        // Documents that parse but break the format's rules.
        {"{\"tracks\": [{\"path\": \"x\"},\n {\"name\": \"n\"}]}",
         "line 2, column 2: track 2: \"path\" is required and must not be empty"},
        {R"({"tracks": [{"key": 1, "path": "x"}, {"key": 1, "path": "y"}]})",
         "line 1, column 38: track 2: key 1 is used twice"},
        {R"({"tracks": [], "playlists": [{"name": "p", "tracks": [3]}]})",
         "line 1, column 55: playlist 1: no track has key 3"},
        {R"( {"playlists": []})", "line 1, column 2: \"tracks\" (a list) is required"},
        {R"({"tracks": [{"path": 5}]})", "line 1, column 22: track 1: \"path\" must be a text"},
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

TEST(LibraryJsonTest, LoadsTracksAndPlaylistsAndWritesThemBack) {
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
    // Keys and ids given to the unkeyed follow the largest; every member is written back.
    EXPECT_EQ(libraryToJson(*lib), R"({
  "tracks": [
    {"key":7,"path":"C:\\a.mp3","name":"A","artist":"AC/DC","rating":5,"plays":3},
    {"key":8,"path":"C:\\b.mp3","name":"B","album":"Blue","albumArtist":"Various","composer":"Satie","genre":"Jazz","comment":"hi","mediaType":"Video","duration":61,"track":2,"disc":1,"year":1999,"bitrate":128000},
    {"key":9,"path":"D:\\a \u00E9\u00E9","year":1999}
  ],
  "playlists": [
    {"id":41,"name":"Mix","type":0,"tracks":[8,7]},
    {"id":40,"name":"Smart","type":1,"expression":"[Rating]=5"},
    {"id":42,"name":"Group","type":2}
  ],
  "playingNow": [7]
}
)");
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
        for (int64_t v : {l.lo, l.hi, l.lo - 1, l.hi + 1}) {
            std::string error;
            const bool taken = v >= l.lo && v <= l.hi;
            EXPECT_EQ(parseLibraryJson(doc(v), error).has_value(), taken) << l.member << " " << v;
            EXPECT_EQ(error, taken ? "" : refused);
        }
    }
}

// The demo library written out is larger than the reader's buffer: it comes back whole, and a
// mistake far past the buffer's first fill is found where it is.
TEST(LibraryJsonTest, TheDemoLibrarySurvivesARoundTripThroughAFileReadInPieces) {
    LibraryData demo = demoLibrary();
    std::string text = libraryToJson(demo);
    ASSERT_GT(text.size(), 200000u);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0; }));
    const testing_support::TempFolder dir;
    auto write = [&](const std::string& content) {
        std::ofstream(dir.path / "library.json", std::ios::binary) << content;
        return dir.path / "library.json";
    };
    std::string error;
    auto back = loadLibraryJson(write(text), error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(libraryToJson(*back) == text);

    size_t at = text.find("\"rating\":", text.size() / 2);
    ASSERT_NE(at, std::string::npos);
    text[at + 9] = '9';
    size_t line = size_t(std::count(text.begin(), text.begin() + ptrdiff_t(at), '\n')) + 1;
    size_t column = at - text.rfind('\n', at) + 9;
    EXPECT_FALSE(loadLibraryJson(write(text), error));
    EXPECT_TRUE(error.starts_with((dir.path / "library.json").string() + ": line " +
                                  std::to_string(line) + ", column " + std::to_string(column) +
                                  ": track "))
        << error;
    EXPECT_TRUE(error.ends_with("\"rating\" must be a whole number from 0 to 5")) << error;
}

TEST(DemoLibraryTest, DeterministicVariedAndCoveredLibrary) {
    LibraryData lib = demoLibrary(), synthetic = syntheticLibrary(3000, 9);
    EXPECT_EQ(lib.tracks.size(), 2500u);
    EXPECT_EQ(demoLibrary().tracks[2345].path, lib.tracks[2345].path);
    // A synthetic library has the asked size and is the same for a seed.
    ASSERT_EQ(synthetic.tracks.size(), 3000u);
    EXPECT_EQ(syntheticLibrary(3000, 9).tracks[2345].path, synthetic.tracks[2345].path);
    EXPECT_NE(syntheticLibrary(3000, 10).tracks[2345].path, synthetic.tracks[2345].path);

    std::set<int32_t> keys;
    std::set<std::u16string> paths, artists;
    for (const auto& t : lib.tracks) {
        // Tagged as a well-kept library is: no empty album artist heads the artist list.
        EXPECT_FALSE(t.albumArtist.empty()) << t.key;
        keys.insert(t.key);
        paths.insert(t.path); // a path identifies a file
        artists.insert(t.artist);
    }
    std::set<PlaylistType> types;
    for (const auto& p : lib.playlists)
        types.insert(p.type);
    EXPECT_EQ(std::tuple(keys.size(), paths.size(), artists.size() > 80, types.size()),
              std::tuple(lib.tracks.size(), lib.tracks.size(), true, size_t(3)));

    const testing_support::TempFolder covers;
    SimPlayer player(std::move(lib), SimOptions{nullptr, covers.path, 0, false});
    EXPECT_EQ(player.startupProblem(), "");
    auto all = host::callMethod(player.root().get(), host::RootOp::Search,
                                {u"~nodup=[Album] -[Album]=[] ~n=30"})
                   .asObject();
    size_t withCover = 0;
    for (int32_t i = 0; i < 30; ++i) {
        auto f = host::callMethod(all.get(), host::FilesOp::Item, {i}).asObject();
        std::u16string small = host::callMethod(f.get(), host::FileOp::ImagePath, {3}).text();
        std::u16string large = host::callMethod(f.get(), host::FileOp::ImagePath, {5}).text();
        if (small.empty())
            continue;
        ++withCover;
        std::string sig(4, '\0');
        std::ifstream(fs::path(large), std::ios::binary).read(sig.data(), 4);
        EXPECT_EQ(sig.substr(1), "PNG");
        EXPECT_GT(fs::file_size(fs::path(large)), fs::file_size(fs::path(small)));
    }
    EXPECT_GT(withCover, 20u);
}

TEST(DemoLibraryTest, TwoPlayersFillOneCoverFolderAtOnce) {
    const testing_support::TempFolder covers;
    std::string problems[2];
    auto fill = [&](int i) {
        problems[i] =
            SimPlayer(syntheticLibrary(800, 5), SimOptions{nullptr, covers.path, 0, false})
                .startupProblem();
    };
    std::thread other(fill, 0);
    fill(1);
    other.join();
    EXPECT_EQ(problems[0] + problems[1], "");
    for (const auto& entry : fs::directory_iterator(covers.path))
        EXPECT_EQ(entry.path().extension(), ".png") << "no temporary file is left behind";
}

} // namespace

TEST(LibraryJsonTest, ALoneSurrogateIsSavedAsTheReplacementCharacterAndTheFileStillLoads) {
    LibraryData lib;
    Track& t = lib.tracks.emplace_back();
    std::tie(t.key, t.path) = std::tuple(1, u"a.mp3");
    t.name = std::u16string(u"a") + char16_t(0xDC00) + u"b" + char16_t(0xD800);
    t.artist = std::u16string(u"\U0001F600") + char16_t(0xD800) + u"x";
    std::string error;
    auto back = parseLibraryJson(libraryToJson(lib), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(std::tie(back->tracks.at(0).name, back->tracks.at(0).artist),
              std::tuple(u"a\uFFFDb\uFFFD", u"\U0001F600\uFFFDx"));
}
