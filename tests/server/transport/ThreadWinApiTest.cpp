#include "server/transport/ThreadWinApi.h"
#include "common/Log.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using testing_support::LogCapture;
using testing_support::waitUntil;

namespace {

// Body that counts its runs and waits for a stop request.
class CountingThread : public ThreadWinApi {
public:
    ~CountingThread() override { stopAndJoin(); }

    void Run() override {
        sawStopAtStart = IsStopRequested();
        ++runs;
        while (!WaitForStopRequest(platform::kInfinite)) {
        }
        platform::sleepMs(30); // a slow clean-up that Stop(true) and the destructor must wait for
        bodyEnded = true;
    }

    std::atomic<int> runs{0};
    std::atomic<bool> bodyEnded{false};
    std::atomic<bool> sawStopAtStart{false};
};

struct ThrowingThread : ThreadWinApi {
    ~ThrowingThread() override { stopAndJoin(); }
    void Run() override {
        ++runs;
        if (standard)
            throw std::runtime_error("disk on fire");
        throw 42;
    }
    bool standard = true;
    std::atomic<int> runs{0};
};

} // namespace

// A never-started object is inert; a stop asked before the start is not remembered.
TEST(ThreadWinApi, NeverStartedObjectIsInertAndForgetsAStopAskedBeforeStart) {
    CountingThread t;
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.WaitForExit(0));
    EXPECT_FALSE(t.IsStopRequested()); // no event: the wait fails and reads as not signalled
    t.Stop(true);                      // no thread to wait for: comes back at once, like Join
    t.Join();
    EXPECT_EQ(t.runs, 0);
    t.Stop(false); // nothing to signal yet
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(waitUntil([&] { return t.runs == 1; }));
    EXPECT_FALSE(t.sawStopAtStart);
    EXPECT_TRUE(t.IsRunning());
    EXPECT_FALSE(t.IsStopRequested());
}

// A second Start is refused while the body runs; the stop event stays signalled until the next
// Start resets it; a stop right after a start is never lost, whether the body has begun or not
// (a lost one would leave the wait to its time-out).
TEST(ThreadWinApi, StartIsRefusedWhileRunningAndRestartsResetTheStop) {
    CountingThread t;
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(waitUntil([&] { return t.runs == 1; }));
    EXPECT_FALSE(t.Start());
    EXPECT_TRUE(t.IsRunning());
    EXPECT_FALSE(t.WaitForExit(20));
    t.Stop(true);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.bodyEnded);
    EXPECT_TRUE(t.IsStopRequested());
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(waitUntil([&] { return t.runs == 2; }));
    EXPECT_FALSE(t.sawStopAtStart);
    EXPECT_FALSE(t.WaitForExit(20));
    for (int i = 0; i < 20; ++i) {
        t.Stop(i % 2 == 0);
        EXPECT_TRUE(t.IsStopRequested());
        ASSERT_TRUE(t.WaitForExit(30000)) << "round " << i;
        EXPECT_FALSE(t.IsRunning());
        ASSERT_TRUE(t.Start());
    }
    EXPECT_TRUE(waitUntil([&] { return t.runs == 22; }));
}

// --- exceptions ------------------------------------------------------------------------------

// A standard exception and one of unknown type alike: logged, and only that thread ends.
TEST(ThreadWinApi, ExceptionOutOfBodyIsLoggedAndEndsOnlyThatThread) {
    for (const auto& [standard, text] : {std::pair{true, "disk on fire"}, {false, "unknown"}}) {
        LogCapture log;
        ThrowingThread t;
        t.standard = standard;
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(t.WaitForExit(30000));
        EXPECT_FALSE(t.IsRunning());
        // The process is still here; the object can run again and fails the same way.
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(t.WaitForExit(30000));
        EXPECT_EQ(t.runs, 2);
        auto events = log.events();
        ASSERT_EQ(events.size(), 2u);
        for (const auto& [kind, said] : events) {
            EXPECT_EQ(kind, LogKind::Error);
            EXPECT_NE(said.find(text), std::string::npos) << said;
        }
    }
}
