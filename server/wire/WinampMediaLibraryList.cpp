#include "server/wire/WinampMediaLibraryList.h"
#include "server/wire/MessagesShared.h"

#include <cstring>

namespace {

// Local little-endian stores: the encoders write into a caller's raw buffer.
inline uint8_t* put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    return p + 2;
}
inline uint8_t* put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
    return p + 4;
}
inline uint8_t* putText(uint8_t* p, std::string_view text, size_t length) {
    if (length != 0)
        std::memcpy(p, text.data(), length);
    p[length] = 0;
    return p + length + 1;
}
inline uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

int listKindCode(int32_t kind) {
    switch (kind) {
    case LIST_KIND_GENRES:
        return 2;
    case LIST_KIND_ARTISTS:
        return 0;
    case LIST_KIND_COMPOSERS:
        return 4;
    case LIST_KIND_TRACK_NAMES:
        return 3;
    case LIST_KIND_ALBUM_PAIRS:
        return 5;
    case LIST_KIND_ALBUMS:
        return 6;
    case LIST_KIND_TRACKS:
        return 7;
    default:
        return -1;
    }
}

int32_t listKindFromCode(int code) {
    switch (code) {
    case 0:
        return LIST_KIND_ARTISTS;
    case 2:
        return LIST_KIND_GENRES;
    case 4:
        return LIST_KIND_COMPOSERS;
    case 3:
        return LIST_KIND_TRACK_NAMES;
    case 5:
        return LIST_KIND_ALBUM_PAIRS;
    case 6:
        return LIST_KIND_ALBUMS;
    case 7:
        return LIST_KIND_TRACKS;
    default:
        return -1;
    }
}

std::vector<uint8_t> WinampMediaLibraryListBase::encoded() const {
    std::vector<uint8_t> out(static_cast<size_t>(encodedSize()));
    if (!out.empty())
        encode(out.data());
    return out;
}

size_t libraryFieldLength(std::string_view text) {
    return wire::codec::clipUtf8(text, 0xFFFF).size();
}

// --- strings ------------------------------------------------------------------------------

template <class Text> uint64_t WinampMediaLibraryListStrings<Text>::encodedSize() const {
    uint64_t size = 0;
    for (const Text& t : entries)
        size += t.size() + 1;
    return size;
}

template <class Text> void WinampMediaLibraryListStrings<Text>::encode(uint8_t* out) const {
    for (const Text& t : entries)
        out = putText(out, t, t.size());
}

// --- albums -------------------------------------------------------------------------------

template <class Text> uint64_t WinampMediaLibraryListAlbums<Text>::encodedSize() const {
    uint64_t size = 0;
    for (const auto& e : entries)
        size += kFixedPart + libraryFieldLength(e.title) + libraryFieldLength(e.artist) + 2;
    return size;
}

template <class Text> void WinampMediaLibraryListAlbums<Text>::encode(uint8_t* out) const {
    for (const auto& e : entries) {
        const size_t t = libraryFieldLength(e.title);
        const size_t a = libraryFieldLength(e.artist);
        out = put16(out, uint16_t(t));
        out = put16(out, uint16_t(a));
        out = put16(out, e.number);
        out = put16(out, 0);
        out = put32(out, uint32_t(t + a + 2));
        out = putText(out, e.title, t);
        out = putText(out, e.artist, a);
    }
}

// --- tracks -------------------------------------------------------------------------------

namespace {
template <class Text> uint32_t trackFollowingBytes(const TrackEntry<Text>& e) {
    size_t n =
        libraryFieldLength(e.artist) + libraryFieldLength(e.name) + libraryFieldLength(e.album) + 3;
    if (e.hasExtra())
        n += libraryFieldLength(e.extraText) + 5;
    return uint32_t(n);
}
} // namespace

template <class Text> uint64_t WinampMediaLibraryListTracks<Text>::encodedSize() const {
    uint64_t size = 0;
    for (const auto& e : entries)
        size += kFixedPart + trackFollowingBytes(e);
    return size;
}

template <class Text> void WinampMediaLibraryListTracks<Text>::encode(uint8_t* out) const {
    for (const auto& e : entries) {
        const size_t r = libraryFieldLength(e.artist);
        const size_t n = libraryFieldLength(e.name);
        const size_t l = libraryFieldLength(e.album);
        const bool extra = e.hasExtra();
        out = put16(out, uint16_t(r));
        out = put16(out, uint16_t(n));
        out = put16(out, uint16_t(l));
        out = put16(out, e.number11);
        out = put32(out, trackFollowingBytes(e));
        out = put32(out, e.durationSeconds);
        out = put16(out, e.trackNumber);
        *out++ = e.rating;
        *out++ = extra ? kFlagExtra : 0;
        out = putText(out, e.artist, r);
        out = putText(out, e.name, n);
        out = putText(out, e.album, l);
        if (extra) {
            const size_t x = libraryFieldLength(e.extraText);
            out = put16(out, e.extraNumber);
            out = put16(out, uint16_t(x));
            out = putText(out, e.extraText, x);
        }
    }
}

template class WinampMediaLibraryListStrings<std::string>;
template class WinampMediaLibraryListAlbums<std::string>;
template class WinampMediaLibraryListTracks<std::string>;

