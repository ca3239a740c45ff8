// The control's life with an app: Init and its seams, login with and without a password and
// the snapshot that follows, pushes from the player's events, and the system's suspend,
// resume and end of session.
#include "tests/bridge/BridgeHarness.h"

using namespace bridge_test;
using namespace wire;
using testing_support::waitUntil;

const std::string kPortInUseBox = "box Tandravole 4 MediaCenter: Could not start server, please "
                                  "make sure the selected port isn't already in use.";

// A port in use at Init shows the box once, clears the check box and stops DNS-SD; Apply
// restarts the server with the panel's settings, telling a logged-in app first.
TEST_F(BridgeTest, APortInUseAtInitAndApplyWithThePanelsSettings) {
    TcpServer holder; // a listener of our own on the port the control is asked for
    ASSERT_TRUE(holder.listen(0));
    seams->dnsSdRunning = true; // left running by an earlier registration
    start([&](PluginSettings& s) {
        s.port = holder.boundPort();
        s.haveUpdateNotification = true;
        s.lastUpdateCheck = 123;
    });
    EXPECT_EQ(initResult, bridge::InitResult::Ok);
    EXPECT_EQ(seams->count(kPortInUseBox), 1u);
    EXPECT_FALSE(seams->dnsSdRunning);
    EXPECT_FALSE(seams->serverEnabledChecked); // also after the panel was filled
    EXPECT_EQ(seams->reason.rfind("bind: ", 0), 0u) << seams->reason; // the system's reason

    TcpServer spare; // a port that is free now
    ASSERT_TRUE(spare.listen(0));
    const uint16_t moved = spare.boundPort();
    spare.stopAll(true);
    std::tie(seams->panelShows.port, seams->panelShows.password, seams->panelShows.allowKick) =
        std::tuple(moved, u"sésame", true);
    seams->dnsSdRunning = true;
    onHost([&] { ctrl->ApplySettings(); });
    EXPECT_EQ(port(), moved);
    EXPECT_EQ(seams->count("dnssd start " + std::to_string(moved) + " _tandravole._tcp"), 1u);
    PluginSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored, seams->panelShows); // no last check, no pending notice
    auto app = connectAndLogin("sésame");
    // Back to the port in use: the app is told, the box shown, the check box cleared and the
    // settings saved all the same.
    seams->panelShows.port = holder.boundPort();
    seams->serverEnabledChecked = true; // as the user ticked it
    onHost([&] { ctrl->ApplySettings(); });
    EXPECT_EQ(nextAs<ServerNoticeMessage>(*app).reason, NOTICE_SETTINGS_CHANGED);
    EXPECT_TRUE(connectionClosed(*app));
    EXPECT_EQ(port(), 0);
    EXPECT_FALSE(seams->serverEnabledChecked);
    EXPECT_EQ(seams->count(kPortInUseBox), 2u);
    LoadSettings(stored);
    EXPECT_EQ(stored, seams->panelShows);        // enabled, on the port in use
    EXPECT_EQ(seams->count("disableApply"), 3u); // Init and both Applies
    holder.stopAll(true);
}

// The snapshot comes in order only after the right password; a refused login does not use
// the update notice up, the next login does not get it again.
TEST_F(BridgeTest, LoginSnapshotAfterTheRightPasswordAndTheUpdateNoticeOnlyOnce) {
    start([](PluginSettings& s) {
        s.password = u"s\u00e9same";
        s.sendUpdateNotification = true;
        s.haveUpdateNotification = true;
    });
    inPlayer([](simhost::PlayerCore& c) { c.clearNowPlaying(); });
    auto app = std::make_unique<remote::RemoteClient>();
    ASSERT_EQ(app->connect("127.0.0.1", port(), kWait), remote::ClientStatus::Ok);
    std::vector<ReceivedMessage> seen;
    app->setPushHandler([&](const ReceivedMessage& m) { seen.push_back(m); });
    EXPECT_EQ(app->login("wrong", true, 0, kWait), remote::ClientStatus::LoginRefused);
    ASSERT_EQ(app->login("s\xc3\xa9same", true, 0, kWait), remote::ClientStatus::Ok);
    ASSERT_EQ(seen.size(), 4u); // a keepalive, then the three decoded below
    // Nothing is current yet: index -1 and empty texts, as the current track.
    TrackInfo track = decoded<TrackInfoMessage>(seen[1]).track;
    EXPECT_EQ(std::tie(track.index, track.isCurrent, track.name, track.artist),
              std::make_tuple(-1, 1, "", ""));
    EXPECT_EQ(decoded<PlayerStatusMessage>(seen[2]).status.playState, 2u); // stopped
    EXPECT_EQ(decoded<UpdateNoticeMessage>(seen[3]).text,
              "A new version of the Media Center plug-in is available for "
              "download at www.tandravole.com");
    EXPECT_FALSE(ctrl->settings().haveUpdateNotification);
    app.reset(); // its session is over before the next app connects
    ASSERT_TRUE(waitUntil([&] { return ctrl->server().sessionConnection() == 0; }));
    auto later = connectAndLogin("s\xc3\xa9same");
    EXPECT_EQ(burst, (std::vector<uint32_t>{MSG_KEEPALIVE, MSG_TRACK_INFO, MSG_PLAYER_STATUS,
                                            MSG_CAPABILITIES}));
}

