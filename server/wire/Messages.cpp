#include "server/wire/Messages.h"

#include <algorithm>

namespace wire {

namespace {

// Shortens a UTF-8 text to at most limit bytes without cutting a sequence in two.
std::string_view clipUtf8(std::string_view s, size_t limit) {
    if (s.size() <= limit)
        return s;
    size_t end = limit;
    while (end > 0 && (uint8_t(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

void writeKey(ByteWriter& w, const TrackKey& key) {
    w.bytes(key.bytes.data(), key.bytes.size());
}
bool readKey(ByteReader& r, TrackKey& key) {
    return r.bytes(key.bytes.data(), key.bytes.size());
}

void writeIndexedList(ByteWriter& w, const std::vector<IndexedText>& entries) {
    for (const IndexedText& e : entries) {
        w.u32(e.index);
        w.cstring(e.text);
    }
}
bool readIndexedList(ByteReader& r, uint32_t count, std::vector<IndexedText>& entries) {
    // Each entry takes at least 5 bytes: a count beyond that cannot be honest.
    if (count > r.remaining() / 5)
        return false;
    entries.resize(count);
    for (IndexedText& e : entries)
        if (!r.u32(e.index) || !r.cstring(e.text))
            return false;
    return true;
}

bool isEmpty(const uint8_t*, size_t) {
    return true;
}

} // namespace

// --- 1 MSG_HELLO -----------------------------------------------------------------------------
void HelloMessage::encode(ByteWriter& w) const {
    w.u16(version).u8(passwordRequired).bytes(challenge.data(), challenge.size());
}
bool HelloMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u16(version) && r.u8(passwordRequired) && r.bytes(challenge.data(), 8);
}

// --- 2 MSG_LOGIN -----------------------------------------------------------------------------
void LoginMessage::encode(ByteWriter& w) const {
    w.bytes(response.data(), response.size());
    if (hasOptions)
        w.u8(extendedLists).u8(keepaliveSeconds);
}
bool LoginMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.bytes(response.data(), 16))
        return false;
    hasOptions = n == 18;
    extendedLists = hasOptions ? p[16] : 0;
    keepaliveSeconds = hasOptions ? p[17] : 0;
    return true;
}

void LoginResultMessage::encode(ByteWriter& w) const {
    w.u8(accepted);
}
bool LoginResultMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u8(accepted);
}

// --- 4 MSG_QUERY -----------------------------------------------------------------------------
void QueryMessage::encode(ByteWriter& w) const {
    w.u8(sub).u32(parameter);
    if (hasSecond)
        w.u32(second);
}
bool QueryMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u8(sub) || !r.u32(parameter))
        return false;
    hasSecond = n == 9;
    second = hasSecond ? loadLE32(p + 5) : 0;
    return true;
}

// --- 5 MSG_TRACK_INFO ------------------------------------------------------------------------
void TrackInfoMessage::encode(ByteWriter& w) const {
    std::string_view texts[4] = {clipUtf8(track.name, 255), clipUtf8(track.artist, 255),
                                 clipUtf8(track.album, 255), clipUtf8(track.genre, 255)};
    bool withExtra = track.extra[0] != 0 || track.extra[2] != 0;
    w.u32(uint32_t(track.index)).u32(track.durationMs).u16(track.figureA);
    w.u8(track.playbackFigure).u8(track.rating).u16(track.trackNumber);
    writeKey(w, track.key);
    w.u8(uint8_t((track.isCurrent ? 0x02 : 0) | (withExtra ? 0x04 : 0)));
    for (std::string_view t : texts)
        w.u8(uint8_t(t.size()));
    for (std::string_view t : texts)
        w.cstring(t);
    if (withExtra)
        for (uint16_t v : track.extra)
            w.u16(v);
}
bool TrackInfoMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint8_t flags = 0, lengths[4] = {};
    if (!r.i32(track.index) || !r.u32(track.durationMs) || !r.u16(track.figureA) ||
        !r.u8(track.playbackFigure) || !r.u8(track.rating) || !r.u16(track.trackNumber) ||
        !readKey(r, track.key) || !r.u8(flags) || !r.bytes(lengths, 4))
        return false;
    track.isCurrent = (flags & 0x02) ? 1 : 0;
    std::string* texts[4] = {&track.name, &track.artist, &track.album, &track.genre};
    for (int i = 0; i < 4; ++i) {
        uint8_t zero = 1;
        if (!r.text(*texts[i], lengths[i]) || !r.u8(zero) || zero != 0)
            return false;
    }
    track.extra = {};
    if (flags & 0x04)
        for (uint16_t& v : track.extra)
            if (!r.u16(v))
                return false;
    return true;
}

