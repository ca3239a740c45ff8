// The delegate operations that only carry their arguments to the hidden window: each sends
// one message and waits for the host's thread (the table in WindowMessages.h). A send after
// the window is gone, or while the control is tearing down, yields 0: false, nothing, or the
// caller's record as it was.
#include "bridge/TandravoleCtrl.h"

using namespace bridge;

namespace {

uintptr_t word(int32_t value) {
    return static_cast<uintptr_t>(static_cast<intptr_t>(value));
}

} // namespace

bool CTandravoleCtrl::getTrackInfo(TrackInfo& track, int32_t index) {
    return send(wm::kTrackInfo, word(index), pointer(&track)) != 0;
}

bool CTandravoleCtrl::getPlayerStatus(PlayerStatus& status) {
    return send(wm::kPlayerStatus, 0, pointer(&status)) != 0;
}

void CTandravoleCtrl::playbackCommand(int32_t command) {
    // A stop from the app ends a timer waiting for the end of the list, and says so.
    if (command == player::PLAYBACK_STOP && sleepMode_ == player::SLEEP_MODE_AT_LIST_END &&
        !tearingDown_) {
        sleepArmed_ = false;
        server_->sendSleepTimer(false, sleepMode_, sleepAction_, 0);
    }
    send(wm::kPlaybackCommand, 0, command);
}

// While a timer waits for the end of the list, shuffle and repeat stay off.
void CTandravoleCtrl::toggleRepeat(int32_t unused) {
    if (!listModeArmed())
        send(wm::kToggleRepeat, 0, unused);
}

void CTandravoleCtrl::setShuffle(bool on) {
    if (!listModeArmed())
        send(wm::kSetShuffle, 0, on ? 1 : 0);
}

void CTandravoleCtrl::setVolume(uint16_t level) {
    send(wm::kSetVolume, 0, level);
}

void CTandravoleCtrl::setPosition(int32_t milliseconds) {
    send(wm::kSetPosition, 0, milliseconds);
}

bool CTandravoleCtrl::getNowPlayingTracks(TrackList& list) {
    return send(wm::kListTracks, word(player::kNowPlaying), pointer(&list)) != 0;
}

bool CTandravoleCtrl::getPlaylistTracks(TrackList& list, int32_t playlistId) {
    return send(wm::kListTracks, word(playlistId), pointer(&list)) != 0;
}

bool CTandravoleCtrl::getPlaylists(std::vector<PlaylistEntry>& playlists, int32_t unused) {
    return send(wm::kListPlaylists, word(unused), pointer(&playlists)) != 0;
}

void CTandravoleCtrl::setCurrentTrackRating(uint8_t rating) {
    send(wm::kSetRating, 0, rating);
}

int32_t CTandravoleCtrl::getCurrentTrackIndex() {
    return static_cast<int32_t>(send(wm::kGetCurrentIndex));
}

void CTandravoleCtrl::setCurrentTrackIndex(int32_t index) {
    send(wm::kSetCurrentIndex, 0, index);
}

void CTandravoleCtrl::removeTrack(int32_t playlistId, int32_t index) {
    send(wm::kRemoveTrack, word(playlistId), index);
}

void CTandravoleCtrl::deletePlaylist(int32_t playlistId) {
    send(wm::kDeletePlaylist, 0, playlistId);
}

bool CTandravoleCtrl::playPlaylist(int32_t playlistId) {
    return send(wm::kPlayPlaylist, 0, playlistId) != 0;
}

void CTandravoleCtrl::reservedPairCommand(uint16_t, uint16_t) {}

void CTandravoleCtrl::moveTrack(int32_t playlistId, uint32_t from, uint32_t to) {
    MoveRecord record{from, to};
    send(wm::kMoveTrack, word(playlistId), pointer(&record));
}

void CTandravoleCtrl::clearPlaylist(uint32_t playlistId) {
    send(wm::kClearList, 0, static_cast<intptr_t>(playlistId));
}

void CTandravoleCtrl::reservedCommand() {}

void CTandravoleCtrl::createPlaylist(const std::u16string& name, uint32_t unused) {
    send(wm::kCreatePlaylist, unused, pointer(&name));
}

bool CTandravoleCtrl::getCurrentTrackText(std::string& text, TrackKey& key) {
    return send(wm::kCurrentText, reinterpret_cast<uintptr_t>(&key), pointer(&text)) != 0;
}

// Message processor's thread. A request while an action runs changes nothing.
bool CTandravoleCtrl::startPowerAction(uint64_t action) {
    if (tearingDown_)
        return false;
    if (powerActions_->isRunning())
        return true;
    return powerActions_->start(static_cast<uint32_t>(action));
}
