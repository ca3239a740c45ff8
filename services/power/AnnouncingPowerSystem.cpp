#include "services/power/AnnouncingPowerSystem.h"

#include "services/power/SystemShutdownThread.h"

#include <utility>

namespace services::power {

namespace {

// The one handle it gives out for the token, the modules and the procedures it has.
constexpr Handle kNothing = 1;

} // namespace

AnnouncingPowerSystem::AnnouncingPowerSystem(Announce announce) : announce_(std::move(announce)) {}

void AnnouncingPowerSystem::say(const char* what) {
    if (announce_)
        announce_(what);
}

bool AnnouncingPowerSystem::openProcessToken(uint32_t, Handle& token) {
    token = kNothing;
    return true;
}

bool AnnouncingPowerSystem::lookupPrivilegeValue(std::u16string_view, Luid&) {
    return true;
}

bool AnnouncingPowerSystem::adjustTokenPrivilege(Handle, const Luid&, uint32_t) {
    return true;
}
bool AnnouncingPowerSystem::closeHandle(Handle) {
    return true;
}
Handle AnnouncingPowerSystem::getModuleHandle(std::u16string_view) {
    return kNothing;
}
Handle AnnouncingPowerSystem::loadLibrary(std::u16string_view) {
    return kNothing;
}

Handle AnnouncingPowerSystem::getProcAddress(Handle, std::string_view name) {
    const bool known = name == "InitiateSystemShutdownExW" || name == "IsPwrSuspendAllowed" ||
                       name == "IsPwrHibernateAllowed" || name == "SetSuspendState";
    return known ? kNothing : 0;
}

void AnnouncingPowerSystem::freeLibrary(Handle) {}

bool AnnouncingPowerSystem::callInitiateSystemShutdownEx(Handle, const char16_t*, const char16_t*,
                                                         uint32_t, bool, bool rebootAfterShutdown,
                                                         uint32_t) {
    say(rebootAfterShutdown ? "would restart" : "would power off");
    return true;
}

uint8_t AnnouncingPowerSystem::callPowerQuery(Handle) {
    return 1;
}

uint8_t AnnouncingPowerSystem::callSetSuspendState(Handle, bool hibernate, bool, bool) {
    say(hibernate ? "would hibernate" : "would suspend");
    return 1;
}

bool AnnouncingPowerSystem::exitWindowsEx(uint32_t flags, uint32_t) {
    if (flags & kEwxReboot)
        say("would restart");
    else if (flags & kEwxPowerOff)
        say("would power off");
    else if (flags & kEwxShutdown)
        say("would shut down");
    else
        say("would log off");
    return true;
}

std::unique_ptr<bridge::PowerActionService>
makeAnnouncingPowerActions(AnnouncingPowerSystem::Announce announce) {
    return std::make_unique<SystemShutdownThread>(
        std::make_unique<AnnouncingPowerSystem>(std::move(announce)));
}

} // namespace services::power
