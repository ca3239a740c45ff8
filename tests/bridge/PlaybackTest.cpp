// The app driving playback: volume and seek conversions, shuffle and repeat, the sleep timer
// in both modes with the power action it asks for, and the key that names a track to the app.
#include "bridge/TrackKey.h"
#include "tests/bridge/BridgeHarness.h"

using namespace bridge_test;
using namespace wire;
using simhost::PlayerCore;

TEST_F(BridgeTest, PlaybackCommands) {
    start();
    auto app = connectAndLogin();
    // A 16-bit volume in the high half; the status gives percent * 655.35, truncated.
    for (auto [level, percent, shown] : {std::tuple{65535, 100, 65535},
                                         {655, 0, 0},
                                         {656, 1, 655},
                                         {32768, 50, 32767}}) { // 50 % is 32767.5
        app->command(CMD_VOLUME, uint32_t(level) << 16);
        sync(*app);
        EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.volume; }), percent) << level;
        EXPECT_EQ(status().volume, shown) << level;
    }
    app->command(CMD_SET_INDEX, 2); // the current entry is set and read back
    EXPECT_EQ(reply<CurrentIndexMessage>(*app, QUERY_CURRENT_INDEX).index, 2u);
    app->command(CMD_PLAY, 0);
    for (auto [ms, seconds] : {std::pair{1999, 1}, {2000, 2}}) {
        app->command(CMD_SEEK, uint32_t(ms));
        sync(*app);
        EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.positionSeconds(); }), seconds);
    }
    // Shuffle pushes the status, then the playing-now list's notice.
    ReceivedMessage last;
    app->setPushHandler([&](const ReceivedMessage& m) { last = m; });
    app->command(CMD_SHUFFLE, 1);
    next(*app, MSG_NOW_PLAYING_CHANGED);
    EXPECT_EQ(decoded<PlayerStatusMessage>(last).status.shuffle, 1);
    EXPECT_TRUE(inPlayer([](PlayerCore& c) { return c.shuffle; }));

    auto repeatMode = [&](uint32_t argument) {
        app->command(CMD_REPEAT, argument); // 0 and 1 both just flip the flag
        sync(*app);
        return status().repeatMode;
    };
    EXPECT_EQ(repeatMode(1), 2u); // the list
    EXPECT_EQ(repeatMode(0), 0u);
    player->setRepeatMode(simhost::RepeatMode::Track); // set in the player itself
    EXPECT_EQ(status().repeatMode, 1u);                // the repeated entry is the current one
    EXPECT_EQ(repeatMode(0), 0u);
}

class SleepTimer : public BridgeTest {
protected:
    void startWithApp() {
        start();
        app = connectAndLogin();
    }
    // Arms the timer: mode 0 at a time, 1 at the list's end; action 1 power off, 2 suspend.
    void arm(uint32_t mode, uint32_t action, uint32_t seconds) {
        ASSERT_TRUE(app->send(SleepTimerMessage{true, mode, action, seconds}));
        sync(*app);
    }
    // Moves the clock on, then the timer ticks.
    void tick(uint64_t ms) {
        clock.advance(ms);
        systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    }
    SleepTimerMessage asked() { return reply<SleepTimerMessage>(*app, QUERY_SLEEP_TIMER); }
    SleepTimerMessage pushed() { return nextAs<SleepTimerMessage>(*app); }
    std::pair<bool, bool> shuffleAndRepeat() {
        return inPlayer([](PlayerCore& c) {
            return std::make_pair(c.shuffle, c.repeat != simhost::RepeatMode::Off);
        });
    }
    std::unique_ptr<remote::RemoteClient> app;
};

// A control whose window the system refused still takes the timer (and sets no timer).
TEST_F(SleepTimer, WithoutAWindow) {
    windowRefused = true;
    startWithApp();
    arm(0, 1, 60);
    EXPECT_TRUE(asked().enabled);
}

TEST_F(SleepTimer, AtATimeFiresOnTheClockAndStartsThePowerAction) {
    startWithApp();
    player->setRepeatMode(simhost::RepeatMode::List); // playback would go on by itself
    app->command(CMD_PLAY, 0);
    arm(0, 1, 60); // power off after 60 s
    tick(59999);
    EXPECT_TRUE(asked().enabled);
    EXPECT_EQ(asked().seconds, 0u); // 0.001 s left
    // Re-armed for ten hours: still on one millisecond before, off on the dot.
    arm(0, 1, 36000);
    tick(35999999);
    EXPECT_TRUE(asked().enabled);
    EXPECT_EQ(seams->count("power 2"), 0u);
    clock.advance(1);
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId + 1); // another timer: nothing
    systemMessage(bridge::kWmTimer, bridge::kSleepTimerId);
    SleepTimerMessage state = pushed();
    EXPECT_EQ(std::tie(state.enabled, state.mode, state.action), std::make_tuple(false, 0u, 1u));
    EXPECT_EQ(asked().seconds, 0u);         // none left on the dot
    EXPECT_EQ(seams->count("power 2"), 1u); // the timer's power off is power action 2
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.state; }), host::PlaybackState::Stopped);
    // Suspend (action 2) maps to power action 0; a running power action is left alone.
    for (bool running : {true, false}) {
        seams->powerRunning = running;
        arm(0, 2, 1);
        tick(1000);
        EXPECT_FALSE(pushed().enabled);
    }
    EXPECT_EQ(seams->count("power 0"), 1u);
}

