// The host-thread seam's posted messages and timers, the same tests on both platforms (a real
// hidden window under Wine, our own loop on POSIX). Sends from other threads carry every other
// bridge test; closing while they wait is tried in the teardown tests.
#include "bridge/HostWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace bridge;

namespace {

// Runs the host's loop until cond holds or the deadline passes.
template <class Cond> bool pumpUntil(HostLoop& loop, Cond cond, int ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        loop.runOnce(10);
    }
    return true;
}

struct Seen {
    std::thread::id thread;
    uint32_t message;
    uintptr_t wParam;
};

class HostWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = createHostWindow([this](uint32_t m, uintptr_t w, intptr_t) {
            if (m != kWmTimer && m != kWmPowerBroadcast)
                return std::optional<intptr_t>(); // the system's own messages to a new window
            seen.push_back({std::this_thread::get_id(), m, w});
            timerTicks += m == kWmTimer;
            return std::optional<intptr_t>(); // default processing after ours
        });
        ASSERT_TRUE(window);
    }

    HostLoop loop;
    std::unique_ptr<HostWindow> window;
    std::vector<Seen> seen; // written on the host's thread only
    std::atomic<int> timerTicks{0};
};

} // namespace

TEST_F(HostWindowTest, PostedSystemMessagesArriveInOrderOnTheHostThread) {
    std::thread poster([&] {
        EXPECT_TRUE(window->post(kWmPowerBroadcast, kPbtApmSuspend, 0));
        EXPECT_TRUE(window->post(kWmPowerBroadcast, kPbtApmResumeAutomatic, 0));
    });
    poster.join();
    ASSERT_TRUE(pumpUntil(loop, [&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[0].wParam, kPbtApmSuspend);
    EXPECT_EQ(seen[1].wParam, kPbtApmResumeAutomatic);
    EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
}

// Timers are told apart by window and id: two on one window and one of the same id on
// another all tick, and killing one stops only that one.
TEST_F(HostWindowTest, TimersTickUntilKilledAlsoWhenSetFromAnotherThread) {
    std::atomic<int> otherTicks{0};
    auto other = createHostWindow([&](uint32_t m, uintptr_t w, intptr_t) {
        otherTicks += m == kWmTimer && w == 3;
        return std::optional<intptr_t>(0);
    });
    auto ticks = [&](uintptr_t id) {
        return std::count_if(seen.begin(), seen.end(), [&](const Seen& s) {
            return s.message == kWmTimer && s.wParam == id;
        });
    };
    std::thread setter([&] {
        EXPECT_TRUE(window->setTimer(3, 10));
        EXPECT_TRUE(window->setTimer(4, 10));
        EXPECT_TRUE(other->setTimer(3, 10));
    });
    ASSERT_TRUE(pumpUntil(loop, [&] { return ticks(3) >= 3 && ticks(4) >= 3 && otherTicks >= 3; }));
    setter.join();
    EXPECT_EQ(timerTicks, ticks(3) + ticks(4));
    std::atomic<bool> killed{false};
    std::thread killer([&] {
        window->killTimer(3);
        killed = true;
    });
    ASSERT_TRUE(pumpUntil(loop, [&] { return killed.load(); }));
    killer.join();
    for (int i = 0; i < 5; ++i) // a tick already on its way may still arrive
        loop.runOnce(10);
    auto stopped = ticks(3);
    auto running = ticks(4);
    ASSERT_TRUE(pumpUntil(loop, [&] { return ticks(4) >= running + 3; }));
    EXPECT_EQ(ticks(3), stopped);
}
