// TCP transport: accepts IPv4 connections on one port, runs one thread per connection,
// buffers bytes in both directions and reports to one TcpServerDelegate.
//
// Lock order (outer first): delegate lock -> map lock -> one connection's send-buffer or
// receive-buffer lock; map lock -> finished-FIFO lock; map lock -> id-counter lock.
// The delegate is always called with the delegate lock held and may call send() and read()
// from inside. stopAll(true) must not be called with the delegate lock held: a connection
// thread waiting for that lock could never leave the map.
//
// Waiting: every thread sleeps until something happens, with no time-out. The listening
// thread waits for its socket (a connection to accept), its stop event and a wake-up that an
// ending connection raises so that it is joined and released at once. A connection thread
// waits for its socket (bytes to read, or room to write once a send would have blocked), its
// stop event and a wake-up that send() raises.
//
// Sending: send() only queues bytes and wakes the connection's thread, which writes them on
// its next pass. Each pass reads what has arrived, reports it, then writes what is queued, so
// replies leave even while the peer keeps sending. No sender ever waits for a slow peer.
//
// Backlog: a peer that stops reading cannot make its send buffer grow without end. A send()
// to a connection that already holds more than the backlog limit (64 MiB unless set) of
// unsent bytes is refused and ends the connection as a failed socket send would: its queued
// output is dropped at once and its thread closes it. The limit is checked before the
// append, so one message larger than the limit still goes to a connection that keeps up.
#pragma once

#include "platform/Socket.h"
#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>

class TcpServer;

// Hands out connection ids: 1 first, then counting up; 0 never names a connection (owners use
// it for "none"), also when the count wraps. Thread-safe. The transport uses one counter for
// the whole process, so an id is never reused while its connection could still be known.
class ConnectionIdCounter {
public:
    explicit ConnectionIdCounter(uint32_t last = 0) : last_(last) {}
    uint32_t next();

private:
    platform::CriticalSection lock_;
    uint32_t last_;
};

class TcpServerDelegate {
public:
    // Listening thread, for every accepted IPv4 connection, before its thread starts.
    // peerAddress is in network byte order. Returning false closes the connection.
    virtual bool clientAccepted(TcpServer* server, uint32_t connectionId, uint32_t peerAddress) = 0;
    // Connection thread, after its socket is closed and it has left the map.
    virtual void clientClosed(TcpServer* server, uint32_t connectionId) = 0;
    // Connection thread, each time count bytes (1..2048) were appended to its receive buffer.
    virtual void dataReceived(TcpServer* server, uint32_t connectionId, uint32_t count) = 0;
    virtual ~TcpServerDelegate() = default;
};

class TcpListenThread : public ThreadWinApi {
public:
    explicit TcpListenThread(TcpServer& server) : server_(server) {}
    ~TcpListenThread() override;
    void Run() override;

private:
    friend class TcpServer;
    // One pass: accepts a waiting connection, if any. Runs under the thread's exception guard.
    void acceptWaiting();

    platform::SocketHandle socket_ = platform::kInvalidSocket;
    TcpServer& server_;
    // Waits for socket_; replaced by listen() while the thread is not running, and woken by
    // ending connections, both under the server's map lock.
    std::unique_ptr<platform::SocketWaiter> waiter_;
};

class TcpClientThread : public ThreadWinApi {
public:
    TcpClientThread(platform::SocketHandle socket, uint32_t id, TcpServer& server,
                    uint8_t flushOnClose);
    ~TcpClientThread() override;
    void Run() override;

    uint32_t id() const { return id_; }

private:
    friend class TcpServer;

    // The receive and send loop; false when it ended on an error (pending output is then
    // dropped).
    bool serve();
    // Sends what the send buffer holds until it is empty or the socket would block.
    // Returns false on a send error other than would-block.
    bool sendTurn(bool& blocked);
    void flushBeforeClose();
    void wake();
    // send(): under sendLock_. Appends, or, past the limit, drops the backlog and asks the
    // thread to stop (the caller holds the map lock). False when refused.
    bool queue(const uint8_t* bytes, uint32_t count, size_t limit);
    // Asks the thread to stop without waiting and remembers that it was asked, in case the
    // thread has not started yet. Called under the server's map lock only.
    void requestStop();

