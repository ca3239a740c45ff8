// The whole stack for the bridge's tests: a host thread running bridge::HostLoop with the
// simulated player's pump as its idle hook, the control created, initialised and destroyed on
// that thread, a hand-moved clock, recording stand-ins for the control's seams and the player's
// root object, and RemoteClient on 127.0.0.1 as the app.
#pragma once

#include "bridge/ControlServices.h"
#include "bridge/HostWindow.h"
#include "bridge/PluginSettings.h"
#include "bridge/TandravoleCtrl.h"
#include "client/RemoteClient.h"
#include "common/Utf.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "simhost/SimPlayer.h"
#include "tests/library/RecordingHost.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bridge_test {

constexpr uint32_t kWait = 5000; // generous deadline for anything the stack does by itself

// A thread running a HostLoop; run() carries a closure to it through a window of its own and
// waits until it has run there.
class HostThread {
public:
    explicit HostThread(std::function<uint32_t()> idleHook) {
        thread_ = std::thread([this, idleHook] {
            bridge::HostLoop loop;
            loop_ = &loop;
            loop.setIdleHook(idleHook);
            std::unique_ptr<bridge::HostWindow> runner =
                bridge::createHostWindow([](uint32_t message, uintptr_t, intptr_t lParam) {
                    if (message != kRunMessage)
                        return std::optional<intptr_t>();
                    (*reinterpret_cast<std::function<void()>*>(lParam))();
                    return std::optional<intptr_t>(1);
                });
            runner_ = runner.get();
            started_.set_value();
            loop.run();
            runner.reset();
            loop_ = nullptr;
        });
        started_.get_future().wait();
    }
    ~HostThread() {
        loop_.load()->quit();
        thread_.join();
    }
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

    // Runs fn on the host's thread; false when it could not be carried there.
    bool run(std::function<void()> fn) {
        bridge::HostWindow* runner = runner_.load();
        return runner && runner->send(kRunMessage, 0, reinterpret_cast<intptr_t>(&fn)) == 1;
    }
    void wake() { loop_.load()->wake(); }

private:
    static constexpr uint32_t kRunMessage = 0x8000 + 77; // WM_APP + 77: no system message
    std::promise<void> started_; // a member: set_value may still run as the waiter wakes
    std::thread thread_;
    std::atomic<bridge::HostLoop*> loop_{nullptr};
    std::atomic<bridge::HostWindow*> runner_{nullptr};
};

// The real hidden window, watched: how many senders are inside a send right now, and whether
// the sleep timer's timer runs.
class WatchedWindow : public bridge::HostWindow {
public:
    WatchedWindow(std::unique_ptr<bridge::HostWindow> inner, std::atomic<int>& inside,
                  std::atomic<bool>& sleepTimer)
        : inner_(std::move(inner)), inside_(inside), sleepTimer_(sleepTimer) {}
    intptr_t send(uint32_t m, uintptr_t w, intptr_t l) override {
        ++inside_;
        intptr_t result = inner_->send(m, w, l);
        --inside_;
        return result;
    }
    bool setTimer(uint32_t id, uint32_t periodMs) override {
        if (id == bridge::kSleepTimerId)
            sleepTimer_ = true;
        return inner_->setTimer(id, periodMs);
    }
    void killTimer(uint32_t id) override {
        if (id == bridge::kSleepTimerId)
            sleepTimer_ = false;
        inner_->killTimer(id);
    }
    int32_t handle() const override { return inner_->handle(); }
    void pumpWhile(const std::function<void()>& work) override { inner_->pumpWhile(work); }
    void close() override { inner_->close(); }

private:
    std::unique_ptr<bridge::HostWindow> inner_;
    std::atomic<int>& inside_;
    std::atomic<bool>& sleepTimer_;
};