// --- 6 MSG_PLAYER_STATUS ---------------------------------------------------------------------
void PlayerStatusMessage::encode(ByteWriter& w) const {
    uint8_t state = status.playState == 0 ? 1 : status.playState == 1 ? 2 : 3;
    uint8_t repeat =
        (status.repeatMode == 1 || status.repeatMode == 2) ? uint8_t(status.repeatMode) : 0;
    w.u32(status.positionMs).u8(state).u8(status.shuffle ? 1 : 0).u8(repeat);
    w.u8(uint8_t(status.volume / 257)).u16(status.volume);
}
bool PlayerStatusMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint8_t state = 0, repeat = 0, volume8 = 0;
    if (!r.u32(status.positionMs) || !r.u8(state) || !r.u8(status.shuffle) || !r.u8(repeat) ||
        !r.u8(volume8) || !r.u16(status.volume))
        return false;
    status.playState = state == 1 ? 0 : state == 2 ? 1 : 2;
    status.repeatMode = repeat;
    return true;
}

// --- 7 MSG_PLAYER_COMMAND --------------------------------------------------------------------
void PlayerCommandMessage::encode(ByteWriter& w) const {
    w.u8(command).u32(argument);
}
bool PlayerCommandMessage::decode(const uint8_t* p, size_t n) {
    if (n != 5)
        return false;
    command = p[0];
    argument = loadLE32(p + 1);
    return true;
}

// --- 8 MSG_TRACK_COVER -----------------------------------------------------------------------
void TrackCoverMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(image.size()));
    writeKey(w, key);
    w.bytes(image.data(), image.size());
}
bool TrackCoverMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t size = 0;
    if (!r.u32(size) || !readKey(r, key) || r.remaining() < size)
        return false;
    image.assign(r.position(), r.position() + size);
    return true;
}

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

// --- 10 MSG_SET_RATING -----------------------------------------------------------------------
void SetRatingMessage::encode(ByteWriter& w) const {
    w.u8(rating);
}
bool SetRatingMessage::decode(const uint8_t* p, size_t n) {
    if (n != 1)
        return false;
    rating = p[0];
    return true;
}

void CurrentIndexMessage::encode(ByteWriter& w) const {
    w.u32(index);
}
bool CurrentIndexMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u32(index);
}

void NowPlayingChangedMessage::encode(ByteWriter&) const {}
bool NowPlayingChangedMessage::decode(const uint8_t* p, size_t n) {
    return isEmpty(p, n);
}
void TrackCoverNoneMessage::encode(ByteWriter&) const {}
bool TrackCoverNoneMessage::decode(const uint8_t* p, size_t n) {
    return isEmpty(p, n);
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

void QuietMessage::encode(ByteWriter&) const {}
bool QuietMessage::decode(const uint8_t* p, size_t n) {
    return isEmpty(p, n);
}

// --- 18 MSG_LIBRARY_QUERY --------------------------------------------------------------------
void LibraryQueryMessage::encode(ByteWriter& w) const {
    w.u32(requestId).u8(has[0]).u8(has[1]).u8(has[2]);
    for (int i = 0; i < 3; ++i)
        if (has[i])
            w.cstring(texts[i]);
}
bool LibraryQueryMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(requestId) || !r.bytes(has.data(), 3) || (!has[0] && !has[1] && !has[2]))
        return false;
    for (int i = 0; i < 3; ++i)
        if (has[i] && !r.cstring(texts[i]))
            return false;
    return true;
}

