#include "server/transport/TcpServer.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using testing_support::TestClient;
using testing_support::waitUntil;

namespace {

// Records every callback; echoes received bytes back when asked to.
class RecordingDelegate : public TcpServerDelegate {
public:
    bool clientAccepted(TcpServer* server, uint32_t id, uint32_t peer) override {
        // Another thread stopping the connection before its thread has started.
        if (stopWhileAccepting)
            server->stopConnection(id);
        std::lock_guard lock(mutex);
        accepted.push_back(id);
        peers.push_back(peer);
        return acceptResult;
    }
    void clientClosed(TcpServer* server, uint32_t id) override {
        uint8_t b = 0;
        bool sendResult = server->send(id, &b, 1);
        std::lock_guard lock(mutex);
        closed.push_back(id);
        sendFromCloseSucceeded = sendFromCloseSucceeded || sendResult;
    }
    void dataReceived(TcpServer* server, uint32_t id, uint32_t count) override {
        std::vector<uint8_t> bytes(count);
        uint32_t got = server->read(id, bytes.data(), count);
        bytes.resize(got);
        if (echo)
            server->send(id, bytes.data(), got);
        std::lock_guard lock(mutex);
        received.insert(received.end(), bytes.begin(), bytes.end());
        callbackCounts.push_back(count);
    }

    size_t acceptedCount() {
        std::lock_guard lock(mutex);
        return accepted.size();
    }
    size_t closedCount() {
        std::lock_guard lock(mutex);
        return closed.size();
    }
    size_t receivedCount() {
        std::lock_guard lock(mutex);
        return received.size();
    }

    std::mutex mutex;
    std::vector<uint32_t> accepted, peers, closed, callbackCounts;
    std::vector<uint8_t> received;
    std::atomic<bool> acceptResult{true};
    std::atomic<bool> echo{false};
    std::atomic<bool> stopWhileAccepting{false};
    bool sendFromCloseSucceeded = false;
};

class TcpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.setDelegate(&delegate);
        server.setMaximumConnections(2);
        ASSERT_TRUE(server.listen(0));
        port = server.boundPort();
        ASSERT_NE(port, 0);
    }

    RecordingDelegate delegate;
    TcpServer server;
    uint16_t port = 0;
};

} // namespace

TEST_F(TcpServerTest, EchoesThroughReadAndSendWithPeerAddress) {
    delegate.echo = true;
    TestClient client(port);
    ASSERT_TRUE(client.connected());
    const uint8_t hello[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(client.sendAll(hello, sizeof hello));
    EXPECT_EQ(client.receive(5), std::vector<uint8_t>(hello, hello + 5));
    ASSERT_EQ(delegate.acceptedCount(), 1u);
    EXPECT_NE(delegate.accepted[0], 0u);
    uint8_t peer[4];
    std::memcpy(peer, &delegate.peers[0], 4);
    EXPECT_EQ(peer[0], 127);
    EXPECT_EQ(peer[3], 1);
    // Unknown ids do nothing.
    uint8_t out[4];
    EXPECT_FALSE(server.send(0, hello, 1));
    EXPECT_EQ(server.read(0, out, sizeof out), 0u);
}

TEST_F(TcpServerTest, IdsIncreaseAcrossConnections) {
    TestClient a(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
    a.close();
    ASSERT_TRUE(waitUntil([&] { return delegate.closedCount() == 1; }));
    TestClient b(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2; }));
    EXPECT_GT(delegate.accepted[1], delegate.accepted[0]);
}

