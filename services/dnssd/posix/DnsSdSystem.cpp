// Linux: Avahi's compatibility library through dlopen, and the thread's own niceness.
#include "services/dnssd/DnsSdSystem.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

namespace services::dnssd::system {

const char* defaultLibraryName() {
    // Debian's libavahi-compat-libdnssd1; the versioned name, since the unversioned one comes
    // only with the -dev package.
    return "libdns_sd.so.1";
}

LibraryHandle openLibrary(const char* path) {
    // Avahi's compatibility layer prints "*** WARNING *** The program ... uses the Apple
    // Bonjour compatibility layer of Avahi" on first use unless this is set; a server says
    // nothing it was not asked for. Set before the library can run (it reads the variable when
    // a function is first called), never overriding a value the user gave.
    setenv("AVAHI_COMPAT_NOWARN", "1", 0);
    return dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
}

void* findEntry(LibraryHandle library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

void closeLibrary(LibraryHandle library) {
    if (library)
        dlclose(library);
}

void lowerCurrentThreadPriority() {
    // On Linux each thread has its own niceness, addressed by its thread id; Windows'
    // THREAD_PRIORITY_LOWEST is two steps below normal. Raising niceness needs no privilege,
    // and the kernel keeps the value within its range (at most 19).
    const id_t self = static_cast<id_t>(gettid());
    setpriority(PRIO_PROCESS, self, getpriority(PRIO_PROCESS, self) + 2);
}

} // namespace services::dnssd::system
