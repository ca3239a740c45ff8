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

// FakeDnsSdControl copies the log so far into `out` and answers its length; then, given a script,
// it takes it and clears the log. The log: every call in order, separated by spaces:
// "register(flags, interface, name, type, domain, host, port bytes in memory order, txtLen, txt,
// reply, context)" (null pointers as "null"), "sockfd", "process", "reply:<error>",
// "deallocate", "deallocate-unknown" (a registration the fake did not make or released).
using FakeDnsSdControlFn = size_t (*)(const FakeDnsSdScript* script, char* out, size_t capacity);

} // extern "C"
