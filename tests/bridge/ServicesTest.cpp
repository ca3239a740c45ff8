// The control with the real update check: the check reads the control's settings, shows its
// boxes through the control's seam, and a newer version found while no app was logged in is
// announced to the next app that logs in. When it asks is the check's own business.
#include "tests/bridge/BridgeHarness.h"

#include "services/update/UpdateCheckThread.h"

using namespace bridge_test;
using namespace wire;
using testing_support::waitUntil;

namespace {

// Answers as told and counts the questions; any thread.
class ScriptedChecker final : public services::update::VersionChecker {
public:
    ScriptedChecker(std::atomic<int>& asked, std::atomic<bool>& newer)
        : asked_(asked), newer_(newer) {}
    bool check(std::string& versionText, bool& newer) override {
        ++asked_;
        newer = newer_.load();
        versionText = newer ? "4.1" : "";
        return true;
    }

private:
    std::atomic<int>& asked_;
    std::atomic<bool>& newer_;
};

class UpdateWiring : public BridgeTest {
protected:
    UpdateWiring() {
        environment = [this](bridge::ControlEnvironment& env) {
            env.updateCheck = std::make_unique<services::update::UpdateCheckThread>(
                clock, std::make_unique<ScriptedChecker>(asked, newer), 5);
        };
    }
    std::atomic<int> asked{0};
    std::atomic<bool> newer{true};
};

} // namespace

TEST_F(UpdateWiring, ANewerVersionFoundWhileNoAppIsLoggedInIsToldToTheNextApp) {
    start([](PluginSettings& s) { s.sendUpdateNotification = true; });
    const std::string box = "box Tandravole Update Check: A new version (4.1) is available for "
                            "download at https://www.tandravole.com";
    ASSERT_TRUE(waitUntil([&] { return seams->count(box) == 1; }, kWait));
    ASSERT_TRUE(waitUntil([&] { return ctrl->settings().haveUpdateNotification; }, kWait));
    EXPECT_EQ(ctrl->settings().lastUpdateCheck, clock.fileTime());
    EXPECT_EQ(asked.load(), 1); // a week passes before the next question

    auto app = std::make_unique<remote::RemoteClient>();
    ASSERT_EQ(app->connect("127.0.0.1", port(), kWait), remote::ClientStatus::Ok);
    std::vector<ReceivedMessage> seen;
    app->setPushHandler([&](const ReceivedMessage& m) { seen.push_back(m); });
    ASSERT_EQ(app->login("", true, 0, kWait), remote::ClientStatus::Ok);
    ASSERT_FALSE(seen.empty());
    ASSERT_EQ(seen.back().type, uint32_t(MSG_UPDATE_NOTICE));
    EXPECT_FALSE(ctrl->settings().haveUpdateNotification); // told once

    // "Check now" asks at once, also while an app is logged in, and stores the time.
    newer = false;
    clock.advance(1000);
    onHost([&] { ctrl->CheckForUpdateNow(); });
    EXPECT_EQ(asked.load(), 2);
    EXPECT_EQ(seams->count("box Tandravole 4 MediaCenter: You are using the latest version of "
                           "Tandravole (information)"),
              1u);
    EXPECT_EQ(ctrl->settings().lastUpdateCheck, clock.fileTime());
}
