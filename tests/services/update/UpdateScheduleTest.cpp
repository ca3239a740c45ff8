// When the update check asks, what it changes and what it shows: one periodic pass and "Check
// now" against a scripted answer on a hand-moved clock, then the thread that repeats the pass.
#include "services/update/UpdateCheck.h"
#include "services/update/UpdateCheckThread.h"

#include "bridge/ControlServices.h"
#include "platform/Clock.h"
#include "platform/Sync.h"

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
constexpr uint32_t kWaitMs = 10000; // bound for what a thread should do at once

bool waitUntil(const std::function<bool()>& done) {
    for (uint64_t end = platform::monotonicMs() + kWaitMs; !done();) {
        if (platform::monotonicMs() > end)
            return false;
        platform::sleepMs(1);
    }
    return true;
}

struct Box {
    std::u16string text;
    std::u16string title;
    std::string reason;
    BoxIcon icon;
    PluginSettings settingsWhileOpen; // the owner's settings while the user reads the box
};

// The control as the update check sees it; it records each box with its settings while open.
class FakeOwner final : public bridge::UpdateCheckOwner, public bridge::MessageBoxes {
public:
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
    void show(std::u16string_view text, std::u16string_view title, std::string_view reason,
              BoxIcon icon) override {
        Box box{std::u16string(text), std::u16string(title), std::string(reason), icon, settings()};
        std::lock_guard<std::mutex> hold(lock_);
        shown_.push_back(box);
    }
    std::vector<Box> shown() {
        std::lock_guard<std::mutex> hold(lock_);
        return shown_;
    }

    std::atomic<bool> loggedIn{false};

private:
    std::mutex lock_;
    PluginSettings settings_;
    std::vector<Box> shown_;
};

// The answer the checker gives, and how often it was asked.
struct Answer {
    std::atomic<bool> ok{true};
    std::atomic<bool> newer{false};
    std::atomic<int> asked{0};
    // While `slow` is set, a check goes on until finish() (a request that takes its time).
    std::atomic<bool> slow{false};
    std::atomic<bool> checking{false};
    std::atomic<bool> checkerGoneWhileChecking{false};
    platform::Event finished;
    void finish() { finished.set(); }
};

class ScriptedChecker final : public services::update::VersionChecker {
public:
    explicit ScriptedChecker(Answer& answer) : answer_(answer) {}
    ~ScriptedChecker() override {
        if (answer_.checking)
            answer_.checkerGoneWhileChecking = true;
    }
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
    PeriodicOutcome pass() { return services::update::periodicCheck(owner, checker, clock); }
    void setLast(uint64_t when) {
        owner.updateSettings([&](PluginSettings& s) { s.lastUpdateCheck = when; });
    }
    void setHave(bool have) {
        owner.updateSettings([&](PluginSettings& s) { s.haveUpdateNotification = have; });
    }
    uint64_t now() { return clock.fileTime(); }

    platform::ManualClock clock;
    FakeOwner owner;
    Answer answer;
    ScriptedChecker checker{answer};
};

const std::u16string kNewText =
    u"A new version (1.7.5) is available for download at https://www.tandravole.com";

} // namespace

TEST_F(UpdateScheduleTest, TheTimesAreSevenDaysFiveMinutesAndAnHourBeforeTheNextCheck) {
    EXPECT_EQ(services::update::kCheckInterval, 6048000000000ull);
    EXPECT_EQ(services::update::kFailedCheckAge, 6012000000000ull);
    EXPECT_EQ(services::update::kTickMs, 300000u);
}

TEST_F(UpdateScheduleTest, NoPeriodicCheckWhenSwitchedOffOrWhileAnAppIsLoggedIn) {
    owner.updateSettings([](PluginSettings& s) { s.updateCheck = false; });
    EXPECT_EQ(pass(), PeriodicOutcome::NotAllowed);
    owner.updateSettings([](PluginSettings& s) { s.updateCheck = true; });
    owner.loggedIn = true;
    EXPECT_EQ(pass(), PeriodicOutcome::NotAllowed);
    EXPECT_EQ(answer.asked, 0);
    EXPECT_EQ(owner.settings(), PluginSettings{});

    owner.loggedIn = false;
    EXPECT_EQ(pass(), PeriodicOutcome::Latest);
    EXPECT_EQ(answer.asked, 1);
}

// A last check of zero means never, whatever the clock says.
TEST_F(UpdateScheduleTest, AFoundLatestVersionClearsTheNoticeAndStoresTheTime) {
    clock.setFileTime(kDays7 - 1); // less than 7 days after 1601: "now - 0" is not old
    setHave(true);
    EXPECT_EQ(pass(), PeriodicOutcome::Latest);
    EXPECT_FALSE(owner.settings().haveUpdateNotification);
    EXPECT_EQ(owner.settings().lastUpdateCheck, kDays7 - 1);
    EXPECT_TRUE(owner.shown().empty());
}

