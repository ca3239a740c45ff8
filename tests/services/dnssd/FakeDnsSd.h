// A fake DNS-SD client library (FakeDnsSd.cpp, built as a shared library / DLL): it exports
// the four DNSService* functions the service resolves by name, records what they were given
// and answers as the test scripts it. The test loads it with
// services::dnssd::replaceLibraryForTesting and reaches these controls through
// services::dnssd::libraryEntryForTesting (each control is an export of the same name). Plain C
// types only: the library and the test program each have their own C++ runtime on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// What the fake answers.
struct FakeDnsSdScript {
    int32_t registerError = 0; // DNSServiceRegister's result (non-zero: no registration made)
    int sockFd = -1;           // DNSServiceRefSockFD's result
    int32_t replyError = 0;    // the error code each DNSServiceProcessResult replies with
    const char* replyName = "Fake Computer"; // the name a successful reply gives (static text)
    int32_t processError = 0;                // DNSServiceProcessResult's result
    // Called by each DNSServiceProcessResult before it replies: the test takes the byte that
    // made the socket readable.
    void (*drain)(void* user) = nullptr;
    void* drainUser = nullptr;
};

// What DNSServiceRegister was given the last time.
struct FakeDnsSdRegistration {
    uint32_t flags;
    uint32_t interfaceIndex;
    bool nameNull;
    char name[64];
    bool regtypeNull;
    char regtype[64];
    bool domainNull;
    bool hostNull;
    unsigned char portBytes[2]; // the port argument's bytes in memory order
    uint16_t txtLen;
    bool txtRecordNull;
    bool callbackNull;
    void* context;
    bool sdRefNull;
};

// Every call in order, one word each, separated by spaces:
// "register:<port>" (the port read from its network-order bytes), "register-failed:<port>",
// "sockfd", "process", "reply:<error>", "deallocate", "deallocate-unknown" (a registration
// the fake did not make).
using FakeDnsSdResetFn = void (*)();
using FakeDnsSdSetScriptFn = void (*)(const FakeDnsSdScript* script);
using FakeDnsSdLastRegistrationFn = bool (*)(FakeDnsSdRegistration* out); // false: none yet
using FakeDnsSdCallLogFn = size_t (*)(char* out, size_t capacity);        // length written
using FakeDnsSdLiveRegistrationsFn = int (*)();

} // extern "C"

// The controls' export names.
inline constexpr const char kFakeDnsSdReset[] = "FakeDnsSdReset";
inline constexpr const char kFakeDnsSdSetScript[] = "FakeDnsSdSetScript";
inline constexpr const char kFakeDnsSdLastRegistration[] = "FakeDnsSdLastRegistration";
inline constexpr const char kFakeDnsSdCallLog[] = "FakeDnsSdCallLog";
inline constexpr const char kFakeDnsSdLiveRegistrations[] = "FakeDnsSdLiveRegistrations";
