#include "server/transport/TcpServer.h"
#include "common/Log.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using testing_support::LogCapture;
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
        if (throwOnAccept)
            throw std::runtime_error("cannot decide");
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
        if (throwOnData)
            throw std::runtime_error("cannot parse");
        std::vector<uint8_t> bytes(count);
        uint32_t got = server->read(id, bytes.data(), count);
        if (echo)
            server->send(id, bytes.data(), got);
    }

    size_t acceptedCount() { return sizeOf(accepted); }
    size_t closedCount() { return sizeOf(closed); }
    template <class T> size_t sizeOf(const std::vector<T>& list) {
        std::lock_guard lock(mutex);
        return list.size();
    }

    std::mutex mutex;
    std::vector<uint32_t> accepted, peers, closed;
    std::atomic<bool> acceptResult{true};
    std::atomic<bool> echo{false};
    std::atomic<bool> stopWhileAccepting{false};
    std::atomic<bool> throwOnAccept{false};
    std::atomic<bool> throwOnData{false};
    bool sendFromCloseSucceeded = false;
};

// More than the kernel holds for a peer that does not read (both sockets' buffers), so the
// connection's sends are bound to hit "would block".
constexpr size_t kMoreThanTheKernelHolds = 8 << 20;

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

// --- connection ids --------------------------------------------------------------------------

TEST(ConnectionIdCounter, StartsAtOneAndNeverGivesZero) {
    ConnectionIdCounter fresh;
    EXPECT_EQ(fresh.next(), 1u);
    ConnectionIdCounter nearWrap(0xFFFFFFFEu);
    EXPECT_EQ(nearWrap.next(), 0xFFFFFFFFu);
    EXPECT_EQ(nearWrap.next(), 1u); // 0 means "no connection" to the owner
}

// --- accepting and refusing ------------------------------------------------------------------

TEST_F(TcpServerTest, LimitAllowsExactlyTwoAndRefusesTheThirdWithoutDelegateCall) {
    TestClient a(port), b(port);
    ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2; }));
    EXPECT_EQ(server.connectionCount(), 2u); // at the limit: both in
    TestClient c(port);
    ASSERT_TRUE(c.connected()); // the socket layer accepts it
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(c.closedByPeer(10000, &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(delegate.acceptedCount(), 2u);
    EXPECT_EQ(server.connectionCount(), 2u);
    // The first two still work: what b sends comes back through read and send. The delegate
    // was given the peer's address; unknown ids do nothing.
    delegate.echo = true;
    uint8_t x = 9;
    ASSERT_TRUE(b.sendAll(&x, 1));
    EXPECT_EQ(b.receive(1), std::vector<uint8_t>{9});
    uint8_t peer[4];
    std::memcpy(peer, &delegate.peers[0], 4);
    EXPECT_EQ(std::vector<uint8_t>(peer, peer + 4), (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_FALSE(server.send(0, &x, 1));
    EXPECT_EQ(server.read(0, &x, 1), 0u);
    // Once one has left, there is room again.
    a.close();
    ASSERT_TRUE(waitUntil([&] { return server.connectionCount() == 1; }));
    TestClient d(port);
    EXPECT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 3; }));
}

// Every way a connection can fail to start, or a delegate failing on its data: it is closed
// without a byte, leaves the map and is joined and released with no connection after it; its
// close is reported only when its thread ran, after it left the map (a send from clientClosed
// finds nothing); a failure is logged. The server goes on.
TEST_F(TcpServerTest, ConnectionsThatFailAreClosedAndReaped) {
    struct Row {
        const char* what;
        std::function<void()> arrange;
        size_t accepted, closed;
        const char* error;
        bool sends = false; // the app sends a byte
    };
    const Row rows[] = {
        {"refused", [&] { delegate.acceptResult = false; }, 1, 0, nullptr},
        // Another thread stops it before its thread has started: it ends like any stopped one.
        {"stopped while accepted", [&] { delegate.stopWhileAccepting = true; }, 1, 1, nullptr},
        {"no delegate", [&] { server.setDelegate(nullptr); }, 0, 0, nullptr},
        {"the delegate throws", [&] { delegate.throwOnAccept = true; }, 0, 0, "cannot decide"},
        {"the delegate throws on data", [&] { delegate.throwOnData = true; }, 1, 1, "cannot parse",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        {
            std::lock_guard lock(delegate.mutex);
            delegate.accepted.clear();
            delegate.closed.clear();
        }
        row.arrange();
        {
            TestClient a(port);
            const uint8_t x = 1;
            ASSERT_TRUE(!row.sends || a.sendAll(&x, 1));
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(a.closedByPeer(10000, &bytes));
            EXPECT_TRUE(bytes.empty());
            // The listening thread closes the socket before it removes the connection, so the
            // peer may see the close a moment before the map is empty.
            EXPECT_TRUE(waitUntil([&] { return server.connectionCount() == 0; }));
            // Leaving the map wakes the listening thread, which joins and releases it.
            EXPECT_TRUE(waitUntil([&] { return server.finishedCount() == 0; }));
            EXPECT_TRUE(waitUntil([&] { return delegate.closedCount() == row.closed; }));
            EXPECT_EQ(delegate.acceptedCount(), row.accepted);
            {
                std::lock_guard lock(delegate.mutex);
                EXPECT_TRUE(!row.closed || delegate.closed[0] == delegate.accepted[0]);
                EXPECT_FALSE(delegate.sendFromCloseSucceeded);
            }
            std::vector<std::string> logged; // the errors
            for (const auto& [kind, text] : log.events())
                if (kind == LogKind::Error)
                    logged.push_back(text);
            ASSERT_EQ(logged.size(), row.error ? 1u : 0u);
            EXPECT_TRUE(!row.error || logged[0].find(row.error) != std::string::npos);
        }
        server.setDelegate(&delegate);
        delegate.acceptResult = true;
        delegate.stopWhileAccepting = delegate.throwOnAccept = delegate.throwOnData = false;
        TestClient b(port);
        EXPECT_TRUE(waitUntil([&] { return server.connectionCount() == 1; }));
        server.stopAll(true);
        EXPECT_EQ(server.connectionCount(), 0u);
        // Its close is reported after it left the map: wait for it before the next row counts.
        EXPECT_TRUE(waitUntil([&] { return delegate.closedCount() == row.closed + 1; }));
        ASSERT_TRUE(server.listen(port));
    }
}

// --- closing and stopping --------------------------------------------------------------------

// stopAll(true) comes back with an empty map, the listening socket closed and every close
// reported, also while a connection is slow to close: without flushing its unsent bytes are
// dropped; flushing to a peer that reads nothing keeps its thread trying for a while. Then
// the same port listens again (as after the computer wakes up): neither the old listening
// socket nor the connections this side closed hold it.
TEST_F(TcpServerTest, StopAllWaitsForEveryConnectionAndListenCanRestart) {
    EXPECT_FALSE(server.listen(0)); // already listening: refused, nothing changes
    EXPECT_EQ(server.boundPort(), port);
    EXPECT_EQ(server.lastListenError().kind, platform::SocketErrorKind::None);
    for (int flush : {0, 1}) {
        SCOPED_TRACE(flush);
        server.setFlushOnClose(flush);
        TestClient a(port), b(port);
        ASSERT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 2 * size_t(flush) + 2; }));
        const std::vector<uint8_t> payload(kMoreThanTheKernelHolds, 7);
        ASSERT_TRUE(
            server.send(delegate.accepted.back(), payload.data(), uint32_t(payload.size())));
        server.stopAll(true);
        EXPECT_EQ(server.connectionCount(), 0u);
        EXPECT_EQ(server.boundPort(), 0);
        EXPECT_TRUE(a.closedByPeer(30000) && b.closedByPeer(30000));
        EXPECT_TRUE(waitUntil([&] { return delegate.closedCount() == 2 * size_t(flush) + 2; }));
        ASSERT_TRUE(server.listen(port)) << server.lastListenError().text;
    }
    TestClient c(port);
    EXPECT_TRUE(waitUntil([&] { return delegate.acceptedCount() == 5; }));
}

