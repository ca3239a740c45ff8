// BonjourServiceThread against the fake DNS-SD library: what it registers, when it keeps or
// replaces a registration, how every failure ends it silently, and its teardown.
#include "services/dnssd/BonjourServiceThread.h"

#include "bridge/ControlServices.h"
#include "platform/Clock.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using services::dnssd::BonjourServiceThread;

using dnssd_test::EventRecorder;
using testing_support::waitUntil;

namespace {

constexpr char kType[] = "_tandravole._tcp";
// The registration as the fake logs it: all interfaces, the computer's name, the default domain
// and host, the port's bytes in memory order, no TXT data.
std::string registration(const char* portBytes, const std::string& type = kType) {
    return "register(0, 0, null, " + type + ", null, null, " + portBytes +
           ", 0, null, reply, context)";
}
const std::string kReg19371 = registration("4b ab") + " sockfd";

class BonjourServiceThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fake_.load(dnssd_test::kFakeLibrary)); }
    dnssd_test::Fake fake_;
};

TEST_F(BonjourServiceThreadTest, TheSamePortAndTypeKeepTheRegistrationAnotherReplacesIt) {
    EventRecorder events;
    auto thread = std::make_unique<BonjourServiceThread>();
    thread->setObserver(events.observer());
    bridge::DnsSdService& service = *thread;
    service.start(19371, kType);
    EXPECT_TRUE(service.isRunning());
    ASSERT_TRUE(fake_.waitForLog(kReg19371)) << fake_.log();
    service.start(19371, kType);
    thread->StartBonjour(19371, std::string(kType));
    platform::sleepMs(200);
    EXPECT_EQ(fake_.log(), kReg19371);

    thread->StartBonjour(19372, kType);
    // It waited: the old registration was released before StartBonjour returned.
    EXPECT_EQ(fake_.log().rfind(kReg19371 + " deallocate", 0), 0u) << fake_.log();
    EXPECT_EQ(events.summary(), "ended:0");
    const std::string reg19372 = kReg19371 + " deallocate " + registration("4b ac");
    ASSERT_TRUE(fake_.waitForLog(reg19372 + " sockfd")) << fake_.log();
    // Another type on the same port is another registration too.
    thread->StartBonjour(19372, "_other._tcp");
    const std::string other =
        reg19372 + " sockfd deallocate " + registration("4b ac", "_other._tcp") + " sockfd";
    ASSERT_TRUE(fake_.waitForLog(other)) << fake_.log();
    // Destroying a running thread releases its registration.
    thread.reset();
    EXPECT_EQ(fake_.log(), other + " deallocate");
    EXPECT_EQ(events.summary(), "ended:0 ended:0 ended:0");
}

// A refused registration ends the thread at once and nothing else is called; a reply that
// refuses it, or a failing result processing, stops the thread, which releases it. All silent;
// only the next start tries again, even with the same port and type.
TEST_F(BonjourServiceThreadTest, EachFailureEndsTheThreadSilently) {
    using namespace services::dnssd;
    // The errors of the registration, the reply and the processing; the log and the events.
    using Case = std::tuple<int32_t, int32_t, int32_t, std::string, std::string>;
    for (const auto& [registerError, replyError, processError, calls, told] :
         {Case{kDNSServiceErr_Unknown, 0, 0, registration("4b ab"), "failed:-65537"},
          Case{0, kDNSServiceErr_NameConflict, 0, kReg19371 + " process reply:-65548 deallocate",
               "failed:-65548 ended:-65548"},
          Case{0, 0, kDNSServiceErr_ServiceNotRunning, kReg19371 + " process reply:0 deallocate",
               "registered:Fake Computer ended:-65563"}}) {
        SCOPED_TRACE(told);
        // A listener with a connection waiting stays readable: the daemon's reply is there.
        const platform::SocketHandle listener = platform::listenTcp4(0);
        testing_support::TestClient client(platform::socketLocalPort(listener));
        ASSERT_TRUE(client.connected());
        fake_.script({registerError, int(listener), replyError, processError});
        testing_support::LogCapture log;
        EventRecorder events;
        BonjourServiceThread thread;
        thread.setObserver(events.observer());
        thread.StartBonjour(19371, kType);
        ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
        platform::sleepMs(100);
        EXPECT_EQ(fake_.log(), calls);
        EXPECT_EQ(events.summary(), told);
        EXPECT_TRUE(log.events().empty());

        fake_.script(FakeDnsSdScript{});
        thread.StartBonjour(19371, kType);
        ASSERT_TRUE(fake_.waitForLog(kReg19371)) << fake_.log();
        thread.stopAndWait();
        EXPECT_FALSE(thread.IsRunning());
        platform::closeSocket(listener);
    }
}

} // namespace
