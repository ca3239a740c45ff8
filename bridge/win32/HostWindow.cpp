// The hidden window on Windows: a plain top-level window of class "TANDRAVOLE4JRIVERMC" that
// belongs to the thread that created it (the player's thread). Sends are SendMessageW, timers
// SetTimer; the window's GWLP_USERDATA leads to its procedure and is cleared on close, after
// which every message answers 0.
#include "bridge/HostWindow.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace bridge {

namespace {

constexpr wchar_t kClassName[] = L"TANDRAVOLE4JRIVERMC";
// A timer change asked for on another thread, carried out on the window's own thread (a
// window's timers belong to it): wParam the id, lParam the period, 0 to kill. WM_APP + 1000
// is the player's status message, so this stays clear of it.
constexpr UINT kTimerChangeMessage = WM_APP + 1101;

class Win32Window;
LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The class is registered once per process and never unregistered. The instance is the
// executable's, so a class left behind by an earlier load of this module at another address
// may carry a stale procedure: windows are therefore subclassed to the current one right
// after creation, and a stale class is registered again when no window of it remains.
bool registerClassOnce() {
    static const bool registered = [] {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        if (GetClassInfoExW(instance, kClassName, &existing)) {
            if (existing.lpfnWndProc == windowProcedure)
                return true;
            UnregisterClassW(kClassName, instance);
        }
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProcedure;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

class Win32Window final : public HostWindow {
public:
    Win32Window(HWND hwnd, WindowProcedure procedure)
        : hwnd_(hwnd), procedure_(std::move(procedure)), owner_(GetCurrentThreadId()) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProcedure));
    }
    ~Win32Window() override { close(); }

    intptr_t send(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (closed_)
            return 0;
        return SendMessageW(hwnd_, message, wParam, lParam);
    }

    bool setTimer(uint32_t id, uint32_t periodMs) override {
        if (closed_)
            return false;
        if (GetCurrentThreadId() == owner_)
            return SetTimer(hwnd_, id, periodMs ? periodMs : 1, nullptr) != 0;
        return SendMessageW(hwnd_, kTimerChangeMessage, id, periodMs ? periodMs : 1) != 0;
    }

    void killTimer(uint32_t id) override {
        if (closed_)
            return;
        if (GetCurrentThreadId() == owner_)
            KillTimer(hwnd_, id);
        else
            SendMessageW(hwnd_, kTimerChangeMessage, id, 0);
    }

    int32_t handle() const override {
        // Window handles carry 32 significant bits, also in 64-bit processes.
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(hwnd_));
    }

    void pumpWhile(const std::function<void()>& work) override {
        HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread worker([&] {
            work();
            SetEvent(finished);
        });
        // Wake for sent messages only and let PeekMessage dispatch them; posted messages and
        // timers wait for the host's own loop.
        for (;;) {
            DWORD r = MsgWaitForMultipleObjectsEx(1, &finished, INFINITE, QS_SENDMESSAGE, 0);
            if (r == WAIT_OBJECT_0)
                break;
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            if (r == WAIT_FAILED)
                Sleep(1); // keep answering sends rather than wait for the worker blindly
        }
        worker.join();
        CloseHandle(finished);
    }

    void close() override {
        if (closed_.exchange(true))
            return;
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        // Senders already waiting are answered (0) before the window goes.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DestroyWindow(hwnd_);
    }

    LRESULT dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kTimerChangeMessage) {
            if (lParam == 0)
                return KillTimer(hwnd, wParam) ? 1 : 0;
            return SetTimer(hwnd, wParam, static_cast<UINT>(lParam), nullptr) != 0 ? 1 : 0;
        }
        std::optional<intptr_t> result = procedure_(message, wParam, lParam);
        return result ? *result : DefWindowProcW(hwnd, message, wParam, lParam);
    }

private:
    HWND hwnd_;
    WindowProcedure procedure_;
    DWORD owner_;
    std::atomic<bool> closed_{false};
};

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window)
        return message >= WM_APP ? 0 : DefWindowProcW(hwnd, message, wParam, lParam);
    return window->dispatch(hwnd, message, wParam, lParam);
}

} // namespace

std::unique_ptr<HostWindow> createHostWindow(WindowProcedure procedure) {
    if (!procedure || !registerClassOnce())
        return nullptr;
    HWND hwnd = CreateWindowExW(0, kClassName, kClassName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!hwnd)
        return nullptr;
    return std::make_unique<Win32Window>(hwnd, std::move(procedure));
}

// --- the host's message loop (tests and the Windows test host; the player has its own) -----

struct HostLoop::Impl {
    DWORD thread = GetCurrentThreadId();
    std::atomic<bool> quitting{false};
    std::function<uint32_t()> idleHook;

    void dispatchPending() {
        MSG msg;
        while (!quitting && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quitting = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
};

HostLoop::HostLoop() : impl_(std::make_unique<Impl>()) {
    // Makes sure the thread has a message queue, so posts from other threads reach it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

HostLoop::~HostLoop() = default;

bool HostLoop::runOnce(uint32_t maxWaitMs) {
    impl_->dispatchPending();
    if (impl_->quitting)
        return false;
    uint32_t waitMs = maxWaitMs;
    if (impl_->idleHook)
        waitMs = std::min(waitMs, impl_->idleHook());
    MsgWaitForMultipleObjectsEx(0, nullptr, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    impl_->dispatchPending();
    return !impl_->quitting;
}

void HostLoop::run() {
    while (runOnce(60000)) {
    }
}

void HostLoop::quit() {
    impl_->quitting = true;
    PostThreadMessageW(impl_->thread, WM_NULL, 0, 0);
}

void HostLoop::wake() {
    PostThreadMessageW(impl_->thread, WM_NULL, 0, 0);
}

void HostLoop::setIdleHook(std::function<uint32_t()> hook) {
    impl_->idleHook = std::move(hook);
}

} // namespace bridge
