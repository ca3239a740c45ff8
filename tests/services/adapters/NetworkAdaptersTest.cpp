// The adapter listing: which adapters are listed and how, on made-up adapter records, and one real
// listing of this machine (Linux, or Wine's view of it), which never shows the loopback.
#include "services/adapters/NetworkAdapters.h"

#include "common/Utf.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace services::adapters;

namespace {

RawAdapter ethernet(std::u16string name, std::string ip = "192.168.1.20") {
    RawAdapter a;
    a.friendlyName = std::move(name);
    a.interfaceType = kIfTypeEthernet;
    a.operUp = true;
    a.hasUnicast = true;
    a.firstUnicastFamily = AddressFamily::Inet;
    a.firstUnicastText = std::move(ip);
    a.physicalAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    return a;
}

} // namespace

TEST(NetworkAdapters, ListsAnActiveIpv4Adapter) {
    const auto listed = selectNetworkAdapters({ethernet(u"Ethernet")});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0], (NetworkAdapterInfo{u"Ethernet", u"192.168.1.20", u"00-1a-2b-3c-4d-5e"}));
}

TEST(NetworkAdapters, MacFormatting) {
    EXPECT_EQ(formatMacAddress({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00-1a-2b-3c-4d-5e");
    EXPECT_EQ(formatMacAddress({0xFF, 0xFE, 0x0A, 0x01, 0x10, 0x00}), "ff-fe-0a-01-10-00");
    EXPECT_EQ(formatMacAddress({1, 2, 3, 4, 5, 6, 7, 8}), "");
    EXPECT_EQ(formatMacAddress({1, 2, 3, 4, 5}), "");
    EXPECT_EQ(formatMacAddress({1, 2, 3, 4, 5, 6, 7}), "");
    EXPECT_EQ(formatMacAddress({}), "");
}

TEST(NetworkAdapters, EightByteOrNoHardwareAddressGivesAnEmptyMac) {
    RawAdapter firewire = ethernet(u"Tunnel");
    firewire.physicalAddress = {0, 1, 2, 3, 4, 5, 6, 7};
    RawAdapter none = ethernet(u"PPP");
    none.physicalAddress.clear();
    const auto listed = selectNetworkAdapters({firewire, none});
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], (NetworkAdapterInfo{u"Tunnel", u"192.168.1.20", u""}));
    EXPECT_EQ(listed[1], (NetworkAdapterInfo{u"PPP", u"192.168.1.20", u""}));
}

TEST(NetworkAdapters, OnlyLoopbackGivesAnEmptyList) {
    RawAdapter loopback = ethernet(u"Loopback Pseudo-Interface 1", "127.0.0.1");
    loopback.interfaceType = kIfTypeSoftwareLoopback;
    loopback.physicalAddress.clear();
    EXPECT_TRUE(selectNetworkAdapters({loopback}).empty());
    EXPECT_TRUE(selectNetworkAdapters({}).empty());
}

TEST(NetworkAdapters, SkipsEachReasonAndKeepsTheOrder) {
    RawAdapter loopback = ethernet(u"lo", "127.0.0.1");
    loopback.interfaceType = 24;
    RawAdapter firewire = ethernet(u"1394");
    firewire.interfaceType = 144;
    RawAdapter down = ethernet(u"down");
    down.operUp = false;
    RawAdapter receiveOnly = ethernet(u"receive only");
    receiveOnly.receiveOnly = true;
    RawAdapter noUnicast = ethernet(u"no unicast");
    noUnicast.hasUnicast = false;
    RawAdapter ipv6 = ethernet(u"ipv6 first", "fe80::1");
    ipv6.firstUnicastFamily = AddressFamily::Inet6;
    RawAdapter other = ethernet(u"other family");
    other.firstUnicastFamily = AddressFamily::Other;
    RawAdapter wifi = ethernet(u"Wi-Fi", "10.0.0.5");
    wifi.interfaceType = 71; // IEEE 802.11
    RawAdapter tunnel = ethernet(u"tunnel", "10.8.0.1");
    tunnel.interfaceType = 131;

    const auto listed =
        selectNetworkAdapters({ethernet(u"first", "192.168.1.2"), loopback, firewire, down,
                               receiveOnly, noUnicast, ipv6, other, wifi, tunnel});
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, u"first");
    EXPECT_EQ(listed[1].name, u"Wi-Fi");
    EXPECT_EQ(listed[1].ip, u"10.0.0.5");
    EXPECT_EQ(listed[2].name, u"tunnel");
}

TEST(NetworkAdapters, UnformattableAddressGivesAnEmptyIp) {
    const auto listed = selectNetworkAdapters({ethernet(u"Ethernet", "")});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].ip, u"");
    EXPECT_EQ(listed[0].mac, u"00-1a-2b-3c-4d-5e");
}

TEST(NetworkAdapters, TheFriendlyNameIsTheSystemsOwn) {
    const auto listed = selectNetworkAdapters({ethernet(u"Ethernet \u00E9", "1.2.3.4")});
    EXPECT_EQ(listed.at(0).name, u"Ethernet \u00E9");
}

TEST(NetworkAdapters, RealListingNeverShowsTheLoopback) {
    platform::socketStartup(); // getnameinfo on Windows
    const std::vector<NetworkAdapterInfo> listed = ListNetworkAdapters();
    for (const NetworkAdapterInfo& a : listed) {
        SCOPED_TRACE(utf16ToUtf8(a.name) + " " + utf16ToUtf8(a.ip) + " " + utf16ToUtf8(a.mac));
        EXPECT_FALSE(a.name.empty());
        EXPECT_NE(a.ip, u"127.0.0.1");
        EXPECT_EQ(a.ip.rfind(u"127.", 0), std::u16string::npos);
        EXPECT_NE(a.name, u"lo");
        EXPECT_TRUE(a.mac.empty() || a.mac.size() == 17u);
        EXPECT_EQ(a.ip.find(u':'), std::u16string::npos) << "IPv4 only";
    }
    std::printf("%zu adapter(s) listed\n", listed.size());
}