// --- 19 MSG_LIBRARY_LIST ---------------------------------------------------------------------
void LibraryListMessage::encode(ByteWriter& w) const {
    w.u32(requestId).u32(count).u8(code).bytes(entries.data(), entries.size());
}
bool LibraryListMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(requestId) || !r.u32(count) || !r.u8(code))
        return false;
    entries.assign(r.position(), p + n);
    return true;
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

// --- 21 MSG_LIBRARY_ADD ----------------------------------------------------------------------
void LibraryAddMessage::encode(ByteWriter& w) const {
    w.u32(playlistId).u32(has[0]).u32(has[1]).u32(has[2]).u32(item);
    for (int i = 0; i < 3; ++i)
        if (has[i])
            w.cstring(texts[i]);
}
bool LibraryAddMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(playlistId) || !r.u32(has[0]) || !r.u32(has[1]) || !r.u32(has[2]) || !r.u32(item))
        return false;
    for (int i = 0; i < 3; ++i)
        if (has[i] && !r.cstring(texts[i]))
            return false;
    return true;
}

void KeepaliveMessage::encode(ByteWriter&) const {}
bool KeepaliveMessage::decode(const uint8_t* p, size_t n) {
    return isEmpty(p, n);
}

// --- 24 MSG_SEARCH ---------------------------------------------------------------------------
void SearchMessage::encode(ByteWriter& w) const {
    w.u32(searchId).cstring(text);
}
bool SearchMessage::decode(const uint8_t* p, size_t n) {
    if (n < 5 || p[n - 1] != 0)
        return false;
    ByteReader r(p, n);
    // The first 0 must be the last byte: the text ends exactly with the payload.
    return r.u32(searchId) && r.cstring(text) && r.remaining() == 0;
}

void SearchResultsMessage::encode(ByteWriter& w) const {
    w.u32(searchId).u32(total).bytes(entries.data(), entries.size());
}
bool SearchResultsMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(searchId) || !r.u32(total))
        return false;
    entries.assign(r.position(), p + n);
    return true;
}

void AddSearchResultsMessage::encode(ByteWriter& w) const {
    w.u32(searchId).u32(item);
}
bool AddSearchResultsMessage::decode(const uint8_t* p, size_t n) {
    if (n != 8)
        return false;
    searchId = loadLE32(p);
    item = loadLE32(p + 4);
    return true;
}

void FillNowPlayingMessage::encode(ByteWriter& w) const {
    w.u8(kind).u8(rating).u8(orHigher);
}
bool FillNowPlayingMessage::decode(const uint8_t* p, size_t n) {
    if (n != 3)
        return false;
    kind = p[0];
    rating = p[1];
    orHigher = p[2];
    return true;
}

void CapabilitiesMessage::encode(ByteWriter& w) const {
    w.u64(mask);
}
bool CapabilitiesMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u64(mask);
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
    return isEmpty(p, n);
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

void AddSearchResultsToMessage::encode(ByteWriter& w) const {
    w.u32(searchId).u32(playlistId).u32(item);
}
bool AddSearchResultsToMessage::decode(const uint8_t* p, size_t n) {
    if (n != 12)
        return false;
    searchId = loadLE32(p);
    playlistId = loadLE32(p + 4);
    item = loadLE32(p + 8);
    return true;
}

void PlaylistChangedMessage::encode(ByteWriter& w) const {
    w.u32(playlistId);
}
bool PlaylistChangedMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u32(playlistId);
}

// --- 36 MSG_TRACK_TEXT -----------------------------------------------------------------------
void TrackTextMessage::encode(ByteWriter& w) const {
    if (!ok) {
        w.u32(0);
        writeKey(w, TrackKey{});
        return;
    }
    w.u32(uint32_t(text.size()));
    writeKey(w, key);
    w.cstring(text);
}
bool TrackTextMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t size = 0;
    if (!r.u32(size) || !readKey(r, key))
        return false;
    ok = n > 20;
    if (!ok)
        return size == 0;
    uint8_t zero = 1;
    return r.text(text, size) && r.u8(zero) && zero == 0;
}

