#include "platform/Clock.h"
#include "platform/Socket.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {
void setEventLater(void* p) {
    platform::sleepMs(20);
    static_cast<platform::Event*>(p)->set();
}

double steadyMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

TEST(PlatformSync, CriticalSectionIsRecursiveAndExclusive) {
    platform::CriticalSection cs;
    cs.enter();
    ASSERT_TRUE(cs.tryEnter()); // nested entry by the owner
    cs.leave();
    // Another thread fails while the section is still held once, and enters once it is free.
    struct Arg {
        platform::CriticalSection* cs;
        std::atomic<int> result{-1};
    };
    for (int entered : {0, 1}) {
        Arg arg{&cs};
        platform::NativeThread* t = platform::startThread(
            [](void* p) {
                auto* a = static_cast<Arg*>(p);
                const bool in = a->cs->tryEnter();
                if (in)
                    a->cs->leave();
                a->result = in ? 1 : 0;
            },
            &arg);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(platform::waitForThread(t, 5000));
        EXPECT_FALSE(platform::threadStillActive(t));
        platform::closeThread(t);
        EXPECT_EQ(arg.result, entered);
        if (!entered)
            cs.leave();
    }
}

TEST(PlatformSync, ManualResetEventAndWaitForEither) {
    platform::Event a, b;
    EXPECT_FALSE(a.wait(0));
    EXPECT_EQ(platform::waitForEither(a, b, 10), -1);
    b.set();
    EXPECT_EQ(platform::waitForEither(a, b, 0), 1);
    EXPECT_TRUE(b.wait(0)); // manual reset: waiting does not consume it
    a.set();
    EXPECT_EQ(platform::waitForEither(a, b, 0), 0); // the first wins a tie
    EXPECT_EQ(platform::waitForEither(a, b, platform::kInfinite), 0);
    EXPECT_EQ(platform::waitForEither(b, a, platform::kInfinite), 0);
    a.reset();
    b.reset();
    platform::NativeThread* t = platform::startThread(setEventLater, &b);
    EXPECT_EQ(platform::waitForEither(a, b, 5000), 1);
    platform::waitForThread(t, platform::kInfinite);
    platform::closeThread(t);
}

// No clock test measures a sleep: on a busy machine (and under Wine) a sleep may be seen to
// last less or much more than asked. This one waits (with a generous deadline) until the clock
// has moved 100 ms, then checks that real time moved at least about as much: a clock in the
// wrong unit runs far ahead, or never gets there.
TEST(PlatformClock, MonotonicClockMovesForwardAtTheRateOfRealTime) {
    double start = steadyMs();
    uint64_t first = platform::monotonicMs();
    uint64_t last = first;
    while (last - first < 100 && steadyMs() - start < 30000) {
        platform::sleepMs(1);
        uint64_t now = platform::monotonicMs();
        ASSERT_GE(now, last) << "the monotonic clock went back";
        last = now;
    }
    double elapsed = steadyMs() - start;
    ASSERT_GE(last - first, 100u) << "no progress in " << elapsed << " ms";
    EXPECT_GE(elapsed, 100 - 20.0); // a coarse tick may be up to one step behind
}

TEST(PlatformClock, FileTimeIsTheWallClock) {
    // Bracketed by the C++ library's own reading of the wall clock, with room for a coarse one.
    constexpr uint64_t kSlack = 50 * platform::kFileTimePerMs;
    auto library = [] {
        auto since1970 = std::chrono::system_clock::now().time_since_epoch();
        return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() /
                        100) +
               116444736000000000ull;
    };
    const uint64_t before = library(), ours = platform::fileTimeNow(),
                   viaSeam = platform::systemClock().fileTime(), after = library();
    for (uint64_t read : {ours, viaSeam}) {
        EXPECT_GE(read + kSlack, before);
        EXPECT_LE(read, after + kSlack);
    }
}

// On a listener nobody connects to: the socket never wakes the waiter.
TEST(PlatformSocket, WaiterReturnsForAStopEventSetBeforeOrDuringTheWait) {
    const platform::SocketHandle listener = platform::listenTcp4(0);
    ASSERT_NE(listener, platform::kInvalidSocket);
    platform::SocketWaiter waiter(listener);
    // An event set before anybody waited on it with a socket counts as well.
    platform::Event early;
    early.set();
    EXPECT_TRUE(waiter.wait(platform::kInfinite, false, &early).stopped);
    platform::Event stop;
    EXPECT_FALSE(waiter.wait(0, false, &stop).stopped);
    stop.set();
    auto ready = waiter.wait(platform::kInfinite, false, &stop);
    EXPECT_TRUE(ready.stopped);
    EXPECT_FALSE(ready.readable);
    EXPECT_TRUE(waiter.wait(platform::kInfinite, false, &stop).stopped); // manual reset
    stop.reset();
    EXPECT_FALSE(waiter.wait(0, false, &stop).stopped);
    // Set twice and reset once: reset undoes any number of sets.
    stop.set();
    stop.set();
    stop.reset();
    EXPECT_FALSE(waiter.wait(0, false, &stop).stopped);
    // Set from another thread while the wait has no time limit.
    platform::NativeThread* t = platform::startThread(setEventLater, &stop);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(waiter.wait(platform::kInfinite, false, &stop).stopped);
    platform::waitForThread(t, platform::kInfinite);
    platform::closeThread(t);
    platform::closeSocket(listener);
}
