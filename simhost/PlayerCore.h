// The simulated player's state and behaviour, shared by all its automation objects. Every
// member is guarded by `lock`: each object takes it for the whole of an invoke, so library
// calls from a worker thread and player calls from the host's thread never interleave inside
// one operation. Events are queued under the lock and delivered by SimPlayer::pump on the
// player's thread with the lock released.
#pragma once

#include "host/HostAutomation.h"
#include "medialib/Library.h"
#include "medialib/Search.h"
#include "platform/Clock.h"
#include "platform/Sync.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace simhost {

enum class RepeatMode { Off, List, Track };

// Delivers a window message to a window the player was given with RootOp::RegisterWindow.
using WindowMessageFn =
    std::function<void(int32_t window, uint32_t message, uint64_t wParam, int64_t lParam)>;

struct CoverFiles {
    std::u16string small; // size code 3
    std::u16string large; // size codes 4 and 5
};

class PlayerCore {
public:
    PlayerCore(medialib::LibraryData library, platform::Clock* clock, uint32_t openDelayMs);

    platform::CriticalSection lock;

    // --- library ---
    std::vector<medialib::Track> tracks;
    std::unordered_map<int32_t, size_t> byKey;
    std::vector<medialib::PlaylistData> playlists;
    int32_t nextPlaylistId = 1;
    std::map<int32_t, CoverFiles> covers; // by album id

    medialib::Track* track(int32_t key);
    medialib::PlaylistData* playlist(int32_t id);
    // Runs an expression over the candidates (the whole library when null).
    std::optional<std::vector<int32_t>> search(std::u16string_view expression,
                                               const std::vector<int32_t>* candidates,
                                               std::string& error);
    // The files of a playlist: its keys, or the results of a smart playlist's expression.
    std::vector<int32_t> playlistFiles(const medialib::PlaylistData& p);

    // --- playing now and playback ---
    std::vector<int32_t> nowPlaying;
    int32_t position = -1;
    bool shuffle = false;
    RepeatMode repeat = RepeatMode::Off;
    host::PlaybackState state = host::PlaybackState::Stopped;

    // Brings playback up to the clock: ends of tracks, the end of waiting.
    void catchUp();
    int32_t positionSeconds();
    int32_t playbackFigure();
    void play();
    void stop();
    void playPause();
    void next();
    void previous();
    void seek(int32_t seconds);
    bool selectEntry(int32_t index);
    bool insertEntry(int32_t key, int32_t at);
    bool removeEntry(int32_t index);
    void clearNowPlaying();
    void setShuffle(bool on);
    void setRepeat(RepeatMode mode);
    // Replaces the playing-now list with the files and plays from `start` (-1: the first).
    void playFiles(const std::vector<int32_t>& keys, int32_t start);
    uint64_t msUntilNextChange();

    // --- volume and equalizer ---
    int32_t volume = 80;
    bool muted = false;
    bool equalizerOn = false;
    std::array<int32_t, 11> bands{};
    void setVolume(int32_t v);
    void setMuted(bool m);
    void setEqualizerOn(bool on);
    void setBand(int32_t band, int32_t value);

    // --- events ---
    std::map<uint32_t, host::HostEventSink*> sinks;
    uint32_t nextCookie = 1;
    std::vector<int32_t> windows;
    WindowMessageFn windowFn;
    std::function<void()> wakeFn;

    struct Pending {
        bool window = false; // a status message to the registered windows
        std::u16string name; // otherwise a notification
    };
    std::deque<Pending> pending;
    void notify(const char16_t* name);
    void statusChanged();

private:
    void startEntry(int32_t index, uint64_t atMs);
    void setState(host::PlaybackState s);
    uint64_t elapsedMs(uint64_t now) const;
    uint64_t currentDurationMs();
    void queue(Pending p);

    platform::Clock* clock_;
    uint32_t openDelayMs_;
    uint64_t elapsedBase_ = 0; // ms played before anchor_
    uint64_t anchor_ = 0;      // when playing (or waiting) began
    std::vector<int32_t> preShuffle_;
    uint32_t rng_ = 0x2545F491u;
};

} // namespace simhost
