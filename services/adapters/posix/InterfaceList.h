// The walk over getifaddrs' list, apart from the call, so that a list made up by hand reads
// the same way as the system's.
#pragma once

#include "services/adapters/NetworkAdapters.h"

#include <vector>

struct ifaddrs;

namespace services::adapters {

// One adapter per interface name, in the order the names first appear (see NetworkAdapters.cpp).
std::vector<RawAdapter> adaptersOfInterfaceList(const ifaddrs* list);

} // namespace services::adapters
