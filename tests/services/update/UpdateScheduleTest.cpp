// When the update check asks, what it changes and what it shows: one periodic pass and "Check
// now" against a scripted answer on a hand-moved clock, then the thread that repeats the pass.
#include "services/update/UpdateCheck.h"
#include "services/update/UpdateCheckThread.h"

#include "bridge/ControlServices.h"
#include "common/Utf.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using services::update::PeriodicOutcome;
using Strings = std::vector<std::string>;

namespace {

constexpr uint64_t kDays7 = 7 * 24 * 3600 * 10000000ull; // in file-time units

// The control as the update check sees it; it records each box as "title: text (icon)" and the
// settings it had while the box was open.
class FakeOwner final : public bridge::UpdateCheckOwner, public bridge::MessageBoxes {
public:
    explicit FakeOwner(bool on = true, uint64_t last = 0, bool notice = true, bool in = false)
        : loggedIn(in) {
        settings_.updateCheck = on;
        settings_.lastUpdateCheck = last;
        settings_.haveUpdateNotification = notice;
    }
    PluginSettings settings() override {
        std::lock_guard<std::mutex> hold(lock_);
        return settings_;
    }
    void updateSettings(const std::function<void(PluginSettings&)>& change) override {
        std::lock_guard<std::mutex> hold(lock_);
        change(settings_);
    }
    bool clientLoggedIn() override { return loggedIn; }
    bridge::MessageBoxes& messageBoxes() override { return *this; }
    void show(std::u16string_view text, std::u16string_view title, std::string_view,
              bridge::BoxIcon icon) override {
        shown.push_back(utf16ToUtf8(title) + ": " + utf16ToUtf8(text) + " (" +
                        std::to_string(int(icon)) + ")");
        whileOpen.push_back(settings());
    }

    const bool loggedIn;
    std::vector<std::string> shown; // only the test's own thread shows boxes
    std::vector<PluginSettings> whileOpen;

private:
    std::mutex lock_;
    PluginSettings settings_;
};

// Answers each check with `ok` and `newer` (version 1.7.5) after running `during`, if set.
struct Script final : services::update::VersionChecker {
    explicit Script(bool answers = true, bool isNewer = false) : ok(answers), newer(isNewer) {}
    bool check(std::string& versionText, bool& isNewer) override {
        ++asked;
        if (during)
            during();
        isNewer = ok && newer;
        versionText = isNewer ? "1.7.5" : "";
        return ok;
    }
    std::atomic<bool> ok, newer;
    std::atomic<int> asked{0};
    std::function<void()> during;
};

const std::string kNewText =
    "A new version (1.7.5) is available for download at https://www.tandravole.com";

} // namespace

