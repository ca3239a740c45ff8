// The simulated media player: the stand-in for the real player on Linux and in tests. Its
// root automation object answers every operation the bridge uses (host/HostAutomation.h).
//
// Threads: any thread may invoke the objects (each invoke is atomic under the player's lock).
// The player's own thread is the one that calls pump(): it delivers queued events to advised
// sinks and status messages to registered windows, with no lock held.
#pragma once

#include "host/HostAutomation.h"
#include "medialib/Library.h"
#include "platform/Clock.h"
#include "simhost/PlayerCore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace simhost {

struct SimOptions {
    platform::Clock* clock = nullptr;   // null: the system's clock
    std::filesystem::path coverCache;   // album covers are written here; empty: no covers
    uint32_t openDelayMs = 0;           // time spent waiting (state 3) before a track plays
    bool writeEqualizerPresets = false; // store the stock presets in the registry seam
};

// A cover folder for people running the simulator: "tandravole-covers" in the temporary
// folder, reused between runs.
std::filesystem::path defaultCoverCache();

class SimPlayer {
public:
    explicit SimPlayer(medialib::LibraryData library, SimOptions options = {});
    ~SimPlayer();
    SimPlayer(const SimPlayer&) = delete;
    SimPlayer& operator=(const SimPlayer&) = delete;

    host::HostObjectPtr root() const { return root_; }

    // On the player's thread: brings playback up to the clock and delivers what is queued.
    void pump();
    // Milliseconds until playback changes by itself (a track ends, waiting ends); nothing when
    // it will not.
    std::optional<uint64_t> msUntilNextChange();

    // Where window messages for registered windows go (called from pump()).
    void setWindowMessageHandler(WindowMessageFn fn);
    // Called, from whichever thread queued it, when something waits for pump(). It must not
    // call into the player.
    void setWakeHandler(std::function<void()> fn);

    // Controls beyond the automation interface, for people and tests.
    void setRepeatMode(RepeatMode mode);
    void setMuted(bool muted);

    size_t trackCount();
    // A problem met while writing covers or presets at start-up; empty when none.
    const std::string& startupProblem() const { return startupProblem_; }

    PlayerCore& core() { return *core_; }

private:
    std::shared_ptr<PlayerCore> core_;
    host::HostObjectPtr root_;
    std::string startupProblem_;
};

} // namespace simhost
