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

State& state() {
    static State s;
    return s;
}

void append(State& s, const std::string& word) {
    s.log += (s.log.empty() ? "" : " ") + word;
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
    std::lock_guard hold(state().mutex);
    const size_t n = std::min(state().log.size(), capacity - 1);
    std::memcpy(out, state().log.data(), n);
    out[n] = '\0';
    if (script) {
        state().script = *script;
        state().log.clear();
    }
    return n;
}

#ifndef FAKE_DNSSD_WITHOUT_REGISTER
FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceRegister(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    unsigned char bytes[2];
    std::memcpy(bytes, &port, sizeof bytes);
    char portText[8];
    std::snprintf(portText, sizeof portText, "%02x %02x", bytes[0], bytes[1]);
    append(s, "register(" + std::to_string(flags) + ", " + std::to_string(interfaceIndex) + ", " +
                  text(name) + ", " + text(regtype) + ", " + text(domain) + ", " + text(host) +
                  ", " + portText + ", " + std::to_string(txtLen) + ", " +
                  (txtRecord ? "txt" : "null") + ", " + (callBack ? "reply" : "null") + ", " +
                  (context ? "context" : "null") + ")");
    if (s.script.registerError != kDNSServiceErr_NoError)
        return s.script.registerError;
    *sdRef = new DNSServiceRefOpaque{callBack, context, text(regtype)};
    s.live.insert(*sdRef);
    return kDNSServiceErr_NoError;
}
#endif

FAKE_DNSSD_ENTRY int TANDRAVOLE_DNSSD_API DNSServiceRefSockFD(DNSServiceRef) {
    std::lock_guard hold(state().mutex);
    append(state(), "sockfd");
    return state().script.sockFd;
}

FAKE_DNSSD_ENTRY DNSServiceErrorType TANDRAVOLE_DNSSD_API
DNSServiceProcessResult(DNSServiceRef sdRef) {
    State& s = state();
    FakeDnsSdScript script;
    DNSServiceRegisterReply callback = nullptr;
    {
        std::lock_guard hold(s.mutex);
        append(s, "process");
        script = s.script;
        if (s.live.count(sdRef) && sdRef->callback) {
            callback = sdRef->callback;
            append(s, "reply:" + std::to_string(script.replyError));
        }
    }
    // As in the real library, the reply runs on the caller's thread, with no lock held.
    if (callback)
        callback(sdRef, 0, script.replyError, "Fake Computer", sdRef->regtype.c_str(), "local.",
                 sdRef->context);
    return script.processError;
}

FAKE_DNSSD_ENTRY void TANDRAVOLE_DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    if (!s.live.erase(sdRef))
        return append(s, "deallocate-unknown");
    append(s, "deallocate");
    delete sdRef;
}
