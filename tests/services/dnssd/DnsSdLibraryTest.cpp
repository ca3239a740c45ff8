// The DNS-SD library wrappers: calls go through to the loaded library with every argument; a
// missing library or entry gives the table's answers without calling anything; replacing the
// library forgets the cached entries.
#include "services/dnssd/DnsSdLibrary.h"

#include "tests/services/dnssd/DnsSdTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace services::dnssd;

int replies = 0;

void TANDRAVOLE_DNSSD_API countReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType errorCode,
                                     const char*, const char*, const char*, void*) {
    replies += errorCode == 0 ? 1 : 100;
}

TEST(DnsSdLibrary, WrappersFollowTheLoadedLibrary) {
    dnssd_test::Fake fake;
    FakeDnsSdScript script;
    script.sockFd = 1234;
    script.processError = -65570;
    ASSERT_TRUE(fake.load(dnssd_test::kFakeLibrary, script));
    DNSServiceRef ref = nullptr;
    int context = 0;
    ASSERT_EQ(DNSServiceRegister(&ref, 8, 3, "Name", "_x._tcp", "example.", "host.local.",
                                 portInNetworkOrder(0x0102), 5, "\4abcd", &countReply, &context),
              kDNSServiceErr_NoError);
    EXPECT_EQ(DNSServiceRefSockFD(ref), 1234);
    EXPECT_EQ(DNSServiceProcessResult(ref), -65570);
    EXPECT_EQ(replies, 1);
    DNSServiceRefDeallocate(ref);
    EXPECT_EQ(fake.log(), "register(8, 3, Name, _x._tcp, example., host.local., 01 02, 5, txt, "
                          "reply, context) sockfd process reply:0 deallocate");

    // The full fake's entries are cached now; the new library has no DNSServiceRegister.
    script.sockFd = 77;
    ASSERT_TRUE(fake.load(dnssd_test::kFakeLibraryWithoutRegister, script));
    static char somewhere;
    const DNSServiceRef bogus = reinterpret_cast<DNSServiceRef>(&somewhere);
    ref = bogus;
    EXPECT_EQ(DNSServiceRegister(&ref, 0, 0, nullptr, "_x._tcp", nullptr, nullptr, 0, 0, nullptr,
                                 nullptr, nullptr),
              kDNSServiceErr_ServiceNotRunning);
    EXPECT_EQ(DNSServiceRefSockFD(ref), 77);
    EXPECT_EQ(fake.log(), "sockfd");

    // Without a library nothing is called through an old address: the missing answers.
    EXPECT_FALSE(replaceLibraryForTesting(nullptr));
    EXPECT_FALSE(libraryLoaded());
    EXPECT_EQ(DNSServiceRegister(&ref, 0, 0, nullptr, "_x._tcp", nullptr, nullptr, 0, 0, nullptr,
                                 &countReply, nullptr),
              kDNSServiceErr_ServiceNotRunning);
    EXPECT_EQ(ref, bogus); // untouched
    EXPECT_EQ(DNSServiceRefSockFD(ref), -1);
    EXPECT_EQ(DNSServiceProcessResult(ref), kDNSServiceErr_ServiceNotRunning);
    DNSServiceRefDeallocate(ref); // does nothing
    EXPECT_EQ(replies, 1);
}

} // namespace
