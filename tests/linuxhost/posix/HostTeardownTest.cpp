// tandravole-host ended by SIGTERM at a random moment while two apps hammer it with requests,
// covers and keep-alive, again and again: every run must end by itself within the watchdog's
// time, with exit code 0 and without a sanitizer report.
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "tests/support/TempFolder.h"
#include "tools/storm/StormApps.h"
#include "tools/storm/posix/HostProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <thread>

namespace {

// Far longer than a teardown takes even in a sanitizer build on a busy machine: a host that
// has not ended by then hangs.
constexpr uint32_t kWatchdogMs = 60000;

TEST(HostTeardown, SigtermAtRandomMomentsUnderLoadEndsTheHostWithZero) {
    ASSERT_TRUE(platform::socketStartup());
    const testing_support::TempFolder data;
    // Two apps take the session from each other; no update check leaves this machine.
    storm::writeHostSettings(data.path.string(), true);
    const uint32_t seed = std::random_device{}();
    std::mt19937 random(seed);
    storm::Tally tally;
    for (int round = 0; round < TANDRAVOLE_TEARDOWN_ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
        storm::HostProcess host(TANDRAVOLE_HOST_EXE,
                                {"--port", "0", "--data-dir", data.path.string(), "--no-bonjour"});
        const uint16_t port = host.waitForPort(kWatchdogMs);
        ASSERT_NE(port, 0) << host.output();
        std::atomic<bool> stop{false};
        std::vector<std::thread> apps;
        for (uint32_t i = 0; i < 2; ++i)
            apps.emplace_back(storm::runBusyApp,
                              storm::AppOptions{port, "", true, seed + uint32_t(round * 2) + i},
                              std::ref(tally), std::cref(stop), true);
        // Before the apps are in, during a login, or while they are busy.
        platform::sleepMs(random() % 400);
        host.signal(SIGTERM);
        std::optional<int> code = host.waitForExit(kWatchdogMs);
        stop = true;
        for (auto& app : apps)
            app.join();
        ASSERT_TRUE(code) << "still running " << kWatchdogMs << " ms after SIGTERM:\n"
                          << host.output();
        EXPECT_EQ(*code, 0) << host.output();
        EXPECT_FALSE(storm::hasSanitizerReport(host.output())) << host.output();
    }
    platform::socketCleanup();
}

} // namespace
