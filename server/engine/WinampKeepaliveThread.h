// Probes the app with MSG_KEEPALIVE at the interval it asked for at login and ends the session
// when it has sent no MSG_KEEPALIVE for more than two intervals.
//
// Lock: the keep-alive lock guards last seen only; sending and kicking go through the server
// without it.
#pragma once

#include "platform/Clock.h"
#include "platform/Sync.h"
#include "server/transport/ThreadWinApi.h"

#include <atomic>
#include <cstdint>

class WinampControlServer;

class WinampKeepaliveThread : public ThreadWinApi {
public:
    explicit WinampKeepaliveThread(WinampControlServer* server) : server_(server) {}
    ~WinampKeepaliveThread() override;

    void Run() override;

    // Owner only: stops a running pass and starts probing every `seconds`. The clock is read
    // here, on the caller's thread, so the first interval starts with the login and not
    // whenever the new thread first runs.
    void begin(uint8_t seconds);
    uint8_t interval() const { return interval_; }
    // The clock that last seen, probes and the time-out are measured with (the system's
    // unless set). Its tick count is read with GetTickCount's 32-bit wrap-around. The pauses
    // between passes are real time.
    void setClock(platform::Clock& clock) { clock_ = &clock; }

    // MSG_KEEPALIVE arrived from the app.
    void touch();
    uint32_t lastSeen();

private:
    std::atomic<uint8_t> interval_{0};
    WinampControlServer* server_;
    uint32_t lastSeen_ = 0;
    uint32_t start_ = 0; // set by begin() before the thread starts
    platform::CriticalSection lock_;
    std::atomic<platform::Clock*> clock_{&platform::systemClock()};

    uint32_t now() { return clock_.load()->tickCount(); }
    void setLastSeen(uint32_t tick);
};