TEST_F(UpdateScheduleTest, TheNextCheckComesOnlyWhenTheLastIsMoreThanSevenDaysOld) {
    setLast(now() - kDays7);
    EXPECT_EQ(pass(), PeriodicOutcome::NotDue);
    EXPECT_EQ(answer.asked, 0);
    clock.setFileTime(now() + 1);
    EXPECT_EQ(pass(), PeriodicOutcome::Latest);
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(owner.settings().lastUpdateCheck, now());

    // Right after it, nothing is due; a last check "in the future" is long ago (unsigned).
    EXPECT_EQ(pass(), PeriodicOutcome::NotDue);
    setLast(now() + kSecond);
    EXPECT_EQ(pass(), PeriodicOutcome::Latest);
    EXPECT_EQ(answer.asked, 2);
}

TEST_F(UpdateScheduleTest, AFailedCheckIsRetriedAnHourLater) {
    setHave(true);
    answer.ok = false;
    uint64_t failedAt = now();
    EXPECT_EQ(pass(), PeriodicOutcome::Failed);
    EXPECT_EQ(owner.settings().lastUpdateCheck, failedAt - 6012000000000ull);
    EXPECT_TRUE(owner.settings().haveUpdateNotification); // unchanged
    EXPECT_TRUE(owner.shown().empty());                   // silent

    answer.ok = true;
    clock.setFileTime(failedAt + 3600 * kSecond);
    EXPECT_EQ(pass(), PeriodicOutcome::NotDue);
    clock.setFileTime(failedAt + 3600 * kSecond + 1);
    EXPECT_EQ(pass(), PeriodicOutcome::Latest);
    EXPECT_EQ(answer.asked, 2);
}

TEST_F(UpdateScheduleTest, ANewerVersionIsShownAndMarkedForTheAppAfterTheBoxCloses) {
    answer.newer = true;
    setLast(now() - kDays7 - 1);
    EXPECT_EQ(pass(), PeriodicOutcome::Newer);
    auto boxes = owner.shown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kNewText);
    EXPECT_EQ(boxes[0].title, u"Tandravole Update Check");
    EXPECT_EQ(boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(boxes[0].reason, "");
    // While the box is open nothing has changed yet.
    EXPECT_FALSE(boxes[0].settingsWhileOpen.haveUpdateNotification);
    EXPECT_EQ(boxes[0].settingsWhileOpen.lastUpdateCheck, now() - kDays7 - 1);
    EXPECT_TRUE(owner.settings().haveUpdateNotification);
    EXPECT_EQ(owner.settings().lastUpdateCheck, now());
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
        FakeOwner fresh;
        fresh.updateSettings([&](PluginSettings& s) {
            s.updateCheck = false;
            s.lastUpdateCheck = now() - 1;
            s.haveUpdateNotification = !c.newer; // left as it is either way
        });
        fresh.loggedIn = true;
        answer.ok = c.ok;
        answer.newer = c.newer;
        answer.asked = 0;
        services::update::checkNow(fresh, checker, clock);
        EXPECT_EQ(answer.asked, 1);
        auto boxes = fresh.shown();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].title, u"Tandravole 4 MediaCenter");
        EXPECT_EQ(boxes[0].icon, c.icon);
        EXPECT_EQ(fresh.settings().lastUpdateCheck, c.ok ? now() : now() - 1);
        EXPECT_EQ(fresh.settings().haveUpdateNotification, !c.newer);
        EXPECT_FALSE(fresh.settings().updateCheck);
    }
}

// --- the thread ---------------------------------------------------------------------------

namespace {

std::unique_ptr<services::update::UpdateCheckThread> makeThread(platform::Clock& clock,
                                                                Answer& answer, uint32_t tickMs) {
    return std::make_unique<services::update::UpdateCheckThread>(
        clock, std::make_unique<ScriptedChecker>(answer), tickMs);
}

} // namespace

TEST_F(UpdateScheduleTest, TheThreadChecksOnlyAfterItsFirstTickAndStopsAtOnce) {
    auto thread = makeThread(clock, answer, 600000);
    thread->start(owner);
    platform::sleepMs(100);
    thread->stop();
    EXPECT_FALSE(thread->IsRunning());
    EXPECT_EQ(answer.asked, 0);
}

TEST_F(UpdateScheduleTest, StoppingWaitsForACheckUnderWay) {
    answer.slow = true;
    auto thread = makeThread(clock, answer, 1);
    thread->start(owner);
    ASSERT_TRUE(waitUntil([&] { return answer.checking.load(); }));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        thread->stop();
        stopped = true;
    });
    platform::sleepMs(20);
    EXPECT_FALSE(stopped);
    answer.finish();
    stopper.join();
    EXPECT_FALSE(thread->IsRunning());
    EXPECT_EQ(owner.settings().lastUpdateCheck, now()); // the check was completed
}

TEST_F(UpdateScheduleTest, DestroyingTheThreadWaitsForACheckUnderWay) {
    answer.slow = true;
    auto thread = makeThread(clock, answer, 1);
    thread->start(owner);
    ASSERT_TRUE(waitUntil([&] { return answer.checking.load(); }));
    std::thread finisher([&] {
        platform::sleepMs(20);
        answer.finish();
    });
    thread.reset(); // the checker it owns must outlive the check
    finisher.join();
    EXPECT_FALSE(answer.checkerGoneWhileChecking);
    EXPECT_EQ(answer.asked, 1);
}
