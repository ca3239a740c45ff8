// The Linux backend: Avahi's compatibility library by its versioned name, its warning
// silenced, and the registration thread two steps nicer than its starter.
#include "services/dnssd/DnsSdSystem.h"

#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

using services::dnssd::BonjourEvent;
using services::dnssd::BonjourServiceThread;

namespace {

TEST(DnsSdSystemPosix, LoadsAvahisCompatibilityLibraryWithoutItsWarning) {
    EXPECT_STREQ(services::dnssd::defaultLibraryName(), "libdns_sd.so.1");
    // The module loaded it when the program started (Debian's libavahi-compat-libdnssd1).
    const char* nowarn = std::getenv("AVAHI_COMPAT_NOWARN");
    ASSERT_NE(nowarn, nullptr);
    EXPECT_STREQ(nowarn, "1");
}

TEST(DnsSdSystemPosix, TheRegistrationThreadRunsTwoStepsNicer) {
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibrary));
    dnssd_test::FakeControls fake;
    ASSERT_TRUE(fake.valid());
    fake.reset();
    FakeDnsSdScript script;
    script.registerError =
        services::dnssd::kDNSServiceErr_Unknown; // the thread ends after registering
    fake.script(script);

    errno = 0;
    const int mine = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    ASSERT_EQ(errno, 0);
    std::atomic<int> seen{-100};
    BonjourServiceThread thread;
    thread.setObserver([&](const BonjourEvent&) {
        seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    });
    thread.StartBonjour(19371, "_tandravole._tcp");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(seen.load(), mine + 2 > 19 ? 19 : mine + 2);
    // The starter's own priority is untouched.
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), mine);
}

} // namespace
