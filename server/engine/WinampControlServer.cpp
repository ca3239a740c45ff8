// Construction and teardown, configuration, the session state and its transitions (accept,
// close, kick), the receive path into the parse buffer, and the send rule. Login and the
// challenge are in WinampControlServerLogin.cpp, the sending operations in
// WinampControlServerPushes.cpp, the handlers in WinampControlServerDispatch.cpp.
#include "server/engine/WinampControlServer.h"

#include "common/Log.h"
#include "platform/Clock.h"
#include "server/engine/Guarded.h"
#include "server/wire/Messages.h"

using namespace wire;

namespace {
constexpr size_t kLocalReceive = 256;
} // namespace

WinampControlServer::WinampControlServer()
    : random_(std::random_device{}() ^ platform::tickCount()) {
    transport_.setDelegate(this);
    transport_.setMaximumConnections(2);
    transport_.setFlushOnClose(0);
    for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12})
        capabilities_[i] = 1;
    keepalive_ = std::make_unique<WinampKeepaliveThread>(this);
    processor_ = std::make_unique<MessageProcessorThread>(*this);
    processor_->Start();
    coverLoader_ = std::make_unique<CoverLoader>(*this);
}

WinampControlServer::~WinampControlServer() {
    transport_.setDelegate(nullptr);
    {
        platform::ScopedLock hold(sessionLock_);
        if (session_)
            transport_.stopConnection(session_);
    }
    transport_.stopAll(true);
    keepalive_->Stop(true);
    processor_->clear();
    processor_->Stop(true);
    coverLoader_->resetCoverLoader();
    processor_.reset();
    keepalive_.reset();
    coverLoader_.reset();
}

// --- configuration and state -----------------------------------------------------------------

void WinampControlServer::setPassword(const std::string& utf8) {
    platform::ScopedLock hold(sessionLock_);
    password_ = utf8;
}

void WinampControlServer::setAllowKick(bool allow) {
    platform::ScopedLock hold(sessionLock_);
    allowKick_ = allow ? 1 : 0;
}

void WinampControlServer::setCapabilityFlag(size_t index, bool on) {
    platform::ScopedLock hold(sessionLock_);
    if (index < capabilities_.size())
        capabilities_[index] = on ? 1 : 0;
}

void WinampControlServer::setAllCapabilities() {
    platform::ScopedLock hold(sessionLock_);
    capabilities_.fill(1);
}

uint64_t WinampControlServer::capabilityMask() {
    platform::ScopedLock hold(sessionLock_);
    return wire::capabilityMask(capabilities_);
}

bool WinampControlServer::loggedIn() {
    platform::ScopedLock hold(sessionLock_);
    return loggedIn_ != 0;
}

bool WinampControlServer::quiet() {
    platform::ScopedLock hold(sessionLock_);
    return quiet_ != 0;
}

bool WinampControlServer::extendedLists() {
    platform::ScopedLock hold(sessionLock_);
    return extendedLists_ != 0;
}

uint32_t WinampControlServer::sessionConnection() {
    platform::ScopedLock hold(sessionLock_);
    return session_;
}

bool WinampControlServer::powerActionsAllowed() {
    platform::ScopedLock hold(sessionLock_);
    return passwordUsed_ != 0;
}

void WinampControlServer::kickSession() {
    platform::ScopedLock hold(sessionLock_);
    if (session_) {
        logLazy(LogKind::Session, [&] { return connectionName(session_) + " kicked"; });
        transport_.stopConnection(session_);
    }
    loggedIn_ = 0;
    quiet_ = 0;
    passwordUsed_ = 0;
    extendedLists_ = 0;
    session_ = 0;
}

// --- transport callbacks ---------------------------------------------------------------------

