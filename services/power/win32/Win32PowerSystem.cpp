// Handles and procedure addresses travel as integers; each call turns them back into the
// system's types. wchar_t is 16 bits here, so UTF-16 texts pass as they are.
#include "services/power/win32/Win32PowerSystem.h"

#include <windows.h>

#include <string>

namespace services::power {

namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

template <class T> T as(Handle h) {
    return reinterpret_cast<T>(h);
}
template <class T> Handle handleOf(T p) {
    return reinterpret_cast<Handle>(p);
}

using InitiateSystemShutdownExFn = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD);
using PowerQueryFn = BOOLEAN(WINAPI*)();
using SetSuspendStateFn = BOOLEAN(WINAPI*)(BOOLEAN, BOOLEAN, BOOLEAN);

class Win32PowerSystem final : public PowerSystem {
public:
    bool openProcessToken(uint32_t access, Handle& token) override {
        HANDLE t = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), access, &t))
            return false;
        token = handleOf(t);
        return true;
    }

    bool lookupPrivilegeValue(std::u16string_view name, Luid& luid) override {
        const std::u16string n(name);
        LUID value{};
        if (!LookupPrivilegeValueW(nullptr, wide(n), &value))
            return false;
        luid.lowPart = value.LowPart;
        luid.highPart = value.HighPart;
        return true;
    }

    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid.LowPart = luid.lowPart;
        privileges.Privileges[0].Luid.HighPart = luid.highPart;
        privileges.Privileges[0].Attributes = attributes;
        return AdjustTokenPrivileges(as<HANDLE>(token), FALSE, &privileges, 0, nullptr, nullptr);
    }

    bool closeHandle(Handle handle) override { return CloseHandle(as<HANDLE>(handle)); }

    Handle getModuleHandle(std::u16string_view module) override {
        const std::u16string m(module);
        return handleOf(GetModuleHandleW(wide(m)));
    }

    Handle loadLibrary(std::u16string_view module) override {
        const std::u16string m(module);
        return handleOf(LoadLibraryW(wide(m)));
    }

    Handle getProcAddress(Handle module, std::string_view name) override {
        const std::string n(name);
        return handleOf(GetProcAddress(as<HMODULE>(module), n.c_str()));
    }

    void freeLibrary(Handle module) override { FreeLibrary(as<HMODULE>(module)); }

    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout,
                                      bool forceAppsClosed, bool rebootAfterShutdown,
                                      uint32_t reason) override {
        std::u16string m = machine ? machine : u"";
        std::u16string text = message ? message : u"";
        return as<InitiateSystemShutdownExFn>(procedure)(
            machine ? reinterpret_cast<LPWSTR>(m.data()) : nullptr,
            message ? reinterpret_cast<LPWSTR>(text.data()) : nullptr, timeout,
            forceAppsClosed ? TRUE : FALSE, rebootAfterShutdown ? TRUE : FALSE, reason);
    }

    uint8_t callPowerQuery(Handle procedure) override { return as<PowerQueryFn>(procedure)(); }

    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override {
        return as<SetSuspendStateFn>(procedure)(hibernate ? TRUE : FALSE, force ? TRUE : FALSE,
                                                wakeupEventsDisabled ? TRUE : FALSE);
    }

    bool exitWindowsEx(uint32_t flags, uint32_t reason) override {
        return ExitWindowsEx(flags, reason);
    }
};

} // namespace

std::unique_ptr<PowerSystem> makeWin32PowerSystem() {
    return std::make_unique<Win32PowerSystem>();
}

} // namespace services::power
