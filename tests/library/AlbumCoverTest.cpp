// The album cover lookup: which searches find the album's file, which artist the reply
// names, which thumbnail is asked for at the size threshold, and the image file read whole.
#include "library/AlbumCover.h"
#include "common/Utf.h"
#include "library/ImageFile.h"
#include "simhost/Covers.h"
#include "tests/library/SmallLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

using namespace library;
using namespace library_test;
using host::HostValue;
using medialib::Track;

namespace fs = std::filesystem;

namespace {

// A folder of its own under the temporary folder, removed at the end.
struct TempFolder {
    TempFolder() {
        std::random_device random;
        path = fs::temp_directory_path() /
               ("tandravole-library-" + std::to_string(random()) + "-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::u16string write(const std::u16string& name, const std::vector<uint8_t>& bytes) const {
        fs::path file = path / fs::path(name);
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file.u16string();
    }
    fs::path path;
};

class LibraryCover : public ::testing::Test {
protected:
    static std::vector<Track> library() {
        Track blue = track(1, u"Zed", u"Blue", u"a");
        blue.albumArtist = u"Blues Band";
        Track mixed = track(3, u"Guest", u"Mixed", u"c");
        mixed.albumArtist = u"Host Band";
        return {blue, track(2, u"Solo", u"Quiet", u"b"), mixed,
                track(4, u"AC/DX", u"Live/Unplugged", u"d")};
    }
    void SetUp() override {
        smallPath = folder.write(u"small.png", small);
        largePath = folder.write(u"large.png", large);
    }
    void answerPaths() {
        p.recorder->answer("file.m23(3)", HostValue(smallPath));
        p.recorder->answer("file.m23(4)", HostValue(largePath));
    }
    bool lookup(const std::string& album, uint16_t size, std::string& artist) {
        p.rerecord();
        answerPaths();
        image = {9};
        return lookupAlbumCover(p.root.get(), album, size, artist, image);
    }

    TempFolder folder;
    const std::vector<uint8_t> small{0x89, 'P', 'N', 'G', 3};
    const std::vector<uint8_t> large{0x89, 'P', 'N', 'G', 4, 0, 4};
    std::u16string smallPath, largePath;
    std::vector<uint8_t> image;
    SmallPlayer p{library()};
};

// The searches by album artist, then artist; the artist the reply names (the album artist,
// else the artist, when none was given); the thumbnail at the size threshold.
TEST_F(LibraryCover, SearchesArtistAndThumbnail) {
    const auto none = std::vector<uint8_t>{9}; // left as it was
    struct Case {
        std::string album, artist;
        uint16_t size;
        std::vector<std::u16string> searches;
        std::string named;
        std::vector<uint8_t> image;
    } cases[] = {
        {"Blue", "", 200, {u"[Album]=[Blue] ~n=1"}, "Blues Band", large},
        {"Quiet", "", 200, {u"[Album]=[Quiet] ~n=1"}, "Solo", large},
        {"Mixed",
         "Host Band",
         200,
         {u"[Album]=[Mixed] and [Album Artist (auto)]=[Host Band] ~n=1"},
         "Host Band",
         large},
        {"Mixed",
         "Guest",
         200,
         {u"[Album]=[Mixed] and [Album Artist (auto)]=[Guest] ~n=1",
          u"[Album]=[Mixed] and [Artist]=[Guest] ~n=1"},
         "Guest",
         large},
        {"Live/Unplugged",
         "AC/DX",
         200,
         {u"[Album]=[Live//Unplugged] and [Album Artist (auto)]=[AC//DX] ~n=1"},
         "AC/DX",
         large},
        {"Mixed",
         "Nobody",
         200,
         {u"[Album]=[Mixed] and [Album Artist (auto)]=[Nobody] ~n=1",
          u"[Album]=[Mixed] and [Artist]=[Nobody] ~n=1"},
         "Nobody",
         none},
        {"", "", 200, {}, "", none},
        {"Unknown", "", 200, {u"[Album]=[Unknown] ~n=1", u"[Album]=[Unknown] ~n=1"}, "", none},
        {"Blue", "", 0, {u"[Album]=[Blue] ~n=1"}, "Blues Band", small},
        {"Blue", "", 64, {u"[Album]=[Blue] ~n=1"}, "Blues Band", small},
        {"Blue", "", 65, {u"[Album]=[Blue] ~n=1"}, "Blues Band", large},
        {"Blue", "", 65535, {u"[Album]=[Blue] ~n=1"}, "Blues Band", large},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.album + "/" + c.artist + "/" + std::to_string(c.size));
        std::string artist = c.artist;
        EXPECT_EQ(lookup(c.album, c.size, artist), c.image != none);
        EXPECT_EQ(p.recorder->searches(), c.searches);
        EXPECT_EQ(artist, c.named);
        EXPECT_EQ(image, c.image);
    }
}

TEST_F(LibraryCover, NoPathNoFileOrAFailedCallGivesNoImage) {
    std::string artist;
    for (std::u16string path :
         {std::u16string(), folder.path.u16string() + u"/missing.png", folder.path.u16string()}) {
        p.rerecord();
        p.recorder->answer("file.m23(", HostValue(path));
        image = {9};
        EXPECT_FALSE(lookupAlbumCover(p.root.get(), "Blue", 200, artist, image))
            << utf16ToUtf8(path);
        EXPECT_EQ(image, std::vector<uint8_t>{9});
    }
    failEachCall(
        p,
        [&] {
            image = {9};
            artist = "Guest";
            bool found = lookupAlbumCover(p.root.get(), "Mixed", 200, artist, image);
            return found || image != std::vector<uint8_t>{9};
        },
        [&] { answerPaths(); });
    p.rerecord();
    p.recorder->answer("files.m2(", HostValue(host::HostObjectPtr()));
    EXPECT_FALSE(lookupAlbumCover(p.root.get(), "Blue", 200, artist, image));
    EXPECT_FALSE(lookupAlbumCover(nullptr, "Blue", 200, artist, image));
}

TEST_F(LibraryCover, ThePlayersOwnCoverFiles) {
    TempFolder covers;
    SmallPlayer withCovers(medialib::LibraryData{library(), {}, {}},
                           simhost::SimOptions{nullptr, covers.path, 0, false});
    std::string artist;
    ASSERT_TRUE(lookupAlbumCover(withCovers.root.get(), "Blue", 300, artist, image));
    EXPECT_EQ(image, simhost::renderCover(u"Blue", u"Blues Band", simhost::kLargeCoverSize));
    ASSERT_TRUE(lookupAlbumCover(withCovers.root.get(), "Blue", 64, artist, image));
    EXPECT_EQ(image, simhost::renderCover(u"Blue", u"Blues Band", simhost::kSmallCoverSize));
}

TEST(LibraryImageFile, ReadsWholeFilesByAnyName) {
    TempFolder folder;
    std::vector<uint8_t> bytes(70000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + (i >> 8));
    std::u16string path = folder.write(u"Caf\u00e9 \u6771\u4eac.png", bytes);
    std::vector<uint8_t> read;
    ASSERT_TRUE(readImageFile(path, read));
    EXPECT_EQ(read, bytes);
    std::u16string empty = folder.write(u"empty.png", {});
    EXPECT_TRUE(readImageFile(empty, read));
    EXPECT_TRUE(read.empty());
}

} // namespace