// The player's equalizer event pushes the equalizer; the player's status message pushes the
// status; without it a volume event pushes it by itself (a state event does too: the sleep
// timer's tests see it end a list-end timer).
TEST_F(BridgeTest, ThePlayersEventsAndStatusMessagePush) {
    start();
    auto app = connectAndLogin();
    const host::HostValue args[] = {
        host::HostValue(u"MCC"), host::HostValue(u"MCC: NOTIFY_EQ_CHANGED"), host::HostValue(u"")};
    // An event without its name (a valid one right after it in memory) pushes nothing.
    const host::HostValue lone[] = {host::HostValue(u"MCC"),
                                    host::HostValue(u"MCC: NOTIFY_VOLUME_CHANGED")};
    onHost([&] {
        ctrl->onHostEvent(host::kEventNotify, std::span(lone).first(1));
        ctrl->onHostEvent(host::kEventNotify, args);
    });
    ReceivedMessage first;
    ASSERT_EQ(app->receive(first, kWait), remote::ClientStatus::Ok);
    EXPECT_EQ(first.type, uint32_t(MSG_EQUALIZER));

    onHost([&] { ctrl->window()->send(host::kStatusWindowMessage, host::kStatusWindowParam, 0); });
    EXPECT_EQ(nextAs<PlayerStatusMessage>(*app).status.volume, 52428); // 80 * 655.35

    onHost([&] { player->setWindowMessageHandler({}); });
    inPlayer([](simhost::PlayerCore& c) { c.setVolume(30); });
    EXPECT_EQ(nextAs<PlayerStatusMessage>(*app).status.volume, 19660); // 30 * 655.35
}

// Suspend drops the logged-in app (told first, with reason 1), stops listening and clears the
// session; resume listens again. The end of the session tells the app with reason 2, but only
// when the session really ends.
TEST_F(BridgeTest, SuspendResumeAndTheEndOfTheSession) {
    start();
    auto app = connectAndLogin();
    systemMessage(bridge::kWmPowerBroadcast, bridge::kPbtApmSuspend);
    EXPECT_EQ(next(*app, MSG_SERVER_NOTICE).payload, std::vector<uint8_t>{1});
    EXPECT_TRUE(connectionClosed(*app));
    EXPECT_EQ(ctrl->server().sessionConnection(), 0u);
    ASSERT_TRUE(waitUntil([&] { return port() == 0; })); // listening stopped too
    ASSERT_TRUE(waitUntil([&] { return ctrl->server().transport().connectionCount() == 0; }));
    // The listener was stopped without waiting: resume until it listens again.
    ASSERT_TRUE(waitUntil([&] {
        systemMessage(bridge::kWmPowerBroadcast, bridge::kPbtApmResumeAutomatic);
        return port() != 0;
    }));
    app = connectAndLogin();

    systemMessage(bridge::kWmEndSession, 0); // the session does not end: the app stays served
    sync(*app);
    systemMessage(bridge::kWmEndSession, 1);
    EXPECT_EQ(next(*app, MSG_SERVER_NOTICE).payload, std::vector<uint8_t>{2});
    EXPECT_TRUE(connectionClosed(*app));
}
