// The DNS-SD library wrappers: calls go through to the loaded library; a missing
// library or entry gives the table's answers without calling anything.
#include "services/dnssd/DnsSdLibrary.h"

#include "tests/services/dnssd/DnsSdTestSupport.h"

#include <gtest/gtest.h>

using dnssd_test::FakeControls;

namespace {

int replies = 0;
services::dnssd::DNSServiceErrorType lastReplyError = 0;

void TANDRAVOLE_DNSSD_API countReply(services::dnssd::DNSServiceRef,
                                     services::dnssd::DNSServiceFlags,
                                     services::dnssd::DNSServiceErrorType errorCode, const char*,
                                     const char*, const char*, void*) {
    ++replies;
    lastReplyError = errorCode;
}

services::dnssd::DNSServiceRef bogusRef() {
    static char somewhere;
    return reinterpret_cast<services::dnssd::DNSServiceRef>(&somewhere);
}

TEST(DnsSdLibrary, WithoutALibraryEveryWrapperGivesItsMissingAnswer) {
    EXPECT_FALSE(services::dnssd::replaceLibraryForTesting(nullptr));
    EXPECT_FALSE(services::dnssd::libraryLoaded());
    EXPECT_EQ(services::dnssd::libraryEntryForTesting("DNSServiceRegister"), nullptr);

    services::dnssd::DNSServiceRef ref = bogusRef();
    EXPECT_EQ(services::dnssd::DNSServiceRegister(
                  &ref, 0, 0, nullptr, "_tandravole._tcp", nullptr, nullptr,
                  services::dnssd::portInNetworkOrder(19371), 0, nullptr, &countReply, nullptr),
              services::dnssd::kDNSServiceErr_ServiceNotRunning);
    EXPECT_EQ(services::dnssd::kDNSServiceErr_ServiceNotRunning, -65563);
    EXPECT_EQ(ref, bogusRef()); // untouched
    EXPECT_EQ(services::dnssd::DNSServiceRefSockFD(ref), -1);
    EXPECT_EQ(services::dnssd::DNSServiceProcessResult(ref),
              services::dnssd::kDNSServiceErr_ServiceNotRunning);
    services::dnssd::DNSServiceRefDeallocate(ref); // does nothing
    EXPECT_EQ(replies, 0);
}

TEST(DnsSdLibrary, CallsGoThroughToTheLoadedLibrary) {
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibrary));
    EXPECT_TRUE(services::dnssd::libraryLoaded());
    FakeControls fake;
    ASSERT_TRUE(fake.valid());
    fake.reset();
    FakeDnsSdScript script;
    script.sockFd = 1234;
    script.processError = -65570;
    fake.script(script);

    services::dnssd::DNSServiceRef ref = nullptr;
    int context = 0;
    ASSERT_EQ(services::dnssd::DNSServiceRegister(
                  &ref, 8, 3, "Name", "_x._tcp", "example.", "host.local.",
                  services::dnssd::portInNetworkOrder(0x0102), 5, "\4abcd", &countReply, &context),
              services::dnssd::kDNSServiceErr_NoError);
    ASSERT_NE(ref, nullptr);
    FakeDnsSdRegistration r{};
    ASSERT_TRUE(fake.lastRegistration(r));
    EXPECT_EQ(r.flags, 8u);
    EXPECT_EQ(r.interfaceIndex, 3u);
    EXPECT_STREQ(r.name, "Name");
    EXPECT_STREQ(r.regtype, "_x._tcp");
    EXPECT_FALSE(r.domainNull);
    EXPECT_FALSE(r.hostNull);
    EXPECT_EQ(r.portBytes[0], 0x01);
    EXPECT_EQ(r.portBytes[1], 0x02);
    EXPECT_EQ(r.txtLen, 5u);
    EXPECT_FALSE(r.txtRecordNull);
    EXPECT_EQ(r.context, &context);

    EXPECT_EQ(services::dnssd::DNSServiceRefSockFD(ref), 1234);
    replies = 0;
    EXPECT_EQ(services::dnssd::DNSServiceProcessResult(ref), -65570);
    EXPECT_EQ(replies, 1);
    EXPECT_EQ(lastReplyError, 0);
    services::dnssd::DNSServiceRefDeallocate(ref);
    EXPECT_EQ(fake.log(), "register:258 sockfd process reply:0 deallocate");
    EXPECT_EQ(fake.liveRegistrations(), 0);
}

TEST(DnsSdLibrary, ReplacingTheLibraryForgetsTheCachedEntries) {
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibrary));
    FakeControls fake;
    ASSERT_TRUE(fake.valid());
    fake.reset();
    services::dnssd::DNSServiceRef ref = nullptr;
    ASSERT_EQ(services::dnssd::DNSServiceRegister(&ref, 0, 0, nullptr, "_x._tcp", nullptr, nullptr,
                                                  0, 0, nullptr, nullptr, nullptr),
              services::dnssd::kDNSServiceErr_NoError);
    services::dnssd::DNSServiceRefDeallocate(ref);
    EXPECT_EQ(fake.log(), "register:0 deallocate");

    // The full fake's entries are cached now; the new library has no DNSServiceRegister.
    ASSERT_TRUE(services::dnssd::replaceLibraryForTesting(dnssd_test::kFakeLibraryWithoutRegister));
    FakeControls bare;
    ASSERT_TRUE(bare.valid());
    bare.reset();
    FakeDnsSdScript script;
    script.sockFd = 77;
    script.processError = -65570;
    bare.script(script);
    ref = bogusRef();
    EXPECT_EQ(services::dnssd::DNSServiceRegister(&ref, 0, 0, nullptr, "_x._tcp", nullptr, nullptr,
                                                  0, 0, nullptr, nullptr, nullptr),
              services::dnssd::kDNSServiceErr_ServiceNotRunning);
    EXPECT_EQ(bare.log(), "");
    EXPECT_EQ(ref, bogusRef());
    // The entries it has still work.
    EXPECT_EQ(services::dnssd::DNSServiceRefSockFD(ref), 77);
    EXPECT_EQ(services::dnssd::DNSServiceProcessResult(ref), -65570);
    services::dnssd::DNSServiceRefDeallocate(ref);
    EXPECT_EQ(bare.log(), "sockfd process deallocate-unknown");

    // And without a library nothing is called through an old address.
    EXPECT_FALSE(services::dnssd::replaceLibraryForTesting(nullptr));
    EXPECT_EQ(services::dnssd::DNSServiceRefSockFD(bogusRef()), -1);
}

} // namespace
