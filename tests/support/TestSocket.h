// Test helpers: a blocking client socket on 127.0.0.1 with bounded waits, and a bounded
// poll for conditions that other threads make true.
#pragma once

#include "platform/Clock.h"
#include "platform/Socket.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace testing_support {

// Polls cond every millisecond until it holds or ms have passed; returns its last value.
inline bool waitUntil(const std::function<bool()>& cond, uint32_t ms = 5000) {
    uint32_t start = platform::tickCount();
    while (!cond()) {
        if (platform::tickCount() - start >= ms)
            return cond();
        platform::sleepMs(1);
    }
    return true;
}

class TestClient {
public:
    TestClient() = default;
    explicit TestClient(uint16_t port) { connect(port); }
    ~TestClient() { close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connect(uint16_t port) {
        close();
        socket_ = platform::connectTcp4("127.0.0.1", port, 3000);
        if (socket_ != platform::kInvalidSocket)
            platform::setNoDelay(socket_, true);
        return connected();
    }
    bool connected() const { return socket_ != platform::kInvalidSocket; }
    platform::SocketHandle handle() const { return socket_; }

    bool sendAll(const void* data, size_t count) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        while (count > 0) {
            int n = platform::sendSome(socket_, p, count);
            if (n <= 0)
                return false;
            p += n;
            count -= size_t(n);
        }
        return true;
    }
    bool sendAll(const std::vector<uint8_t>& bytes) { return sendAll(bytes.data(), bytes.size()); }

    // Reads exactly count bytes unless the peer closes or ms pass without data.
    std::vector<uint8_t> receive(size_t count, uint32_t ms = 3000) {
        std::vector<uint8_t> out;
        uint8_t buffer[4096];
        while (out.size() < count) {
            if (platform::selectReadable(socket_, ms * 1000) != 1)
                break;
            size_t want = count - out.size();
            int n =
                platform::recvSome(socket_, buffer, want < sizeof buffer ? want : sizeof buffer);
            if (n <= 0)
                break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // True when the peer closed within ms; bytes that arrive first are collected in received.
    bool closedByPeer(uint32_t ms = 3000, std::vector<uint8_t>* received = nullptr) {
        uint8_t buffer[4096];
        uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < ms) {
            if (platform::selectReadable(socket_, 10000) != 1)
                continue;
            int n = platform::recvSome(socket_, buffer, sizeof buffer);
            if (n <= 0)
                return true; // orderly close or reset
            if (received)
                received->insert(received->end(), buffer, buffer + n);
        }
        return false;
    }

    void close() {
        if (socket_ != platform::kInvalidSocket) {
            platform::closeSocket(socket_);
            socket_ = platform::kInvalidSocket;
        }
    }

private:
    platform::SocketHandle socket_ = platform::kInvalidSocket;
};

} // namespace testing_support
