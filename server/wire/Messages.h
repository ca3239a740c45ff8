// The message catalogue: one codec per message type. Each codec is a struct with its type,
// direction and name, `encode` (appends the payload) and `decode` (reads a payload; false when
// a size rule fails, which means the message is dropped). The server decodes c2s and encodes
// s2c with them; the client does the reverse. `Catalogue` lists every codec once, and
// `visitMessage` finds, decodes and hands over the codec for a received type, so a new
// message is one struct and one entry in the list.
//
// The definitions are grouped by subject: MessagesSession.cpp (greeting, login, queries,
// commands, track information and status, notices), MessagesLists.cpp (playing-now list and
// playlists), MessagesLibrary.cpp (library, search, envelope), MessagesMedia.cpp (covers,
// equalizer, sleep timer); MessagesShared.cpp holds their helpers and the look-ups by type.
//
// Texts are UTF-8 as they travel; converting them for the player is the caller's business.
#pragma once

#include "common/ByteOrder.h"
#include "server/wire/Commands.h"
#include "server/wire/Frame.h"
#include "server/wire/PlayerRecords.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace wire {

enum class Direction { ClientToServer, ServerToClient, Both };

#define WIRE_CODEC(Name, Type, Dir)                                                                \
    static constexpr uint32_t kType = Type;                                                        \
    static constexpr Direction kDirection = Direction::Dir;                                        \
    static constexpr const char* kName = #Type;                                                    \
    void encode(ByteWriter& w) const;                                                              \
    bool decode(const uint8_t* p, size_t n)

// A list entry of the now-playing and playlist-track replies.
struct IndexedText {
    uint32_t index = 0;
    std::string text;
    bool operator==(const IndexedText&) const = default;
};

// 1: protocol version, whether a password is needed, and the login challenge.
struct HelloMessage {
    WIRE_CODEC(HelloMessage, MSG_HELLO, ServerToClient);
    uint16_t version = 0x0302;
    uint8_t passwordRequired = 0;
    std::array<uint8_t, 8> challenge{};
};

// 2: at least 16 bytes; exactly 18 carries the extended-lists flag and keep-alive seconds.
struct LoginMessage {
    WIRE_CODEC(LoginMessage, MSG_LOGIN, ClientToServer);
    std::array<uint8_t, 16> response{};
    bool hasOptions = false;
    uint8_t extendedLists = 0;
    uint8_t keepaliveSeconds = 0;
};

struct LoginResultMessage {
    WIRE_CODEC(LoginResultMessage, MSG_LOGIN_RESULT, ServerToClient);
    uint8_t accepted = 0;
};

// 4: at least 5 bytes; the second parameter only when the payload is exactly 9 bytes.
struct QueryMessage {
    WIRE_CODEC(QueryMessage, MSG_QUERY, ClientToServer);
    uint8_t sub = 0;
    uint32_t parameter = 0;
    bool hasSecond = false;
    uint32_t second = 0;
};

// 5: 39 + the four text lengths (each at most 255 bytes), 8 more with the extra block.
struct TrackInfoMessage {
    WIRE_CODEC(TrackInfoMessage, MSG_TRACK_INFO, ServerToClient);
    TrackInfo track;
};

struct PlayerStatusMessage {
    WIRE_CODEC(PlayerStatusMessage, MSG_PLAYER_STATUS, ServerToClient);
    PlayerStatus status; // decode maps play state codes 1, 2, 3 back to 0, 1, 2
};

// 7: exactly 5 bytes.
struct PlayerCommandMessage {
    WIRE_CODEC(PlayerCommandMessage, MSG_PLAYER_COMMAND, ClientToServer);
    uint8_t command = 0;
    uint32_t argument = 0;
};

struct TrackCoverMessage {
    WIRE_CODEC(TrackCoverMessage, MSG_TRACK_COVER, ServerToClient);
    std::vector<uint8_t> image;
    TrackKey key;
};

struct NowPlayingListMessage {
    WIRE_CODEC(NowPlayingListMessage, MSG_NOW_PLAYING_LIST, ServerToClient);
    std::vector<IndexedText> entries;
};

struct SetRatingMessage {
    WIRE_CODEC(SetRatingMessage, MSG_SET_RATING, ClientToServer);
    uint8_t rating = 0;
};

struct CurrentIndexMessage {
    WIRE_CODEC(CurrentIndexMessage, MSG_CURRENT_INDEX, ServerToClient);
    uint32_t index = 0;
};

struct NowPlayingChangedMessage {
    WIRE_CODEC(NowPlayingChangedMessage, MSG_NOW_PLAYING_CHANGED, ServerToClient);
};

