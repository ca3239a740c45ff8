// Destroying the control while the engine's threads are blocked in sends to the hidden window
// must neither hang nor leak: the host's thread keeps answering while the server goes away.
#include "tests/bridge/BridgeHarness.h"

using namespace bridge_test;
using namespace wire;
using testing_support::waitUntil;

namespace {

// An app that keeps asking until its connection goes away (or it has asked enough).
void busyApp(uint16_t port, std::atomic<int>& requests) {
    remote::RemoteClient app;
    if (app.connect("127.0.0.1", port, kWait) != remote::ClientStatus::Ok ||
        app.login("", true, 0, kWait) != remote::ClientStatus::Ok)
        return;
    ReceivedMessage m;
    for (int i = 0; i < 200; ++i) {
        if (!app.query(QUERY_PLAYER_STATUS, 0) || !app.query(QUERY_NOW_PLAYING, 0) ||
            !app.command(CMD_VOLUME, uint32_t(i) << 16) || !app.send(SearchMessage{1, "o"}))
            return;
        requests += 4;
        if (app.waitForType(MSG_PLAYER_STATUS, m, kWait) != remote::ClientStatus::Ok)
            return;
    }
}

} // namespace

TEST_F(BridgeTest, DestroyingTheControlWhileAppsAreBusyNeverHangs) {
    for (int round = 0; round < 100; ++round) {
        start([round](PluginSettings& s) { s.allowKick = round % 2 == 1; });
        std::atomic<int> requests{0};
        uint16_t listening = port();
        std::thread first(busyApp, listening, std::ref(requests));
        std::thread second(busyApp, listening, std::ref(requests)); // refused, or takes over
        ASSERT_TRUE(waitUntil([&] { return requests >= 4 * (1 + round % 3); }, 4 * kWait));
        destroy();
        first.join();
        second.join();
    }
}

TEST_F(BridgeTest, DestroyingTheControlWhileARequestIsInsideASend) {
    watchWindow = true;
    // The message processor (a status query) and a connection thread (a login's snapshot)
    // each wait in a send while the host's thread is busy, and the control goes away then.
    for (bool duringLogin : {false, true}) {
        start();
        remote::RemoteClient app;
        ASSERT_EQ(app.connect("127.0.0.1", port(), kWait), remote::ClientStatus::Ok);
        ASSERT_TRUE(duringLogin || app.login("", true, 0, kWait) == remote::ClientStatus::Ok);
        onHost([&] {
            LoginMessage login;
            login.hasOptions = true;
            ASSERT_TRUE(duringLogin ? app.send(login) : app.query(QUERY_PLAYER_STATUS, 0));
            ASSERT_TRUE(waitUntil([&] { return insideSend == 1; }));
            ctrl.reset();
        });
        EXPECT_EQ(insideSend, 0);
        EXPECT_TRUE(connectionClosed(app));
    }
}
