#include "tests/bridge/BridgeHarness.h"

#include "simhost/Presets.h"
#include "tests/support/PlayerRoot.h"

namespace bridge_test {

using namespace simhost;

BridgeTest::BridgeTest() {
    platform::setRegistryStoreFile((scratch.path / "registry").string());
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, kSettingsKeyPath);
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser,
                                 presetsKeyPath(kSimMajorVersion));
    player = std::make_unique<SimPlayer>(library_test::smallLibrary(),
                                         SimOptions{&clock, scratch.path / "covers", 0, true});
    root = library_test::recordedRoot(calls, testing_support::playerRootForTests(player->root()));
    host = std::make_unique<HostThread>([this] {
        player->pump();
        return 5u;
    });
    player->setWakeHandler([this] { host->wake(); });
    // The player's status message reaches the control's window, on the host's thread.
    player->setWindowMessageHandler([this](int32_t window, uint32_t m, uint64_t w, int64_t l) {
        if (ctrl && ctrl->window() && ctrl->window()->handle() == window)
            ctrl->window()->send(m, uintptr_t(w), intptr_t(l));
    });
}

BridgeTest::~BridgeTest() {
    destroy();
    player->setWakeHandler({});
    host.reset();
    player.reset();
    root.reset();
    EXPECT_TRUE(testing_support::playerObjectsReleased());
}

void BridgeTest::start(const std::function<void(PluginSettings&)>& tweak) {
    PluginSettings settings;
    settings.port = 0;
    if (tweak)
        tweak(settings);
    SaveSettings(settings);
    bridge::ControlEnvironment env;
    env.clock = &clock;
    if (windowRefused)
        env.windowFactory = [](bridge::WindowProcedure) {
            return std::unique_ptr<bridge::HostWindow>();
        };
    if (watchWindow)
        env.windowFactory = [this](bridge::WindowProcedure procedure) {
            auto real = bridge::createHostWindow(std::move(procedure));
            return std::unique_ptr<bridge::HostWindow>(
                real ? new WatchedWindow(std::move(real), insideSend, sleepTimerRunning) : nullptr);
        };
    env.panel = std::make_unique<RecordingSeams>(seams);
    env.messageBoxes = std::make_unique<RecordingSeams>(seams);
    env.powerActions = std::make_unique<RecordingSeams>(seams);
    env.dnsSd = std::make_unique<RecordingDnsSd>(seams);
    onHost([&] {
        ctrl = std::make_unique<CTandravoleCtrl>(std::move(env));
        initResult = ctrl->Init(root);
    });
}

std::unique_ptr<remote::RemoteClient> BridgeTest::connectAndLogin(const std::string& password) {
    auto c = std::make_unique<remote::RemoteClient>();
    EXPECT_EQ(c->connect("127.0.0.1", port(), kWait), remote::ClientStatus::Ok);
    burst.clear();
    c->setPushHandler([this](const wire::ReceivedMessage& m) { burst.push_back(m.type); });
    EXPECT_EQ(c->login(password, true, 0, kWait), remote::ClientStatus::Ok);
    burst.push_back(wire::MSG_CAPABILITIES);
    c->setPushHandler(nullptr);
    return c;
}

} // namespace bridge_test
