#include "server/engine/WinampKeepaliveThread.h"

#include "server/engine/WinampControlServer.h"

WinampKeepaliveThread::~WinampKeepaliveThread() {
    stopAndJoin();
}

void WinampKeepaliveThread::touch() {
    uint32_t t = now();
    platform::ScopedLock hold(lock_);
    lastSeen_ = t;
}

uint32_t WinampKeepaliveThread::lastSeen() {
    platform::ScopedLock hold(lock_);
    return lastSeen_;
}

void WinampKeepaliveThread::Run() {
    uint32_t k = interval_;
    if (k == 0 || !server_)
        return;
    uint32_t probeEvery = k * 1000, timeout = 2 * k * 1000;
    uint32_t pause = k < 6 ? k * 200 : 1000;
    touch();
    // Read before the probe leaves: its answer may come back (and a test may move the clock)
    // before the send returns.
    uint32_t lastProbe = now();
    server_->sendKeepalive();
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
    server_->kickSession();
}
