// Reading the player's track and status records, and the transport, volume, position,
// shuffle, repeat and rating handlers. Host's thread.
#include "bridge/TandravoleCtrl.h"

#include "bridge/TrackKey.h"
#include "common/Utf.h"
#include "host/PlayerCalls.h"

#include <algorithm>

using namespace bridge;
using host::FileOp;
using host::HostObjectPtr;
using host::HostValue;
using host::PlaybackOp;
using host::PlayingNowOp;
using host::RootOp;
using host::VolumeOp;

namespace {

constexpr int32_t kPlaying = static_cast<int32_t>(host::PlaybackState::Playing);
constexpr int32_t kPaused = static_cast<int32_t>(host::PlaybackState::Paused);

// PlayerStatus.playState from the player's state: playing 0, paused or waiting 1, stopped 2.
// Any other state leaves the caller's value (3, unknown).
void setPlayState(PlayerStatus& status, int32_t state) {
    switch (static_cast<host::PlaybackState>(state)) {
    case host::PlaybackState::Stopped:
        status.playState = 2;
        break;
    case host::PlaybackState::Paused:
    case host::PlaybackState::Waiting:
        status.playState = 1;
        break;
    case host::PlaybackState::Playing:
        status.playState = 0;
        break;
    }
}

// "Artist - Name", the name alone without an artist, else the path, else "???".
std::u16string displayText(const std::u16string& artist, const std::u16string& name,
                           const std::u16string& path) {
    if (!artist.empty() && !name.empty())
        return artist + u" - " + name;
    if (!name.empty())
        return name;
    return path.empty() ? u"???" : path;
}

} // namespace

HostObjectPtr CTandravoleCtrl::playback() {
    return objectOf(root_.get(), RootOp::Playback);
}

HostObjectPtr CTandravoleCtrl::playingNow() {
    return objectOf(root_.get(), RootOp::PlayingNow);
}

HostObjectPtr CTandravoleCtrl::volumeObject() {
    return objectOf(root_.get(), RootOp::VolumeEqualizer);
}

HostObjectPtr CTandravoleCtrl::playlistById(int32_t id) {
    host::HostResult r = host::callMethod(root_.get(), RootOp::PlaylistById, {id});
    needOk(r);
    return r.asObject();
}

int32_t CTandravoleCtrl::playingNowPosition() {
    return intProperty(playingNow().get(), PlayingNowOp::Position);
}

bool CTandravoleCtrl::readTrackInfo(TrackInfo& track, int32_t index, bool wantDisplayText) {
    HostObjectPtr list = playingNow();
    int32_t at = index;
    if (index == player::kCurrent) {
        at = intProperty(list.get(), PlayingNowOp::Position);
        track.isCurrent = 1;
        track.playbackFigure =
            static_cast<uint8_t>(intProperty(playback().get(), PlaybackOp::PlaybackFigure) / 1000);
        if (at == player::kNoIndex)
            return false;
    }
    track.index = at;
    if (at < 0 || at >= intOf(list.get(), PlayingNowOp::Count))
        return false;
    fillTrackInfo(track, objectOf(list.get(), PlayingNowOp::Item, {at}).get(), wantDisplayText);
    return true;
}

void CTandravoleCtrl::fillTrackInfo(TrackInfo& track, host::HostObject* file,
                                    bool wantDisplayText) {
    track.rating = static_cast<uint8_t>(intProperty(file, FileOp::Rating));
    track.figureA = static_cast<uint16_t>(intProperty(file, FileOp::IntProperty10));
    track.trackNumber = static_cast<uint16_t>(intProperty(file, FileOp::TrackNumber));
    track.extra[1] = static_cast<uint16_t>(intProperty(file, FileOp::IntProperty11));
    track.durationMs = static_cast<uint32_t>(intProperty(file, FileOp::Duration)) * 1000u;
    std::u16string path = textProperty(file, FileOp::Path);
    std::u16string name = textProperty(file, FileOp::Name);
    std::u16string artist = textProperty(file, FileOp::Artist);
    track.key = trackKeyForPath(path);
    track.name = utf16ToUtf8(name);
    track.artist = utf16ToUtf8(artist);
    track.album = utf16ToUtf8(textProperty(file, FileOp::Album));
    track.genre = utf16ToUtf8(textProperty(file, FileOp::Genre));
    if (wantDisplayText)
        track.displayText = utf16ToUtf8(displayText(artist, name, path));
}

// The state is read first: a caller that only needs it (the end-of-list check) keeps it when
// a later field cannot be read, such as the volume of a player without a mixer.
bool CTandravoleCtrl::readPlayerStatus(PlayerStatus& status) {
    HostObjectPtr pb = playback();
    setPlayState(status, intProperty(pb.get(), PlaybackOp::State));
    status.positionMs = static_cast<uint32_t>(intProperty(pb.get(), PlaybackOp::Position)) * 1000u;
    HostObjectPtr volume = volumeObject();
    if (boolProperty(volume.get(), VolumeOp::Muted)) {
        status.volume = 0;
    } else {
        double level = intProperty(volume.get(), VolumeOp::Volume) * 655.35;
        status.volume = static_cast<uint16_t>(std::clamp(level, 0.0, 65535.0));
    }
    HostObjectPtr list = playingNow();
    status.shuffle = boolProperty(list.get(), PlayingNowOp::Shuffle) ? 1 : 0;
    if (!boolProperty(list.get(), PlayingNowOp::Repeat))
        status.repeatMode = 0;
    else
        status.repeatMode = intOf(list.get(), PlayingNowOp::RepeatedItem) ==
                                    intProperty(list.get(), PlayingNowOp::Position)
                                ? 1
                                : 2;
    return true;
}