TEST_F(TcpServerTest, ThirdConnectionClosedWithoutDelegateCall) {
    TestClient a(port), b(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2; }));
    TestClient c(port);
    ASSERT_TRUE(c.connected()); // the socket layer accepts it
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(c.closedByPeer(3000, &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(delegate.acceptedCount(), 2u);
    EXPECT_EQ(server.connectionCount(), 2u);
    // The first two still work.
    delegate.echo = true;
    uint8_t x = 9;
    ASSERT_TRUE(b.sendAll(&x, 1));
    EXPECT_EQ(b.receive(1), std::vector<uint8_t>{9});
}

TEST_F(TcpServerTest, RefusedConnectionIsClosedAndReaped) {
    delegate.acceptResult = false;
    TestClient a(port);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(a.closedByPeer(3000, &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(delegate.acceptedCount(), 1u);
    // The listening thread closes the socket before it removes the connection, so the peer
    // may see the close a moment before the map is empty.
    EXPECT_TRUE(waitUntil([&] { return server.connectionCount() == 0; }));
    // The listening thread's next pass joins and releases it.
    EXPECT_TRUE(waitUntil([&] { return server.finishedCount() == 0; }));
    EXPECT_EQ(delegate.closedCount(), 0u); // it never ran, so nothing was reported closed
}

TEST_F(TcpServerTest, StopAskedBeforeTheThreadStartsStillEndsTheConnection) {
    delegate.stopWhileAccepting = true;
    TestClient a(port);
    EXPECT_TRUE(a.closedByPeer(3000));
    // It ends like any stopped connection: out of the map, its close reported.
    EXPECT_TRUE(waitUntil([&] { return delegate.closedCount() == 1; }));
    EXPECT_EQ(server.connectionCount(), 0u);
    EXPECT_EQ(delegate.closed[0], delegate.accepted[0]);
}

TEST_F(TcpServerTest, ConnectionAcceptedWithoutDelegateIsRefused) {
    server.setDelegate(nullptr);
    TestClient a(port);
    EXPECT_TRUE(a.closedByPeer());
    EXPECT_TRUE(waitUntil([&] { return server.connectionCount() == 0; }));
    EXPECT_EQ(delegate.acceptedCount(), 0u);
}

TEST_F(TcpServerTest, ClientClosedComesAfterLeavingTheMap) {
    TestClient a(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
    a.close();
    ASSERT_TRUE(waitUntil([&] { return delegate.closedCount() == 1; }));
    EXPECT_FALSE(delegate.sendFromCloseSucceeded);
    EXPECT_EQ(delegate.closed[0], delegate.accepted[0]);
    EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(TcpServerTest, StopAllWaitingReturnsWithEmptyMapAndListenCanRestart) {
    TestClient a(port), b(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2; }));
    server.stopAll(true);
    EXPECT_EQ(server.connectionCount(), 0u);
    EXPECT_EQ(server.boundPort(), 0);
    EXPECT_TRUE(a.closedByPeer());
    EXPECT_TRUE(b.closedByPeer());
    // A connection leaves the map before it reports its close.
    EXPECT_TRUE(waitUntil([&] { return delegate.closedCount() == 2; }));
    ASSERT_TRUE(server.listen(0));
    TestClient c(server.boundPort());
    EXPECT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 3; }));
}

TEST_F(TcpServerTest, SecondListenIsRefusedAndChangesNothing) {
    EXPECT_FALSE(server.listen(0));
    EXPECT_EQ(server.boundPort(), port);
    TestClient a(port);
    EXPECT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
}

TEST_F(TcpServerTest, ListenOnPortInUseFails) {
    TcpServer other;
    EXPECT_FALSE(other.listen(port));
    EXPECT_EQ(other.boundPort(), 0);
}

TEST_F(TcpServerTest, ConcurrentSendsKeepEachSendersOrder) {
    TestClient a(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
    uint32_t id = delegate.accepted[0];
    constexpr int kSenders = 4, kFrames = 2000;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&, s] {
            for (int i = 0; i < kFrames; ++i) {
                uint8_t frame[8] = {uint8_t(s), 0, 0, 0};
                std::memcpy(frame + 4, &i, 4);
                server.send(id, frame, sizeof frame);
            }
        });
    std::vector<uint8_t> bytes = a.receive(size_t(kSenders) * kFrames * 8, 5000);
    for (auto& t : senders)
        t.join();
    ASSERT_EQ(bytes.size(), size_t(kSenders) * kFrames * 8);
    int next[kSenders] = {};
    for (size_t off = 0; off < bytes.size(); off += 8) {
        int s = bytes[off];
        int seq;
        std::memcpy(&seq, &bytes[off + 4], 4);
        ASSERT_LT(s, kSenders);
        ASSERT_EQ(seq, next[s]) << "sender " << s << " out of order";
        ++next[s];
    }
}

