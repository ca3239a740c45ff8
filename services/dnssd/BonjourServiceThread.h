// The DNS-SD registration of the server: one registration of the service type on
// the server's port, kept alive by a thread of its own. The control owns one and reaches it
// through bridge::DnsSdService; failures are silent.
//
// Locks: the port lock and the type lock each guard their field; the thread holds both (port
// lock first) while it registers, and StartBonjour takes each alone. Both are leaves: nothing
// else is locked inside them.
#pragma once

#include "bridge/ControlServices.h"
#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"
#include "services/dnssd/DnsSdLibrary.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace services::dnssd {

// What became of a registration, for a host that reports it (the Linux host prints it; the
// plug-in sets no observer). Telling it changes nothing of what the thread does.
struct BonjourEvent {
    enum class Kind {
        Registered, // the daemon accepted the registration under `name`
        Failed,     // the registration was refused, at once or in the daemon's reply: `error`
        Ended,      // the registration was released: `error` 0 when asked to stop, else the
                    // failed reply's or result processing's code
    };
    Kind kind = Kind::Ended;
    int32_t error = 0;
    std::string name;
};

class BonjourServiceThread : public ThreadWinApi, public bridge::DnsSdService {
public:
    using Observer = std::function<void(const BonjourEvent&)>;

    BonjourServiceThread() = default;
    ~BonjourServiceThread() override;

    // Set before the first start; called on the thread, inside the DNS-SD library for
    // Registered and Failed replies, so it must be quick and must not stop or start this
    // thread with waiting. Whatever it throws is logged and swallowed.
    void setObserver(Observer observer) { observer_ = std::move(observer); }

    // Keeps a running registration of the same port and type; otherwise stops the running one
    // with waiting and starts a new registration. Returns at once.
    void StartBonjour(uint16_t port, std::string_view serviceType);

    // bridge::DnsSdService, called on the host's thread.
    void start(uint16_t port, std::string_view serviceType) override {
        StartBonjour(port, serviceType);
    }
    void stopWithoutWaiting() override { Stop(false); }
    void stopAndWait() override { Stop(true); }
    bool isRunning() override { return IsRunning(); }

    void Run() override;

private:
    static void TANDRAVOLE_DNSSD_API registerReply(DNSServiceRef sdRef, DNSServiceFlags flags,
                                                   DNSServiceErrorType errorCode, const char* name,
                                                   const char* regtype, const char* domain,
                                                   void* context);
    void tell(BonjourEvent::Kind kind, int32_t error, const char* name = nullptr);

    platform::CriticalSection portLock_;
    uint16_t port_ = 0; // host byte order
    platform::CriticalSection typeLock_;
    std::string serviceType_;

    Observer observer_;
    // Why the running registration ended: a failed reply's or result processing's code.
    std::atomic<int32_t> endError_{0};
};

} // namespace services::dnssd
