// The app driving playback: volume and seek conversions, shuffle and repeat with their
// pushes, the random track, and the sleep timer in both modes with the power action it asks
// for.
#include "tests/bridge/BridgeHarness.h"

using namespace bridge_test;
using namespace wire;
using simhost::PlayerCore;

namespace {

SleepTimerMessage decodeTimer(const ReceivedMessage& m) {
    auto decoded = remote::decodeAs<SleepTimerMessage>(m);
    EXPECT_TRUE(decoded);
    return decoded ? *decoded : SleepTimerMessage{};
}

SleepTimerMessage armTimer(uint32_t mode, uint32_t action, uint32_t seconds) {
    SleepTimerMessage m;
    m.enabled = true;
    m.mode = mode;
    m.action = action;
    m.seconds = seconds;
    return m;
}

// The real window, telling whether the sleep timer's timer 3 runs.
class TimerWatch : public ForwardingWindow {
public:
    TimerWatch(std::unique_ptr<bridge::HostWindow> inner, std::atomic<bool>& running)
        : ForwardingWindow(std::move(inner)), running_(running) {}
    bool setTimer(uint32_t id, uint32_t periodMs) override {
        if (id == bridge::kSleepTimerId)
            running_ = true;
        return ForwardingWindow::setTimer(id, periodMs);
    }
    void killTimer(uint32_t id) override {
        if (id == bridge::kSleepTimerId)
            running_ = false;
        ForwardingWindow::killTimer(id);
    }

private:
    std::atomic<bool>& running_;
};

} // namespace

TEST_F(BridgeTest, VolumeSeekAndRatingConvertAtTheirBoundaries) {
    start();
    auto app = connectAndLogin();
    auto volumeFor = [&](uint16_t level) {
        app->command(CMD_VOLUME, uint32_t(level) << 16); // a 16-bit volume in the high half
        sync(*app);
        return inPlayer([](PlayerCore& c) { return c.volume; });
    };
    EXPECT_EQ(volumeFor(65535), 100);
    EXPECT_EQ(volumeFor(655), 0);
    EXPECT_EQ(volumeFor(656), 1);
    EXPECT_EQ(volumeFor(32768), 50);

    // Status: percent * 655.35 truncated, 0 while muted.
    auto statusVolume = [&] {
        PlayerStatus status;
        EXPECT_TRUE(ctrl->getPlayerStatus(status));
        return status.volume;
    };
    volumeFor(65535);
    EXPECT_EQ(statusVolume(), 65535);
    volumeFor(32768);
    EXPECT_EQ(statusVolume(), 32767); // 50 % is 32767.5
    player->setMuted(true);
    EXPECT_EQ(statusVolume(), 0);

    app->command(CMD_PLAY, 0);
    app->command(CMD_SEEK, 1999);
    sync(*app);
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.positionSeconds(); }), 1);
    app->command(CMD_SEEK, 2000);
    sync(*app);
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.positionSeconds(); }), 2);

    // The app's seek is pushed by the control itself, not only by the player's message.
    onHost([&] { player->setWindowMessageHandler({}); });
    app->command(CMD_SEEK, 5000);
    PlayerStatus pushed;
    ASSERT_TRUE(testing_support::waitUntil([&] {
        ReceivedMessage m;
        if (app->waitForType(MSG_PLAYER_STATUS, m, kWait) != remote::ClientStatus::Ok)
            return true; // fails below
        pushed = remote::decodeAs<PlayerStatusMessage>(m)->status;
        return pushed.positionMs == 5000;
    }));
    EXPECT_EQ(pushed.positionMs, 5000u);

    ASSERT_TRUE(app->send(SetRatingMessage{4}));
    sync(*app);
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.tracks[0].rating; }), 4);
}

TEST_F(BridgeTest, ShuffleAndRepeatPushTheStatusAndShuffleOnThePlayingNowList) {
    start();
    auto app = connectAndLogin();
    std::vector<ReceivedMessage> seen;
    app->setPushHandler([&](const ReceivedMessage& m) { seen.push_back(m); });
    app->command(CMD_SHUFFLE, 1);
    next(*app, MSG_NOW_PLAYING_CHANGED);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(remote::decodeAs<PlayerStatusMessage>(seen.back())->status.shuffle, 1);
    EXPECT_TRUE(inPlayer([](PlayerCore& c) { return c.shuffle; }));

    auto repeatMode = [&](uint32_t argument) {
        app->command(CMD_REPEAT, argument); // 0 and 1 both just flip the flag
        sync(*app);
        PlayerStatus status;
        EXPECT_TRUE(ctrl->getPlayerStatus(status));
        return status.repeatMode;
    };
    EXPECT_EQ(repeatMode(1), 2u); // the list
    EXPECT_EQ(repeatMode(0), 0u);
    player->setRepeatMode(simhost::RepeatMode::Track); // set in the player itself
    PlayerStatus status;
    EXPECT_TRUE(ctrl->getPlayerStatus(status));
    EXPECT_EQ(status.repeatMode, 1u); // the repeated entry is the current one
    EXPECT_EQ(repeatMode(0), 0u);
}

