// Termination requests reach the callback on the watch's thread, one call per request, and
// the previous handling comes back when the watch ends.
#include "platform/Signals.h"

#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
std::atomic<int> fallbackCalls{0};
extern "C" void fallback(int) {
    ++fallbackCalls;
}
} // namespace

TEST(TerminationWatch, EachRequestIsReportedOffTheSignalHandlerAndTheOldHandlingReturns) {
    fallbackCalls = 0;
    std::signal(SIGTERM, fallback);
    std::mutex lock;
    std::vector<std::string> seen;
    std::vector<std::thread::id> threads;
    {
        platform::TerminationWatch watch([&](const char* what) {
            std::lock_guard hold(lock);
            seen.push_back(what);
            threads.push_back(std::this_thread::get_id());
        });
        ASSERT_TRUE(watch.active());
        std::raise(SIGTERM);
        std::raise(SIGINT);
        ASSERT_TRUE(testing_support::waitUntil([&] {
            std::lock_guard hold(lock);
            return seen.size() == 2;
        }));
        EXPECT_EQ(fallbackCalls, 0);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"SIGTERM", "SIGINT"}));
    EXPECT_NE(threads[0], std::this_thread::get_id());
    std::raise(SIGTERM);
    EXPECT_EQ(fallbackCalls, 1);
    std::signal(SIGTERM, SIG_DFL);
}
