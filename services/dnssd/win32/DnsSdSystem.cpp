// Windows: "dnssd.dll" of the Bonjour service through LoadLibraryW, and the thread priority.
#include "services/dnssd/DnsSdSystem.h"

#include "common/Utf.h"

#include <string>
#include <windows.h>

namespace services::dnssd::system {

const char* defaultLibraryName() {
    return "dnssd.dll";
}

LibraryHandle openLibrary(const char* path) {
    // The default search order for a bare name. wchar_t is 16 bits here, so the UTF-16 text
    // is the wide one.
    std::u16string wide = utf8ToUtf16(path);
    if (wide.empty())
        return nullptr;
    return LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
}

void* findEntry(LibraryHandle library, const char* name) {
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(LibraryHandle library) {
    if (library)
        FreeLibrary(static_cast<HMODULE>(library));
}

void lowerCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

} // namespace services::dnssd::system
