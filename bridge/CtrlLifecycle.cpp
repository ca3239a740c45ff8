// The control's construction, Init and teardown.
#include "bridge/TandravoleCtrl.h"

#include "common/Log.h"
#include "common/Utf.h"
#include "platform/Socket.h"
#include "server/wire/Commands.h"

#include <utility>

namespace {

template <class T> std::unique_ptr<T> orDefault(std::unique_ptr<T> given) {
    return given ? std::move(given) : std::make_unique<T>();
}

// "bind: Address already in use (98)": the step that failed and the system's own words.
std::string listenFailureReason(const platform::SocketError& error) {
    if (error.kind == platform::SocketErrorKind::None)
        return "the listening thread could not be started";
    std::string reason = error.call.empty() ? error.text : error.call + ": " + error.text;
    return reason + " (" + std::to_string(error.code) + ")";
}

} // namespace

CTandravoleCtrl::CTandravoleCtrl(bridge::ControlEnvironment environment)
    : clock_(environment.clock ? environment.clock : &platform::systemClock()),
      windowFactory_(environment.windowFactory ? std::move(environment.windowFactory)
                                               : bridge::WindowFactory(bridge::createHostWindow)),
      panel_(orDefault(std::move(environment.panel))),
      messageBoxes_(orDefault(std::move(environment.messageBoxes))),
      dnsSd_(orDefault(std::move(environment.dnsSd))),
      updateCheck_(orDefault(std::move(environment.updateCheck))),
      powerActions_(orDefault(std::move(environment.powerActions))),
      settingsForThisRun_(std::move(environment.settingsForThisRun)),
      socketStartup_(environment.socketStartup ? std::move(environment.socketStartup)
                                               : std::function<bool()>(platform::socketStartup)),
      socketCleanup_(environment.socketCleanup ? std::move(environment.socketCleanup)
                                               : std::function<void()>(platform::socketCleanup)),
      server_(std::make_unique<WinampControlServer>()) {
    // The random-track command draws on the host's thread from a generator seeded here, on
    // the same thread, with the tick count.
    random_.seed(clock_->tickCount());
}

bridge::InitResult CTandravoleCtrl::Init(host::HostObjectPtr root) {
    if (!root)
        return bridge::InitResult::NullRoot;
    // One Init per control: the event sink is advised once, the window created once, and the
    // server's threads may already be using the root object.
    if (initialised_)
        return bridge::InitResult::AlreadyInitialised;
    initialised_ = true;
    root_ = std::move(root);

    // Without events the control still works; it only pushes nothing on its own.
    if (root_->advise(this, sinkCookie_) == host::HostStatus::Ok)
        sinkAdvised_ = true;
    else
        logEvent(LogKind::Error, "the player's events could not be advised");

    if (!window_) {
        window_ = windowFactory_(
            [this](uint32_t m, uintptr_t w, intptr_t l) { return windowProcedure(m, w, l); });
        if (!window_)
            logEvent(LogKind::Error, "the hidden window could not be created");
    }
    // The player sends its status message to the registered window.
    if (window_)
        host::callMethod(root_.get(), host::RootOp::RegisterWindow, {window_->handle(), 1});

    PluginSettings stored;
    LoadSettings(stored);
    {
        platform::ScopedLock hold(settingsLock_);
        settings_ = stored;
    }
    PluginSettings loaded = stored; // what the server runs with
    if (settingsForThisRun_)
        settingsForThisRun_(loaded);

    // Only a start that succeeded holds a reference the destructor gives back: the sockets
    // library is counted per process, and the player may use it too.
    socketsStarted_ = socketStartup_();
    server_->setAllCapabilities();
    server_->setDelegate(this);
    server_->setPassword(utf16ToUtf8(loaded.password));
    server_->setAllowKick(loaded.allowKick);
    const bool serverFailed = loaded.enabled && !startServer(loaded);

    updateCheck_->start(*this);
    panel_->initPanel();
    panel_->fillPanel(stored);
    // Filling shows the stored "enabled"; a server that could not start stays unchecked.
    if (serverFailed)
        panel_->clearServerEnabled();
    panel_->disableApply();
    return bridge::InitResult::Ok;
}

