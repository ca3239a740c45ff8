#include "platform/Thread.h"

#include <objbase.h>
#include <process.h>
#include <windows.h>

namespace platform {

struct NativeThread {
    HANDLE handle;
};

namespace {
// Owned by the new thread, so the handle record may go while the thread still runs.
struct StartBlock {
    ThreadEntry entry;
    void* arg;
};

unsigned __stdcall trampoline(void* p) {
    StartBlock block = *static_cast<StartBlock*>(p);
    delete static_cast<StartBlock*>(p);
    // Every framework thread lives in the multithreaded apartment; COM stays initialised
    // until the thread ends.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    block.entry(block.arg);
    return 0;
}
} // namespace

NativeThread* startThread(ThreadEntry entry, void* arg) {
    auto* block = new StartBlock{entry, arg};
    uintptr_t h = _beginthreadex(nullptr, 0, trampoline, block, 0, nullptr);
    if (h == 0) {
        delete block;
        return nullptr;
    }
    return new NativeThread{reinterpret_cast<HANDLE>(h)};
}

bool threadStillActive(NativeThread* thread) {
    DWORD code = 0;
    if (GetExitCodeThread(thread->handle, &code))
        return code == STILL_ACTIVE;
    return WaitForSingleObject(thread->handle, 0) == WAIT_TIMEOUT;
}

bool waitForThread(NativeThread* thread, uint32_t ms) {
    return WaitForSingleObject(thread->handle, ms) == WAIT_OBJECT_0;
}

void closeThread(NativeThread* thread) {
    if (!thread)
        return;
    CloseHandle(thread->handle);
    delete thread;
}

bool isCurrentThread(NativeThread* thread) {
    return thread && GetThreadId(thread->handle) == GetCurrentThreadId();
}

} // namespace platform
