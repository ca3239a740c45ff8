// The host's thread without a window system: a loop of our own with a window's semantics.
// Cross-thread sends wait in a queue until the host's thread runs them, one at a time; timers
// are delivered between them. Everything the loop shares with other threads is guarded by its
// one mutex, which is never held while a procedure runs.
#include "bridge/HostWindow.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace bridge {

namespace {

using Clock = std::chrono::steady_clock;

class LoopWindow;

// A cross-thread send. Its sender waits on the request's own lock, so a sender let go while
// its window or loop goes away never touches them again.
struct Request {
    LoopWindow* window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    std::mutex mutex;
    std::condition_variable finished;
    intptr_t result = 0;
    bool done = false;

    void complete(intptr_t value) {
        std::lock_guard lock(mutex);
        result = value;
        done = true;
        finished.notify_all();
    }
};

struct Timer {
    LoopWindow* window;
    uint32_t id;
    std::chrono::milliseconds period;
    Clock::time_point due;
};

} // namespace

struct HostLoop::Impl {
    std::thread::id owner = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable changed; // new work, a finished send, wake(), quit()
    std::deque<std::shared_ptr<Request>> sends;
    std::vector<Timer> timers;
    bool quitting = false;
    bool woken = false;
    std::function<uint32_t()> idleHook;

    bool onHostThread() const { return std::this_thread::get_id() == owner; }
    // With the mutex held: runs one pending send or due timer (releasing the mutex
    // while the procedure runs). False when nothing was pending.
    bool handleOne(std::unique_lock<std::mutex>& lock, bool sendsOnly);
    void dropWindow(LoopWindow* window);
};

namespace {

thread_local HostLoop::Impl* currentLoop = nullptr;

class LoopWindow final : public HostWindow {
public:
    LoopWindow(HostLoop::Impl& loop, WindowProcedure procedure)
        : loop_(loop), procedure_(std::move(procedure)) {}
    ~LoopWindow() override { close(); }

    intptr_t send(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (loop_.onHostThread())
            return call(message, wParam, lParam);
        auto request = std::make_shared<Request>();
        request->window = this;
        request->message = message;
        request->wParam = wParam;
        request->lParam = lParam;
        {
            std::lock_guard lock(loop_.mutex);
            if (closed_)
                return 0;
            loop_.sends.push_back(request);
            loop_.changed.notify_all();
        }
        std::unique_lock wait(request->mutex);
        request->finished.wait(wait, [&] { return request->done; });
        return request->result;
    }

    bool setTimer(uint32_t id, uint32_t periodMs) override {
        std::lock_guard lock(loop_.mutex);
        if (closed_)
            return false;
        auto period = std::chrono::milliseconds(std::max<uint32_t>(periodMs, 1));
        auto it = std::find_if(loop_.timers.begin(), loop_.timers.end(),
                               [&](const Timer& t) { return t.window == this && t.id == id; });
        if (it == loop_.timers.end())
            loop_.timers.push_back({this, id, period, Clock::now() + period});
        else
            *it = {this, id, period, Clock::now() + period};
        loop_.changed.notify_all();
        return true;
    }

    void killTimer(uint32_t id) override {
        std::lock_guard lock(loop_.mutex);
        std::erase_if(loop_.timers, [&](const Timer& t) { return t.window == this && t.id == id; });
    }

    int32_t handle() const override { return handle_; }

    void pumpWhile(const std::function<void()>& work) override {
        bool finished = false;
        std::thread worker([&] {
            work();
            std::lock_guard lock(loop_.mutex);
            finished = true;
            loop_.changed.notify_all();
        });
        {
            std::unique_lock lock(loop_.mutex);
            while (!finished) {
                if (!loop_.handleOne(lock, true))
                    loop_.changed.wait(lock);
            }
        }
        worker.join();
    }

    void close() override {
        std::lock_guard lock(loop_.mutex);
        if (closed_)
            return;
        closed_ = true;
        loop_.dropWindow(this);
    }

