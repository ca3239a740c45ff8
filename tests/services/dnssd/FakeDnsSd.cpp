// The fake DNS-SD client library (FakeDnsSd.h). Built twice: complete, and with
// FAKE_DNSSD_WITHOUT_REGISTER, a library that lacks DNSServiceRegister but has the other three.
// FAKE_DNSSD_EXPORT (set by the build) marks the exports.
#include "tests/services/dnssd/FakeDnsSd.h"
#include "services/dnssd/DnsSdLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

using namespace services::dnssd;

struct services::dnssd::DNSServiceRefOpaque {
    DNSServiceRegisterReply callback;
    void* context;
    std::string regtype;
};

namespace {

struct State {
    std::mutex mutex;
    FakeDnsSdScript script;
    std::string log;
    std::set<DNSServiceRef> live; // the registrations made and not yet released
};

State fake;

void append(const std::string& word) {
    fake.log += (fake.log.empty() ? "" : " ") + word;
}

[[maybe_unused]] std::string text(const char* s) {
    return s ? s : "null";
}

} // namespace

#define FAKE_DNSSD_ENTRY extern "C" FAKE_DNSSD_EXPORT

// The exports, declared before they are defined.
FAKE_DNSSD_ENTRY size_t FakeDnsSdControl(const FakeDnsSdScript* script, char* out, size_t capacity);
FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceRegister(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context);
FAKE_DNSSD_ENTRY int TANDRAVOLE_DNSSD_API DNSServiceRefSockFD(DNSServiceRef sdRef);
FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceProcessResult(DNSServiceRef);
FAKE_DNSSD_ENTRY void TANDRAVOLE_DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef);

FAKE_DNSSD_ENTRY size_t FakeDnsSdControl(const FakeDnsSdScript* script, char* out,
                                         size_t capacity) {
    std::lock_guard hold(fake.mutex);
    const size_t n = std::min(fake.log.size(), capacity - 1);
    std::memcpy(out, fake.log.data(), n);
    out[n] = '\0';
    if (script) {
        fake.script = *script;
        fake.log.clear();
    }
    return n;
}

#ifndef FAKE_DNSSD_WITHOUT_REGISTER
FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceRegister(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context) {
    std::lock_guard hold(fake.mutex);
    unsigned char bytes[2];
    std::memcpy(bytes, &port, sizeof bytes);
    char portText[8];
    std::snprintf(portText, sizeof portText, "%02x %02x", bytes[0], bytes[1]);
    append("register(" + std::to_string(flags) + ", " + std::to_string(interfaceIndex) + ", " +
           text(name) + ", " + text(regtype) + ", " + text(domain) + ", " + text(host) + ", " +
           portText + ", " + std::to_string(txtLen) + ", " + (txtRecord ? "txt" : "null") + ", " +
           (callBack ? "reply" : "null") + ", " + (context ? "context" : "null") + ")");
    if (fake.script.registerError != kDNSServiceErr_NoError)
        return fake.script.registerError;
    *sdRef = new DNSServiceRefOpaque{callBack, context, text(regtype)};
    fake.live.insert(*sdRef);
    return kDNSServiceErr_NoError;
}
#endif

FAKE_DNSSD_ENTRY int TANDRAVOLE_DNSSD_API DNSServiceRefSockFD(DNSServiceRef) {
    std::lock_guard hold(fake.mutex);
    append("sockfd");
    return fake.script.sockFd;
}

FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API
DNSServiceProcessResult(DNSServiceRef sdRef) {
    FakeDnsSdScript script;
    DNSServiceRegisterReply callback = nullptr;
    {
        std::lock_guard hold(fake.mutex);
        append("process");
        script = fake.script;
        if (fake.live.count(sdRef) && sdRef->callback) {
            callback = sdRef->callback;
            append("reply:" + std::to_string(script.replyError));
        }
    }
    // As in the real library, the reply runs on the caller's thread, with no lock held.
    if (callback)
        callback(sdRef, 0, script.replyError, "Fake Computer", sdRef->regtype.c_str(), "local.",
                 sdRef->context);
    return script.processError;
}

FAKE_DNSSD_ENTRY void TANDRAVOLE_DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef) {
    std::lock_guard hold(fake.mutex);
    if (!fake.live.erase(sdRef))
        return append("deallocate-unknown");
    append("deallocate");
    delete sdRef;
}
