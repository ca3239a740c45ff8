// BonjourServiceThread against the fake DNS-SD library: what it registers, when it
// keeps or replaces a registration, and how every failure ends it silently.
#include "services/dnssd/BonjourServiceThread.h"

#include "bridge/ControlServices.h"
#include "platform/Clock.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/DnsSdTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

using services::dnssd::BonjourEvent;
using services::dnssd::BonjourServiceThread;

using dnssd_test::EventRecorder;
using dnssd_test::FakeControls;
using dnssd_test::ReplyChannel;
using testing_support::waitUntil;

namespace {

constexpr char kType[] = "_tandravole._tcp";

class BonjourServiceThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibrary))
            << "cannot load " << dnssd_test::kFakeLibrary;
        fake_ = FakeControls();
        ASSERT_TRUE(fake_.valid());
        fake_.reset();
    }
    void TearDown() override {
        // Every registration the thread made was released (the threads are gone by now).
        if (fake_.valid()) {
            EXPECT_EQ(fake_.liveRegistrations(), 0);
        }
    }

    FakeControls fake_;
    EventRecorder events_;
};

TEST_F(BonjourServiceThreadTest, RegistersTheServiceTypeOnThePortInNetworkOrderWithNothingElse) {
    BonjourServiceThread thread;
    thread.setObserver(events_.observer());
    thread.StartBonjour(19371, kType);
    EXPECT_TRUE(thread.IsRunning());
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd")) << fake_.log();

    FakeDnsSdRegistration r{};
    ASSERT_TRUE(fake_.lastRegistration(r));
    EXPECT_FALSE(r.sdRefNull);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(r.interfaceIndex, 0u); // all interfaces
    EXPECT_TRUE(r.nameNull);         // the computer's name
    EXPECT_FALSE(r.regtypeNull);
    EXPECT_STREQ(r.regtype, kType);
    EXPECT_TRUE(r.domainNull);
    EXPECT_TRUE(r.hostNull);
    EXPECT_EQ(r.portBytes[0], 0x4B); // 19371 in network byte order
    EXPECT_EQ(r.portBytes[1], 0xAB);
    EXPECT_EQ(r.txtLen, 0u);
    EXPECT_TRUE(r.txtRecordNull);
    EXPECT_FALSE(r.callbackNull);
    EXPECT_EQ(r.context, static_cast<void*>(&thread));

    thread.stopAndWait();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(fake_.log(), "register:19371 sockfd deallocate");
    EXPECT_EQ(events_.summary(), "ended:0");
}

TEST_F(BonjourServiceThreadTest, TheSamePortKeepsTheRegistrationAnotherEndsItBeforeTheNewOne) {
    BonjourServiceThread thread;
    thread.setObserver(events_.observer());
    bridge::DnsSdService& service = thread;
    service.start(19371, kType);
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd")) << fake_.log();
    // The same port and type keep the running registration.
    service.start(19371, kType);
    thread.StartBonjour(19371, std::string(kType));
    EXPECT_TRUE(service.isRunning());
    platform::sleepMs(200);
    EXPECT_EQ(fake_.log(), "register:19371 sockfd");

    thread.StartBonjour(19372, kType);
    // It waited: the old registration was released before StartBonjour returned.
    EXPECT_EQ(fake_.log().rfind("register:19371 sockfd deallocate", 0), 0u) << fake_.log();
    EXPECT_EQ(events_.summary(), "ended:0");
    EXPECT_TRUE(thread.IsRunning());
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd deallocate register:19372 sockfd"))
        << fake_.log();
    FakeDnsSdRegistration r{};
    ASSERT_TRUE(fake_.lastRegistration(r));
    EXPECT_EQ(r.portBytes[0], 0x4B);
    EXPECT_EQ(r.portBytes[1], 0xAC);

    // Another type on the same port is another registration too.
    thread.StartBonjour(19372, "_other._tcp");
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd deallocate register:19372 sockfd "
                                 "deallocate register:19372 sockfd"))
        << fake_.log();
    ASSERT_TRUE(fake_.lastRegistration(r));
    EXPECT_STREQ(r.regtype, "_other._tcp");
    service.stopAndWait();
    EXPECT_FALSE(service.isRunning());
    EXPECT_EQ(events_.summary(), "ended:0 ended:0 ended:0");
}

TEST_F(BonjourServiceThreadTest, ARefusedRegistrationEndsTheThreadAndNothingElseIsCalled) {
    FakeDnsSdScript script;
    script.registerError = services::dnssd::kDNSServiceErr_Unknown;
    fake_.script(script);
    testing_support::LogCapture log;

    BonjourServiceThread thread;
    thread.setObserver(events_.observer());
    thread.StartBonjour(19371, kType);
    ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
    platform::sleepMs(100);
    EXPECT_EQ(fake_.log(), "register-failed:19371");
    EXPECT_EQ(events_.summary(), "failed:-65537");
    EXPECT_TRUE(log.events().empty()); // silent

    // Only the next StartBonjour tries again, even with the same port and type.
    fake_.script(FakeDnsSdScript{});
    thread.StartBonjour(19371, kType);
    ASSERT_TRUE(fake_.waitForLog("register-failed:19371 register:19371 sockfd")) << fake_.log();
    thread.stopAndWait();
}

