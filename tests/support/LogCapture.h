// Installs itself as the process's log sink for its lifetime and keeps every event. Declare
// it before the objects whose threads log, so it is installed before they start and removed
// after they have stopped.
#pragma once

#include "common/Log.h"
#include "tests/support/TestSocket.h"

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

class LogCapture : public LogSink {
public:
    LogCapture() { setLogSink(this); }
    ~LogCapture() override { setLogSink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void write(LogKind kind, std::string_view text) override {
        std::lock_guard<std::mutex> hold(lock_);
        events_.emplace_back(kind, std::string(text));
    }

    std::vector<std::pair<LogKind, std::string>> events() {
        std::lock_guard<std::mutex> hold(lock_);
        return events_;
    }
    // Whether an event of the kind holds the text.
    bool has(LogKind kind, std::string_view text) {
        std::lock_guard<std::mutex> hold(lock_);
        for (const auto& [k, t] : events_)
            if (k == kind && t.find(text) != std::string::npos)
                return true;
        return false;
    }
    bool waitFor(LogKind kind, std::string_view text, uint32_t ms = 5000) {
        return waitUntil([&] { return has(kind, text); }, ms);
    }

private:
    std::mutex lock_;
    std::vector<std::pair<LogKind, std::string>> events_;
};

} // namespace testing_support
