// The host-thread seam's timers, the same test on both platforms (a real
// hidden window under Wine, our own loop on POSIX). Sends from other threads carry every other
// bridge test; closing while they wait is tried in the teardown tests.
#include "bridge/HostWindow.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace bridge;

// Timers are told apart by window and id: two on one window and one of the same id on another all
// tick, also when set from another thread, and killing one stops only that one.
TEST(HostWindow, TimersTickOnTheHostsThreadUntilKilled) {
    using Seen = std::pair<uint32_t, uintptr_t>;
    HostLoop loop;
    // Runs the host's loop until cond holds or a generous deadline passes.
    auto pumpUntil = [&loop](const std::function<bool()>& cond) {
        return testing_support::waitUntil(
            [&] {
                loop.runOnce(10);
                return cond();
            },
            10000);
    };
    const std::thread::id hostThread = std::this_thread::get_id();
    std::vector<Seen> seen; // written on the host's thread only
    std::atomic<int> otherTicks{0};
    auto window = createHostWindow([&](uint32_t m, uintptr_t w, intptr_t) {
        if (m == kWmTimer) { // not the system's own messages to a new window
            EXPECT_EQ(std::this_thread::get_id(), hostThread);
            seen.emplace_back(m, w);
        }
        return std::optional<intptr_t>(); // default processing after ours
    });
    auto other = createHostWindow([&](uint32_t m, uintptr_t w, intptr_t) {
        otherTicks += m == kWmTimer && w == 3;
        return std::optional<intptr_t>(0);
    });
    ASSERT_TRUE(window && other);
    auto ticks = [&](uintptr_t id) {
        return std::count(seen.begin(), seen.end(), Seen(kWmTimer, id));
    };
    std::thread setter([&] {
        EXPECT_TRUE(window->setTimer(3, 10));
        EXPECT_TRUE(window->setTimer(4, 10));
        EXPECT_TRUE(other->setTimer(3, 10));
    });
    ASSERT_TRUE(pumpUntil([&] { return ticks(3) >= 3 && ticks(4) >= 3 && otherTicks >= 3; }));
    setter.join();
    EXPECT_EQ(seen.size(), size_t(ticks(3) + ticks(4)));
    std::atomic<bool> killed{false};
    std::thread killer([&] {
        window->killTimer(3);
        killed = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return killed.load(); }));
    killer.join();
    for (int i = 0; i < 5; ++i) // a tick already on its way may still arrive
        loop.runOnce(10);
    auto stopped = ticks(3);
    auto running = ticks(4);
    ASSERT_TRUE(pumpUntil([&] { return ticks(4) >= running + 3; }));
    EXPECT_EQ(ticks(3), stopped);
}
