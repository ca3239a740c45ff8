// Encoding helpers that several groups of message codecs share: track keys, the indexed text
// lists of the playing-now and playlist replies, clipping a UTF-8 text to a length field, and
// the check of messages that carry nothing. Internal to server/wire: the catalogue header is
// Messages.h.
#pragma once

#include "common/ByteOrder.h"
#include "server/wire/Messages.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace wire::codec {

// Shortens a UTF-8 text to at most limit bytes without cutting a sequence in two.
std::string_view clipUtf8(std::string_view s, size_t limit);

void writeKey(ByteWriter& w, const TrackKey& key);
bool readKey(ByteReader& r, TrackKey& key);

// Entries of MSG_NOW_PLAYING_LIST and MSG_PLAYLIST_TRACKS: u32 index, NUL-terminated text.
void writeIndexedList(ByteWriter& w, const std::vector<IndexedText>& entries);
bool readIndexedList(ByteReader& r, uint32_t count, std::vector<IndexedText>& entries);

// Messages without fields accept any payload: the receiver ignores what they carry.
bool ignoresPayload(const uint8_t* p, size_t n);

} // namespace wire::codec
