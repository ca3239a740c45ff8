// The real round trip: BonjourServiceThread through Avahi's compatibility library to a real
// avahi-daemon, checked with avahi-browse. The daemon must be one that cannot reach the network:
// scripts/dnssd-loopback.sh starts it in a network namespace of its own with only the loopback
// interface and runs these cases, telling them through TANDRAVOLE_DNSSD_LOOPBACK whether it runs
// ("daemon") or not ("no-daemon"). Run any other way, they skip: they must never register with a
// daemon on a real network. The script checks the advertised record itself through the host.
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using services::dnssd::BonjourServiceThread;

namespace {

constexpr char kType[] = "_tandravole._tcp";
constexpr uint32_t kRegisterMs = 20000; // the daemon probes the name before it answers

// The ports of the resolved _tandravole._tcp services the daemon knows now, as
// `avahi-browse -rtp` prints them (";PORT;TXT" at the end of each "=;" line), bounded in time.
std::string browsedPorts() {
    std::string ports;
    FILE* pipe = popen("timeout 20 avahi-browse -rtp _tandravole._tcp 2>/dev/null", "r");
    if (!pipe)
        return ports;
    char buffer[2048];
    while (fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        line.erase(line.find_last_not_of("\r\n") + 1);
        const size_t end = line.rfind(';'), start = line.rfind(';', end - 1);
        if (line.rfind("=;", 0) == 0 && start != std::string::npos)
            ports += (ports.empty() ? "" : " ") + line.substr(start + 1, end - start - 1);
    }
    pclose(pipe);
    return ports;
}

// Waits until the daemon shows exactly `ports` (services come and go a little later than the
// registration's reply and release).
bool browsedSoon(const std::string& ports) {
    return testing_support::waitUntil([&] { return browsedPorts() == ports; }, 30000);
}

bool loopbackRun(const char* situation) {
    const char* value = std::getenv("TANDRAVOLE_DNSSD_LOOPBACK");
    return value && std::string_view(value) == situation;
}

// Registered on its port; another port replaces it; the stop withdraws it.
TEST(DnsSdLoopback, RegisteredOnItsPortReplacedAndWithdrawn) {
    if (!loopbackRun("daemon"))
        GTEST_SKIP() << "needs the loopback avahi-daemon: run scripts/dnssd-loopback.sh";
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(services::dnssd::defaultLibraryName()))
        << services::dnssd::defaultLibraryName() << " (libavahi-compat-libdnssd1) is missing";
    dnssd_test::EventRecorder events;
    BonjourServiceThread thread;
    thread.setObserver(events.observer());
    thread.StartBonjour(19371, kType);
    ASSERT_TRUE(events.waitFor("registered:", 1, kRegisterMs)) << events.summary();
    const std::string registered = events.summary();
    EXPECT_TRUE(browsedSoon("19371")) << browsedPorts();

    thread.StartBonjour(19372, kType);
    ASSERT_TRUE(events.waitFor("registered:", 2, kRegisterMs)) << events.summary();
    EXPECT_TRUE(browsedSoon("19372")) << browsedPorts();

    thread.stopAndWait();
    EXPECT_EQ(events.summary(), registered + " ended:0 " + registered + " ended:0");
    EXPECT_TRUE(browsedSoon("")) << "still advertised after the stop: " << browsedPorts();
}

// No daemon on the bus: the registration fails, silently, and the thread ends by itself.
TEST(DnsSdLoopbackNoDaemon, TheRegistrationFailsAndTheThreadEnds) {
    if (!loopbackRun("no-daemon"))
        GTEST_SKIP() << "run by scripts/dnssd-loopback.sh while no avahi-daemon runs";
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(services::dnssd::defaultLibraryName()));
    dnssd_test::EventRecorder events;
    BonjourServiceThread thread;
    thread.setObserver(events.observer());
    thread.StartBonjour(19371, kType);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !thread.IsRunning(); }, 10000))
        << events.summary();
    EXPECT_EQ(events.summary().rfind("failed:-", 0), 0u) << events.summary();
    EXPECT_EQ(events.count(":"), 1u) << events.summary();
}

} // namespace
