#include "platform/Socket.h"

// Winsock 2 must come before windows.h; mstcpip.h needs both.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <mstcpip.h>

#include "platform/Sync.h"
#include "platform/win32/SyncImpl.h"

#include <cstdio>
#include <iterator>

namespace platform {

namespace {
SOCKET sock(SocketHandle s) {
    return static_cast<SOCKET>(s);
}
SocketHandle handle(SOCKET s) {
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

// Sockets need Winsock started; the owner starts it once, and the helpers below make sure of
// it for tools and tests that open sockets directly. Winsock counts its start-ups.
void ensureStarted() {
    static bool started = socketStartup();
    (void)started;
}

// Resolves host (null: every local address, for binding) and port to IPv4 TCP addresses.
// Returns getaddrinfo's code (0: success, else a Winsock code); the caller frees result with
// freeaddrinfo.
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

// The system's message for a code, in UTF-8, without the line break FormatMessage ends it with.
std::string systemText(int code) {
    wchar_t wide[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, DWORD(code), 0, wide, DWORD(std::size(wide)), nullptr);
    while (length > 0 &&
           (wide[length - 1] == L'\r' || wide[length - 1] == L'\n' || wide[length - 1] == L' '))
        --length;
    if (length == 0)
        return "error " + std::to_string(code);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, int(length), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, int(length), text.data(), bytes, nullptr, nullptr);
    return text;
}
} // namespace

SocketErrorKind socketErrorKind(int code) {
    switch (code) {
    case 0:
        return SocketErrorKind::None;
    case WSAEADDRINUSE:
        return SocketErrorKind::AddressInUse;
    case WSAEACCES: // the port is reserved, or held exclusively by another program
        return SocketErrorKind::PermissionDenied;
    default:
        return SocketErrorKind::Other;
    }
}

SocketError describeSocketError(int code, const char* call) {
    return {socketErrorKind(code), code, call, systemText(code)};
}

SocketError lastSocketError(const char* call) {
    return describeSocketError(WSAGetLastError(), call);
}

bool socketStartup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
void socketCleanup() {
    WSACleanup();
}

SocketHandle listenTcp4(uint16_t port, SocketError* error) {
    ensureStarted();
    SocketError ignored;
    SocketError& failure = error ? *error : ignored;
    failure = {};
    addrinfo* result = nullptr;
    if (int r = resolveTcp4(nullptr, port, result); r != 0) {
        failure = describeSocketError(r, "getaddrinfo");
        return kInvalidSocket;
    }
    SOCKET s = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s == INVALID_SOCKET) {
        failure = lastSocketError("socket");
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    setNonBlocking(handle(s), true);
    if (bind(s, result->ai_addr, static_cast<int>(result->ai_addrlen)) != 0) {
        failure = lastSocketError("bind");
        freeaddrinfo(result);
        closesocket(s);
        return kInvalidSocket;
    }
    freeaddrinfo(result);
    setLingerOff(handle(s));
    if (::listen(s, SOMAXCONN) != 0) {
        failure = lastSocketError("listen");
        closesocket(s);
        return kInvalidSocket;
    }
    return handle(s);
}

uint16_t socketLocalPort(SocketHandle s) {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(sock(s), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

int selectReadable(SocketHandle s, uint32_t timeoutUs) {
    fd_set read;
    FD_ZERO(&read);
    FD_SET(sock(s), &read);
    timeval timeout{static_cast<long>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000)};
    int r = select(0, &read, nullptr, nullptr, &timeout);
    return r == SOCKET_ERROR ? -1 : r;
}

SocketHandle acceptSocket(SocketHandle listener) {
    return handle(accept(sock(listener), nullptr, nullptr));
}

bool peerAddressIPv4(SocketHandle s, uint32_t& addressNetworkOrder) {
    sockaddr_storage storage{};
    int length = 16;
    if (getpeername(sock(s), reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return false;
    if (storage.ss_family != AF_INET)
        return false;
    addressNetworkOrder = reinterpret_cast<sockaddr_in*>(&storage)->sin_addr.s_addr;
    return true;
}

bool setKeepAlive(SocketHandle s, uint32_t idleMs, uint32_t intervalMs) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = idleMs;
    values.keepaliveinterval = intervalMs;
    DWORD returned = 0;
    return WSAIoctl(sock(s), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
                    nullptr, nullptr) == 0;
}

bool setLingerOff(SocketHandle s) {
    linger l{};
    return setsockopt(sock(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                      sizeof l) == 0;
}

bool setNonBlocking(SocketHandle s, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(sock(s), FIONBIO, &mode) == 0;
}

bool setNoDelay(SocketHandle s, bool on) {
    BOOL v = on ? TRUE : FALSE;
    return setsockopt(sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v),
                      sizeof v) == 0;
}

int recvSome(SocketHandle s, void* buffer, size_t count) {
    int r = recv(sock(s), static_cast<char*>(buffer), static_cast<int>(count), 0);
    return r == SOCKET_ERROR ? -1 : r;
}

int sendSome(SocketHandle s, const void* buffer, size_t count) {
    int r = send(sock(s), static_cast<const char*>(buffer), static_cast<int>(count), 0);
    return r == SOCKET_ERROR ? -1 : r;
}

bool lastErrorWouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

void shutdownBoth(SocketHandle s) {
    shutdown(sock(s), SD_BOTH);
}
void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket)
        closesocket(sock(s));
}

SocketHandle connectTcp4(const char* host, uint16_t port, uint32_t timeoutMs) {
    ensureStarted();
    addrinfo* result = nullptr;
    if (resolveTcp4(host, port, result) != 0)
        return kInvalidSocket;
    SOCKET s = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s == INVALID_SOCKET) {
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    setNonBlocking(handle(s), true);
    int r = connect(s, result->ai_addr, static_cast<int>(result->ai_addrlen));
    freeaddrinfo(result);
    if (r != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        closesocket(s);
        return kInvalidSocket;
    }
    if (r != 0) {
        // Windows reports a refused connect in the exception set, not as writable.
        fd_set write, failed;
        FD_ZERO(&write);
        FD_ZERO(&failed);
        FD_SET(s, &write);
        FD_SET(s, &failed);
        timeval timeout{static_cast<long>(timeoutMs / 1000),
                        static_cast<long>(timeoutMs % 1000) * 1000};
        int error = 0;
        int length = sizeof error;
        if (select(0, nullptr, &write, &failed, &timeout) != 1 || !FD_ISSET(s, &write) ||
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
            error != 0) {
            closesocket(s);
            return kInvalidSocket;
        }
    }
    setNonBlocking(handle(s), false);
    return handle(s);
}

// --- SocketWaiter: the socket's network events and a wake-up event, waited on together ---

struct SocketWaiter::Impl {
    SOCKET socket;
    WSAEVENT network;
    HANDLE wakeUp; // auto-reset: one wake() ends one wait
};

SocketWaiter::SocketWaiter(SocketHandle s) {
    WSAEVENT network = WSACreateEvent();
    HANDLE wakeUp = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Event selection also makes the socket non-blocking. FD_ACCEPT serves listening sockets.
    if (network == WSA_INVALID_EVENT || !wakeUp ||
        WSAEventSelect(sock(s), network, FD_ACCEPT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        if (network != WSA_INVALID_EVENT)
            WSACloseEvent(network);
        if (wakeUp)
            CloseHandle(wakeUp);
        return;
    }
    impl_ = new Impl{sock(s), network, wakeUp};
}

SocketWaiter::~SocketWaiter() {
    if (!impl_)
        return;
    // The socket may already be closed; its selection ended with it.
    WSACloseEvent(impl_->network);
    CloseHandle(impl_->wakeUp);
    delete impl_;
}

void SocketWaiter::wake() {
    if (impl_)
        SetEvent(impl_->wakeUp);
}

SocketWaiter::Result SocketWaiter::wait(uint32_t ms, bool wantWrite, Event* stop) {
    Result result;
    if (!impl_) {
        result.failed = true;
        return result;
    }
    // FD_READ is posted again after every recv that leaves data behind, FD_ACCEPT after every
    // accept that leaves a connection waiting, and FD_WRITE after a send that would have
    // blocked, so edge-style notification loses nothing here.
    HANDLE stopHandle = stop ? stop->impl()->handle : nullptr;
    HANDLE handles[3] = {impl_->network, impl_->wakeUp, stopHandle};
    DWORD r = WaitForMultipleObjects(stopHandle ? 3 : 2, handles, FALSE, ms);
    if (r == WAIT_FAILED) {
        result.failed = true;
        return result;
    }
    if (stopHandle)
        result.stopped = WaitForSingleObject(stopHandle, 0) == WAIT_OBJECT_0;
    if (r == WAIT_OBJECT_0 + 1 || WaitForSingleObject(impl_->wakeUp, 0) == WAIT_OBJECT_0)
        result.woken = true;
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(impl_->socket, impl_->network, &events) != 0) {
        // A closed socket or a failed query: let the caller's recv find out what happened.
        result.readable = true;
        return result;
    }
    if (events.lNetworkEvents & (FD_ACCEPT | FD_READ | FD_CLOSE))
        result.readable = true;
    if (wantWrite && (events.lNetworkEvents & FD_WRITE))
        result.writable = true;
    return result;
}

} // namespace platform
