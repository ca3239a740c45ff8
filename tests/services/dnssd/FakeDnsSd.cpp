// The fake DNS-SD client library (FakeDnsSd.h). Built twice: complete, and with
// FAKE_DNSSD_WITHOUT_REGISTER, a library that lacks DNSServiceRegister but has the other three.
// FAKE_DNSSD_EXPORT (set by the build) marks the exports.
#include "tests/services/dnssd/FakeDnsSd.h"
#include "services/dnssd/DnsSdLibrary.h"

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
    std::string replyName = "Fake Computer";
    bool haveRegistration = false;
    FakeDnsSdRegistration last{};
    std::string log;
    std::set<DNSServiceRef> live;
};

State& state() {
    static State s;
    return s;
}

void append(State& s, const std::string& word) {
    if (!s.log.empty())
        s.log += ' ';
    s.log += word;
}

[[maybe_unused]] void copyText(char (&to)[64], const char* from) {
    std::strncpy(to, from ? from : "", sizeof to - 1);
    to[sizeof to - 1] = '\0';
}

} // namespace

// The exports, declared before they are defined.
extern "C" {
FAKE_DNSSD_EXPORT void FakeDnsSdReset();
FAKE_DNSSD_EXPORT void FakeDnsSdSetScript(const FakeDnsSdScript* script);
FAKE_DNSSD_EXPORT bool FakeDnsSdLastRegistration(FakeDnsSdRegistration* out);
FAKE_DNSSD_EXPORT size_t FakeDnsSdCallLog(char* out, size_t capacity);
FAKE_DNSSD_EXPORT int FakeDnsSdLiveRegistrations();
FAKE_DNSSD_EXPORT DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceRegister(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context);
FAKE_DNSSD_EXPORT int TANDRAVOLE_DNSSD_API DNSServiceRefSockFD(DNSServiceRef sdRef);
FAKE_DNSSD_EXPORT DNSServiceErrorType TANDRAVOLE_DNSSD_API
DNSServiceProcessResult(DNSServiceRef sdRef);
FAKE_DNSSD_EXPORT void TANDRAVOLE_DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef);
}

extern "C" {

FAKE_DNSSD_EXPORT void FakeDnsSdReset() {
    State& s = state();
    std::lock_guard hold(s.mutex);
    s.script = FakeDnsSdScript{};
    s.replyName = "Fake Computer";
    s.haveRegistration = false;
    s.last = FakeDnsSdRegistration{};
    s.log.clear();
    // Registrations the code under test never released stay allocated: a leak is a finding.
    s.live.clear();
}

FAKE_DNSSD_EXPORT void FakeDnsSdSetScript(const FakeDnsSdScript* script) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    s.script = *script;
    s.replyName = script->replyName ? script->replyName : "";
    s.script.replyName = nullptr;
}

FAKE_DNSSD_EXPORT bool FakeDnsSdLastRegistration(FakeDnsSdRegistration* out) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    *out = s.last;
    return s.haveRegistration;
}

FAKE_DNSSD_EXPORT size_t FakeDnsSdCallLog(char* out, size_t capacity) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    if (capacity == 0)
        return 0;
    size_t n = s.log.size() < capacity - 1 ? s.log.size() : capacity - 1;
    std::memcpy(out, s.log.data(), n);
    out[n] = '\0';
    return n;
}

FAKE_DNSSD_EXPORT int FakeDnsSdLiveRegistrations() {
    State& s = state();
    std::lock_guard hold(s.mutex);
    return static_cast<int>(s.live.size());
}

#ifndef FAKE_DNSSD_WITHOUT_REGISTER
FAKE_DNSSD_EXPORT DNSServiceErrorType TANDRAVOLE_DNSSD_API DNSServiceRegister(
    DNSServiceRef* sdRef, DNSServiceFlags flags, uint32_t interfaceIndex, const char* name,
    const char* regtype, const char* domain, const char* host, uint16_t port, uint16_t txtLen,
    const void* txtRecord, DNSServiceRegisterReply callBack, void* context) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    FakeDnsSdRegistration& r = s.last;
    r = FakeDnsSdRegistration{};
    r.flags = flags;
    r.interfaceIndex = interfaceIndex;
    r.nameNull = name == nullptr;
    copyText(r.name, name);
    r.regtypeNull = regtype == nullptr;
    copyText(r.regtype, regtype);
    r.domainNull = domain == nullptr;
    r.hostNull = host == nullptr;
    std::memcpy(r.portBytes, &port, sizeof r.portBytes);
    r.txtLen = txtLen;
    r.txtRecordNull = txtRecord == nullptr;
    r.callbackNull = callBack == nullptr;
    r.context = context;
    r.sdRefNull = sdRef == nullptr;
    s.haveRegistration = true;

    const std::string portText = std::to_string(unsigned(r.portBytes[0]) << 8 | r.portBytes[1]);
    if (s.script.registerError != kDNSServiceErr_NoError || !sdRef) {
        append(s, "register-failed:" + portText);
        return s.script.registerError != kDNSServiceErr_NoError ? s.script.registerError
                                                                : kDNSServiceErr_Unknown;
    }
    append(s, "register:" + portText);
    auto* registration = new DNSServiceRefOpaque{callBack, context, regtype ? regtype : ""};
    s.live.insert(registration);
    *sdRef = registration;
    return kDNSServiceErr_NoError;
}
#endif

FAKE_DNSSD_EXPORT int TANDRAVOLE_DNSSD_API DNSServiceRefSockFD(DNSServiceRef /*sdRef*/) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    append(s, "sockfd");
    return s.script.sockFd;
}

FAKE_DNSSD_EXPORT DNSServiceErrorType TANDRAVOLE_DNSSD_API
DNSServiceProcessResult(DNSServiceRef sdRef) {
    State& s = state();
    FakeDnsSdScript script;
    std::string replyName;
    DNSServiceRegisterReply callback = nullptr;
    void* context = nullptr;
    std::string regtype;
    {
        std::lock_guard hold(s.mutex);
        append(s, "process");
        script = s.script;
        replyName = s.replyName;
        if (s.live.count(sdRef)) {
            callback = sdRef->callback;
            context = sdRef->context;
            regtype = sdRef->regtype;
            if (callback)
                append(s, "reply:" + std::to_string(script.replyError));
        }
    }
    // As in the real library, the reply runs on the caller's thread, with no lock held.
    if (script.drain)
        script.drain(script.drainUser);
    if (callback)
        callback(sdRef, 0, script.replyError, replyName.c_str(), regtype.c_str(), "local.",
                 context);
    return script.processError;
}

FAKE_DNSSD_EXPORT void TANDRAVOLE_DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef) {
    State& s = state();
    std::lock_guard hold(s.mutex);
    if (!s.live.erase(sdRef)) {
        append(s, "deallocate-unknown");
        return;
    }
    append(s, "deallocate");
    delete sdRef;
}

} // extern "C"
