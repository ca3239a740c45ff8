// The send backlog limit: a connection holding more unsent bytes than the limit is ended by the
// next send() to it, with everything it still held dropped; at the limit it still takes more.
// The sends are made while the connection is being accepted, before its thread runs, so the
// buffer holds exactly what was sent.
#include "server/transport/TcpServer.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

using testing_support::TestClient;
using testing_support::waitUntil;

namespace {

constexpr size_t kLimit = 100;

class SendingDelegate : public TcpServerDelegate {
public:
    explicit SendingDelegate(std::vector<size_t> sizes) : sizes_(std::move(sizes)) {}
    bool clientAccepted(TcpServer* server, uint32_t id, uint32_t) override {
        std::lock_guard lock(mutex);
        for (size_t size : sizes_) {
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

private:
    std::vector<size_t> sizes_;
};

struct Row {
    std::vector<size_t> sizes;
    std::vector<bool> results;
    std::vector<size_t> queued;
    size_t delivered; // bytes the peer gets before the close (or at all, when it stays open)
    bool ended;
};

TEST(SendBacklog, RefusesTheSendThatFindsMoreThanTheLimitAndEndsTheConnection) {
    ASSERT_TRUE(platform::socketStartup());
    const Row rows[] = {
        // Exactly at the limit the next message is still taken.
        {{kLimit, 1}, {true, true}, {kLimit, kLimit + 1}, kLimit + 1, false},
        // One past it, the next one ends the connection and drops all it held.
        {{kLimit, 1, 1}, {true, true, false}, {kLimit, kLimit + 1, 0}, 0, true},
        {{kLimit + 1, 1}, {true, false}, {kLimit + 1, 0}, 0, true},
        // A message larger than the limit goes to a connection that has nothing queued.
        {{10 * kLimit}, {true}, {10 * kLimit}, 10 * kLimit, false},
        // Once refused, the connection takes nothing more.
        {{kLimit + 1, 1, 1}, {true, false, false}, {kLimit + 1, 0, 0}, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.sizes));
        SendingDelegate delegate(row.sizes);
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

} // namespace
