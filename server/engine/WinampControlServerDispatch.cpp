// Dispatch of received messages: one handler per request codec, the MSG_QUERY sub-requests
// in a table indexed by sub-request, the MSG_PLAYER_COMMAND commands in a table indexed by
// command. A number without an entry is dropped.
#include "server/engine/WinampControlServer.h"

#include "common/Utf.h"
#include "server/engine/Guarded.h"
#include "server/wire/Messages.h"

using namespace wire;
using namespace player;

namespace {

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

// MSG_PLAYER_COMMAND: each command is one delegate call on the u32 argument, whose lowest
// byte is byte 1 of the payload.
using Command = void (*)(WinampControlServerDelegate& d, uint32_t argument);

uint8_t lowByte(uint32_t argument) {
    return uint8_t(argument & 0xFF);
}

constexpr std::array<Command, CMD_EQUALIZER_ON + 1> kCommands = [] {
    using D = WinampControlServerDelegate;
    std::array<Command, CMD_EQUALIZER_ON + 1> t{};
    t[CMD_PLAY_PAUSE] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_PLAY_PAUSE); };
    t[CMD_PLAY] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_PLAY); };
    t[CMD_STOP] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_STOP); };
    t[CMD_SHUFFLE] = [](D& d, uint32_t a) { d.setShuffle(lowByte(a) != 0); };
    t[CMD_REPEAT] = [](D& d, uint32_t a) {
        const uint8_t b = lowByte(a);
        d.toggleRepeat(b == 2 ? 2 : b == 1 ? 1 : 0);
    };
    t[CMD_VOLUME] = [](D& d, uint32_t a) { d.setVolume(volumeFromArgument(a)); };
    t[CMD_SEEK] = [](D& d, uint32_t a) { d.setPosition(int32_t(a)); };
    t[CMD_NEXT] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_NEXT); };
    t[CMD_PREVIOUS] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_PREVIOUS); };
    t[CMD_SET_INDEX] = [](D& d, uint32_t a) { d.setCurrentTrackIndex(int32_t(a)); };
    t[CMD_REMOVE] = [](D& d, uint32_t a) { d.removeTrack(kNowPlaying, int32_t(a)); };
    t[CMD_PLAY_PLAYLIST] = [](D& d, uint32_t a) { d.playPlaylist(int32_t(a)); };
    t[CMD_RESERVED_PAIR] = [](D& d, uint32_t a) {
        d.reservedPairCommand(uint16_t(a & 0xFFFF), uint16_t(a >> 16));
    };
    t[CMD_RANDOM] = [](D& d, uint32_t) { d.playbackCommand(PLAYBACK_RANDOM); };
    t[CMD_RESERVED] = [](D& d, uint32_t) { d.reservedCommand(); };
    t[CMD_DELETE_PLAYLIST] = [](D& d, uint32_t a) { d.deletePlaylist(int32_t(a)); };
    t[CMD_APPLY_PRESET] = [](D& d, uint32_t a) { d.applyEqualizerPreset(a); };
    t[CMD_EQUALIZER_ON] = [](D& d, uint32_t a) { d.setEqualizerEnabled(lowByte(a) != 0); };
    return t;
}();

} // namespace

// One handler per request codec; visitMessage decodes and picks the overload. A client type
// without an overload here (MSG_LOGIN) is dropped. Requests run whether or not the session
// has logged in; the send rule decides whether their replies leave.
struct EngineHandlers {
    using Rule = WinampControlServer::Rule;

    WinampControlServer& s;
    WinampControlServerDelegate& d;

    // --- MSG_QUERY sub-requests ----------------------------------------------------------

