// The system's clock over the backend's readings (posix/Clock.cpp or win32/Clock.cpp).
#include "platform/Clock.h"

namespace platform {

namespace {
class SystemClock final : public Clock {
public:
    uint64_t monotonicMs() override { return platform::monotonicMs(); }
    uint64_t fileTime() override { return fileTimeNow(); }
};
} // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

} // namespace platform
