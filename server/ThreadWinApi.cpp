#include "server/ThreadWinApi.h"

ThreadWinApi::~ThreadWinApi() {
    stopAndJoin();
    stopEvent_.reset();
    if (thread_) {
        platform::closeThread(thread_);
        thread_ = nullptr;
    }
}

void ThreadWinApi::stopAndJoin() {
    if (!stopEvent_)
        return;
    stopEvent_->set();
    if (IsRunning())
        Join();
}

void ThreadWinApi::entry(void* self) {
    static_cast<ThreadWinApi*>(self)->Run();
}

bool ThreadWinApi::Start() {
    if (thread_) {
        if (IsRunning())
            return false;
        platform::closeThread(thread_);
        thread_ = nullptr;
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
    if (!thread_)
        return false;
    return platform::threadStillActive(thread_);
}

void ThreadWinApi::Join() {
    WaitForExit(platform::kInfinite);
}

bool ThreadWinApi::WaitForExit(uint32_t ms) {
    if (!thread_)
        return true;
    return platform::waitForThread(thread_, ms);
}

bool ThreadWinApi::WaitForStopRequest(uint32_t ms) {
    // Waiting on a missing event fails and reads as not signalled.
    return stopEvent_ && stopEvent_->wait(ms);
}

bool ThreadWinApi::IsStopRequested() {
    return WaitForStopRequest(0);
}
