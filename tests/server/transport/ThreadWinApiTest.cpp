#include "server/transport/ThreadWinApi.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>

using testing_support::waitUntil;

namespace {

// Body that counts its runs and, unless told to return at once, waits for a stop request.
class CountingThread : public ThreadWinApi {
public:
    explicit CountingThread(bool returnAtOnce = false) : returnAtOnce_(returnAtOnce) {}
    ~CountingThread() override { stopAndJoin(); }

    void Run() override {
        sawStopAtStart = IsStopRequested();
        ++runs;
        if (!returnAtOnce_) {
            while (!WaitForStopRequest(5)) {
            }
            platform::sleepMs(30); // a slow clean-up the destructor must wait for
        }
        bodyEnded = true;
    }

    std::atomic<int> runs{0};
    std::atomic<bool> bodyEnded{false};
    std::atomic<bool> sawStopAtStart{false};

private:
    bool returnAtOnce_;
};

} // namespace

TEST(ThreadWinApi, NeverStartedObjectIsInert) {
    CountingThread t;
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.WaitForExit(0));
    EXPECT_FALSE(t.IsStopRequested()); // no event: the wait fails and reads as not signalled
    uint32_t start = platform::tickCount();
    t.Stop(true);
    t.Join();
    EXPECT_LT(platform::tickCount() - start, 100u);
    EXPECT_EQ(t.runs, 0);
}

TEST(ThreadWinApi, SecondStartIsRefusedWhileRunning) {
    CountingThread t;
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(waitUntil([&] { return t.runs == 1; }));
    EXPECT_FALSE(t.Start());
    EXPECT_TRUE(t.IsRunning());
    EXPECT_FALSE(t.WaitForExit(20));
    t.Stop(true);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.bodyEnded);
    EXPECT_EQ(t.runs, 1);
    EXPECT_TRUE(t.IsStopRequested()); // the event stays signalled until the next Start
}

TEST(ThreadWinApi, RestartsAfterBodyReturnedWithEventReset) {
    CountingThread t(true);
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(t.WaitForExit(5000));
    EXPECT_FALSE(t.IsRunning());
    t.Stop(false); // leaves the event signalled
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(t.WaitForExit(5000));
    EXPECT_EQ(t.runs, 2);
    EXPECT_FALSE(t.sawStopAtStart);
}

TEST(ThreadWinApi, StopWithoutWaitOnlyAsks) {
    CountingThread t;
    ASSERT_TRUE(t.Start());
    t.Stop(false);
    EXPECT_TRUE(t.IsStopRequested());
    EXPECT_TRUE(t.WaitForExit(5000));
    EXPECT_TRUE(t.bodyEnded);
}

TEST(ThreadWinApi, DestructorSignalsAndJoinsRunningBody) {
    bool endedBeforeMembersWent = false;
    {
        struct Recording : CountingThread {
            explicit Recording(bool& out) : out_(out) {}
            ~Recording() override {
                stopAndJoin();
                out_ = bodyEnded.load();
            }
            bool& out_;
        } t(endedBeforeMembersWent);
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(waitUntil([&] { return t.runs == 1; }));
    }
    EXPECT_TRUE(endedBeforeMembersWent);
}
