// The album cover lookup: which searches find the album's file, which artist the reply
// names, which thumbnail is asked for at the size threshold, and the image file read whole.
#include "library/AlbumCover.h"
#include "common/Utf.h"
#include "tests/library/RecordingHost.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace library;
using namespace library_test;
using host::HostValue;
using medialib::Track;

namespace {

// The searches by album artist, then artist; the artist the reply names (the album artist,
// else the artist, when none was given); the thumbnail at the size threshold.
TEST(LibraryCover, SearchesArtistAndThumbnail) {
    TempFolder folder;
    const std::vector<uint8_t> none{9}, small{0x89, 'P', 'N', 'G', 3}, large{0x89, 'P', 4, 0, 4};
    auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder.path / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (folder.path / name).u16string();
    };
    const std::u16string smallPath = write("small.png", small),
                         largePath = write("large.png", large);
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
        {"Mixed", "Host Band", 200, {aa(u"Mixed", u"Host Band")}, "Host Band", large},
        {"Mixed", "Guest", 200, {aa(u"Mixed", u"Guest"), ar(u"Mixed", u"Guest")}, "Guest", large},
        {"Mixed", "Nemo", 200, {aa(u"Mixed", u"Nemo"), ar(u"Mixed", u"Nemo")}, "Nemo", none},
        {"", "", 200, {}, "", none},
        {"Unknown", "", 200, {album(u"Unknown"), album(u"Unknown")}, "", none},
        {"Blue", "", 64, {album(u"Blue")}, "Blues Band", small},
        {"Blue", "", 65, {album(u"Blue")}, "Blues Band", large},
    };
    Track blue = track(1, u"Zed", u"Blue", u"a"), mixed = track(3, u"Guest", u"Mixed", u"c");
    blue.albumArtist = u"Blues Band";
    mixed.albumArtist = u"Host Band";
    SmallPlayer p{{blue, mixed}};
    std::vector<uint8_t> image;
    auto answerPaths = [&] {
        p.recorder->answer("file.m23(3)", HostValue(smallPath));
        p.recorder->answer("file.m23(4)", HostValue(largePath));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.album + "/" + c.artist + "/" + std::to_string(c.size));
        p.recorder->clear();
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
        p.recorder->clear();
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
    p.recorder->clear();
    p.recorder->answer("files.m2(", HostValue(host::HostObjectPtr()));
    EXPECT_FALSE(lookupAlbumCover(p.root.get(), "Blue", 200, artist, image));
    EXPECT_FALSE(lookupAlbumCover(nullptr, "Blue", 200, artist, image));
}

} // namespace