TEST_F(SleepTimer, AtTheEndOfTheListLocksShuffleAndRepeatUntilItFiresOrStops) {
    startWithApp();
    app->command(CMD_SHUFFLE, 1);
    sync(*app);
    player->setRepeatMode(simhost::RepeatMode::Track); // the current entry: off as well
    arm(1, 0, 0);
    EXPECT_EQ(shuffleAndRepeat(), std::make_pair(false, false));
    app->command(CMD_SHUFFLE, 1);
    app->command(CMD_REPEAT, 0);
    sync(*app);
    EXPECT_EQ(shuffleAndRepeat(), std::make_pair(false, false));
    // A stop from the app disarms it and says so.
    app->command(CMD_STOP, 0);
    SleepTimerMessage state = pushed();
    EXPECT_EQ(std::tie(state.enabled, state.mode), std::make_tuple(false, 1u));
    app->command(CMD_SHUFFLE, 1); // unlocked again
    sync(*app);
    EXPECT_TRUE(shuffleAndRepeat().first);
}

// The list's end, not a clock, ends a timer switched from a point in time to the list's end;
// the check needs only the player's state, so a status that cannot be read whole still ends
// it (shuffle is read after the state).
TEST_F(SleepTimer, SwitchedToTheListsEndWaitsForTheListEvenWithAStatusHalfRead) {
    watchWindow = true;
    for (bool statusFails : {false, true}) {
        SCOPED_TRACE(statusFails ? "the shuffle flag cannot be read" : "the status reads whole");
        startWithApp();
        app->command(CMD_PLAY, 0);
        arm(0, 1, 1800); // power off in 30 minutes
        EXPECT_TRUE(sleepTimerRunning);
        arm(1, 1, 0); // ... no: at the end of the list
        EXPECT_FALSE(sleepTimerRunning);
        player->setRepeatMode(simhost::RepeatMode::List); // the list plays on meanwhile
        tick(1800 * 1000); // a tick already on its way past the old deadline fires nothing
        EXPECT_TRUE(asked().enabled);
        EXPECT_EQ(seams->count("power 2"), 0u);
        EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.state; }), host::PlaybackState::Playing);

        player->setRepeatMode(simhost::RepeatMode::Off);
        if (statusFails)
            calls->failCall("playingNow.g2");
        app->command(CMD_SET_INDEX, 2); // the last, 30 s entry plays to its end
        app->command(CMD_PLAY, 0);
        sync(*app);
        clock.advance(31000);
        SleepTimerMessage state = pushed();
        EXPECT_EQ(std::tie(state.enabled, state.mode, state.action),
                  std::make_tuple(false, 1u, 1u));
        EXPECT_EQ(seams->count("power 2"), 1u);
        calls->clear();
        app->command(CMD_SHUFFLE, 1); // fired: shuffle is unlocked again
        sync(*app);
        EXPECT_TRUE(shuffleAndRepeat().first);
        app.reset();
        destroy();
        seams = std::make_shared<SeamLog>();
    }
}

// The app matches covers and the playing track by this key: the MD5 of the path as UTF-16LE
// code units with only 'a'..'z' upper-cased (the characters next to them, other letters and
// code units above 0xFF are kept).
TEST(TrackKey, IsTheDigestOfTheUtf16PathWithOnlyAsciiLettersUpperCased) {
    const struct {
        std::u16string_view path;
        std::array<uint8_t, 16> digest;
    } rows[] = {
        {u"`az{@AZ[",
         {0xA2, 0xFF, 0x75, 0x91, 0x1D, 0x2B, 0x89, 0xE2, 0x89, 0x3A, 0xF5, 0x21, 0x31, 0x16, 0xD1,
          0x4D}},
        {u"\u00e9\u4e2d\U0001F3B5",
         {0x02, 0x8B, 0xFB, 0x84, 0x9E, 0xFC, 0x2D, 0x3A, 0x0E, 0x96, 0xA7, 0x7D, 0xF2, 0x39, 0x04,
          0x20}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(bridge::trackKeyForPath(row.path).bytes, row.digest) << row.path.size();
}