    void trackInfo(const QueryMessage& q) {
        TrackInfo track;
        if (d.getTrackInfo(track, int32_t(q.parameter)))
            s.sendTrackInfo(track);
    }
    void playerStatus(const QueryMessage&) {
        PlayerStatus status;
        if (d.getPlayerStatus(status))
            s.sendPlayerStatus(status);
    }
    // Never compressed, whatever its size; the size is the second parameter's low half.
    void trackCover(const QueryMessage& q) {
        TrackCoverMessage m;
        if (d.getTrackCover(m.image, int32_t(q.parameter), m.key, int16_t(q.second & 0xFFFF)))
            s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        else
            s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(TrackCoverNoneMessage{}));
    }
    void nowPlaying(const QueryMessage&) {
        TrackList list;
        list.wantDisplayText = 1;
        NowPlayingListMessage m;
        if (d.getNowPlayingTracks(list))
            m.entries = indexedTexts(list);
        s.sendListReply(encodeFrame(m));
    }
    void currentIndex(const QueryMessage&) {
        s.sendCurrentIndex(uint32_t(d.getCurrentTrackIndex()));
    }
    // Only the entries without flags; nothing when the player has no playlists at all.
    void playlists(const QueryMessage&) {
        std::vector<PlaylistEntry> all;
        PlaylistsMessage m;
        if (d.getPlaylists(all, kCurrent)) {
            if (all.empty())
                return;
            for (PlaylistEntry& e : all)
                if (e.flags == 0)
                    m.playlists.push_back(std::move(e));
        }
        s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
    }
    void category(uint32_t kind, uint32_t requestId) {
        WinampMediaLibraryListBase* list = nullptr;
        if (d.listLibraryCategory(kind, list))
            s.sendLibraryList(requestId, list);
        else
            delete list;
    }
    void artists(const QueryMessage& q) { category(CATEGORY_ARTISTS, q.parameter); }
    void albums(const QueryMessage& q) { category(CATEGORY_ALBUMS, q.parameter); }
    void genres(const QueryMessage& q) { category(CATEGORY_GENRES, q.parameter); }
    void composers(const QueryMessage& q) { category(CATEGORY_COMPOSERS, q.parameter); }
    // A non-zero second parameter asks for MSG_PLAYLIST_DETAILS with full entries.
    void playlistTracks(const QueryMessage& q) {
        TrackList list;
        list.wantDisplayText = q.second == 0 ? 1 : 0;
        bool ok = d.getPlaylistTracks(list, int32_t(q.parameter));
        if (!ok || list.entries.empty()) {
            PlaylistTracksMessage empty;
            empty.playlistId = q.parameter;
            s.sendListReply(encodeFrame(empty));
        } else if (q.second != 0) {
            PlaylistDetailsMessage m;
            m.list = std::move(list);
            s.sendListReply(encodeFrame(m));
        } else {
            PlaylistTracksMessage m;
            m.playlistId = q.parameter;
            m.entries = indexedTexts(list);
            s.sendListReply(encodeFrame(m));
        }
    }
    void trackText(const QueryMessage&) {
        TrackTextMessage m;
        m.ok = d.getCurrentTrackText(m.text, m.key);
        s.sendFrame(Rule::LoggedIn, encodeFrame(m));
    }
    // Every record; the failure form depends on the parameter.
    void playlistsEx(const QueryMessage& q) {
        std::vector<PlaylistEntry> all;
        if (d.getPlaylists(all, int32_t(q.parameter))) {
            if (all.empty())
                return;
            PlaylistsExMessage m;
            m.parameter = q.parameter;
            m.playlists = std::move(all);
            s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        } else if (q.parameter == kCurrentU) {
            s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(PlaylistsMessage{}));
        } else {
            PlaylistsExMessage m;
            m.parameter = q.parameter;
            s.sendFrame(Rule::LoggedInNotQuiet, encodeFrame(m));
        }
    }
    // The action is byte 1 of the payload; honoured only while "password used" is set.
    void powerAction(const QueryMessage& q) {
        uint32_t action = q.parameter & 0xFF;
        if (action > POWER_OFF)
            return;
        if (s.powerActionsAllowed())
            d.startPowerAction(action);
    }
    void equalizer(const QueryMessage&) {
        EqualizerSetting setting;
        bool enabled = false;
        uint16_t range = 200;
        uint8_t scale = 12, available = 1;
        if (d.getEqualizer(setting, enabled, range, scale, available))
            s.sendEqualizer(setting, range, scale, enabled ? 1 : 0, available != 0);
    }
    void equalizerPresets(const QueryMessage&) {
        std::vector<EqualizerPreset> presets;
        d.getEqualizerPresets(presets);
        EqualizerPresetsMessage m;
        for (const EqualizerPreset& p : presets)
            m.names.push_back(p.name);
        s.sendFrame(Rule::LoggedIn, encodeFrame(m));
    }
    void sleepTimer(const QueryMessage&) {
        // Out of range unless the delegate fills them: then nothing is sent.
        bool enabled = false;
        uint32_t mode = 2, action = 3, seconds = 0;
        d.getSleepTimer(enabled, mode, action, seconds);
        s.sendSleepTimer(enabled, mode, action, seconds);
    }

    using Query = void (EngineHandlers::*)(const QueryMessage&);
    static constexpr std::array<Query, QUERY_SLEEP_TIMER + 1> kQueries = [] {
        std::array<Query, QUERY_SLEEP_TIMER + 1> t{};
        t[QUERY_TRACK_INFO] = &EngineHandlers::trackInfo;
        t[QUERY_PLAYER_STATUS] = &EngineHandlers::playerStatus;
        t[QUERY_TRACK_COVER] = &EngineHandlers::trackCover;
        t[QUERY_NOW_PLAYING] = &EngineHandlers::nowPlaying;
        t[QUERY_CURRENT_INDEX] = &EngineHandlers::currentIndex;
        t[QUERY_PLAYLISTS] = &EngineHandlers::playlists;
        t[QUERY_ARTISTS] = &EngineHandlers::artists;
        t[QUERY_ALBUMS] = &EngineHandlers::albums;
        t[QUERY_GENRES] = &EngineHandlers::genres;
        t[QUERY_PLAYLIST_TRACKS] = &EngineHandlers::playlistTracks;
        t[QUERY_TRACK_TEXT] = &EngineHandlers::trackText;
        t[QUERY_COMPOSERS] = &EngineHandlers::composers;
        t[QUERY_PLAYLISTS_EX] = &EngineHandlers::playlistsEx;
        t[QUERY_POWER_ACTION] = &EngineHandlers::powerAction;
        t[QUERY_ALBUMS_2] = &EngineHandlers::albums;
        t[QUERY_ALBUMS_3] = &EngineHandlers::albums;
        t[QUERY_EQUALIZER] = &EngineHandlers::equalizer;
        t[QUERY_EQUALIZER_PRESETS] = &EngineHandlers::equalizerPresets;
        t[QUERY_SLEEP_TIMER] = &EngineHandlers::sleepTimer;
        return t;
    }();

    // --- the request codecs --------------------------------------------------------------

    void operator()(const QueryMessage& m) {
        if (m.sub < kQueries.size() && kQueries[m.sub])
            (this->*kQueries[m.sub])(m);
    }
    void operator()(const PlayerCommandMessage& m) {
        if (m.command < kCommands.size() && kCommands[m.command])
            kCommands[m.command](d, m.argument);
    }
    void operator()(const SetRatingMessage& m) { d.setCurrentTrackRating(m.rating); }
    void operator()(const MoveNowPlayingMessage& m) { d.moveTrack(kNowPlaying, m.from, m.to); }
    void operator()(const QuietMessage&) {}
    void libraryQuery(uint32_t requestId, const std::string& genre, const std::string& artist,
                      const std::string& album, const std::string& composer) {
        WinampMediaLibraryListBase* list = nullptr;
        bool ok = d.queryLibraryList(requestId, utf16(genre), utf16(artist), utf16(album),
                                     utf16(composer), list);
        if (ok)
            s.sendLibraryList(requestId, list);
        else
            delete list;
    }
    void operator()(const LibraryQueryMessage& m) {
        libraryQuery(m.requestId, m.texts[0], m.texts[1], m.texts[2], std::string());
    }
    void operator()(const LibraryQueryExMessage& m) {
        libraryQuery(m.requestId, m.texts[0], m.texts[1], m.texts[2], m.texts[3]);
    }
    void operator()(const ClearPlaylistMessage& m) { d.clearPlaylist(m.playlistId); }
    void operator()(const LibraryAddMessage& m) {
        d.addLibraryItemsToPlaylist(int32_t(m.playlistId), utf16(m.texts[0]), utf16(m.texts[1]),
                                    utf16(m.texts[2]), u"", m.item, kAtEndU);
    }
    void operator()(const LibraryAddExMessage& m) {
        d.addLibraryItemsToPlaylist(int32_t(m.playlistId), utf16(m.texts[0]), utf16(m.texts[1]),
                                    utf16(m.texts[2]), utf16(m.texts[3]), m.item, m.position);
    }
    void operator()(const KeepaliveMessage&) { s.keepalive_->touch(); }
    void operator()(const PingMessage&) { s.sendKeepalive(); }
    void operator()(const SearchMessage& m) {
        WinampMediaLibraryListTracks<std::string>* list = nullptr;
        bool ok = d.searchLibrary(m.searchId, utf16(m.text), list);
        if (ok)
            s.sendSearchResults(m.searchId, list);
        else
            delete list;
    }
    void operator()(const AddSearchResultsMessage& m) {
        d.addSearchResultsToPlaylist(kNowPlaying, m.searchId, int32_t(m.item), kAtEnd);
    }
    void operator()(const AddSearchResultsToMessage& m) {
        d.addSearchResultsToPlaylist(int32_t(m.playlistId), m.searchId, int32_t(m.item), kAtEnd);
    }
    void operator()(const AddSearchResultsAtMessage& m) {
        d.addSearchResultsToPlaylist(int32_t(m.playlistId), m.searchId, int32_t(m.item),
                                     int32_t(m.position));
    }
    void operator()(const FillNowPlayingMessage& m) {
        d.fillNowPlayingFromFilter(m.kind, m.rating, m.orHigher != 0);
    }
    void operator()(const CreatePlaylistMessage& m) { d.createPlaylist(utf16(m.name), kCurrentU); }
    void operator()(const CreatePlaylistExMessage& m) { d.createPlaylist(utf16(m.name), m.extra); }
    void operator()(const RemoveTrackMessage& m) {
        d.removeTrack(int32_t(m.playlistId), int32_t(m.index));
    }
    void operator()(const MoveTrackMessage& m) { d.moveTrack(int32_t(m.playlistId), m.from, m.to); }
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
    void operator()(const EqualizerMessage& m) { d.setEqualizer(m.setting); }
    void operator()(const SleepTimerMessage& m) {
        d.setSleepTimer(m.enabled, m.mode, m.action, m.seconds);
    }
};

// A message whose handling throws is dropped like a malformed one: the failure is logged and
// the thread goes on with the next message.
void WinampControlServer::dispatch(const ReceivedMessage& message) {
    runGuarded(
        LogKind::Message,
        [&] {
            const char* name = messageName(message.type);
            return connectionName(sessionConnection()) + ": " +
                   (name ? std::string(name) : "type " + std::to_string(message.type)) +
                   " dropped, its handling failed";
        },
        [&] { handle(message); });
}

void WinampControlServer::handle(const ReceivedMessage& message) {
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
