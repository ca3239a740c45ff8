// Codecs of the playing-now list and stored playlists: the list replies, their change
// notifications and the requests that edit them.
#include "server/wire/Messages.h"
#include "server/wire/MessagesShared.h"

namespace wire {

using namespace codec;

// --- 9 MSG_NOW_PLAYING_LIST ------------------------------------------------------------------
void NowPlayingListMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(entries.size()));
    writeIndexedList(w, entries);
}
bool NowPlayingListMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t count = 0;
    return r.u32(count) && readIndexedList(r, count, entries);
}

void NowPlayingChangedMessage::encode(ByteWriter&) const {}
bool NowPlayingChangedMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
}

// --- 14 MSG_PLAYLISTS ------------------------------------------------------------------------
void PlaylistsMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(playlists.size()));
    for (const PlaylistEntry& e : playlists)
        w.i32(e.id).u32(e.fileCount).cstring(e.name);
}
bool PlaylistsMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t count = 0;
    if (!r.u32(count) || count > r.remaining() / 9)
        return false;
    playlists.resize(count);
    for (PlaylistEntry& e : playlists)
        if (!r.i32(e.id) || !r.u32(e.fileCount) || !r.cstring(e.name))
            return false;
    return true;
}

void MoveNowPlayingMessage::encode(ByteWriter& w) const {
    w.u32(from).u32(to);
}
bool MoveNowPlayingMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u32(from) && r.u32(to);
}

void ClearPlaylistMessage::encode(ByteWriter& w) const {
    w.u32(playlistId);
}
bool ClearPlaylistMessage::decode(const uint8_t* p, size_t n) {
    if (n != 4)
        return false;
    playlistId = loadLE32(p);
    return true;
}

// --- 29 MSG_CREATE_PLAYLIST ------------------------------------------------------------------
void CreatePlaylistMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(name.size())).bytes(name).u8(0);
}
bool CreatePlaylistMessage::decode(const uint8_t* p, size_t n) {
    if (n < 5 || uint64_t(loadLE32(p)) + 5 != n)
        return false;
    name.assign(reinterpret_cast<const char*>(p + 4), n - 5);
    return true;
}

void PlaylistsChangedMessage::encode(ByteWriter&) const {}
bool PlaylistsChangedMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
}

// --- 31 MSG_PLAYLIST_TRACKS ------------------------------------------------------------------
void PlaylistTracksMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(entries.size())).u32(playlistId);
    writeIndexedList(w, entries);
}
bool PlaylistTracksMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t count = 0;
    return r.u32(count) && r.u32(playlistId) && readIndexedList(r, count, entries);
}

void RemoveTrackMessage::encode(ByteWriter& w) const {
    w.u32(playlistId).u32(index);
}
bool RemoveTrackMessage::decode(const uint8_t* p, size_t n) {
    if (n != 8)
        return false;
    playlistId = loadLE32(p);
    index = loadLE32(p + 4);
    return true;
}

void MoveTrackMessage::encode(ByteWriter& w) const {
    w.u32(playlistId).u32(from).u32(to);
}
bool MoveTrackMessage::decode(const uint8_t* p, size_t n) {
    if (n != 12)
        return false;
    playlistId = loadLE32(p);
    from = loadLE32(p + 4);
    to = loadLE32(p + 8);
    return true;
}

void PlaylistChangedMessage::encode(ByteWriter& w) const {
    w.u32(playlistId);
}
bool PlaylistChangedMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u32(playlistId);
}

// --- 41 MSG_PLAYLISTS_EX ---------------------------------------------------------------------
void PlaylistsExMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(playlists.size())).u32(parameter).u16(listFlags).u16(0);
    for (const PlaylistEntry& e : playlists) {
        uint32_t flags = ((e.flags & 0xFF) ? 1u : 0u) | ((e.flags >> 8) ? 2u : 0u);
        w.i32(e.id).u32(e.fileCount).u32(flags).cstring(e.name);
    }
}
bool PlaylistsExMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t count = 0;
    uint16_t zero = 0;
    if (!r.u32(count) || !r.u32(parameter) || !r.u16(listFlags) || !r.u16(zero) ||
        count > r.remaining() / 13)
        return false;
    playlists.resize(count);
    for (PlaylistEntry& e : playlists) {
        uint32_t flags = 0;
        if (!r.i32(e.id) || !r.u32(e.fileCount) || !r.u32(flags) || !r.cstring(e.name))
            return false;
        e.flags = uint16_t(flags);
    }
    return true;
}