TEST_F(BridgeTest, RandomTrackDrawsFromTheRuntimesGeneratorSeededAtConstruction) {
    start(); // constructed at tick 1000000: the picks among three are 1, 0, 0, 1
    auto app = connectAndLogin();
    std::vector<int32_t> picks;
    for (int i = 0; i < 4; ++i) {
        app->command(CMD_RANDOM, 0);
        sync(*app);
        picks.push_back(inPlayer([](PlayerCore& c) { return c.position; }));
    }
    EXPECT_EQ(picks, (std::vector<int32_t>{1, 0, 0, 1}));
    // Stopped, the new track is pushed at once (playing, the player's event does it).
    auto track = remote::decodeAs<TrackInfoMessage>(next(*app, MSG_TRACK_INFO));
    EXPECT_EQ(track->track.index, 1);

    inPlayer([](PlayerCore& c) {
        c.clearNowPlaying();
        return 0;
    });
    app->command(CMD_RANDOM, 0); // an empty list: nothing
    sync(*app);
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.position; }), -1);
}

TEST_F(BridgeTest, SleepTimerAtATimeFiresOnTheClockAndStartsThePowerAction) {
    start();
    auto app = connectAndLogin();
    player->setRepeatMode(simhost::RepeatMode::List); // playback would go on by itself
    app->command(CMD_PLAY, 0);
    ASSERT_TRUE(app->send(armTimer(0, 1, 60))); // power off after 60 s
    SleepTimerMessage state = decodeTimer(ask(*app, QUERY_SLEEP_TIMER, 0, MSG_SLEEP_TIMER));
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(state.seconds, 60u);

    clock.advance(59999);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    state = decodeTimer(ask(*app, QUERY_SLEEP_TIMER, 0, MSG_SLEEP_TIMER));
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(state.seconds, 0u); // 0.001 s left
    EXPECT_EQ(seams->count("power 2"), 0u);

    // Re-armed for ten hours: still on one millisecond before, off on the dot.
    ASSERT_TRUE(app->send(armTimer(0, 1, 36000)));
    sync(*app);
    clock.advance(35999999);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    state = decodeTimer(ask(*app, QUERY_SLEEP_TIMER, 0, MSG_SLEEP_TIMER));
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(seams->count("power 2"), 0u);

    clock.advance(1);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId + 1); // another timer: nothing
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    state = decodeTimer(next(*app, MSG_SLEEP_TIMER));
    EXPECT_FALSE(state.enabled);
    EXPECT_EQ(state.mode, 0u);
    EXPECT_EQ(state.action, 1u);
    EXPECT_EQ(seams->count("power 2"), 1u); // the timer's power off is power action 2
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.state; }), host::PlaybackState::Stopped);

    // Suspend (action 2) maps to power action 0; a running power action is left alone.
    seams->powerRunning = true;
    ASSERT_TRUE(app->send(armTimer(0, 2, 1)));
    sync(*app);
    clock.advance(1000);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    EXPECT_FALSE(decodeTimer(next(*app, MSG_SLEEP_TIMER)).enabled);
    seams->powerRunning = false;
    ASSERT_TRUE(app->send(armTimer(0, 2, 1)));
    sync(*app);
    clock.advance(1000);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    next(*app, MSG_SLEEP_TIMER);
    EXPECT_EQ(seams->count("power 0"), 1u);
}

