#include "server/wire/WinampMediaLibraryList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TrackEntry<std::string> track(std::string artist, std::string name, std::string album) {
    TrackEntry<std::string> e;
    e.artist = std::move(artist);
    e.name = std::move(name);
    e.album = std::move(album);
    return e;
}

// Each entry layout byte for byte, entries back to back without padding; encodedSize agrees.
TEST(LibraryListEncoding, EntryLayouts) {
    LibraryStringList artists(LIST_KIND_ARTISTS), withEmpty(LIST_KIND_GENRES);
    artists.add("Ann");
    artists.add("Bo");
    withEmpty.add(""); // an empty text still takes its terminator
    withEmpty.add("A");
    LibraryAlbumList albums;
    albums.add({"X", "", 7});
    albums.add({"Ab", "Cde", 0x0102}); // the u32 counts both texts and zeros
    LibraryTrackList tracks, withText, numberOnly;
    auto e = track("Ann", "Song", "LP");
    e.number11 = 0x0A0B;
    e.durationSeconds = 0x01020304;
    e.trackNumber = 5;
    e.rating = 3;
    tracks.add(e);
    auto text = track("", "N", "");
    text.extraText = "xy";
    withText.add(text);
    auto number = track("", "", ""); // a non-zero extra number alone also brings the block
    number.extraNumber = 0x1234;
    numberOnly.add(number);
    const std::pair<const WinampMediaLibraryListBase*, Bytes> rows[] = {
        {&artists, {0x41, 0x6E, 0x6E, 0x00, 0x42, 0x6F, 0x00}},
        {&withEmpty, {0x00, 0x41, 0x00}},
        {&albums, {0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                   0x58, 0x00, 0x00, 0x02, 0x00, 0x03, 0x00, 0x02, 0x01, 0x00, 0x00, 0x07,
                   0x00, 0x00, 0x00, 'A',  'b',  0x00, 'C',  'd',  'e',  0x00}},
        {&tracks, {0x03, 0x00,             // R
                   0x04, 0x00,             // N
                   0x02, 0x00,             // L
                   0x0B, 0x0A,             // number11
                   0x0C, 0x00, 0x00, 0x00, // R + N + L + 3 = 12
                   0x04, 0x03, 0x02, 0x01, // durationSeconds
                   0x05, 0x00,             // trackNumber
                   0x03,                   // rating
                   0x00,                   // flags: no extra block
                   'A',  'n',  'n',  0x00, 'S', 'o', 'n', 'g', 0x00, 'L', 'P', 0x00}},
        {&withText, {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00,
                     0x00, // 0 + 1 + 0 + 3, plus X + 5 = 7
                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                     0x01, // flags: extra block present
                     0x00, 'N',  0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 'x',  'y',  0x00}},
        {&numberOnly, {0, 0, 0, 0, 0, 0, 0, 0, 8, 0,    0,    0, 0, 0,
                       0, 0, 0, 0, 0, 1, 0, 0, 0, 0x34, 0x12, 0, 0, 0}},
    };
    for (const auto& [list, expected] : rows) {
        EXPECT_EQ(list->encoded(), expected);
        EXPECT_EQ(list->encodedSize(), expected.size());
    }
}

// Length fields are 16 bits: a text of 65535 bytes travels whole, one of 65536 is cut to
// 65535, in the length field, in the u32 of following bytes and in encodedSize alike.
TEST(LibraryListEncoding, LengthFieldsAt65535And65536) {
    for (size_t length : {65535u, 65536u}) {
        const std::string big(length, 'x');
        const size_t sent = 65535;
        for (int field = 0; field < 2; ++field) {
            LibraryAlbumList albums;
            albums.add(field == 0 ? AlbumEntry<std::string>{big, "A", 1}
                                  : AlbumEntry<std::string>{"T", big, 1});
            const Bytes b = albums.encoded();
            ASSERT_EQ(b.size(), albums.encodedSize());
            ASSERT_EQ(b.size(), 12u + sent + 1 + 2);
            EXPECT_EQ(b[2 * size_t(field)] | b[2 * size_t(field) + 1] << 8, 65535) << length;
            EXPECT_EQ(b[8] | b[9] << 8 | b[10] << 16, int(sent + 1 + 2)) << length;
        }
        for (int field = 0; field < 4; ++field) {
            auto e = track("R", "N", "L");
            std::string* texts[4] = {&e.artist, &e.name, &e.album, &e.extraText};
            *texts[field] = big;
            LibraryTrackList tracks;
            tracks.add(e);
            const Bytes b = tracks.encoded();
            ASSERT_EQ(b.size(), tracks.encodedSize());
            // Three one-byte texts and their zeros, the big one cut, the extra block's 5 bytes.
            const size_t following = field == 3 ? 3 + 3 + sent + 5 : 2 + 3 + sent;
            ASSERT_EQ(b.size(), 20 + following) << field << " " << length;
            EXPECT_EQ(b[8] | b[9] << 8 | b[10] << 16, int(following)) << field << " " << length;
            const size_t at = field == 3 ? 20 + 6 + 2 : 2 * size_t(field);
            EXPECT_EQ(b[at] | b[at + 1] << 8, 65535) << field << " " << length;
        }
    }
    // A cut never splits a character: it steps back to the character's first byte.
    const std::pair<std::string, size_t> cuts[] = {
        {std::string(65533, 'a') + "\xC3\xA9", 65535},
        {std::string(65534, 'a') + "\xC3\xA9", 65534},
        {std::string(65532, 'a') + "\xF0\x9F\x8E\xB5", 65532},
        {std::string(65534, 'a') + "\xE2\x82\xAC", 65534},
        {std::string(70000, 'b'), 65535},
    };
    for (const auto& [text, expected] : cuts)
        EXPECT_EQ(libraryFieldLength(text), expected) << text.size();
}

