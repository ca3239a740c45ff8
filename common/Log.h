// The event log seam. The plug-in writes no log: nothing is installed and every call is one
// atomic load. The Linux host installs a sink that prints to stderr (its --verbose switch).
//
// Events are short sentences about what happened to connections and sessions, and errors
// that were caught and survived. The sink is called on whatever thread the event happened,
// with no lock of the caller's held that the sink could need; it must be thread-safe itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class LogKind {
    Connection, // accepted, refused, closed
    Session,    // login accepted or refused, takeover, kick, time-out
    Message,    // a message dropped after its handling failed
    Error,      // a failure that was caught and survived
};

const char* logKindName(LogKind kind);

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogKind kind, std::string_view text) = 0;
};

// Installs the process-wide sink (null: no log). The sink must stay alive until it is
// replaced; the caller replaces it only while no thread of the system runs.
void setLogSink(LogSink* sink);
bool logEnabled();

// How events name a connection: "connection 7".
std::string connectionName(uint32_t id);

// Writes one event when a sink is installed.
void logEvent(LogKind kind, std::string_view text);

// Writes the exception being handled as "<where>: <its text>" (an error unless told otherwise).
// Call it only inside a catch block; a failure of the report itself is swallowed.
void logCaughtException(std::string_view where, LogKind kind = LogKind::Error) noexcept;

// Builds the text only when a sink is installed: logLazy(kind, [&] { return "..."; }).
template <class MakeText> void logLazy(LogKind kind, MakeText&& makeText) {
    if (logEnabled())
        logEvent(kind, std::string(makeText()));
}
