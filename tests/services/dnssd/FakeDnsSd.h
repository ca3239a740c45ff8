// A fake DNS-SD client library (FakeDnsSd.cpp, built as a shared library / DLL): it exports the
// four DNSService* functions the service resolves by name, logs each call with its arguments
// and answers as the test scripts it. The test reaches its controls through
// services::dnssd::libraryEntryForTesting. Plain C types only: the library and the test program
// each have their own C++ runtime on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// What the fake answers.
struct FakeDnsSdScript {
    int32_t registerError = 0; // DNSServiceRegister's result (non-zero: no registration made)
    int sockFd = -1;           // DNSServiceRefSockFD's result
    int32_t replyError = 0;    // the error each DNSServiceProcessResult replies with
    int32_t processError = 0;  // DNSServiceProcessResult's result
};

// FakeDnsSdSetScript: sets the script and clears the log. FakeDnsSdCallLog: every call in order,
// separated by spaces: "register(flags, interface, name, type, domain, host, port bytes in
// memory order, txtLen, txt, reply, context)" (null pointers as "null"), "sockfd", "process",
// "reply:<error>", "deallocate", "deallocate-unknown" (a registration the fake did not make).
// FakeDnsSdLive: registrations made and not yet deallocated.
using FakeDnsSdScriptFn = void (*)(const FakeDnsSdScript* script);
using FakeDnsSdCallLogFn = size_t (*)(char* out, size_t capacity); // length written
using FakeDnsSdLiveFn = int (*)();

} // extern "C"
