// Keep-alive against a clock the test moves, and the messages that bypass the processing queue.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

// Only MSG_KEEPALIVE from the app is a sign of life.
TEST_F(Engine, KeepaliveProbesAfterAnIntervalAndKicksAfterTwoSilentOnes) {
    WinampKeepaliveThread& k = server.keepalive();
    k.setClock(clock);
    Peer p(port);
    ASSERT_EQ(p.login("", 1, 1), 1);
    EXPECT_EQ(p.nextOf(MSG_KEEPALIVE).type, uint32_t(MSG_KEEPALIVE)); // the first probe
    clock.advance(1000);                                              // exactly one interval
    EXPECT_TRUE(p.within(500).empty());
    clock.advance(1);
    EXPECT_EQ(p.next().type, uint32_t(MSG_KEEPALIVE));
    p.sendRaw(MSG_PING, {});
    p.query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(p.next().type, uint32_t(MSG_KEEPALIVE));
    EXPECT_EQ(p.next().type, uint32_t(MSG_CURRENT_INDEX));
    clock.advance(999); // exactly two intervals of silence: not yet
    EXPECT_FALSE(p.client.closedByPeer(500));
    EXPECT_TRUE(server.loggedIn());
    for (int i = 0; i < 3; ++i) { // never 2 s without a keep-alive
        p.sendRaw(MSG_KEEPALIVE, {});
        ASSERT_TRUE(waitUntil([&] { return k.lastSeen() == clock.tickCount(); }));
        clock.advance(1500);
    }
    EXPECT_FALSE(p.client.closedByPeer(300));
    clock.advance(501);
    EXPECT_TRUE(p.client.closedByPeer(5000));
    EXPECT_TRUE(waitUntil([&] { return !server.loggedIn(); }));
    EXPECT_TRUE(waitUntil([&] { return !k.IsRunning(); }));
}

// u32 tick arithmetic: while the counter has wrapped past last seen, no time-out is detected.
TEST_F(Engine, KeepaliveSeesNoTimeoutWhileTheTickCounterHasWrapped) {
    WinampKeepaliveThread& k = server.keepalive();
    k.setClock(clock);
    const uint64_t seen = 0x1FFFFF000ull; // tick 0xFFFFF000, 4096 ms before the wrap
    clock.setMonotonicMs(seen);
    Peer p(port);
    ASSERT_EQ(p.login("", 1, 1), 1);
    ASSERT_TRUE(waitUntil([&] { return k.lastSeen() == 0xFFFFF000u; }));
    clock.setMonotonicMs(0x200000005ull); // wrapped: now is not greater than last seen
    EXPECT_FALSE(p.client.closedByPeer(500));
    clock.setMonotonicMs(seen + 2000); // exactly two intervals: not yet
    EXPECT_FALSE(p.client.closedByPeer(500));
    clock.setMonotonicMs(seen + 2001);
    EXPECT_TRUE(p.client.closedByPeer(5000));
}

// Keep-alive and ping are handled on arrival, while a slow request runs. Requests queued
// behind a slow one belong to the session: when it ends they are dropped, not run for whoever
// comes next. They wait in the queue when they came after the slow one, or in the batch it was
// taken with when all three came in one write.
TEST_F(Engine, RequestsQueuedBehindASlowOneGoWithTheirSession) {
    server.keepalive().setClock(clock);
    for (bool oneWrite : {false, true}) {
        SCOPED_TRACE(oneWrite);
        const uint64_t before = fake.count(Op::GetPlayerStatus);
        auto p = connectAndLogin();
        Hold hold(fake, Op::GetPlayerStatus);
        const Bytes status = buildFrame(MSG_QUERY, queryBytes(QUERY_PLAYER_STATUS, 0));
        if (oneWrite)
            p->client.sendAll(status + status + status);
        else
            p->client.sendAll(status);
        ASSERT_TRUE(fake.waitForCount(Op::GetPlayerStatus, before + 1));
        clock.advance(5);
        p->sendRaw(MSG_KEEPALIVE, {});
        EXPECT_TRUE(waitUntil([&] { return server.keepalive().lastSeen() == clock.tickCount(); }));
        p->sendRaw(MSG_PING, {});
        EXPECT_EQ(frames({p->next()}), (Frames{{MSG_KEEPALIVE, {}}}));
        if (!oneWrite) {
            p->client.sendAll(status + status);
            ASSERT_TRUE(waitUntil([&] { return server.processor().queued() == 2; }));
        }
        p.reset();
        ASSERT_TRUE(sessionEnded());
        // The queue is emptied just after the session is cleared, on the same thread.
        EXPECT_TRUE(waitUntil([&] { return server.processor().queued() == 0; }));
        hold.release();
        auto next = connectAndLogin();
        next->query(QUERY_PLAYER_STATUS);
        EXPECT_EQ(next->nextOf(MSG_PLAYER_STATUS).type, uint32_t(MSG_PLAYER_STATUS));
        EXPECT_EQ(fake.count(Op::GetPlayerStatus), before + 2); // the first and the new app's
        next.reset();
        ASSERT_TRUE(sessionEnded());
    }
}

} // namespace
} // namespace engine_test
