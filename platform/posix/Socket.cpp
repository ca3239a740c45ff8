#include "platform/Socket.h"
#include "platform/Sync.h"
#include "platform/posix/SyncImpl.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {
int fd(SocketHandle s) {
    return static_cast<int>(s);
}
SocketHandle handle(int f) {
    return f < 0 ? kInvalidSocket : static_cast<SocketHandle>(f);
}

// Resolves host (null: every local address, for binding) and port to IPv4 TCP addresses.
// Returns getaddrinfo's code (0: success); the caller frees result with freeaddrinfo.
int resolveTcp4(const char* host, uint16_t port, addrinfo*& result) {
    char service[8];
    std::snprintf(service, sizeof service, "%u", unsigned(port));
    addrinfo hints{};
    hints.ai_flags = host ? 0 : AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    result = nullptr;
    return getaddrinfo(host, service, &hints, &result);
}

// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer); both are
// thread-safe, unlike strerror.
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* errorText(const char* text, const char*) {
    return text;
}

int pollTimeout(uint32_t ms) {
    return ms == kInfinite ? -1 : static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF));
}
} // namespace

SocketErrorKind socketErrorKind(int code) {
    switch (code) {
    case 0:
        return SocketErrorKind::None;
    case EADDRINUSE:
        return SocketErrorKind::AddressInUse;
    case EACCES: // a port below 1024 without the privilege to bind it
    case EPERM:
        return SocketErrorKind::PermissionDenied;
    default:
        return SocketErrorKind::Other;
    }
}

SocketError describeSocketError(int code, const char* call) {
    char buffer[256] = "";
    return {socketErrorKind(code), code, call,
            errorText(strerror_r(code, buffer, sizeof buffer), buffer)};
}

SocketError lastSocketError(const char* call) {
    return describeSocketError(errno, call);
}