void CTandravoleCtrl::pushStatus() {
    PlayerStatus status;
    if (readPlayerStatus(status))
        server_->sendPlayerStatus(status);
}

void CTandravoleCtrl::pushTrackInfo() {
    TrackInfo track;
    if (readTrackInfo(track, player::kCurrent, false))
        server_->sendTrackInfo(track);
}

void CTandravoleCtrl::onPlaybackCommand(int32_t command) {
    HostObjectPtr pb = playback();
    // The key of the current entry, or nothing when there is none.
    auto currentKey = [this]() -> std::optional<int32_t> {
        HostObjectPtr list = playingNow();
        int32_t at = intProperty(list.get(), PlayingNowOp::Position);
        if (at == player::kNoIndex)
            return std::nullopt;
        return intOf(objectOf(list.get(), PlayingNowOp::Item, {at}).get(), FileOp::Key);
    };
    switch (command) {
    case player::PLAYBACK_PLAY_PAUSE: {
        HostObjectPtr list = playingNow();
        if (intOf(list.get(), PlayingNowOp::Count) > 0 &&
            intProperty(list.get(), PlayingNowOp::Position) == player::kNoIndex)
            setProperty(list.get(), PlayingNowOp::Position, 0);
        if (intProperty(pb.get(), PlaybackOp::State) == kPaused)
            run(pb.get(), PlaybackOp::Play);
        else
            run(pb.get(), PlaybackOp::PlayPause);
        break;
    }
    case player::PLAYBACK_PLAY:
        run(pb.get(), PlaybackOp::Play);
        break;
    case player::PLAYBACK_STOP:
        run(pb.get(), PlaybackOp::Stop);
        break;
    case player::PLAYBACK_PREVIOUS: {
        // "Previous" that only restarts the track changes no track: the app hears the status.
        std::optional<int32_t> before = currentKey();
        run(pb.get(), PlaybackOp::Previous);
        if (currentKey() == before)
            pushStatus();
        if (intProperty(pb.get(), PlaybackOp::State) != kPlaying)
            pushTrackInfo();
        break;
    }
    case player::PLAYBACK_NEXT:
        run(pb.get(), PlaybackOp::Next);
        if (intProperty(pb.get(), PlaybackOp::State) != kPlaying)
            pushTrackInfo();
        break;
    case player::PLAYBACK_RANDOM: {
        HostObjectPtr list = playingNow();
        int32_t count = intOf(list.get(), PlayingNowOp::Count);
        if (count <= 0)
            break;
        // Three draws in this order, mixed as the plug-in always has.
        uint32_t r1 = uint32_t(random_.next());
        uint32_t r2 = uint32_t(random_.next());
        uint32_t r3 = uint32_t(random_.next());
        uint32_t pick = (r3 ^ ((r2 ^ (r1 << 16)) << 15)) % uint32_t(count);
        setProperty(list.get(), PlayingNowOp::Position, int32_t(pick));
        if (intProperty(pb.get(), PlaybackOp::State) != kPlaying)
            pushTrackInfo();
        break;
    }
    default:
        break;
    }
}

void CTandravoleCtrl::onSetVolume(uint16_t level) {
    int32_t percent = static_cast<int32_t>(static_cast<float>(level) / 655.35f);
    setProperty(volumeObject().get(), VolumeOp::Volume, percent);
}

void CTandravoleCtrl::onSetShuffle(bool on) {
    setProperty(playingNow().get(), PlayingNowOp::Shuffle, HostValue::boolean(on));
    pushStatus();
    if (on)
        server_->sendListChanged(player::kNowPlayingU);
}

void CTandravoleCtrl::onSetPosition(int32_t milliseconds) {
    setProperty(playback().get(), PlaybackOp::Position, milliseconds / 1000);
    pushStatus();
}

void CTandravoleCtrl::onSetRating(uint8_t rating) {
    HostObjectPtr list = playingNow();
    int32_t at = intProperty(list.get(), PlayingNowOp::Position);
    if (at == player::kNoIndex)
        return;
    HostObjectPtr file = objectOf(list.get(), PlayingNowOp::Item, {at});
    setProperty(file.get(), FileOp::Rating, int32_t(rating));
}

void CTandravoleCtrl::onToggleRepeat() {
    HostObjectPtr list = playingNow();
    bool on = boolProperty(list.get(), PlayingNowOp::Repeat);
    setProperty(list.get(), PlayingNowOp::Repeat, HostValue::boolean(!on));
    pushStatus();
}
