// The module's version on Windows: the FileVersion string of the version resource of the
// module that holds this code (the plug-in's DLL, not the player's executable).
#include "services/update/UpdateCheck.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace services::update {

uint32_t GetModuleFileVersion() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&GetModuleFileVersion), &module))
        return 0;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) // a full buffer may hold a cut path
        return 0;

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return 0;
    std::vector<uint8_t> info(size);
    if (!GetFileVersionInfoW(path, 0, size, info.data()))
        return 0;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT valueLength = 0;
    std::u16string key = u"00000000";
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &valueLength) &&
        valueLength >= sizeof(Translation)) {
        auto* first = static_cast<const Translation*>(value);
        key = TranslationKey(first->language, first->codePage);
    }
    std::u16string query = u"\\StringFileInfo\\" + key + u"\\FileVersion";
    if (!VerQueryValueW(info.data(), reinterpret_cast<LPCWSTR>(query.c_str()), &value,
                        &valueLength) ||
        value == nullptr)
        return 0;
    std::u16string_view text(static_cast<const char16_t*>(value), valueLength);
    return PackFileVersion(text.substr(0, text.find(u'\0')));
}

} // namespace services::update
