#include "server/engine/WinampControlServer.h"

#include "common/ByteOrder.h"
#include "common/Md5.h"
#include "common/Utf.h"
#include "platform/Clock.h"
#include "server/wire/Messages.h"

#include <cstring>

using namespace wire;
using namespace player;

namespace {
constexpr size_t kLocalReceive = 256;

std::u16string utf16(const std::string& s) {
    return utf8ToUtf16(s);
}

std::vector<IndexedText> indexedTexts(const TrackList& list) {
    std::vector<IndexedText> out;
    out.reserve(list.entries.size());
    for (const TrackInfo& t : list.entries)
        out.push_back({uint32_t(t.index), t.displayText});
    return out;
}
} // namespace

WinampControlServer::WinampControlServer()
    : random_(std::random_device{}() ^ platform::tickCount()) {
    transport_.setDelegate(this);
    transport_.setMaximumConnections(2);
    transport_.setFlushOnClose(0);
    for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12})
        capabilities_[i] = 1;
    keepalive_ = std::make_unique<WinampKeepaliveThread>(this);
    processor_ = std::make_unique<MessageProcessorThread>(*this);
    processor_->Start();
    coverLoader_ = std::make_unique<CoverLoader>(*this);
}

WinampControlServer::~WinampControlServer() {
    transport_.setDelegate(nullptr);
    {
        platform::ScopedLock hold(sessionLock_);
        if (session_)
            transport_.stopConnection(session_);
    }
    transport_.stopAll(true);
    keepalive_->Stop(true);
    processor_->clear();
    processor_->Stop(true);
    coverLoader_->resetCoverLoader();
    processor_.reset();
    keepalive_.reset();
    coverLoader_.reset();
}

// --- configuration and state -----------------------------------------------------------------

void WinampControlServer::setPassword(const std::string& utf8) {
    platform::ScopedLock hold(sessionLock_);
    password_ = utf8;
}

void WinampControlServer::setAllowKick(bool allow) {
    platform::ScopedLock hold(sessionLock_);
    allowKick_ = allow ? 1 : 0;
}

void WinampControlServer::setCapabilityFlag(size_t index, bool on) {
    platform::ScopedLock hold(sessionLock_);
    if (index < capabilities_.size())
        capabilities_[index] = on ? 1 : 0;
}

void WinampControlServer::setAllCapabilities() {
    platform::ScopedLock hold(sessionLock_);
    capabilities_.fill(1);
}

uint64_t WinampControlServer::capabilityMask() {
    platform::ScopedLock hold(sessionLock_);
    return wire::capabilityMask(capabilities_);
}

bool WinampControlServer::loggedIn() {
    platform::ScopedLock hold(sessionLock_);
    return loggedIn_ != 0;
}

bool WinampControlServer::quiet() {
    platform::ScopedLock hold(sessionLock_);
    return quiet_ != 0;
}

bool WinampControlServer::extendedLists() {
    platform::ScopedLock hold(sessionLock_);
    return extendedLists_ != 0;
}

uint32_t WinampControlServer::sessionConnection() {
    platform::ScopedLock hold(sessionLock_);
    return session_;
}

void WinampControlServer::kickSession() {
    platform::ScopedLock hold(sessionLock_);
    if (session_)
        transport_.stopConnection(session_);
    loggedIn_ = 0;
    quiet_ = 0;
    passwordUsed_ = 0;
    extendedLists_ = 0;
    session_ = 0;
}

// --- transport callbacks ---------------------------------------------------------------------

bool WinampControlServer::clientAccepted(TcpServer*, uint32_t connectionId, uint32_t) {
    platform::ScopedLock hold(sessionLock_);
    if (session_) {
        if (!allowKick_)
            return false;
        if (loggedIn_) {
            ServerNoticeMessage notice;
            notice.reason = NOTICE_TAKEN_OVER;
            std::vector<uint8_t> frame = encodeFrame(notice);
            transport_.send(session_, frame.data(), uint32_t(frame.size()));
        }
        kickSession();
    }
    // Password used stays as the latest login attempt left it; only kickSession clears it.
    quiet_ = 0;
    session_ = connectionId;
    if (WinampControlServerDelegate* d = delegate_)
        d->onClientConnected();

    HelloMessage hello;
    hello.passwordRequired = password_.empty() ? 0 : 1;
    for (uint8_t& b : challenge_)
        b = uint8_t(random_());
    hello.challenge = challenge_;
    std::vector<uint8_t> frame = encodeFrame(hello);
    transport_.send(connectionId, frame.data(), uint32_t(frame.size()));
    return true;
}

