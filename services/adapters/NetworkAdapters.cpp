#include "services/adapters/NetworkAdapters.h"

#include "common/Utf.h"

#include <cstdio>

namespace services::adapters {

namespace {

bool listed(const RawAdapter& a) {
    if (a.interfaceType == kIfTypeSoftwareLoopback || a.interfaceType == kIfTypeIeee1394)
        return false;
    if (!a.operUp || a.receiveOnly || !a.hasUnicast)
        return false;
    return a.firstUnicastFamily == AddressFamily::Inet;
}

} // namespace

std::string formatMacAddress(const std::vector<uint8_t>& physicalAddress) {
    if (physicalAddress.size() != 6)
        return {};
    char text[18];
    std::snprintf(text, sizeof text, "%.2x-%.2x-%.2x-%.2x-%.2x-%.2x", physicalAddress[0],
                  physicalAddress[1], physicalAddress[2], physicalAddress[3], physicalAddress[4],
                  physicalAddress[5]);
    return text;
}

std::vector<NetworkAdapterInfo> selectNetworkAdapters(const std::vector<RawAdapter>& adapters) {
    std::vector<NetworkAdapterInfo> out;
    for (const RawAdapter& a : adapters) {
        if (!listed(a))
            continue;
        out.push_back({a.friendlyName, widenBytes(a.firstUnicastText),
                       widenBytes(formatMacAddress(a.physicalAddress))});
    }
    return out;
}

} // namespace services::adapters
