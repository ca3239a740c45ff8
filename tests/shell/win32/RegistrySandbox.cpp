#include "tests/shell/RegistrySandbox.h"

#include <windows.h>

#include <string>

namespace {

const wchar_t kScratch[] = L"Software\\Tandravole\\ShellTestsSandbox";

struct Root {
    HKEY key;
    const wchar_t* name;
};
// HKEY_CURRENT_USER last: the scratch keys live below the real one.
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, L"HKCR"}, {HKEY_LOCAL_MACHINE, L"HKLM"}, {HKEY_CURRENT_USER, L"HKCU"}};

} // namespace

struct RegistrySandbox::Impl {};

RegistrySandbox::RegistrySandbox() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    for (const Root& root : kRoots) {
        HKEY key = nullptr;
        std::wstring path = std::wstring(kScratch) + L"\\" + root.name;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            continue;
        RegOverridePredefKey(root.key, key);
        RegCloseKey(key); // the override holds a handle of its own
    }
}

RegistrySandbox::~RegistrySandbox() {
    for (const Root& root : kRoots)
        RegOverridePredefKey(root.key, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
}

bool RegistrySandbox::refuseChanges() {
    return false; // a key opened for reading still gains subkeys through a redirected root
}
