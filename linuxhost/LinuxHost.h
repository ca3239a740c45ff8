// tandravole-host's run: a player (the simulated one, or MPD), the control and its server in
// one process, driven by a host loop on the calling thread until stop() or a termination
// request.
#pragma once

#include "linuxhost/HostOptions.h"

#include "services/adapters/NetworkAdapters.h"

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace bridge {
class HostLoop;
}

namespace linuxhost {

// Exit codes of tandravole-host.
constexpr int kExitOk = 0;
constexpr int kExitStartFailed = 1; // library, MPD, data folder or server could not start
constexpr int kExitUsage = 2;

// The settings file inside the data folder.
constexpr const char* kSettingsFileName = "settings.reg";

// --list-adapters: one line per adapter (name, address, hardware address, in columns), or a
// line saying there is none besides the loopback.
std::string describeAdapters(const std::vector<services::adapters::NetworkAdapterInfo>& adapters);

class LinuxHost {
public:
    // `out` gets the start lines and power actions, `err` problems and (with --verbose) the
    // session's events. Both must outlive run().
    LinuxHost(HostOptions options, std::ostream& out, std::ostream& err);

    // Runs on the calling thread, which becomes the player's and the control's: loads the
    // library and the settings, starts the server, prints where it listens, and serves until
    // stop(). Returns the exit code. Once only.
    int run();

    // Any thread, any time (also before run() or after it ended): ends run() soon.
    void stop();

    // The port the server listens on, once run() has printed its start lines; 0 before.
    uint16_t port() const;

private:
    HostOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    mutable std::mutex mutex_; // guards the three below
    bool stopRequested_ = false;
    bridge::HostLoop* loop_ = nullptr;
    uint16_t port_ = 0;
};

} // namespace linuxhost
