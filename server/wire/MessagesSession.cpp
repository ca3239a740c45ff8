// Codecs of the session and status messages: greeting and login, queries and player
// commands, track information and player status, capabilities, notices and keep-alives.
#include "server/wire/Messages.h"
#include "server/wire/MessagesShared.h"

namespace wire {

using namespace codec;

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

void QuietMessage::encode(ByteWriter&) const {}
bool QuietMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
}

void KeepaliveMessage::encode(ByteWriter&) const {}
bool KeepaliveMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
}

void CapabilitiesMessage::encode(ByteWriter& w) const {
    w.u64(mask);
}
bool CapabilitiesMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u64(mask);
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

void ServerNoticeMessage::encode(ByteWriter& w) const {
    w.u8(reason);
}
bool ServerNoticeMessage::decode(const uint8_t* p, size_t n) {
    ByteReader r(p, n);
    return r.u8(reason);
}

void PingMessage::encode(ByteWriter&) const {}
bool PingMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
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

} // namespace wire
