#include "automation/PlayerBackend.h"

namespace automation {

HostStatus fault(HostFault* f, HostStatus s, std::string text) {
    if (f)
        f->description = std::move(text);
    return s;
}

void PlayerBackend::queue(Pending p) {
    for (const auto& q : pending_)
        if (q.window == p.window && q.name == p.name)
            return; // already on its way
    pending_.push_back(std::move(p));
    if (wakeFn)
        wakeFn();
}

void PlayerBackend::notify(const char16_t* name) {
    if (!sinks.empty())
        queue(Pending{false, name});
}

void PlayerBackend::statusChanged() {
    if (!windows.empty())
        queue(Pending{true, {}});
}

void PlayerBackend::deliverEvents() {
    std::deque<Pending> due;
    std::vector<host::HostEventSink*> to;
    std::vector<int32_t> toWindows;
    WindowMessageFn fn;
    {
        platform::ScopedLock hold(lock);
        settle();
        due.swap(pending_);
        for (auto& [cookie, sink] : sinks)
            to.push_back(sink);
        toWindows = windows;
        fn = windowFn;
    }
    for (const auto& p : due) {
        if (p.window) {
            if (fn)
                for (int32_t w : toWindows)
                    fn(w, host::kStatusWindowMessage, host::kStatusWindowParam, 0);
            continue;
        }
        // Event 1 carries a category text, the notification name and an empty detail.
        host::HostValue args[3] = {host::HostValue(u"MCC"), host::HostValue(p.name),
                                   host::HostValue(u"")};
        for (host::HostEventSink* sink : to)
            sink->onHostEvent(host::kEventNotify, args);
    }
}

} // namespace automation
