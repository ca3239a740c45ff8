// The power actions (sleep, restart, power off) over the calls of PowerSystem.h: what
// SystemShutdownThread's body does for an action (codes: player::PowerAction), and the two system
// requests behind it.
#pragma once

#include "services/power/PowerSystem.h"

#include <cstdint>

namespace services::power {

// Enables the shutdown privilege on the process token and asks for the shutdown: through
// InitiateSystemShutdownExW (this computer, no message, no time-out, applications forced
// closed, restart = the EWX_REBOOT bit) when ADVAPI32 has it and `flags` hold no bits but
// EWX_SHUTDOWN, EWX_REBOOT and EWX_POWEROFF; otherwise ExitWindowsEx(flags | EWX_FORCE |
// EWX_FORCEIFHUNG); reason kShutdownReason. Then disables the privilege and closes the token.
// True when the system accepted the request; false without a token (nothing is attempted).
bool ShutdownSystem(PowerSystem& system, uint32_t flags);

// powrprof.dll's SetSuspendState(hibernate, force true, wake-up events disabled false); false
// when the library does not load, has no SetSuspendState, or the call answers 0.
bool SetSuspendStateIfAvailable(PowerSystem& system, bool hibernate);

// The thread's body for one action: 0 suspend if IsPwrSuspendAllowed answers exactly 1, else
// hibernate if IsPwrHibernateAllowed answers exactly 1, else nothing; 1 restart; 2 power off,
// falling back once to plain shutdown; anything else nothing.
void CarryOutPowerAction(PowerSystem& system, uint32_t action);

} // namespace services::power
