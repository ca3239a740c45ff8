// Codecs of library browsing and search: library queries and lists, word search and its
// results, adding selections to lists, rule fills, and the compressed envelope that carries
// large list replies.
#include "server/wire/Messages.h"
#include "server/wire/MessagesShared.h"

namespace wire {

using namespace codec;

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

} // namespace wire
