// tandravole-host as a child process, for the storm and the tests that end it with a signal:
// its stdout and stderr are read on a thread of their own into one text, and its threads,
// open descriptors and resident memory are read from /proc while it runs.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace storm {

// What /proc says of a running process; every figure 0 when it could not be read.
struct ProcessFigures {
    uint32_t threads = 0;
    uint32_t descriptors = 0;
    uint64_t residentKb = 0;
};

class HostProcess {
public:
    // Starts `program` with `args`; running() tells whether that worked.
    HostProcess(const std::string& program, const std::vector<std::string>& args);
    // Kills a process still running (SIGKILL) and reaps it.
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool running() const { return pid_ > 0; }
    int pid() const { return pid_; }

    // Everything printed so far (stdout and stderr as they came).
    std::string output();
    // Waits until `text` has been printed; false when the output ended or ms passed first.
    bool waitForOutput(const std::string& text, uint32_t ms);
    // The port from the start line "listening on port N"; 0 when it did not come within ms.
    uint16_t waitForPort(uint32_t ms);

    void signal(int number);
    // The exit code once the process has ended (128 + signal when a signal ended it); nothing
    // when it is still running after ms.
    std::optional<int> waitForExit(uint32_t ms);

    ProcessFigures figures() const;

private:
    void readOutput(int fd);

    int pid_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_;
    bool outputEnded_ = false;
};

// Stores the settings that a host started with --data-dir `dataDir` reads: takeover allowed or
// not, no update check (nothing leaves 127.0.0.1) and no DNS-SD. Points this process's
// registry store at that folder's file.
void writeHostSettings(const std::string& dataDir, bool kickAllowed);

// Whether a text holds a report of AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer
// or ThreadSanitizer.
bool hasSanitizerReport(const std::string& text);

} // namespace storm
