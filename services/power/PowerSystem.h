// The system calls of the power actions, one member per call, with the system's
// own arguments: the process token and the shutdown privilege, InitiateSystemShutdownExW found
// in the already loaded ADVAPI32, ExitWindowsEx, and powrprof.dll loaded at run time with its
// SetSuspendState, IsPwrSuspendAllowed and IsPwrHibernateAllowed. The portable logic
// (PowerActions.h) makes these calls in a fixed order; the Windows backend
// (win32/Win32PowerSystem.h) makes them for real, the Linux host's AnnouncingPowerSystem only
// says what would happen, and the tests record them.
#pragma once

#include <cstdint>
#include <string_view>

namespace services::power {

// A token, a module or a procedure address as the system gives it; 0 is none.
using Handle = std::uintptr_t;

// A locally unique identifier (LUID) of a privilege.
struct Luid {
    uint32_t lowPart = 0;
    int32_t highPart = 0;
    bool operator==(const Luid&) const = default;
};

// The system's values.
inline constexpr uint32_t kTokenAdjustPrivileges = 0x0020; // TOKEN_ADJUST_PRIVILEGES
inline constexpr uint32_t kTokenQuery = 0x0008;            // TOKEN_QUERY
inline constexpr uint32_t kPrivilegeEnabled = 0x0002;      // SE_PRIVILEGE_ENABLED
inline constexpr uint32_t kEwxShutdown = 0x01;             // EWX_SHUTDOWN
inline constexpr uint32_t kEwxReboot = 0x02;               // EWX_REBOOT
inline constexpr uint32_t kEwxForce = 0x04;                // EWX_FORCE
inline constexpr uint32_t kEwxPowerOff = 0x08;             // EWX_POWEROFF
inline constexpr uint32_t kEwxForceIfHung = 0x10;          // EWX_FORCEIFHUNG
// SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_MAINTENANCE
inline constexpr uint32_t kShutdownReason = 0x80040001;

class PowerSystem {
public:
    virtual ~PowerSystem() = default;

    // OpenProcessToken(GetCurrentProcess(), access, &token).
    virtual bool openProcessToken(uint32_t access, Handle& token) = 0;
    // LookupPrivilegeValueW(nullptr (the local system), name, &luid).
    virtual bool lookupPrivilegeValue(std::u16string_view name, Luid& luid) = 0;
    // AdjustTokenPrivileges(token, FALSE, one privilege {luid, attributes}, 0, null, null).
    virtual bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) = 0;
    // CloseHandle.
    virtual bool closeHandle(Handle handle) = 0;

    // GetModuleHandleW: a module already loaded into the process, or 0.
    virtual Handle getModuleHandle(std::u16string_view module) = 0;
    // LoadLibraryW: 0 when it does not load.
    virtual Handle loadLibrary(std::u16string_view module) = 0;
    // GetProcAddress: 0 when the module has no such entry.
    virtual Handle getProcAddress(Handle module, std::string_view name) = 0;
    // FreeLibrary.
    virtual void freeLibrary(Handle module) = 0;

    // Calls through procedures that getProcAddress found:
    // BOOL InitiateSystemShutdownExW(machine, message, timeout, forceAppsClosed,
    //                                rebootAfterShutdown, reason); null machine: this one.
    virtual bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                              const char16_t* message, uint32_t timeout,
                                              bool forceAppsClosed, bool rebootAfterShutdown,
                                              uint32_t reason) = 0;
    // BOOLEAN IsPwrSuspendAllowed(void) and IsPwrHibernateAllowed(void): the answer as it is.
    virtual uint8_t callPowerQuery(Handle procedure) = 0;
    // BOOLEAN SetSuspendState(hibernate, force, wakeupEventsDisabled).
    virtual uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                        bool wakeupEventsDisabled) = 0;

    // ExitWindowsEx(flags, reason).
    virtual bool exitWindowsEx(uint32_t flags, uint32_t reason) = 0;
};

} // namespace services::power
