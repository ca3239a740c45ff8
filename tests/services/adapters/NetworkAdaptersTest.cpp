// The adapter listing: which adapters are listed and how, on made-up adapter records, and one
// real listing of this machine (Linux, or Wine's view of it), which never shows the loopback.
#include "services/adapters/NetworkAdapters.h"

#include "common/Utf.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace services::adapters;

TEST(NetworkAdapters, ListsActiveIpv4AdaptersInOrderAndSkipsEachReason) {
    // The name, how the adapter differs from a listed Ethernet one, and its MAC (null: not listed).
    const std::tuple<const char16_t*, std::function<void(RawAdapter&)>, const char16_t*> cases[] = {
        {u"Ethernet \u00E9", [](RawAdapter&) {}, u"00-1a-2b-3c-4d-5e"},
        {u"lo", [](RawAdapter& a) { a.interfaceType = kIfTypeSoftwareLoopback; }, nullptr},
        {u"1394", [](RawAdapter& a) { a.interfaceType = kIfTypeIeee1394; }, nullptr},
        {u"down", [](RawAdapter& a) { a.operUp = false; }, nullptr},
        {u"receive only", [](RawAdapter& a) { a.receiveOnly = true; }, nullptr},
        {u"no unicast", [](RawAdapter& a) { a.hasUnicast = false; }, nullptr},
        {u"ipv6 first", [](RawAdapter& a) { a.firstUnicastFamily = AddressFamily::Inet6; },
         nullptr},
        {u"other", [](RawAdapter& a) { a.firstUnicastFamily = AddressFamily::Other; }, nullptr},
        {u"Wi-Fi", [](RawAdapter& a) { a.interfaceType = 71; }, u"00-1a-2b-3c-4d-5e"},
        {u"8-byte", [](RawAdapter& a) { a.physicalAddress = {0, 1, 2, 3, 4, 5, 6, 7}; }, u""},
        {u"no MAC", [](RawAdapter& a) { a.physicalAddress.clear(); }, u""},
        {u"no text", [](RawAdapter& a) { a.firstUnicastText.clear(); }, u"00-1a-2b-3c-4d-5e"},
    };
    std::vector<RawAdapter> raw;
    std::vector<NetworkAdapterInfo> expected;
    for (const auto& [name, change, mac] : cases) {
        RawAdapter a; // Ethernet, first address IPv4
        a.friendlyName = name;
        a.operUp = a.hasUnicast = true;
        a.firstUnicastText = "192.168.1." + std::to_string(raw.size());
        a.physicalAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        change(a);
        raw.push_back(a);
        if (mac)
            expected.push_back({name, widenBytes(a.firstUnicastText), mac});
    }
    EXPECT_EQ(selectNetworkAdapters(raw), expected);
    EXPECT_TRUE(selectNetworkAdapters({raw[1]}).empty());
    EXPECT_TRUE(selectNetworkAdapters({}).empty());

    EXPECT_EQ(formatMacAddress({0xFF, 0xFE, 0x0A, 0x01, 0x10, 0x00}), "ff-fe-0a-01-10-00");
    for (size_t size : {5u, 7u}) // one byte either side of a MAC address
        EXPECT_EQ(formatMacAddress(std::vector<uint8_t>(size, 1)), "") << size;
}

TEST(NetworkAdapters, RealListingNeverShowsTheLoopback) {
    platform::socketStartup(); // getnameinfo on Windows
    for (const NetworkAdapterInfo& a : ListNetworkAdapters()) {
        SCOPED_TRACE(utf16ToUtf8(a.name) + " " + utf16ToUtf8(a.ip) + " " + utf16ToUtf8(a.mac));
        EXPECT_NE(a.name, u"lo");
        EXPECT_EQ(a.ip.rfind(u"127.", 0), std::u16string::npos);
        EXPECT_TRUE(a.mac.empty() || a.mac.size() == 17u);
        EXPECT_EQ(a.ip.find(u':'), std::u16string::npos) << "IPv4 only";
    }
}
