// Probes the app with MSG_KEEPALIVE at the interval it asked for at login and ends the session
// when it has sent no MSG_KEEPALIVE for more than two intervals.
//
// Lock: the keep-alive lock guards last seen only; sending and kicking go through the server
// without it.
#pragma once

#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"

#include <atomic>
#include <cstdint>

class WinampControlServer;

class WinampKeepaliveThread : public ThreadWinApi {
public:
    using Clock = uint32_t (*)(); // milliseconds, wrapping like GetTickCount

    explicit WinampKeepaliveThread(WinampControlServer* server) : server_(server) {}
    ~WinampKeepaliveThread() override;

    void Run() override;

    // Owner only, while the thread is stopped.
    void setInterval(uint8_t seconds) { interval_ = seconds; }
    uint8_t interval() const { return interval_; }
    // Length of the interval's second in clock milliseconds (1000); tests shorten it.
    void setSecondLength(uint32_t ms) { secondMs_ = ms ? ms : 1; }
    void setClock(Clock clock) { clock_ = clock; }

    // MSG_KEEPALIVE arrived from the app.
    void touch();
    uint32_t lastSeen();

private:
    std::atomic<uint8_t> interval_{0};
    WinampControlServer* server_;
    uint32_t lastSeen_ = 0;
    platform::CriticalSection lock_;
    std::atomic<uint32_t> secondMs_{1000};
    std::atomic<Clock> clock_{nullptr};

    uint32_t now();
};
