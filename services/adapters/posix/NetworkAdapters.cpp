// ListNetworkAdapters over getifaddrs. One adapter per interface name, in the order the names
// first appear; an alias label ("eth0:1") belongs to its interface, as its further addresses
// do on Windows. Its hardware address comes from the interface's AF_PACKET entry (struct
// sockaddr_ll), "up" is IFF_UP and IFF_RUNNING, IFF_LOOPBACK makes it the loopback type and an
// IEEE 1394 link the IEEE 1394 type; the first AF_INET entry is its first unicast address, as
// the Windows request asks for IPv4 only. Linux has no receive-only interfaces.
#include "services/adapters/posix/InterfaceList.h"

#include "common/Utf.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>

namespace services::adapters {

namespace {

struct Entry {
    std::string name;
    RawAdapter adapter;
};

Entry& entryFor(std::vector<Entry>& entries, const std::string& name, bool& created) {
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.name == name; });
    created = it == entries.end();
    if (!created)
        return *it;
    entries.push_back({name, RawAdapter{}});
    entries.back().adapter.friendlyName = widenBytes(name);
    return entries.back();
}

} // namespace

std::vector<RawAdapter> adaptersOfInterfaceList(const ifaddrs* list) {
    std::vector<Entry> entries;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_name)
            continue;
        const std::string label = i->ifa_name;
        const std::string name = label.substr(0, label.find(':'));
        bool created = false;
        RawAdapter& r = entryFor(entries, name, created).adapter;
        if (created || label == name) {
            r.operUp = (i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_RUNNING);
            if (i->ifa_flags & IFF_LOOPBACK)
                r.interfaceType = kIfTypeSoftwareLoopback;
        }
        if (!i->ifa_addr)
            continue;
        if (i->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
            const size_t length = std::min<size_t>(link->sll_halen, sizeof link->sll_addr);
            r.physicalAddress.assign(link->sll_addr, link->sll_addr + length);
            if (link->sll_hatype == ARPHRD_IEEE1394)
                r.interfaceType = kIfTypeIeee1394;
        } else if (i->ifa_addr->sa_family == AF_INET && !r.hasUnicast) {
            r.hasUnicast = true;
            r.firstUnicastFamily = AddressFamily::Inet;
            char host[32];
            if (getnameinfo(i->ifa_addr, sizeof(sockaddr_in), host, sizeof host, nullptr, 0,
                            NI_NUMERICHOST) == 0)
                r.firstUnicastText = host;
        }
    }
    std::vector<RawAdapter> raw;
    for (Entry& e : entries)
        raw.push_back(std::move(e.adapter));
    return raw;
}

std::vector<NetworkAdapterInfo> ListNetworkAdapters() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    std::vector<RawAdapter> raw = adaptersOfInterfaceList(list);
    freeifaddrs(list);
    return selectNetworkAdapters(raw);
}

} // namespace services::adapters
