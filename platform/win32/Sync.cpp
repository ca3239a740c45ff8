#include "platform/Sync.h"
#include "platform/win32/SyncImpl.h"

#include <windows.h>

namespace platform {

struct CriticalSection::Impl {
    CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {
    InitializeCriticalSection(&impl_->section);
}
CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&impl_->section);
}
void CriticalSection::enter() {
    EnterCriticalSection(&impl_->section);
}
void CriticalSection::leave() {
    LeaveCriticalSection(&impl_->section);
}
bool CriticalSection::tryEnter() {
    return TryEnterCriticalSection(&impl_->section) != 0;
}

Event::Event(bool initiallySet) : impl_(std::make_unique<Impl>()) {
    impl_->handle = CreateEventW(nullptr, TRUE, initiallySet ? TRUE : FALSE, nullptr);
}
Event::~Event() {
    if (impl_->handle)
        CloseHandle(impl_->handle);
}
void Event::set() {
    SetEvent(impl_->handle);
}
void Event::reset() {
    ResetEvent(impl_->handle);
}
bool Event::wait(uint32_t ms) {
    // A missing handle fails to wait and so reads as not signalled.
    return impl_->handle && WaitForSingleObject(impl_->handle, ms) == WAIT_OBJECT_0;
}

int waitForEither(Event& first, Event& second, uint32_t ms) {
    // WaitForMultipleObjects reports the lowest signalled index, so the first wins a tie.
    HANDLE handles[2] = {first.impl()->handle, second.impl()->handle};
    DWORD r = WaitForMultipleObjects(2, handles, FALSE, ms);
    if (r == WAIT_OBJECT_0)
        return 0;
    if (r == WAIT_OBJECT_0 + 1)
        return 1;
    return -1;
}

} // namespace platform
