// The hidden window's procedure: one entry per private message, the player's status message
// and the system's end-of-session, power and timer messages. Runs on the host's thread.
#include "bridge/TandravoleCtrl.h"

#include "common/Log.h"
#include "host/PlayerCalls.h"
#include "server/wire/Commands.h"

using namespace bridge;

namespace {

template <class T> T& record(intptr_t p) {
    return *reinterpret_cast<T*>(p);
}

} // namespace

bool CTandravoleCtrl::guarded(const char* what, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const host::PlayerCallFailed&) {
        logLazy(LogKind::Message, [&] { return std::string(what) + ": a player call failed"; });
    } catch (const std::exception& e) {
        logLazy(LogKind::Error, [&] { return std::string(what) + ": " + e.what(); });
    }
    return false;
}

std::optional<intptr_t> CTandravoleCtrl::windowProcedure(uint32_t message, uintptr_t wParam,
                                                         intptr_t lParam) {
    bool ours = (message >= wm::kFirst && message <= wm::kLast) ||
                message == host::kStatusWindowMessage || message == kWmTimer;
    if (ours) {
        intptr_t result = 0;
        if (!tearingDown_)
            guarded("window message", [&] { result = handleMessage(message, wParam, lParam); });
        return result;
    }
    if (tearingDown_)
        return std::nullopt;
    // The system's messages get their default processing after ours.
    if (message == kWmEndSession && wParam != 0)
        guarded("end of session", [&] { disconnectSession(wire::NOTICE_SESSION_END); });
    else if (message == kWmPowerBroadcast && wParam == kPbtApmSuspend)
        guarded("suspend", [&] { disconnectSession(wire::NOTICE_SUSPEND); });
    else if (message == kWmPowerBroadcast && wParam == kPbtApmResumeAutomatic)
        guarded("resume", [&] { onResume(); });
    return std::nullopt;
}

intptr_t CTandravoleCtrl::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const int32_t wInt = static_cast<int32_t>(wParam);
    const int32_t lInt = static_cast<int32_t>(lParam);
    switch (message) {
    case wm::kTrackInfo:
        return readTrackInfo(record<TrackInfo>(lParam), wInt, false) ? 1 : 0;
    case wm::kPlaybackCommand:
        onPlaybackCommand(lInt);
        return 0;
    case wm::kPlayerStatus:
        return readPlayerStatus(record<PlayerStatus>(lParam)) ? 1 : 0;
    case wm::kCoverImage:
        return onCoverImage(wInt, record<std::vector<uint8_t>>(lParam));
    case wm::kCoverKey:
        return onCoverKey(wInt, record<TrackKey>(lParam));
    case wm::kSetVolume:
        onSetVolume(static_cast<uint16_t>(lParam & 0xFFFF));
        return 0;
    case wm::kSetShuffle:
        onSetShuffle((lParam & 0xFF) != 0);
        return 0;
    case wm::kSetCurrentIndex:
        setProperty(playingNow().get(), host::PlayingNowOp::Position, lInt);
        return 0;
    case wm::kListTracks:
        return onListTracks(wInt, record<TrackList>(lParam));
    case wm::kSetPosition:
        onSetPosition(lInt);
        return 0;
    case wm::kGetCurrentIndex:
        return playingNowPosition();
    case wm::kClearList:
        onClearList(static_cast<uint32_t>(lParam));
        return 0;
    case wm::kSetRating:
        onSetRating(static_cast<uint8_t>(lParam & 0xFF));
        return 0;
    case wm::kRemoveTrack:
        onRemoveTrack(wInt, lInt);
        return 0;
    case wm::kListPlaylists:
        return onListPlaylists(record<std::vector<PlaylistEntry>>(lParam));
    case wm::kPlayPlaylist:
        return onPlayPlaylist(lInt);
    case wm::kAddLibraryItems:
        onAddLibraryItems(record<LibrarySelectionRecord>(lParam));
        return 0;
    case wm::kMoveTrack: {
        const MoveRecord& move = record<MoveRecord>(lParam);
        onMoveTrack(wInt, move.from, move.to);
        return 0;
    }
    case wm::kSearch:
        return onSearch(record<SearchRecord>(lParam), record<LibraryTrackList*>(intptr_t(wParam)));
    case wm::kEndClientSession:
        releaseSearchResult();
        return 0;
    case wm::kAddSearchResults:
        onAddSearchResults(record<AddSearchResultsRecord>(lParam));
        return 0;
    case wm::kFillFromRule:
        onFillFromRule(static_cast<uint8_t>(wParam), static_cast<uint8_t>(lParam & 0xFF),
                       (lParam & kRuleOrHigherBit) != 0);
        return 0;
    case wm::kToggleRepeat:
        onToggleRepeat();
        return 0;
    case wm::kDeletePlaylist:
        onDeletePlaylist(lInt);
        return 0;
    case wm::kCreatePlaylist:
        onCreatePlaylist(record<const std::u16string>(lParam));
        return 0;
    case wm::kCurrentText:
        return onCurrentText(record<TrackKey>(intptr_t(wParam)), record<std::string>(lParam));
    case wm::kAlbumCover:
        return onAlbumCover(record<AlbumCoverRecord>(lParam));
    case wm::kEqualizerOn:
        return onEqualizerIsOn();
    case wm::kEqualizerEnable:
        onEqualizerEnable((lParam & 0xFF) != 0);
        return 0;
    case wm::kEqualizerWrite:
        onEqualizerWrite(record<const EqualizerSetting>(lParam));
        return 0;
    case wm::kEqualizerRead:
        return onEqualizerRead(record<EqualizerSetting>(lParam));
    case host::kStatusWindowMessage:
        onStatusMessage(wParam);
        return 0;
    case kWmTimer:
        if (wParam == kSleepTimerId)
            onSleepTimerTick();
        return 0;
    }
    return 0;
}

void CTandravoleCtrl::onStatusMessage(uintptr_t wParam) {
    if (wParam != host::kStatusWindowParam || !pushing_)
        return;
    pushStatus();
}

// Suspend and the end of the Windows session: tell a logged-in app why, end its session,
// drop every connection and forget the session.
void CTandravoleCtrl::disconnectSession(uint8_t reason) {
    WinampControlServer& server = *server_;
    {
        platform::ScopedLock hold(server.sessionLock());
        if (server.loggedIn()) {
            server.sendServerNotice(reason);
            server.kickSession();
        }
    }
    server.transport().stopAll(false);
    // With nobody logged in the session may still name a connection: clear it all.
    platform::ScopedLock hold(server.sessionLock());
    server.kickSession();
}

void CTandravoleCtrl::onResume() {
    PluginSettings current = settings();
    if (current.enabled)
        server_->listen(current.port);
}