// --- conversion for sessions without extended lists --------------------------------------

std::unique_ptr<WinampMediaLibraryListBase> simplifiedList(const WinampMediaLibraryListBase& list) {
    if (list.kind == LIST_KIND_ALBUMS) {
        const auto* albums = dynamic_cast<const LibraryAlbumList*>(&list);
        if (albums == nullptr)
            return nullptr;
        auto out = std::make_unique<LibraryStringList>(LIST_KIND_ALBUM_PAIRS);
        out->entries.reserve(albums->entries.size() * 2);
        for (const auto& e : albums->entries) {
            out->add(e.title);
            out->add(e.artist);
        }
        return out;
    }
    if (list.kind == LIST_KIND_TRACKS) {
        const auto* tracks = dynamic_cast<const LibraryTrackList*>(&list);
        if (tracks == nullptr)
            return nullptr;
        auto out = std::make_unique<LibraryStringList>(LIST_KIND_TRACK_NAMES);
        out->entries.reserve(tracks->entries.size());
        for (const auto& e : tracks->entries)
            out->add(e.name);
        return out;
    }
    return nullptr;
}

const WinampMediaLibraryListBase&
listForSession(const WinampMediaLibraryListBase& list, bool extendedLists,
               std::unique_ptr<WinampMediaLibraryListBase>& holder) {
    if (extendedLists)
        return list;
    holder = simplifiedList(list);
    return holder ? *holder : list;
}

// --- decoding (client side) ---------------------------------------------------------------

namespace {

class EntryReader {
public:
    EntryReader(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
    size_t left() const { return size_t(end_ - p_); }
    const uint8_t* at() const { return p_; }
    void advance(size_t n) { p_ += n; }
    // NUL-terminated text. With nothing left there is none (and no pointer to search).
    bool cstring(std::string& out) {
        if (left() == 0)
            return false;
        const void* zero = std::memchr(p_, 0, left());
        if (zero == nullptr)
            return false;
        const auto* z = static_cast<const uint8_t*>(zero);
        out.assign(reinterpret_cast<const char*>(p_), size_t(z - p_));
        p_ = z + 1;
        return true;
    }
    // Exactly length bytes followed by a 0 byte.
    bool counted(std::string& out, size_t length) {
        if (left() < length + 1 || p_[length] != 0)
            return false;
        out.assign(reinterpret_cast<const char*>(p_), length);
        p_ += length + 1;
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

} // namespace

std::unique_ptr<WinampMediaLibraryListBase> decodeLibraryList(int code, uint32_t count,
                                                              const uint8_t* bytes, size_t size) {
    const int32_t kind = listKindFromCode(code);
    if (kind < 0)
        return nullptr;
    EntryReader in(bytes, size);

    if (kind == LIST_KIND_ALBUMS) {
        auto list = std::make_unique<LibraryAlbumList>();
        for (uint32_t i = 0; i < count; ++i) {
            if (in.left() < LibraryAlbumList::kFixedPart)
                return nullptr;
            const uint8_t* h = in.at();
            const uint16_t t = get16(h), a = get16(h + 2);
            if (get32(h + 8) != uint32_t(t) + a + 2)
                return nullptr;
            AlbumEntry<std::string> e;
            e.number = get16(h + 4);
            in.advance(LibraryAlbumList::kFixedPart);
            if (!in.counted(e.title, t) || !in.counted(e.artist, a))
                return nullptr;
            list->add(std::move(e));
        }
        return in.left() == 0 ? std::move(list) : nullptr;
    }

    if (kind == LIST_KIND_TRACKS) {
        auto list = std::make_unique<LibraryTrackList>();
        for (uint32_t i = 0; i < count; ++i) {
            if (in.left() < LibraryTrackList::kFixedPart)
                return nullptr;
            const uint8_t* h = in.at();
            const uint16_t r = get16(h), n = get16(h + 2), l = get16(h + 4);
            TrackEntry<std::string> e;
            e.number11 = get16(h + 6);
            const uint32_t following = get32(h + 8);
            e.durationSeconds = get32(h + 12);
            e.trackNumber = get16(h + 16);
            e.rating = h[18];
            const bool extra = (h[19] & LibraryTrackList::kFlagExtra) != 0;
            in.advance(LibraryTrackList::kFixedPart);
            if (in.left() < following)
                return nullptr;
            const uint8_t* start = in.at();
            if (!in.counted(e.artist, r) || !in.counted(e.name, n) || !in.counted(e.album, l))
                return nullptr;
            if (extra) {
                if (in.left() < 4)
                    return nullptr;
                e.extraNumber = get16(in.at());
                const uint16_t x = get16(in.at() + 2);
                in.advance(4);
                if (!in.counted(e.extraText, x))
                    return nullptr;
            }
            if (size_t(in.at() - start) != following)
                return nullptr;
            list->add(std::move(e));
        }
        return in.left() == 0 ? std::move(list) : nullptr;
    }

    auto list = std::make_unique<LibraryStringList>(kind);
    for (uint32_t i = 0; i < count; ++i) {
        std::string text;
        if (!in.cstring(text))
            return nullptr;
        list->add(std::move(text));
    }
    return in.left() == 0 ? std::move(list) : nullptr;
}
