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
    fs::path path = fs::temp_directory_path() /
                    ("tandravole-library-" + std::to_string(std::random_device{}()) + "-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::u16string write(const std::u16string& name, const std::vector<uint8_t>& bytes) const {
        fs::path file = path / fs::path(name);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file.u16string();
    }
};

std::vector<Track> library() {
    Track blue = track(1, u"Zed", u"Blue", u"a");
    blue.albumArtist = u"Blues Band";
    Track mixed = track(3, u"Guest", u"Mixed", u"c");
    mixed.albumArtist = u"Host Band";
    return {blue, track(2, u"Solo", u"Quiet", u"b"), mixed,
            track(4, u"AC/DX", u"Live/Unplugged", u"d")};
}

// The searches by album artist, then artist; the artist the reply names (the album artist,
// else the artist, when none was given); the thumbnail at the size threshold.
TEST(LibraryCover, SearchesArtistAndThumbnail) {
    TempFolder folder;
    const std::vector<uint8_t> none{9}, small{0x89, 'P', 'N', 'G', 3}, large{0x89, 'P', 4, 0, 4};
    const std::u16string smallPath = folder.write(u"small.png", small);
    const std::u16string largePath = folder.write(u"large.png", large);
    // The searches: by album, by album and album artist, by album and artist.
    auto album = [](std::u16string a) { return u"[Album]=[" + a + u"] ~n=1"; };
    auto aa = [](std::u16string a, std::u16string artist) {
        return u"[Album]=[" + a + u"] and [Album Artist (auto)]=[" + artist + u"] ~n=1";
    };
    auto ar = [](std::u16string a, std::u16string artist) {
        return u"[Album]=[" + a + u"] and [Artist]=[" + artist + u"] ~n=1";
    };
    const struct {
        std::string album, artist;
        uint16_t size;
        std::vector<std::u16string> searches;
        std::string named;
        const std::vector<uint8_t>& image;
    } cases[] = {
        {"Blue", "", 200, {album(u"Blue")}, "Blues Band", large},
        {"Quiet", "", 200, {album(u"Quiet")}, "Solo", large},
        {"Mixed", "Host Band", 200, {aa(u"Mixed", u"Host Band")}, "Host Band", large},
        {"Mixed", "Guest", 200, {aa(u"Mixed", u"Guest"), ar(u"Mixed", u"Guest")}, "Guest", large},
        {"Live/Unplugged", "AC/DX", 200, {aa(u"Live//Unplugged", u"AC//DX")}, "AC/DX", large},
        {"Mixed", "Nemo", 200, {aa(u"Mixed", u"Nemo"), ar(u"Mixed", u"Nemo")}, "Nemo", none},
        {"", "", 200, {}, "", none},
        {"Unknown", "", 200, {album(u"Unknown"), album(u"Unknown")}, "", none},
        {"Blue", "", 0, {album(u"Blue")}, "Blues Band", small},
        {"Blue", "", 64, {album(u"Blue")}, "Blues Band", small},
        {"Blue", "", 65, {album(u"Blue")}, "Blues Band", large},
    };
    SmallPlayer p{library()};
    std::vector<uint8_t> image;
    auto answerPaths = [&] {
        p.recorder->answer("file.m23(3)", HostValue(smallPath));
        p.recorder->answer("file.m23(4)", HostValue(largePath));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.album + "/" + c.artist + "/" + std::to_string(c.size));
        p.rerecord();
        answerPaths();
        image = none;
        std::string artist = c.artist;
        EXPECT_EQ(lookupAlbumCover(p.root.get(), c.album, c.size, artist, image),
                  &c.image != &none);
        EXPECT_EQ(p.recorder->searches(), c.searches);
        EXPECT_EQ(artist, c.named);
        EXPECT_EQ(image, c.image);
    }
    // No path, no file, a folder, any failed call or a null file: no image, nothing touched.
    std::string artist;
    for (std::u16string path :
         {std::u16string(), folder.path.u16string() + u"/missing.png", folder.path.u16string()}) {
        p.rerecord();
        p.recorder->answer("file.m23(", HostValue(path));
        image = none;
        EXPECT_FALSE(lookupAlbumCover(p.root.get(), "Blue", 200, artist, image))
            << utf16ToUtf8(path);
        EXPECT_EQ(image, none);
    }
    failEachCall(
        p,
        [&] {
            image = none;
            artist = "Guest";
            return lookupAlbumCover(p.root.get(), "Mixed", 200, artist, image) || image != none;
        },
        answerPaths);
    p.rerecord();
    p.recorder->answer("files.m2(", HostValue(host::HostObjectPtr()));
    EXPECT_FALSE(lookupAlbumCover(p.root.get(), "Blue", 200, artist, image));
    EXPECT_FALSE(lookupAlbumCover(nullptr, "Blue", 200, artist, image));
}

TEST(LibraryCover, ThePlayersOwnCoverFilesAndImagesOfAnySizeAndName) {
    TempFolder covers;
    SmallPlayer withCovers(medialib::LibraryData{library(), {}, {}},
                           simhost::SimOptions{nullptr, covers.path, 0, false});
    std::string artist;
    std::vector<uint8_t> image;
    ASSERT_TRUE(lookupAlbumCover(withCovers.root.get(), "Blue", 300, artist, image));
    EXPECT_EQ(image, simhost::renderCover(u"Blue", u"Blues Band", simhost::kLargeCoverSize));
    ASSERT_TRUE(lookupAlbumCover(withCovers.root.get(), "Blue", 64, artist, image));
    EXPECT_EQ(image, simhost::renderCover(u"Blue", u"Blues Band", simhost::kSmallCoverSize));

    std::vector<uint8_t> bytes(70000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + (i >> 8));
    ASSERT_TRUE(readImageFile(covers.write(u"Caf\u00e9 \u6771\u4eac.png", bytes), image));
    EXPECT_EQ(image, bytes);
    EXPECT_TRUE(readImageFile(covers.write(u"empty.png", {}), image));
    EXPECT_TRUE(image.empty());
}

} // namespace
