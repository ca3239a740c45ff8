#include "server/transport/ThreadWinApi.h"

#include "common/Log.h"

#include <exception>
#include <string>

ThreadWinApi::~ThreadWinApi() {
    stopAndJoin();
    stopEvent_.reset();
    if (platform::NativeThread* t = thread_.exchange(nullptr))
        platform::closeThread(t);
}

void ThreadWinApi::stopAndJoin() {
    if (!stopEvent_)
        return;
    stopEvent_->set();
    if (IsRunning())
        Join();
}

void ThreadWinApi::entry(void* self) {
    try {
        static_cast<ThreadWinApi*>(self)->Run();
    } catch (...) {
        logCaughtException("a thread's body ended with an exception");
    }
}

bool ThreadWinApi::Start() {
    if (thread_) {
        if (IsRunning())
            return false;
        platform::closeThread(thread_.exchange(nullptr));
    }
    if (!stopEvent_)
        stopEvent_ = std::make_unique<platform::Event>(false);
    else
        stopEvent_->reset();
    thread_ = platform::startThread(&ThreadWinApi::entry, this);
    return thread_ != nullptr;
}

void ThreadWinApi::Stop(bool wait) {
    if (!stopEvent_)
        return;
    stopEvent_->set();
    if (IsRunning() && wait)
        Join();
}

bool ThreadWinApi::IsRunning() {
    platform::NativeThread* t = thread_;
    return t && platform::threadStillActive(t);
}

void ThreadWinApi::Join() {
    WaitForExit(platform::kInfinite);
}

bool ThreadWinApi::WaitForExit(uint32_t ms) {
    platform::NativeThread* t = thread_;
    return !t || platform::waitForThread(t, ms);
}

bool ThreadWinApi::WaitForStopRequest(uint32_t ms) {
    // Waiting on a missing event fails and reads as not signalled.
    return stopEvent_ && stopEvent_->wait(ms);
}

bool ThreadWinApi::IsStopRequested() {
    return WaitForStopRequest(0);
}
