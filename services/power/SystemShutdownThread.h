// SystemShutdownThread: the control's power-action service. Each start runs one
// action on a thread of its own (CarryOutPowerAction over the PowerSystem it was given) and
// ends; it can then be started again. A start while an action runs changes nothing and
// answers true; the control checks isRunning itself too (startPowerAction, the sleep timer).
//
// Lock: startLock_ (a leaf) makes the check and the start one step, since the message
// processor (startPowerAction) and the host's thread (the sleep timer) may start at once.
#pragma once

#include "bridge/ControlServices.h"
#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"
#include "services/power/PowerSystem.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace services::power {

class SystemShutdownThread final : public ThreadWinApi, public bridge::PowerActionService {
public:
    explicit SystemShutdownThread(std::unique_ptr<PowerSystem> system);
    // Waits for a running action to end.
    ~SystemShutdownThread() override;

    // bridge::PowerActionService. start: if running, true and nothing else; otherwise stores
    // the action (player::PowerAction; the control passes the low 32 bits of the request) and
    // starts the thread, true when it started.
    bool isRunning() override;
    bool start(uint32_t action) override;

    // The action last stored.
    uint32_t action() const { return action_.load(); }

    void Run() override;

private:
    std::unique_ptr<PowerSystem> system_;
    platform::CriticalSection startLock_;
    std::atomic<uint32_t> action_{0};
};

} // namespace services::power
