// Thin socket shim over Winsock 2 and BSD sockets. Callers never see an #ifdef: every
// platform difference is behind one of these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class Event;

// SOCKET on Windows (an unsigned pointer-sized value), an int descriptor elsewhere; stored
// widened so both fit. All bits set means no socket.
using SocketHandle = uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

// Winsock must be initialised once per process before any socket call; no-op on POSIX.
bool socketStartup();
void socketCleanup();

// Why a socket call failed, for the failures a user must be told about (above all: the
// listening port cannot be opened).
enum class SocketErrorKind {
    None,             // nothing failed
    AddressInUse,     // another socket holds the address and port
    PermissionDenied, // the system does not let this program use the address or port
    Other,            // anything else: code and text say what
};

struct SocketError {
    SocketErrorKind kind = SocketErrorKind::None;
    // The system's code: errno on POSIX, WSAGetLastError() on Windows; for "getaddrinfo" the
    // code that call returned.
    int code = 0;
    std::string call; // the call that failed: "getaddrinfo", "socket", "bind", "listen", ...
    std::string text; // the system's own description of the code
};

// The kind a system error code (errno on POSIX, a Winsock code on Windows) falls under.
SocketErrorKind socketErrorKind(int code);
// Kind, code and the system's text for a code, as left by the named call.
SocketError describeSocketError(int code, const char* call);
// The same for the code the calling thread's last failed socket call left.
SocketError lastSocketError(const char* call);
inline const char* socketErrorKindName(SocketErrorKind kind) {
    switch (kind) {
    case SocketErrorKind::None:
        return "none";
    case SocketErrorKind::AddressInUse:
        return "address in use";
    case SocketErrorKind::PermissionDenied:
        return "permission denied";
    case SocketErrorKind::Other:
        break;
    }
    return "other";
}

// Resolves the port for every local IPv4 address (getaddrinfo, passive, AF_INET, TCP),
// creates a non-blocking socket, binds it, switches linger off and listens with SOMAXCONN.
// Returns kInvalidSocket (and leaves nothing open) when any step fails; error, when given,
// then says which step failed and why, and is cleared on success.
SocketHandle listenTcp4(uint16_t port, SocketError* error = nullptr);

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

// Waits for one socket, a wake-up signal that other threads can raise and, when given, an event
// (a thread's stop event), so a thread sleeps until bytes arrive, a connection comes in on a
// listening socket, bytes can leave, somebody queued output for it or it is asked to stop.
// Windows: WSAEventSelect with a wake-up event, the third event waited on beside them; POSIX:
// poll with a self-pipe and the event's own pipe.
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
        bool readable = false; // data or a close can be read, or a connection accepted
        bool writable = false; // only reported when asked for
        bool woken = false;    // wake() was called
        bool stopped = false;  // the event given to wait() is set
        bool failed = false;   // the wait itself failed
    };
    // Waits up to ms (kInfinite: no limit). With wantWrite, also returns when the socket
    // accepts more output; with stop, also returns when that event is set.
    Result wait(uint32_t ms, bool wantWrite, Event* stop = nullptr);

    struct Impl;

private:
    Impl* impl_ = nullptr;
};

} // namespace platform