void WinampControlServer::clientClosed(TcpServer*, uint32_t connectionId) {
    {
        platform::ScopedLock hold(sessionLock_);
        if (connectionId != session_)
            return;
        loggedIn_ = 0;
        session_ = 0;
    }
    if (WinampControlServerDelegate* d = delegate_)
        d->onClientDisconnected();
    {
        platform::ScopedLock hold(parseLock_);
        parseBuffer_.clear();
    }
    coverLoader_->resetCoverLoader();
    processor_->clear();
    keepalive_->Stop(false);
}

void WinampControlServer::dataReceived(TcpServer* server, uint32_t connectionId, uint32_t count) {
    uint8_t local[kLocalReceive];
    std::vector<uint8_t> heap;
    uint8_t* buffer = local;
    if (count > kLocalReceive) {
        heap.resize(count);
        buffer = heap.data();
    }
    uint32_t n = server->read(connectionId, buffer, count);
    if (n == 0)
        return;
    platform::ScopedLock hold(parseLock_);
    parseBuffer_.append(buffer, n);
    // Queued messages of one receive go to the processing thread together; an immediate one
    // first hands over those before it, so the queue keeps arrival order.
    std::vector<ReceivedMessage> queued;
    ReceivedMessage message;
    while (parseBuffer_.next(message)) {
        if (isImmediate(message.type)) {
            processor_->enqueueAll(queued);
            dispatch(message);
        } else {
            queued.push_back(std::move(message));
        }
        message = ReceivedMessage{};
    }
    processor_->enqueueAll(queued);
}

// --- sending ---------------------------------------------------------------------------------

bool WinampControlServer::permits(Rule rule) {
    platform::ScopedLock hold(sessionLock_);
    return session_ && loggedIn_ && (rule == Rule::LoggedIn || !quiet_);
}

bool WinampControlServer::sendToSession(const uint8_t* bytes, uint32_t count) {
    uint32_t session;
    {
        platform::ScopedLock hold(sessionLock_);
        session = session_;
    }
    return session && transport_.send(session, bytes, count);
}

void WinampControlServer::sendFrame(Rule rule, const std::vector<uint8_t>& frame) {
    if (permits(rule))
        sendToSession(frame);
}

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

// --- receiving -------------------------------------------------------------------------------

void WinampControlServer::login(const ReceivedMessage& message) {
    LoginMessage m;
    if (!m.decode(message.payload.data(), message.payload.size()))
        return;
    compression_ = uint32_t(CompressionMode::High);
    bool accepted;
    {
        platform::ScopedLock hold(sessionLock_);
        accepted = password_.empty();
        if (!accepted) {
            Md5Context ctx;
            md5Init(ctx);
            md5Update(ctx, password_.data(), password_.size());
            md5Update(ctx, challenge_.data(), challenge_.size());
            accepted = md5Final(ctx) == m.response;
        }
        LoginResultMessage result;
        result.accepted = accepted ? 1 : 0;
        std::vector<uint8_t> frame = encodeFrame(result);
        if (session_)
            transport_.send(session_, frame.data(), uint32_t(frame.size()));
        loggedIn_ = accepted ? 1 : 0;
        extendedLists_ = m.extendedLists;
        passwordUsed_ = password_.empty() ? 0 : 1;
    }
    if (WinampControlServerDelegate* d = delegate_)
        d->onClientLogin(accepted);
    if (loggedIn())
        sendCapabilities();
    if (accepted && m.keepaliveSeconds) {
        keepalive_->Stop(true);
        keepalive_->setInterval(m.keepaliveSeconds);
        keepalive_->Start();
    }
}

// One handler per request codec; visitMessage decodes and picks the overload. A client type
// without an overload here (MSG_LOGIN) is dropped.
struct EngineHandlers {
    WinampControlServer& s;
    WinampControlServerDelegate& d;

