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

#include <deque>

using namespace services::adapters;

namespace {

// getifaddrs' list, entry by entry: an address of the family given (AF_INET, AF_INET6 in text;
// AF_PACKET: the hardware address and type), or none (AF_UNSPEC).
class InterfaceList {
public:
    InterfaceList& add(const char* name, unsigned flags, int family, const char* address = "",
                       std::vector<uint8_t> mac = {}, uint16_t type = ARPHRD_ETHER) {
        Node& n = nodes_.emplace_back();
        if (nodes_.size() > 1)
            nodes_[nodes_.size() - 2].entry.ifa_next = &n.entry;
        n.entry.ifa_name = const_cast<char*>(name);
        n.entry.ifa_flags = flags;
        n.entry.ifa_addr = family == AF_UNSPEC ? nullptr : reinterpret_cast<sockaddr*>(&n.address);
        n.address.ss_family = sa_family_t(family);
        if (family == AF_INET)
            inet_pton(AF_INET, address, &reinterpret_cast<sockaddr_in&>(n.address).sin_addr);
        if (family == AF_INET6)
            inet_pton(AF_INET6, address, &reinterpret_cast<sockaddr_in6&>(n.address).sin6_addr);
        auto& ll = reinterpret_cast<sockaddr_ll&>(n.address);
        if (family == AF_PACKET) {
            ll.sll_hatype = type;
            ll.sll_halen = uint8_t(mac.size());
            std::copy(mac.begin(), mac.end(), ll.sll_addr);
        }
        return *this;
    }
    const ifaddrs* head() const { return nodes_.empty() ? nullptr : &nodes_.front().entry; }

private:
    struct Node {
        ifaddrs entry{};
        sockaddr_storage address{};
    };
    std::deque<Node> nodes_;
};

// name type up unicast family text mac
std::string describe(const RawAdapter& a) {
    std::string mac;
    for (uint8_t b : a.physicalAddress)
        mac += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    const char* family = a.firstUnicastFamily == AddressFamily::Inet ? "inet" : "other";
    return utf16ToUtf8(a.friendlyName) + " " + std::to_string(a.interfaceType) + " " +
           (a.operUp ? "up" : "down") + " " + (a.hasUnicast ? family : "none") + " " +
           (a.firstUnicastText.empty() ? "-" : a.firstUnicastText) + " " +
           (mac.empty() ? "-" : mac);
}

TEST(InterfaceList, OneAdapterPerInterfaceFromItsEntries) {
    constexpr unsigned kUp = IFF_UP | IFF_RUNNING;
    InterfaceList list;
    list.add("eth0", kUp, AF_PACKET, "", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .add("eth0", kUp, AF_INET6, "fe80::1")
        .add("eth0", kUp, AF_INET, "192.168.1.5")
        .add("eth0", kUp, AF_INET, "10.0.0.1")
        .add("eth0:1", 0, AF_INET, "172.16.0.1")
        .add("lo", kUp | IFF_LOOPBACK, AF_INET, "127.0.0.1")
        .add("fw0", IFF_UP, AF_PACKET, "", {1, 2, 3, 4, 5, 6, 7, 8}, ARPHRD_IEEE1394)
        .add(nullptr, kUp, AF_UNSPEC)
        .add("tun0", kUp, AF_UNSPEC)
        .add("wlan0:2", kUp, AF_INET, "192.168.2.9");
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
