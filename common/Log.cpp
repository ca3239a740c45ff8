#include "common/Log.h"

#include <atomic>
#include <exception>
#include <string>

namespace {
std::atomic<LogSink*> installed{nullptr};
} // namespace

const char* logKindName(LogKind kind) {
    switch (kind) {
    case LogKind::Connection:
        return "connection";
    case LogKind::Session:
        return "session";
    case LogKind::Message:
        return "message";
    case LogKind::Error:
        return "error";
    }
    return "?";
}

void setLogSink(LogSink* sink) {
    installed.store(sink);
}

bool logEnabled() {
    return installed.load(std::memory_order_relaxed) != nullptr;
}

void logEvent(LogKind kind, std::string_view text) {
    if (LogSink* sink = installed.load())
        sink->write(kind, text);
}

void logCaughtException(std::string_view where, LogKind kind) noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            logEvent(kind, std::string(where) + ": " + e.what());
        } catch (...) {
            logEvent(kind, std::string(where) + ": an exception of unknown type");
        }
    } catch (...) {
        // Out of memory while building the text: the event is lost, the caller goes on.
    }
}

std::string connectionName(uint32_t id) {
    return "connection " + std::to_string(id);
}