// --- the send backlog limit ------------------------------------------------------------------

// A connection holding more unsent bytes than the limit is ended by the next send() to it, with
// everything it still held dropped; at the limit it still takes more. The sends are made while
// the connection is being accepted, before its thread runs, so the buffer holds exactly what
// was sent.
namespace {

constexpr size_t kLimit = 100;

class SendingDelegate : public TcpServerDelegate {
public:
    bool clientAccepted(TcpServer* server, uint32_t id, uint32_t) override {
        std::lock_guard lock(mutex);
        for (size_t size : sizes) {
            std::vector<uint8_t> bytes(size, uint8_t(results.size() + 1));
            results.push_back(server->send(id, bytes.data(), uint32_t(size)));
            queued.push_back(server->queuedBytes(id));
        }
        return true;
    }
    void clientClosed(TcpServer*, uint32_t) override { ++closed; }
    void dataReceived(TcpServer*, uint32_t, uint32_t) override {}

    std::mutex mutex;
    std::vector<bool> results;
    std::vector<size_t> queued; // after each send
    std::atomic<int> closed{0};
    std::vector<size_t> sizes; // of the messages sent at the accept
};

struct Row {
    std::vector<size_t> sizes;
    std::vector<bool> results;
    std::vector<size_t> queued;
    size_t delivered; // bytes the peer gets before the close (or at all, when it stays open)
    bool ended;
};

} // namespace

TEST(SendBacklog, RefusesTheSendThatFindsMoreThanTheLimitAndEndsTheConnection) {
    ASSERT_TRUE(platform::socketStartup());
    const Row rows[] = {
        // Exactly at the limit the next message is still taken.
        {{kLimit, 1}, {true, true}, {kLimit, kLimit + 1}, kLimit + 1, false},
        // One past it, the next one ends the connection and drops all it held.
        {{kLimit, 1, 1}, {true, true, false}, {kLimit, kLimit + 1, 0}, 0, true},
        // A message larger than the limit goes to a connection that has nothing queued.
        {{10 * kLimit}, {true}, {10 * kLimit}, 10 * kLimit, false},
        // Once refused, the connection takes nothing more.
        {{kLimit + 1, 1, 1}, {true, false, false}, {kLimit + 1, 0, 0}, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.sizes));
        SendingDelegate delegate;
        delegate.sizes = row.sizes;
        TcpServer server;
        server.setDelegate(&delegate);
        server.setSendBacklogLimit(kLimit);
        ASSERT_TRUE(server.listen(0));
        TestClient peer(server.boundPort());
        ASSERT_TRUE(waitUntil([&] {
            std::lock_guard lock(delegate.mutex);
            return delegate.results.size() == row.sizes.size();
        }));
        {
            std::lock_guard lock(delegate.mutex);
            EXPECT_EQ(delegate.results, row.results);
            EXPECT_EQ(delegate.queued, row.queued);
        }
        if (row.ended) {
            std::vector<uint8_t> received;
            EXPECT_TRUE(peer.closedByPeer(5000, &received));
            EXPECT_EQ(received.size(), row.delivered);
            EXPECT_TRUE(waitUntil([&] { return delegate.closed == 1; }));
        } else {
            EXPECT_EQ(peer.receive(row.delivered).size(), row.delivered);
            EXPECT_EQ(server.connectionCount(), 1u);
        }
    }
    platform::socketCleanup();
}
