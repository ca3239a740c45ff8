// The host-thread seam's timers, the same test on both platforms (a real
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
template <class Cond> bool pumpUntil(HostLoop& loop, Cond cond) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        loop.runOnce(10);
    }
    return true;
}

} // namespace

// Timers are told apart by window and id: two on one window and one of the same id on another all
// tick, also when set from another thread, and killing one stops only that one.
TEST(HostWindow, TimersTickOnTheHostsThreadUntilKilled) {
    using Seen = std::pair<uint32_t, uintptr_t>;
    HostLoop loop;
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
    ASSERT_TRUE(pumpUntil(loop, [&] { return ticks(3) >= 3 && ticks(4) >= 3 && otherTicks >= 3; }));
    setter.join();
    EXPECT_EQ(seen.size(), size_t(ticks(3) + ticks(4)));
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