// A well-formed encoding decodes to a list of its kind that encodes to the same bytes; every
// byte of it counts: each shorter prefix, a count one off either way, or one byte more, gives
// no list.
TEST(LibraryListDecoding, EveryTruncationAndMiscountIsRefused) {
    LibraryStringList strings(LIST_KIND_GENRES);
    strings.add("Jazz");
    strings.add("");
    LibraryAlbumList albums;
    albums.add({"X", "", 7});
    albums.add({"Yy", "Zz", 0});
    LibraryTrackList tracks;
    auto a = track("Ann", "One", "LP");
    a.durationSeconds = 200;
    a.rating = 4;
    a.number11 = 9;
    a.trackNumber = 2;
    auto extra = track("", "Two", "");
    extra.extraText = "ex";
    extra.extraNumber = 3;
    tracks.add(a);
    tracks.add(extra);
    const std::pair<int, const WinampMediaLibraryListBase*> lists[] = {
        {2, &strings}, {6, &albums}, {7, &tracks}};
    for (const auto& [code, list] : lists) {
        const Bytes b = list->encoded();
        const uint32_t count = uint32_t(list->count());
        auto back = decodeLibraryList(code, count, b.data(), b.size());
        ASSERT_NE(back, nullptr) << code;
        EXPECT_EQ(back->kind, list->kind);
        EXPECT_EQ(back->encoded(), b);
        for (size_t n = 0; n < b.size(); ++n) {
            const Bytes prefix(b.begin(), b.begin() + ptrdiff_t(n));
            EXPECT_EQ(decodeLibraryList(code, count, prefix.data(), prefix.size()), nullptr)
                << "code " << code << ", " << n << " of " << b.size() << " bytes";
        }
        EXPECT_EQ(decodeLibraryList(code, count + 1, b.data(), b.size()), nullptr) << code;
        EXPECT_EQ(decodeLibraryList(code, count - 1, b.data(), b.size()), nullptr) << code;
        Bytes longer = b;
        longer.push_back(0);
        EXPECT_EQ(decodeLibraryList(code, count, longer.data(), longer.size()), nullptr) << code;
    }
    // An unknown code; no bytes at all, as an empty payload's data() may be null: fine for no
    // entries only; an album whose text byte count disagrees with its lengths, or whose title
    // runs past the end; a track whose following-bytes field is too large, whose flag announces
    // an extra block that is not there, or whose extra text length disagrees with the
    // following-bytes field.
    EXPECT_EQ(decodeLibraryList(1, 0, nullptr, 0), nullptr);
    EXPECT_NE(decodeLibraryList(0, 0, nullptr, 0), nullptr);
    EXPECT_EQ(decodeLibraryList(0, 1, nullptr, 0), nullptr);
    Bytes album{1, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 0x58, 0, 0};
    EXPECT_NE(decodeLibraryList(6, 1, album.data(), album.size()), nullptr);
    album[8] = 4;
    EXPECT_EQ(decodeLibraryList(6, 1, album.data(), album.size()), nullptr);
    album[8] = 3;
    album[0] = 9;
    EXPECT_EQ(decodeLibraryList(6, 1, album.data(), album.size()), nullptr);
    LibraryTrackList plain;
    plain.add(track("a", "b", "c"));
    Bytes flagged = plain.encoded();
    flagged[8] += 1;
    EXPECT_EQ(decodeLibraryList(7, 1, flagged.data(), flagged.size()), nullptr);
    flagged[8] -= 1;
    flagged[19] = 1;
    EXPECT_EQ(decodeLibraryList(7, 1, flagged.data(), flagged.size()), nullptr);
    LibraryTrackList withExtra;
    auto e = track("a", "b", "c");
    e.extraText = "xy";
    withExtra.add(e);
    Bytes longText = withExtra.encoded();
    longText[20 + 6 + 2] = 1; // X = 1: the text's zero is not where the length says
    EXPECT_EQ(decodeLibraryList(7, 1, longText.data(), longText.size()), nullptr);
}

} // namespace
