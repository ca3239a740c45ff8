#include "server/transport/TcpServer.h"

#include "common/Log.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunk = 2048;         // bytes per recv/send call
constexpr uint32_t kRetryPauseMs = 100; // after a failed wait, before the listener tries again
constexpr uint32_t kKeepAliveIdleMs = 120000;
constexpr uint32_t kKeepAliveIntervalMs = 5000;

ConnectionIdCounter& processConnectionIds() {
    static ConnectionIdCounter counter;
    return counter;
}

// The connection whose thread is running here, if any. A send from inside that thread's own
// callbacks needs no wake-up: the send turn follows in the same pass.
thread_local const TcpClientThread* tCurrentConnection = nullptr;

} // namespace

uint32_t ConnectionIdCounter::next() {
    platform::ScopedLock hold(lock_);
    ++last_;
    if (last_ == 0)
        ++last_;
    return last_;
}

// --- listening thread ------------------------------------------------------------------------

TcpListenThread::~TcpListenThread() {
    stopAndJoin();
    if (socket_ != platform::kInvalidSocket) {
        platform::closeSocket(socket_);
        socket_ = platform::kInvalidSocket;
    }
}

void TcpListenThread::acceptWaiting() {
    platform::SocketHandle s = platform::acceptSocket(socket_);
    if (s == platform::kInvalidSocket)
        return; // woken for nothing, or the peer gave up already
    uint32_t address = 0;
    if (!platform::peerAddressIPv4(s, address) || address == 0) {
        platform::closeSocket(s);
        return;
    }
    platform::setKeepAlive(s, kKeepAliveIdleMs, kKeepAliveIntervalMs);
    platform::setLingerOff(s);
    // Replies are small and interactive; never hold one back waiting for an ACK.
    platform::setNoDelay(s, true);
    server_.acceptConnection(s, address);
}

void TcpListenThread::Run() {
    while (!IsStopRequested()) {
        // Sleeps until a connection comes in, one ends (to be reaped) or a stop is asked for.
        platform::SocketWaiter::Result ready =
            waiter_->wait(platform::kInfinite, false, stopEvent());
        if (ready.stopped)
            break;
        if (ready.failed) {
            logEvent(LogKind::Error, "waiting on the listening socket failed");
            server_.reapFinished();
            if (WaitForStopRequest(kRetryPauseMs))
                break;
            continue;
        }
        try {
            if (ready.readable)
                acceptWaiting();
            server_.reapFinished();
        } catch (...) {
            // The listener goes on with the next connection.
            logCaughtException("the listening thread");
        }
    }
    platform::shutdownBoth(socket_);
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
    server_.boundPort_ = 0;
}

// --- connection thread -----------------------------------------------------------------------

TcpClientThread::TcpClientThread(platform::SocketHandle socket, uint32_t id, TcpServer& server,
                                 uint8_t flushOnClose)
    : socket_(socket), id_(id), server_(server), flushOnClose_(flushOnClose),
      waiter_(std::make_unique<platform::SocketWaiter>(socket)) {}

TcpClientThread::~TcpClientThread() {
    stopAndJoin();
    // A connection whose thread never ran still owns its socket.
    if (socket_ != platform::kInvalidSocket) {
        platform::closeSocket(socket_);
        socket_ = platform::kInvalidSocket;
    }
    waiter_.reset();
    {
        platform::ScopedLock hold(receiveLock_);
        std::deque<uint8_t>().swap(receiveBuffer_);
    }
    platform::ScopedLock hold(sendLock_);
    std::deque<uint8_t>().swap(sendBuffer_);
}

void TcpClientThread::wake() {
    if (waiter_)
        waiter_->wake();
}

void TcpClientThread::requestStop() {
    stopAsked_ = true;
    Stop(false);
    wake();
}