bool CTandravoleCtrl::startServer(const PluginSettings& settings) {
    if (!server_->listen(settings.port)) {
        messageBoxes_->show(bridge::kStartFailureText, bridge::kMessageTitle,
                            listenFailureReason(server_->transport().lastListenError()),
                            bridge::BoxIcon::None);
        if (dnsSd_->isRunning())
            dnsSd_->stopWithoutWaiting();
        panel_->clearServerEnabled();
        return false;
    }
    // The port the server listens on: the configured one, or the one the system chose for a
    // configured 0 (the Linux host's --port 0).
    if (settings.bonjour)
        dnsSd_->start(server_->boundPort(), bridge::kServiceType);
    else if (dnsSd_->isRunning())
        dnsSd_->stopWithoutWaiting();
    return true;
}

CTandravoleCtrl::~CTandravoleCtrl() {
    // From here on every handler answers 0 at once and no delegate operation sends.
    tearingDown_ = true;

    // The server's threads (and the update check, which reads the server) may be blocked in
    // a send to the hidden window right now: stop them while the host's thread keeps
    // answering, so neither waits for the other.
    // server_ keeps pointing at the server while it is destroyed: its threads, until they are
    // joined, still call the delegate, which pushes through it.
    auto stopThreads = [this] {
        updateCheck_->stop();
        delete server_.get();
        server_.release();
    };
    if (window_)
        window_->pumpWhile(stopThreads);
    else
        stopThreads();
    if (socketsStarted_)
        socketCleanup_();

    if (dnsSd_->isRunning())
        dnsSd_->stopWithoutWaiting();
    if (window_)
        window_->close();
    if (sinkAdvised_)
        root_->unadvise(sinkCookie_);

    releaseSearchResult();
    {
        platform::ScopedLock hold(settingsLock_);
        settings_.password.clear();
    }
    root_.reset();
    {
        platform::ScopedLock hold(presetsLock_);
        presets_.clear();
    }
    window_.reset();
    dnsSd_.reset();
    powerActions_.reset();
    updateCheck_.reset();
}

PluginSettings CTandravoleCtrl::settings() {
    platform::ScopedLock hold(settingsLock_);
    return settings_;
}

void CTandravoleCtrl::updateSettings(const std::function<void(PluginSettings&)>& change) {
    platform::ScopedLock hold(settingsLock_);
    change(settings_);
}

bool CTandravoleCtrl::clientLoggedIn() {
    return server_->loggedIn();
}

void CTandravoleCtrl::CheckForUpdateNow() {
    updateCheck_->checkNow(*this);
}

void CTandravoleCtrl::ApplySettings() {
    panel_->disableApply();
    // The panel's record carries no last check and no pending notice: both become 0, in the
    // store and in memory.
    const PluginSettings fresh = panel_->readPanel();
    SaveSettings(fresh);
    {
        platform::ScopedLock hold(settingsLock_);
        settings_ = fresh;
    }

    WinampControlServer& server = *server_;
    {
        platform::ScopedLock hold(server.sessionLock());
        if (server.loggedIn())
            server.sendServerNotice(wire::NOTICE_SETTINGS_CHANGED);
        server.kickSession();
    }
    // Connection threads may be waiting in a send to this thread (a login's snapshot): keep
    // answering while they are stopped and joined.
    auto stopConnections = [&server] { server.transport().stopAll(true); };
    if (window_)
        window_->pumpWhile(stopConnections);
    else
        stopConnections();
    {
        platform::ScopedLock hold(server.sessionLock());
        server.kickSession();
    }

    server.setPassword(utf16ToUtf8(fresh.password));
    server.setAllowKick(fresh.allowKick);
    if (dnsSd_->isRunning())
        dnsSd_->stopAndWait();
    if (fresh.enabled)
        startServer(fresh);
}

intptr_t CTandravoleCtrl::send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (tearingDown_ || !window_)
        return 0;
    return window_->send(message, wParam, lParam);
}
