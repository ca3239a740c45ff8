#include "services/power/SystemShutdownThread.h"

#include "services/power/PowerActions.h"

#include <utility>

namespace services::power {

SystemShutdownThread::SystemShutdownThread(std::unique_ptr<PowerSystem> system)
    : system_(std::move(system)) {}

SystemShutdownThread::~SystemShutdownThread() {
    stopAndJoin();
}

bool SystemShutdownThread::isRunning() {
    return IsRunning();
}

bool SystemShutdownThread::start(uint32_t action) {
    platform::ScopedLock lock(startLock_);
    if (IsRunning())
        return true;
    action_ = action;
    return Start();
}

void SystemShutdownThread::Run() {
    CarryOutPowerAction(*system_, action_.load());
}

} // namespace services::power
