// The DLL's entry points: DllMain and the four exports of an in-process COM server (listed,
// undecorated, in Tandravole.def together with AddFirewallRules, which the firewall service
// defines). Nothing thrown inside may leave an export.
#include "common/Log.h"
#include "services/update/UpdateCheck.h"
#include "shell/Registration.h"
#include "shell/win32/Module.h"
#include "shell/win32/RegistrationWin32.h"

#include <objbase.h>
#include <olectl.h>
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Threads of other modules never call in through DllMain: no thread notifications.
        DisableThreadLibraryCalls(instance);
        shell::theApp().attach(instance);
        shell::theModule().initialise();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    try {
        return shell::theModule().getClassObject(clsid, iid, out);
    } catch (...) {
        logCaughtException("DllGetClassObject");
        return E_UNEXPECTED;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return shell::canUnloadNow(shell::theApp(), shell::theModule());
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        shell::Win32ComRegistration com(shell::theApp().modulePath());
        return shell::RegisterPlugin(com, services::update::GetModuleFileVersion());
    } catch (...) {
        logCaughtException("DllRegisterServer");
        return E_UNEXPECTED;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        shell::Win32ComRegistration com(shell::theApp().modulePath());
        return shell::UnregisterPlugin(com);
    } catch (...) {
        logCaughtException("DllUnregisterServer");
        return E_UNEXPECTED;
    }
}
