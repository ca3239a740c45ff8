// Shared by the benchmarks: percentiles of a set of round-trip times, and a plain
// blocking-socket echo server that gives the loopback floor to compare against.
#pragma once

#include "platform/Socket.h"
#include "platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
};

inline Percentiles percentiles(std::vector<double> us) {
    Percentiles p;
    if (us.empty())
        return p;
    std::sort(us.begin(), us.end());
    p.p50 = us[us.size() / 2];
    p.p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    p.max = us.back();
    return p;
}

inline void printRow(const char* name, const Percentiles& p) {
    std::printf("%-28s p50 %8.1f us   p99 %8.1f us   max %9.1f us\n", name, p.p50, p.p99, p.max);
}

inline double microsecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

// Accepts one connection and echoes every byte back with blocking calls until the peer
// closes. Listens on an ephemeral port of 127.0.0.1's wildcard address.
class PlainEchoServer {
public:
    PlainEchoServer() {
        listener_ = platform::listenTcp4(0);
        port_ = platform::socketLocalPort(listener_);
        thread_ = platform::startThread(&PlainEchoServer::run, this);
    }
    ~PlainEchoServer() {
        if (thread_) {
            platform::waitForThread(thread_, 10000);
            platform::closeThread(thread_);
        }
        platform::closeSocket(listener_);
    }
    uint16_t port() const { return port_; }

private:
    static void run(void* self) {
        auto* me = static_cast<PlainEchoServer*>(self);
        if (platform::selectReadable(me->listener_, 10000000) != 1)
            return;
        platform::SocketHandle s = platform::acceptSocket(me->listener_);
        if (s == platform::kInvalidSocket)
            return;
        platform::setNonBlocking(s, false);
        platform::setNoDelay(s, true);
        uint8_t buffer[2048];
        for (;;) {
            int n = platform::recvSome(s, buffer, sizeof buffer);
            if (n <= 0)
                break;
            if (platform::sendSome(s, buffer, size_t(n)) != n)
                break;
        }
        platform::closeSocket(s);
    }

    platform::SocketHandle listener_;
    uint16_t port_ = 0;
    platform::NativeThread* thread_ = nullptr;
};

// Sends count bytes and waits for want bytes back, over a connected blocking socket.
inline bool exchange(platform::SocketHandle s, const uint8_t* out, size_t count, uint8_t* in,
                     size_t want) {
    size_t sent = 0;
    while (sent < count) {
        int n = platform::sendSome(s, out + sent, count - sent);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    size_t got = 0;
    while (got < want) {
        int n = platform::recvSome(s, in + got, want - got);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

// Round trips of a fixed request to a server on port, each timed on its own.
inline std::vector<double> measureRoundTrips(uint16_t port, const uint8_t* request, size_t count,
                                             size_t replySize, int iterations, int warmUp = 200) {
    std::vector<double> us;
    platform::SocketHandle s = platform::connectTcp4("127.0.0.1", port, 3000);
    if (s == platform::kInvalidSocket) {
        std::fprintf(stderr, "cannot connect to 127.0.0.1:%u\n", unsigned(port));
        return us;
    }
    platform::setNoDelay(s, true);
    std::vector<uint8_t> reply(replySize);
    us.reserve(size_t(iterations));
    for (int i = 0; i < warmUp + iterations; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!exchange(s, request, count, reply.data(), replySize)) {
            std::fprintf(stderr, "connection lost after %d round trips\n", i);
            break;
        }
        if (i >= warmUp)
            us.push_back(microsecondsSince(start));
    }
    platform::closeSocket(s);
    return us;
}

} // namespace bench
