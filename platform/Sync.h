// Locks and events. The engine relies on Win32 semantics: critical sections are recursive
// (the same thread may enter again), events are manual-reset.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Recursive mutual exclusion, like a Win32 critical section.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    void leave();
    // Enters without blocking; true when entered.
    bool tryEnter();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~ScopedLock() { cs_.leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& cs_;
};

// Manual-reset event: stays signalled until reset.
class Event {
public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when the event is (or becomes) signalled within ms; kInfinite waits forever.
    bool wait(uint32_t ms);
    bool isSet() { return wait(0); }

    struct Impl;
    Impl* impl() { return impl_.get(); }

private:
    std::unique_ptr<Impl> impl_;
};

// Waits until either event is signalled: 0 for the first, 1 for the second (the first wins
// when both are), -1 on time-out.
int waitForEither(Event& first, Event& second, uint32_t ms);

} // namespace platform
