#include "services/update/UpdateCheckThread.h"

#include "services/update/UpdateCheck.h"

#include <utility>

namespace services::update {

bool WebSiteVersionChecker::check(std::string& versionText, bool& newer) {
    return CheckLatestVersion(versionText, newer);
}

PeriodicOutcome periodicCheck(bridge::UpdateCheckOwner& owner, VersionChecker& checker,
                              platform::Clock& clock) {
    PluginSettings settings = owner.settings();
    if (!settings.updateCheck || owner.clientLoggedIn())
        return PeriodicOutcome::NotAllowed;
    uint64_t now = clock.fileTime();
    // Unsigned: a last check in the future counts as long ago.
    if (settings.lastUpdateCheck != 0 && now - settings.lastUpdateCheck <= kCheckInterval)
        return PeriodicOutcome::NotDue;

    std::string versionText;
    bool newer = false;
    if (!checker.check(versionText, newer)) {
        owner.updateSettings([&](PluginSettings& s) { s.lastUpdateCheck = now - kFailedCheckAge; });
        return PeriodicOutcome::Failed;
    }
    if (newer)
        owner.messageBoxes().show(NewVersionText(versionText), kPeriodicTitle, "",
                                  bridge::BoxIcon::None);
    owner.updateSettings([&](PluginSettings& s) {
        s.haveUpdateNotification = newer;
        s.lastUpdateCheck = now;
    });
    return newer ? PeriodicOutcome::Newer : PeriodicOutcome::Latest;
}

void checkNow(bridge::UpdateCheckOwner& owner, VersionChecker& checker, platform::Clock& clock) {
    std::string versionText;
    bool newer = false;
    bridge::MessageBoxes& boxes = owner.messageBoxes();
    if (!checker.check(versionText, newer)) {
        boxes.show(kCheckFailedText, bridge::kMessageTitle, "", bridge::BoxIcon::Error);
        return;
    }
    boxes.show(newer ? NewVersionText(versionText) : std::u16string(kLatestVersionText),
               bridge::kMessageTitle, "", bridge::BoxIcon::Information);
    uint64_t now = clock.fileTime();
    owner.updateSettings([&](PluginSettings& s) { s.lastUpdateCheck = now; });
}

UpdateCheckThread::UpdateCheckThread(platform::Clock& clock,
                                     std::unique_ptr<VersionChecker> checker, uint32_t tickMs)
    : clock_(clock), checker_(std::move(checker)), tickMs_(tickMs) {}

UpdateCheckThread::~UpdateCheckThread() {
    stopAndJoin();
}

void UpdateCheckThread::start(bridge::UpdateCheckOwner& owner) {
    if (IsRunning())
        return;
    owner_ = &owner;
    Start();
}

void UpdateCheckThread::stop() {
    Stop(true);
}

void UpdateCheckThread::checkNow(bridge::UpdateCheckOwner& owner) {
    update::checkNow(owner, *checker_, clock_);
}

void UpdateCheckThread::Run() {
    bridge::UpdateCheckOwner& owner = *owner_.load();
    while (!WaitForStopRequest(tickMs_))
        periodicCheck(owner, *checker_, clock_);
}

} // namespace services::update
