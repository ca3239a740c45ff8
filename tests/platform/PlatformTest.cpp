#include "platform/Clock.h"
#include "platform/Socket.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {
struct Arg {
    platform::CriticalSection* cs;
    std::atomic<int> result{-1};
};
void tryFromOtherThread(void* p) {
    auto* arg = static_cast<Arg*>(p);
    bool entered = arg->cs->tryEnter();
    if (entered)
        arg->cs->leave();
    arg->result = entered ? 1 : 0;
}
void setEventLater(void* p) {
    platform::sleepMs(20);
    static_cast<platform::Event*>(p)->set();
}
} // namespace

TEST(Platform, CriticalSectionIsRecursiveAndExclusive) {
    platform::CriticalSection cs;
    cs.enter();
    ASSERT_TRUE(cs.tryEnter()); // nested entry by the owner
    cs.leave();
    Arg arg{&cs};
    platform::NativeThread* t = platform::startThread(tryFromOtherThread, &arg);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(platform::waitForThread(t, 5000));
    platform::closeThread(t);
    EXPECT_EQ(arg.result, 0); // still held once
    cs.leave();
    arg.result = -1;
    t = platform::startThread(tryFromOtherThread, &arg);
    ASSERT_TRUE(platform::waitForThread(t, 5000));
    EXPECT_FALSE(platform::threadStillActive(t));
    platform::closeThread(t);
    EXPECT_EQ(arg.result, 1);
}

TEST(Platform, ManualResetEventAndWaitForEither) {
    platform::Event a, b;
    EXPECT_FALSE(a.wait(0));
    EXPECT_EQ(platform::waitForEither(a, b, 10), -1);
    b.set();
    EXPECT_EQ(platform::waitForEither(a, b, 0), 1);
    EXPECT_TRUE(b.wait(0)); // manual reset: waiting does not consume it
    a.set();
    EXPECT_EQ(platform::waitForEither(a, b, 0), 0); // the first wins a tie
    a.reset();
    b.reset();
    platform::NativeThread* t = platform::startThread(setEventLater, &b);
    EXPECT_EQ(platform::waitForEither(a, b, 5000), 1);
    platform::waitForThread(t, platform::kInfinite);
    platform::closeThread(t);
}

TEST(Platform, ClocksLookLikeWindowsOnes) {
    uint32_t t0 = platform::tickCount();
    platform::sleepMs(20);
    uint32_t elapsed = platform::tickCount() - t0; // unsigned difference survives the wrap
    EXPECT_GE(elapsed, 15u);
    EXPECT_LT(elapsed, 2000u);
    // 2024-01-01 as a file time is 133485408000000000; 2200 is far beyond.
    uint64_t now = platform::fileTimeNow();
    EXPECT_GT(now, 133485408000000000ull);
    EXPECT_LT(now, 189000000000000000ull);
}

TEST(Platform, SocketWaiterWakesAndReportsData) {
    platform::SocketHandle listener = platform::listenTcp4(0);
    ASSERT_NE(listener, platform::kInvalidSocket);
    uint16_t port = platform::socketLocalPort(listener);
    ASSERT_NE(port, 0);
    platform::SocketHandle client = platform::connectTcp4("127.0.0.1", port, 3000);
    ASSERT_NE(client, platform::kInvalidSocket);
    ASSERT_EQ(platform::selectReadable(listener, 3000000), 1);
    platform::SocketHandle server = platform::acceptSocket(listener);
    ASSERT_NE(server, platform::kInvalidSocket);
    uint32_t peer = 0;
    ASSERT_TRUE(platform::peerAddressIPv4(server, peer));
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&peer);
    EXPECT_EQ(b[0], 127); // network byte order
    EXPECT_EQ(b[3], 1);
    EXPECT_TRUE(platform::setKeepAlive(server, 120000, 5000));
    EXPECT_TRUE(platform::setLingerOff(server));

    platform::SocketWaiter waiter(server);
    ASSERT_TRUE(waiter.valid());
    ASSERT_TRUE(platform::setNonBlocking(server, true));
    auto idle = waiter.wait(20, false);
    EXPECT_FALSE(idle.readable);
    EXPECT_FALSE(idle.woken);
    waiter.wake(); // before the wait: must not be lost
    EXPECT_TRUE(waiter.wait(2000, false).woken);
    EXPECT_FALSE(waiter.wait(0, false).woken); // consumed

    uint8_t byte = 42, in = 0;
    ASSERT_EQ(platform::sendSome(client, &byte, 1), 1);
    EXPECT_TRUE(waiter.wait(2000, false).readable);
    ASSERT_EQ(platform::recvSome(server, &in, 1), 1);
    EXPECT_EQ(in, 42);
    EXPECT_EQ(platform::recvSome(server, &in, 1), -1);
    EXPECT_TRUE(platform::lastErrorWouldBlock());

    platform::closeSocket(client);
    EXPECT_TRUE(waiter.wait(2000, false).readable); // a close reads as readable
    EXPECT_EQ(platform::recvSome(server, &in, 1), 0);
    platform::closeSocket(server);
    platform::closeSocket(listener);
}

TEST(Platform, ConnectToClosedPortFails) {
    platform::SocketHandle listener = platform::listenTcp4(0);
    uint16_t port = platform::socketLocalPort(listener);
    platform::closeSocket(listener);
    EXPECT_EQ(platform::connectTcp4("127.0.0.1", port, 2000), platform::kInvalidSocket);
}
