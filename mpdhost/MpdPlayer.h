// The player over a real MPD, as tandravole-host drives it: the backend (MpdBackend) with its
// command connection, and a thread that waits on a second connection in MPD's "idle" for the
// changes MPD reports (player, mixer, options, queue, stored playlists, database, stickers),
// applies them and, when MPD goes away, reconnects with a bounded back-off.
//
// Threads: start() and the destructor on the owner's thread; the idle thread applies changes
// under the backend's lock, loads a changed database without it, and stops when the owner
// interrupts its connection. Lock: the idle lock guards the idle connection's pointer (taken
// inside the backend's lock when a command finds the connection broken; a leaf).
#pragma once

#include "automation/Player.h"
#include "mpdclient/Address.h"
#include "mpdhost/MpdBackend.h"
#include "platform/Clock.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace mpdhost {

struct MpdOptions {
    mpdclient::Address address;
    std::filesystem::path coverCache; // scaled covers are written here; empty: no covers
    uint32_t timeoutMs = 10000;       // for connecting and for each command
    platform::Clock* clock = nullptr; // null: the system's clock
    // Lines a person should read, from the idle thread: MPD lost, MPD back.
    std::function<void(const std::string&)> say;
};

class MpdPlayer final : public automation::Player {
public:
    explicit MpdPlayer(MpdOptions options);
    ~MpdPlayer() override;

    // Connects, loads the library and starts following MPD. False with `error`: one line
    // with the address and the system's or MPD's reason.
    bool start(std::string& error);

    // "1234 tracks, 5 playlists"
    std::string describe() override;
    MpdBackend& backend() { return *mpd_; }

    class IdleThread;

private:
    // Opens both connections and loads the library; the backend takes the command
    // connection, the caller gets the idle one. Null with `error` filled.
    std::unique_ptr<mpdclient::Connection> connect(std::string& error);
    void setIdle(mpdclient::Connection* connection);
    void interruptIdle();
    void say(const std::string& line);
    std::string address() const;

    MpdOptions options_;
    std::shared_ptr<MpdBackend> mpd_;
    std::mutex idleLock_;
    mpdclient::Connection* idleConnection_ = nullptr; // under idleLock_
    std::unique_ptr<IdleThread> thread_;
    friend class IdleThread;
};

} // namespace mpdhost
