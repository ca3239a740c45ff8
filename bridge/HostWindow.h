// The hidden window on the host's thread: every player call made for a network request runs
// there, through a synchronous "send" of a numbered message to one window procedure.
//
// Windows: a real hidden top-level window of class "TANDRAVOLE4JRIVERMC" owned by the thread
// that created it (the player's thread, which pumps its own messages), SendMessageW, SetTimer,
// GWLP_USERDATA. POSIX: a HostLoop of ours runs on the host's thread with the same semantics:
// a send from another thread blocks until the host's thread has run the procedure; a send from
// the host's thread runs it directly, nested; timers are delivered between sends. The procedure
// (the control's) is the same code on both.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace bridge {

// The window procedure: (message, wParam, lParam) -> result, or nothing to let the system's
// default processing run (DefWindowProcW on Windows, 0 elsewhere).
using WindowProcedure =
    std::function<std::optional<intptr_t>(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// System messages the procedure receives, with their Windows numbers.
constexpr uint32_t kWmEndSession = 0x0016;       // WM_ENDSESSION, wParam non-zero: it ends
constexpr uint32_t kWmTimer = 0x0113;            // WM_TIMER, wParam the timer id
constexpr uint32_t kWmPowerBroadcast = 0x0218;   // WM_POWERBROADCAST, wParam the event
constexpr uintptr_t kPbtApmSuspend = 4;          // PBT_APMSUSPEND
constexpr uintptr_t kPbtApmResumeAutomatic = 18; // PBT_APMRESUMEAUTOMATIC

class HostWindow {
public:
    virtual ~HostWindow() = default;

    // Any thread: runs the procedure on the host's thread and returns its result. Blocks until
    // it has run; from the host's thread itself the procedure runs at once, nested. 0 once the
    // window is closed, also for a sender that was waiting when it closed.
    virtual intptr_t send(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

    // Any thread: (re)starts timer `id`, which delivers WM_TIMER with wParam `id` every
    // periodMs on the host's thread until killed. Calls from other threads are carried out on
    // the host's thread (a window's timers belong to its thread).
    virtual bool setTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void killTimer(uint32_t id) = 0;

    // The window handle as the player takes it (a 32-bit integer on the wire of automation).
    virtual int32_t handle() const = 0;

    // Host's thread: runs `work` on another thread and keeps answering sends to this window
    // until it returns. For tearing down what may be waiting in a send (the server's threads)
    // without the two threads waiting for each other.
    virtual void pumpWhile(const std::function<void()>& work) = 0;

    // Host's thread: the procedure is never called again; every send returns 0 at once,
    // including those already waiting. Idempotent; the destructor closes too.
    virtual void close() = 0;
};

// Creates the window on the calling thread, which must be the host's thread (on POSIX: one
// that runs a HostLoop). Null when the system refuses (no display, no loop on this thread).
std::unique_ptr<HostWindow> createHostWindow(WindowProcedure procedure);

// The host's thread's message loop, for the Linux host and for tests: the player's own loop
// takes its place inside the real player. It binds to the thread that constructs it.
class HostLoop {
public:
    HostLoop();
    ~HostLoop();
    HostLoop(const HostLoop&) = delete;
    HostLoop& operator=(const HostLoop&) = delete;

    // Host's thread: handles what is pending, then waits up to maxWaitMs for more (sends,
    // timers, wake()) and handles that. False once quit() was called.
    bool runOnce(uint32_t maxWaitMs);
    // Host's thread: runs until quit().
    void run();
    // Any thread.
    void quit();
    void wake();

    // Called on the host's thread before each wait; returns the longest the loop may then
    // sleep (the simulated player pumps here and says when it changes next). Host's thread
    // only, set before running.
    void setIdleHook(std::function<uint32_t()> hook);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace bridge
