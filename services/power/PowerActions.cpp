#include "services/power/PowerActions.h"

#include "server/engine/WinampControlServerDelegate.h"

namespace services::power {

namespace {

constexpr char16_t kPowrprof[] = u"powrprof.dll";

// Loads powrprof.dll, asks one of its BOOLEAN queries if it has it, and frees it; 0 when the
// library or the entry is missing.
uint8_t askPowrprof(PowerSystem& system, const char* query) {
    const Handle library = system.loadLibrary(kPowrprof);
    if (library == 0)
        return 0;
    uint8_t answer = 0;
    if (const Handle procedure = system.getProcAddress(library, query))
        answer = system.callPowerQuery(procedure);
    system.freeLibrary(library);
    return answer;
}

void sleepOrHibernate(PowerSystem& system) {
    if (askPowrprof(system, "IsPwrSuspendAllowed") == 1) {
        SetSuspendStateIfAvailable(system, false);
        return;
    }
    if (askPowrprof(system, "IsPwrHibernateAllowed") == 1)
        SetSuspendStateIfAvailable(system, true);
}

} // namespace

bool ShutdownSystem(PowerSystem& system, uint32_t flags) {
    Handle token = 0;
    if (!system.openProcessToken(kTokenAdjustPrivileges | kTokenQuery, token))
        return false;
    // The outcomes of the lookup and of the adjustment are not examined.
    Luid luid;
    system.lookupPrivilegeValue(u"SeShutdownPrivilege", luid);
    system.adjustTokenPrivilege(token, luid, kPrivilegeEnabled);

    const Handle advapi = system.getModuleHandle(u"ADVAPI32");
    const Handle initiate =
        advapi != 0 ? system.getProcAddress(advapi, "InitiateSystemShutdownExW") : 0;
    constexpr uint32_t kInitiateFlags = kEwxShutdown | kEwxReboot | kEwxPowerOff;
    bool accepted;
    if (initiate != 0 && (flags & ~kInitiateFlags) == 0)
        accepted = system.callInitiateSystemShutdownEx(initiate, nullptr, nullptr, 0, true,
                                                       (flags & kEwxReboot) != 0, kShutdownReason);
    else
        accepted = system.exitWindowsEx(flags | kEwxForce | kEwxForceIfHung, kShutdownReason);

    system.adjustTokenPrivilege(token, luid, 0);
    system.closeHandle(token);
    return accepted;
}

bool SetSuspendStateIfAvailable(PowerSystem& system, bool hibernate) {
    const Handle library = system.loadLibrary(kPowrprof);
    if (library == 0)
        return false;
    bool accepted = false;
    if (const Handle procedure = system.getProcAddress(library, "SetSuspendState"))
        accepted = system.callSetSuspendState(procedure, hibernate, true, false) != 0;
    system.freeLibrary(library);
    return accepted;
}

void CarryOutPowerAction(PowerSystem& system, uint32_t action) {
    switch (action) {
    case player::POWER_SLEEP:
        sleepOrHibernate(system);
        break;
    case player::POWER_RESTART:
        ShutdownSystem(system, kEwxReboot);
        break;
    case player::POWER_OFF:
        if (!ShutdownSystem(system, kEwxPowerOff))
            ShutdownSystem(system, kEwxShutdown);
        break;
    default:
        break;
    }
}

} // namespace services::power