bool socketStartup() {
    // A peer that closes while we write must give an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}
void socketCleanup() {}

SocketHandle listenTcp4(uint16_t port, SocketError* error) {
    socketStartup();
    SocketError ignored;
    SocketError& failure = error ? *error : ignored;
    failure = {};
    addrinfo* result = nullptr;
    if (int r = resolveTcp4(nullptr, port, result); r != 0) {
        if (r == EAI_SYSTEM)
            failure = lastSocketError("getaddrinfo");
        else
            failure = {SocketErrorKind::Other, r, "getaddrinfo", gai_strerror(r)};
        return kInvalidSocket;
    }
    int s = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s < 0) {
        failure = lastSocketError("socket");
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    // Without SO_REUSEADDR a restart on the same port fails while old connections sit in
    // TIME_WAIT; Windows allows that rebind by default.
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setNonBlocking(handle(s), true);
    if (bind(s, result->ai_addr, result->ai_addrlen) != 0) {
        failure = lastSocketError("bind");
        freeaddrinfo(result);
        close(s);
        return kInvalidSocket;
    }
    freeaddrinfo(result);
    setLingerOff(handle(s));
    if (::listen(s, SOMAXCONN) != 0) {
        failure = lastSocketError("listen");
        close(s);
        return kInvalidSocket;
    }
    return handle(s);
}

uint16_t socketLocalPort(SocketHandle s) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(fd(s), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

int selectReadable(SocketHandle s, uint32_t timeoutUs) {
    pollfd p{fd(s), POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>((timeoutUs + 999) / 1000));
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    return r;
}

SocketHandle acceptSocket(SocketHandle listener) {
    int s = accept(fd(listener), nullptr, nullptr);
    if (s < 0)
        return kInvalidSocket;
    // Accepted sockets must not inherit the listener's non-blocking mode implicitly; Linux
    // does not, and the connection thread sets what it needs.
    return handle(s);
}

bool peerAddressIPv4(SocketHandle s, uint32_t& addressNetworkOrder) {
    sockaddr_storage storage{};
    socklen_t length = 16;
    if (getpeername(fd(s), reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return false;
    if (storage.ss_family != AF_INET)
        return false;
    addressNetworkOrder = reinterpret_cast<sockaddr_in*>(&storage)->sin_addr.s_addr;
    return true;
}

bool setKeepAlive(SocketHandle s, uint32_t idleMs, uint32_t intervalMs) {
    int on = 1;
    int idle = static_cast<int>((idleMs + 999) / 1000);
    int interval = static_cast<int>((intervalMs + 999) / 1000);
    return setsockopt(fd(s), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           setsockopt(fd(s), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 &&
           setsockopt(fd(s), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0;
}

bool setLingerOff(SocketHandle s) {
    linger l{};
    return setsockopt(fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0;
}

bool setNonBlocking(SocketHandle s, bool on) {
    int flags = fcntl(fd(s), F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd(s), F_SETFL, flags) == 0;
}

bool setNoDelay(SocketHandle s, bool on) {
    int v = on ? 1 : 0;
    return setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

int recvSome(SocketHandle s, void* buffer, size_t count) {
    ssize_t r;
    do {
        r = recv(fd(s), buffer, count, 0);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : static_cast<int>(r);
}

int sendSome(SocketHandle s, const void* buffer, size_t count) {
    ssize_t r;
    do {
        r = send(fd(s), buffer, count, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : static_cast<int>(r);
}

bool lastErrorWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

void shutdownBoth(SocketHandle s) {
    shutdown(fd(s), SHUT_RDWR);
}
void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket)
        close(fd(s));
}

SocketHandle connectTcp4(const char* host, uint16_t port, uint32_t timeoutMs) {
    socketStartup();
    addrinfo* result = nullptr;
    if (resolveTcp4(host, port, result) != 0)
        return kInvalidSocket;
    int s = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s < 0) {
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    setNonBlocking(handle(s), true);
    int r = connect(s, result->ai_addr, result->ai_addrlen);
    freeaddrinfo(result);
    if (r != 0 && errno != EINPROGRESS) {
        close(s);
        return kInvalidSocket;
    }
    if (r != 0) {
        pollfd p{s, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (poll(&p, 1, static_cast<int>(timeoutMs)) != 1 ||
            getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            close(s);
            return kInvalidSocket;
        }
    }
    setNonBlocking(handle(s), false);
    return handle(s);
}

// --- SocketWaiter: poll on the socket and the read end of a self-pipe ---

struct SocketWaiter::Impl {
    int socket;
    int pipeRead;
    int pipeWrite;
};

SocketWaiter::SocketWaiter(SocketHandle s) {
    int p[2];
    if (pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    impl_ = new Impl{fd(s), p[0], p[1]};
}

SocketWaiter::~SocketWaiter() {
    if (impl_) {
        close(impl_->pipeRead);
        close(impl_->pipeWrite);
        delete impl_;
    }
}

void SocketWaiter::wake() {
    if (!impl_)
        return;
    char c = 1;
    // A full pipe already guarantees a wake-up.
    [[maybe_unused]] ssize_t r = write(impl_->pipeWrite, &c, 1);
}

SocketWaiter::Result SocketWaiter::wait(uint32_t ms, bool wantWrite, Event* stop) {
    Result result;
    if (!impl_) {
        result.failed = true;
        return result;
    }
    // poll skips a negative descriptor: an event without a pipe (none could be made) is then
    // looked at every 50 ms instead.
    int stopFd = stop ? stop->impl()->pollDescriptor() : -1;
    if (stop && stopFd < 0)
        ms = std::min<uint32_t>(ms, 50);
    pollfd p[3] = {{impl_->socket, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                   {impl_->pipeRead, POLLIN, 0},
                   {stopFd, POLLIN, 0}};
    int r = poll(p, 3, pollTimeout(ms));
    if (r < 0) {
        result.failed = errno != EINTR;
        return result;
    }
    if (stop)
        result.stopped = stop->isSet();
    if (p[0].revents & (POLLIN | POLLHUP | POLLERR))
        result.readable = true;
    if (p[0].revents & POLLNVAL)
        result.failed = true;
    if (wantWrite && (p[0].revents & POLLOUT))
        result.writable = true;
    if (p[1].revents & POLLIN) {
        char drain[64];
        while (read(impl_->pipeRead, drain, sizeof drain) > 0) {
        }
        result.woken = true;
    }
    return result;
}

} // namespace platform
