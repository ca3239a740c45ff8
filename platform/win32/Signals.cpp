#include "platform/Signals.h"

#include <windows.h>

#include <atomic>
#include <utility>

namespace platform {

namespace {
// The active watch's callback. The console calls handlers on a thread of its own.
std::atomic<std::function<void(const char*)>*> activeCallback{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event) {
    std::function<void(const char*)>* callback = activeCallback.load();
    if (!callback)
        return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
        (*callback)("Ctrl-C");
        return TRUE;
    case CTRL_BREAK_EVENT:
        (*callback)("Ctrl-Break");
        return TRUE;
    case CTRL_CLOSE_EVENT:
        (*callback)("console closed");
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

struct TerminationWatch::Impl {
    std::function<void(const char*)> callback;
    bool installed = false;
};

TerminationWatch::TerminationWatch(std::function<void(const char*)> onRequest)
    : impl_(std::make_unique<Impl>()) {
    impl_->callback = std::move(onRequest);
    activeCallback = &impl_->callback;
    impl_->installed = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

TerminationWatch::~TerminationWatch() {
    if (impl_->installed)
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    activeCallback = nullptr;
}

bool TerminationWatch::active() const {
    return impl_->installed;
}

} // namespace platform