bool TcpClientThread::sendTurn(bool& blocked) {
    blocked = false;
    uint8_t chunk[kChunk];
    for (;;) {
        size_t count;
        {
            platform::ScopedLock hold(sendLock_);
            count = std::min(kChunk, sendBuffer_.size());
            std::copy_n(sendBuffer_.begin(), count, chunk);
        }
        if (count == 0)
            return true;
        // The socket call runs without the lock so that senders never wait for the network.
        // Only this thread removes bytes, so the front is still the chunk just copied.
        int sent = platform::sendSome(socket_, chunk, count);
        if (sent < 0) {
            if (platform::lastErrorWouldBlock()) {
                blocked = true;
                return true;
            }
            return false;
        }
        platform::ScopedLock hold(sendLock_);
        if (outputDropped_)
            return true; // send() dropped the backlog meanwhile; the thread is stopping
        sendBuffer_.erase(sendBuffer_.begin(), sendBuffer_.begin() + sent);
    }
}

bool TcpClientThread::queue(const uint8_t* bytes, uint32_t count, size_t limit) {
    size_t unsent;
    {
        platform::ScopedLock hold(sendLock_);
        if (outputDropped_)
            return false;
        if (sendBuffer_.size() <= limit) {
            sendBuffer_.insert(sendBuffer_.end(), bytes, bytes + count);
            return true;
        }
        // A peer that has left this much unread is treated like one whose socket send failed:
        // the connection ends and what it has not taken is dropped, here and now, so the
        // memory comes back at once. An app that connects again asks for the state afresh.
        unsent = sendBuffer_.size();
        outputDropped_ = true;
        std::deque<uint8_t>().swap(sendBuffer_);
    }
    logLazy(LogKind::Connection, [&] {
        return connectionName(id_) + " ended: the app left " + std::to_string(unsent) +
               " bytes unread";
    });
    requestStop();
    return false;
}

void TcpClientThread::flushBeforeClose() {
    platform::ScopedLock hold(sendLock_);
    uint8_t chunk[kChunk];
    int idleSends = 0;
    while (!sendBuffer_.empty()) {
        size_t count = std::min(kChunk, sendBuffer_.size());
        std::copy_n(sendBuffer_.begin(), count, chunk);
        int sent = platform::sendSome(socket_, chunk, count);
        if (sent < 0 && !platform::lastErrorWouldBlock())
            break;
        if (sent <= 0) {
            // Nothing left the socket: give the peer a moment, at most ten times.
            if (++idleSends >= 10)
                break;
            platform::sleepMs(25);
            continue;
        }
        sendBuffer_.erase(sendBuffer_.begin(), sendBuffer_.begin() + sent);
    }
}

void TcpClientThread::Run() {
    tCurrentConnection = this;
    platform::setNonBlocking(socket_, true);
    bool error = false;
    try {
        error = !serve();
    } catch (...) {
        // A failure inside a callback ends this connection like a socket error; the
        // connection still closes, leaves the map and is reported closed.
        logCaughtException(connectionName(id_));
        error = true;
    }

    if (flushOnClose_ && !error) {
        flushBeforeClose();
    } else if (!error) {
        // Stopped without flushing: what the socket takes at once still leaves, however the
        // stop and the last send() fell around the last pass; the rest is dropped.
        bool blocked = false;
        sendTurn(blocked);
    }
    platform::shutdownBoth(socket_);
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
    server_.removeConnection(id_);
    {
        platform::ScopedLock hold(server_.delegateLock_);
        if (server_.delegate_)
            server_.delegate_->clientClosed(&server_, id_);
    }
    {
        platform::ScopedLock hold(receiveLock_);
        receiveBuffer_.clear();
    }
    platform::ScopedLock hold(sendLock_);
    sendBuffer_.clear();
}

