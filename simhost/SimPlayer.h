// The simulated media player: the stand-in for the real player on Linux and in tests. Its
// root automation object answers every operation the bridge uses (host/HostAutomation.h).
//
// Threads: any thread may invoke the objects (each invoke is atomic under the player's lock).
// The player's own thread is the one that calls pump(): it delivers queued events to advised
// sinks and status messages to registered windows, with no lock held.
#pragma once

#include "automation/Player.h"
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

class SimPlayer final : public automation::Player {
public:
    explicit SimPlayer(medialib::LibraryData library, SimOptions options = {});
    ~SimPlayer() override;

    // Milliseconds until playback changes by itself (a track ends, waiting ends); nothing when
    // it will not.
    std::optional<uint64_t> msUntilNextChange() override;
    // "2500 tracks, 9 playlists"
    std::string describe() override;

    // Controls beyond the automation interface, for people and tests.
    void setRepeatMode(RepeatMode mode);
    void setMuted(bool muted);

    size_t trackCount();
    // A problem met while writing covers or presets at start-up; empty when none.
    const std::string& startupProblem() const { return startupProblem_; }

    PlayerCore& core() { return *core_; }

private:
    std::shared_ptr<PlayerCore> core_;
    std::string startupProblem_;
};

} // namespace simhost
