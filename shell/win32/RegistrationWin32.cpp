#include "shell/win32/RegistrationWin32.h"

#include "platform/win32/ComPtr.h"
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"
#include "shell/win32/Resources.h"

#include <windows.h>

namespace shell {

namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

} // namespace

uint32_t Win32ComRegistration::threadLocale() {
    return GetThreadLocale();
}

void Win32ComRegistration::setThreadLocale(uint32_t locale) {
    SetThreadLocale(locale);
}

std::optional<std::string> Win32ComRegistration::registrationScript() {
    HMODULE module = theApp().module();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(TANDRAVOLE_IDR_REGISTRY), L"REGISTRY");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return std::nullopt;
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

RegistrarReplacements Win32ComRegistration::moduleReplacements() {
    return {{u"MODULE", modulePath_}};
}

int32_t Win32ComRegistration::registerTypeLibrary() {
    platform::ComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(wide(modulePath_), REGKIND_NONE, library.put());
    if (FAILED(hr))
        return hr;
    // RegisterTypeLib takes non-const texts; it does not change them.
    std::u16string path = modulePath_;
    std::u16string folder = path.substr(0, path.find_last_of(u'\\') + 1);
    return RegisterTypeLib(library.get(), reinterpret_cast<OLECHAR*>(path.data()),
                           folder.empty() ? nullptr : reinterpret_cast<OLECHAR*>(folder.data()));
}

int32_t Win32ComRegistration::unregisterTypeLibrary() {
    return UnRegisterTypeLib(LIBID_TandravoleLib, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL,
                             SYS_WIN64);
}

} // namespace shell
