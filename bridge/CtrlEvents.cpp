// Pushes the app did not ask for: the player's events turned into track, status and
// equalizer messages, and the snapshot a client gets when it logs in.
#include "bridge/TandravoleCtrl.h"

#include "host/PlayerCalls.h"

#include <string_view>

using namespace bridge;

// Host's thread. Of the notification event's texts only the second, the name, counts; it is
// compared whole and case-sensitively.
void CTandravoleCtrl::onHostEvent(int32_t eventId, std::span<const host::HostValue> args) {
    if (tearingDown_ || !pushing_ || eventId != host::kEventNotify || args.size() < 2)
        return;
    const std::u16string* text = args[1].asText();
    if (!text)
        return;
    std::u16string_view name = *text;
    if (name == host::kNotifyTrackChange)
        guarded("track change", [this] { onTrackChange(); });
    else if (name == host::kNotifyEqChanged)
        guarded("equalizer change", [this] { onEqualizerChange(); });
    else if (name == host::kNotifyPlayerStateChange || name == host::kNotifyVolumeChanged)
        guarded("player state change", [this] { onStateOrVolumeChange(); });
}

void CTandravoleCtrl::onTrackChange() {
    TrackInfo track;
    if (!readTrackInfo(track, player::kCurrent, false))
        return;
    server_->sendTrackInfo(track);
    server_->sendCurrentIndex(static_cast<uint32_t>(playingNowPosition()));
}

void CTandravoleCtrl::onEqualizerChange() {
    EqualizerSetting setting;
    onEqualizerRead(setting);
    uint8_t on = onEqualizerIsOn() != 0 ? 1 : 0;
    server_->sendEqualizer(setting, kEqualizerRange, kEqualizerScale, on, true);
}

void CTandravoleCtrl::onStateOrVolumeChange() {
    PlayerStatus status;
    // Only the push needs the whole status: the end-of-list check runs with the state as far
    // as it was read (a field read after it may fail; one read before it leaves 3, unknown).
    if (guarded("player status", [&] { readPlayerStatus(status); }))
        server_->sendPlayerStatus(status);
    checkEndOfList(status.playState);
}

// Connection's thread, while the engine parses the login.
void CTandravoleCtrl::onClientLogin(bool authenticated) {
    if (!authenticated || tearingDown_)
        return;
    pushing_ = true;
    server_->sendKeepalive();
    // The snapshot goes out whether or not the reads succeed: with nothing current the app
    // sees index -1 and empty texts.
    TrackInfo track;
    send(wm::kTrackInfo, static_cast<uintptr_t>(player::kCurrent), pointer(&track));
    server_->sendTrackInfo(track);
    PlayerStatus status;
    send(wm::kPlayerStatus, 0, pointer(&status));
    server_->sendPlayerStatus(status);
    loadEqualizerPresets();
    // The update notice goes to the first client after an update was found, and to no later
    // one, whether or not it could be sent.
    bool announce = false;
    updateSettings([&](PluginSettings& s) {
        announce = s.sendUpdateNotification && s.haveUpdateNotification;
        if (announce)
            s.haveUpdateNotification = false;
    });
    if (announce)
        server_->sendUpdateNotice(std::string(kUpdateNoticeText) + kProductWebSite);
}

// Connection's thread, after the connection ended.
void CTandravoleCtrl::onClientDisconnected() {
    pushing_ = false;
    send(wm::kEndClientSession);
}

void CTandravoleCtrl::onClientConnected() {}
