// The Windows backend: "dnssd.dll" by the default search order, and the registration thread
// at THREAD_PRIORITY_LOWEST.
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

TEST(DnsSdSystemWin32, TheLibraryIsDnssdDll) {
    EXPECT_STREQ(services::dnssd::defaultLibraryName(), "dnssd.dll");
}

// Where Bonjour is not installed (as under Wine) the plug-in's own library load finds nothing,
// and a registration ends at once and silently.
TEST(DnsSdSystemWin32, WithoutBonjourInstalledTheRegistrationEndsSilently) {
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
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibrary));
    dnssd_test::FakeControls fake;
    ASSERT_TRUE(fake.valid());
    fake.reset();
    FakeDnsSdScript script;
    script.registerError =
        services::dnssd::kDNSServiceErr_Unknown; // the thread ends after registering
    fake.script(script);

    std::atomic<int> seen{-100};
    BonjourServiceThread thread;
    thread.setObserver([&](const BonjourEvent&) { seen = GetThreadPriority(GetCurrentThread()); });
    thread.StartBonjour(19371, "_tandravole._tcp");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(seen.load(), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

} // namespace