// What the stand-ins for the control's seams were asked to do, readable after it is gone.
class SeamLog {
public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    size_t count(const std::string& event) {
        std::lock_guard lock(mutex_);
        return size_t(std::count(events_.begin(), events_.end(), event));
    }
    std::atomic<bool> powerRunning{false};
    std::atomic<bool> dnsSdRunning{false};
    std::atomic<bool> serverEnabledChecked{false}; // the panel's box 207 as the user sees it
    PluginSettings panelShows; // what readPanel() gives: set before Apply, read on the host
    std::string reason;        // the latest message box's, written before the box is logged

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

// The panel, the boxes and the power actions, logging into one SeamLog. A box logs
// "box TITLE: TEXT", with " (information)", " (warning)" or " (error)" for an icon.
struct RecordingSeams : bridge::ControlPanel, bridge::MessageBoxes, bridge::PowerActionService {
    explicit RecordingSeams(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    void fillPanel(const PluginSettings& s) override { log->serverEnabledChecked = s.enabled; }
    void clearServerEnabled() override { log->serverEnabledChecked = false; }
    void disableApply() override { log->add("disableApply"); }
    PluginSettings readPanel() override { return log->panelShows; }
    void show(std::u16string_view text, std::u16string_view title, std::string_view reason,
              bridge::BoxIcon icon) override {
        static const char* const kIcons[] = {"", " (information)", " (warning)", " (error)"};
        log->reason = std::string(reason);
        log->add("box " + utf16ToUtf8(title) + ": " + utf16ToUtf8(text) + kIcons[int(icon)]);
    }
    bool isRunning() override { return log->powerRunning; }
    bool start(uint32_t action) override {
        log->add("power " + std::to_string(action));
        return true;
    }
    std::shared_ptr<SeamLog> log;
};

struct RecordingDnsSd : bridge::DnsSdService {
    explicit RecordingDnsSd(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    void start(uint16_t port, std::string_view type) override {
        log->add("dnssd start " + std::to_string(port) + " " + std::string(type));
        log->dnsSdRunning = true;
    }
    void stopWithoutWaiting() override { log->dnsSdRunning = false; }
    bool isRunning() override { return log->dnsSdRunning; }
    std::shared_ptr<SeamLog> log;
};

// A message decoded as M (a default M, failing the test, when it does not decode).
template <class M> M decoded(const wire::ReceivedMessage& m) {
    auto d = remote::decodeAs<M>(m);
    EXPECT_TRUE(d) << "message type " << m.type;
    return d.value_or(M{});
}

// Reads until the connection ends: true when the server closed it.
inline bool connectionClosed(remote::RemoteClient& c) {
    wire::ReceivedMessage m;
    for (;;) {
        remote::ClientStatus s = c.receive(m, kWait);
        if (s != remote::ClientStatus::Ok)
            return s == remote::ClientStatus::Closed;
    }
}

class BridgeTest : public ::testing::Test {
protected:
    BridgeTest();
    ~BridgeTest() override;

    // Stores the settings (port 0: a free port), creates and initialises the control.
    void start(const std::function<void(PluginSettings&)>& tweak = {});
    void destroy() {
        onHost([&] { ctrl.reset(); });
    }
    uint16_t port() { return ctrl->server().boundPort(); }

    // Connects and logs in; the login burst (every message after the login result, up to and
    // with the capabilities) is recorded in `burst`.
    std::unique_ptr<remote::RemoteClient> connectAndLogin(const std::string& password = "");
    // The next message of `type`, skipping others; fails the test on a time-out. ask() sends
    // a query first.
    wire::ReceivedMessage next(remote::RemoteClient& c, uint32_t type) {
        wire::ReceivedMessage m;
        EXPECT_EQ(c.waitForType(type, m, kWait), remote::ClientStatus::Ok) << type;
        return m;
    }
    wire::ReceivedMessage ask(remote::RemoteClient& c, uint8_t sub, uint32_t parameter,
                              uint32_t type) {
        EXPECT_TRUE(c.query(sub, parameter));
        return next(c, type);
    }
    // The next message of M's type, or the reply to a query, decoded.
    template <class M> M nextAs(remote::RemoteClient& c) { return decoded<M>(next(c, M::kType)); }
    template <class M> M reply(remote::RemoteClient& c, uint8_t sub, uint32_t parameter = 0) {
        return decoded<M>(ask(c, sub, parameter, M::kType));
    }
    // A request that sends no reply has been carried out once a later query is answered
    // (the processing thread handles messages in order).
    void sync(remote::RemoteClient& c) {
        ask(c, wire::QUERY_EQUALIZER_PRESETS, 0, wire::MSG_EQUALIZER_PRESETS);
    }

    // The control's status as the app would get it.
    PlayerStatus status() {
        PlayerStatus s;
        EXPECT_TRUE(ctrl->getPlayerStatus(s));
        return s;
    }
    // The simulated player's state, read or changed under its lock.
    template <class F> auto inPlayer(F f) {
        platform::ScopedLock hold(player->core().lock);
        return f(player->core());
    }
    void onHost(std::function<void()> fn) { ASSERT_TRUE(host->run(std::move(fn))); }
    // Delivers a system message to the control's window on the host's thread.
    void systemMessage(uint32_t message, uintptr_t wParam) {
        onHost([&] { ctrl->window()->send(message, wParam, 0); });
    }

    platform::ManualClock clock;
    testing_support::TempFolder scratch;
    std::unique_ptr<simhost::SimPlayer> player;
    std::shared_ptr<library_test::Recorder> calls = std::make_shared<library_test::Recorder>();
    host::HostObjectPtr root;
    std::shared_ptr<SeamLog> seams = std::make_shared<SeamLog>();
    std::unique_ptr<HostThread> host;
    std::unique_ptr<CTandravoleCtrl> ctrl; // created and destroyed on the host's thread
    bridge::InitResult initResult = bridge::InitResult::Ok;
    bool windowRefused = false; // the system refuses the control its window
    bool watchWindow = false;   // the control's window is a WatchedWindow reporting to these:
    std::atomic<int> insideSend{0};
    std::atomic<bool> sleepTimerRunning{false};
    std::vector<uint32_t> burst;
};

} // namespace bridge_test