struct TrackCoverNoneMessage {
    WIRE_CODEC(TrackCoverNoneMessage, MSG_TRACK_COVER_NONE, ServerToClient);
};

struct PlaylistsMessage {
    WIRE_CODEC(PlaylistsMessage, MSG_PLAYLISTS, ServerToClient);
    std::vector<PlaylistEntry> playlists; // flags are not sent
};

struct MoveNowPlayingMessage {
    WIRE_CODEC(MoveNowPlayingMessage, MSG_MOVE_NOW_PLAYING, ClientToServer);
    uint32_t from = 0;
    uint32_t to = 0;
};

struct QuietMessage {
    WIRE_CODEC(QuietMessage, MSG_QUIET, ClientToServer);
};

// 18: texts 1..3 (genre, artist, album), each present when its flag is non-zero.
struct LibraryQueryMessage {
    WIRE_CODEC(LibraryQueryMessage, MSG_LIBRARY_QUERY, ClientToServer);
    uint32_t requestId = 0;
    std::array<uint8_t, 3> has{};
    std::array<std::string, 3> texts;
};

// 19: entries are the list's own encoding; `code` is the list-kind code on the wire.
struct LibraryListMessage {
    WIRE_CODEC(LibraryListMessage, MSG_LIBRARY_LIST, ServerToClient);
    uint32_t requestId = 0;
    uint32_t count = 0;
    uint8_t code = 0;
    std::vector<uint8_t> entries;
};

struct ClearPlaylistMessage {
    WIRE_CODEC(ClearPlaylistMessage, MSG_CLEAR_PLAYLIST, ClientToServer);
    uint32_t playlistId = 0;
};

struct LibraryAddMessage {
    WIRE_CODEC(LibraryAddMessage, MSG_LIBRARY_ADD, ClientToServer);
    uint32_t playlistId = 0;
    std::array<uint32_t, 3> has{};
    uint32_t item = 0;
    std::array<std::string, 3> texts;
};

struct KeepaliveMessage {
    WIRE_CODEC(KeepaliveMessage, MSG_KEEPALIVE, Both);
};

// 24: the text's terminating 0 must be the payload's last byte.
struct SearchMessage {
    WIRE_CODEC(SearchMessage, MSG_SEARCH, ClientToServer);
    uint32_t searchId = 0;
    std::string text;
};

// 25: entries of a track-names (kind 3) list, without a kind byte.
struct SearchResultsMessage {
    WIRE_CODEC(SearchResultsMessage, MSG_SEARCH_RESULTS, ServerToClient);
    uint32_t searchId = 0;
    uint32_t total = 0;
    std::vector<uint8_t> entries;
};

struct AddSearchResultsMessage {
    WIRE_CODEC(AddSearchResultsMessage, MSG_ADD_SEARCH_RESULTS, ClientToServer);
    uint32_t searchId = 0;
    uint32_t item = 0;
};

struct FillNowPlayingMessage {
    WIRE_CODEC(FillNowPlayingMessage, MSG_FILL_NOW_PLAYING, ClientToServer);
    uint8_t kind = 0;
    uint8_t rating = 0;
    uint8_t orHigher = 0;
};

struct CapabilitiesMessage {
    WIRE_CODEC(CapabilitiesMessage, MSG_CAPABILITIES, ServerToClient);
    uint64_t mask = 0;
};

// 29: u32 n, n bytes name, one terminating byte: exactly n + 5 bytes.
struct CreatePlaylistMessage {
    WIRE_CODEC(CreatePlaylistMessage, MSG_CREATE_PLAYLIST, ClientToServer);
    std::string name;
};

struct PlaylistsChangedMessage {
    WIRE_CODEC(PlaylistsChangedMessage, MSG_PLAYLISTS_CHANGED, ServerToClient);
};

struct PlaylistTracksMessage {
    WIRE_CODEC(PlaylistTracksMessage, MSG_PLAYLIST_TRACKS, ServerToClient);
    uint32_t playlistId = 0;
    std::vector<IndexedText> entries;
};

struct RemoveTrackMessage {
    WIRE_CODEC(RemoveTrackMessage, MSG_REMOVE_TRACK, ClientToServer);
    uint32_t playlistId = 0;
    uint32_t index = 0;
};

struct MoveTrackMessage {
    WIRE_CODEC(MoveTrackMessage, MSG_MOVE_TRACK, ClientToServer);
    uint32_t playlistId = 0;
    uint32_t from = 0;
    uint32_t to = 0;
};

