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

// The start line that tells where an app on the network connects: every adapter's address with
// its name, and the port.
std::string
describeAppAddresses(const std::vector<services::adapters::NetworkAdapterInfo>& adapters,
                     uint16_t port);

// How to run tandravole-remote from the folder `cwd`: the one beside `program` (installed
// together) or in the build tree's client/ folder, relative to `cwd` when it lies below it and
// absolute otherwise; the bare name when `program` is unknown or has no remote beside it, or
// when the one found is also the first on `pathVariable` (a PATH value).
std::string remoteCommand(const std::string& program, const std::string& cwd,
                          const std::string& pathVariable);

// The line that says the DNS-SD registration failed: with how to get a daemon when none
// answers, and in every case that the app can be given an address by hand.
std::string dnsSdFailure(int32_t error);

// The version the binaries carry, "major.minor.patch.tweak".
std::string versionText();

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
