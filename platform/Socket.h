// Thin socket shim over Winsock 2 and BSD sockets. Callers never see an #ifdef: every
// platform difference is behind one of these functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// SOCKET on Windows (an unsigned pointer-sized value), an int descriptor elsewhere; stored
// widened so both fit. All bits set means no socket.
using SocketHandle = uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

// Winsock must be initialised once per process before any socket call; no-op on POSIX.
bool socketStartup();
void socketCleanup();

// Resolves the port for every local IPv4 address (getaddrinfo, passive, AF_INET, TCP),
// creates a non-blocking socket, binds it, switches linger off and listens with SOMAXCONN.
// Returns kInvalidSocket (and leaves nothing open) when any step fails.
SocketHandle listenTcp4(uint16_t port);

// The local port a socket is bound to (0 when unknown).
uint16_t socketLocalPort(SocketHandle s);

// Waits up to timeoutUs for the socket to become readable: 1 ready, 0 time-out, -1 failure.
int selectReadable(SocketHandle s, uint32_t timeoutUs);

// Accepts without asking for the address; kInvalidSocket on failure. The accepted socket is
// blocking on POSIX (as on Windows, where it inherits nothing from a non-blocking listener
// but event selection); callers set what they need.
SocketHandle acceptSocket(SocketHandle listener);

// The peer's IPv4 address in network byte order. False when the query fails or the peer
// is not IPv4.
bool peerAddressIPv4(SocketHandle s, uint32_t& addressNetworkOrder);

// TCP keep-alive on with the given idle time before the first probe and probe interval.
bool setKeepAlive(SocketHandle s, uint32_t idleMs, uint32_t intervalMs);
bool setLingerOff(SocketHandle s);
bool setNonBlocking(SocketHandle s, bool on);
bool setNoDelay(SocketHandle s, bool on);

// recv/send: bytes moved, 0 for an orderly close (recv), -1 on error.
int recvSome(SocketHandle s, void* buffer, size_t count);
int sendSome(SocketHandle s, const void* buffer, size_t count);

// Whether the last failed socket call failed only because it would block
// (WSAEWOULDBLOCK 10035 on Windows, EAGAIN/EWOULDBLOCK elsewhere).
bool lastErrorWouldBlock();

void shutdownBoth(SocketHandle s);
void closeSocket(SocketHandle s);

// Blocking client connect to 127.0.0.1-style dotted IPv4 host and port; kInvalidSocket on
// failure. Used by the client and tests.
SocketHandle connectTcp4(const char* host, uint16_t port, uint32_t timeoutMs);

// Waits for one socket and a wake-up signal that other threads can raise, so a connection
// thread sleeps until bytes arrive, bytes can leave, or somebody queued output for it.
// Windows: WSAEventSelect with a second event; POSIX: poll with a self-pipe.
class SocketWaiter {
public:
    explicit SocketWaiter(SocketHandle s);
    ~SocketWaiter();
    SocketWaiter(const SocketWaiter&) = delete;
    SocketWaiter& operator=(const SocketWaiter&) = delete;

    bool valid() const { return impl_ != nullptr; }

    // Any thread: make the current or next wait() return.
    void wake();

    struct Result {
        bool readable = false; // data or a close can be read
        bool writable = false; // only reported when asked for
        bool woken = false;    // wake() was called
        bool failed = false;   // the wait itself failed
    };
    // Waits up to ms. With wantWrite, also returns when the socket accepts more output.
    Result wait(uint32_t ms, bool wantWrite);

    struct Impl;

private:
    Impl* impl_ = nullptr;
};

} // namespace platform
