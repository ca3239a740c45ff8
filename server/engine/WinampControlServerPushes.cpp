// The sending operations: one per outgoing message type, each under the send rule, and the
// list replies with their compressed envelope.
#include "server/engine/WinampControlServer.h"

#include "common/ByteOrder.h"
#include "server/wire/Messages.h"

using namespace wire;
using namespace player;

void WinampControlServer::sendListReply(const std::vector<uint8_t>& frame) {
    // Whole under the send rule; the envelope needs only the login, so a large reply still
    // leaves while the session is quiet.
    if (frame.size() <= kCompressThreshold)
        sendFrame(Rule::LoggedInNotQuiet, frame);
    else
        sendLarge(frame.data() + kHeaderSize, frame.size() - kHeaderSize, loadLE32(&frame[4]));
}

void WinampControlServer::sendLarge(const uint8_t* payload, size_t length, uint32_t type) {
    if (length == 0 || !permits(Rule::LoggedIn))
        return;
    std::vector<uint8_t> envelope = buildCompressedFrame(type, payload, length, compressionMode());
    if (!envelope.empty() && sendToSession(envelope))
        return;
    sendToSession(buildFrame(type, payload, length));
}

void WinampControlServer::sendTrackInfo(const TrackInfo& track) {
    TrackInfoMessage m;
    m.track = track;
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

void WinampControlServer::sendPlayerStatus(const PlayerStatus& status) {
    PlayerStatusMessage m;
    m.status = status;
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

void WinampControlServer::sendCurrentIndex(uint32_t index) {
    if (index == uint32_t(kNoIndex))
        return;
    CurrentIndexMessage m;
    m.index = index;
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

void WinampControlServer::sendListChanged(uint32_t playlistId) {
    if (playlistId == kNowPlayingU) {
        sendFrame(Rule::LoggedInNotQuiet, encodeFrame(NowPlayingChangedMessage{}));
        return;
    }
    PlaylistChangedMessage m;
    m.playlistId = playlistId;
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

void WinampControlServer::sendPlaylistsChanged() {
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(PlaylistsChangedMessage{}));
}

void WinampControlServer::sendEqualizer(const EqualizerSetting& setting, uint16_t range,
                                        uint8_t kind, uint8_t enabled, bool supported) {
    EqualizerMessage m;
    m.setting = setting;
    m.range = range;
    m.scale = kind;
    m.enabled = enabled;
    m.available = supported ? 1 : 0;
    sendFrame(Rule::LoggedIn, encodeFrame(m));
}

void WinampControlServer::sendSleepTimer(bool enabled, uint32_t mode, uint32_t action,
                                         uint32_t seconds) {
    SleepTimerMessage m;
    m.enabled = enabled;
    m.mode = mode;
    m.action = action;
    m.seconds = seconds;
    if (m.valid())
        sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

void WinampControlServer::sendKeepalive() {
    sendFrame(Rule::LoggedIn, encodeFrame(KeepaliveMessage{}));
}

void WinampControlServer::sendCapabilities() {
    CapabilitiesMessage m;
    m.mask = capabilityMask();
    sendFrame(Rule::LoggedIn, encodeFrame(m));
}

void WinampControlServer::sendServerNotice(uint8_t reason) {
    ServerNoticeMessage m;
    m.reason = reason;
    sendFrame(Rule::LoggedIn, encodeFrame(m));
}

void WinampControlServer::sendUpdateNotice(const std::string& text) {
    UpdateNoticeMessage m;
    m.text = text;
    sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
}

// Builds MSG_LIBRARY_LIST (or, for searches, MSG_SEARCH_RESULTS) straight from the list's own
// encoding, and only while the session is logged in and not quiet. Sessions without the
// extended-lists flag get albums and tracks simplified.
void WinampControlServer::sendLibraryList(uint32_t requestId, WinampMediaLibraryListBase* raw) {
    std::unique_ptr<WinampMediaLibraryListBase> list(raw);
    if (!list || !permits(Rule::LoggedInNotQuiet))
        return;
    std::unique_ptr<WinampMediaLibraryListBase> simplified;
    sendLibraryListAs(requestId, listForSession(*list, extendedLists(), simplified));
}

void WinampControlServer::sendLibraryListAs(uint32_t requestId,
                                            const WinampMediaLibraryListBase& sent) {
    int code = listKindCode(sent.kind);
    if (code < 0)
        return;
    uint64_t size = sent.encodedSize();
    std::vector<uint8_t> frame(kHeaderSize + 9 + size);
    writeHeader(frame.data(), MSG_LIBRARY_LIST, uint32_t(9 + size));
    storeLE32(&frame[12], requestId);
    storeLE32(&frame[16], uint32_t(sent.count()));
    frame[20] = uint8_t(code);
    sent.encode(frame.data() + 21);
    sendListReply(frame);
}

void WinampControlServer::sendSearchResults(uint32_t searchId, WinampMediaLibraryListBase* raw) {
    std::unique_ptr<WinampMediaLibraryListBase> list(raw);
    if (!list || !permits(Rule::LoggedInNotQuiet))
        return;
    std::unique_ptr<WinampMediaLibraryListBase> simplified;
    const WinampMediaLibraryListBase& sent = listForSession(*list, extendedLists(), simplified);
    if (sent.kind != LIST_KIND_TRACK_NAMES) {
        sendLibraryListAs(searchId, sent);
        return;
    }
    uint64_t size = sent.encodedSize();
    std::vector<uint8_t> frame(kHeaderSize + 8 + size);
    writeHeader(frame.data(), MSG_SEARCH_RESULTS, uint32_t(8 + size));
    storeLE32(&frame[12], searchId);
    storeLE32(&frame[16], uint32_t(sent.count()));
    sent.encode(frame.data() + 20);
    sendListReply(frame);
}