bool WinampControlServer::clientAccepted(TcpServer*, uint32_t connectionId, uint32_t) {
    platform::ScopedLock parse(parseLock_);
    platform::ScopedLock hold(sessionLock_);
    if (session_) {
        if (!allowKick_) {
            logLazy(LogKind::Connection, [&] {
                return connectionName(connectionId) + " refused: " + connectionName(session_) +
                       " holds the session";
            });
            return false;
        }
        logLazy(LogKind::Session, [&] {
            return connectionName(connectionId) + " takes the session over from " +
                   connectionName(session_);
        });
        if (loggedIn_) {
            ServerNoticeMessage notice;
            notice.reason = NOTICE_TAKEN_OVER;
            std::vector<uint8_t> frame = encodeFrame(notice);
            transport_.send(session_, frame.data(), uint32_t(frame.size()));
        }
        kickSession();
    }
    // Complete frames are cut out as they arrive, and a closed session empties the buffer, so
    // anything in it now is the start of a frame of an app that was taken over or kicked. The
    // rest of it will never be read (see dataReceived), and it must not swallow the new app's
    // first bytes.
    parseBuffer_.clear();
    // Password used stays as the latest login attempt left it; only kickSession clears it.
    quiet_ = 0;
    session_ = connectionId;
    logLazy(LogKind::Connection, [&] { return connectionName(connectionId) + " accepted"; });
    tellDelegate(connectionId, "onClientConnected",
                 [](WinampControlServerDelegate& d) { d.onClientConnected(); });
    sendHello(connectionId);
    return true;
}

void WinampControlServer::clientClosed(TcpServer*, uint32_t connectionId) {
    bool kicked;
    {
        platform::ScopedLock hold(sessionLock_);
        kicked = connectionId != session_;
        if (kicked && session_ != 0)
            return;
        loggedIn_ = 0;
        session_ = 0;
    }
    if (kicked) {
        // A connection ended by kickSession, its session cleared already: what that session
        // left stays as kickSession left it, except the cover loader's threads. With no session
        // after it they stop now, rather than idle on until some later session ends.
        coverLoader_->resetCoverLoader();
        return;
    }
    logLazy(LogKind::Connection,
            [&] { return connectionName(connectionId) + " closed, the session ended"; });
    tellDelegate(connectionId, "onClientDisconnected",
                 [](WinampControlServerDelegate& d) { d.onClientDisconnected(); });
    {
        platform::ScopedLock hold(parseLock_);
        parseBuffer_.clear();
    }
    coverLoader_->resetCoverLoader();
    processor_->clear();
    keepalive_->Stop(false);
}

void WinampControlServer::dataReceived(TcpServer* server, uint32_t connectionId, uint32_t count) {
    uint8_t local[kLocalReceive];
    std::vector<uint8_t> heap;
    uint8_t* buffer = local;
    if (count > kLocalReceive) {
        heap.resize(count);
        buffer = heap.data();
    }
    uint32_t n = server->read(connectionId, buffer, count);
    if (n == 0)
        return;
    platform::ScopedLock hold(parseLock_);
    {
        // Only the session's bytes are parsed: a connection that was taken over or kicked is
        // on its way out, and what it still sends would otherwise act on the session that
        // followed it (a late login answered to the new app, a request half in the buffer).
        platform::ScopedLock session(sessionLock_);
        if (connectionId != session_)
            return;
    }
    parseBuffer_.append(buffer, n);
    // Queued messages of one receive go to the processing thread together; an immediate one
    // first hands over those before it, so the queue keeps arrival order.
    std::vector<ReceivedMessage> queued;
    ReceivedMessage message;
    while (parseBuffer_.next(message)) {
        if (isImmediate(message.type)) {
            processor_->enqueueAll(queued);
            dispatch(message);
        } else {
            queued.push_back(std::move(message));
        }
        message = ReceivedMessage{};
    }
    processor_->enqueueAll(queued);
}

// --- the send rule ---------------------------------------------------------------------------

bool WinampControlServer::permits(Rule rule) {
    platform::ScopedLock hold(sessionLock_);
    return session_ && loggedIn_ && (rule == Rule::LoggedIn || !quiet_);
}

bool WinampControlServer::sendToSession(const uint8_t* bytes, uint32_t count) {
    uint32_t session;
    {
        platform::ScopedLock hold(sessionLock_);
        session = session_;
    }
    return session && transport_.send(session, bytes, count);
}

void WinampControlServer::sendFrame(Rule rule, const std::vector<uint8_t>& frame) {
    if (permits(rule))
        sendToSession(frame);
}

void WinampControlServer::tellDelegate(
    uint32_t connectionId, const char* name,
    const std::function<void(WinampControlServerDelegate&)>& event) {
    if (WinampControlServerDelegate* d = delegate_)
        runGuarded(
            LogKind::Error,
            [&] { return connectionName(connectionId) + ": the delegate's " + name + " failed"; },
            [&] { event(*d); });
}
