// The DNS-SD client library, loaded at run time: "dnssd.dll" of the Bonjour service on
// Windows, Avahi's compatibility library "libdns_sd.so.1" on Linux (the same DNSService*
// functions). The module loads it when it is itself loaded (static initialisation) and frees
// it when it is unloaded; without it every registration fails with
// kDNSServiceErr_ServiceNotRunning and nothing else happens.
//
// The types and the four functions are declared here from the published DNS-SD client API
// (dns_sd.h), so nothing of the library is needed to build. Each wrapper looks its entry up by
// the exact name on first use and caches the address; when the library or the entry is
// missing it returns the answer noted beside it without calling anything.
#pragma once

#include <cstdint>

// The API's calling convention (DNSSD_API in dns_sd.h): __stdcall on Windows, the default
// elsewhere. The build defines it (services/dnssd/CMakeLists.txt, target tandravole_dnssd_api),
// so this portable header needs no test of the platform.
#ifndef TANDRAVOLE_DNSSD_API
#error "TANDRAVOLE_DNSSD_API is defined by the build: link tandravole_dnssd_api"
#endif

namespace services::dnssd {

struct DNSServiceRefOpaque;
using DNSServiceRef = DNSServiceRefOpaque*; // opaque: the library's registration
using DNSServiceFlags = uint32_t;
using DNSServiceErrorType = int32_t;

constexpr DNSServiceErrorType kDNSServiceErr_NoError = 0;
constexpr DNSServiceErrorType kDNSServiceErr_Unknown = -65537;
constexpr DNSServiceErrorType kDNSServiceErr_NameConflict = -65548;
constexpr DNSServiceErrorType kDNSServiceErr_ServiceNotRunning = -65563;

// The reply to a registration: errorCode 0 and the name the service was registered under,
// or the reason it was refused.
using DNSServiceRegisterReply = void(TANDRAVOLE_DNSSD_API*)(DNSServiceRef sdRef,
                                                            DNSServiceFlags flags,
                                                            DNSServiceErrorType errorCode,
                                                            const char* name, const char* regtype,
                                                            const char* domain, void* context);

// The library's entries, as the loader resolves them.
using DNSServiceRegisterFn = DNSServiceErrorType(TANDRAVOLE_DNSSD_API*)(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context);
using DNSServiceRefSockFDFn = int(TANDRAVOLE_DNSSD_API*)(DNSServiceRef sdRef);
using DNSServiceProcessResultFn = DNSServiceErrorType(TANDRAVOLE_DNSSD_API*)(DNSServiceRef sdRef);
using DNSServiceRefDeallocateFn = void(TANDRAVOLE_DNSSD_API*)(DNSServiceRef sdRef);

// The wrappers. port is in network byte order, as the API wants it.
// Missing: kDNSServiceErr_ServiceNotRunning.
DNSServiceErrorType DNSServiceRegister(DNSServiceRef* sdRef, DNSServiceFlags flags,
                                       uint32_t interfaceIndex, const char* name,
                                       const char* regtype, const char* domain, const char* host,
                                       uint16_t port, uint16_t txtLen, const void* txtRecord,
                                       DNSServiceRegisterReply callBack, void* context);
// Missing: -1.
int DNSServiceRefSockFD(DNSServiceRef sdRef);
// Missing: kDNSServiceErr_ServiceNotRunning.
DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef sdRef);
// Missing: does nothing.
void DNSServiceRefDeallocate(DNSServiceRef sdRef);

// The 16-bit value whose bytes in memory are the port's in network order (htons).
uint16_t portInNetworkOrder(uint16_t port);

// The file the module loads: "dnssd.dll" on Windows, "libdns_sd.so.1" on Linux.
const char* defaultLibraryName();

// Whether a library is loaded.
bool libraryLoaded();

// Tests only. Frees the loaded library, forgets the cached entries and loads the file at path
// instead (null: no library, as on a computer without Bonjour). True when a library is loaded
// afterwards. Call it only while no registration runs.
bool replaceLibraryForTesting(const char* path);

// Tests only: any export of the loaded library by name (a fake's controls), or null.
void* libraryEntryForTesting(const char* name);

} // namespace services::dnssd
