// What a session ended by a takeover or a kick leaves behind. The apps' bytes wait in a second
// transport's receive buffers, so the engine is told of them exactly when the test says.
#include "tests/server/engine/EngineFixture.h"

#include <map>
#include <mutex>

namespace engine_test {
namespace {

constexpr uint32_t kLoopback = 0x0100007F;

// Keeps received bytes where they are and counts them per connection, in accepting order.
class Holding : public TcpServerDelegate {
public:
    bool clientAccepted(TcpServer*, uint32_t id, uint32_t) override {
        std::lock_guard lock(mutex);
        bytes[id] = 0;
        return true;
    }
    void clientClosed(TcpServer*, uint32_t) override {}
    void dataReceived(TcpServer*, uint32_t id, uint32_t count) override {
        std::lock_guard lock(mutex);
        bytes[id] += count;
    }
    std::map<uint32_t, uint32_t> held() {
        std::lock_guard lock(mutex);
        return bytes;
    }
    std::mutex mutex;
    std::map<uint32_t, uint32_t> bytes;
};

// Late bytes of the ended app (a login still on its way) do not act on the next session, and
// its unfinished frame does not swallow the next app's first message.
TEST(KickedSession, OnlyTheNextAppsBytesAreParsed) {
    struct Row {
        const char* what;
        std::string password;
        Bytes oldBefore, oldAfter, newAfter; // around the end of the old session
        std::vector<std::string> logins;     // the delegate's login calls
    };
    platform::socketStartup();
    const Bytes login = buildFrame(MSG_LOGIN, Bytes(16, 0x5A) + Bytes{1, 0});
    const Bytes unfinished =
        Bytes{0x3B, 0x87, 0xD9, 0x71} + le32(MSG_QUERY) + le32(100) + Bytes(10, 2);
    const Row rows[] = {
        {"a late login of the old app", "secret", {}, login, {}, {}},
        {"an unfinished frame of the old app", "", unfinished, {}, login, {"onClientLogin(1)"}},
    };
    // The old session is kicked before the new app comes, or taken over by it.
    for (bool kickFirst : {false, true})
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            SCOPED_TRACE(kickFirst);
            Holding holding;
            TcpServer feeder;
            feeder.setDelegate(&holding);
            ASSERT_TRUE(feeder.listen(0));
            TestClient oldApp(feeder.boundPort());
            ASSERT_TRUE(waitUntil([&] { return holding.held().size() == 1; }));
            TestClient newApp(feeder.boundPort());
            ASSERT_TRUE(waitUntil([&] { return holding.held().size() == 2; }));
            const uint32_t oldId = holding.held().begin()->first;
            const uint32_t newId = holding.held().rbegin()->first;

            RecordingDelegate fake(RecordingDelegate::Recording::On);
            WinampControlServer server;
            server.setDelegate(&fake);
            server.setAllowKick(true);
            server.setPassword(row.password);
            auto deliver = [&](TestClient& app, uint32_t id, const Bytes& bytes) {
                if (bytes.empty())
                    return;
                const uint32_t before = holding.held()[id];
                ASSERT_TRUE(app.sendAll(bytes));
                ASSERT_TRUE(waitUntil([&] { return holding.held()[id] == before + bytes.size(); }));
                server.dataReceived(&feeder, id, uint32_t(bytes.size()));
            };
            ASSERT_TRUE(server.clientAccepted(&feeder, oldId, kLoopback));
            deliver(oldApp, oldId, row.oldBefore);
            if (kickFirst)
                server.kickSession();
            ASSERT_TRUE(server.clientAccepted(&feeder, newId, kLoopback));
            deliver(oldApp, oldId, row.oldAfter);
            deliver(newApp, newId, row.newAfter);

            std::vector<std::string> logins;
            for (const std::string& call : fake.calls())
                if (call.rfind("onClientLogin", 0) == 0)
                    logins.push_back(call);
            EXPECT_EQ(logins, row.logins);
        }
    platform::socketCleanup();
}

// The cover loader's threads stop once a kicked session's connection has closed with no
// session after it; a request of that session dispatched only now starts no thread, and its
// key does not refuse the next session's request for the same cover.
TEST_F(Engine, TheCoverLoaderStopsWhenAKickedSessionsConnectionClosesWithNoneAfterIt) {
    server.keepalive().setClock(clock);
    fake.edit([](Answers& a) { a.albumCovers["Blue"] = Bytes(100, 7); });
    CoverRequestMessage r;
    r.album = "Blue";
    {
        Peer app(port);
        ASSERT_EQ(app.login("", 1, 1), 1);
        app.send(r);
        ASSERT_EQ(app.nextOf(MSG_COVER).type, uint32_t(MSG_COVER));
        EXPECT_EQ(server.coverLoader().threadCount(), 1u);
        clock.advance(2001); // two silent keep-alive intervals: kicked
        EXPECT_TRUE(app.client.closedByPeer(5000));
        EXPECT_TRUE(waitUntil([&] { return server.coverLoader().threadCount() == 0; }));
    }
    CoverRequest late;
    late.album = "Blue";
    server.coverLoader().queueCoverRequest(late);
    EXPECT_EQ(server.coverLoader().threadCount(), 0u);

    Peer next(port);
    ASSERT_EQ(next.login("", 1, 1), 1);
    next.send(r);
    EXPECT_EQ(next.nextOf(MSG_COVER).type, uint32_t(MSG_COVER));
}

} // namespace
} // namespace engine_test
