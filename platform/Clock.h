// Time sources and sleeping.
//
// Behaviour that depends on time (the keep-alive time-out, the simulated player's playback,
// later the sleep timer and the update check) reads a Clock that its owner hands in, so that
// tests move time by hand with a ManualClock instead of sleeping. Deadlines of waits that only
// bound how long something may take use the free functions below.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
uint32_t tickCount();

// Milliseconds since an arbitrary start, 64 bits wide: never wraps, never goes back.
uint64_t monotonicMs();

// Current time as a Windows file time: 100 ns intervals since 1601-01-01 UTC.
uint64_t fileTimeNow();

void sleepMs(uint32_t ms);

// 100 ns file-time units in one millisecond.
constexpr uint64_t kFileTimePerMs = 10000;

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual uint64_t monotonicMs() = 0;
    // Wall-clock time as a Windows file time.
    virtual uint64_t fileTime() = 0;
    // The low 32 bits of monotonicMs(), for code that keeps GetTickCount arithmetic.
    uint32_t tickCount() { return uint32_t(monotonicMs()); }
};

// The system's clocks (the free functions above). Lives as long as the process.
Clock& systemClock();

// A clock that moves only when told to; safe to read and advance from any thread. Advancing
// moves the wall clock by the same amount.
class ManualClock : public Clock {
public:
    // 2026-01-01 00:00 UTC as a file time, so wall-clock readings look like real dates.
    static constexpr uint64_t kDefaultFileTime = 134116992000000000ull;

    explicit ManualClock(uint64_t startMs = 1000000, uint64_t startFileTime = kDefaultFileTime)
        : ms_(startMs), fileTime_(startFileTime) {}
    uint64_t monotonicMs() override { return ms_.load(); }
    uint64_t fileTime() override { return fileTime_.load(); }
    void advance(uint64_t ms) {
        fileTime_.fetch_add(ms * kFileTimePerMs);
        ms_.fetch_add(ms);
    }
    // Sets the monotonic reading (tests of counter wrap-around); the wall clock stays.
    void setMonotonicMs(uint64_t ms) { ms_.store(ms); }
    void setFileTime(uint64_t fileTime) { fileTime_.store(fileTime); }

private:
    std::atomic<uint64_t> ms_;
    std::atomic<uint64_t> fileTime_;
};

} // namespace platform