// One periodic pass per row: switched off or an app logged in, nothing is asked; a last check of
// zero means never, whatever the clock says; otherwise only a last check more than seven days
// old (a future one counts as long ago) is followed by a question. A failure stores a time an
// hour short of due and leaves the notice; an answer clears or sets the notice and stores now,
// a newer version after its box was closed.
TEST(UpdateScheduleTest, OnePeriodicPass) {
    using O = PeriodicOutcome;
    platform::ManualClock clock;
    const uint64_t t = clock.fileTime();
    struct Case {
        const char* what;
        bool on, loggedIn;
        uint64_t now, last;
        bool ok, newer;
        O outcome;
        uint64_t lastAfter;
        bool haveAfter; // haveUpdateNotification is true before each pass
    };
    const Case cases[] = {
        {"switched off", false, false, t, 0, true, false, O::NotAllowed, 0, true},
        {"logged in", true, true, t, 0, true, false, O::NotAllowed, 0, true},
        {"never checked", true, false, kDays7 - 1, 0, true, false, O::Latest, kDays7 - 1, false},
        {"exactly 7 days", true, false, t, t - kDays7, true, false, O::NotDue, t - kDays7, true},
        {"past 7 days", true, false, t, t - kDays7 - 1, true, false, O::Latest, t, false},
        {"just checked", true, false, t, t, true, false, O::NotDue, t, true},
        {"in the future", true, false, t, t + 1, true, false, O::Latest, t, false},
        {"failed", true, false, t, 0, false, false, O::Failed, t - 6012000000000ull, true},
        {"newer", true, false, t, t - kDays7 - 1, true, true, O::Newer, t, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeOwner owner(c.on, c.last, true, c.loggedIn);
        clock.setFileTime(c.now);
        Script script(c.ok, c.newer);
        EXPECT_EQ(services::update::periodicCheck(owner, script, clock), c.outcome);
        EXPECT_EQ(script.asked, c.outcome == O::NotAllowed || c.outcome == O::NotDue ? 0 : 1);
        EXPECT_EQ(owner.settings().lastUpdateCheck, c.lastAfter);
        EXPECT_EQ(owner.settings().haveUpdateNotification, c.haveAfter);
        EXPECT_EQ(owner.shown,
                  c.newer ? Strings{"Tandravole Update Check: " + kNewText + " (0)"} : Strings{});
        if (!c.newer)
            continue;
        // While the box is open nothing has changed yet.
        EXPECT_TRUE(owner.whileOpen.at(0).haveUpdateNotification);
        EXPECT_EQ(owner.whileOpen.at(0).lastUpdateCheck, c.last);
    }
}

// "Check now" asks whatever the settings, the login or the last check say; only an answer
// stores the time, and it never touches the notice.
TEST(UpdateScheduleTest, CheckNowShowsEachOutcomeInTheProductsBox) {
    const std::tuple<bool, bool, std::string> cases[] = {
        {false, false,
         "Update check failed, please make sure you are connected to the internet (3)"},
        {true, true, kNewText + " (1)"},
        {true, false, "You are using the latest version of Tandravole (1)"}};
    platform::ManualClock clock;
    for (const auto& [ok, newer, box] : cases) {
        const uint64_t before = clock.fileTime() - 1;
        FakeOwner owner(false, before, !newer, true); // the notice is left as it is either way
        Script script(ok, newer);
        services::update::checkNow(owner, script, clock);
        EXPECT_EQ(script.asked, 1);
        EXPECT_EQ(owner.shown, Strings{"Tandravole 4 MediaCenter: " + box});
        EXPECT_EQ(owner.settings().lastUpdateCheck, ok ? before + 1 : before);
        EXPECT_EQ(owner.settings().haveUpdateNotification, !newer);
    }
}

// The first pass comes only after a tick, and a stop before it ends the thread at once;
// destroying the thread waits for a check under way.
TEST(UpdateScheduleTest, TheThreadChecksOnlyAfterItsFirstTickAndStopsAtOnce) {
    platform::ManualClock clock;
    FakeOwner owner;
    // The thread owns its checker; the test keeps a view of it.
    auto idleScript = std::make_unique<Script>();
    Script& idleView = *idleScript;
    services::update::UpdateCheckThread idle(clock, std::move(idleScript), 600000);
    idle.start(owner);
    platform::sleepMs(100);
    idle.stop();
    EXPECT_FALSE(idle.IsRunning());
    EXPECT_EQ(idleView.asked, 0);

    platform::Event checking, finished;
    auto script = std::make_unique<Script>();
    script->during = [&] {
        checking.set();
        finished.wait(platform::kInfinite);
    };
    auto thread =
        std::make_unique<services::update::UpdateCheckThread>(clock, std::move(script), 1);
    thread->start(owner);
    ASSERT_TRUE(checking.wait(10000));
    std::thread releaser([&finished] {
        platform::sleepMs(20);
        finished.set();
    });
    thread.reset();
    EXPECT_TRUE(finished.isSet());
    releaser.join();
    EXPECT_EQ(owner.settings().lastUpdateCheck, clock.fileTime()); // the check was completed
}
