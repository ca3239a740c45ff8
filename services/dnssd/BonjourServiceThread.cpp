#include "services/dnssd/BonjourServiceThread.h"

#include "common/Log.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "services/dnssd/DnsSdSystem.h"

#include <cstdint>

namespace services::dnssd {

namespace {

// The wait for the daemon's reply and the pause after a wait that found none: together they bound
// how long a stop request goes unnoticed, about one second.
constexpr uint32_t kSelectTimeoutUs = 500000;
constexpr uint32_t kPauseMs = 500;

} // namespace

BonjourServiceThread::~BonjourServiceThread() {
    stopAndJoin();
}

void BonjourServiceThread::StartBonjour(uint16_t port, std::string_view serviceType) {
    if (IsRunning()) {
        bool samePort, sameType;
        {
            platform::ScopedLock hold(portLock_);
            samePort = port_ == port;
        }
        {
            platform::ScopedLock hold(typeLock_);
            sameType = serviceType_ == serviceType;
        }
        if (samePort && sameType)
            return;
        Stop(true);
    }
    {
        platform::ScopedLock hold(portLock_);
        port_ = port;
    }
    {
        platform::ScopedLock hold(typeLock_);
        serviceType_.assign(serviceType);
    }
    // Lowest priority: the body lowers its own, first thing (the framework keeps the handle
    // to itself), so the registration itself already runs at it.
    Start();
}

void BonjourServiceThread::Run() {
    system::lowerCurrentThreadPriority();
    endError_ = kDNSServiceErr_NoError;

    DNSServiceRef registration = nullptr;
    DNSServiceErrorType result;
    {
        platform::ScopedLock holdPort(portLock_);
        platform::ScopedLock holdType(typeLock_);
        result = DNSServiceRegister(&registration, 0, 0, nullptr, serviceType_.c_str(), nullptr,
                                    nullptr, portInNetworkOrder(port_), 0, nullptr,
                                    &BonjourServiceThread::registerReply, this);
    }
    if (result != kDNSServiceErr_NoError) {
        tell(BonjourEvent::Kind::Failed, result);
        return;
    }

    const int socket = DNSServiceRefSockFD(registration);
    // -1 (no socket) stays all ones, the seam's "no socket", on every platform.
    const auto handle = static_cast<platform::SocketHandle>(static_cast<intptr_t>(socket));
    while (!IsStopRequested()) {
        if (platform::selectReadable(handle, kSelectTimeoutUs) != 1) {
            platform::sleepMs(kPauseMs);
            continue;
        }
        DNSServiceErrorType processed = DNSServiceProcessResult(registration);
        if (processed != kDNSServiceErr_NoError) {
            endError_ = processed;
            Stop(false);
        }
    }
    DNSServiceRefDeallocate(registration);
    tell(BonjourEvent::Kind::Ended, endError_);
}

void TANDRAVOLE_DNSSD_API BonjourServiceThread::registerReply(
    DNSServiceRef /*sdRef*/, DNSServiceFlags /*flags*/, DNSServiceErrorType errorCode,
    const char* name, const char* /*regtype*/, const char* /*domain*/, void* context) {
    auto* self = static_cast<BonjourServiceThread*>(context);
    if (errorCode != kDNSServiceErr_NoError) {
        self->endError_ = errorCode;
        self->Stop(false);
        self->tell(BonjourEvent::Kind::Failed, errorCode);
        return;
    }
    self->tell(BonjourEvent::Kind::Registered, errorCode, name);
}

void BonjourServiceThread::tell(BonjourEvent::Kind kind, int32_t error, const char* name) {
    if (!observer_)
        return;
    // The reply callback runs inside the C library: nothing may unwind through it.
    try {
        BonjourEvent event;
        event.kind = kind;
        event.error = error;
        if (name)
            event.name = name;
        observer_(event);
    } catch (...) {
        logCaughtException("the DNS-SD observer");
    }
}

} // namespace services::dnssd
