// Network adapter listing: the computer's active IPv4 adapters for the settings
// panel, each with its friendly name, first unicast address and hardware address, in the order
// the system returns them. ListNetworkAdapters is the backend's (win32/: GetAdaptersAddresses,
// posix/: getifaddrs); both describe each adapter as a RawAdapter and leave the choice and the
// formatting to selectNetworkAdapters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace services::adapters {

struct NetworkAdapterInfo {
    std::u16string name;
    std::u16string ip;  // the first unicast address, numeric; empty when it could not be formatted
    std::u16string mac; // "00-1a-2b-3c-4d-5e"; empty unless the hardware address has 6 bytes
    bool operator==(const NetworkAdapterInfo&) const = default;
};

// IF_TYPE_* values of the interface types that are never listed.
inline constexpr uint32_t kIfTypeSoftwareLoopback = 24;
inline constexpr uint32_t kIfTypeIeee1394 = 144;
inline constexpr uint32_t kIfTypeEthernet = 6;

enum class AddressFamily { Inet, Inet6, Other };

// One adapter as the system describes it.
struct RawAdapter {
    std::u16string friendlyName;
    uint32_t interfaceType = kIfTypeEthernet;
    bool operUp = false;      // IfOperStatusUp
    bool receiveOnly = false; // IP_ADAPTER_RECEIVE_ONLY
    bool hasUnicast = false;
    AddressFamily firstUnicastFamily = AddressFamily::Inet;
    // The first unicast address as getnameinfo(NI_NUMERICHOST) wrote it, byte for byte; empty
    // when that failed.
    std::string firstUnicastText;
    std::vector<uint8_t> physicalAddress;
};

// The listed adapters: not loopback or IEEE 1394, up, not receive-only, with a first unicast
// address of family AF_INET; the texts widened byte by byte.
std::vector<NetworkAdapterInfo> selectNetworkAdapters(const std::vector<RawAdapter>& adapters);

// "%.2x-%.2x-%.2x-%.2x-%.2x-%.2x" of exactly 6 bytes; empty otherwise.
std::string formatMacAddress(const std::vector<uint8_t>& physicalAddress);

// The system's adapters (backend); empty on any failure.
std::vector<NetworkAdapterInfo> ListNetworkAdapters();

} // namespace services::adapters
