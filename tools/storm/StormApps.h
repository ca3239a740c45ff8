// The apps of the storm: companion apps, well-behaved and hostile, that run against a host on
// 127.0.0.1 until a deadline, each on its own thread, built on the client library.
//
// A storm app repeats, until its deadline, one of these in random order: a session (log in,
// random valid requests with a reply awaited at the end of each batch, covers, keep-alive,
// a quiet spell, a pause in reading); a wrong password and then the right one; garbage before a
// request; every message type with random short and long bodies; a header announcing up to
// 4 GiB followed by a part of it and a disconnect; a disconnect in the middle of a frame; an
// app that asks for keep-alive and then stays silent until the server ends its session. A busy
// app only logs in and asks (requests, covers, keep-alive), as the teardown tests need.
//
// Outcomes that the protocol allows (a second app refused while another holds the session, a
// session taken over, a silent app ended by the keep-alive) are counted; anything else an app
// sees (a refused right password, an awaited reply that never comes while the connection
// stays open, a message that does not decode) counts as an error and is described.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace storm {

struct Tally {
    std::atomic<uint64_t> connections{0};
    std::atomic<uint64_t> requests{0}; // frames sent after a greeting, malformed ones included
    std::atomic<uint64_t> malformed{0};
    std::atomic<uint64_t> sessions{0}; // logins accepted
    std::atomic<uint64_t> wrongPasswords{0};
    std::atomic<uint64_t> refused{0}; // no greeting: the session was held, or two were open
    std::atomic<uint64_t> takenOver{0};
    std::atomic<uint64_t> keepaliveEnded{0};
    std::atomic<uint64_t> received{0}; // messages, envelopes opened
    std::atomic<uint64_t> covers{0};
    std::atomic<uint64_t> errors{0};

    void error(const std::string& what);
    // Each kind of error seen, with how often ("3 x ...").
    std::vector<std::string> errorKinds();

private:
    std::mutex mutex_;
    std::map<std::string, uint64_t> kinds_;
};

struct AppOptions {
    uint16_t port = 0;
    std::string password;     // the host's; a wrong one is made from it
    bool kickAllowed = false; // whether a connecting app takes the session over
    uint32_t seed = 1;
    uint32_t replyWaitMs = 20000; // how long an awaited reply may take (sanitizer builds)
};

// Runs a storm app until the tick count reaches `deadline` or `stop` is set.
void runStormApp(const AppOptions& options, Tally& tally, uint32_t deadline,
                 const std::atomic<bool>& stop);

// Runs a busy app: logs in with keep-alive and asks (status, lists, search, covers, volume)
// until `stop` is set or its connection ends; then connects again while `reconnect` is set.
void runBusyApp(const AppOptions& options, Tally& tally, const std::atomic<bool>& stop,
                bool reconnect);

// A new app logs in and gets the player status; empty when it did, else what went wrong.
std::string freshAppGetsStatus(const AppOptions& options);

} // namespace storm
