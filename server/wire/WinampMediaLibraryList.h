// Library results as they travel from the player bridge to the protocol engine: one list
// object per result, holding UTF-8 texts and numbers, that knows its entry count and its
// byte encoding. The engine never looks inside the entries; it asks for count(),
// encodedSize() and encode() and wraps the bytes in MSG_LIBRARY_LIST.
//
// Ownership: a producer creates the list on the heap and stores it through the caller's
// out-parameter (destroying any list already there); the caller destroys it after use.
//
// Encodings (little-endian, entries back to back, no padding):
//   strings entry: text, 0
//   album entry:   u16 T, u16 A, u16 number, u16 0, u32 T+A+2, title, 0, artist, 0
//   track entry:   u16 R, u16 N, u16 L, u16 number11, u32 following bytes,
//                  u32 durationSeconds, u16 trackNumber, u8 rating, u8 flags,
//                  artist, 0, name, 0, album, 0
//                  [u16 extraNumber, u16 X, extraText, 0]   when flags bit 0 is set
// Length fields of album and track entries are 16 bits wide: a longer text is cut to its
// first 65535 bytes (at a UTF-8 character boundary) in both encodedSize() and encode().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The `kind` field of a list.
enum WinampMediaLibraryListKind : int32_t {
    LIST_KIND_GENRES = 0,
    LIST_KIND_ARTISTS = 1,
    LIST_KIND_COMPOSERS = 2,
    LIST_KIND_TRACK_NAMES = 3, // simplified tracks
    LIST_KIND_ALBUM_PAIRS = 5, // simplified albums: title, artist, title, artist, ...
    LIST_KIND_ALBUMS = 6,
    LIST_KIND_TRACKS = 7,
};

// The list-kind code written into MSG_LIBRARY_LIST, per kind; -1 for a kind that is never
// sent (4, negative, above 7).
int listKindCode(int32_t kind);
// The reverse, for the receiving side: the kind a code stands for, or -1 for an unknown code.
int32_t listKindFromCode(int code);

class WinampMediaLibraryListBase {
public:
    explicit WinampMediaLibraryListBase(int32_t listKind) : kind(listKind) {}
    virtual ~WinampMediaLibraryListBase() = default;

    // Bytes that encode() writes.
    virtual uint64_t encodedSize() const = 0;
    virtual uint64_t count() const = 0;
    // Writes every entry, in order, at out, which must hold encodedSize() bytes.
    virtual void encode(uint8_t* out) const = 0;
    virtual void clear() = 0;

    // The encoding in a fresh vector (encodedSize() bytes).
    std::vector<uint8_t> encoded() const;

    int32_t kind;

protected:
    WinampMediaLibraryListBase(const WinampMediaLibraryListBase&) = default;
    WinampMediaLibraryListBase& operator=(const WinampMediaLibraryListBase&) = default;
};

// Byte length a text takes in a 16-bit length field: at most 65535, cut back to the start
// of a UTF-8 character so a cut never splits one.
size_t libraryFieldLength(std::string_view text);

template <class Text> class WinampMediaLibraryListStrings : public WinampMediaLibraryListBase {
public:
    explicit WinampMediaLibraryListStrings(int32_t listKind = LIST_KIND_ARTISTS)
        : WinampMediaLibraryListBase(listKind) {}

    uint64_t encodedSize() const override;
    uint64_t count() const override { return entries.size(); }
    void encode(uint8_t* out) const override;
    void clear() override { entries.clear(); }

    void add(Text text) { entries.push_back(std::move(text)); }

    std::vector<Text> entries;
};

template <class Text> struct AlbumEntry {
    Text title;
    Text artist;
    uint16_t number = 0; // track number of the file standing for the album; 0 for the marker
    bool operator==(const AlbumEntry&) const = default;
};

template <class Text> class WinampMediaLibraryListAlbums : public WinampMediaLibraryListBase {
public:
    static constexpr size_t kFixedPart = 12;

    WinampMediaLibraryListAlbums() : WinampMediaLibraryListBase(LIST_KIND_ALBUMS) {}

    uint64_t encodedSize() const override;
    uint64_t count() const override { return entries.size(); }
    void encode(uint8_t* out) const override;
    void clear() override { entries.clear(); }

    void add(AlbumEntry<Text> entry) { entries.push_back(std::move(entry)); }

    std::vector<AlbumEntry<Text>> entries;
};

template <class Text> struct TrackEntry {
    Text artist;
    Text name;
    Text album;
    Text extraText;
    uint32_t durationSeconds = 0;
    uint16_t number11 = 0;
    uint16_t trackNumber = 0;
    uint16_t extraNumber = 0;
    uint8_t rating = 0;

    // The extra block travels when either of its fields carries something.
    bool hasExtra() const { return !extraText.empty() || extraNumber != 0; }
    bool operator==(const TrackEntry&) const = default;
};

template <class Text> class WinampMediaLibraryListTracks : public WinampMediaLibraryListBase {
public:
    static constexpr size_t kFixedPart = 20;
    static constexpr uint8_t kFlagExtra = 0x01;

    WinampMediaLibraryListTracks() : WinampMediaLibraryListBase(LIST_KIND_TRACKS) {}

    uint64_t encodedSize() const override;
    uint64_t count() const override { return entries.size(); }
    void encode(uint8_t* out) const override;
    void clear() override { entries.clear(); }

    void add(TrackEntry<Text> entry) { entries.push_back(std::move(entry)); }

    std::vector<TrackEntry<Text>> entries;
};

// The only instantiation: narrow strings holding UTF-8 (defined in the .cpp).
extern template class WinampMediaLibraryListStrings<std::string>;
extern template class WinampMediaLibraryListAlbums<std::string>;
extern template class WinampMediaLibraryListTracks<std::string>;

using LibraryStringList = WinampMediaLibraryListStrings<std::string>;
using LibraryAlbumList = WinampMediaLibraryListAlbums<std::string>;
using LibraryTrackList = WinampMediaLibraryListTracks<std::string>;

// The form sent to an app that did not announce extended lists: an album list becomes a
// kind-5 strings list (title, then artist, for every album), a track list a kind-3 strings
// list of the track names. Null for every other list, which is sent as it is.
std::unique_ptr<WinampMediaLibraryListBase> simplifiedList(const WinampMediaLibraryListBase& list);

// The list to send to a session: the list itself when extendedLists is set or no conversion
// applies, otherwise its simplified form, kept alive in holder.
const WinampMediaLibraryListBase&
listForSession(const WinampMediaLibraryListBase& list, bool extendedLists,
               std::unique_ptr<WinampMediaLibraryListBase>& holder);

// Receiving side: rebuilds a list from the entries of MSG_LIBRARY_LIST (or of
// MSG_SEARCH_RESULTS, code 3). Null when the code is unknown or the bytes do not hold
// exactly count well-formed entries.
std::unique_ptr<WinampMediaLibraryListBase> decodeLibraryList(int code, uint32_t count,
                                                              const uint8_t* bytes, size_t size);
