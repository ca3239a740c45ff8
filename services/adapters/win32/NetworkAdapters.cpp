// ListNetworkAdapters over the IP Helper: GetAdaptersAddresses for IPv4 without multicast and
// DNS server addresses, first asked for the size, then into a zeroed buffer of that size.
// getnameinfo needs Windows Sockets started (the control starts them before its panel).
#include "services/adapters/NetworkAdapters.h"

// Windows Sockets first, then the IP Helper that uses its types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <algorithm>

namespace services::adapters {

namespace {

AddressFamily familyOf(const SOCKADDR* address) {
    if (!address)
        return AddressFamily::Other;
    if (address->sa_family == AF_INET)
        return AddressFamily::Inet;
    if (address->sa_family == AF_INET6)
        return AddressFamily::Inet6;
    return AddressFamily::Other;
}

RawAdapter describe(const IP_ADAPTER_ADDRESSES& a) {
    RawAdapter r;
    if (a.FriendlyName)
        r.friendlyName = reinterpret_cast<const char16_t*>(a.FriendlyName);
    r.interfaceType = a.IfType;
    r.operUp = a.OperStatus == IfOperStatusUp;
    r.receiveOnly = (a.Flags & IP_ADAPTER_RECEIVE_ONLY) != 0;
    if (const IP_ADAPTER_UNICAST_ADDRESS* unicast = a.FirstUnicastAddress) {
        r.hasUnicast = true;
        const SOCKET_ADDRESS& address = unicast->Address;
        r.firstUnicastFamily = familyOf(address.lpSockaddr);
        if (r.firstUnicastFamily == AddressFamily::Inet) {
            char host[32];
            if (getnameinfo(address.lpSockaddr, address.iSockaddrLength, host, sizeof host, nullptr,
                            0, NI_NUMERICHOST) == 0)
                r.firstUnicastText = host;
        }
    }
    const ULONG length = std::min<ULONG>(a.PhysicalAddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
    r.physicalAddress.assign(a.PhysicalAddress, a.PhysicalAddress + length);
    return r;
}

} // namespace

std::vector<NetworkAdapterInfo> ListNetworkAdapters() {
    const ULONG flags = GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 0;
    if (GetAdaptersAddresses(AF_INET, flags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW)
        return {};
    // Zeroed, and aligned for the records the system writes into it.
    std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, flags, nullptr, first, &size) != NO_ERROR)
        return {};
    std::vector<RawAdapter> raw;
    for (const IP_ADAPTER_ADDRESSES* a = first; a; a = a->Next)
        raw.push_back(describe(*a));
    return selectNetworkAdapters(raw);
}

} // namespace services::adapters
