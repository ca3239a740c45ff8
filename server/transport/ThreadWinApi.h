// Thread framework: every long-running activity is one object of a class derived from
// ThreadWinApi, which supplies only Run() and its destructor. Owners start, stop and join
// their threads; a thread stops itself only without waiting.
//
// No exception leaves a thread: one that escapes Run() is written to the log as an error and
// the thread ends as if Run() had returned, so the process (on Windows, the user's player)
// goes on.
#pragma once

#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

class ThreadBase {
public:
    virtual void Run() = 0;
    virtual bool WaitForStopRequest(uint32_t ms) = 0;
    virtual bool IsStopRequested() = 0;
    virtual bool Start() = 0;
    virtual void Stop(bool wait) = 0;
    virtual bool IsRunning() = 0;
    virtual void Join() = 0;
    virtual bool WaitForExit(uint32_t ms) = 0;
    virtual ~ThreadBase() = default;
};

// Implements the framework on native thread handles and one manual-reset stop event.
// Nothing here is locked: Start, Stop and the destructor are called by the owner only. The
// handle is atomic because the new thread may already ask IsRunning (through Stop from its
// own body) while Start is still storing it.
class ThreadWinApi : public ThreadBase {
public:
    ThreadWinApi() = default;
    ~ThreadWinApi() override;
    ThreadWinApi(const ThreadWinApi&) = delete;
    ThreadWinApi& operator=(const ThreadWinApi&) = delete;

    bool WaitForStopRequest(uint32_t ms) override;
    bool IsStopRequested() override;
    bool Start() override;
    void Stop(bool wait) override;
    bool IsRunning() override;
    void Join() override;
    bool WaitForExit(uint32_t ms) override;

protected:
    // Every derived destructor calls this first, so the body (a member of the derived class)
    // ends before the derived part goes away; the base destructor's own call is a last resort
    // for a thread that was never started or has already ended.
    void stopAndJoin();

    // The stop event, for bodies that wait on it together with an event of their own.
    platform::Event* stopEvent() { return stopEvent_.get(); }

private:
    static void entry(void* self);

    std::atomic<platform::NativeThread*> thread_{nullptr};
    std::unique_ptr<platform::Event> stopEvent_;
};