    platform::SocketHandle socket_;
    uint32_t id_;
    TcpServer& server_;
    uint8_t flushOnClose_;
    platform::CriticalSection receiveLock_;
    std::deque<uint8_t> receiveBuffer_;
    platform::CriticalSection sendLock_;
    std::deque<uint8_t> sendBuffer_;
    bool outputDropped_ = false; // under sendLock_: the backlog limit ended the connection
    std::unique_ptr<platform::SocketWaiter> waiter_;
    bool stopAsked_ = false; // under the server's map lock
};

class TcpServer {
public:
    TcpServer();
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    void setDelegate(TcpServerDelegate* delegate);

    // Opens the listening socket on every local IPv4 address and starts the listening thread.
    // False when it already runs or any step fails. Port 0 picks a free port (see boundPort).
    bool listen(uint16_t port);
    // Why the last listen() that tried to open a socket failed (the port is in use, permission
    // was denied, or another error, with the system's code and text); kind None after one
    // that succeeded. A listen() refused because the thread already runs leaves it alone.
    // Read it on the thread that calls listen().
    platform::SocketError lastListenError() const { return listenError_; }
    // The port the listening socket is bound to; 0 when not listening.
    uint16_t boundPort();

    // Queues bytes for the connection; its own thread writes them. False for an unknown id.
    bool send(uint32_t connectionId, const void* bytes, uint32_t count);
    // Moves up to maximum received bytes into out; returns how many (0 for an unknown id).
    uint32_t read(uint32_t connectionId, void* out, uint32_t maximum);

    // Asks one connection's thread to stop without waiting; false for an unknown id. Takes
    // only the map lock, so it may be called from inside the delegate.
    bool stopConnection(uint32_t connectionId);

    // Stops listening and asks every connection to stop; with wait, returns once no
    // connection is left in the map.
    void stopAll(bool wait);

    void setMaximumConnections(uint32_t maximum) { maximumConnections_ = maximum; }
    void setFlushOnClose(uint8_t flush) { flushOnClose_ = flush; }
    // Unsent bytes a connection may hold before the next send() to it ends it (see Backlog).
    static constexpr size_t kDefaultSendBacklogLimit = size_t(64) << 20;
    void setSendBacklogLimit(size_t bytes) { sendBacklogLimit_ = bytes; }

    // Bytes queued for the connection that its socket has not taken yet; 0 for an unknown id.
    size_t queuedBytes(uint32_t connectionId);

    // Number of connections in the map, and of ended ones not yet reaped (owners, tests).
    size_t connectionCount();
    size_t finishedCount();

private:
    friend class TcpListenThread;
    friend class TcpClientThread;

    // Listening thread: registers an accepted socket and asks the delegate about it.
    void acceptConnection(platform::SocketHandle socket, uint32_t peerAddress);
    std::shared_ptr<TcpClientThread> createConnection(platform::SocketHandle socket);
    void removeConnection(uint32_t id);
    void reapFinished();

    TcpServerDelegate* delegate_ = nullptr;
    platform::CriticalSection delegateLock_;
    TcpListenThread listenThread_;
    std::atomic<uint16_t> boundPort_{0};
    platform::SocketError listenError_; // the owner's thread only
    std::map<uint32_t, std::shared_ptr<TcpClientThread>> connections_;
    platform::CriticalSection mapLock_;
    std::deque<std::shared_ptr<TcpClientThread>> finished_;
    platform::CriticalSection finishedLock_;
    uint32_t maximumConnections_ = 2;
    uint8_t flushOnClose_ = 0;
    std::atomic<size_t> sendBacklogLimit_{kDefaultSendBacklogLimit};
};