    void operator()(const QueryMessage& m) { s.handleQuery(d, m.sub, m.parameter, m.second); }
    void operator()(const PlayerCommandMessage& m) {
        s.handlePlayerCommand(d, m.command, m.argument);
    }
    void operator()(const SetRatingMessage& m) { d.setCurrentTrackRating(m.rating); }
    void operator()(const MoveNowPlayingMessage& m) { d.moveTrack(kNowPlaying, m.from, m.to); }
    void operator()(const QuietMessage&) {}
    void operator()(const LibraryQueryMessage& m) {
        WinampMediaLibraryListBase* list = nullptr;
        bool ok = d.queryLibraryList(m.requestId, utf16(m.texts[0]), utf16(m.texts[1]),
                                     utf16(m.texts[2]), u"", list);
        if (!ok) {
            delete list;
            return;
        }
        s.sendLibraryList(m.requestId, list);
    }
    void operator()(const ClearPlaylistMessage& m) { d.clearPlaylist(m.playlistId); }
    void operator()(const LibraryAddMessage& m) {
        d.addLibraryItemsToPlaylist(int32_t(m.playlistId), utf16(m.texts[0]), utf16(m.texts[1]),
                                    utf16(m.texts[2]), u"", m.item, kAtEndU);
    }
    void operator()(const KeepaliveMessage&) { s.keepalive_->touch(); }
    void operator()(const SearchMessage& m) {
        WinampMediaLibraryListTracks<std::string>* list = nullptr;
        bool ok = d.searchLibrary(m.searchId, utf16(m.text), list);
        if (!ok) {
            delete list;
            return;
        }
        s.sendSearchResults(m.searchId, list);
    }
    void operator()(const AddSearchResultsMessage& m) {
        d.addSearchResultsToPlaylist(kNowPlaying, m.searchId, int32_t(m.item), kAtEnd);
    }
    void operator()(const FillNowPlayingMessage& m) {
        d.fillNowPlayingFromFilter(m.kind, m.rating, m.orHigher != 0);
    }
    void operator()(const CreatePlaylistMessage& m) { d.createPlaylist(utf16(m.name), kCurrentU); }
    void operator()(const RemoveTrackMessage& m) {
        d.removeTrack(int32_t(m.playlistId), int32_t(m.index));
    }
    void operator()(const MoveTrackMessage& m) { d.moveTrack(int32_t(m.playlistId), m.from, m.to); }
    void operator()(const AddSearchResultsToMessage& m) {
        d.addSearchResultsToPlaylist(int32_t(m.playlistId), m.searchId, int32_t(m.item), kAtEnd);
    }
    void operator()(const CoverRequestMessage& m) {
        CoverRequest request;
        request.album = m.album;
        request.artist = m.artist;
        request.tag1 = m.tag1;
        request.tag2 = m.tag2;
        request.tag3 = m.tag3;
        request.requestedSize = m.requestedSize;
        s.coverLoader_->queueCoverRequest(request);
    }
    void operator()(const LibraryQueryExMessage& m) {
        WinampMediaLibraryListBase* list = nullptr;
        bool ok = d.queryLibraryList(m.requestId, utf16(m.texts[0]), utf16(m.texts[1]),
                                     utf16(m.texts[2]), utf16(m.texts[3]), list);
        if (!ok) {
            delete list;
            return;
        }
        s.sendLibraryList(m.requestId, list);
    }
    void operator()(const LibraryAddExMessage& m) {
        d.addLibraryItemsToPlaylist(int32_t(m.playlistId), utf16(m.texts[0]), utf16(m.texts[1]),
                                    utf16(m.texts[2]), utf16(m.texts[3]), m.item, m.position);
    }
    void operator()(const CreatePlaylistExMessage& m) { d.createPlaylist(utf16(m.name), m.extra); }
    void operator()(const AddSearchResultsAtMessage& m) {
        d.addSearchResultsToPlaylist(int32_t(m.playlistId), m.searchId, int32_t(m.item),
                                     int32_t(m.position));
    }
    void operator()(const PingMessage&) { s.sendKeepalive(); }
    void operator()(const EqualizerMessage& m) { d.setEqualizer(m.setting); }
    void operator()(const SleepTimerMessage& m) {
        d.setSleepTimer(m.enabled, m.mode, m.action, m.seconds);
    }
};

