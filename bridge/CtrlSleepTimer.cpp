// The sleep timer: armed for a point in time (checked by timer 3 every five seconds against
// the control's clock) or for the end of the playing-now list (checked on the player's state
// and volume events). Timer 3 runs only while the timer is armed in time mode: arming another
// mode or disarming kills it, and a tick that finds anything else fires nothing. Firing stops
// playback, starts the power action asked for, and tells the app that the timer is off.
#include "bridge/TandravoleCtrl.h"

#include "host/PlayerCalls.h"

using namespace bridge;
using host::HostObjectPtr;
using host::PlayingNowOp;

namespace {

constexpr uint64_t kFileTimePerSecond = 10000000;

} // namespace

bool CTandravoleCtrl::listModeArmed() const {
    return sleepArmed_ && sleepMode_ == player::SLEEP_MODE_AT_LIST_END;
}

// Message processor's thread.
void CTandravoleCtrl::setSleepTimer(bool enabled, uint32_t mode, uint32_t action,
                                    uint64_t seconds) {
    sleepMode_ = mode;
    sleepAction_ = action;
    sleepDeadline_ = clock_->fileTime() + uint64_t(uint32_t(seconds)) * kFileTimePerSecond;
    sleepArmed_ = enabled;
    if (tearingDown_ || !window_)
        return;
    if (enabled && mode == player::SLEEP_MODE_AT_TIME) {
        window_->setTimer(kSleepTimerId, kSleepTimerPeriodMs);
        return;
    }
    // A timer armed earlier for a point in time must not fire into this one.
    window_->killTimer(kSleepTimerId);
    if (enabled && mode == player::SLEEP_MODE_AT_LIST_END) {
        // The list must play to its end once: shuffle and repeat go off.
        send(wm::kSetShuffle, 0, 0);
        PlayerStatus status;
        if (send(wm::kPlayerStatus, 0, pointer(&status)) != 0 && status.repeatMode != 0)
            send(wm::kToggleRepeat);
    }
}

void CTandravoleCtrl::getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                                    uint32_t& secondsLeft) {
    enabled = sleepArmed_;
    mode = sleepMode_;
    action = sleepAction_;
    uint64_t now = clock_->fileTime();
    uint64_t deadline = sleepDeadline_;
    secondsLeft = now < deadline ? uint32_t((deadline - now) / kFileTimePerSecond) : 0;
}

// Host's thread, WM_TIMER 3: fires a timer armed for a point in time once its deadline is
// reached. A tick left over from a timer since disarmed or switched to the list's end (the
// setter on the message processor's thread may race with a tick) fires nothing.
void CTandravoleCtrl::onSleepTimerTick() {
    const bool armedForTime = sleepArmed_ && sleepMode_ == player::SLEEP_MODE_AT_TIME;
    if (armedForTime && clock_->fileTime() < sleepDeadline_)
        return;
    if (armedForTime)
        fireSleepTimer();
    window_->killTimer(kSleepTimerId);
}

// Host's thread, after the status push of a state or volume event.
void CTandravoleCtrl::checkEndOfList(uint32_t playState) {
    if (!listModeArmed() || playState != 2)
        return;
    HostObjectPtr now = playingNow();
    int32_t count = intOf(now.get(), PlayingNowOp::Count);
    if (count >= 1 && intProperty(now.get(), PlayingNowOp::Position) == count - 1)
        fireSleepTimer();
}

void CTandravoleCtrl::fireSleepTimer() {
    // Straight to the window: playbackCommand's own sleep-timer step must not run.
    send(wm::kPlaybackCommand, 0, player::PLAYBACK_STOP);
    uint32_t mode = sleepMode_;
    uint32_t action = sleepAction_;
    if (action == player::SLEEP_ACTION_POWER_OFF && !powerActions_->isRunning())
        powerActions_->start(player::POWER_OFF);
    else if (action == player::SLEEP_ACTION_SUSPEND && !powerActions_->isRunning())
        powerActions_->start(player::POWER_SLEEP);
    sleepArmed_ = false;
    server_->sendSleepTimer(false, mode, action, 0);
}
