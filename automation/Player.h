// A player as the process that hosts it drives it: its root automation object, its events
// delivered on the host's thread, and a wake-up when something waits for that. The simulated
// player and the MPD player are both one.
#pragma once

#include "automation/PlayerBackend.h"
#include "host/HostAutomation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace automation {

class Player {
public:
    explicit Player(std::shared_ptr<PlayerBackend> backend);
    virtual ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    host::HostObjectPtr root() const { return root_; }

    // On the player's thread: delivers what is queued to sinks and windows.
    void pump() { backend_->deliverEvents(); }
    // Milliseconds until the player changes by itself and pump() must run; nothing when only
    // a wake-up can tell. 0 while events wait.
    virtual std::optional<uint64_t> msUntilNextChange();

    // Where window messages for registered windows go (called from pump()).
    void setWindowMessageHandler(WindowMessageFn fn);
    // Called, from whichever thread queued it, when something waits for pump(). It must not
    // call into the player.
    void setWakeHandler(std::function<void()> fn);

    // What is playing from where, for the host's start line ("the demo library: 2500 tracks,
    // 9 playlists").
    virtual std::string describe() = 0;

protected:
    std::shared_ptr<PlayerBackend> backend_;

private:
    host::HostObjectPtr root_;
};

} // namespace automation