bool TcpClientThread::serve() {
    uint8_t chunk[kChunk];
    bool error = false;
    bool wantWrite = false;
    while (!IsStopRequested()) {
        // Sleeps until bytes arrive, queued bytes can leave, send() wakes it or a stop comes.
        // A pass woken by a stop still runs, so that bytes queued just before it (the notice to
        // an app being taken over) leave.
        platform::SocketWaiter::Result ready =
            waiter_->wait(platform::kInfinite, wantWrite, stopEvent());
        if (ready.failed) {
            Stop(false);
            error = true;
            continue;
        }
        if (ready.readable) {
            int received = platform::recvSome(socket_, chunk, kChunk);
            if (received > 0) {
                {
                    platform::ScopedLock hold(receiveLock_);
                    receiveBuffer_.insert(receiveBuffer_.end(), chunk, chunk + received);
                }
                platform::ScopedLock hold(server_.delegateLock_);
                if (server_.delegate_)
                    server_.delegate_->dataReceived(&server_, id_, uint32_t(received));
            } else if (received == 0 || !platform::lastErrorWouldBlock()) {
                // Orderly close or a receive error: pending output is dropped.
                Stop(false);
                flushOnClose_ = 0;
                error = true;
                continue;
            }
        }
        bool blocked = false;
        if (!sendTurn(blocked)) {
            Stop(false);
            error = true;
            continue;
        }
        wantWrite = blocked;
    }
    return !error;
}

// --- server ----------------------------------------------------------------------------------

TcpServer::TcpServer() : listenThread_(*this) {}

TcpServer::~TcpServer() {
    {
        platform::ScopedLock hold(delegateLock_);
        delegate_ = nullptr;
    }
    listenThread_.Stop(true);
    stopAll(true);
    reapFinished();
    platform::ScopedLock hold(mapLock_);
    connections_.clear();
}

void TcpServer::setDelegate(TcpServerDelegate* delegate) {
    platform::ScopedLock hold(delegateLock_);
    delegate_ = delegate;
}

bool TcpServer::listen(uint16_t port) {
    if (listenThread_.IsRunning())
        return false;
    platform::SocketHandle s = platform::listenTcp4(port, &listenError_);
    if (s == platform::kInvalidSocket)
        return false;
    auto waiter = std::make_unique<platform::SocketWaiter>(s);
    if (!waiter->valid()) {
        listenError_ = platform::lastSocketError("socket waiter");
        platform::closeSocket(s);
        return false;
    }
    {
        // Ending connections wake the old waiter under this lock.
        platform::ScopedLock hold(mapLock_);
        listenThread_.waiter_ = std::move(waiter);
    }
    listenThread_.socket_ = s;
    boundPort_ = platform::socketLocalPort(s);
    if (!listenThread_.Start()) {
        listenError_ = {platform::SocketErrorKind::Other, 0, "thread",
                        "the listening thread could not be started"};
        platform::closeSocket(s);
        listenThread_.socket_ = platform::kInvalidSocket;
        boundPort_ = 0;
        return false;
    }
    return true;
}

uint16_t TcpServer::boundPort() {
    return boundPort_;
}

void TcpServer::acceptConnection(platform::SocketHandle s, uint32_t peerAddress) {
    std::shared_ptr<TcpClientThread> connection = createConnection(s);
    if (!connection) {
        platform::closeSocket(s);
        return;
    }
    platform::ScopedLock hold(delegateLock_);
    // Without a delegate (only while the owner is going away) the connection is refused too:
    // it must not sit unstarted in the map, where stopAll would wait for it forever. So is a
    // connection whose delegate call failed.
    bool accepted = false;
    try {
        accepted = delegate_ && delegate_->clientAccepted(this, connection->id(), peerAddress);
    } catch (...) {
        logCaughtException("accepting connection " + std::to_string(connection->id()));
    }
    if (accepted) {
        // Started under the map lock, where stopAll and stopConnection ask threads to stop. A
        // stop asked for while the delegate was deciding found no thread yet; the new thread
        // then ends at once through the usual closing path (and reports its close).
        platform::ScopedLock map(mapLock_);
        if (connection->Start()) {
            if (connection->stopAsked_ || listenThread_.IsStopRequested())
                connection->requestStop();
            return;
        }
    }
    platform::closeSocket(s);
    connection->socket_ = platform::kInvalidSocket;
    removeConnection(connection->id());
}