struct AddSearchResultsToMessage {
    WIRE_CODEC(AddSearchResultsToMessage, MSG_ADD_SEARCH_RESULTS_TO, ClientToServer);
    uint32_t searchId = 0;
    uint32_t playlistId = 0;
    uint32_t item = 0;
};

struct PlaylistChangedMessage {
    WIRE_CODEC(PlaylistChangedMessage, MSG_PLAYLIST_CHANGED, ServerToClient);
    uint32_t playlistId = 0;
};

// 36: the failure form (ok false) is n = 0 and a zero key, 20 bytes, without the 0 byte.
struct TrackTextMessage {
    WIRE_CODEC(TrackTextMessage, MSG_TRACK_TEXT, ServerToClient);
    bool ok = false;
    std::string text;
    TrackKey key;
};

// 37: album, optional artist, and three tags the reply echoes.
struct CoverRequestMessage {
    WIRE_CODEC(CoverRequestMessage, MSG_COVER_REQUEST, ClientToServer);
    std::string album;
    bool hasArtist = false; // encode: send the artist block; decode: it was present and fit
    std::string artist;
    uint32_t tag1 = 0;
    uint32_t tag2 = 0;
    uint16_t requestedSize = 0;
    uint8_t tag3 = 0;
};

struct CoverMessage {
    WIRE_CODEC(CoverMessage, MSG_COVER, ServerToClient);
    std::string album;
    std::string artist;
    std::vector<uint8_t> image;
    uint32_t tag1 = 0;
    uint32_t tag2 = 0;
    uint8_t tag3 = 0;
};

// 39: texts for mask bits 0..3 (genre, artist, album, composer); mask non-zero.
struct LibraryQueryExMessage {
    WIRE_CODEC(LibraryQueryExMessage, MSG_LIBRARY_QUERY_EX, ClientToServer);
    uint32_t requestId = 0;
    uint32_t mask = 0;
    std::array<std::string, 4> texts;
};

// 40: mask bits 0..3 texts, bit 28 a trailing u32 position.
struct LibraryAddExMessage {
    WIRE_CODEC(LibraryAddExMessage, MSG_LIBRARY_ADD_EX, ClientToServer);
    static constexpr uint32_t kPositionBit = 1u << 28;
    uint32_t playlistId = 0;
    uint32_t mask = 0;
    uint32_t item = 0;
    std::array<std::string, 4> texts;
    uint32_t position = 0xFFFFFFFEu; // at the end unless bit 28 carries one
};

struct PlaylistsExMessage {
    WIRE_CODEC(PlaylistsExMessage, MSG_PLAYLISTS_EX, ServerToClient);
    uint32_t parameter = 0;
    uint16_t listFlags = 0;
    std::vector<PlaylistEntry> playlists; // decode: flags hold entry flag bits 0 and 1
};

// 42: u32 extra value, 2 unused bytes, u32 n, name, one byte: exactly n + 11 bytes.
struct CreatePlaylistExMessage {
    WIRE_CODEC(CreatePlaylistExMessage, MSG_CREATE_PLAYLIST_EX, ClientToServer);
    uint32_t extra = 0;
    std::string name;
};

struct ServerNoticeMessage {
    WIRE_CODEC(ServerNoticeMessage, MSG_SERVER_NOTICE, ServerToClient);
    uint8_t reason = 0;
};

// 44: at least 18 bytes, of which the first 16 are read.
struct AddSearchResultsAtMessage {
    WIRE_CODEC(AddSearchResultsAtMessage, MSG_ADD_SEARCH_RESULTS_AT, ClientToServer);
    uint32_t searchId = 0;
    uint32_t playlistId = 0;
    uint32_t item = 0;
    uint32_t position = 0;
};

// 45: the envelope as it travels; buildCompressedFrame / openCompressed do the LZ4 work.
struct CompressedMessage {
    WIRE_CODEC(CompressedMessage, MSG_COMPRESSED, ServerToClient);
    uint32_t uncompressedLength = 0;
    uint32_t innerType = 0;
    std::vector<uint8_t> block;
};

struct PingMessage {
    WIRE_CODEC(PingMessage, MSG_PING, ClientToServer);
};

struct UpdateNoticeMessage {
    WIRE_CODEC(UpdateNoticeMessage, MSG_UPDATE_NOTICE, ServerToClient);
    std::string text;
};

// 48: both ways. Incoming, only the band count, preamp and bands are used.
struct EqualizerMessage {
    WIRE_CODEC(EqualizerMessage, MSG_EQUALIZER, Both);
    EqualizerSetting setting; // name is not sent
    uint8_t enabled = 0;
    uint8_t scale = 12;
    uint8_t available = 1;
    uint16_t range = 200;
};

