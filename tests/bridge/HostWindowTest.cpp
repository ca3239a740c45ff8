// The host-thread seam, the same tests on both platforms: a real hidden window and
// SendMessageW under Wine, our own loop on POSIX. The test's main thread is the host's thread.
// Pumping while the server's threads stop is tried through the control, in the bridge's
// teardown tests.
#include "bridge/HostWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace bridge;

namespace {

constexpr uint32_t kPlay = 40002;
constexpr uint32_t kAsk = 40011;

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
    intptr_t lParam;
};

class HostWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = createHostWindow(
            [this](uint32_t m, uintptr_t w, intptr_t l) { return procedure(m, w, l); });
        ASSERT_TRUE(window);
    }

    std::optional<intptr_t> procedure(uint32_t m, uintptr_t w, intptr_t l) {
        if (m < 40000 && m != kWmTimer && m != kWmPowerBroadcast)
            return std::nullopt; // the system's own messages to a new window
        seen.push_back({std::this_thread::get_id(), m, w, l});
        if (m == kWmTimer)
            ++timerTicks;
        if (m == kAsk && w == 1) // a nested send from inside the procedure
            return window->send(kAsk, 0, l) + 1;
        if (m == kWmPowerBroadcast)
            return std::nullopt; // default processing after ours
        return intptr_t(w) * 1000 + l;
    }

    HostLoop loop;
    std::unique_ptr<HostWindow> window;
    std::vector<Seen> seen; // written on the host's thread only
    std::atomic<int> timerTicks{0};
};

} // namespace

// Senders from other threads wait until the host's thread pumps, then run there one at a
// time with their results (every bridge test relies on it); from the host's thread a send
// runs directly and may nest.
TEST_F(HostWindowTest, SendsFromOtherThreadsWaitForTheHostThreadAndItsOwnMayNest) {
    std::atomic<int> finished{0};
    std::vector<intptr_t> results(2);
    std::vector<std::thread> senders;
    for (int i = 0; i < 2; ++i)
        senders.emplace_back([&, i] {
            results[i] = window->send(kPlay, uintptr_t(i + 1), 7);
            ++finished;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the host is not pumping
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(pumpUntil(loop, [&] { return finished == 2; }));
    for (auto& t : senders)
        t.join();
    EXPECT_EQ(results, (std::vector<intptr_t>{1007, 2007}));
    for (const Seen& s : seen)
        EXPECT_EQ(s.thread, std::this_thread::get_id());

    seen.clear();
    EXPECT_EQ(window->send(kAsk, 1, 5), 5 + 1); // outer runs the inner one, nested
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].wParam, 0u);
    auto other = createHostWindow([](uint32_t, uintptr_t, intptr_t) { return intptr_t(0); });
    ASSERT_TRUE(other);
    EXPECT_NE(other->handle(), window->handle());
}

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

TEST_F(HostWindowTest, ClosingReleasesAWaitingSenderAndLaterSendsReturnZeroAtOnce) {
    std::atomic<intptr_t> result{-1};
    std::thread sender([&] { result = window->send(kPlay, 9, 9); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    window->close();
    ASSERT_TRUE(pumpUntil(loop, [&] { return result.load() != -1; }));
    sender.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(window->send(kPlay, 1, 1), 0);
    EXPECT_FALSE(window->post(kPlay, 1, 1));
    EXPECT_TRUE(seen.empty());
}