// --- 37 MSG_COVER_REQUEST --------------------------------------------------------------------
void CoverRequestMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(album.size())).u32(tag1).u32(tag2).u16(requestedSize).u8(tag3);
    w.u8(hasArtist ? 1 : 0).bytes(album).u8(0);
    if (hasArtist)
        w.u32(uint32_t(artist.size())).bytes(artist);
}
bool CoverRequestMessage::decode(const uint8_t* p, size_t n) {
    if (n <= 16)
        return false;
    uint64_t l = loadLE32(p);
    if (n <= l + 16)
        return false;
    album.assign(reinterpret_cast<const char*>(p + 16), size_t(l));
    tag1 = loadLE32(p + 4);
    tag2 = loadLE32(p + 8);
    requestedSize = loadLE16(p + 12);
    tag3 = p[14];
    artist.clear();
    hasArtist = false;
    // An artist whose length runs past the payload counts as absent.
    if ((p[15] & 1) && n > l + 20) {
        uint64_t a = loadLE32(p + 17 + l);
        if (n > l + 20 + a) {
            artist.assign(reinterpret_cast<const char*>(p + 21 + l), size_t(a));
            hasArtist = true;
        }
    }
    return true;
}

// --- 38 MSG_COVER ----------------------------------------------------------------------------
void CoverMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(album.size())).u32(uint32_t(artist.size())).u32(uint32_t(image.size()));
    w.u32(tag1).u32(tag2).u8(tag3).u8(0).cstring(album).cstring(artist);
    w.bytes(image.data(), image.size());
}
bool CoverMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t l = 0, a = 0, size = 0;
    uint8_t zero = 0, z1 = 1, z2 = 1;
    if (!r.u32(l) || !r.u32(a) || !r.u32(size) || !r.u32(tag1) || !r.u32(tag2) || !r.u8(tag3) ||
        !r.u8(zero) || !r.text(album, l) || !r.u8(z1) || !r.text(artist, a) || !r.u8(z2) ||
        z1 != 0 || z2 != 0 || r.remaining() < size)
        return false;
    image.assign(r.position(), r.position() + size);
    return true;
}

// --- 39 MSG_LIBRARY_QUERY_EX -----------------------------------------------------------------
void LibraryQueryExMessage::encode(ByteWriter& w) const {
    w.u32(requestId).u32(mask);
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            w.cstring(texts[i]);
}
bool LibraryQueryExMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(requestId) || !r.u32(mask) || mask == 0)
        return false;
    for (int i = 0; i < 4; ++i)
        if ((mask & (1u << i)) && !r.cstring(texts[i]))
            return false;
    return true;
}

// --- 40 MSG_LIBRARY_ADD_EX -------------------------------------------------------------------
void LibraryAddExMessage::encode(ByteWriter& w) const {
    w.u32(playlistId).u32(mask).u32(item);
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            w.cstring(texts[i]);
    if (mask & kPositionBit)
        w.u32(position);
}
bool LibraryAddExMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    if (!r.u32(playlistId) || !r.u32(mask) || !r.u32(item))
        return false;
    for (int i = 0; i < 4; ++i)
        if ((mask & (1u << i)) && !r.cstring(texts[i]))
            return false;
    position = 0xFFFFFFFEu;
    return !(mask & kPositionBit) || r.u32(position);
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

void ServerNoticeMessage::encode(ByteWriter& w) const {
    w.u8(reason);
}
bool ServerNoticeMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u8(reason);
}

// --- 44 MSG_ADD_SEARCH_RESULTS_AT ------------------------------------------------------------
void AddSearchResultsAtMessage::encode(ByteWriter& w) const {
    w.u32(searchId).u32(playlistId).u32(item).u32(position).u16(0);
}
bool AddSearchResultsAtMessage::decode(const uint8_t* p, size_t n) {
    if (n < 18)
        return false;
    searchId = loadLE32(p);
    playlistId = loadLE32(p + 4);
    item = loadLE32(p + 8);
    position = loadLE32(p + 12);
    return true;
}

// --- 45 MSG_COMPRESSED -----------------------------------------------------------------------
void CompressedMessage::encode(ByteWriter& w) const {
    w.u32(uncompressedLength).u32(innerType).u16(0).bytes(block.data(), block.size());
}
bool CompressedMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint16_t zero = 0;
    if (!r.u32(uncompressedLength) || !r.u32(innerType) || !r.u16(zero))
        return false;
    block.assign(r.position(), p + n);
    return true;
}

