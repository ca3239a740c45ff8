// The Windows backend: "dnssd.dll" by the default search order (where Bonjour is not installed,
// as under Wine, a registration ends at once and silently), and the registration thread at
// THREAD_PRIORITY_LOWEST.
#include "services/dnssd/DnsSdSystem.h"

#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <windows.h>

using services::dnssd::BonjourEvent;
using services::dnssd::BonjourServiceThread;

namespace {

TEST(DnsSdSystemWin32, WithoutBonjourInstalledTheRegistrationEndsSilently) {
    EXPECT_STREQ(services::dnssd::defaultLibraryName(), "dnssd.dll");
    if (services::dnssd::replaceLibraryForTesting(services::dnssd::defaultLibraryName()))
        GTEST_SKIP() << "dnssd.dll is installed here";
    dnssd_test::EventRecorder events;
    BonjourServiceThread thread;
    thread.setObserver(events.observer());
    thread.StartBonjour(19371, "_tandravole._tcp");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(events.summary(), "failed:-65563");
}

TEST(DnsSdSystemWin32, TheRegistrationThreadRunsAtTheLowestPriority) {
    FakeDnsSdScript script;
    script.registerError = services::dnssd::kDNSServiceErr_Unknown; // ends after registering
    dnssd_test::Fake fake;
    ASSERT_TRUE(fake.load(dnssd_test::kFakeLibrary, script));
    std::atomic<int> seen{-100};
    BonjourServiceThread thread;
    thread.setObserver([&](const BonjourEvent&) { seen = GetThreadPriority(GetCurrentThread()); });
    thread.StartBonjour(19371, "_tandravole._tcp");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(seen.load(), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

} // namespace
