// When the update check asks, what it changes and what it shows: one periodic pass and "Check
// now" against a scripted answer on a hand-moved clock, then the thread that repeats the pass.
#include "services/update/UpdateCheck.h"
#include "services/update/UpdateCheckThread.h"

#include "bridge/ControlServices.h"
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
#include <vector>

using bridge::BoxIcon;
using services::update::PeriodicOutcome;

namespace {

constexpr uint64_t kSecond = 10000000; // file-time units
constexpr uint64_t kDays7 = 7 * 24 * 3600 * kSecond;

struct Box {
    std::u16string text, title;
    BoxIcon icon;
    PluginSettings settingsWhileOpen; // the owner's settings while the user reads the box
};

// The control as the update check sees it; it records each box with its settings while open.
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
              BoxIcon icon) override {
        Box box{std::u16string(text), std::u16string(title), icon, settings()};
        std::lock_guard<std::mutex> hold(lock_);
        shown_.push_back(box);
    }
    std::vector<Box> shown() {
        std::lock_guard<std::mutex> hold(lock_);
        return shown_;
    }

    const bool loggedIn;

private:
    std::mutex lock_;
    PluginSettings settings_;
    std::vector<Box> shown_;
};

// The checker's answer and how often it was asked; while `slow` is set, a check goes on until
// `finished` (a request that takes its time). The thread owns its checker, the test the answer.
struct Answer {
    std::atomic<bool> ok{true}, newer{false}, slow{false}, checking{false};
    std::atomic<bool> checkerGoneWhileChecking{false};
    std::atomic<int> asked{0};
    platform::Event finished;
};

class ScriptedChecker final : public services::update::VersionChecker {
public:
    explicit ScriptedChecker(Answer& answer) : answer_(answer) {}
    ~ScriptedChecker() override { answer_.checkerGoneWhileChecking = answer_.checking.load(); }
    bool check(std::string& versionText, bool& newer) override {
        answer_.checking = true;
        ++answer_.asked;
        if (answer_.slow)
            answer_.finished.wait(platform::kInfinite);
        newer = answer_.ok && answer_.newer;
        versionText = newer ? "1.7.5" : "";
        answer_.checking = false;
        return answer_.ok;
    }

private:
    Answer& answer_;
};

class UpdateScheduleTest : public ::testing::Test {
protected:
    void script(bool ok, bool newer) {
        answer.ok = ok;
        answer.newer = newer;
        answer.asked = 0;
    }

    platform::ManualClock clock;
    Answer answer;
    ScriptedChecker checker{answer};
};

const std::u16string kNewText =
    u"A new version (1.7.5) is available for download at https://www.tandravole.com";

} // namespace

// One periodic pass per row: switched off or an app logged in, nothing is asked; a last check of
// zero means never, whatever the clock says; otherwise only a last check more than seven days
// old (a future one counts as long ago) is followed by a question. A failure stores a time an
// hour short of due and leaves the notice; an answer clears or sets the notice and stores now,
// a newer version after its box was closed.
TEST_F(UpdateScheduleTest, OnePeriodicPass) {
    using O = PeriodicOutcome;
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
        {"in the future", true, false, t, t + kSecond, true, false, O::Latest, t, false},
        {"failed", true, false, t, 0, false, false, O::Failed, t - 6012000000000ull, true},
        {"newer", true, false, t, t - kDays7 - 1, true, true, O::Newer, t, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeOwner fresh(c.on, c.last, true, c.loggedIn);
        clock.setFileTime(c.now);
        script(c.ok, c.newer);
        EXPECT_EQ(services::update::periodicCheck(fresh, checker, clock), c.outcome);
        EXPECT_EQ(answer.asked, c.outcome == O::NotAllowed || c.outcome == O::NotDue ? 0 : 1);
        EXPECT_EQ(fresh.settings().lastUpdateCheck, c.lastAfter);
        EXPECT_EQ(fresh.settings().haveUpdateNotification, c.haveAfter);
        auto boxes = fresh.shown();
        ASSERT_EQ(boxes.size(), c.newer ? 1u : 0u);
        if (c.newer) {
            EXPECT_EQ(boxes[0].text, kNewText);
            EXPECT_EQ(boxes[0].title, u"Tandravole Update Check");
            EXPECT_EQ(boxes[0].icon, BoxIcon::None);
            // While the box is open nothing has changed yet.
            EXPECT_TRUE(boxes[0].settingsWhileOpen.haveUpdateNotification);
            EXPECT_EQ(boxes[0].settingsWhileOpen.lastUpdateCheck, c.last);
        }
    }
}

// "Check now" asks whatever the settings, the login or the last check say; only an answer
// stores the time, and it never touches the notice.
TEST_F(UpdateScheduleTest, CheckNowShowsEachOutcomeInTheProductsBox) {
    struct Case {
        bool ok, newer;
        const char16_t* text;
        BoxIcon icon;
    };
    for (const Case c :
         {Case{false, false,
               u"Update check failed, please make sure you are connected to the internet",
               BoxIcon::Error},
          Case{true, true, kNewText.c_str(), BoxIcon::Information},
          Case{true, false, u"You are using the latest version of Tandravole",
               BoxIcon::Information}}) {
        const uint64_t before = clock.fileTime() - 1;
        FakeOwner fresh(false, before, !c.newer, true); // the notice is left as it is either way
        script(c.ok, c.newer);
        services::update::checkNow(fresh, checker, clock);
        EXPECT_EQ(answer.asked, 1);
        auto boxes = fresh.shown();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].title, u"Tandravole 4 MediaCenter");
        EXPECT_EQ(boxes[0].icon, c.icon);
        EXPECT_EQ(fresh.settings().lastUpdateCheck, c.ok ? before + 1 : before);
        EXPECT_EQ(fresh.settings().haveUpdateNotification, !c.newer);
    }
}

// The first pass comes only after a tick, and a stop before it ends the thread at once.
TEST_F(UpdateScheduleTest, TheThreadChecksOnlyAfterItsFirstTickAndStopsAtOnce) {
    EXPECT_EQ(services::update::kTickMs, 300000u);
    FakeOwner owner;
    services::update::UpdateCheckThread thread(clock, std::make_unique<ScriptedChecker>(answer),
                                               600000);
    thread.start(owner);
    platform::sleepMs(100);
    thread.stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(answer.asked, 0);
}

// Destroying waits for a check under way: the checker the thread owns outlives it.
TEST_F(UpdateScheduleTest, DestroyingWaitsForACheckUnderWay) {
    Answer slow;
    slow.slow = true;
    FakeOwner owner;
    auto thread = std::make_unique<services::update::UpdateCheckThread>(
        clock, std::make_unique<ScriptedChecker>(slow), 1);
    thread->start(owner);
    ASSERT_TRUE(testing_support::waitUntil([&] { return slow.checking.load(); }, 10000));
    std::thread releaser([&slow] {
        platform::sleepMs(20);
        slow.finished.set();
    });
    thread.reset();
    EXPECT_TRUE(slow.finished.isSet());
    releaser.join();
    EXPECT_FALSE(slow.checkerGoneWhileChecking);
    EXPECT_EQ(owner.settings().lastUpdateCheck, clock.fileTime()); // the check was completed
}
