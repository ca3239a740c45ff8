// The update check as the control runs it: a thread that asks the web site every seven days
// while the user allows it and no app is logged in, and the panel's "Check now".
//
// The thread wakes every tick (5 minutes). A check that finds a newer version shows a box and
// waits until the user has closed it, then marks the update for the app's next login; one that
// finds none clears that mark; one that fails is tried again about an hour later. Times are
// the clock's wall-clock file time; lastUpdateCheck and haveUpdateNotification are changed in
// the owner's settings record (in memory only, through updateSettings).
//
// Threads: the check's own thread runs the periodic check; checkNow runs on its caller's (the
// host's). Both only read the clock and call the checker, which must allow that.
#pragma once

#include "bridge/ControlServices.h"
#include "platform/Clock.h"
#include "server/transport/ThreadWinApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace services::update {

// The question "is there a newer version?".
class VersionChecker {
public:
    virtual ~VersionChecker() = default;
    // True when it was answered; then `newer`, and when newer the version text.
    virtual bool check(std::string& versionText, bool& newer) = 0;
};

// The product's answer: CheckLatestVersion against the web site.
class WebSiteVersionChecker final : public VersionChecker {
public:
    bool check(std::string& versionText, bool& newer) override;
};

// The pause between periodic passes, and the check interval and retry in file-time units.
inline constexpr uint32_t kTickMs = 300000;
inline constexpr uint64_t kCheckInterval = 6048000000000ull;   // 7 days
inline constexpr uint64_t kRetryAfterFailure = 36000000000ull; // 1 hour
// What a failed check stores behind now, so that the next one comes an hour later.
inline constexpr uint64_t kFailedCheckAge = kCheckInterval - kRetryAfterFailure;

// What one periodic pass did.
enum class PeriodicOutcome {
    NotAllowed, // updateCheck is off or an app is logged in
    NotDue,     // the last check is at most kCheckInterval old
    Failed,     // lastUpdateCheck = now - kFailedCheckAge
    Latest,     // haveUpdateNotification = 0, lastUpdateCheck = now
    Newer,      // box shown and closed, then haveUpdateNotification = 1, lastUpdateCheck = now
};

// One periodic pass, now = the clock's file time when it begins.
PeriodicOutcome periodicCheck(bridge::UpdateCheckOwner& owner, VersionChecker& checker,
                              platform::Clock& clock);

// "Check now": asks whatever the settings, the login or the last check, and shows the outcome
// in a box titled like the product's; on an answer lastUpdateCheck = now (after the box).
void checkNow(bridge::UpdateCheckOwner& owner, VersionChecker& checker, platform::Clock& clock);

class UpdateCheckThread final : public ThreadWinApi, public bridge::UpdateCheckService {
public:
    // `tickMs` is the pause before each pass (tests shorten it).
    explicit UpdateCheckThread(
        platform::Clock& clock,
        std::unique_ptr<VersionChecker> checker = std::make_unique<WebSiteVersionChecker>(),
        uint32_t tickMs = kTickMs);
    ~UpdateCheckThread() override;

    // Starts the thread for `owner` (the owner outlives it, until stop()); no second start
    // while it runs.
    void start(bridge::UpdateCheckOwner& owner) override;
    // Stops and joins: ends at once unless a check is being made or its box is open.
    void stop() override;
    void checkNow(bridge::UpdateCheckOwner& owner) override;

    // The first pass comes after one tick; then a pass after every tick, until stopped.
    void Run() override;

private:
    platform::Clock& clock_;
    std::unique_ptr<VersionChecker> checker_;
    uint32_t tickMs_;
    std::atomic<bridge::UpdateCheckOwner*> owner_{nullptr};
};

} // namespace services::update
