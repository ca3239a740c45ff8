// Time for the simulated player: playback positions advance with this clock, so tests move
// time forward by hand instead of sleeping.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace simhost {

class SimClock {
public:
    virtual ~SimClock() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual uint64_t nowMs() = 0;
};

class SteadyClock : public SimClock {
public:
    uint64_t nowMs() override {
        return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
    }
};

// A clock that moves only when told to; safe to advance from any thread.
class ManualClock : public SimClock {
public:
    explicit ManualClock(uint64_t startMs = 1000000) : now_(startMs) {}
    uint64_t nowMs() override { return now_.load(); }
    void advance(uint64_t ms) { now_.fetch_add(ms); }

private:
    std::atomic<uint64_t> now_;
};

} // namespace simhost
