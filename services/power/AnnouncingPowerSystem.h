// The power system of the Linux host (and of any run that must not touch the machine): every
// call succeeds without doing anything, suspend is allowed, ADVAPI32 has
// InitiateSystemShutdownExW, and the requests that would change the machine's state are only
// announced, one sentence each, through the function given: "would suspend", "would
// hibernate", "would restart", "would power off", "would shut down", "would log off".
#pragma once

#include "bridge/ControlServices.h"
#include "services/power/PowerSystem.h"

#include <functional>
#include <memory>
#include <string>

namespace services::power {

class AnnouncingPowerSystem final : public PowerSystem {
public:
    using Announce = std::function<void(std::string)>;
    explicit AnnouncingPowerSystem(Announce announce);

    bool openProcessToken(uint32_t access, Handle& token) override;
    bool lookupPrivilegeValue(std::u16string_view name, Luid& luid) override;
    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override;
    bool closeHandle(Handle handle) override;
    Handle getModuleHandle(std::u16string_view module) override;
    Handle loadLibrary(std::u16string_view module) override;
    Handle getProcAddress(Handle module, std::string_view name) override;
    void freeLibrary(Handle module) override;
    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout,
                                      bool forceAppsClosed, bool rebootAfterShutdown,
                                      uint32_t reason) override;
    uint8_t callPowerQuery(Handle procedure) override;
    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override;
    bool exitWindowsEx(uint32_t flags, uint32_t reason) override;

private:
    void say(const char* what);
    Announce announce_;
};

// The control's power-action service for the Linux host: a SystemShutdownThread over an
// AnnouncingPowerSystem. `announce` is called on the action's thread.
std::unique_ptr<bridge::PowerActionService>
makeAnnouncingPowerActions(AnnouncingPowerSystem::Announce announce);

} // namespace services::power
