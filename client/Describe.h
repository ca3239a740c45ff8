// Turns every server-to-client message into a Value for printing: one function per decoded
// message, and describeMessage for a received frame of any type.
#pragma once

#include "client/Value.h"
#include "server/wire/Frame.h"
#include "server/wire/Messages.h"

#include <string>

namespace remote {

std::string hexKey(const TrackKey& key);
// "3:07" for 187000 ms; hours when needed ("1:02:03").
std::string formatDuration(uint64_t milliseconds);
const char* playStateName(uint32_t playState); // "playing", "paused", "stopped", "unknown"
const char* repeatModeName(uint32_t mode);     // "off", "track", "list"
const char* noticeReasonName(uint8_t reason);

Value describe(const wire::TrackInfoMessage& m);
Value describe(const wire::PlayerStatusMessage& m);
Value describe(const wire::NowPlayingListMessage& m);
Value describe(const wire::PlaylistsMessage& m);
Value describe(const wire::PlaylistsExMessage& m);
Value describe(const wire::PlaylistTracksMessage& m);
Value describe(const wire::PlaylistDetailsMessage& m);
Value describe(const wire::LibraryListMessage& m);
Value describe(const wire::SearchResultsMessage& m);
Value describe(const wire::EqualizerMessage& m);
Value describe(const wire::EqualizerPresetsMessage& m);
Value describe(const wire::SleepTimerMessage& m);
Value describe(const wire::TrackTextMessage& m);
Value describe(const wire::CoverMessage& m);
Value describe(const wire::TrackCoverMessage& m);

// Any server message: an object with "message" (its MSG_ name) and its fields. Messages
// that fail their codec's size rules are described as {"message": name, "malformed": true}.
Value describeMessage(const wire::ReceivedMessage& message);

} // namespace remote
