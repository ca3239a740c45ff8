// The walk over getifaddrs' list on a list made by hand: an alias's flags leave its interface
// alone, only the first IPv4 address counts, link entries give the hardware address and the
// IEEE 1394 type, and entries without a name or an address are read safely.
#include "services/adapters/posix/InterfaceList.h"

#include "common/Utf.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <cstdio>
#include <deque>

using namespace services::adapters;

namespace {

class InterfaceList {
public:
    InterfaceList& link(const char* name, unsigned flags, std::vector<uint8_t> mac,
                        uint16_t type = ARPHRD_ETHER) {
        auto& ll = reinterpret_cast<sockaddr_ll&>(add(name, flags, AF_PACKET));
        ll.sll_hatype = type;
        ll.sll_halen = uint8_t(mac.size());
        std::copy(mac.begin(), mac.end(), ll.sll_addr);
        return *this;
    }
    InterfaceList& inet(const char* name, unsigned flags, const char* address) {
        inet_pton(AF_INET, address,
                  &reinterpret_cast<sockaddr_in&>(add(name, flags, AF_INET)).sin_addr);
        return *this;
    }
    InterfaceList& inet6(const char* name, unsigned flags) {
        inet_pton(AF_INET6, "fe80::1",
                  &reinterpret_cast<sockaddr_in6&>(add(name, flags, AF_INET6)).sin6_addr);
        return *this;
    }
    InterfaceList& bare(const char* name, unsigned flags) {
        add(name, flags, AF_UNSPEC);
        nodes_.back().entry.ifa_addr = nullptr;
        return *this;
    }
    const ifaddrs* head() const { return nodes_.empty() ? nullptr : &nodes_.front().entry; }

private:
    struct Node {
        ifaddrs entry{};
        sockaddr_storage address{};
    };
    sockaddr& add(const char* name, unsigned flags, int family) {
        Node& n = nodes_.emplace_back();
        n.entry.ifa_name = const_cast<char*>(name);
        n.entry.ifa_flags = flags;
        n.entry.ifa_addr = reinterpret_cast<sockaddr*>(&n.address);
        n.address.ss_family = sa_family_t(family);
        if (nodes_.size() > 1)
            nodes_[nodes_.size() - 2].entry.ifa_next = &n.entry;
        return reinterpret_cast<sockaddr&>(n.address);
    }
    std::deque<Node> nodes_;
};

// name type up unicast family text mac
std::string describe(const RawAdapter& a) {
    std::string mac;
    for (uint8_t b : a.physicalAddress) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        mac += hex;
    }
    const char* family = a.firstUnicastFamily == AddressFamily::Inet ? "inet" : "other";
    return utf16ToUtf8(a.friendlyName) + " " + std::to_string(a.interfaceType) + " " +
           (a.operUp ? "up" : "down") + " " + (a.hasUnicast ? family : "none") + " " +
           (a.firstUnicastText.empty() ? "-" : a.firstUnicastText) + " " +
           (mac.empty() ? "-" : mac);
}

TEST(InterfaceList, OneAdapterPerInterfaceFromItsEntries) {
    constexpr unsigned kUp = IFF_UP | IFF_RUNNING;
    InterfaceList list;
    list.link("eth0", kUp, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .inet6("eth0", kUp)
        .inet("eth0", kUp, "192.168.1.5")
        .inet("eth0", kUp, "10.0.0.1")
        .inet("eth0:1", 0, "172.16.0.1")
        .inet("lo", kUp | IFF_LOOPBACK, "127.0.0.1")
        .link("fw0", IFF_UP, {1, 2, 3, 4, 5, 6, 7, 8}, ARPHRD_IEEE1394)
        .bare(nullptr, kUp)
        .bare("tun0", kUp)
        .inet("wlan0:2", kUp, "192.168.2.9");
    const std::vector<std::string> expected = {
        "eth0 6 up inet 192.168.1.5 001a2b3c4d5e", // the alias's flags and address change nothing
        "lo 24 up inet 127.0.0.1 -",
        "fw0 144 down none - 0102030405060708", // up but not running
        "tun0 6 up none - -",
        "wlan0 6 up inet 192.168.2.9 -", // first seen through an alias
    };
    std::vector<std::string> read;
    for (const RawAdapter& a : adaptersOfInterfaceList(list.head()))
        read.push_back(describe(a));
    EXPECT_EQ(read, expected);
    EXPECT_TRUE(adaptersOfInterfaceList(nullptr).empty());
}

} // namespace