struct EqualizerPresetsMessage {
    WIRE_CODEC(EqualizerPresetsMessage, MSG_EQUALIZER_PRESETS, ServerToClient);
    std::vector<std::string> names;
};

// 50: the list's header and its entries, full ones unless wantDisplayText is set.
struct PlaylistDetailsMessage {
    WIRE_CODEC(PlaylistDetailsMessage, MSG_PLAYLIST_DETAILS, ServerToClient);
    TrackList list;
};

// 51: both ways, with the delegate's values (the wire carries each plus one). valid() is
// false for a mode other than 0..1 or an action other than 0..2; such a timer is not sent,
// and a received one is dropped.
struct SleepTimerMessage {
    WIRE_CODEC(SleepTimerMessage, MSG_SLEEP_TIMER, Both);
    bool enabled = false;
    uint32_t mode = 0;
    uint32_t action = 0;
    uint32_t seconds = 0;
    bool valid() const { return mode <= 1 && action <= 2; }
};

#undef WIRE_CODEC

template <class... M> struct MessageList {};

using Catalogue = MessageList<
    HelloMessage, LoginMessage, LoginResultMessage, QueryMessage, TrackInfoMessage,
    PlayerStatusMessage, PlayerCommandMessage, TrackCoverMessage, NowPlayingListMessage,
    SetRatingMessage, CurrentIndexMessage, NowPlayingChangedMessage, TrackCoverNoneMessage,
    PlaylistsMessage, MoveNowPlayingMessage, QuietMessage, LibraryQueryMessage, LibraryListMessage,
    ClearPlaylistMessage, LibraryAddMessage, KeepaliveMessage, SearchMessage, SearchResultsMessage,
    AddSearchResultsMessage, FillNowPlayingMessage, CapabilitiesMessage, CreatePlaylistMessage,
    PlaylistsChangedMessage, PlaylistTracksMessage, RemoveTrackMessage, MoveTrackMessage,
    AddSearchResultsToMessage, PlaylistChangedMessage, TrackTextMessage, CoverRequestMessage,
    CoverMessage, LibraryQueryExMessage, LibraryAddExMessage, PlaylistsExMessage,
    CreatePlaylistExMessage, ServerNoticeMessage, AddSearchResultsAtMessage, CompressedMessage,
    PingMessage, UpdateNoticeMessage, EqualizerMessage, EqualizerPresetsMessage,
    PlaylistDetailsMessage, SleepTimerMessage>;

// Whether a message of this codec may arrive from the given side.
constexpr bool sentBy(Direction codec, Direction sender) {
    return codec == Direction::Both || codec == sender;
}

// The name of a catalogued type ("MSG_..."), or null for an unknown one.
const char* messageName(uint32_t type);
// Whether the catalogue lists the type as sent by that side (Both counts for either).
bool isSentBy(uint32_t type, Direction sender);

// Encodes a codec as a whole frame, header included.
template <class M> std::vector<uint8_t> encodeFrame(const M& message) {
    std::vector<uint8_t> out(kHeaderSize);
    ByteWriter w(out);
    message.encode(w);
    writeHeader(out.data(), M::kType, uint32_t(out.size() - kHeaderSize));
    return out;
}

template <class M> std::vector<uint8_t> encodePayload(const M& message) {
    ByteWriter w;
    message.encode(w);
    return w.take();
}

namespace detail {
template <class M, class Visitor>
bool visitOne(uint32_t type, Direction sender, const uint8_t* p, size_t n, Visitor& visitor,
              bool& matched) {
    if (matched || type != M::kType || !sentBy(M::kDirection, sender))
        return false;
    matched = true;
    if constexpr (requires(M m) { visitor(m); }) {
        M message;
        if (!message.decode(p, n))
            return false;
        visitor(message);
        return true;
    } else {
        return false;
    }
}

template <class Visitor, class... M>
bool visitList(MessageList<M...>, uint32_t type, Direction sender, const uint8_t* p, size_t n,
               Visitor& visitor) {
    bool matched = false;
    return (detail::visitOne<M>(type, sender, p, n, visitor, matched) || ...);
}
} // namespace detail

// Decodes a payload received from `sender` with the codec of its type and calls visitor with
// it. False (and no call) for a type that side does not send, a failed size rule, or a codec
// the visitor has no overload for.
template <class Visitor>
bool visitMessage(uint32_t type, const uint8_t* payload, size_t length, Direction sender,
                  Visitor&& visitor) {
    return detail::visitList(Catalogue{}, type, sender, payload, length, visitor);
}

} // namespace wire