// A reply that refuses the registration, and a result processing that fails: either stops
// the thread, which releases the registration.
TEST_F(BonjourServiceThreadTest, AFailedReplyOrResultProcessingStopsAndReleases) {
    struct Case {
        services::dnssd::DNSServiceErrorType replyError, processError;
        const char *log, *events;
    };
    for (const Case& c : {Case{services::dnssd::kDNSServiceErr_NameConflict, 0,
                               "register:19371 sockfd process reply:-65548 deallocate",
                               "failed:-65548 ended:-65548"},
                          Case{0, services::dnssd::kDNSServiceErr_ServiceNotRunning,
                               "register:19371 sockfd process reply:0 deallocate",
                               "registered:Fake Computer ended:-65563"}}) {
        fake_.reset();
        ReplyChannel channel;
        ASSERT_TRUE(channel.valid());
        FakeDnsSdScript script = channel.script();
        script.replyError = c.replyError;
        script.processError = c.processError;
        fake_.script(script);
        ASSERT_TRUE(channel.queueReply());
        EventRecorder events;
        BonjourServiceThread thread;
        thread.setObserver(events.observer());
        thread.StartBonjour(19371, kType);
        ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
        EXPECT_EQ(fake_.log(), c.log);
        EXPECT_EQ(events.summary(), c.events);
    }
}

TEST_F(BonjourServiceThreadTest, StopWithoutWaitingReturnsWhileTheThreadIsBusy) {
    ReplyChannel channel;
    ASSERT_TRUE(channel.valid());
    fake_.script(channel.script());
    channel.hold(); // the thread will be stuck in DNSServiceProcessResult
    ASSERT_TRUE(channel.queueReply());

    BonjourServiceThread thread;
    bridge::DnsSdService& service = thread;
    service.start(19371, kType);
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd process reply:0")) << fake_.log();
    service.stopWithoutWaiting();
    EXPECT_TRUE(service.isRunning()); // it returned without waiting for the thread

    channel.release();
    ASSERT_TRUE(waitUntil([&] { return !service.isRunning(); }));
    EXPECT_EQ(fake_.log(), "register:19371 sockfd process reply:0 deallocate");
}

TEST_F(BonjourServiceThreadTest, DestroyingARunningThreadReleasesTheRegistration) {
    auto thread = std::make_unique<BonjourServiceThread>();
    thread->setObserver(events_.observer());
    thread->StartBonjour(19371, kType);
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd")) << fake_.log();
    thread.reset();
    EXPECT_EQ(fake_.log(), "register:19371 sockfd deallocate");
    EXPECT_EQ(events_.summary(), "ended:0");
}

TEST_F(BonjourServiceThreadTest, AnObserverThatThrowsChangesNothing) {
    ReplyChannel channel;
    ASSERT_TRUE(channel.valid());
    fake_.script(channel.script());
    ASSERT_TRUE(channel.queueReply());
    testing_support::LogCapture log;

    BonjourServiceThread thread;
    thread.setObserver([](const BonjourEvent&) { throw std::runtime_error("observer broke"); });
    thread.StartBonjour(19371, kType);
    ASSERT_TRUE(fake_.waitForLog("register:19371 sockfd process reply:0")) << fake_.log();
    ASSERT_TRUE(log.waitFor(LogKind::Error, "observer broke"));
    platform::sleepMs(100);
    EXPECT_TRUE(thread.IsRunning());
    thread.stopAndWait();
    EXPECT_EQ(fake_.log(), "register:19371 sockfd process reply:0 deallocate");
}

// Without the library, or with one that lacks DNSServiceRegister: the registration fails with
// kDNSServiceErr_ServiceNotRunning and the thread ends at once, silently, before its loop (it
// never tells "ended"); none of the library's other entries is called.
TEST(BonjourServiceThreadWithoutLibrary, EndsAtOnceAndSilently) {
    for (const char* library :
         {static_cast<const char*>(nullptr), dnssd_test::kFakeLibraryWithoutRegister}) {
        SCOPED_TRACE(library ? library : "no library");
        EXPECT_EQ(services::dnssd::replaceLibraryForTesting(library), library != nullptr);
        FakeControls fake;
        if (library) {
            ASSERT_TRUE(fake.valid());
            fake.reset();
        }
        testing_support::LogCapture log;
        EventRecorder events;
        BonjourServiceThread thread;
        thread.setObserver(events.observer());
        thread.StartBonjour(19371, kType);
        ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
        EXPECT_EQ(events.summary(), "failed:-65563");
        EXPECT_TRUE(log.events().empty());
        if (library) {
            platform::sleepMs(100);
            EXPECT_EQ(fake.log(), "");
        }
    }
}

} // namespace