// --- 42 MSG_CREATE_PLAYLIST_EX ---------------------------------------------------------------
void CreatePlaylistExMessage::encode(ByteWriter& w) const {
    w.u32(extra).u16(0).u32(uint32_t(name.size())).bytes(name).u8(0);
}
bool CreatePlaylistExMessage::decode(const uint8_t* p, size_t n) {
    if (n < 11 || uint64_t(loadLE32(p + 6)) + 11 != n)
        return false;
    extra = loadLE32(p);
    name.assign(reinterpret_cast<const char*>(p + 10), n - 11);
    return true;
}

// --- 50 MSG_PLAYLIST_DETAILS -----------------------------------------------------------------
void PlaylistDetailsMessage::encode(ByteWriter& w) const {
    std::string_view name = clipUtf8(list.name, 0xFFFF);
    w.u32(uint32_t(list.entries.size())).i32(list.playlistId).u16(uint16_t(name.size()));
    w.u8(uint8_t((list.reserved ? 1 : 0) | (list.wantDisplayText ? 2 : 0))).cstring(name);
    for (const TrackInfo& t : list.entries) {
        w.i32(t.index).u32(t.durationMs).u16(t.figureA).u8(t.playbackFigure).u8(t.rating);
        w.u16(t.trackNumber);
        for (uint16_t v : t.extra)
            w.u16(v);
        w.u16(0);
        if (list.wantDisplayText) {
            std::string_view text = clipUtf8(t.displayText, 0xFFFF);
            w.u16(uint16_t(text.size())).u16(0).u32(0).bytes(text).u32(0);
        } else {
            std::string_view texts[4] = {clipUtf8(t.name, 0xFFFF), clipUtf8(t.artist, 0xFFFF),
                                         clipUtf8(t.album, 0xFFFF), clipUtf8(t.genre, 0xFFFF)};
            for (std::string_view s : texts)
                w.u16(uint16_t(s.size()));
            for (std::string_view s : texts)
                w.cstring(s);
        }
    }
}
bool PlaylistDetailsMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t count = 0;
    uint16_t nameLength = 0;
    uint8_t flags = 0, zero = 1;
    if (!r.u32(count) || !r.i32(list.playlistId) || !r.u16(nameLength) || !r.u8(flags) ||
        !r.text(list.name, nameLength) || !r.u8(zero) || zero != 0 || count > r.remaining() / 36)
        return false;
    list.reserved = flags & 1;
    list.wantDisplayText = (flags >> 1) & 1;
    list.entries.assign(count, TrackInfo{});
    for (TrackInfo& t : list.entries) {
        uint16_t pad = 0, lengths[4] = {};
        if (!r.i32(t.index) || !r.u32(t.durationMs) || !r.u16(t.figureA) ||
            !r.u8(t.playbackFigure) || !r.u8(t.rating) || !r.u16(t.trackNumber))
            return false;
        for (uint16_t& v : t.extra)
            if (!r.u16(v))
                return false;
        if (!r.u16(pad))
            return false;
        for (uint16_t& l : lengths)
            if (!r.u16(l))
                return false;
        if (list.wantDisplayText) {
            uint32_t tail = 1;
            if (!r.text(t.displayText, lengths[0]) || !r.u32(tail) || tail != 0)
                return false;
        } else {
            std::string* texts[4] = {&t.name, &t.artist, &t.album, &t.genre};
            for (int i = 0; i < 4; ++i) {
                uint8_t z = 1;
                if (!r.text(*texts[i], lengths[i]) || !r.u8(z) || z != 0)
                    return false;
            }
        }
    }
    return true;
}

} // namespace wire
