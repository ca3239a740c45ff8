#include "services/dnssd/DnsSdLibrary.h"

#include "services/dnssd/DnsSdSystem.h"

#include <atomic>
#include <cstring>

namespace services::dnssd {
namespace {

// The four entries, in the order of the cache below.
enum Entry { Register, RefSockFD, ProcessResult, RefDeallocate, EntryCount };
constexpr const char* kEntryNames[EntryCount] = {"DNSServiceRegister", "DNSServiceRefSockFD",
                                                 "DNSServiceProcessResult",
                                                 "DNSServiceRefDeallocate"};

// Module-wide state: the library handle and one cached address per entry. All of it is
// zero before the module's static initialisation has run, which reads as "no library".
// The atomics let two threads resolve an entry at once (both store the same address);
// the handle changes only when the module loads and unloads and in tests, while no
// registration runs.
class Library {
public:
    Library() { open(system::defaultLibraryName()); }
    ~Library() { close(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool open(const char* path) {
        close();
        if (path)
            handle_.store(system::openLibrary(path));
        return handle_.load() != nullptr;
    }

    void close() {
        for (auto& entry : entries_)
            entry.store(nullptr);
        system::closeLibrary(handle_.exchange(nullptr));
    }

    bool loaded() const { return handle_.load() != nullptr; }

    // The entry's address, looked up by its exact name the first time; null when the library
    // or the entry is missing (a missing entry is looked up again next time).
    void* entry(Entry which) {
        void* address = entries_[which].load(std::memory_order_acquire);
        if (address)
            return address;
        void* handle = handle_.load();
        if (!handle)
            return nullptr;
        address = system::findEntry(handle, kEntryNames[which]);
        entries_[which].store(address, std::memory_order_release);
        return address;
    }

    void* anyEntry(const char* name) { return system::findEntry(handle_.load(), name); }

private:
    std::atomic<void*> handle_{nullptr};
    std::atomic<void*> entries_[EntryCount] = {};
};

// Loaded when the module is loaded, freed when it is unloaded.
Library library;

template <class Function> Function entryAs(Entry which) {
    return reinterpret_cast<Function>(library.entry(which));
}

} // namespace

DNSServiceErrorType DNSServiceRegister(DNSServiceRef* sdRef, DNSServiceFlags flags,
                                       uint32_t interfaceIndex, const char* name,
                                       const char* regtype, const char* domain, const char* host,
                                       uint16_t port, uint16_t txtLen, const void* txtRecord,
                                       DNSServiceRegisterReply callBack, void* context) {
    auto function = entryAs<DNSServiceRegisterFn>(Register);
    if (!function)
        return kDNSServiceErr_ServiceNotRunning;
    return function(sdRef, flags, interfaceIndex, name, regtype, domain, host, port, txtLen,
                    txtRecord, callBack, context);
}

int DNSServiceRefSockFD(DNSServiceRef sdRef) {
    auto function = entryAs<DNSServiceRefSockFDFn>(RefSockFD);
    if (!function)
        return -1;
    return function(sdRef);
}

DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef sdRef) {
    auto function = entryAs<DNSServiceProcessResultFn>(ProcessResult);
    if (!function)
        return kDNSServiceErr_ServiceNotRunning;
    return function(sdRef);
}

void DNSServiceRefDeallocate(DNSServiceRef sdRef) {
    auto function = entryAs<DNSServiceRefDeallocateFn>(RefDeallocate);
    if (function)
        function(sdRef);
}

uint16_t portInNetworkOrder(uint16_t port) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(port >> 8),
                                    static_cast<unsigned char>(port & 0xFF)};
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

const char* defaultLibraryName() {
    return system::defaultLibraryName();
}

bool libraryLoaded() {
    return library.loaded();
}

bool replaceLibraryForTesting(const char* path) {
    return library.open(path);
}

void* libraryEntryForTesting(const char* name) {
    return library.anyEntry(name);
}

} // namespace services::dnssd
