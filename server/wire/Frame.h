// Framing of the companion-app protocol: a 12-byte header (magic, type, payload length; all
// u32 little-endian) followed by the payload. FrameSplitter cuts a byte stream into messages
// and resynchronises on the magic after garbage; CompressedEnvelope wraps large replies in
// MSG_COMPRESSED with LZ4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wire {

constexpr uint32_t kMagic = 0x71D9873Bu; // bytes 3B 87 D9 71 in stream order
constexpr size_t kHeaderSize = 12;
// Whole list replies up to this size (header included) go out uncompressed.
constexpr size_t kCompressThreshold = 4096;

enum MessageType : uint32_t {
    MSG_HELLO = 1,
    MSG_LOGIN = 2,
    MSG_LOGIN_RESULT = 3,
    MSG_QUERY = 4,
    MSG_TRACK_INFO = 5,
    MSG_PLAYER_STATUS = 6,
    MSG_PLAYER_COMMAND = 7,
    MSG_TRACK_COVER = 8,
    MSG_NOW_PLAYING_LIST = 9,
    MSG_SET_RATING = 10,
    MSG_CURRENT_INDEX = 11,
    MSG_NOW_PLAYING_CHANGED = 12,
    MSG_TRACK_COVER_NONE = 13,
    MSG_PLAYLISTS = 14,
    MSG_MOVE_NOW_PLAYING = 15,
    MSG_QUIET = 16,
    MSG_LIBRARY_QUERY = 18,
    MSG_LIBRARY_LIST = 19,
    MSG_CLEAR_PLAYLIST = 20,
    MSG_LIBRARY_ADD = 21,
    MSG_KEEPALIVE = 23,
    MSG_SEARCH = 24,
    MSG_SEARCH_RESULTS = 25,
    MSG_ADD_SEARCH_RESULTS = 26,
    MSG_FILL_NOW_PLAYING = 27,
    MSG_CAPABILITIES = 28,
    MSG_CREATE_PLAYLIST = 29,
    MSG_PLAYLISTS_CHANGED = 30,
    MSG_PLAYLIST_TRACKS = 31,
    MSG_REMOVE_TRACK = 32,
    MSG_MOVE_TRACK = 33,
    MSG_ADD_SEARCH_RESULTS_TO = 34,
    MSG_PLAYLIST_CHANGED = 35,
    MSG_TRACK_TEXT = 36,
    MSG_COVER_REQUEST = 37,
    MSG_COVER = 38,
    MSG_LIBRARY_QUERY_EX = 39,
    MSG_LIBRARY_ADD_EX = 40,
    MSG_PLAYLISTS_EX = 41,
    MSG_CREATE_PLAYLIST_EX = 42,
    MSG_SERVER_NOTICE = 43,
    MSG_ADD_SEARCH_RESULTS_AT = 44,
    MSG_COMPRESSED = 45,
    MSG_PING = 46,
    MSG_UPDATE_NOTICE = 47,
    MSG_EQUALIZER = 48,
    MSG_EQUALIZER_PRESETS = 49,
    MSG_PLAYLIST_DETAILS = 50,
    MSG_SLEEP_TIMER = 51,
};

// One complete frame's type and a copy of exactly its payload.
struct ReceivedMessage {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};

// The four types the server handles on the network thread at once (login, quiet,
// keep-alive, ping); every other type goes through the processing queue in arrival order.
inline bool isImmediate(uint32_t type) {
    return type == MSG_LOGIN || type == MSG_QUIET || type == MSG_KEEPALIVE || type == MSG_PING;
}

// Writes a 12-byte header for a payload of length bytes at out[0..11].
void writeHeader(uint8_t* out, uint32_t type, uint32_t length);

// Header and payload in one buffer.
std::vector<uint8_t> buildFrame(uint32_t type, const uint8_t* payload, size_t length);
inline std::vector<uint8_t> buildFrame(uint32_t type, const std::vector<uint8_t>& payload) {
    return buildFrame(type, payload.data(), payload.size());
}

// The receive side's FIFO of bytes. Not locked: its owner guards it.
class FrameSplitter {
public:
    void append(const uint8_t* bytes, size_t count);

    // Takes the next complete frame. Before each header it resynchronises: when the buffer
    // does not start with the magic, every byte before the first full magic is dropped, and
    // with no full magic in the buffer everything is dropped (a partial magic at the end too).
    // Returns false when no complete frame is buffered.
    bool next(ReceivedMessage& out);

    void clear();
    size_t buffered() const { return bytes_.size() - start_; }

private:
    void compact();
    std::vector<uint8_t> bytes_;
    size_t start_ = 0; // bytes before start_ are consumed
};

enum class CompressionMode : uint32_t { Fast = 0, High = 1 };

// MSG_COMPRESSED: u32 uncompressed length, u32 inner type, u16 0, then an LZ4 block; the
// header's length counts those 10 bytes and the block. Fast mode is the LZ4 block compressor
// at acceleration 1, high mode the HC compressor at level 9 (state on the heap).
// Returns the whole frame, or an empty vector when the payload is empty or does not compress
// (the caller then sends it plain).
std::vector<uint8_t> buildCompressedFrame(uint32_t innerType, const uint8_t* payload, size_t length,
                                          CompressionMode mode);

// The receiving side: decompresses an envelope's payload into exactly the stated length.
// False for a short envelope or a block that does not decompress to that length.
bool openCompressed(const uint8_t* payload, size_t length, ReceivedMessage& inner);

} // namespace wire