void PingMessage::encode(ByteWriter&) const {}
bool PingMessage::decode(const uint8_t* p, size_t n) {
    return isEmpty(p, n);
}

// --- 47 MSG_UPDATE_NOTICE --------------------------------------------------------------------
void UpdateNoticeMessage::encode(ByteWriter& w) const {
    w.u32(uint32_t(text.size() + 1)).u16(0).cstring(text);
}
bool UpdateNoticeMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint32_t size = 0;
    uint16_t zero = 0;
    if (!r.u32(size) || !r.u16(zero) || size == 0 || r.remaining() < size ||
        r.position()[size - 1] != 0)
        return false;
    return r.text(text, size - 1);
}

// --- 48 MSG_EQUALIZER ------------------------------------------------------------------------
void EqualizerMessage::encode(ByteWriter& w) const {
    size_t count = std::min<size_t>(setting.bands.size(), 255);
    w.u8(uint8_t(count)).u8(enabled).u8(scale).u8(available ? 1 : 0);
    w.u16(range).u16(setting.preamp).u16(0);
    for (size_t i = 0; i < count; ++i)
        w.u16(setting.bands[i].frequencyHz).u16(setting.bands[i].value);
}
bool EqualizerMessage::decode(const uint8_t* p, size_t n) {
    if (n < 10 || n < 10 + size_t(p[0]) * 4)
        return false;
    enabled = p[1];
    scale = p[2];
    available = p[3] & 1;
    range = loadLE16(p + 4);
    setting.name.clear();
    setting.preamp = loadLE16(p + 6);
    setting.bands.resize(p[0]);
    for (size_t i = 0; i < setting.bands.size(); ++i) {
        setting.bands[i].frequencyHz = loadLE16(p + 10 + 4 * i);
        setting.bands[i].value = loadLE16(p + 12 + 4 * i);
    }
    return true;
}

// --- 49 MSG_EQUALIZER_PRESETS ----------------------------------------------------------------
void EqualizerPresetsMessage::encode(ByteWriter& w) const {
    size_t count = std::min<size_t>(names.size(), 0xFFFF);
    w.u16(uint16_t(count)).u16(0);
    for (size_t i = 0; i < count; ++i)
        w.cstring(names[i]);
}
bool EqualizerPresetsMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    uint16_t count = 0, zero = 0;
    if (!r.u16(count) || !r.u16(zero) || count > r.remaining())
        return false;
    names.resize(count);
    for (std::string& s : names)
        if (!r.cstring(s))
            return false;
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

// --- 51 MSG_SLEEP_TIMER ----------------------------------------------------------------------
void SleepTimerMessage::encode(ByteWriter& w) const {
    w.u8(enabled ? 1 : 0).u8(uint8_t(mode + 1)).u8(uint8_t(action + 1)).u8(0).u32(seconds);
}
bool SleepTimerMessage::decode(const uint8_t* p, size_t n) {
    if (n < 8 || p[1] < 1 || p[1] > 2 || p[2] < 1 || p[2] > 3)
        return false;
    enabled = p[0] != 0;
    mode = p[1] - 1u;
    action = p[2] - 1u;
    seconds = loadLE32(p + 4);
    return true;
}

// --- catalogue queries -----------------------------------------------------------------------
namespace {
struct TypeInfo {
    uint32_t type;
    const char* name;
    Direction direction;
};
template <class... M> constexpr std::array<TypeInfo, sizeof...(M)> typeTable(MessageList<M...>) {
    return {TypeInfo{M::kType, M::kName, M::kDirection}...};
}
constexpr auto kTypes = typeTable(Catalogue{});

const TypeInfo* findType(uint32_t type) {
    for (const TypeInfo& t : kTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}
} // namespace

const char* messageName(uint32_t type) {
    const TypeInfo* t = findType(type);
    return t ? t->name : nullptr;
}

bool isSentBy(uint32_t type, Direction sender) {
    const TypeInfo* t = findType(type);
    return t && sentBy(t->direction, sender);
}

} // namespace wire