TEST_F(BridgeTest, SleepTimerAtTheEndOfTheListLocksShuffleAndRepeatUntilItFiresOrStops) {
    start();
    auto app = connectAndLogin();
    app->command(CMD_SHUFFLE, 1);
    sync(*app);
    player->setRepeatMode(simhost::RepeatMode::Track); // the current entry: off as well
    ASSERT_TRUE(app->send(armTimer(1, 0, 0)));
    sync(*app);
    auto shuffleAndRepeat = [&] {
        return inPlayer([](PlayerCore& c) {
            return std::make_pair(c.shuffle, c.repeat != simhost::RepeatMode::Off);
        });
    };
    EXPECT_EQ(shuffleAndRepeat(), std::make_pair(false, false));
    app->command(CMD_SHUFFLE, 1);
    app->command(CMD_REPEAT, 0);
    sync(*app);
    EXPECT_EQ(shuffleAndRepeat(), std::make_pair(false, false));

    // A stop from the app disarms it and says so.
    app->command(CMD_STOP, 0);
    SleepTimerMessage state = decodeTimer(next(*app, MSG_SLEEP_TIMER));
    EXPECT_FALSE(state.enabled);
    EXPECT_EQ(state.mode, 1u);

    // Armed again, it fires when the last entry has played to its end.
    ASSERT_TRUE(app->send(armTimer(1, 1, 0)));
    app->command(CMD_SET_INDEX, 2);
    app->command(CMD_PLAY, 0);
    sync(*app);
    clock.advance(31000); // the 30 s track ends; the player stops on the last entry
    state = decodeTimer(next(*app, MSG_SLEEP_TIMER));
    EXPECT_FALSE(state.enabled);
    EXPECT_EQ(state.action, 1u);
    EXPECT_EQ(seams->count("power 2"), 1u);
    app->command(CMD_SHUFFLE, 1); // unlocked again
    sync(*app);
    EXPECT_TRUE(shuffleAndRepeat().first);
}

// The list's end, not a clock, ends a timer switched from a point in time to the list's end;
// the check needs only the player's state, so a status that cannot be read whole still ends
// it (shuffle is read after the state).
TEST_F(BridgeTest, SleepTimerSwitchedToTheListsEndWaitsForTheListEvenWithAStatusHalfRead) {
    std::atomic<bool> timerRunning{false};
    windowFactory = ForwardingWindow::factory<TimerWatch>(timerRunning);
    for (bool statusFails : {false, true}) {
        SCOPED_TRACE(statusFails ? "the shuffle flag cannot be read" : "the status reads whole");
        start();
        auto app = connectAndLogin();
        app->command(CMD_PLAY, 0);
        ASSERT_TRUE(app->send(armTimer(0, 1, 1800))); // power off in 30 minutes
        sync(*app);
        EXPECT_TRUE(timerRunning);
        ASSERT_TRUE(app->send(armTimer(1, 1, 0))); // ... no: at the end of the list
        sync(*app);
        EXPECT_FALSE(timerRunning);
        player->setRepeatMode(simhost::RepeatMode::List); // the list plays on meanwhile
        // Ticks already on their way find a list-mode timer: they fire nothing.
        for (int tick = 0; tick < 3; ++tick) {
            clock.advance(5000);
            systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
        }
        clock.advance(1800 * 1000);
        systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
        EXPECT_TRUE(decodeTimer(ask(*app, QUERY_SLEEP_TIMER, 0, MSG_SLEEP_TIMER)).enabled);
        EXPECT_EQ(seams->count("power 2"), 0u);
        EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.state; }), host::PlaybackState::Playing);

        player->setRepeatMode(simhost::RepeatMode::Off);
        if (statusFails)
            calls->failCalls("now.g2");
        app->command(CMD_SET_INDEX, 2);
        app->command(CMD_PLAY, 0);
        sync(*app);
        clock.advance(31000); // the last, 30 s track ends and the player stops
        SleepTimerMessage state = decodeTimer(next(*app, MSG_SLEEP_TIMER));
        EXPECT_FALSE(state.enabled);
        EXPECT_EQ(state.mode, 1u);
        EXPECT_EQ(seams->count("power 2"), 1u);
        calls->failCalls("");
        app.reset();
        destroy();
        seams = std::make_shared<SeamLog>();
    }
}

TEST_F(BridgeTest, TheDisplayTextFallsBackToTheNameThenThePathThenQuestionMarks) {
    start();
    inPlayer([](PlayerCore& c) {
        c.tracks[1].artist = u"";
        c.tracks[2].artist = c.tracks[2].name = u"";
        return 0;
    });
    // Made only when the list asks for it.
    auto text = [&](int32_t index, uint8_t want = 1) {
        TrackList list;
        list.wantDisplayText = want;
        EXPECT_TRUE(ctrl->getNowPlayingTracks(list));
        return index < int32_t(list.entries.size()) ? list.entries[size_t(index)].displayText
                                                    : "(none)";
    };
    EXPECT_EQ(text(0, 0), "");
    EXPECT_EQ(text(0), "First Band - Song A");
    EXPECT_EQ(text(1), "Song B");
    EXPECT_EQ(text(2), "D:\\Music\\song2.mp3");
    inPlayer([](PlayerCore& c) {
        c.tracks[2].path = u"";
        return 0;
    });
    EXPECT_EQ(text(2), "???");
}
