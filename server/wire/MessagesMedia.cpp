// Codecs of covers, the equalizer and the sleep timer.
#include "server/wire/Messages.h"
#include "server/wire/MessagesShared.h"

#include <algorithm>

namespace wire {

using namespace codec;

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

void TrackCoverNoneMessage::encode(ByteWriter&) const {}
bool TrackCoverNoneMessage::decode(const uint8_t* p, size_t n) {
    return ignoresPayload(p, n);
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

} // namespace wire
