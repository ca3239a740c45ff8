// The real round trip: BonjourServiceThread through Avahi's compatibility library
// to a real avahi-daemon, checked with avahi-browse. The daemon must be one that cannot reach
// the network: scripts/dnssd-loopback.sh starts it in a network namespace of its own with only
// the loopback interface and runs these cases, telling them through TANDRAVOLE_DNSSD_LOOPBACK
// whether it runs ("daemon") or not ("no-daemon"). Run any other way, they skip: they must
// never register with a daemon on a real network.
#include "platform/Clock.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using services::dnssd::BonjourServiceThread;

namespace {

constexpr char kType[] = "_tandravole._tcp";
constexpr uint32_t kRegisterMs = 20000; // the daemon probes the name before it answers
constexpr uint32_t kBrowseMs = 30000;

// avahi-browse -p escapes ';', '\' and unprintable bytes as "\DDD" (decimal) and '.' as "\.".
std::string unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && isdigit(static_cast<unsigned char>(s[i + 1])) &&
            isdigit(static_cast<unsigned char>(s[i + 2])) &&
            isdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 3))));
            i += 3;
        } else if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else {
            out += s[i];
        }
    }
    return out;
}

// Every resolved _tandravole._tcp service the daemon knows now, as `avahi-browse -rtp` prints
// it: "=;lo;IPv4;NAME;_tandravole._tcp;local;HOST;127.0.0.1;PORT;TXT" (bounded in time).
std::vector<std::string> browse() {
    std::vector<std::string> found;
    FILE* pipe = popen("timeout 20 avahi-browse -rtp _tandravole._tcp 2>/dev/null", "r");
    if (!pipe)
        return found;
    char buffer[2048];
    while (fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        line.erase(line.find_last_not_of("\r\n") + 1);
        if (line.rfind("=;", 0) == 0)
            found.push_back(line);
    }
    pclose(pipe);
    return found;
}

std::string describe(const std::vector<std::string>& services) {
    std::string out;
    for (const auto& s : services)
        out += "\n  " + s;
    return out.empty() ? " (none)" : out;
}

// Browses until `wanted` holds for what is seen (services come and go a little later than the
// registration's reply and release); returns the last sight.
template <class Wanted> std::vector<std::string> browseUntil(Wanted wanted, bool& held) {
    std::vector<std::string> seen;
    held = testing_support::waitUntil(
        [&] {
            seen = browse();
            return wanted(seen);
        },
        kBrowseMs);
    return seen;
}

// The service on `port` with its name unescaped and its host (the computer's) as "HOST"; empty
// when there is none.
std::string onPort(const std::vector<std::string>& services, uint16_t port) {
    for (const std::string& line : services) {
        std::vector<std::string> f;
        std::istringstream in(line + ";");
        for (std::string field; std::getline(in, field, ';');)
            f.push_back(field);
        if (f.size() != 10 || f[8] != std::to_string(port))
            continue;
        f[3] = unescape(f[3]);
        f[6] = "HOST";
        std::string out = f[0];
        for (size_t i = 1; i < f.size(); ++i)
            out += ";" + f[i];
        return out;
    }
    return "";
}

bool loopbackRun(const char* situation) {
    const char* value = std::getenv("TANDRAVOLE_DNSSD_LOOPBACK");
    return value && std::string_view(value) == situation;
}

// Registered on its port without TXT data; the same port keeps the registration, another port
// replaces it; the stop withdraws it.
TEST(DnsSdLoopback, RegisteredOnItsPortKeptReplacedAndWithdrawn) {
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
    const std::string name = registered.substr(std::string("registered:").size());
    EXPECT_FALSE(name.empty());

    bool held = false;
    auto seen = browseUntil([](const auto& s) { return !onPort(s, 19371).empty(); }, held);
    ASSERT_TRUE(held) << describe(seen);
    std::printf("avahi-browse sees:%s\n", describe(seen).c_str());
    // On the loopback, IPv4, under the computer's name, without TXT data.
    EXPECT_EQ(onPort(seen, 19371),
              "=;lo;IPv4;" + name + ";_tandravole._tcp;local;HOST;127.0.0.1;19371;");
    EXPECT_EQ(seen.size(), 1u) << describe(seen);

    thread.StartBonjour(19371, kType);
    EXPECT_TRUE(thread.IsRunning());
    platform::sleepMs(500);
    EXPECT_EQ(events.summary(), registered) << "nothing released or registered again";

    thread.StartBonjour(19372, kType);
    ASSERT_TRUE(events.waitFor("registered:", 2, kRegisterMs)) << events.summary();
    seen = browseUntil(
        [](const auto& s) { return !onPort(s, 19372).empty() && onPort(s, 19371).empty(); }, held);
    EXPECT_TRUE(held) << "wanted port 19372 only:" << describe(seen);
    EXPECT_EQ(seen.size(), 1u) << describe(seen);

    thread.stopAndWait();
    EXPECT_EQ(events.summary(), registered + " ended:0 " + registered + " ended:0");
    seen = browseUntil([](const auto& s) { return s.empty(); }, held);
    EXPECT_TRUE(held) << "still advertised after the stop:" << describe(seen);
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
    std::printf("told: %s\n", events.summary().c_str());
    EXPECT_EQ(events.count("registered:"), 0u) << events.summary();
    EXPECT_EQ(events.count("failed:"), 1u) << events.summary();
    EXPECT_EQ(events.count("failed:0"), 0u) << events.summary();
}

} // namespace
