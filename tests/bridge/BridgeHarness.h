// The whole stack for the bridge's tests: a host thread running bridge::HostLoop with the
// simulated player's pump as its idle hook, the control created, initialised and destroyed on
// that thread, a hand-moved clock, recording stand-ins for the control's seams, a recording
// wrapper around the player's root object, and RemoteClient on 127.0.0.1 as the app.
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
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bridge_test {

constexpr uint32_t kWait = 5000; // generous deadline for anything the stack does by itself

// --- the host's thread ---------------------------------------------------------------------

// A thread running a HostLoop; run() carries a closure to it through a window of its own and
// waits until it has run there.
class HostThread {
public:
    explicit HostThread(std::function<uint32_t()> idleHook = {}) {
        std::mutex m;
        std::condition_variable ready;
        bool started = false;
        thread_ = std::thread([&, idleHook] {
            bridge::HostLoop loop;
            loop_ = &loop;
            if (idleHook)
                loop.setIdleHook(idleHook);
            std::unique_ptr<bridge::HostWindow> runner =
                bridge::createHostWindow([](uint32_t message, uintptr_t, intptr_t lParam) {
                    if (message != kRunMessage)
                        return std::optional<intptr_t>();
                    (*reinterpret_cast<std::function<void()>*>(lParam))();
                    return std::optional<intptr_t>(1);
                });
            runner_ = runner.get();
            {
                // Notified under the lock: the constructor's wait owns m and ready, which end
                // as soon as it returns.
                std::lock_guard lock(m);
                started = true;
                ready.notify_all();
            }
            loop.run();
            runner.reset();
            loop_ = nullptr;
        });
        std::unique_lock lock(m);
        ready.wait(lock, [&] { return started; });
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
    std::thread::id id() const { return thread_.get_id(); }

private:
    static constexpr uint32_t kRunMessage = 0x8000 + 77; // WM_APP + 77: no system message
    std::thread thread_;
    std::atomic<bridge::HostLoop*> loop_{nullptr};
    std::atomic<bridge::HostWindow*> runner_{nullptr};
};

// The real hidden window behind a wrapper that forwards everything; tests override what they
// watch.
class ForwardingWindow : public bridge::HostWindow {
public:
    explicit ForwardingWindow(std::unique_ptr<bridge::HostWindow> inner)
        : inner_(std::move(inner)) {}
    intptr_t send(uint32_t m, uintptr_t w, intptr_t l) override { return inner_->send(m, w, l); }
    bool post(uint32_t m, uintptr_t w, intptr_t l) override { return inner_->post(m, w, l); }
    bool setTimer(uint32_t id, uint32_t periodMs) override {
        return inner_->setTimer(id, periodMs);
    }
    void killTimer(uint32_t id) override { inner_->killTimer(id); }
    int32_t handle() const override { return inner_->handle(); }
    void pumpWhile(const std::function<void()>& work) override { inner_->pumpWhile(work); }
    void close() override { inner_->close(); }

    // A window factory that wraps the real window in W, constructed with the real window
    // followed by `extra`.
    template <class W, class... Extra> static bridge::WindowFactory factory(Extra&... extra) {
        return
            [&extra...](bridge::WindowProcedure procedure) -> std::unique_ptr<bridge::HostWindow> {
                auto real = bridge::createHostWindow(std::move(procedure));
                if (!real)
                    return nullptr;
                return std::make_unique<W>(std::move(real), extra...);
            };
    }

private:
    std::unique_ptr<bridge::HostWindow> inner_;
};

// --- a recording wrapper around the player's objects ---------------------------------------

// Every call as one line: "volume.m5(0,-3)", "root.m2(\"[rating]=4 ...\")", "file.m23(5)".
class CallLog {
public:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<std::string> starting(const std::string& prefix) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& c : calls_)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    // Calls starting with `prefix` fail without reaching the player ("" for none).
    void failCalls(std::string prefix) {
        std::lock_guard lock(mutex_);
        failing_ = std::move(prefix);
    }
    bool fails(const std::string& call) {
        std::lock_guard lock(mutex_);
        return !failing_.empty() && call.rfind(failing_, 0) == 0;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::string failing_;
};

class RecordingObject : public host::HostObject {
public:
    RecordingObject(std::shared_ptr<CallLog> log, host::HostObjectPtr inner, std::string name)
        : log_(std::move(log)), inner_(std::move(inner)), name_(std::move(name)) {}

    host::HostStatus invoke(int32_t id, host::InvokeKind kind,
                            std::span<const host::HostValue> args, host::HostValue& result,
                            host::HostFault* fault) override {
        const char* k = kind == host::InvokeKind::Method ? "m"
                        : kind == host::InvokeKind::Get  ? "g"
                                                         : "p";
        std::string call = name_ + "." + k + std::to_string(id) + "(";
        std::vector<host::HostValue> innerArgs;
        for (size_t i = 0; i < args.size(); ++i) {
            const host::HostValue& a = args[i];
            if (i)
                call += ",";
            if (auto t = a.asText())
                call += "\"" + utf16ToUtf8(*t) + "\"";
            else if (auto n = a.asInt())
                call += std::to_string(*n);
            else
                call += "obj";
            auto* wrapped = dynamic_cast<RecordingObject*>(a.asObject().get());
            innerArgs.push_back(wrapped ? host::HostValue(wrapped->inner_) : a);
        }
        call += ")";
        log_->add(call);
        if (log_->fails(call))
            return host::HostStatus::Failed;
        host::HostStatus status = inner_->invoke(id, kind, innerArgs, result, fault);
        if (host::HostObjectPtr o = result.asObject())
            result = host::HostValue(host::HostObjectPtr(
                std::make_shared<RecordingObject>(log_, o, childName(id, kind))));
        return status;
    }
    host::HostStatus advise(host::HostEventSink* sink, uint32_t& cookie) override {
        return inner_->advise(sink, cookie);
    }
    host::HostStatus unadvise(uint32_t cookie) override { return inner_->unadvise(cookie); }

private:
    // Objects are named after what they are: root, playback, now, volume, version, search,
    // newfiles, files, playlists, playlist, file; anything else "obj".
    std::string childName(int32_t id, host::InvokeKind kind) const {
        if (kind != host::InvokeKind::Method)
            return "obj";
        if (name_ == "root") {
            static const std::map<int32_t, std::string> names = {
                {1, "playback"}, {2, "search"},  {3, "now"},       {4, "playlists"},
                {6, "volume"},   {7, "version"}, {23, "newfiles"}, {27, "playlist"}};
            auto it = names.find(id);
            return it == names.end() ? "obj" : it->second;
        }
        if ((name_ == "now" && id == 5) ||
            ((name_ == "search" || name_ == "files" || name_ == "newfiles") && id == 2))
            return "file";
        if (name_ == "playlists" && (id == 2 || id == 3))
            return "playlist";
        if (name_ == "playlist" && id == 3)
            return "files";
        return "obj";
    }

    std::shared_ptr<CallLog> log_;
    host::HostObjectPtr inner_;
    std::string name_;
};

// --- stand-ins for the control's seams ----------------------------------------------------

// What the seams were asked to do, in order, readable after the control is gone.
class SeamLog {
public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
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

struct RecordingPanel : bridge::ControlPanel {
    explicit RecordingPanel(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    void initPanel() override { log->add("initPanel"); }
    void fillPanel(const PluginSettings& s) override {
        log->add("fillPanel port=" + std::to_string(s.port));
        log->serverEnabledChecked = s.enabled;
    }
    void clearServerEnabled() override {
        log->add("clearServerEnabled");
        log->serverEnabledChecked = false;
    }
    void disableApply() override { log->add("disableApply"); }
    PluginSettings readPanel() override { return log->panelShows; }
    std::shared_ptr<SeamLog> log;
};

struct RecordingBoxes : bridge::MessageBoxes {
    explicit RecordingBoxes(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    // "box TITLE: TEXT", with " (information)", " (warning)" or " (error)" for an icon.
    void show(std::u16string_view text, std::u16string_view title, std::string_view reason,
              bridge::BoxIcon icon) override {
        static const char* const kIcons[] = {"", " (information)", " (warning)", " (error)"};
        log->reason = std::string(reason);
        log->add("box " + utf16ToUtf8(title) + ": " + utf16ToUtf8(text) + kIcons[int(icon)]);
    }
    std::shared_ptr<SeamLog> log;
};

struct RecordingDnsSd : bridge::DnsSdService {
    explicit RecordingDnsSd(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    void start(uint16_t port, std::string_view type) override {
        log->add("dnssd start " + std::to_string(port) + " " + std::string(type));
        log->dnsSdRunning = true;
    }
    void stopWithoutWaiting() override {
        log->add("dnssd stop");
        log->dnsSdRunning = false;
    }
    bool isRunning() override { return log->dnsSdRunning; }
    std::shared_ptr<SeamLog> log;
};

struct RecordingPower : bridge::PowerActionService {
    explicit RecordingPower(std::shared_ptr<SeamLog> l) : log(std::move(l)) {}
    bool isRunning() override { return log->powerRunning; }
    bool start(uint32_t action) override {
        log->add("power " + std::to_string(action));
        return true;
    }
    std::shared_ptr<SeamLog> log;
};

// --- the library the tests play with -------------------------------------------------------

// Six tracks (keys 100..105) of 10..60 s, two albums; playlists: 7 ordinary {100,101,102},
// 8 a group, 9 smart, 10 ordinary and empty.
medialib::LibraryData smallLibrary();

// --- the fixture ---------------------------------------------------------------------------

class BridgeTest : public ::testing::Test {
protected:
    BridgeTest();
    ~BridgeTest() override;

    // Stores the settings (port 0: a free port) and creates and initialises the control on
    // the host's thread.
    void start(const std::function<void(PluginSettings&)>& tweak = {});
    void destroy();
    uint16_t port();

    // Connects and logs in; the login burst (every message after the login result, up to and
    // with the capabilities) is recorded in `burst`.
    std::unique_ptr<remote::RemoteClient> connectAndLogin(const std::string& password = "");
    // The next message of `type`, skipping others; fails the test on a time-out.
    wire::ReceivedMessage next(remote::RemoteClient& c, uint32_t type);
    // Sends a query and waits for the reply of `type`.
    wire::ReceivedMessage ask(remote::RemoteClient& c, uint8_t sub, uint32_t parameter,
                              uint32_t type);
    // A request that sends no reply has been carried out once a later query is answered
    // (the processing thread handles messages in order).
    void sync(remote::RemoteClient& c);

    // Returns once every event the player has queued so far has reached the control.
    void settlePlayerEvents();
    // The simulated player's state, read under its lock.
    template <class F> auto inPlayer(F f) {
        platform::ScopedLock hold(player->core().lock);
        return f(player->core());
    }
    // Runs on the host's thread.
    void onHost(std::function<void()> fn) { ASSERT_TRUE(host->run(std::move(fn))); }
    // Delivers a system message to the control's window on the host's thread.
    void systemMessage(uint32_t message, uintptr_t wParam);

    platform::ManualClock clock;
    std::filesystem::path scratch;
    std::unique_ptr<simhost::SimPlayer> player;
    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    host::HostObjectPtr root;
    std::shared_ptr<SeamLog> seams = std::make_shared<SeamLog>();
    std::unique_ptr<HostThread> host;
    std::unique_ptr<CTandravoleCtrl> ctrl; // created and destroyed on the host's thread
    bridge::InitResult initResult = bridge::InitResult::Ok;
    bridge::WindowFactory windowFactory; // null: the real one
    // Changes the control's environment before it is created (the real services).
    std::function<void(bridge::ControlEnvironment&)> environment;
    std::vector<uint32_t> burst;
};

} // namespace bridge_test