    // Host's thread, without the loop's mutex.
    intptr_t call(uint32_t message, uintptr_t wParam, intptr_t lParam) {
        if (closed_)
            return 0;
        return procedure_(message, wParam, lParam).value_or(0);
    }

private:
    static int32_t nextHandle() {
        static std::atomic<int32_t> next{0x1000};
        return next.fetch_add(4);
    }

    HostLoop::Impl& loop_;
    WindowProcedure procedure_;
    bool closed_ = false; // under the loop's mutex; read unlocked only on the host's thread
    const int32_t handle_ = nextHandle();
};

} // namespace

bool HostLoop::Impl::handleOne(std::unique_lock<std::mutex>& lock, bool sendsOnly) {
    if (!sends.empty()) {
        std::shared_ptr<Request> request = sends.front();
        sends.pop_front();
        lock.unlock();
        request->complete(
            request->window->call(request->message, request->wParam, request->lParam));
        lock.lock();
        return true;
    }
    if (sendsOnly)
        return false;
    Clock::time_point now = Clock::now();
    for (Timer& t : timers) {
        if (t.due <= now) {
            t.due = now + t.period;
            LoopWindow* window = t.window;
            uintptr_t id = t.id;
            lock.unlock();
            window->call(kWmTimer, id, 0);
            lock.lock();
            return true;
        }
    }
    return false;
}

void HostLoop::Impl::dropWindow(LoopWindow* window) {
    std::erase_if(sends, [&](const std::shared_ptr<Request>& r) {
        if (r->window != window)
            return false;
        r->complete(0);
        return true;
    });
    std::erase_if(timers, [&](const Timer& t) { return t.window == window; });
    changed.notify_all();
}

std::unique_ptr<HostWindow> createHostWindow(WindowProcedure procedure) {
    if (!currentLoop || !procedure)
        return nullptr;
    return std::make_unique<LoopWindow>(*currentLoop, std::move(procedure));
}

HostLoop::HostLoop() : impl_(std::make_unique<Impl>()) {
    currentLoop = impl_.get();
}

HostLoop::~HostLoop() {
    // Windows are closed before their loop ends; a sender still waiting is let go with 0.
    std::lock_guard lock(impl_->mutex);
    for (const std::shared_ptr<Request>& request : impl_->sends)
        request->complete(0);
    impl_->sends.clear();
    if (currentLoop == impl_.get())
        currentLoop = nullptr;
}

bool HostLoop::runOnce(uint32_t maxWaitMs) {
    std::unique_lock lock(impl_->mutex);
    while (!impl_->quitting && impl_->handleOne(lock, false)) {
    }
    if (impl_->quitting)
        return false;
    uint32_t waitMs = maxWaitMs;
    if (impl_->idleHook) {
        std::function<uint32_t()> hook = impl_->idleHook;
        lock.unlock();
        waitMs = std::min(waitMs, hook());
        lock.lock();
    }
    Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs);
    for (const Timer& t : impl_->timers)
        until = std::min(until, t.due);
    impl_->changed.wait_until(
        lock, until, [&] { return impl_->quitting || impl_->woken || !impl_->sends.empty(); });
    impl_->woken = false;
    while (!impl_->quitting && impl_->handleOne(lock, false)) {
    }
    return !impl_->quitting;
}

void HostLoop::run() {
    while (runOnce(60000)) {
    }
}

void HostLoop::quit() {
    std::lock_guard lock(impl_->mutex);
    impl_->quitting = true;
    impl_->changed.notify_all();
}

void HostLoop::wake() {
    std::lock_guard lock(impl_->mutex);
    impl_->woken = true;
    impl_->changed.notify_all();
}

void HostLoop::setIdleHook(std::function<uint32_t()> hook) {
    std::lock_guard lock(impl_->mutex);
    impl_->idleHook = std::move(hook);
}

} // namespace bridge
