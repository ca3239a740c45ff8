// Time sources and sleeping.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
uint32_t tickCount();

// Current time as a Windows file time: 100 ns intervals since 1601-01-01 UTC.
uint64_t fileTimeNow();

void sleepMs(uint32_t ms);

} // namespace platform
