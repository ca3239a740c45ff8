#include "platform/Clock.h"

#include <windows.h>

namespace platform {

uint32_t tickCount() {
    return GetTickCount();
}

uint64_t monotonicMs() {
    return GetTickCount64();
}

uint64_t fileTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void sleepMs(uint32_t ms) {
    Sleep(ms);
}

} // namespace platform
