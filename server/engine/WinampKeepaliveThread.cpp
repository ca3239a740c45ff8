#include "server/engine/WinampKeepaliveThread.h"

#include "common/Log.h"
#include "server/engine/WinampControlServer.h"

#include <string>

WinampKeepaliveThread::~WinampKeepaliveThread() {
    stopAndJoin();
}

void WinampKeepaliveThread::touch() {
    setLastSeen(now());
}

void WinampKeepaliveThread::setLastSeen(uint32_t tick) {
    platform::ScopedLock hold(lock_);
    lastSeen_ = tick;
}

uint32_t WinampKeepaliveThread::lastSeen() {
    platform::ScopedLock hold(lock_);
    return lastSeen_;
}

void WinampKeepaliveThread::begin(uint8_t seconds) {
    Stop(true);
    interval_ = seconds;
    start_ = now();
    setLastSeen(start_);
    Start();
}

void WinampKeepaliveThread::Run() {
    uint32_t k = interval_;
    if (k == 0 || !server_)
        return;
    uint32_t probeEvery = k * 1000, timeout = 2 * k * 1000;
    uint32_t pause = k < 6 ? k * 200 : 1000;
    // One reading of the clock, taken by begin(), is the start: last seen and the first
    // probe's time.
    const uint32_t start = start_;
    server_->sendKeepalive();
    uint32_t lastProbe = start;
    if (IsStopRequested())
        return;
    for (;;) {
        uint32_t seen = lastSeen();
        uint32_t t = now();
        // u32 ticks: while the counter has wrapped past last seen, no time-out is detected.
        if (t > seen && t - seen > timeout)
            break;
        if (t - lastProbe > probeEvery) {
            server_->sendKeepalive();
            lastProbe = t;
        }
        if (WaitForStopRequest(pause))
            return;
    }
    logLazy(LogKind::Session, [&] {
        return connectionName(server_->sessionConnection()) + ": no MSG_KEEPALIVE for more than " +
               std::to_string(timeout) + " ms, the session timed out";
    });
    server_->kickSession();
}