TEST_F(TcpServerTest, PeerThatNeverPausesStillGetsReplies) {
    delegate.echo = true;
    TestClient a(port);
    ASSERT_TRUE(a.connected());
    std::atomic<size_t> repliesBeforeSenderStopped{0};
    std::atomic<bool> senderDone{false};
    std::atomic<size_t> replied{0};
    constexpr size_t kFrame = 16, kWanted = 200;
    std::thread sender([&] {
        uint8_t frame[kFrame] = {};
        uint32_t start = platform::tickCount();
        // Keeps sending back to back until enough replies came or 5 s passed.
        while (replied < kWanted * kFrame && platform::tickCount() - start < 5000)
            if (!a.sendAll(frame, sizeof frame))
                break;
        repliesBeforeSenderStopped = replied.load();
        senderDone = true;
    });
    uint8_t buffer[4096];
    uint32_t start = platform::tickCount();
    while (!senderDone && platform::tickCount() - start < 6000) {
        if (platform::selectReadable(a.handle(), 10000) != 1)
            continue;
        int n = platform::recvSome(a.handle(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        replied += size_t(n);
    }
    sender.join();
    EXPECT_GE(repliesBeforeSenderStopped, kWanted * kFrame);
}

TEST_F(TcpServerTest, FlushOnCloseDeliversQueuedBytesBeforeClosing) {
    server.setFlushOnClose(1);
    TestClient a(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
    std::vector<uint8_t> payload(100000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 7);
    // Queued and stopped at once: the bytes must still all arrive, then the close.
    ASSERT_TRUE(server.send(delegate.accepted[0], payload.data(), uint32_t(payload.size())));
    server.stopAll(false);
    std::vector<uint8_t> got;
    EXPECT_TRUE(a.closedByPeer(5000, &got));
    EXPECT_EQ(got, payload);
}

TEST_F(TcpServerTest, DataCallbacksCoverEveryByteInChunksOfAtMost2048) {
    TestClient a(port);
    std::vector<uint8_t> payload(50000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i);
    ASSERT_TRUE(a.sendAll(payload));
    ASSERT_TRUE(waitUntil([&] { return delegate.receivedCount() == payload.size(); }));
    std::lock_guard lock(delegate.mutex);
    EXPECT_EQ(delegate.received, payload);
    for (uint32_t c : delegate.callbackCounts) {
        EXPECT_GE(c, 1u);
        EXPECT_LE(c, 2048u);
    }
}

TEST(TcpServerLifetime, DestructionWithLiveConnectionsClosesThem) {
    RecordingDelegate delegate;
    TestClient a;
    {
        TcpServer server;
        server.setDelegate(&delegate);
        ASSERT_TRUE(server.listen(0));
        ASSERT_TRUE(a.connect(server.boundPort()));
        ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 1; }));
    }
    EXPECT_TRUE(a.closedByPeer());
    EXPECT_EQ(delegate.closedCount(), 0u); // the delegate was cleared first
}

TEST_F(TcpServerTest, StopConnectionEndsOnlyThatConnection) {
    TestClient a(port), b(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2; }));
    EXPECT_TRUE(server.stopConnection(delegate.accepted[0]));
    EXPECT_TRUE(a.closedByPeer());
    EXPECT_TRUE(waitUntil([&] { return server.connectionCount() == 1; }));
    EXPECT_FALSE(server.stopConnection(delegate.accepted[0]));
    delegate.echo = true;
    uint8_t x = 5;
    ASSERT_TRUE(b.sendAll(&x, 1));
    EXPECT_EQ(b.receive(1), std::vector<uint8_t>{5});
}
