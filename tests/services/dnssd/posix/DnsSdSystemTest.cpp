// The Linux backend: Avahi's compatibility library by its versioned name, its warning silenced
// (never overriding the user's own setting), and the registration thread two steps nicer than
// its starter (told by an observer that throws, which is logged and changes nothing).
#include "services/dnssd/DnsSdSystem.h"

#include "services/dnssd/BonjourServiceThread.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TEST(DnsSdSystemPosix, AvahisCompatibilityLibraryWithoutItsWarning) {
    EXPECT_STREQ(services::dnssd::defaultLibraryName(), "libdns_sd.so.1");
    // The module loaded it when the program started (Debian's libavahi-compat-libdnssd1).
    EXPECT_STREQ(std::getenv("AVAHI_COMPAT_NOWARN"), "1");
    // A value the user gave stays.
    setenv("AVAHI_COMPAT_NOWARN", "user", 1);
    dnssd_test::Fake fake;
    ASSERT_TRUE(fake.load(dnssd_test::kFakeLibrary));
    EXPECT_STREQ(std::getenv("AVAHI_COMPAT_NOWARN"), "user");
    setenv("AVAHI_COMPAT_NOWARN", "1", 1);
}

TEST(DnsSdSystemPosix, TheRegistrationThreadRunsTwoStepsNicer) {
    FakeDnsSdScript script;
    script.registerError = services::dnssd::kDNSServiceErr_Unknown; // ends after registering
    dnssd_test::Fake fake;
    ASSERT_TRUE(fake.load(dnssd_test::kFakeLibrary, script));
    errno = 0;
    const int mine = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    ASSERT_EQ(errno, 0);
    std::atomic<int> seen{-100};
    testing_support::LogCapture log;
    services::dnssd::BonjourServiceThread thread;
    thread.setObserver([&](const services::dnssd::BonjourEvent&) {
        seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        throw std::runtime_error("observer broke");
    });
    thread.StartBonjour(19371, "_tandravole._tcp");
    ASSERT_TRUE(log.waitFor(LogKind::Error, "observer broke"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(seen.load(), mine + 2 > 19 ? 19 : mine + 2);
    // The starter's own priority is untouched.
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), mine);
}

} // namespace