std::shared_ptr<TcpClientThread> TcpServer::createConnection(platform::SocketHandle socket) {
    platform::ScopedLock hold(mapLock_);
    if (connections_.size() >= maximumConnections_)
        return nullptr;
    uint32_t id = processConnectionIds().next();
    auto connection = std::make_shared<TcpClientThread>(socket, id, *this, flushOnClose_);
    connections_[id] = connection;
    return connection;
}

void TcpServer::removeConnection(uint32_t id) {
    platform::ScopedLock hold(mapLock_);
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    {
        platform::ScopedLock fifo(finishedLock_);
        finished_.push_back(it->second);
    }
    connections_.erase(it);
    // The listening thread joins and releases it now rather than at its next connection.
    if (listenThread_.waiter_)
        listenThread_.waiter_->wake();
}

void TcpServer::reapFinished() {
    // Joined outside the FIFO lock: an ending thread may still be on its way through the
    // map lock into the FIFO, and must not wait for us while we wait for another one.
    std::deque<std::shared_ptr<TcpClientThread>> reaped;
    {
        platform::ScopedLock hold(finishedLock_);
        reaped.swap(finished_);
    }
    for (auto& connection : reaped)
        connection->Stop(true);
}

bool TcpServer::send(uint32_t connectionId, const void* bytes, uint32_t count) {
    platform::ScopedLock hold(mapLock_);
    auto it = connections_.find(connectionId);
    if (it == connections_.end())
        return false;
    TcpClientThread& connection = *it->second;
    if (!connection.queue(static_cast<const uint8_t*>(bytes), count, sendBacklogLimit_))
        return false;
    if (tCurrentConnection != &connection)
        connection.wake();
    return true;
}

size_t TcpServer::queuedBytes(uint32_t connectionId) {
    platform::ScopedLock hold(mapLock_);
    auto it = connections_.find(connectionId);
    if (it == connections_.end())
        return 0;
    platform::ScopedLock buffer(it->second->sendLock_);
    return it->second->sendBuffer_.size();
}

uint32_t TcpServer::read(uint32_t connectionId, void* out, uint32_t maximum) {
    platform::ScopedLock hold(mapLock_);
    auto it = connections_.find(connectionId);
    if (it == connections_.end())
        return 0;
    TcpClientThread& connection = *it->second;
    platform::ScopedLock buffer(connection.receiveLock_);
    uint32_t count = uint32_t(std::min<size_t>(maximum, connection.receiveBuffer_.size()));
    std::copy_n(connection.receiveBuffer_.begin(), count, static_cast<uint8_t*>(out));
    connection.receiveBuffer_.erase(connection.receiveBuffer_.begin(),
                                    connection.receiveBuffer_.begin() + count);
    return count;
}

bool TcpServer::stopConnection(uint32_t connectionId) {
    platform::ScopedLock hold(mapLock_);
    auto it = connections_.find(connectionId);
    if (it == connections_.end())
        return false;
    it->second->requestStop();
    return true;
}

void TcpServer::stopAll(bool wait) {
    listenThread_.Stop(wait);
    {
        platform::ScopedLock hold(mapLock_);
        for (auto& [id, connection] : connections_)
            connection->requestStop();
    }
    if (!wait)
        return;
    for (;;) {
        if (mapLock_.tryEnter()) {
            size_t count = connections_.size();
            mapLock_.leave();
            if (count == 0)
                return;
        }
        platform::sleepMs(10);
    }
}

size_t TcpServer::connectionCount() {
    platform::ScopedLock hold(mapLock_);
    return connections_.size();
}

size_t TcpServer::finishedCount() {
    platform::ScopedLock hold(finishedLock_);
    return finished_.size();
}
