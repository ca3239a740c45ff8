#include "tests/bridge/BridgeHarness.h"

#include "simhost/Presets.h"
#include "tests/support/PlayerRoot.h"

namespace bridge_test {

using namespace medialib;
using namespace simhost;

namespace {

// Six tracks (keys 100..105) of 10..60 s, two albums; playlists: 7 ordinary {100,101,102},
// 8 a group, 9 smart, 10 ordinary and empty.
LibraryData smallLibrary() {
    LibraryData lib;
    for (int32_t i = 0; i < 6; ++i) {
        Track t;
        t.key = 100 + i;
        t.name = u"Song " + std::u16string(1, char16_t(u'A' + i));
        t.artist = i < 3 ? u"First Band" : u"Second Band";
        t.album = i < 3 ? u"One" : (i < 5 ? u"Two" : u"");
        t.genre = i < 3 ? u"Rock" : u"Jazz";
        t.durationSeconds = 10 * (i + 1);
        t.trackNumber = i + 1;
        t.playCount = i % 2 ? 0 : i + 1;
        t.rating = i % 6;
        t.path = u"D:\\Music\\song" + std::u16string(1, char16_t(u'0' + i)) + u".mp3";
        lib.tracks.push_back(t);
    }
    lib.tracks[2].comment = u"la la la";
    lib.playlists = {{7, u"Mine", u"Lists", PlaylistType::Ordinary, {100, 101, 102}, u""},
                     {8, u"Lists", u"", PlaylistType::Group, {}, u""},
                     {9, u"Long ones", u"", PlaylistType::Smart, {}, u"[Duration]=>35"},
                     {10, u"Empty", u"", PlaylistType::Ordinary, {}, u""}};
    lib.playingNow = {100, 101, 102};
    return lib;
}

} // namespace

BridgeTest::BridgeTest() {
    platform::setRegistryStoreFile((scratch.path / "registry").string());
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, kSettingsKeyPath);
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser,
                                 presetsKeyPath(kSimMajorVersion));
    player = std::make_unique<SimPlayer>(smallLibrary(),
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