void WinampControlServer::dispatch(const ReceivedMessage& message) {
    bool logged;
    {
        platform::ScopedLock hold(sessionLock_);
        quiet_ = message.type == MSG_QUIET ? 1 : 0;
        logged = loggedIn_ != 0;
    }
    if (message.type == MSG_LOGIN) {
        if (!logged)
            login(message);
        return;
    }
    WinampControlServerDelegate* d = delegate_;
    if (!d)
        return;
    visitMessage(message.type, message.payload.data(), message.payload.size(),
                 Direction::ClientToServer, EngineHandlers{*this, *d});
}

void WinampControlServer::handleQuery(WinampControlServerDelegate& d, uint8_t sub,
                                      uint32_t parameter, uint32_t second) {
    switch (sub) {
    case QUERY_TRACK_INFO: {
        TrackInfo track;
        if (d.getTrackInfo(track, int32_t(parameter)))
            sendTrackInfo(track);
        break;
    }
    case QUERY_PLAYER_STATUS: {
        PlayerStatus status;
        if (d.getPlayerStatus(status))
            sendPlayerStatus(status);
        break;
    }
    case QUERY_TRACK_COVER: {
        TrackCoverMessage m;
        if (d.getTrackCover(m.image, int32_t(parameter), m.key, int16_t(second & 0xFFFF)))
            sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        else
            sendFrame(Rule::LoggedInNotQuiet, encodeFrame(TrackCoverNoneMessage{}));
        break;
    }
    case QUERY_NOW_PLAYING: {
        TrackList list;
        list.wantDisplayText = 1;
        NowPlayingListMessage m;
        if (d.getNowPlayingTracks(list))
            m.entries = indexedTexts(list);
        sendListReply(encodeFrame(m));
        break;
    }
    case QUERY_CURRENT_INDEX:
        sendCurrentIndex(uint32_t(d.getCurrentTrackIndex()));
        break;
    case QUERY_PLAYLISTS: {
        std::vector<PlaylistEntry> all;
        PlaylistsMessage m;
        if (d.getPlaylists(all, kCurrent)) {
            if (all.empty())
                break;
            for (PlaylistEntry& e : all)
                if (e.flags == 0)
                    m.playlists.push_back(std::move(e));
        }
        sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        break;
    }
    case QUERY_ARTISTS:
    case QUERY_ALBUMS:
    case QUERY_GENRES:
    case QUERY_COMPOSERS:
    case QUERY_ALBUMS_2:
    case QUERY_ALBUMS_3: {
        uint32_t kind = sub == QUERY_ARTISTS     ? CATEGORY_ARTISTS
                        : sub == QUERY_GENRES    ? CATEGORY_GENRES
                        : sub == QUERY_COMPOSERS ? CATEGORY_COMPOSERS
                                                 : CATEGORY_ALBUMS;
        WinampMediaLibraryListBase* list = nullptr;
        if (d.listLibraryCategory(kind, list))
            sendLibraryList(parameter, list);
        else
            delete list;
        break;
    }
    case QUERY_PLAYLIST_TRACKS: {
        TrackList list;
        list.wantDisplayText = second == 0 ? 1 : 0;
        bool ok = d.getPlaylistTracks(list, int32_t(parameter));
        if (!ok || list.entries.empty()) {
            PlaylistTracksMessage empty;
            empty.playlistId = parameter;
            sendListReply(encodeFrame(empty));
        } else if (second != 0) {
            PlaylistDetailsMessage m;
            m.list = std::move(list);
            sendListReply(encodeFrame(m));
        } else {
            PlaylistTracksMessage m;
            m.playlistId = parameter;
            m.entries = indexedTexts(list);
            sendListReply(encodeFrame(m));
        }
        break;
    }
    case QUERY_TRACK_TEXT: {
        TrackTextMessage m;
        m.ok = d.getCurrentTrackText(m.text, m.key);
        sendFrame(Rule::LoggedIn, encodeFrame(m));
        break;
    }
    case QUERY_PLAYLISTS_EX: {
        std::vector<PlaylistEntry> all;
        if (d.getPlaylists(all, int32_t(parameter))) {
            if (all.empty())
                break;
            PlaylistsExMessage m;
            m.parameter = parameter;
            m.playlists = std::move(all);
            sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        } else if (parameter == kCurrentU) {
            sendFrame(Rule::LoggedInNotQuiet, encodeFrame(PlaylistsMessage{}));
        } else {
            PlaylistsExMessage m;
            m.parameter = parameter;
            sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        }
        break;
    }
    case QUERY_POWER_ACTION: {
        uint32_t action = parameter & 0xFF;
        if (action > POWER_OFF)
            break;
        bool allowed;
        {
            platform::ScopedLock hold(sessionLock_);
            allowed = passwordUsed_ != 0;
        }
        if (allowed)
            d.startPowerAction(action);
        break;
    }
    case QUERY_EQUALIZER: {
        EqualizerSetting setting;
        bool enabled = false;
        uint16_t range = 200;
        uint8_t scale = 12, available = 1;
        if (d.getEqualizer(setting, enabled, range, scale, available))
            sendEqualizer(setting, range, scale, enabled ? 1 : 0, available != 0);
        break;
    }
    case QUERY_EQUALIZER_PRESETS: {
        std::vector<EqualizerPreset> presets;
        d.getEqualizerPresets(presets);
        EqualizerPresetsMessage m;
        for (const EqualizerPreset& p : presets)
            m.names.push_back(p.name);
        sendFrame(Rule::LoggedIn, encodeFrame(m));
        break;
    }
    case QUERY_SLEEP_TIMER: {
        bool enabled = false;
        // Out of range unless the delegate fills them: then nothing is sent.
        uint32_t mode = 2, action = 3, seconds = 0;
        d.getSleepTimer(enabled, mode, action, seconds);
        sendSleepTimer(enabled, mode, action, seconds);
        break;
    }
    default: // 0 and anything above 19
        break;
    }
}

void WinampControlServer::handlePlayerCommand(WinampControlServerDelegate& d, uint8_t command,
                                              uint32_t argument) {
    uint8_t b1 = uint8_t(argument & 0xFF);
    switch (command) {
    case CMD_PLAY_PAUSE:
        d.playbackCommand(PLAYBACK_PLAY_PAUSE);
        break;
    case CMD_PLAY:
        d.playbackCommand(PLAYBACK_PLAY);
        break;
    case CMD_STOP:
        d.playbackCommand(PLAYBACK_STOP);
        break;
    case CMD_SHUFFLE:
        d.setShuffle(b1 != 0);
        break;
    case CMD_REPEAT:
        d.toggleRepeat(b1 == 2 ? 2 : b1 == 1 ? 1 : 0);
        break;
    case CMD_VOLUME:
        d.setVolume(volumeFromArgument(argument));
        break;
    case CMD_SEEK:
        d.setPosition(int32_t(argument));
        break;
    case CMD_NEXT:
        d.playbackCommand(PLAYBACK_NEXT);
        break;
    case CMD_PREVIOUS:
        d.playbackCommand(PLAYBACK_PREVIOUS);
        break;
    case CMD_SET_INDEX:
        d.setCurrentTrackIndex(int32_t(argument));
        break;
    case CMD_REMOVE:
        d.removeTrack(kNowPlaying, int32_t(argument));
        break;
    case CMD_PLAY_PLAYLIST:
        d.playPlaylist(int32_t(argument));
        break;
    case CMD_RESERVED_PAIR:
        d.reservedPairCommand(uint16_t(argument & 0xFFFF), uint16_t(argument >> 16));
        break;
    case CMD_RANDOM:
        d.playbackCommand(PLAYBACK_RANDOM);
        break;
    case CMD_RESERVED:
        d.reservedCommand();
        break;
    case CMD_DELETE_PLAYLIST:
        d.deletePlaylist(int32_t(argument));
        break;
    case CMD_APPLY_PRESET:
        d.applyEqualizerPreset(argument);
        break;
    case CMD_EQUALIZER_ON:
        d.setEqualizerEnabled(b1 != 0);
        break;
    default:
        break;
    }
}
